// The engine playing generated timelines on the platform player: pictures at their times, the
// sound in a recording sink, seeks, frame steps, the live audio mix and scrub bursts.

#include <gtest/gtest.h>

#include <QSignalSpy>

#include "PlaybackTestSupport.h"
#include "preview/PlatformCompositionBuilder.h"
#include "platform/media/NullAudioSink.h"

namespace velmora::test {
namespace {

constexpr int kRate = AudioSink::sampleRate;

class Playback : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = std::make_unique<TempDir>();
        makeStampClip(path("a.mp4"), 10, 440);
        makeStampClip(path("b.mp4"), 10, 660);
        makeStampClip(path("c.mp4"), 10, 880);
        makeToneFile(path("tone.wav"), {{1000, 4}}, 48000, 2);
        ClipSettings fast;
        fast.fpsNum = 60000;
        fast.fpsDen = 1001;
        fast.frameCount = 120;
        fast.videoArgs = "-preset ultrafast -g 30";
        makeClip(path("fast.mp4"), fast);
    }
    static void TearDownTestSuite() { folder_.reset(); }
    static std::filesystem::path path(const std::string& name) { return *folder_ / name; }

    // A [0, 2) from 0 s, B [2, 4) from 2.5 s and C [4, 6) from 6 s of their files, each with its
    // own tone (mono made stereo: 1/8 at -3 dB): frame n of the timeline shows stamp n, 15 + n
    // and 60 + n.
    static std::shared_ptr<EditSession> threeClips(PlaybackHarness& h)
    {
        for (const char* name : {"a.mp4", "b.mp4", "c.mp4"}) {
            h.addMedia(path(name));
        }
        return sessionOf({{"a", "a.mp4"}, {"b", "b.mp4"}, {"c", "c.mp4"}},
                         {sourceClip("A", "video", "a", 0, 2), sourceClip("B", "video", "b", 2, 2, 2.5),
                          sourceClip("C", "video", "c", 4, 2, 6)});
    }
    static int threeClipStamp(std::int64_t frame)
    {
        frame = std::min<std::int64_t>(frame, 179); // the end shows the last frame
        return static_cast<int>(frame < 60 ? frame : frame < 120 ? 15 + frame : 60 + frame);
    }
    static std::int64_t frameAt(const MediaTime& time)
    {
        return time.convertScale(30, MediaTimeRounding::towardNegativeInfinity).value();
    }

    // A picture from `a.mp4` over [0, 4) and the tone on an audio clip over the same time.
    static std::shared_ptr<EditSession> pictureAndTone(PlaybackHarness& h, double fadeIn = 0)
    {
        h.addMedia(path("a.mp4"));
        h.addMedia(path("tone.wav"));
        EditSession::Clip music = sourceClip("M", "audio", "tone", 0, 4, 0, 1);
        music.fadeIn = fadeIn;
        return sessionOf({{"a", "a.mp4"}, {"tone", "tone.wav"}}, {sourceClip("A", "video", "a", 0, 4), music});
    }

private:
    static inline std::unique_ptr<TempDir> folder_;
};

