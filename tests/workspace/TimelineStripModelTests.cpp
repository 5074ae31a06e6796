// The lanes' model: lane list, geometry, hit testing, drag and trim records, scrolling.

#include <gtest/gtest.h>

#include "TimelineStripTestSupport.h"
#include "workspace/timeline/TimelineStripModel.h"

namespace velmora::test {
namespace {

using Model = TimelineStripModel;
using Kind = Model::Hit::Kind;
using TrimEdge = Model::TrimEdge;

struct ModelFixture {
    explicit ModelFixture(std::vector<EditSession::Clip> clips = {}, std::optional<double> pps = std::nullopt,
                          double width = 1000, double height = 200)
    {
        model.setMinimumTracks(1, 1);
        model.setPreferredLaneHeight(44);
        model.setViewportSize(width, height);
        model.setTimeline(timelineWith(std::move(clips), pps));
    }

    void select(std::string id)
    {
        Model::EngineState state = model.engineState();
        state.selectedClipId = std::move(id);
        model.setEngineState(state);
    }

    QPointF at(double seconds, int row) const { return pointAt(model, seconds, row); }

    Model model;
};

std::vector<std::string> labels(const Model& model)
{
    std::vector<std::string> result;
    for (const TimelineLane& lane : model.buildLanes()) {
        result.push_back(lane.id + ":" + lane.label);
    }
    return result;
}

Model::SnappedStart noSnap(double time, const std::string&)
{
    return {std::max(time, 0.0), std::nullopt};
}

// Pulls any start within 0.5 s of 10 s onto 10 s, as the engine's magnet would onto a clip edge.
Model::SnappedStart snapToTen(double time, const std::string&)
{
    if (std::abs(time - 10) <= 0.5) {
        return {10, 10.0};
    }
    return {std::max(time, 0.0), std::nullopt};
}

// ---- lanes ----

TEST(TimelineStripLanes, VideoLanesAboveAudioLanesWithTheirCountsAndLabels)
{
    Model empty;
    empty.setTimeline(std::nullopt);
    EXPECT_EQ(empty.pps(), 80);
    EXPECT_EQ(labels(empty), (std::vector<std::string>{"v1:V1", "a1:A1 (linked)"}));

    ModelFixture noClips;
    noClips.model.setMinimumTracks(2, 1);
    EXPECT_EQ(labels(noClips.model), (std::vector<std::string>{"v1:V1", "v2:V2", "a1:A1 (linked)"}));

    ModelFixture audioOnOne({clip("a", "audio", 0, 2, 1)});
    EXPECT_EQ(labels(audioOnOne.model), (std::vector<std::string>{"v1:V1", "a1:A1"}));
    EditSession::Clip noLane = clip("a", "audio", 0, 2);
    noLane.track.reset();
    ModelFixture audioWithoutLane({noLane});
    EXPECT_EQ(labels(audioWithoutLane.model), (std::vector<std::string>{"v1:V1", "a1:A1"}));

    ModelFixture audioOnThree({clip("a", "audio", 0, 2, 3)});
    EXPECT_EQ(labels(audioOnThree.model), (std::vector<std::string>{"v1:V1", "a1:A1", "a2:A2", "a3:A3"}));

    // A text clip makes its lane but not the content's length.
    ModelFixture text({clip("v", "video", 0, 5, 1), clip("t", "text", 0, 100, 4)}, 80, 400);
    EXPECT_EQ(text.model.maxVideoTrackIndex(), 4);
    EXPECT_EQ(text.model.maxAudioTrackIndex(), 1);
    EXPECT_EQ(text.model.contentW(), 80 * 5 + 96 + 40);
    // Rows: V1…V4 then A1.
    EXPECT_EQ(text.model.rowIndex(TimelineLane::Kind::video, 3), 2);
    EXPECT_EQ(text.model.rowIndex(TimelineLane::Kind::audio, 1), 4);
}

TEST(TimelineStripLanes, LaneColoursRepeatEveryFourVideoLanes)
{
    const auto lane = [](TimelineLane::Kind kind, int n) { return TimelineLane("", kind, n, ""); };
    EXPECT_EQ(Model::laneColor(lane(TimelineLane::Kind::video, 5)), Model::laneColor(lane(TimelineLane::Kind::video, 1)));
    EXPECT_NE(Model::laneColor(lane(TimelineLane::Kind::video, 2)), Model::laneColor(lane(TimelineLane::Kind::video, 1)));
    EXPECT_EQ(Model::laneColor(lane(TimelineLane::Kind::audio, 1)), Model::laneColor(lane(TimelineLane::Kind::audio, 4)));
}

TEST(TimelineStripLanes, DropsRaiseTheWorkspaceCountsUpToEightVideoAndSixAudioLanes)
{
    EXPECT_EQ(Model::layoutTrackCountAfterDrop(12, true, 2), 8);
    EXPECT_EQ(Model::layoutTrackCountAfterDrop(2, false, 3), 3);
    EXPECT_EQ(Model::layoutTrackCountAfterDrop(2, true, 10), 8);
    EXPECT_EQ(Model::layoutTrackCountAfterDrop(4, true, 2), 4);
    EXPECT_EQ(Model::layoutTrackCountAfterDrop(9, false, 1), 6);
}

TEST(TimelineStripLanes, ADragBelowTheLastLaneShowsTheLaneItWouldLandOn)
{
    ModelFixture f({clip("v", "video", 0, 4, 1), clip("w", "video", 0, 4, 2), clip("x", "video", 0, 4, 3),
                    clip("a", "audio", 0, 4, 1)});
    const double pitch = f.model.lanePitch();
    // Audio down one lane: the ghost sits on A2, row 3 video lanes + 1.
    f.model.clipDragChanged("a", 1, QPointF(0, pitch), false, noSnap);
    EXPECT_EQ(f.model.activeDrag()->previewTrack, 2);
    EXPECT_EQ(f.model.maxAudioTrackIndex(), 2);
    EXPECT_EQ(f.model.dragGhostRect()->top(), f.model.rowTop(4) + 2);
    f.model.clipDragEnded("a", QPointF(0, pitch), 0, true);
    EXPECT_EQ(f.model.maxAudioTrackIndex(), 1); // gone again with the drag

    ModelFixture two({clip("v", "video", 0, 4, 1), clip("w", "video", 0, 4, 2)});
    two.model.clipDragChanged("w", 2, QPointF(0, 2 * two.model.lanePitch()), false, noSnap);
    EXPECT_EQ(labels(two.model), (std::vector<std::string>{"v1:V1", "v2:V2", "v3:V3", "v4:V4", "a1:A1 (linked)"}));
}

// ---- geometry ----

TEST(TimelineStripGeometry, SizesFollowTheZoomTheDurationAndTheViewport)
{
    ModelFixture f({}, 80, 600);
    Model::EngineState state;
    state.durationSeconds = 10;
    f.model.setEngineState(state);
    EXPECT_EQ(f.model.contentW(), 936);
    EXPECT_EQ(f.model.trackWidth(), 840);
    f.model.setViewportSize(1200, 200);
    EXPECT_EQ(f.model.contentW(), 1200);
    EXPECT_EQ(f.model.trackWidth(), 1104);

    f.model.setPreferredLaneHeight(10);
    EXPECT_EQ(f.model.laneH(), 24);
    f.model.setViewportSize(1200, 50);
    EXPECT_EQ(f.model.laneAreaHeight(), 60);
    f.model.setPreferredLaneHeight(44);
    f.model.setMinimumTracks(2, 1);
    EXPECT_EQ(f.model.laneStackHeight(), 44 * 3 + 2 * 2);
    // Empty content is still 0.1 s long.
    state.durationSeconds = 0;
    f.model.setEngineState(state);
    EXPECT_DOUBLE_EQ(f.model.contentDuration(), 0.1);
}

TEST(TimelineStripGeometry, TimeAndXMapBothWaysAtEveryZoom)
{
    for (const double pps : {0.5, 1.0, 80.0, 600.0}) {
        ModelFixture f({}, pps);
        EXPECT_DOUBLE_EQ(f.model.xForTime(2.5), 96 + pps * 2.5) << pps;
        // The ruler turns a point back into its time; below 1 px/s a point is a second.
        const double x = f.model.viewportX(f.model.xForTime(2.5));
        EXPECT_DOUBLE_EQ(f.model.rulerSeekTime(x), pps >= 1 ? 2.5 : pps * 2.5) << pps;
    }
    ModelFixture f({}, 80);
    EXPECT_DOUBLE_EQ(f.model.rulerSeekTime(96 + 200), 2.5);
    EXPECT_DOUBLE_EQ(f.model.rulerSeekTime(40), 0); // left of the track part
    f.model.setEngineState({false, 0, 0, 60, std::nullopt});
    f.model.setScrollLeft(300);
    EXPECT_DOUBLE_EQ(f.model.rulerSeekTime(96 + 200), 500 / 80.0);

    // A zoom that is not a positive number is shown at the default, others within the zoom's range.
    for (const double bad : {0.0, -20.0, std::nan("")}) {
        ModelFixture odd({}, bad);
        EXPECT_EQ(odd.model.pps(), 80);
    }
    ModelFixture huge({clip("far", "video", 1e300, 1e300, 1)}, 1e9);
    EXPECT_EQ(huge.model.pps(), 600);
    EXPECT_EQ(huge.model.contentW(), Model::maximumContentWidth);
}

TEST(TimelineStripGeometry, ThePlayheadSitsOnWholePointsOnlyWhilePaused)
{
    ModelFixture f({}, 80);
    f.model.setEngineState({false, 1.0037, 1.0037, 10, std::nullopt});
    EXPECT_EQ(f.model.playX(), 80);
    EXPECT_EQ(f.model.playheadRect(), QRectF(96 + 79, 0, 2, 200));
    f.model.setEngineState({true, 1.0037, 1.0037, 10, std::nullopt});
    EXPECT_NEAR(f.model.playX(), 80.296, 1e-9);
    f.model.setEngineState({false, 0, 0, 10, std::nullopt});
    EXPECT_EQ(f.model.playheadRect().left(), 96);
}

// ---- what is drawn ----

TEST(TimelineStripBlocks, OnlyTheVisibleClipsOfARowAreListedWithTheSelectionOnTop)
{
    std::vector<EditSession::Clip> clips;
    for (int i = 0; i < 1000; ++i) {
        clips.push_back(clip("c" + std::to_string(i), "video", i * 2.0, 2.0));
    }
    // A long clip that began early still reaches into view.
    clips.push_back(clip("long", "video", 0, 2000, 1));
    ModelFixture f(clips, 100);
    f.select("c3");
    std::vector<Model::Block> blocks;
    f.model.blocksInRow(0, 0, 1000, blocks);
    // 9.04 s of track: c0, the long clip (equal starts keep the timeline's order), c1, c2, c4,
    // then the selected c3 on top.
    ASSERT_EQ(blocks.size(), 6u);
    EXPECT_EQ(blocks[0].clip->id, "c0");
    EXPECT_EQ(blocks[1].clip->id, "long");
    EXPECT_EQ(blocks[4].clip->id, "c4");
    EXPECT_EQ(blocks.back().clip->id, "c3");
    EXPECT_TRUE(blocks.back().selected);
    EXPECT_TRUE(blocks.back().showsHandles);
    EXPECT_EQ(blocks.back().titlePadding, 10);
    EXPECT_EQ(blocks.back().rect, QRectF(96 + 600, 28, 200, 40));
    EXPECT_FALSE(blocks[0].selected);
    EXPECT_EQ(blocks[0].titlePadding, 3);

    f.model.setEngineState({false, 0, 0, 3000, "c3"});
    f.model.setScrollLeft(100000);
    f.model.blocksInRow(0, 0, 1000, blocks);
    EXPECT_EQ(blocks.size(), 7u); // c499…c504 and the long clip

    // The simplified layout draws no blocks, so nothing on a lane takes the pointer.
    f.model.setSimplifyLayout(true);
    f.model.blocksInRow(0, 0, 1000, blocks);
    EXPECT_TRUE(blocks.empty());
    EXPECT_EQ(f.model.hitTest({500, 48}).kind, Kind::none);
}

TEST(TimelineStripBlocks, TinyClipsKeepEightPointsAndMutedLanesReportTheirFlags)
{
    ModelFixture f({clip("tiny", "audio", 1, 0.01, 1)}, 80);
    std::vector<Model::Block> blocks;
    f.model.blocksInRow(1, 0, 1000, blocks);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].rect.width(), 8);
    f.model.setLaneFlagsProvider([](const TimelineLane& lane) { return Model::LaneFlags{false, !lane.isVideo()}; });
    EXPECT_TRUE(f.model.laneFlags(f.model.buildLanes()[1]).muted);
    EXPECT_FALSE(f.model.laneFlags(f.model.buildLanes()[0]).muted);
}

