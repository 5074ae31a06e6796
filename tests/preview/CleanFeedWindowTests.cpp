// The clean-feed window: opening and placing it, full screen, the timecode, closing it in every
// way, and that nothing of a closed clean feed stays alive.

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "ProgramMonitorTestSupport.h"
#include "preview/CleanFeedRootView.h"
#include "preview/CleanFeedWindowController.h"

namespace velmora::test {
namespace {

// Top-level clean-feed windows that exist, shown or not, once pending deletions have run.
int cleanFeedWindowCount()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    int count = 0;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        count += window->windowTitle() == QStringLiteral("Clean Feed") ? 1 : 0;
    }
    return count;
}

// An engine over a long timeline whose clean feed opens through the engine, as the workspace
// wires it.
struct CleanFeedHarness {
    CleanFeedHarness()
    {
        auto session = sessionWith({gradedClip("c1", 0, 7000, std::nullopt)});
        player = h.adopt(session);
        h.engine.setCleanFeedWindowOpener([queue = h.queue](TimelinePreviewEngine& engine) {
            return CleanFeedWindowController::open(engine, {queue});
        });
    }
    ~CleanFeedHarness()
    {
        h.engine.closeCleanFeedWindow();
        cleanFeedWindowCount();
    }
    CleanFeedWindowController* controller() const
    {
        return qobject_cast<CleanFeedWindowController*>(h.engine.cleanFeedController());
    }
    CleanFeedRootView* root() const { return controller()->window()->findChild<CleanFeedRootView*>(); }
    void open()
    {
        h.engine.openCleanFeedWindow();
        h.queue->runUntilIdle();
    }

    EngineHarness h;
    std::shared_ptr<FakePreviewPlayer> player;
};

TEST(CleanFeedTimecode, MinutesSecondsAndFramesAtThirtyPerSecond)
{
    EXPECT_EQ(CleanFeedRootView::timecodeText(61.5), "01:01:15");
    EXPECT_EQ(CleanFeedRootView::timecodeText(3599.99), "59:59:29"); // the frame shown, never the next
    EXPECT_EQ(CleanFeedRootView::timecodeText(6000), "100:00:00");
    EXPECT_EQ(CleanFeedRootView::timecodeText(1.0 / 60), "00:00:00");
    EXPECT_EQ(CleanFeedRootView::timecodeText(1.0 / 30), "00:00:01");
    EXPECT_EQ(CleanFeedRootView::timecodeText(-3), "00:00:00");
    EXPECT_EQ(CleanFeedRootView::timecodeText(std::nan("")), "00:00:00");
}

TEST(CleanFeedWindow, OpensCentredWithTheRawProgramAndTheTimecodeAndOnlyItsButtonsTakeClicks)
{
    CleanFeedHarness f;
    f.h.engine.seek(61.5, false, nullptr);
    f.open();
    ASSERT_NE(f.controller(), nullptr);
    QWidget* window = f.controller()->window();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Clean Feed");
    EXPECT_EQ(window->size(), QSize(1280, 720));
    EXPECT_LE(std::abs(window->frameGeometry().center().x() - window->screen()->availableGeometry().center().x()), 1);

    CleanFeedRootView* root = f.root();
    EXPECT_TRUE(root->programView()->controller().isCleanFeed());
    EXPECT_EQ(root->programView()->controller().player(), f.player);
    EXPECT_EQ(root->timecodeLabel()->text(), "01:01:15");
    f.h.engine.seek(2.5, false, nullptr);
    EXPECT_EQ(root->timecodeLabel()->text(), "00:02:15");

    EXPECT_EQ(root->childAt(root->rect().center()), nullptr);
    EXPECT_EQ(root->childAt(root->timecodeLabel()->geometry().center()), nullptr);
    const QPoint onClose = root->closeButton()->mapTo(root, root->closeButton()->rect().center());
    EXPECT_EQ(root->childAt(onClose), root->closeButton());
}

TEST(CleanFeedWindow, OpeningAgainBringsTheSameWindowForwardAndRestoresATinyOne)
{
    CleanFeedHarness f;
    f.open();
    CleanFeedWindowController* first = f.controller();
    QWidget* window = first->window();
    // Smaller than the minimum, which only the platform could make it: back to full size.
    window->setMinimumSize(0, 0);
    window->resize(300, 200);
    f.open();
    EXPECT_EQ(f.controller(), first);
    EXPECT_EQ(window->size(), QSize(1280, 720));
}

TEST(CleanFeedWindow, CloseInFullScreenLeavesFullScreenFirstThenGoes)
{
    CleanFeedHarness f;
    f.open();
    QPointer<QWidget> window = f.controller()->window();
    QTest::mouseClick(f.root()->fullScreenButton(), Qt::LeftButton);
    EXPECT_TRUE(window->isFullScreen());
    QTest::mouseClick(f.root()->closeButton(), Qt::LeftButton);
    EXPECT_FALSE(window->isFullScreen());
    EXPECT_TRUE(window->isVisible());
    f.h.queue->advance(0.39);
    EXPECT_TRUE(window->isVisible());
    f.h.queue->advance(0.01);
    EXPECT_EQ(f.h.engine.cleanFeedController(), nullptr);
    EXPECT_EQ(cleanFeedWindowCount(), 0);
}

TEST(CleanFeedWindow, EveryWayOutClearsTheEngineAndDestroysTheWindow)
{
    CleanFeedHarness f;
    // The keyboard toggle, twice, then once more for a fresh window.
    f.h.engine.toggleCleanFeedWindow();
    QPointer<CleanFeedWindowController> first = f.controller();
    ASSERT_TRUE(first && first->isWindowVisible());
    f.h.engine.toggleCleanFeedWindow();
    EXPECT_EQ(f.h.engine.cleanFeedController(), nullptr);
    EXPECT_EQ(cleanFeedWindowCount(), 0);
    EXPECT_FALSE(first);
    f.h.engine.toggleCleanFeedWindow();
    EXPECT_TRUE(f.controller() && f.controller()->isWindowVisible());

    // The window's own close button.
    f.controller()->window()->close();
    EXPECT_EQ(f.h.engine.cleanFeedController(), nullptr);
    EXPECT_EQ(cleanFeedWindowCount(), 0);
}

TEST(CleanFeedWindow, AClosedCleanFeedLeavesNoHiddenWindowBehind)
{
    CleanFeedHarness f;
    for (int cycle = 0; cycle < 3; ++cycle) {
        f.open();
        ASSERT_TRUE(f.controller() && f.controller()->isWindowVisible());
        f.h.engine.closeCleanFeedWindow();
        f.h.queue->runUntilIdle();
    }
    EXPECT_EQ(cleanFeedWindowCount(), 0);
}

TEST(CleanFeedWindow, TheWindowGoesWithItsEngine)
{
    auto queue = std::make_shared<ManualMainQueue>();
    auto engine = std::make_unique<TimelinePreviewEngine>(
        TimelinePreviewEngine::Services{queue, std::make_shared<ManualClock>(), nullptr});
    CleanFeedWindowController::open(*engine, {queue});
    EXPECT_EQ(cleanFeedWindowCount(), 1);
    engine.reset();
    EXPECT_EQ(cleanFeedWindowCount(), 0);
}

} // namespace
} // namespace velmora::test