TEST_F(Playback, ThreeClipsPlayThroughWithTheirFramesAtTheirTimesAndTheirSound)
{
    PlaybackHarness h;
    ASSERT_TRUE(h.adoptAndWait(threeClips(h)));
    EXPECT_EQ(h.statuses, (std::vector<std::string>{"Building timeline…",
                                                    "Loaded Timeline 1: 3 video, 0 audio — building preview…",
                                                    "Ready — 6.00s · Grade OFF (smooth play)"}));
    ASSERT_TRUE(h.play());

    int wrongFrames = 0;
    h.playFor(7, [&] {
        const MediaTime now = h.player().currentTime();
        const int expected = threeClipStamp(frameAt(now));
        if (!h.queue->runUntil([&] { return h.stamp() == expected; }, 5) && ++wrongFrames == 1) {
            ADD_FAILURE() << "at " << now.seconds() << " s the picture shows " << h.stamp() << ", not " << expected;
        }
    });
    EXPECT_EQ(wrongFrames, 0);

    // Stopped within 0.04 s of the end of the timeline, the playhead on the nearest frame.
    EXPECT_FALSE(h.engine.isPlaying());
    const double frames = h.engine.playheadSeconds() * 30;
    EXPECT_EQ(frames, std::round(frames));
    EXPECT_GE(frames, 179);
    EXPECT_EQ(h.engine.playbackMotionSeconds(), h.engine.playheadSeconds());
    EXPECT_EQ(h.engine.timelineScrollAnchor(), TimelineScrollAnchor::trailing);

    const RecordingAudioSink& sink = *h.playerSinks.last();
    const double tones[] = {440, 660, 880};
    for (int clip = 0; clip < 3; ++clip) {
        const std::vector<float> samples = heard(sink, clip * 2 + 0.2, 1.6);
        EXPECT_GT(samples.size(), static_cast<std::size_t>(1.5 * kRate)) << clip;
        for (int tone = 0; tone < 3; ++tone) {
            const double level = toneLevel(samples, tones[tone]);
            if (tone == clip) {
                EXPECT_NEAR(level, 0.125 / std::sqrt(2.0), 0.01) << clip;
            } else {
                EXPECT_LT(level, 0.01) << clip << " " << tone;
            }
        }
    }
}

TEST_F(Playback, AnExactSeekShowsItsFrameAndOnlyTheNewestOfTwoSeeksCompletes)
{
    PlaybackHarness h;
    ASSERT_TRUE(h.adoptAndWait(threeClips(h)));
    bool done = false;
    h.engine.seek(3.1, true, [&](bool) { done = true; });
    ASSERT_TRUE(h.waitFor([&] { return done; }));
    EXPECT_EQ(h.engine.playheadSeconds(), 3.1);
    EXPECT_EQ(h.stamp(), 15 + 93);

    int first = 0;
    int second = 0;
    h.engine.seek(1.0, true, [&](bool) { ++first; });
    h.engine.seek(5.0, true, [&](bool) { ++second; });
    ASSERT_TRUE(h.waitFor([&] { return second == 1; }));
    h.queue->runUntilIdle();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(h.stamp(), 60 + 150);

    // The player itself answers the overtaken seek with false.
    std::vector<bool> answers;
    h.player().seek(MediaTime(1, 1), MediaTime::zero(), MediaTime::zero(), [&](bool f) { answers.push_back(f); });
    h.player().seek(MediaTime(2, 1), MediaTime::zero(), MediaTime::zero(), [&](bool f) { answers.push_back(f); });
    ASSERT_TRUE(h.waitFor([&] { return answers.size() == 2; }));
    EXPECT_EQ(answers, (std::vector<bool>{false, true}));
}

TEST_F(Playback, FrameStepsAt5994ShowEachFrameOfA5994Clip)
{
    PlaybackHarness h;
    h.addMedia(path("fast.mp4"));
    ASSERT_TRUE(h.adoptAndWait(sessionOf({{"f", "fast.mp4"}}, {sourceClip("F", "video", "f", 0, 2)}, 160, 96, 59.94)));
    for (int frame = 1; frame <= 3; ++frame) {
        const std::uint64_t scrolls = h.engine.timelineScrollRequest();
        h.engine.stepPlayheadFrame(1, false);
        ASSERT_TRUE(h.waitFor([&] { return h.engine.timelineScrollRequest() > scrolls; }));
        EXPECT_EQ(h.engine.playheadSeconds(), frame / 59.94);
        EXPECT_EQ(h.stamp(), frame);
    }
    h.engine.stepPlayheadFrame(-1, false);
    ASSERT_TRUE(h.waitFor([&] { return h.engine.playheadSeconds() == 2 / 59.94 && h.stamp() == 2; }));
}