// ---- hit testing ----

TEST(TimelineStripHitTesting, BlocksHandlesButtonsAndTheRulerAnswerAtTheirEdges)
{
    ModelFixture f({clip("v", "video", 2, 3, 1), clip("w", "video", 6, 0.1, 1), clip("a", "audio", 2, 3, 1)}, 80);
    // V1 row spans y 26…70, the block 28…68; the block spans x 96+160 … 96+400.
    const double left = 96 + 160;
    const double right = 96 + 400;
    EXPECT_EQ(f.model.hitTest({left, 40}).kind, Kind::clip);
    EXPECT_EQ(f.model.hitTest({left - 0.5, 40}).kind, Kind::none);
    EXPECT_EQ(f.model.hitTest({right - 0.5, 40}).clipId, "v");
    EXPECT_EQ(f.model.hitTest({right + 0.5, 40}).kind, Kind::none);
    EXPECT_EQ(f.model.hitTest({left + 10, 27}).kind, Kind::none); // above the block, inside the lane
    EXPECT_EQ(f.model.hitTest({left + 10, 71}).kind, Kind::none); // the gap between the rows
    const Model::Hit audio = f.model.hitTest({left + 10, 26 + 46 + 20});
    EXPECT_EQ(audio.clipId, "a");
    EXPECT_EQ(audio.lane->label, "A1");

    // Selected: 10-point handles at both ends, with the tool tips.
    f.select("v");
    EXPECT_EQ(f.model.hitTest({left + 0.5, 40}).kind, Kind::trimHead);
    EXPECT_EQ(f.model.hitTest({left + 9.5, 40}).kind, Kind::trimHead);
    EXPECT_EQ(f.model.hitTest({left + 10.5, 40}).kind, Kind::clip);
    EXPECT_EQ(f.model.hitTest({right - 0.5, 40}).kind, Kind::trimTail);
    EXPECT_EQ(f.model.hitTest({right - 10.5, 40}).kind, Kind::clip);
    EXPECT_EQ(f.model.hitTest({left + 5, 28.5}).kind, Kind::clip); // handles are laneH − 6 high
    EXPECT_EQ(f.model.toolTipAt({left + 5, 40}), "Drag to trim clip start (in)");
    EXPECT_EQ(f.model.toolTipAt({right - 5, 40}), "Drag to trim clip end (out)");

    // An 8-point block: the handles meet in its middle and stand out of it.
    f.select("w");
    const double narrow = 96 + 480;
    EXPECT_EQ(f.model.hitTest({narrow + 4 - 9.5, 40}).kind, Kind::trimHead);
    EXPECT_EQ(f.model.hitTest({narrow + 4 + 9.5, 40}).kind, Kind::trimTail);

    // Header buttons: lock 30…58, mute 64…92, centred on the row.
    EXPECT_EQ(f.model.hitTest({44, 40}).kind, Kind::lockButton);
    EXPECT_EQ(f.model.hitTest({78, 40}).kind, Kind::muteButton);
    EXPECT_EQ(f.model.hitTest({61, 40}).kind, Kind::none);
    EXPECT_EQ(f.model.toolTipAt({44, 40}), "Lock lane (blocks move/trim/split)");
    f.model.setLaneFlagsProvider([](const TimelineLane&) { return Model::LaneFlags{true, true}; });
    EXPECT_EQ(f.model.toolTipAt({44, 40}), "Unlock lane (allow move/trim/split)");
    EXPECT_EQ(f.model.toolTipAt({78, 40}), "Unmute lane in preview");

    EXPECT_EQ(f.model.hitTest({200, 10}).kind, Kind::rulerTrack);
    EXPECT_EQ(f.model.hitTest({50, 10}).kind, Kind::none);
}

