// The lanes view with pointer and key events on a real engine, wired as the workspace wires it.

#include <filesystem>

#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include "TimelineStripTestSupport.h"

namespace velmora::test {
namespace {

using TrimEdge = TimelinePreviewEngine::TrimEdge;

// V1: v1 0…4 s (in point 1), v2 5…8 s; V2: w1 2…6 s; A1: a1 0…4 s. 80 px/s.
std::shared_ptr<EditSession> threeLanes()
{
    return sessionWith({clip("v1", "video", 0, 4, 1, "DJI_0001.MP4", 1), clip("v2", "video", 5, 3, 1, "DJI_0002.MP4"),
                        clip("w1", "video", 2, 4, 2, "Overlay.MOV"), clip("a1", "audio", 0, 4, 1, "Music.wav")},
                       {{"m1", 1.5, "Intro"}, {"m2", 6.0, std::nullopt}}, 80);
}

bool near(QColor actual, QColor expected, int tolerance = 12)
{
    return std::abs(actual.red() - expected.red()) <= tolerance && std::abs(actual.green() - expected.green()) <= tolerance
        && std::abs(actual.blue() - expected.blue()) <= tolerance;
}

TEST(TimelineStripView, AClickSelectsTheClipAndMovesNothing)
{
    StripHarness h(threeLanes());
    EXPECT_EQ(h.view().objectName(), "TimelineStripView");
    const int revision = h.engine.timelineRevision();
    h.press(h.at(6, 0));
    h.moveTo(h.at(6, 0, 3));
    h.release(h.at(6, 0, 3));
    EXPECT_EQ(h.selections, (std::vector<std::string>{"v2"}));
    EXPECT_EQ(h.engine.selectedClipId(), "v2");
    EXPECT_EQ(h.clipNamed("v2").startTime, 5.0);
    EXPECT_EQ(h.engine.timelineRevision(), revision);
    EXPECT_FALSE(h.engine.canUndo());
}

TEST(TimelineStripView, ADoubleClickOnAVisualClipOpensTheSourceViewer)
{
    StripHarness h(threeLanes());
    h.click(h.at(1, 0));
    h.doubleClickPress(h.at(1, 0));
    EXPECT_EQ(h.openedInSourceViewer, (std::vector<std::string>{"v1"}));
    EXPECT_EQ(h.selections.size(), 2u);

    // Slower than the double-click window, or on audio: selection only.
    h.click(h.at(6, 0));
    h.clock->advance(0.5);
    h.click(h.at(6, 0));
    h.click(h.at(1, 2));
    h.doubleClickPress(h.at(1, 2));
    EXPECT_EQ(h.openedInSourceViewer, (std::vector<std::string>{"v1"}));
}

TEST(TimelineStripView, ADragToAnotherLaneAndTimeCommitsOneSnappedMoveOnRelease)
{
    StripHarness h(threeLanes());
    const int revision = h.engine.timelineRevision();
    // v2 down one lane, its start 1.1 s later: within the magnet of w1's end at 6 s.
    const QPointF from = h.at(6, 0);
    h.press(from);
    h.moveTo(from + QPointF(40, 20));
    h.moveTo(from + QPointF(88, 46));
    ASSERT_TRUE(h.model().activeDrag());
    EXPECT_EQ(h.model().activeDrag()->previewTrack, 2);
    EXPECT_EQ(h.model().activeDrag()->previewStart, 6);
    EXPECT_EQ(h.model().activeDrag()->snapGuideTime, 6.0);
    EXPECT_EQ(h.engine.selectedClipId(), "v2");
    EXPECT_EQ(h.clipNamed("v2").startTime, 5.0); // nothing committed while the pointer is held
    const QImage during = h.grab();
    EXPECT_TRUE(near(during.pixelColor(96 + 480, 10), QColor::fromRgbF(0.392f, 0.824f, 1.0f))); // the guide

    h.release(from + QPointF(88, 46));
    EXPECT_EQ(h.clipNamed("v2").startTime, 6.0);
    EXPECT_EQ(h.clipNamed("v2").track, 2);
    EXPECT_EQ(h.engine.timelineRevision(), revision + 1);
    EXPECT_EQ(h.drops, (std::vector<std::pair<int, bool>>{{2, true}}));
    EXPECT_TRUE(h.selections.empty());
    EXPECT_FALSE(h.model().activeDrag());
    // One undo step puts it back.
    h.engine.undo();
    EXPECT_EQ(h.clipNamed("v2").startTime, 5.0);
    EXPECT_EQ(h.clipNamed("v2").track, 1);
    EXPECT_FALSE(h.engine.canUndo());
}

TEST(TimelineStripView, AnAudioClipDroppedOnANewLaneWidensTheLayout)
{
    StripHarness h(threeLanes());
    h.drag(h.at(1, 2), {h.at(1, 2, 30), h.at(1, 2, 46)});
    EXPECT_EQ(h.clipNamed("a1").track, 2);
    EXPECT_EQ(h.drops, (std::vector<std::pair<int, bool>>{{2, false}}));
    EXPECT_EQ(h.layoutAudioTracks, 2);
    EXPECT_EQ(h.model().buildLanes().back().label, "A2");
}

TEST(TimelineStripView, TailAndHeadTrimsPreviewLiveAndCommitOnceOnRelease)
{
    StripHarness h(threeLanes());
    h.click(h.at(6, 0));
    const int revision = h.engine.timelineRevision();
    const QPointF tail(h.model().viewportX(h.model().xForTime(8)) - 3, h.at(6, 0).y());
    h.press(tail);
    h.moveTo(tail + QPointF(-40, 2));
    h.moveTo(tail + QPointF(-80, 2));
    ASSERT_TRUE(h.model().activeTrim());
    EXPECT_EQ(h.model().activeTrim()->deltaTime, -1);
    EXPECT_EQ(h.clipNamed("v2").duration, 3.0);
    h.release(tail + QPointF(-80, 2));
    ASSERT_EQ(h.trims.size(), 1u);
    EXPECT_EQ(h.trims[0].clipId, "v2");
    EXPECT_EQ(h.trims[0].edge, TrimEdge::tail);
    EXPECT_DOUBLE_EQ(h.trims[0].time, 7.0);
    EXPECT_EQ(h.clipNamed("v2").duration, 2.0);
    EXPECT_EQ(h.engine.timelineRevision(), revision + 1);

    h.click(h.at(2, 0));
    const QPointF head(h.model().viewportX(h.model().xForTime(0)) + 3, h.at(2, 0).y());
    h.drag(head, {head + QPointF(40, 0), head + QPointF(80, 0)});
    ASSERT_EQ(h.trims.size(), 2u);
    EXPECT_EQ(h.trims[1].edge, TrimEdge::head);
    EXPECT_DOUBLE_EQ(h.trims[1].time, 1.0);
    EXPECT_EQ(h.clipNamed("v1").startTime, 1.0);
    EXPECT_EQ(h.clipNamed("v1").duration, 3.0);
    EXPECT_EQ(h.clipNamed("v1").inPoint, 2.0);
}

// The release goes to the engine as it was let go: a head at the timeline's start dragged outward
// is told where it stops, not to drag further (its release floored at the start first).
TEST(TimelineStripView, AHeadAtTheTimelinesStartDraggedOutwardSaysItStartsThere)
{
    StripHarness h(threeLanes());
    h.click(h.at(2, 0));
    const QPointF head(h.model().viewportX(h.model().xForTime(0)) + 3, h.at(2, 0).y());
    h.drag(head, {head + QPointF(-40, 0), head + QPointF(-80, 0)});
    ASSERT_EQ(h.trims.size(), 1u);
    EXPECT_EQ(h.engine.status(), "Trim: the clip already starts at the timeline's start");
    EXPECT_EQ(h.clipNamed("v1").startTime, 0.0);
    EXPECT_EQ(h.clipNamed("v1").inPoint, 1.0);
    EXPECT_FALSE(h.engine.canUndo());
}

TEST(TimelineStripView, EscapeCancelsATrimAndTheRestOfTheGestureDoesNothing)
{
    StripHarness h(threeLanes());
    h.click(h.at(6, 0));
    const QPointF tail(h.model().viewportX(h.model().xForTime(8)) - 3, h.at(6, 0).y());
    h.press(tail);
    h.moveTo(tail + QPointF(-80, 0));
    ASSERT_TRUE(h.model().activeTrim());
    QTest::keyClick(&h.view(), Qt::Key_Escape);
    EXPECT_FALSE(h.model().activeTrim());
    h.moveTo(tail + QPointF(-120, 0));
    EXPECT_FALSE(h.model().activeTrim());
    h.release(tail + QPointF(-120, 0));
    EXPECT_TRUE(h.trims.empty());
    EXPECT_EQ(h.clipNamed("v2").duration, 3.0);
    EXPECT_NE(h.engine.status(), "Trim: drag the white edge to shorten the clip");

    // The workspace's Escape goes to the engine directly; the strip drops its trim as well.
    h.press(tail);
    h.moveTo(tail + QPointF(-80, 0));
    h.engine.cancelTrimGesture();
    EXPECT_FALSE(h.model().activeTrim());
    h.release(tail + QPointF(-80, 0));
    EXPECT_TRUE(h.trims.empty());
}

TEST(TimelineStripView, ADragWhoseReleaseNeverCameEndsUncommittedAtTheNextPress)
{
    StripHarness h(threeLanes());
    h.press(h.at(6, 0));
    h.moveTo(h.at(7, 0));
    ASSERT_TRUE(h.model().activeDrag());
    h.press(h.at(1, 2));
    EXPECT_FALSE(h.model().activeDrag());
    h.release(h.at(1, 2));
    EXPECT_EQ(h.clipNamed("v2").startTime, 5.0);
    EXPECT_EQ(h.selections, (std::vector<std::string>{"a1"}));
}

TEST(TimelineStripView, APressOnAHandleWithoutMovementShowsTheTrimHint)
{
    StripHarness h(threeLanes());
    h.click(h.at(6, 0));
    h.engine.setSelectedClipId(std::nullopt);
    h.engine.setSelectedClipId("v2");
    const QPointF head(h.model().viewportX(h.model().xForTime(5)) + 3, h.at(6, 0).y());
    h.click(head);
    EXPECT_EQ(h.engine.status(), "Trim: drag the white edge to shorten the clip");
    EXPECT_FALSE(h.engine.isPlaying());
    EXPECT_TRUE(h.trims.empty());
    EXPECT_EQ(h.clipNamed("v2").startTime, 5.0);
}

TEST(TimelineStripView, LockAndMuteButtonsToggleTheirLaneAndALockedLaneRefusesDragsAndTrims)
{
    StripHarness h(threeLanes());
    const QPointF lockV1 = h.model().lockButtonRect(0).center();
    // A press that leaves the button before the release does nothing.
    h.press(lockV1);
    h.release(lockV1 + QPointF(0, 200));
    EXPECT_FALSE(h.engine.isVideoTrackLocked(1));
    h.click(lockV1);
    EXPECT_TRUE(h.engine.isVideoTrackLocked(1));
    EXPECT_FALSE(h.engine.isAudioTrackLocked(1));
    EXPECT_EQ(h.model().toolTipAt(lockV1), "Unlock lane (allow move/trim/split)");

    h.drag(h.at(6, 0), {h.at(7, 0), h.at(8, 0)});
    EXPECT_FALSE(h.model().activeDrag());
    EXPECT_EQ(h.clipNamed("v2").startTime, 5.0);
    h.click(h.at(6, 0)); // still selects
    EXPECT_EQ(h.engine.selectedClipId(), "v2");
    const std::string status = h.engine.status();
    const QPointF tail(h.model().viewportX(h.model().xForTime(8)) - 3, h.at(6, 0).y());
    h.drag(tail, {tail + QPointF(-80, 0)});
    EXPECT_TRUE(h.trims.empty());
    EXPECT_EQ(h.engine.status(), status);

    // Muting A1 darkens its track.
    const QPoint emptyA1 = h.at(7, 2).toPoint();
    EXPECT_TRUE(near(h.grab().pixelColor(emptyA1), QColor::fromRgbF(0.1f, 0.1f, 0.1f), 2));
    h.click(h.model().muteButtonRect(2).center());
    EXPECT_TRUE(h.engine.isAudioTrackMuted(1));
    EXPECT_FALSE(h.engine.isVideoTrackMuted(1));
    EXPECT_TRUE(near(h.grab().pixelColor(emptyA1), QColor::fromRgbF(0.06f, 0.06f, 0.06f), 2));
    EXPECT_EQ(h.model().toolTipAt(h.model().muteButtonRect(2).center()), "Unmute lane in preview");
    h.click(h.model().muteButtonRect(2).center());
    EXPECT_FALSE(h.engine.isAudioTrackMuted(1));
}

TEST(TimelineStripView, TheRulerSeeksOnClickAndWhileDraggingWithoutScrollingUnderThePointer)
{
    StripHarness h(threeLanes());
    h.click({96 + 200, 13});
    EXPECT_EQ(h.seeks, (std::vector<double>{2.5}));
    EXPECT_DOUBLE_EQ(h.engine.playheadSeconds(), 2.5);
    h.seeks.clear();
    h.drag({96 + 80, 13}, {{96 + 160, 13}, {20, 13}});
    EXPECT_EQ(h.seeks, (std::vector<double>{1, 2, 0}));
    EXPECT_EQ(h.engine.playheadSeconds(), 0);

    // A long timeline scrolled away from its start stays put while the ruler seeks.
    StripHarness wide(sessionWith({clip("long", "video", 0, 100, 1)}, {}, 80));
    wide.view().horizontalScrollBar()->setValue(3000);
    EXPECT_EQ(wide.model().scrollLeft(), 3000);
    wide.drag({500, 13}, {{520, 13}, {540, 13}});
    wide.queue->runUntilIdle();
    EXPECT_EQ(wide.model().scrollLeft(), 3000);
    EXPECT_DOUBLE_EQ(wide.seeks.back(), (540 + 3000 - 96) / 80.0);
    EXPECT_NEAR(wide.engine.playheadSeconds(), wide.seeks.back(), 1 / 30.0); // on the frame grid
}

TEST(TimelineStripView, AnotherProjectStartsScrolledToItsStart)
{
    StripHarness h(sessionWith({clip("long", "video", 0, 100, 1)}, {}, 80));
    h.view().horizontalScrollBar()->setValue(3000);
    h.engine.reloadSession(h.engine.session(), std::nullopt, std::nullopt); // the same project: stays
    EXPECT_EQ(h.view().horizontalScrollBar()->value(), 3000);

    h.engine.adoptSession(sessionWith({clip("other", "video", 0, 100, 1)}, {}, 80), std::nullopt, std::nullopt);
    EXPECT_EQ(h.model().scrollLeft(), 0);
    EXPECT_EQ(h.view().horizontalScrollBar()->value(), 0);
}

TEST(TimelineStripView, MarkersAreDrawnOnTheRulerAtTheirTimes)
{
    StripHarness h(threeLanes());
    const QImage image = h.grab();
    const QColor orange = QColor::fromRgbF(1.0f, 0.624f, 0.039f);
    const QColor ruler = QColor::fromRgbF(0.14f, 0.14f, 0.14f);
    for (const double time : {1.5, 6.0}) {
        const int x = 96 + int(time * 80);
        EXPECT_TRUE(near(image.pixelColor(x, 13), orange)) << time;
        EXPECT_TRUE(near(image.pixelColor(x + 1, 2), orange)) << time;
        EXPECT_TRUE(near(image.pixelColor(x - 2, 13), ruler, 2)) << time;
        EXPECT_TRUE(near(image.pixelColor(x + 3, 13), ruler, 2)) << time;
    }
    h.engine.scrub(3);
    h.engine.addMarkerAtPlayhead();
    h.engine.scrub(0);
    EXPECT_TRUE(near(h.grab().pixelColor(96 + 240, 13), orange));
}

TEST(TimelineStripView, AFocusRequestCentresTheClipAndIsClearedAfterwards)
{
    StripHarness h(sessionWith({clip("first", "video", 0, 5, 1), clip("far", "video", 60, 4, 1),
                                clip("last", "video", 100, 4, 1)},
                               {}, 80));
    h.engine.setFocusClipId("far");
    EXPECT_EQ(h.model().scrollLeft(), 0); // on the next turn of the main queue
    h.queue->runUntilIdle();
    EXPECT_EQ(h.model().scrollLeft(), 96 + 4800 + 160 - 500);
    EXPECT_EQ(h.view().horizontalScrollBar()->value(), 96 + 4800 + 160 - 500);
    EXPECT_FALSE(h.engine.focusClipId());
}

// A drop brings the clip into view across only: the lanes stay scrolled where they were (V1, the
// top lane, is not pushed under the ruler by centring the dropped clip's lane).
TEST(TimelineStripView, ADragLeavesTheVerticalScrollWhereItWas)
{
    StripHarness h(threeLanes(), 1000, 120);
    ASSERT_GT(h.model().maxScrollTop(), 0);
    EXPECT_EQ(h.model().scrollTop(), 0);
    h.drag(h.at(3, 1), {h.at(3.5, 1), h.at(4, 1)}); // w1 on V2, one second later
    h.queue->runUntilIdle();
    EXPECT_EQ(h.clipNamed("w1").startTime, 3.0);
    EXPECT_EQ(h.model().scrollTop(), 0);
    EXPECT_EQ(h.view().verticalScrollBar()->value(), 0);

    // Scrolled down by the user, it stays there too.
    h.view().verticalScrollBar()->setValue(h.view().verticalScrollBar()->maximum());
    const double top = h.model().scrollTop();
    ASSERT_GT(top, 0);
    h.drag(h.at(4, 1), {h.at(4.5, 1), h.at(5, 1)});
    h.queue->runUntilIdle();
    EXPECT_EQ(h.clipNamed("w1").startTime, 4.0);
    EXPECT_EQ(h.model().scrollTop(), top);
}

TEST(TimelineStripView, AbsurdTimesAndLanesInADocumentStillPaint)
{
    EditSession::Clip noStart = clip("nan", "video", 0, 3, 2);
    noStart.startTime = std::nan("");
    StripHarness h(sessionWith({clip("endless", "video", 0, 1e300, 1), clip("far", "audio", 1e300, 5, 1),
                                clip("deep", "audio", 0, 5, 2000000000), noStart},
                               {{"m", 1e300, std::nullopt}}, 1e9));
    h.view().horizontalScrollBar()->setValue(h.view().horizontalScrollBar()->maximum());
    EXPECT_FALSE(h.grab().isNull());
    EXPECT_EQ(h.model().maxAudioTrackIndex(), 1); // the clip on lane 2,000,000,000 is not shown
    h.click(h.at(1, 1)); // the clip without a start is drawn at 0
    EXPECT_EQ(h.engine.selectedClipId(), "nan");
}

TEST(TimelineStripView, AScreenshotOfAThreeLaneProjectShowsBlocksHeadersMarkersAndThePlayhead)
{
    StripHarness h(threeLanes(), 1000, 200);
    h.engine.scrub(3.0);
    h.click(h.at(6, 0));
    h.engine.toggleVideoTrackLock(2);
    h.queue->runUntilIdle();
    const QImage image = h.grab();
    const std::filesystem::path folder = std::filesystem::path(VELMORA_BUILD_DIR) / "screenshots";
    std::filesystem::create_directories(folder);
    ASSERT_TRUE(image.save(QString::fromStdString((folder / "timeline.png").string())));
    const int playheadX = int(h.model().playheadRect().left());
    EXPECT_TRUE(near(image.pixelColor(playheadX, 120), QColor::fromRgbF(1.0f, 0.271f, 0.227f), 30));
    // V1's colour at 0.82 over the lane, below the title.
    const QColor block = QColor::fromRgbF(0.82f * 0.35f + 0.018f, 0.82f * 0.55f + 0.018f, 0.82f * 0.95f + 0.018f);
    EXPECT_TRUE(near(image.pixelColor(h.at(1, 0, 14).toPoint()), block, 4));
}

} // namespace
} // namespace velmora::test