TEST_F(Playback, PlayingInRealTimeMovesThePlayheadAtMost24TimesASecond)
{
    auto queue = std::make_shared<ManualMainQueue>();
    const auto sinks = [] { return std::make_shared<NullAudioSink>(systemClock()); };
    TimelinePreviewEngine engine(
        TimelinePreviewEngine::Services{queue, systemClock(), std::make_shared<PlatformCompositionBuilder>(queue, sinks)});
    TempDir media;
    std::filesystem::create_symlink(path("a.mp4"), media.path() / "a.mp4");
    engine.adoptSession(sessionOf({{"a", "a.mp4"}}, {sourceClip("A", "video", "a", 0, 4)}), media.path(),
                        std::nullopt, true);
    ASSERT_TRUE(queue->runUntil([&] { return engine.avPlayer() != nullptr; }, 30));
    queue->runUntilIdle();

    QSignalSpy playhead(&engine, &TimelinePreviewEngine::playheadSecondsChanged);
    QSignalSpy motion(&engine, &TimelinePreviewEngine::playbackMotionSecondsChanged);
    engine.togglePlay();
    ASSERT_TRUE(queue->runUntil([&] { return engine.avPlayer()->currentTime() >= MediaTime(1, 1); }, 30));
    const int playheadWhilePlaying = playhead.count();
    const int motionWhilePlaying = motion.count();
    const double played = engine.avPlayer()->currentTime().seconds();
    engine.togglePlay(); // the toggle guard is long past: a second has gone by
    EXPECT_FALSE(engine.isPlaying());

    // Playing starts with both at the playhead; from then on each moves only after 1/24 s
    // (1/60 s) of playback.
    EXPECT_GE(playheadWhilePlaying, 2);
    EXPECT_LE(playheadWhilePlaying, 2 + static_cast<int>(played * 24));
    EXPECT_LE(motionWhilePlaying, 2 + static_cast<int>(played * 60));
    // Paused on the frame the player stands on.
    const double stoppedAt = engine.avPlayer()->currentTime().seconds();
    EXPECT_EQ(engine.playheadSeconds(), std::floor(stoppedAt * 30 + 1e-6) / 30);
}

TEST_F(Playback, ATimelineLongerThanItsMediaPlaysToItsEnd)
{
    PlaybackHarness h;
    h.addMedia(path("a.mp4"));
    // The clip asks for 1.5 s from 9.5 s of a 10 s file.
    ASSERT_TRUE(h.adoptAndWait(sessionOf({{"a", "a.mp4"}}, {sourceClip("A", "video", "a", 0, 1.5, 9.5)})));
    EXPECT_EQ(h.engine.durationSeconds(), 1.5);
    ASSERT_TRUE(h.play());
    h.playFor(3);
    // Stopped by the engine within 0.04 s of the end, or by the item's own end.
    EXPECT_FALSE(h.engine.isPlaying());
    EXPECT_GE(h.player().currentTime(), MediaTime(146, 100));
    EXPECT_NEAR(h.engine.playheadSeconds(), 1.5, 1.0 / 30 + 1e-9);
}

TEST_F(Playback, AFadeInRisesAndGainZeroIsSilentWithin50MillisecondsOfTheChange)
{
    PlaybackHarness h;
    ASSERT_TRUE(h.adoptAndWait(pictureAndTone(h, 1.0)));
    const std::shared_ptr<PreviewPlayer> player = h.engine.avPlayer();
    ASSERT_TRUE(h.play());
    h.playFor(1.5);

    const RecordingAudioSink& sink = *h.playerSinks.last();
    const double early = toneLevel(heard(sink, 0.1, 0.1), 1000);
    const double middle = toneLevel(heard(sink, 0.45, 0.1), 1000);
    const double full = toneLevel(heard(sink, 1.2, 0.2), 1000);
    EXPECT_NEAR(early, 0.125 * 0.15, 0.01);
    EXPECT_NEAR(middle, 0.125 * 0.5, 0.01);
    EXPECT_NEAR(full, 0.125, 0.01);

    const double changedAt = h.player().currentTime().seconds();
    h.engine.setClipAudioLevel("M", 0, false);
    EXPECT_EQ(h.engine.status(), "Clip gain 0%");
    h.playFor(0.5);
    EXPECT_EQ(h.engine.avPlayer(), player) << "the change needs no new composition";
    EXPECT_NEAR(toneLevel(heard(sink, changedAt - 0.2, 0.2), 1000), 0.125, 0.01);
    const std::vector<float> after = heard(sink, changedAt + 0.05, 0.4);
    EXPECT_GT(after.size(), static_cast<std::size_t>(0.35 * kRate));
    EXPECT_EQ(peak(after), 0.0);
}