TEST(TimelineStripHitTesting, ScrolledLanesAreHitWhereTheyAreShown)
{
    ModelFixture f({clip("v", "video", 20, 3, 1), clip("a", "audio", 20, 3, 4)}, 80, 1000, 120);
    // 1 video + 4 audio lanes = 228 points in a 94-point lane area.
    EXPECT_TRUE(f.model.showsVerticalIndicator());
    f.model.setScrollLeft(1000);
    f.model.setScrollTop(f.model.maxScrollTop());
    const Model::Hit hit = f.model.hitTest(f.at(21, 4));
    EXPECT_EQ(hit.clipId, "a");
    EXPECT_EQ(f.model.hitTest({f.at(21, 4).x(), 10}).kind, Kind::rulerTrack); // the ruler does not scroll down
    EXPECT_DOUBLE_EQ(f.model.rulerSeekTime(f.at(21, 4).x()), 21);
    // The drag ghost covers the lane it would land on as the lanes are scrolled.
    f.model.clipDragChanged("a", 4, QPointF(40, 0), false, noSnap);
    EXPECT_EQ(f.model.dragGhostRect()->top(), f.model.viewportRowTop(4) + 2);
}

// ---- the clip drag ----

TEST(TimelineStripClipDrag, SmallMovesStayAClickAndALockedLaneNeverDrags)
{
    ModelFixture f({clip("v", "video", 2, 3, 1)});
    EXPECT_FALSE(f.model.clipDragChanged("v", 1, QPointF(3, 2.6), false, noSnap));
    EXPECT_FALSE(f.model.activeDrag());
    const Model::ClipRelease click = f.model.clipDragEnded("v", QPointF(3, 2.6), 0, false);
    EXPECT_TRUE(click.click);
    EXPECT_FALSE(click.drop);

    EXPECT_FALSE(f.model.clipDragChanged("v", 1, QPointF(80, 0), true, noSnap));
    EXPECT_FALSE(f.model.activeDrag());
    const Model::ClipRelease locked = f.model.clipDragEnded("v", QPointF(80, 0), 0, false);
    EXPECT_FALSE(locked.click);
    EXPECT_FALSE(locked.drop);

    // While a trim runs no drag starts.
    f.model.trimChanged("v", TrimEdge::tail, 0, false);
    EXPECT_FALSE(f.model.clipDragChanged("v", 1, QPointF(80, 0), false, noSnap));
}

