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

TEST(ProgramPlayerContainer, ThePlayerIsHandedOverOnlyWhenItChanges)
{
    auto queue = std::make_shared<ManualMainQueue>();
    auto player = std::make_shared<FakePreviewPlayer>(queue, 4.0);
    VideoPlayerView description{player, true};
    std::unique_ptr<StablePlayerContainerView> container(description.makeView(nullptr));
    EXPECT_EQ(container->objectName(), "StablePlayerContainerView");
    EXPECT_EQ(container->playerView()->player(), player);
    QSignalSpy handedOver(container->playerView(), &PlayerPictureView::playerChanged);

    description.updateView(*container);
    EXPECT_EQ(handedOver.count(), 0);
    EXPECT_TRUE(container->pauseLayoutUpdates());

    description = VideoPlayerView{nullptr, false};
    description.updateView(*container);
    EXPECT_EQ(handedOver.count(), 1);
    EXPECT_EQ(container->playerView()->player(), nullptr);
    EXPECT_FALSE(container->pauseLayoutUpdates());
    description.updateView(*container);
    EXPECT_EQ(handedOver.count(), 1);
}

TEST(ProgramPlayerContainer, ThePlayerViewKeepsTheContainersSizeAndFitsThePicture)
{
    auto queue = std::make_shared<ManualMainQueue>();
    auto player = std::make_shared<FakePreviewPlayer>(queue, 4.0);
    showFrame(*player->output, solidFrame(QColor(0, 255, 0), 200, 100), 0, 4);
    VideoPlayerView description{player, false};
    std::unique_ptr<StablePlayerContainerView> container(description.makeView(nullptr));
    container->show();
    for (const QSize size : {QSize(300, 300), QSize(640, 200), QSize(1, 1), QSize(401, 203)}) {
        container->resize(size);
        EXPECT_EQ(container->playerView()->geometry(), QRect(QPoint(), size));
        description.updateView(*container);
        EXPECT_EQ(container->playerView()->geometry(), QRect(QPoint(), size));
    }

    // A 2:1 picture in a square: bars above and below.
    container->resize(300, 300);
    const QImage shot = container->grab().toImage();
    EXPECT_TRUE(colourNear(shot.pixelColor(150, 150), QColor(0, 255, 0)));
    EXPECT_TRUE(colourNear(shot.pixelColor(150, 70), QColor(0, 0, 0)));
    EXPECT_TRUE(colourNear(shot.pixelColor(150, 230), QColor(0, 0, 0)));
    EXPECT_TRUE(colourNear(shot.pixelColor(5, 150), QColor(0, 255, 0)));
}

} // namespace
} // namespace velmora::test
