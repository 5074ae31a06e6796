// Trims at the playhead and by dragging an edge, ripple after a tail trim, and slips.

#include <QSignalSpy>
#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "model/MediaResolver.h"
#include "platform/media/Asset.h"
#include "support/MediaFixtures.h"

namespace velmora::test {
namespace {

// An audio clip 10–20 s on A1 followed by another at 20–25 s, and a video clip at 20 s on V1.
std::shared_ptr<EditSession> audioLane()
{
    return sessionWith({clip("au1", "audio", 10, 10, 1, "music.wav"), clip("au2", "audio", 20, 5, 1, "more.wav"),
                        clip("w", "video", 20, 5, 1, "other.mp4")});
}

TEST(EngineTrim, TrimOutOnAudioRipplesOnlyTheAudioOfItsLane)
{
    EngineHarness h;
    h.adopt(audioLane());
    h.engine.setRippleEditEnabled(true);
    h.engine.scrub(15);
    h.engine.trimAtPlayhead();
    EXPECT_TRUE(h.showed("Trimmed audio out @ playhead"));
    EXPECT_TRUE(timelineIs(h.session(), {{"au1", 10, 5}, {"au2", 15, 5}, {"w", 20, 5}}));
    h.engine.undo();
    EXPECT_TRUE(timelineIs(h.session(), {{"au1", 10, 10}, {"au2", 20, 5}, {"w", 20, 5}}));
}

TEST(EngineTrim, TrimOutOnALinkedVideoRipplesEveryClipOfTheLaneNumber)
{
    EngineHarness h;
    h.adopt(sessionWith({clip("v", "video", 10, 10, 1, "DJI_0001.MP4"),
                         clip("a", "audio", 10, 10, 1, "DJI_0001 (Audio)"), clip("au2", "audio", 20, 5, 1, "music.wav"),
                         clip("w", "video", 20, 5, 1, "other.mp4")}));
    h.engine.setRippleEditEnabled(true);
    h.engine.scrub(15);
    h.engine.trimAtPlayhead(); // the audio under the playhead leads to its linked picture
    EXPECT_TRUE(h.showed("Trimmed out @ playhead + audio"));
    EXPECT_TRUE(timelineIs(h.session(), {{"v", 10, 5}, {"a", 10, 5}, {"au2", 15, 5}, {"w", 15, 5}}));
}

TEST(EngineTrim, PlayheadTrimsAreRefusedOnLockedLanesAndAtEdges)
{
    EngineHarness h;
    h.adopt(sessionWith({clip("au", "audio", 2, 4, 1, "music.wav"), clip("far", "video", 10, 2, 2)}));
    h.engine.scrub(2);
    h.engine.trimStartAtPlayhead();
    EXPECT_EQ(h.engine.status(), "Trim In: put playhead inside a clip (or select one)");
    h.engine.scrub(4);
    h.engine.toggleAudioTrackLock(1);
    h.engine.trimAtPlayhead();
    EXPECT_EQ(h.engine.status(), "Track is locked — unlock lane to trim");
    EXPECT_FALSE(h.engine.canUndo());
    EXPECT_TRUE(timelineIs(h.session(), {{"au", 2, 4}, {"far", 10, 2, 2}}));
}

// A still under the playhead, selected or not: the playhead trims pass it by and say how a
// still's length changes; in a gap they ask for a clip as before.
TEST(EngineTrim, PlayheadTrimsOverAStillSayHowAStillIsTrimmed)
{
    EngineHarness h;
    h.adopt(sessionWith({clip("s", "image", 0, 4, 1, "Still.png"), clip("v", "video", 6, 2)}));
    h.engine.scrub(2);
    for (bool selected : {true, false}) {
        h.engine.setSelectedClipId(selected ? std::optional<std::string>("s") : std::nullopt);
        h.engine.trimAtPlayhead();
        EXPECT_EQ(h.engine.status(), "Trim Out acts on video and audio clips — drag a still's edges to shorten it, its "
                                     "right edge to lengthen it");
        h.engine.trimStartAtPlayhead();
        EXPECT_EQ(h.engine.status(), "Trim In acts on video and audio clips — drag a still's edges to shorten it, its "
                                     "right edge to lengthen it");
    }
    h.engine.scrub(5);
    h.engine.trimAtPlayhead();
    EXPECT_EQ(h.engine.status(), "Trim Out: put playhead inside a clip (or select one)");
    EXPECT_FALSE(h.engine.canUndo());
    EXPECT_TRUE(timelineIs(h.session(), {{"s", 0, 4}, {"v", 6, 2}}));
}

TEST(EngineTrim, EdgeDragsTrimSnapAndSayWhyTheyCannot)
{
    EngineHarness h;
    h.adopt(sessionWith({clip("A", "video", 0, 4), clip("B", "video", 6, 4)}));
    h.engine.trimEdgeOnTimeline("B", TimelinePreviewEngine::TrimEdge::head, 7.02);
    EXPECT_TRUE(h.showed("Trimmed in + audio")); // an unnamed video counts as linked
    EXPECT_TRUE(timelineIs(h.session(), {{"A", 0, 4}, {"B", 7.02, 2.98, 1, 1.02}}));
    EXPECT_EQ(h.engine.playheadSeconds(), 7.0); // the new head, on the frame grid

    h.engine.trimEdgeOnTimeline("A", TimelinePreviewEngine::TrimEdge::tail, 3.99);
    EXPECT_EQ(h.engine.status(), "Trim: drag further (edge too small)");
    h.engine.trimEdgeOnTimeline("A", TimelinePreviewEngine::TrimEdge::tail, 0.04);
    EXPECT_EQ(h.engine.status(), "Trim: drag less far (the clip would be too short)");
    h.engine.trimEdgeOnTimeline("gone", TimelinePreviewEngine::TrimEdge::tail, 3);
    EXPECT_EQ(h.engine.status(), "Trim: clip not found");
    h.engine.undo();
    EXPECT_FALSE(h.engine.canUndo());
    EXPECT_TRUE(timelineIs(h.session(), {{"A", 0, 4}, {"B", 6, 4}}));
}

// A head dragged out goes back into the media before its in point and no further, nor before
// the timeline's start: stopped there it says so, and dragged on from there it says why it stays.
TEST(EngineTrim, AHeadDraggedOutSaysWhereItStops)
{
    using Edge = TimelinePreviewEngine::TrimEdge;
    EngineHarness h;
    EditSession::Clip a = clip("A", "video", 0, 4, 1, {}, 2);
    a.outPoint = 6;
    h.adopt(sessionWith({a, clip("B", "video", 6, 4, 1, {}, 1)}));
    h.engine.trimEdgeOnTimeline("A", Edge::head, -1);
    EXPECT_EQ(h.engine.status(), "Trim: the clip already starts at the timeline's start");
    h.engine.trimEdgeOnTimeline("B", Edge::head, 4.5);
    EXPECT_EQ(h.engine.status(), "Trimmed in + audio — stopped where its media starts · Building timeline…");
    EXPECT_TRUE(timelineIs(h.session(), {{"A", 0, 4, 1, 2}, {"B", 5, 5, 1, 0}}));
    h.engine.trimEdgeOnTimeline("B", Edge::head, 4.5);
    EXPECT_EQ(h.engine.status(), "Trim: the clip already starts where its media starts");
    h.engine.undo();
    EXPECT_FALSE(h.engine.canUndo());
    EXPECT_TRUE(timelineIs(h.session(), {{"A", 0, 4, 1, 2}, {"B", 6, 4, 1, 1}}));

    // A tail whose media's length is not known (no file) stops at the out point it was given, and
    // says so rather than naming the media's end.
    h.engine.trimEdgeOnTimeline("A", Edge::tail, 5);
    EXPECT_EQ(h.engine.status(), "Trim: the clip already reaches its out point (its media's length is not known)");
}

TEST(EngineTrim, ATailStoppedByItsSourceRipplesByTheDistanceItMoved)
{
    EngineHarness h;
    const double sourceLength = h.movie("short.mp4", 125); // 5 s

    EditSession::Clip source = clip("s", "video", 0, 4, 1, "short.mp4");
    source.sourceId = "src";
    auto session = sessionWith({source, clip("next", "video", 6, 2, 1, "next.mp4")});
    session->sources.emplace_back("src", "short.mp4", "video");
    h.adopt(session);
    h.engine.setRippleEditEnabled(true);
    h.engine.trimEdgeOnTimeline("s", TimelinePreviewEngine::TrimEdge::tail, 8);
    EXPECT_TRUE(h.showed("Trimmed out + audio — stopped at the end of its media"));
    const double moved = sourceLength - 4;
    EXPECT_TRUE(timelineIs(h.session(), {{"s", 0, sourceLength}, {"next", 6 + moved, 2}}));
    EXPECT_NEAR(h.engine.playheadSeconds(), sourceLength, 1.0 / 30);
}

// Two cards' first clips share a name: a clip of the second card's source grows to the end of
// that card's file, which the preview resolved it to, not to the first card's longer one.
TEST(EngineTrim, ATailDragStopsAtTheEndOfTheFileItsSourceResolvedTo)
{
    EngineHarness h;
    h.movie("cam1/C0001.MP4", 150); // 6 s
    const double secondLength = h.movie("cam2/C0001.MP4", 50); // 2 s

    EditSession::Clip first = clip("a", "video", 0, 1, 1, "C0001.MP4");
    first.sourceId = "s1";
    EditSession::Clip second = clip("b", "video", 10, 1, 1, "C0001.MP4");
    second.sourceId = "s2";
    auto session = sessionWith({first, second});
    session->sources.emplace_back("s1", "C0001.MP4", "video");
    session->sources.emplace_back("s2", "C0001.MP4", "video");
    h.adopt(session);
    ASSERT_EQ(h.engine.sourceFilesShown(),
              (MediaResolver::SourceFileMap{{"s1", h.media / "cam1/C0001.MP4"}, {"s2", h.media / "cam2/C0001.MP4"}}));
    // The lanes draw the drag to the same end, from the header the build read.
    h.engine.rebuildComposition(true, std::nullopt, false);
    PreviewComposition built;
    const std::filesystem::path secondFile = h.media / "cam2/C0001.MP4";
    built.assets = {{secondFile.string(), Asset::open(secondFile)}};
    h.builder->finish(11, built);
    h.queue->runUntilIdle();
    EXPECT_EQ(h.engine.clipSourceSeconds("b"), secondLength);
    EXPECT_EQ(h.engine.clipSourceSeconds("a"), std::nullopt); // its header was not read

    // The release lands where the drag was drawn, by that header, though the file has grown since.
    h.movie("cam2/C0001.MP4", 100);
    h.engine.trimEdgeOnTimeline("b", TimelinePreviewEngine::TrimEdge::tail, 30);
    EXPECT_TRUE(timelineIs(h.session(), {{"a", 0, 1}, {"b", 10, secondLength}}));
}

// A clip 3 s long at 1.5× on a 2 s file already runs past the file's end: its tail dragged
// outward by 12 or 200 points (at 80 px/s) leaves it as it is, while a drag inward and Trim Out
// stop at the file's end. Nor does the magnet turn a drag outward into a trim inward.
TEST(EngineTrim, AnEdgeDragNeverMovesTheEdgeAgainstItsDirection)
{
    using Edge = TimelinePreviewEngine::TrimEdge;
    EngineHarness h;
    const double reachable = h.movie("two.mp4", 50) / 1.5; // 2 s
    std::vector<EditSession::Clip> clips;
    for (const auto& [id, start] : {std::pair{"fast", 0.0}, std::pair{"again", 12.0}}) {
        EditSession::Clip fast = clip(id, "video", start, 3, 1, "two.mp4");
        fast.sourceId = "src";
        fast.speed = 1.5;
        clips.push_back(fast);
    }
    clips.push_back(clip("B", "video", 6, 4, 2, "b.mp4", 1));
    auto session = sessionWith(clips);
    session->sources.emplace_back("src", "two.mp4", "video");
    h.adopt(session);

    for (const double points : {12.0, 200.0}) {
        h.engine.trimEdgeOnTimeline("fast", Edge::tail, 3 + points / 80);
        EXPECT_EQ(h.engine.status(), "Trim: the clip already reaches the end of its media") << points;
        EXPECT_TRUE(timelineIs(h.session(), {{"fast", 0, 3}, {"again", 12, 3}, {"B", 6, 4, 2}})) << points;
    }
    EXPECT_FALSE(h.engine.canUndo());
    h.engine.trimEdgeOnTimeline("again", Edge::tail, 14.5);
    EXPECT_TRUE(h.showed("Trimmed out + audio — stopped at the end of its media"));
    h.engine.scrub(2);
    h.engine.setSelectedClipId("fast");
    h.engine.trimAtPlayhead();
    EXPECT_TRUE(timelineIs(h.session(), {{"fast", 0, reachable}, {"again", 12, reachable}, {"B", 6, 4, 2}}));

    // B's head let go 0.4 s out from the playhead inside B: the magnet would pull it in.
    h.engine.scrub(6.3);
    h.engine.trimEdgeOnTimeline("B", Edge::head, 5.9);
    EXPECT_TRUE(timelineIs(h.session(), {{"fast", 0, reachable}, {"again", 12, reachable}, {"B", 5.9, 4.1, 2, 0.9}}));
}

// A still 0.1 s long has no source end: its tail trimmed to 5 s lengthens it to 5 s, a trim
// back shortens it, and each is one undo step.
TEST(EngineTrim, AStillGrowsAndShrinksByItsTailEdge)
{
    EngineHarness h;
    makeStillImage(h.media / "Still.png", 32, 32, 3);
    h.adopt(sessionWith({clip("s", "image", 0, 0.1, 1, "Still.png")}));
    h.engine.trimEdgeOnTimeline("s", TimelinePreviewEngine::TrimEdge::tail, 5.0);
    EXPECT_TRUE(h.showed("Trimmed out"));
    EXPECT_TRUE(timelineIs(h.session(), {{"s", 0, 5}}));
    EXPECT_EQ(h.engine.playheadSeconds(), 5.0);
    h.engine.trimEdgeOnTimeline("s", TimelinePreviewEngine::TrimEdge::tail, 3);
    EXPECT_TRUE(timelineIs(h.session(), {{"s", 0, 3}}));
    h.engine.undo();
    EXPECT_TRUE(timelineIs(h.session(), {{"s", 0, 5}}));
    h.engine.undo();
    EXPECT_TRUE(timelineIs(h.session(), {{"s", 0, 0.1}}));
    EXPECT_FALSE(h.engine.canUndo());
}

TEST(EngineSlip, SlipsTheSelectedClipsSourceWithADebouncedRebuild)
{
    EngineHarness h;
    auto session = sessionWith({clip("A", "video", 0, 4)});
    session->timelines[0].clips[0].inPoint = 2.0;
    h.adopt(session);
    h.engine.slipSelectedClip(0.5);
    EXPECT_EQ(h.engine.status(), "Select a clip to slip");
    h.engine.setSelectedClipId("A");
    h.engine.slipSelectedClip(-0.5);
    EXPECT_EQ(h.engine.status(), "Slip -0.50s source");
    h.engine.slipSelectedClip(0.75);
    EXPECT_EQ(h.engine.status(), "Slip +0.75s source");
    EXPECT_TRUE(timelineIs(h.session(), {{"A", 0, 4, 1, 2.25}}));
    const std::size_t builds = h.builder->buildCount();
    h.queue->advance(0.12);
    EXPECT_EQ(h.builder->buildCount(), builds + 1);
}

TEST(EngineTrim, CancellingEndsOnlyAGestureInProgress)
{
    EngineHarness h;
    h.adopt(sessionWith({clip("A", "video", 0, 4)}));
    QSignalSpy cancelled(&h.engine, &TimelinePreviewEngine::trimGestureCancelled);
    h.engine.cancelTrimGesture();
    EXPECT_EQ(cancelled.count(), 0);
    h.engine.pauseForTrimDrag();
    h.engine.cancelTrimGesture();
    h.engine.cancelTrimGesture();
    EXPECT_EQ(cancelled.count(), 1);
    EXPECT_FALSE(h.engine.canUndo());
    EXPECT_TRUE(timelineIs(h.session(), {{"A", 0, 4}}));
}

} // namespace
} // namespace velmora::test