TEST(TimelineStripClipDrag, HorizontalMovesSnapAndDrawTheGuideOnTheSnappedTime)
{
    ModelFixture f({clip("v", "video", 2, 3, 1)}, 80);
    EXPECT_TRUE(f.model.clipDragChanged("v", 1, QPointF(80 * 7.8, 10), false, snapToTen));
    const Model::ActiveDrag& drag = *f.model.activeDrag();
    EXPECT_EQ(drag.originStart, 2);
    EXPECT_EQ(drag.previewStart, 10);
    EXPECT_EQ(drag.snapGuideTime, 10.0);
    EXPECT_EQ(drag.previewTrack, 1);
    EXPECT_EQ(drag.title, "Clip");
    EXPECT_EQ(f.model.snapGuideRect(), QRectF(96 + 800 - 1, 0, 2, 200));
    EXPECT_EQ(f.model.dragGhostRect(), QRectF(96 + 800, 28, 240, 40));

    // Away from the magnet: no guide; left of zero the start stops at 0.
    f.model.clipDragChanged("v", 1, QPointF(80 * 3, 0), false, snapToTen);
    EXPECT_EQ(f.model.activeDrag()->previewStart, 5);
    EXPECT_FALSE(f.model.snapGuideRect());
    f.model.clipDragChanged("v", 1, QPointF(-80 * 5, 0), false, noSnap);
    EXPECT_EQ(f.model.activeDrag()->previewStart, 0);

    // The block is drawn at the preview start in its row.
    std::vector<Model::Block> blocks;
    f.model.blocksInRow(0, 0, 1000, blocks);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_TRUE(blocks[0].dragged);
    EXPECT_EQ(blocks[0].rect.left(), 96);
    EXPECT_EQ(blocks[0].opacity, 0.35);
    EXPECT_FALSE(blocks[0].showsHandles);

    const Model::ClipRelease release = f.model.clipDragEnded("v", QPointF(-400, 0), 0, true);
    ASSERT_TRUE(release.drop);
    EXPECT_EQ(release.drop->startTime, 0);
    EXPECT_EQ(release.drop->track, 1);
    EXPECT_FALSE(release.droppedOnTrack);
    EXPECT_FALSE(f.model.activeDrag());
}

