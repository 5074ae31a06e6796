// The monitor on the timeline's frame rule: where a cut is first seen, what a fine step moves,
// what the paused monitor shows past the end of a clip's file, and the length the read-out keeps.

#include "PlaybackTestSupport.h"
#include "editing/PreviewFrameTiming.h"
#include "model/MediaResolver.h"

namespace velmora::test {
namespace {

// At 29.97 a clip starting at 5.0 s is first seen on frame 150 (frame 149 starts at 4.971 s and
// shows the gap before it): both cut jumps land there.
TEST(MonitorCuts, ACutJumpLandsOnTheFirstFrameThatShowsTheClip)
{
    EngineHarness h;
    auto session = sessionWith({clip("A", "video", 0, 4), clip("B", "video", 5.0, 3)});
    session->project->fps = 29.97;
    h.adopt(session);
    const FrameGrid grid = h.engine.frameGrid();
    h.engine.seek(grid.start(130), true, nullptr);
    h.queue->runUntilIdle();
    h.engine.jumpToNextCut();
    h.queue->runUntilIdle();
    EXPECT_EQ(grid.index(h.engine.playheadSeconds()), 150);
    EXPECT_EQ(h.engine.frameMap().at(h.engine.playheadSeconds()).clip, std::optional<std::size_t>(1));

    h.engine.seek(grid.start(170), true, nullptr);
    h.queue->runUntilIdle();
    h.engine.jumpToPreviousCut();
    h.queue->runUntilIdle();
    EXPECT_EQ(grid.index(h.engine.playheadSeconds()), 150);
}

// A fine step moves the playhead 0.01 s; the picture goes to the start of the frame holding it,
// and the fifth step from a frame's start reaches the next frame.
TEST(MonitorFineSteps, AFineStepMovesTheTimeAndRepeatedOnesReachTheNextFrame)
{
    EngineHarness h;
    auto session = sessionWith({clip("A", "video", 0, 4)});
    session->project->fps = 25;
    auto player = h.adopt(session);
    h.engine.seek(2.0, true, nullptr);
    h.queue->runUntilIdle();
    h.engine.stepPlayheadFrame(1, true);
    h.queue->runUntilIdle();
    EXPECT_NEAR(h.engine.playheadSeconds(), 2.01, 1e-9);
    EXPECT_EQ(h.engine.frameGrid().index(h.engine.playheadSeconds()), 50);
    for (int i = 0; i < 3; ++i) {
        h.engine.stepPlayheadFrame(1, true);
        h.queue->runUntilIdle();
    }
    EXPECT_NEAR(h.engine.playheadSeconds(), 2.04, 1e-9);
    EXPECT_EQ(h.engine.frameGrid().index(h.engine.playheadSeconds()), 51);
    EXPECT_DOUBLE_EQ(player->seeks.back().seconds, 2.04);
    h.engine.stepPlayheadFrame(-1, true);
    h.queue->runUntilIdle();
    EXPECT_NEAR(h.engine.playheadSeconds(), 2.03, 1e-9);
    EXPECT_DOUBLE_EQ(player->seeks.back().seconds, 2.0);
}

// A piece of a file moved, after loading, right behind another piece of that file continues
// where that piece's range ended, as a loaded cut does and as every export reads it: the
// monitor never shows that footage twice.
TEST(MonitorContinuation, APieceMovedBehindAPieceOfItsFileContinuesFromItsEnd)
{
    EngineHarness h;
    EditSession::Clip first = clip("A", "video", 0, 2, 1, {}, 1); // source 1 ... 3
    first.sourceId = "s1";
    EditSession::Clip second = clip("B", "video", 5, 1, 1, {}, 0);
    second.sourceId = "s1";
    auto session = sessionWith({first, second});
    session->project->fps = 25;
    h.adopt(session);
    EXPECT_DOUBLE_EQ(h.engine.shownFrameAt(5.0).sourceTime, 0.0);
    ASSERT_TRUE(h.session().moveClip("B", 2.0, 1, false, false, false));
    ASSERT_EQ(h.session().timelines[0].clips[1].inPoint, 0.0); // the clip keeps its own in point
    for (const ShownFrame& shown : {h.engine.shownFrameAt(2.5), h.engine.frameMap().at(2.5),
                                    h.engine.shownFrameAt(2.5, std::string("B"))}) {
        EXPECT_EQ(shown.clip, std::optional<std::size_t>(1));
        EXPECT_DOUBLE_EQ(shown.sourceTime, 3.48); // frame 62, from 2.48 s
    }
    EXPECT_DOUBLE_EQ(h.engine.shownFrameAt(1.0).sourceTime, 2.0);
}

// A failed preview leaves the timeline's own length on the read-out: its sound clips reach 16 s
// though its pictures end at 10 s.
TEST(MonitorLength, AFailedPreviewKeepsTheTimelinesLength)
{
    EngineHarness h;
    auto session = sessionWith({clip("A", "video", 0, 10), clip("voice", "audio", 0, 16)});
    h.engine.adoptSession(session, h.media.path(), std::nullopt, true);
    h.builder->fail(Error("preview", 10, "Media not found for timeline clips: voice.wav"));
    h.queue->runUntilIdle();
    EXPECT_EQ(h.engine.status(), "Failed: Media not found for timeline clips: voice.wav");
    EXPECT_DOUBLE_EQ(h.engine.durationSeconds(), 16.0);
}

// A film of 250 frames at 25 fps: 10 s.
void makeTenSecondFilm(const TempDir& folder)
{
    ClipSettings settings;
    settings.frameCount = 250;
    settings.videoArgs = "-preset ultrafast";
    makeClip(folder.path() / "ten.mp4", settings);
}

// A 12 s clip of a 10 s file at 25 fps: the paused monitor shows source frames 0–249 and black
// on frames 250–299, as every export writes them; no still is cut from a held last frame.
TEST(MonitorPastTheEnd, FramesPastTheEndOfTheFileAreBlackWithoutAStill)
{
    TempDir sources;
    makeTenSecondFilm(sources);
    PlaybackHarness h;
    auto session = sessionOf({EditSession::Source("s1", "ten.mp4", "video")},
                             {sourceClip("c1", "video", "s1", 0, 12)}, 160, 96, 25);
    ASSERT_TRUE(h.adoptAndWait(session, {sources.path() / "ten.mp4"}));
    const FrameGrid grid = h.engine.frameGrid();
    const auto seekTo = [&](std::int64_t frame) {
        bool landed = false;
        h.engine.seek(grid.start(frame), true, [&](bool) { landed = true; });
        return h.waitFor([&] { return landed; });
    };
    ASSERT_TRUE(seekTo(249));
    EXPECT_EQ(h.stamp(), 249);
    const auto last = h.engine.visualGradeSource(grid.start(249), "c1");
    ASSERT_TRUE(last);
    EXPECT_DOUBLE_EQ(last->sourceSeconds, 9.96);
    for (const std::int64_t frame : {250, 275, 299}) {
        SCOPED_TRACE(frame);
        ASSERT_TRUE(seekTo(frame));
        EXPECT_TRUE(h.engine.frameMap().frame(frame).gap());
        EXPECT_EQ(h.engine.shownFrameAt(grid.start(frame)), h.engine.frameMap().frame(frame));
        EXPECT_FALSE(h.engine.visualGradeSource(grid.start(frame), "c1"));
        EXPECT_FALSE(h.engine.clipForPausedGrade(grid.start(frame)));
        EXPECT_NE(h.stamp(), 249);
    }
}

// The same clip beside a sound clip whose file is missing: the build fails, yet the paused monitor,
// its graded still and the trims know where the movie ends, as every export does.
TEST(MonitorPastTheEnd, AFailedBuildStillKnowsWhereTheFilesEnd)
{
    TempDir sources;
    makeTenSecondFilm(sources);
    PlaybackHarness h;
    auto session = sessionOf({EditSession::Source("s1", "ten.mp4", "video"), EditSession::Source("s2", "voice.wav", "audio")},
                             {sourceClip("c1", "video", "s1", 0, 12), sourceClip("a1", "audio", "s2", 0, 12, 0, 2)},
                             160, 96, 25);
    ASSERT_TRUE(h.adoptAndWait(session, {sources.path() / "ten.mp4"}));
    ASSERT_FALSE(h.engine.avPlayer());
    h.queue->runUntilIdle();
    const FrameGrid grid = h.engine.frameGrid();
    EXPECT_EQ(h.engine.frameMap().frame(249).sourceFrame, std::optional<std::int64_t>(249));
    EXPECT_DOUBLE_EQ(h.engine.visualGradeSource(grid.start(249), "c1")->sourceSeconds, 9.96);
    for (const std::int64_t frame : {250, 299}) {
        SCOPED_TRACE(frame);
        EXPECT_TRUE(h.engine.frameMap().frame(frame).gap());
        EXPECT_TRUE(h.engine.shownFrameAt(grid.start(frame)).gap());
        EXPECT_FALSE(h.engine.visualGradeSource(grid.start(frame), "c1"));
        EXPECT_FALSE(h.engine.clipForPausedGrade(grid.start(frame)));
    }
    EXPECT_EQ(h.engine.clipSourceSeconds("c1"), MediaResolver::fileDurationSeconds(sources.path() / "ten.mp4"));
}

} // namespace
} // namespace velmora::test