TEST_F(Playback, ScrubBurstsPlayTheSoundUnderThePlayheadForTheirLength)
{
    PlaybackHarness h;
    ASSERT_TRUE(h.adoptAndWait(pictureAndTone(h)));
    const auto recorded = [&h] {
        std::int64_t frames = 0;
        for (const RecordingAudioSink::Run& run : h.scrubSinks.last()->recording()) {
            frames += run.frameCount();
        }
        return frames;
    };

    // A frame step sounds 0.12 s from the step's frame.
    h.engine.stepPlayheadFrame(1, false);
    ASSERT_TRUE(h.waitFor([&] { return !h.scrubPlayers.empty(); }));
    const std::shared_ptr<PlatformPreviewPlayer> scrub = h.scrubPlayers.front().lock();
    h.playScrubBurst(*scrub);
    EXPECT_NEAR(static_cast<double>(recorded()), 0.12 * kRate, 0.005 * kRate);
    const RecordingAudioSink::Run first = h.scrubSinks.last()->recording().front();
    EXPECT_NEAR(first.start.seconds(), 1.0 / 30, 1.0 / kRate);
    EXPECT_NEAR(toneLevel(heard(*h.scrubSinks.last(), 1.0 / 30, 0.1), 1000), 0.125, 0.01);

    // A fine step sounds 0.04 s, on the same player.
    const std::int64_t before = recorded();
    h.engine.stepPlayheadFrame(1, true);
    ASSERT_TRUE(h.waitFor([&] { return scrub->rate() != 0; }));
    h.playScrubBurst(*scrub);
    EXPECT_NEAR(static_cast<double>(recorded() - before), 0.04 * kRate, 0.005 * kRate);
    EXPECT_EQ(h.scrubPlayers.size(), 1u);
}

TEST_F(Playback, MissingMediaEndsTheBuildInTheStatusLine)
{
    PlaybackHarness h;
    h.addMedia(path("a.mp4"));
    EXPECT_TRUE(h.adoptAndWait(sessionOf({{"a", "a.mp4"}, {"g", "gone.mp4"}},
                                         {sourceClip("A", "video", "a", 0, 2), sourceClip("G", "video", "g", 2, 2)})));
    const std::string message = "Media not found for timeline clips: gone.mp4. Use Media Folder… or relink.";
    EXPECT_EQ(h.statuses, (std::vector<std::string>{"Building timeline…",
                                                    "Loaded Timeline 1: 2 video, 0 audio — building preview…",
                                                    "Failed: " + message}));
    EXPECT_EQ(h.engine.lastError(), message);
    EXPECT_EQ(h.engine.avPlayer(), nullptr);
}

TEST_F(Playback, TheBuildReadsTheSessionAsItWasWhenTheRebuildStarted)
{
    PlaybackHarness h;
    ASSERT_TRUE(h.adoptAndWait(threeClips(h)));
    h.engine.reloadComposition(std::nullopt);
    // Edited in place right after the rebuild started, as the main thread may do.
    h.engine.session()->timelines[0].clips[2].startTime = 10;
    ASSERT_TRUE(h.waitFor([&] { return h.engine.avPlayer() != nullptr; }));
    EXPECT_EQ(h.player().itemDuration(), MediaTime(6, 1));
}

} // namespace
} // namespace velmora::test