TEST(TimelineStripClipDrag, VerticalMovesChangeTheLaneAndKeepTheTimeUnlessTheMoveIsAlsoSideways)
{
    ModelFixture f({clip("v", "video", 2, 3, 1), clip("w", "video", 2, 3, 2)}, 80);
    const double pitch = f.model.lanePitch(); // 46
    // Mostly downward by more than half a lane: next lane, same time.
    f.model.clipDragChanged("v", 1, QPointF(10, 30), false, noSnap);
    EXPECT_EQ(f.model.activeDrag()->previewTrack, 2);
    EXPECT_EQ(f.model.activeDrag()->previewStart, 2);
    // The clip is listed in both rows, fainter in its own.
    std::vector<Model::Block> blocks;
    f.model.blocksInRow(0, 0, 1000, blocks);
    EXPECT_EQ(blocks.back().opacity, 0.18);
    f.model.blocksInRow(1, 0, 1000, blocks);
    EXPECT_EQ(blocks.back().clip->id, "v");
    EXPECT_EQ(blocks.back().opacity, 0.35);
    // A horizontal part above 0.55 × the vertical one moves in time as well.
    f.model.clipDragChanged("v", 1, QPointF(40, 60), false, noSnap);
    EXPECT_EQ(f.model.activeDrag()->previewTrack, 2);
    EXPECT_EQ(f.model.activeDrag()->previewStart, 2.5);
    // Under half a lane stays on the lane; 1.5 lanes round away from zero.
    f.model.clipDragChanged("v", 1, QPointF(0, pitch / 2 - 0.1), false, noSnap);
    EXPECT_EQ(f.model.activeDrag()->previewTrack, 1);
    f.model.clipDragChanged("v", 1, QPointF(0, pitch * 1.5), false, noSnap);
    EXPECT_EQ(f.model.activeDrag()->previewTrack, 3);
    const Model::ClipRelease release = f.model.clipDragEnded("v", QPointF(0, pitch * 1.5), 0, true);
    EXPECT_EQ(release.drop->track, 3);
    EXPECT_EQ(release.droppedOnTrack, std::make_pair(3, true));

    // Upward from lane 1 stays on lane 1.
    f.model.clipDragChanged("v", 1, QPointF(0, -3 * pitch), false, noSnap);
    EXPECT_EQ(f.model.activeDrag()->previewTrack, 1);
}

