// Play and pause, seeks and scrubbing against the fake player.

#include <gtest/gtest.h>

#include "EngineTestSupport.h"

namespace velmora::test {
namespace {

struct TransportFixture {
    TransportFixture() { player = h.adopt(sessionWith({clip("A", "video", 0, 12), clip("B", "video", 12, 8)})); }
    EngineHarness h;
    std::shared_ptr<FakePreviewPlayer> player;
};

TEST(EngineTransport, ToggleIgnoresRepeatsAndPausesOnAFrame)
{
    TransportFixture f;
    f.h.engine.togglePlay();
    EXPECT_TRUE(f.h.engine.isPlaying());
    f.h.clock->advance(0.05);
    f.h.engine.togglePlay();
    EXPECT_TRUE(f.h.engine.isPlaying());

    f.h.clock->advance(0.1);
    f.player->reportTime(10.05);
    f.h.engine.togglePlay();
    EXPECT_FALSE(f.h.engine.isPlaying());
    EXPECT_DOUBLE_EQ(f.h.engine.playheadSeconds(), 301.0 / 30); // frame 301, truncated
}

TEST(EngineTransport, ScrubPausesOnlyWhileItsSeekRuns)
{
    TransportFixture f;
    f.h.engine.togglePlay();
    const int plays = f.player->playCount;
    const std::uint64_t scrolls = f.h.engine.timelineScrollRequest();
    f.h.engine.scrub(5);
    EXPECT_EQ(f.player->rate(), 0.0);
    EXPECT_TRUE(f.h.engine.isPlaying());
    EXPECT_EQ(f.player->seeks.back().toleranceSeconds, 0.0);
    f.h.queue->runUntilIdle();
    EXPECT_EQ(f.player->playCount, plays + 1);
    EXPECT_EQ(f.h.engine.timelineScrollRequest(), scrolls + 1);
    EXPECT_EQ(f.h.engine.timelineScrollAnchor(), TimelineScrollAnchor::center);
}

TEST(EngineTransport, ASupersededSeekDoesNotComplete)
{
    TransportFixture f;
    int first = 0;
    int second = 0;
    f.h.engine.seek(3, true, [&](bool) { ++first; });
    f.h.engine.seek(4, true, [&](bool) { ++second; });
    f.h.queue->runUntilIdle();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(f.h.engine.playheadSeconds(), 4.0);
}

// A timeline 2.01 s long at 25 fps: its export writes 50 frames (0–49), and its end lies inside
// frame 50, which shows the clip; the playhead stops on frame 49, wherever it is sent, so the
// monitor never shows a picture the movie does not have.
TEST(EngineTransport, ThePlayheadStopsOnTheExportsLastFrame)
{
    EngineHarness h;
    auto session = sessionWith({clip("A", "video", 0, 2.01)});
    session->project->fps = 25;
    auto player = h.adopt(session);
    ASSERT_DOUBLE_EQ(h.engine.durationSeconds(), 2.01);
    const double last = 49.0 / 25;
    EXPECT_DOUBLE_EQ(h.engine.lastPlayheadSeconds(), last);
    h.engine.scrub(5);
    EXPECT_DOUBLE_EQ(h.engine.playheadSeconds(), last);
    h.engine.seek(2.01, true, nullptr);
    EXPECT_DOUBLE_EQ(h.engine.playheadSeconds(), last);
    h.engine.stepPlayheadFrame(1, false);
    EXPECT_DOUBLE_EQ(h.engine.playheadSeconds(), last);
    h.engine.stepPlayheadFrame(1, true);
    EXPECT_EQ(h.engine.frameGrid().index(h.engine.playheadSeconds()), 49);
    h.queue->runUntilIdle();
    EXPECT_DOUBLE_EQ(player->seeks.back().seconds, last);

    // A length on the grid ends on a frame's start, where nothing is shown: the playhead goes
    // there. So does a length rounded up, whose end lies within the export's last frame.
    for (const double length : {2.0, 2.03}) {
        h.session().timelines[0].clips[0].duration = length;
        h.session().timelines[0].duration = length;
        h.engine.reloadComposition(std::nullopt);
        h.builder->finish(length);
        h.queue->runUntilIdle();
        EXPECT_DOUBLE_EQ(h.engine.lastPlayheadSeconds(), length);
    }
}

} // namespace
} // namespace velmora::test
