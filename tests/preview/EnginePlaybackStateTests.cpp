// The time observer, the playhead a rebuild puts back, frame steps and the live audio mix,
// against the fake player.

#include <gtest/gtest.h>

#include <QSignalSpy>

#include "EngineTestSupport.h"
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

    player->reportTime(0.01); // less than 1/60 s from 0
    EXPECT_EQ(motion.count(), 0);
    player->reportTime(0.02);
    EXPECT_EQ(motion.count(), 1);
    EXPECT_EQ(h.engine.playbackMotionSeconds(), 0.02);
    EXPECT_EQ(playhead.count(), 0); // less than 1/24 s
    player->reportTime(0.05);
    EXPECT_EQ(h.engine.playheadSeconds(), 0.05);

    // 0.04 s before the end: paused on the nearest frame, round(249.5) = 250.
    const std::uint64_t scrolls = h.engine.timelineScrollRequest();
    player->reportTime(9.98);
    EXPECT_FALSE(h.engine.isPlaying());
    EXPECT_EQ(player->rate(), 0.0);
    EXPECT_EQ(h.engine.playheadSeconds(), 10.0);
    EXPECT_EQ(h.engine.playbackMotionSeconds(), 10.0);
    EXPECT_EQ(h.engine.timelineScrollRequest(), scrolls + 1);
    EXPECT_EQ(h.engine.timelineScrollAnchor(), TimelineScrollAnchor::trailing);

    // Times that are not numbers are ignored.
    player->reportTime(std::nan(""));
    EXPECT_EQ(h.engine.playheadSeconds(), 10.0);
}

TEST(EngineTimeObserver, APreviewOfATenthOfASecondOrLessNeverStopsByItself)
{
    EngineHarness h;
    auto player = h.adopt(sessionWith({clip("A", "video", 0, 0.1)}));
    h.engine.togglePlay();
    player->reportTime(0.1);
    EXPECT_TRUE(h.engine.isPlaying());
}

TEST(EngineRebuild, TheInstallPutsThePlayheadBackWithinTheNewLength)
{
    EngineHarness h;
    h.adopt(sessionWith({clip("A", "video", 0, 12)}));
    h.engine.scrub(12);
    h.queue->runUntilIdle();
    EditSession::Timeline& timeline = h.session().timelines[0];
    timeline.clips[0].duration = 10;
    timeline.duration = 10;
    h.engine.reloadComposition(std::nullopt);
    auto shorter = h.builder->finish(10);
    h.queue->runUntilIdle();
    EXPECT_EQ(shorter->seeks.back().seconds, 10.0);
    EXPECT_EQ(h.engine.playheadSeconds(), 10.0);

    const std::uint64_t scrolls = h.engine.timelineScrollRequest();
    h.engine.reloadComposition(-3);
    auto rewound = h.builder->finish(10);
    h.queue->runUntilIdle();
    EXPECT_EQ(rewound->seeks.back().seconds, 0.0);
    EXPECT_EQ(h.engine.timelineScrollRequest(), scrolls + 1);
    EXPECT_EQ(h.engine.timelineScrollAnchor(), TimelineScrollAnchor::trailing);
}

TEST(EngineFrameStep, StepsCountFramesOnTheProjectGridWithoutSticking)
{
    for (const auto& [fps, steps] : {std::pair{59.94, 100}, std::pair{30.0, 200}, std::pair{25.0, 37}}) {
        EngineHarness h;
        auto session = sessionWith({clip("A", "video", 0, 20)});
        session->project->fps = fps;
        h.adopt(session);
        for (int i = 0; i < steps; ++i) {
            h.engine.stepPlayheadFrame(1, false);
            h.queue->runUntilIdle();
        }
        EXPECT_EQ(h.engine.playheadSeconds(), steps / fps) << fps;
        h.engine.stepPlayheadFrame(-1, false);
        h.queue->runUntilIdle();
        EXPECT_EQ(h.engine.playheadSeconds(), (steps - 1) / fps) << fps;
    }
}