TEST(TimelineStripClipDrag, BelowOnePointPerSecondTheClipDoesNotJumpWhenTheDragStarts)
{
    ModelFixture f({clip("v", "video", 400, 100, 1)}, 0.5);
    f.model.clipDragChanged("v", 1, QPointF(5, 0), false, noSnap);
    EXPECT_EQ(f.model.activeDrag()->previewStart, 405); // 5 points are 5 s
}

TEST(TimelineStripClipDrag, TwoClicksWithinTheWindowOpenTheSourceViewerOnce)
{
    ModelFixture f({clip("v", "video", 2, 3, 1), clip("a", "audio", 2, 3, 1)});
    EXPECT_FALSE(f.model.clipDragEnded("v", {}, 10.0, true).openSourceViewer);
    EXPECT_TRUE(f.model.clipDragEnded("v", {}, 10.3, true).openSourceViewer);
    const Model::ClipRelease third = f.model.clipDragEnded("v", {}, 10.6, true);
    EXPECT_TRUE(third.click);
    EXPECT_FALSE(third.openSourceViewer);
    // Too slow, or without a source viewer, or on audio: never.
    EXPECT_FALSE(f.model.clipDragEnded("v", {}, 11.1, true).openSourceViewer);
    EXPECT_FALSE(f.model.clipDragEnded("v", {}, 11.2, false).openSourceViewer);
    EXPECT_FALSE(f.model.clipDragEnded("a", {}, 12.0, true).openSourceViewer);
    EXPECT_FALSE(f.model.clipDragEnded("a", {}, 12.1, true).openSourceViewer);
}

// ---- the trim ----

TEST(TimelineStripTrim, TheTailPreviewStopsAboveTheShortestLengthAndTheReleaseUsesThePointer)
{
    ModelFixture f({clip("v", "video", 2, 3, 1)}, 80);
    f.select("v");
    EXPECT_TRUE(f.model.trimChanged("v", TrimEdge::tail, 0, false));
    f.model.trimChanged("v", TrimEdge::tail, -80, false);
    EXPECT_EQ(f.model.activeTrim()->deltaTime, -1);
    f.model.trimChanged("v", TrimEdge::tail, -80 * 4, false); // past the start: refused
    EXPECT_EQ(f.model.activeTrim()->deltaTime, -1);
    std::vector<Model::Block> blocks;
    f.model.blocksInRow(0, 0, 1000, blocks);
    EXPECT_TRUE(blocks[0].trimmed);
    EXPECT_EQ(blocks[0].opacity, 0.45);
    EXPECT_EQ(blocks[0].rect.width(), 160);
    // The other edge of the same gesture is not this trim.
    f.model.trimChanged("v", TrimEdge::head, 40, false);
    EXPECT_EQ(f.model.activeTrim()->edge, TrimEdge::tail);

    const Model::TrimRelease release = f.model.trimEnded("v", -80 * 4);
    EXPECT_EQ(release.targetTime, 1.0);
    EXPECT_FALSE(f.model.activeTrim());
}

TEST(TimelineStripTrim, TheHeadPreviewGrowsOnlyIntoMediaBeforeTheInPoint)
{
    ModelFixture f({clip("v", "video", 4, 3, 1, "V", 1.5)}, 80);
    f.model.trimChanged("v", TrimEdge::head, 80, false);
    std::vector<Model::Block> blocks;
    f.model.blocksInRow(0, 0, 1000, blocks);
    EXPECT_EQ(blocks[0].rect, QRectF(96 + 400, 28, 160, 40));
    f.model.trimChanged("v", TrimEdge::head, -80 * 1.5, false);
    EXPECT_EQ(f.model.activeTrim()->deltaTime, -1.5);
    f.model.trimChanged("v", TrimEdge::head, -80 * 2, false); // 0.5 s more than the media holds
    EXPECT_EQ(f.model.activeTrim()->deltaTime, -1.5);
    EXPECT_EQ(f.model.trimEnded("v", -80 * 2).targetTime, 2.0);
}

