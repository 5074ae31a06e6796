#include "preview/VideoPlayerView.h"

#include "preview/PlayerPictureView.h"
#include "preview/StablePlayerContainerView.h"

namespace velmora {

StablePlayerContainerView* VideoPlayerView::makeView(QWidget* parent) const
{
    auto* container = new StablePlayerContainerView(parent);
    container->playerView()->setPlayer(player);
    return container;
}

void VideoPlayerView::updateView(StablePlayerContainerView& container) const
{
    container.setPauseLayoutUpdates(pauseUpdates);
    if (container.playerView()->player() != player) {
        container.playerView()->setPlayer(player);
    }
    container.layoutPlayerFrame();
}

} // namespace velmora