TEST(EngineFrameStep, CutPointsAndPausesUseTheSameFloor)
{
    EngineHarness h;
    // A cut at 4.1 s, frame 123 at 30 per second, where 4.1 × 30 is a hair below 123.
    auto player = h.adopt(sessionWith({clip("A", "video", 0, 4.1), clip("B", "video", 4.1, 2)}));
    EXPECT_EQ(h.engine.allCutPoints(), (std::vector<double>{0, 123 / 30.0, 183 / 30.0}));
    h.engine.togglePlay();
    player->reportTime(4.1);
    h.clock->advance(1);
    h.engine.togglePlay();
    EXPECT_EQ(h.engine.playheadSeconds(), 123 / 30.0);
}

struct LiveMixFixture {
    // A picture and two audio clips; the composition gives M track 2 and N track 3.
    LiveMixFixture()
    {
        EditSession::Clip music = clip("M", "audio", 0, 4, 1);
        EditSession::Clip voice = clip("N", "audio", 1, 2, 2);
        h.engine.adoptSession(sessionWith({clip("A", "video", 0, 4), music, voice}), h.media.path(), std::nullopt,
                              true);
        player = h.builder->finish(4, std::nullopt, {{"M", 2}, {"N", 3}});
        h.queue->runUntilIdle();
    }
    float volume(std::size_t mix, int track, double seconds) const
    {
        return player->audioMixes.at(mix).parametersForTrack(track)->volume(MediaTime::fromSeconds(seconds, 600));
    }
    EngineHarness h;
    std::shared_ptr<FakePreviewPlayer> player;
};

TEST(EngineLiveMix, FadeAndGainChangesReplaceTheMixWithoutARebuild)
{
    LiveMixFixture f;
    f.h.engine.setClipFades("M", 1, 0, false);
    ASSERT_EQ(f.player->audioMixes.size(), 1u);
    const AudioMix& mix = f.player->audioMixes[0];
    ASSERT_EQ(mix.inputParameters.size(), 2u);
    EXPECT_EQ(mix.inputParameters[0].trackID(), 2); // timeline order
    EXPECT_EQ(mix.inputParameters[1].trackID(), 3);
    EXPECT_FLOAT_EQ(f.volume(0, 2, 0.25), 0.25f);
    EXPECT_FLOAT_EQ(f.volume(0, 3, 2), 1.0f);

    f.h.engine.setClipAudioLevel("N", 3.5, false);
    EXPECT_EQ(f.h.engine.status(), "Clip gain 300%");
    EXPECT_FLOAT_EQ(f.volume(1, 3, 2), 3.0f);
    EXPECT_FLOAT_EQ(f.volume(1, 2, 0.5), 0.5f) << "the fade stays";
    f.h.queue->advance(1);
    EXPECT_EQ(f.h.builder->buildCount(), 1u);
    EXPECT_EQ(f.h.engine.avPlayer(), f.player);
}

TEST(EngineLiveMix, MutedLanesAreLeftOutAndWithoutTracksTheGainRebuilds)
{
    LiveMixFixture f;
    f.h.session().timelines[0].mutedTracks.push_back(TimelineTrackKey::audio(2));
    f.h.engine.setClipAudioLevel("M", 0.5, false);
    ASSERT_EQ(f.player->audioMixes.size(), 1u);
    ASSERT_EQ(f.player->audioMixes[0].inputParameters.size(), 1u);
    EXPECT_FLOAT_EQ(f.volume(0, 2, 1), 0.5f);

    // A composition without audio tracks carries no live mix: the gain takes a rebuild.
    f.h.engine.reloadComposition(std::nullopt);
    auto silent = f.h.builder->finish(4);
    f.h.queue->runUntilIdle();
    f.h.engine.setClipAudioLevel("M", 2, false);
    EXPECT_TRUE(silent->audioMixes.empty());
    f.h.queue->advance(TimelinePreviewEngine::rebuildDebounceSeconds);
    EXPECT_EQ(f.h.builder->buildCount(), 3u);
}

} // namespace
} // namespace velmora::test