// The tail is drawn where the release would put it: no further than the end of the file its
// source reads, and not lengthened at all on a clip that already runs to or past that end, whose
// release would be refused; dragged in, such a clip is drawn stopping at that end, as its trim
// stops. The release still sends the pointer's time.
TEST(TimelineStripTrim, TheTailPreviewStopsWhereItsFileEnds)
{
    for (const double points : {80.0 * 2, 80.0 * 0.25}) {
        ModelFixture f({clip("v", "video", 2, 3, 1)}, 80);
        f.model.trimChanged("v", TrimEdge::tail, 0, false, 4.0); // 1 s of the file left
        f.model.trimChanged("v", TrimEdge::tail, points, false);
        EXPECT_EQ(f.model.activeTrim()->deltaTime, std::min(points / 80, 1.0)) << points;
        EXPECT_EQ(f.model.trimEnded("v", points).targetTime, 5 + points / 80);
    }

    EditSession::Clip past = clip("p", "video", 2, 3, 1, "P", 0.5);
    past.speed = 0.5; // the last 1 s of a 1.5 s file fills 2 s: 3 s runs past it
    ModelFixture f({past}, 80);
    f.model.trimChanged("p", TrimEdge::tail, 0, false, 1.5);
    f.model.trimChanged("p", TrimEdge::tail, 40, false);
    EXPECT_EQ(f.model.activeTrim()->deltaTime, 0);
    std::vector<Model::Block> blocks;
    f.model.blocksInRow(0, 0, 1000, blocks);
    EXPECT_EQ(blocks[0].rect.width(), 3 * 80);
    f.model.trimChanged("p", TrimEdge::tail, -20, false);
    EXPECT_EQ(f.model.activeTrim()->deltaTime, -1);
    f.model.trimChanged("p", TrimEdge::tail, 40, false);
    EXPECT_EQ(f.model.activeTrim()->deltaTime, 0);
}

TEST(TimelineStripTrim, APressWithoutMovementOnlyHintsAndLockedClipsIgnoreTheHandles)
{
    ModelFixture f({clip("v", "video", 2, 3, 1)}, 0.5);
    f.model.trimChanged("v", TrimEdge::tail, 0, false);
    const Model::TrimRelease still = f.model.trimEnded("v", 0.5);
    EXPECT_TRUE(still.pressWithoutMovement);
    EXPECT_FALSE(still.targetTime);

    // At or below 1 px/s a point is a second.
    f.model.trimChanged("v", TrimEdge::tail, 0, false);
    EXPECT_EQ(f.model.trimEnded("v", 1).targetTime, 6.0);

    EXPECT_FALSE(f.model.trimChanged("v", TrimEdge::tail, -10, true));
    EXPECT_FALSE(f.model.activeTrim());
    const Model::TrimRelease locked = f.model.trimEnded("v", -10);
    EXPECT_FALSE(locked.targetTime);
    EXPECT_FALSE(locked.pressWithoutMovement);
}

TEST(TimelineStripTrim, ALaneHeightChangeEndsADragOrTrimUncommitted)
{
    ModelFixture f({clip("v", "video", 2, 3, 1)});
    f.model.trimChanged("v", TrimEdge::tail, -10, false);
    EXPECT_FALSE(f.model.setPreferredLaneHeight(44));
    EXPECT_TRUE(f.model.activeTrim());
    EXPECT_TRUE(f.model.setPreferredLaneHeight(50));
    EXPECT_FALSE(f.model.activeTrim());
    f.model.clipDragChanged("v", 1, QPointF(50, 0), false, noSnap);
    f.model.setPreferredLaneHeight(44);
    EXPECT_FALSE(f.model.activeDrag());
    EXPECT_FALSE(f.model.clipDragEnded("v", QPointF(50, 0), 0, true).drop);
}

TEST(TimelineStripTrim, ATrimOrDragWhoseClipLeavesTheTimelineEndsUncommitted)
{
    ModelFixture f({clip("v", "video", 4, 3, 1, "V", 1.5), clip("w", "video", 10, 3, 1)}, 80);
    f.model.trimChanged("v", TrimEdge::head, -40, false);
    ASSERT_TRUE(f.model.activeTrim());
    // The clip is deleted, or its adding undone, while the pointer is held on its handle.
    f.model.setTimeline(timelineWith({clip("w", "video", 10, 3, 1)}, 80));
    EXPECT_FALSE(f.model.activeTrim());
    EXPECT_FALSE(f.model.trimChanged("v", TrimEdge::head, -80, false));
    EXPECT_FALSE(f.model.activeTrim());
    EXPECT_FALSE(f.model.trimEnded("v", -80).targetTime);

    const double pitch = f.model.lanePitch();
    f.model.clipDragChanged("w", 1, QPointF(0, 2 * pitch), false, noSnap);
    ASSERT_EQ(f.model.maxVideoTrackIndex(), 3);
    f.model.setTimeline(timelineWith({}, 80));
    EXPECT_FALSE(f.model.activeDrag());
    EXPECT_FALSE(f.model.dragGhostRect());
    EXPECT_EQ(f.model.maxVideoTrackIndex(), 1);
    EXPECT_FALSE(f.model.clipDragEnded("w", QPointF(0, 2 * pitch), 0, true).drop);
}

// ---- scrolling ----

