// The time observer, the rebuild's statuses and playhead, frame steps and the live audio mix,
// against the fake player.

#include <gtest/gtest.h>

#include <QSignalSpy>

#include "EngineTestSupport.h"
#include "editing/PreviewFrameTiming.h"
#include "model/TimelineTrackKey.h"

namespace velmora::test {
namespace {

TEST(EngineTimeObserver, RepublishesAfterAFrameOfMovementAndStopsNearTheEnd)
{
    EngineHarness h;
    auto session = sessionWith({clip("A", "video", 0, 10)});
    session->project->fps = 25;
    auto player = h.adopt(session);
    h.engine.togglePlay();
    QSignalSpy playhead(&h.engine, &TimelinePreviewEngine::playheadSecondsChanged);
    QSignalSpy motion(&h.engine, &TimelinePreviewEngine::playbackMotionSecondsChanged);
    player->reportTime(0.01);
    EXPECT_EQ(motion.count(), 0); // under 1/60 s
    player->reportTime(0.02);
    EXPECT_EQ(motion.count(), 1);
    EXPECT_EQ(playhead.count(), 0); // under 1/24 s
    player->reportTime(0.05);
    EXPECT_EQ(h.engine.playheadSeconds(), 0.05);

    // 0.04 s before the end: paused on the start of the frame shown there, the last (249).
    player->reportTime(9.98);
    EXPECT_FALSE(h.engine.isPlaying());
    EXPECT_EQ(player->rate(), 0.0);
    EXPECT_EQ(h.engine.playheadSeconds(), 9.96);
    EXPECT_EQ(h.engine.playbackMotionSeconds(), 9.96);
    EXPECT_EQ(h.engine.timelineScrollAnchor(), TimelineScrollAnchor::trailing);

    // A preview of a tenth of a second or less never stops by itself.
    EngineHarness shortOne;
    auto tenth = shortOne.adopt(sessionWith({clip("A", "video", 0, 0.1)}));
    shortOne.engine.togglePlay();
    tenth->reportTime(0.1);
    EXPECT_TRUE(shortOne.engine.isPlaying());
}

TEST(EngineRebuild, StatusesInOrderAndThePlayheadPutBackWithinTheNewLength)
{
    EngineHarness h;
    h.adopt(sessionWith({clip("A", "video", 0, 12)}));
    h.engine.scrub(12);
    h.session().timelines[0].clips[0].duration = 10;
    h.session().timelines[0].duration = 10;
    h.statuses.clear();
    h.engine.reloadComposition(std::nullopt);
    auto shorter = h.builder->finish(10);
    h.queue->runUntilIdle();
    EXPECT_EQ(shorter->seeks.back().seconds, 10.0);
    EXPECT_EQ(h.statuses, (std::vector<std::string>{"Building timeline…", "Ready — 10.00s · Grade OFF (smooth play)"}));

    h.engine.reloadComposition(-3);
    auto rewound = h.builder->finish(10);
    h.queue->runUntilIdle();
    EXPECT_EQ(rewound->seeks.back().seconds, 0.0);
    EXPECT_EQ(h.engine.timelineScrollAnchor(), TimelineScrollAnchor::trailing);

    h.statuses.clear();
    h.engine.reloadComposition(std::nullopt);
    h.builder->fail(Error("preview", 1, "No active timeline in session"));
    h.queue->runUntilIdle();
    EXPECT_EQ(h.statuses, (std::vector<std::string>{"Building timeline…", "Failed: No active timeline in session"}));
}

TEST(EngineFrameStep, StepsCountFramesOnTheProjectGridWithoutSticking)
{
    for (const auto& [fps, steps] : {std::pair{59.94, 100}, std::pair{30.0, 200}}) {
        EngineHarness h;
        auto session = sessionWith({clip("A", "video", 0, 20)});
        session->project->fps = fps;
        h.adopt(session);
        for (int i = 0; i < steps; ++i) {
            h.engine.stepPlayheadFrame(1, false);
            h.queue->runUntilIdle();
        }
        // Each step lands on its frame's start on the export's grid (1001/60000 s at 59.94).
        const FrameGrid grid = FrameGrid::ofRate(fps);
        EXPECT_EQ(h.engine.playheadSeconds(), grid.start(steps)) << fps;
        h.engine.stepPlayheadFrame(-1, false);
        h.queue->runUntilIdle();
        EXPECT_EQ(h.engine.playheadSeconds(), grid.start(steps - 1)) << fps;
    }

    // A cut at 4.1 s is frame 123 at 30 per second, though 4.1 × 30 is a hair below 123.
    EngineHarness h;
    auto player = h.adopt(sessionWith({clip("A", "video", 0, 4.1), clip("B", "video", 4.1, 2)}));
    EXPECT_EQ(h.engine.allCutPoints(), (std::vector<double>{0, 123 / 30.0, 183 / 30.0}));
    h.engine.togglePlay();
    player->reportTime(4.1);
    h.clock->advance(1);
    h.engine.togglePlay();
    EXPECT_EQ(h.engine.playheadSeconds(), 123 / 30.0);
}

// While a rebuild runs there is no player: a frame step and a jump to the next cut still move
// the playhead, and the new player starts where they left it.
TEST(EngineFrameStep, StepsAndCutJumpsDuringARebuildAreKept)
{
    EngineHarness h;
    auto session = sessionWith({clip("A", "video", 0, 2), clip("B", "video", 2, 2)});
    session->project->fps = 25;
    h.adopt(session);
    h.engine.scrub(1.0);
    h.engine.reloadComposition(std::nullopt);
    ASSERT_EQ(h.engine.avPlayer(), nullptr);
    h.engine.stepPlayheadFrame(1, false);
    EXPECT_EQ(h.engine.playheadSeconds(), FrameGrid::ofRate(25).start(26));
    h.engine.jumpToNextCut();
    EXPECT_EQ(h.engine.playheadSeconds(), 2.0);
    auto rebuilt = h.builder->finish(4);
    h.queue->runUntilIdle();
    ASSERT_FALSE(rebuilt->seeks.empty());
    EXPECT_EQ(rebuilt->seeks.back().seconds, 2.0);
    EXPECT_EQ(h.engine.playheadSeconds(), 2.0);
}

TEST(EngineLiveMix, GainAndFadeChangesReplaceTheMixOfTheRegisteredTracks)
{
    EngineHarness h;
    h.engine.adoptSession(sessionWith({clip("A", "video", 0, 4), clip("M", "audio", 0, 4), clip("N", "audio", 1, 2, 2)}),
                          h.media.path(), std::nullopt, true);
    auto player = h.builder->finish(4, std::nullopt, {{"M", 2}, {"N", 3}});
    h.queue->runUntilIdle();
    const auto volume = [&](int track, double seconds) {
        return player->audioMixes.back().parametersForTrack(track)->volume(MediaTime::fromSeconds(seconds, 600));
    };
    h.engine.setClipFades("M", 1, 0, false);
    ASSERT_EQ(player->audioMixes.size(), 1u);
    ASSERT_EQ(player->audioMixes[0].inputParameters.size(), 2u);
    EXPECT_EQ(player->audioMixes[0].inputParameters[0].trackID(), 2); // timeline order
    EXPECT_FLOAT_EQ(volume(2, 0.25), 0.25f);
    EXPECT_FLOAT_EQ(volume(3, 2), 1.0f);

    h.engine.setClipAudioLevel("N", 3.5, false);
    EXPECT_EQ(h.engine.status(), "Clip gain 300%");
    EXPECT_FLOAT_EQ(volume(3, 2), 3.0f);
    EXPECT_FLOAT_EQ(volume(2, 0.5), 0.5f) << "the fade stays";

    h.session().timelines[0].mutedTracks.push_back(TimelineTrackKey::audio(2));
    h.engine.setClipAudioLevel("M", 0.5, false);
    EXPECT_EQ(player->audioMixes.back().inputParameters.size(), 1u) << "a muted lane is left out";
    h.queue->advance(1);
    EXPECT_EQ(h.builder->buildCount(), 1u);

    // A composition without audio tracks has no live mix: a gain change takes a rebuild.
    h.engine.reloadComposition(std::nullopt);
    auto silent = h.builder->finish(4);
    h.queue->runUntilIdle();
    h.engine.setClipAudioLevel("M", 2, false);
    EXPECT_TRUE(silent->audioMixes.empty());
    h.queue->advance(TimelinePreviewEngine::rebuildDebounceSeconds);
    EXPECT_EQ(h.builder->buildCount(), 3u);
}

} // namespace
} // namespace velmora::test
