// The plain player host: the player handed over only when it changes, the player view always
// the container's size, and the picture fitted whole on black.

#include <QSignalSpy>

#include "ProgramMonitorTestSupport.h"
#include "platform/media/VideoOutput.h"
#include "preview/PlayerPictureView.h"
#include "preview/StablePlayerContainerView.h"
#include "preview/VideoPlayerView.h"

namespace velmora::test {
namespace {

TEST(ProgramPlayerContainer, HandsThePlayerOverOnlyWhenItChangesAndFitsItsPictureToTheBounds)
{
    auto player = std::make_shared<FakePreviewPlayer>(std::make_shared<ManualMainQueue>(), 4.0);
    showFrame(*player->output, solidFrame(QColor(0, 255, 0), 200, 100), 0, 4);
    VideoPlayerView description{player, true};
    std::unique_ptr<StablePlayerContainerView> container(description.makeView(nullptr));
    container->show();
    QSignalSpy handedOver(container->playerView(), &PlayerPictureView::playerChanged);
    for (const QSize size : {QSize(640, 200), QSize(1, 1), QSize(401, 203), QSize(300, 300)}) {
        container->resize(size);
        EXPECT_EQ(container->playerView()->geometry(), QRect(QPoint(), size));
        description.updateView(*container);
        EXPECT_EQ(container->playerView()->geometry(), QRect(QPoint(), size));
    }
    EXPECT_EQ(handedOver.count(), 0);
    EXPECT_TRUE(container->pauseLayoutUpdates());

    // A 2:1 picture in a square: bars above and below.
    const QImage shot = container->grab().toImage();
    EXPECT_TRUE(colourNear(shot.pixelColor(150, 150), QColor(0, 255, 0)));
    EXPECT_TRUE(colourNear(shot.pixelColor(5, 150), QColor(0, 255, 0)));
    EXPECT_TRUE(colourNear(shot.pixelColor(150, 70), QColor(0, 0, 0)));

    description = VideoPlayerView{nullptr, false};
    description.updateView(*container);
    description.updateView(*container);
    EXPECT_EQ(handedOver.count(), 1);
    EXPECT_EQ(container->playerView()->player(), nullptr);
    EXPECT_FALSE(container->pauseLayoutUpdates());
    EXPECT_TRUE(colourNear(container->grab().toImage().pixelColor(150, 150), QColor(0, 0, 0)));
}

} // namespace
} // namespace velmora::test