TEST(TimelineStripScrolling, RequestsEstimateTheScrollAndPutTheTargetAtTheAnchor)
{
    ModelFixture f({}, 80, 1000);
    f.model.setEngineState({false, 500 / 80.0, 0, 100, std::nullopt});
    EXPECT_EQ(f.model.beginPlayheadScroll(TimelineScrollAnchor::trailing), 1);
    EXPECT_EQ(f.model.estimatedScrollLeft(), 0);
    f.model.setEngineState({false, 3000 / 80.0, 0, 100, std::nullopt});
    f.model.beginPlayheadScroll(TimelineScrollAnchor::trailing);
    EXPECT_EQ(f.model.estimatedScrollLeft(), 2080);
    EXPECT_EQ(f.model.scrollAnchorSeconds(), 37.5);
    // The 1-point target stands just left of the playhead: its right edge goes to the right edge.
    EXPECT_EQ(f.model.scrollLeftForPlayheadTarget(1), 96 + 2999 + 1 - 1000);
    EXPECT_EQ(f.model.beginPlayheadScroll(TimelineScrollAnchor::center), 0.5);
    EXPECT_EQ(f.model.scrollLeftForPlayheadTarget(0.5), 96 + 2999 + 0.5 - 500);
    EXPECT_EQ(f.model.beginPlayheadScroll(TimelineScrollAnchor::leading), 0);
    EXPECT_EQ(f.model.estimatedScrollLeft(), 3000 - 80);
    // Never past the content's end.
    f.model.setEngineState({false, 100, 0, 100, std::nullopt});
    f.model.beginPlayheadScroll(TimelineScrollAnchor::leading);
    EXPECT_EQ(f.model.scrollLeftForPlayheadTarget(0), f.model.maxScrollLeft());
}

TEST(TimelineStripScrolling, PlaybackIsFollowedForwardAtMostEveryTwelfthOfASecond)
{
    ModelFixture f({}, 80, 1000);
    const auto play = [&](double t) { f.model.setEngineState({true, t, t, 1000, std::nullopt}); };
    play(9.75);
    EXPECT_FALSE(f.model.followPlayhead(10.0)); // x = 780: not past 78 %
    play(9.76);
    const std::optional<double> first = f.model.followPlayhead(10.0);
    ASSERT_TRUE(first);
    EXPECT_NEAR(f.model.estimatedScrollLeft(), 780.8 - 350, 1e-9);
    EXPECT_NEAR(*first, 96 + 779.8 + 0.35 - 350, 1e-9);
    // Past 78 % again, but too soon; then in time.
    play(20);
    EXPECT_FALSE(f.model.followPlayhead(10.1));
    EXPECT_TRUE(f.model.followPlayhead(10.13));
    EXPECT_EQ(f.model.estimatedScrollLeft(), 1600 - 350);
    // Backwards over the visible start: no follow. Paused: none.
    play(0);
    EXPECT_FALSE(f.model.followPlayhead(11));
    f.model.setEngineState({false, 30, 30, 1000, std::nullopt});
    EXPECT_FALSE(f.model.followPlayhead(12));
}

TEST(TimelineStripScrolling, AUserScrollBecomesTheEstimate)
{
    ModelFixture f({}, 80, 1000);
    f.model.setEngineState({true, 0, 0, 1000, std::nullopt});
    f.model.setScrollLeft(5000);
    f.model.noteUserScroll();
    EXPECT_EQ(f.model.estimatedScrollLeft(), 5000 - 96);
    f.model.setEngineState({true, 70, 70, 1000, std::nullopt}); // x 5600: 70 % into the view
    EXPECT_FALSE(f.model.followPlayhead(1));
    f.model.setEngineState({true, 72, 72, 1000, std::nullopt}); // 5760: past 78 %
    EXPECT_TRUE(f.model.followPlayhead(1));
}

TEST(TimelineStripScrolling, AFocusedClipIsCentredInBothDirections)
{
    ModelFixture f({clip("v", "video", 30, 2, 1), clip("a", "audio", 40, 2, 5), clip("x", "other", 1, 1, 1)}, 80, 1000,
                   120);
    f.model.setEngineState({false, 0, 0, 100, std::nullopt});
    const std::optional<Model::ScrollPosition> audio = f.model.scrollPositionCentringClip("a");
    ASSERT_TRUE(audio);
    EXPECT_EQ(audio->left, 96 + 3200 + 80 - 500);
    // Row 5 (after V1 and A1…A4) centred in the 94-point lane area, within the scroll range.
    EXPECT_EQ(audio->top, std::min(5 * 46 + 22 - 47.0, f.model.maxScrollTop()));
    EXPECT_EQ(f.model.scrollPositionCentringClip("v")->left, 96 + 2400 + 80 - 500);
    EXPECT_EQ(f.model.scrollPositionCentringClip("v")->top, 0);
    EXPECT_FALSE(f.model.scrollPositionCentringClip("x"));
    EXPECT_FALSE(f.model.scrollPositionCentringClip("missing"));
}

} // namespace
} // namespace velmora::test
