// The engine playing generated timelines on the platform player.

#include <gtest/gtest.h>

#include <map>
#include <set>

#include <QSignalSpy>

#include "PlaybackTestSupport.h"
#include "model/MediaResolver.h"
#include "platform/media/NullAudioSink.h"
#include "preview/PlatformCompositionBuilder.h"
#include "support/NamedPipe.h"

namespace velmora::test {
namespace {

constexpr int kRate = AudioSink::sampleRate;

class Playback : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = std::make_unique<TempDir>();
        makeStampClip(*folder_ / "a.mp4", 10, 440);
        makeStampClip(*folder_ / "b.mp4", 10, 660);
        makeStampClip(*folder_ / "c.mp4", 10, 880);
        makeToneFile(*folder_ / "tone.wav", {{1000, 4}}, 48000, 2);
        ClipSettings fast;
        fast.fpsNum = 60000;
        fast.fpsDen = 1001;
        fast.frameCount = 120;
        fast.videoArgs = "-preset ultrafast";
        makeClip(*folder_ / "fast.mp4", fast);
        // Eight times the canvas in each direction, in a codec that decodes at a reduced size.
        makeClip(*folder_ / "large.mov", largeJpegClip(10));
    }
    static void TearDownTestSuite() { folder_.reset(); }
    static std::filesystem::path path(const std::string& name) { return *folder_ / name; }
    // An engine on the real clock and the real composition builder, without sound output.
    static TimelinePreviewEngine::Services realTime(const std::shared_ptr<ManualMainQueue>& queue)
    {
        const auto sinks = [] { return std::make_shared<NullAudioSink>(systemClock()); };
        return {queue, systemClock(), std::make_shared<PlatformCompositionBuilder>(queue, sinks)};
    }

    // A [0, 2) from 0 s, B [2, 4) from 2.5 s and C [4, 6) from 6 s of their files, each with its
    // tone: timeline frame n shows stamp n, 15 + n or 60 + n.
    static bool adoptThreeClips(PlaybackHarness& h)
    {
        return h.adoptAndWait(sessionOf({{"a", "a.mp4"}, {"b", "b.mp4"}, {"c", "c.mp4"}},
                                        {sourceClip("A", "video", "a", 0, 2), sourceClip("B", "video", "b", 2, 2, 2.5),
                                         sourceClip("C", "video", "c", 4, 2, 6)}),
                              {path("a.mp4"), path("b.mp4"), path("c.mp4")});
    }
    // A picture over [0, 4) and a tone on an audio clip over the same time.
    static bool adoptPictureAndTone(PlaybackHarness& h, double fadeIn = 0)
    {
        EditSession::Clip music = sourceClip("M", "audio", "tone", 0, 4);
        music.fadeIn = fadeIn;
        return h.adoptAndWait(
            sessionOf({{"a", "a.mp4"}, {"tone", "tone.wav"}}, {sourceClip("A", "video", "a", 0, 4), music}),
            {path("a.mp4"), path("tone.wav")});
    }

    static inline std::unique_ptr<TempDir> folder_;
};

TEST_F(Playback, ThreeClipsPlayThroughWithTheirFramesAtTheirTimesAndTheirSound)
{
    PlaybackHarness h;
    ASSERT_TRUE(adoptThreeClips(h));
    EXPECT_EQ(h.statuses, (std::vector<std::string>{"Building timeline…",
                                                    "Loaded Timeline 1: 3 video, 0 audio — building preview…",
                                                    "Ready — 6.00s · Grade OFF (smooth play)"}));
    ASSERT_TRUE(h.play());
    int wrongFrames = 0;
    h.playFor(7, [&] {
        const std::int64_t frame =
            std::min<std::int64_t>(h.player().currentTime().convertScale(30, MediaTimeRounding::towardZero).value(), 179);
        const int expected = static_cast<int>(frame < 60 ? frame : frame < 120 ? 15 + frame : 60 + frame);
        if (!h.queue->runUntil([&] { return h.stamp() == expected; }, 30) && wrongFrames++ == 0) {
            ADD_FAILURE() << "frame " << frame << " shows " << h.stamp() << ", not " << expected;
        }
    });
    EXPECT_EQ(wrongFrames, 0);

    // Paused within 0.04 s of the end, on the nearest frame.
    EXPECT_FALSE(h.engine.isPlaying());
    EXPECT_NEAR(h.engine.playheadSeconds(), 6.0, 1.0 / 30 + 1e-9);
    EXPECT_EQ(h.engine.playheadSeconds() * 30, std::round(h.engine.playheadSeconds() * 30));
    EXPECT_EQ(h.engine.timelineScrollAnchor(), TimelineScrollAnchor::trailing);

    // Each clip's tone (mono made stereo: 1/8 at -3 dB) and none of the others.
    const double tones[] = {440, 660, 880};
    for (int clip = 0; clip < 3; ++clip) {
        const std::vector<float> samples = heard(*h.playerSink, clip * 2 + 0.2, 1.6);
        EXPECT_GT(samples.size(), std::size_t{3 * kRate / 2}) << clip;
        for (int tone = 0; tone < 3; ++tone) {
            EXPECT_NEAR(toneLevel(samples, tones[tone]), tone == clip ? 0.125 / std::sqrt(2.0) : 0, 0.01) << clip;
        }
    }
}

TEST_F(Playback, AnExactSeekShowsItsFrameAndOnlyTheNewestOfTwoSeeksCompletes)
{
    PlaybackHarness h;
    ASSERT_TRUE(adoptThreeClips(h));
    int first = 0;
    int second = 0;
    h.engine.seek(1.0, true, [&](bool) { ++first; });
    h.engine.seek(3.1, true, [&](bool) { ++second; });
    ASSERT_TRUE(h.waitFor([&] { return second == 1; }));
    h.queue->runUntilIdle();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(h.stamp(), 15 + 93);

    std::vector<bool> answers;
    h.player().seek(MediaTime(1, 1), MediaTime::zero(), MediaTime::zero(), [&](bool f) { answers.push_back(f); });
    h.player().seek(MediaTime(5, 1), MediaTime::zero(), MediaTime::zero(), [&](bool f) { answers.push_back(f); });
    ASSERT_TRUE(h.waitFor([&] { return answers.size() == 2; }));
    EXPECT_EQ(answers, (std::vector<bool>{false, true}));
    EXPECT_EQ(h.stamp(), 60 + 150);
}

TEST_F(Playback, FrameStepsAt5994ShowEachFrameOfA5994Clip)
{
    PlaybackHarness h;
    ASSERT_TRUE(h.adoptAndWait(sessionOf({{"f", "fast.mp4"}}, {sourceClip("F", "video", "f", 0, 2)}, 160, 96, 59.94),
                               {path("fast.mp4")}));
    for (int frame = 1; frame <= 3; ++frame) {
        const std::uint64_t scrolls = h.engine.timelineScrollRequest();
        h.engine.stepPlayheadFrame(1, false);
        ASSERT_TRUE(h.waitFor([&] { return h.engine.timelineScrollRequest() > scrolls; }));
        EXPECT_EQ(h.engine.playheadSeconds(), frame * 1001 / 60000.0); // the frame's start on the export's grid
        EXPECT_EQ(h.stamp(), frame);
    }
}

// The end is seen within 0.04 s of it, here with the clock held at 1.97 s, a frame and a half
// before the 2 s end at 59.94 fps (frame 118): playback still rests on the last frame and shows it.
TEST_F(Playback, PlayingToTheEndRestsOnTheLastFrameAndShowsIt)
{
    PlaybackHarness h;
    ASSERT_TRUE(h.adoptAndWait(sessionOf({{"f", "fast.mp4"}}, {sourceClip("F", "video", "f", 0, 2)}, 160, 96, 59.94),
                               {path("fast.mp4")}));
    bool landed = false;
    h.engine.seek(1.5, true, [&](bool) { landed = true; });
    ASSERT_TRUE(h.waitFor([&] { return landed; }));
    ASSERT_TRUE(h.play());
    h.playFor(1.97 - h.player().currentTime().seconds());
    ASSERT_TRUE(h.waitFor([&] { return !h.engine.isPlaying(); }));
    // Playback that ran out seeks to the last frame. Where the player has that frame made, the
    // seek lands at once; where it is still being decoded (a loaded machine), the stop's own
    // report names the time it stopped at until the seek lands. The rest is where it ends.
    const double lastFrame = 119 * 1001 / 60000.0;
    EXPECT_TRUE(h.waitFor([&] { return h.stamp() == 119 && h.engine.playheadSeconds() == lastFrame; }))
        << h.stamp() << " at " << h.engine.playheadSeconds();
    h.queue->runUntilIdle();
    EXPECT_EQ(h.engine.playheadSeconds(), lastFrame);
    EXPECT_EQ(h.stamp(), 119);
}

// A picture far larger than the canvas, decoded at a reduced size, still fills the canvas (the
// stamp's bars are read across its whole width) and shows its own frames.
TEST_F(Playback, APictureDecodedSmallerStillFillsTheCanvas)
{
    PlaybackHarness h;
    ASSERT_TRUE(h.adoptAndWait(sessionOf({{"l", "large.mov"}}, {sourceClip("L", "video", "l", 0, 0.4)}, 160, 96, 25),
                               {path("large.mov")}));
    // Each seek shows the frame the export writes there.
    std::vector<int> shown;
    for (const int frame : {2, 3, 4, 5, 6, 7}) {
        bool landed = false;
        h.engine.seek(frame / 25.0 + 0.001, true, [&](bool) { landed = true; });
        ASSERT_TRUE(h.waitFor([&] { return landed; }));
        ASSERT_TRUE(h.waitFor([&] { return h.stamp() >= 0 && (shown.empty() || h.stamp() == shown.back() + 1); }))
            << frame << " shows " << h.stamp();
        shown.push_back(h.stamp());
    }
    EXPECT_EQ(shown, (std::vector<int>{2, 3, 4, 5, 6, 7}));
}

TEST_F(Playback, PlayingInRealTimeMovesThePlayheadAtMost24TimesASecond)
{
    auto queue = std::make_shared<ManualMainQueue>();
    TimelinePreviewEngine engine(realTime(queue));
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
    const int playheadCalls = playhead.count();
    const int motionCalls = motion.count();
    const double played = engine.avPlayer()->currentTime().seconds();
    engine.togglePlay(); // a second after the first: past the toggle guard
    EXPECT_FALSE(engine.isPlaying());
    // Both start at the playhead; then each moves only after 1/24 s (1/60 s) of playback.
    EXPECT_GE(playheadCalls, 2);
    EXPECT_LE(playheadCalls, 2 + static_cast<int>(played * 24));
    EXPECT_LE(motionCalls, 2 + static_cast<int>(played * 60));
    EXPECT_EQ(engine.playheadSeconds(), std::floor(engine.avPlayer()->currentTime().seconds() * 30 + 1e-6) / 30);
}

// A file the user may not read shows black while the rest of the timeline plays; the status
// line names it, on opening and when the player fails on it later, in front of what it says and
// for as long as it cannot be read.
TEST_F(Playback, AnUnreadableFileIsNamedWhileTheRestPlays)
{
    // Permissions do not bind the superuser the tests may run as: the engine's check is replaced.
    auto locked = std::make_shared<std::set<std::string>>(std::set<std::string>{"b.mp4"});
    auto queue = std::make_shared<ManualMainQueue>();
    const auto sinks = [] { return std::make_shared<NullAudioSink>(systemClock()); };
    TimelinePreviewEngine engine(TimelinePreviewEngine::Services{
        queue, systemClock(), std::make_shared<PlatformCompositionBuilder>(queue, sinks), {},
        [locked](const std::filesystem::path& file) -> std::optional<std::string> {
            if (locked->contains(file.filename().string()))
                return "Permission denied";
            return std::nullopt;
        }});
    TempDir media;
    for (const char* name : {"a.mp4", "b.mp4", "c.mp4"})
        std::filesystem::create_symlink(path("a.mp4"), media.path() / name);
    engine.adoptSession(sessionOf({{"a", "a.mp4"}, {"b", "b.mp4"}, {"c", "c.mp4"}},
                                  {sourceClip("A", "video", "a", 0, 2), sourceClip("B", "video", "b", 2, 2),
                                   sourceClip("C", "video", "c", 4, 2)}),
                        media.path(), std::nullopt, true);
    ASSERT_TRUE(queue->runUntil([&] { return engine.avPlayer() != nullptr; }, 30)) << engine.status();
    EXPECT_EQ(engine.status(), "Cannot read b.mp4 (Permission denied) · Ready — 6.00s · Grade OFF (smooth play)");
    EXPECT_EQ(engine.unreadableSources(), (std::map<std::string, std::string>{{"b", "Permission denied"}}));

    // The player meets a file that has become unreadable since.
    locked->insert("c.mp4");
    auto* player = dynamic_cast<PlatformPreviewPlayer*>(engine.avPlayer().get());
    ASSERT_NE(player, nullptr);
    player->item()->recordError(Error("media", 2, "Cannot open"), media.path() / "c.mp4");
    ASSERT_TRUE(queue->runUntil([&] { return engine.unreadableSources().size() == 2; }, 30));
    EXPECT_EQ(engine.status(), "Cannot read b.mp4, c.mp4 (Permission denied) · Ready — 6.00s · Grade OFF (smooth play)");
    EXPECT_EQ(engine.unreadableSources().at("c"), "Permission denied");

    // A seek onto the file unreadable since the opening names it; once it can be read again, the
    // next seek brings its picture back without opening the project again.
    const auto seekAndWait = [&](double seconds) {
        bool landed = false;
        engine.seek(seconds, true, [&](bool) { landed = true; });
        return queue->runUntil([&] { return landed && engine.avPlayer() != nullptr; }, 30);
    };
    ASSERT_TRUE(seekAndWait(3.0));
    EXPECT_EQ(engine.status(), "Cannot read b.mp4, c.mp4 (Permission denied) · Ready — 6.00s · Grade OFF (smooth play)");
    locked->erase("b.mp4");
    engine.seek(3.0, true, {});
    ASSERT_TRUE(queue->runUntil([&] { return engine.avPlayer() != nullptr; }, 30)) << engine.status();
    EXPECT_FALSE(engine.unreadableSources().contains("b"));
    ASSERT_TRUE(seekAndWait(3.0));
    EXPECT_EQ(stampShown(*dynamic_cast<PlatformPreviewPlayer&>(*engine.avPlayer()).videoOutput()), 30);

    // A file that opens but does not decode is named at a seek onto it, not built again for it.
    locked->erase("c.mp4");
    player = dynamic_cast<PlatformPreviewPlayer*>(engine.avPlayer().get());
    player->item()->recordError(Error("media", 3, "Invalid data found when processing input"), media.path() / "c.mp4");
    const std::string undecodable = "Cannot read c.mp4 (Invalid data found when processing input)";
    ASSERT_TRUE(queue->runUntil([&] { return engine.status().starts_with(undecodable); }, 30)) << engine.status();
    engine.setStatus("Marker added");
    engine.seek(5.0, true, {});
    EXPECT_TRUE(engine.unreadableSources().contains("c"));
    EXPECT_NE(engine.avPlayer(), nullptr);
    EXPECT_EQ(engine.status(), undecodable + " · Marker added");
}

// A file that opens but fails its reads is named as the export names it; a named pipe in a
// file's place is missing, and opening the project does not wait on it.
TEST_F(Playback, OnlyRegularFilesAreReadAndTheRestAreNamed)
{
    for (const bool pipe : {false, true}) {
        SCOPED_TRACE(pipe ? "a pipe" : "a link to a file that fails its reads");
        auto queue = std::make_shared<ManualMainQueue>();
        TimelinePreviewEngine engine(realTime(queue));
        TempDir media;
        std::filesystem::create_symlink(path("a.mp4"), media.path() / "a.mp4");
        std::optional<test::NamedPipe> fifo;
        if (pipe)
            fifo.emplace(media.path() / "b.mp4");
        else
            std::filesystem::create_symlink("/proc/self/mem", media.path() / "b.mp4");
        engine.adoptSession(sessionOf({{"a", "a.mp4"}, {"b", "b.mp4"}},
                                      {sourceClip("A", "video", "a", 0, 2), sourceClip("B", "video", "b", 2, 2)}),
                            media.path(), std::nullopt, true);
        const std::string expected = pipe ? "Failed: Media not found for timeline clips: b.mp4. Use Media Folder… or relink."
                                          : "Cannot read b.mp4 (Input/output error) · Ready — 4.00s · Grade OFF (smooth play)";
        ASSERT_TRUE(queue->runUntil([&] { return engine.status() == expected; }, 30)) << engine.status();
    }
}

// A new project holds nothing: its empty media folder is not a failure, and nothing is built.
TEST_F(Playback, AProjectWithNothingInItIsNoFailure)
{
    auto queue = std::make_shared<ManualMainQueue>();
    TimelinePreviewEngine engine(realTime(queue));
    TempDir media;
    engine.adoptSession(std::make_shared<EditSession>(EditSession::blankProject()), media.path(), std::nullopt, true);
    ASSERT_TRUE(queue->runUntil([&] { return !engine.status().ends_with("building preview\u2026"); }, 30));
    EXPECT_EQ(engine.status(), "Loaded Timeline 1: 0 video, 0 audio");
    EXPECT_FALSE(engine.lastError());
}

TEST_F(Playback, AFadeInRisesAndGainZeroIsSilentWithin50MillisecondsOfTheChange)
{
    PlaybackHarness h;
    ASSERT_TRUE(adoptPictureAndTone(h, 1.0));
    const std::shared_ptr<PreviewPlayer> player = h.engine.avPlayer();
    ASSERT_TRUE(h.play());
    h.playFor(1.5);
    EXPECT_NEAR(toneLevel(heard(*h.playerSink, 0.1, 0.1), 1000), 0.125 * 0.15, 0.01);
    EXPECT_NEAR(toneLevel(heard(*h.playerSink, 0.45, 0.1), 1000), 0.125 * 0.5, 0.01);
    EXPECT_NEAR(toneLevel(heard(*h.playerSink, 1.2, 0.2), 1000), 0.125, 0.01);

    const double changedAt = h.player().currentTime().seconds();
    h.engine.setClipAudioLevel("M", 0, false);
    h.playFor(0.5);
    EXPECT_EQ(h.engine.avPlayer(), player) << "no new composition";
    const std::vector<float> after = heard(*h.playerSink, changedAt + 0.05, 0.4);
    EXPECT_GT(after.size(), std::size_t{kRate / 3});
    EXPECT_TRUE(std::all_of(after.begin(), after.end(), [](float v) { return v == 0; }));
}

TEST_F(Playback, ScrubBurstsPlayTheSoundUnderThePlayheadForTheirLength)
{
    PlaybackHarness h;
    ASSERT_TRUE(adoptPictureAndTone(h));
    const auto recorded = [&h] {
        std::int64_t frames = 0;
        for (const RecordingAudioSink::Run& run : h.scrubSink->recording()) {
            frames += run.frameCount();
        }
        return frames;
    };
    h.engine.stepPlayheadFrame(1, false); // 0.12 s from the new frame
    ASSERT_TRUE(h.waitFor([&] { return !h.scrubPlayers.empty(); }));
    const std::shared_ptr<PlatformPreviewPlayer> scrub = h.scrubPlayers.front().lock();
    h.playScrubBurst(*scrub);
    EXPECT_NEAR(static_cast<double>(recorded()), 0.12 * kRate, 0.005 * kRate);
    EXPECT_NEAR(h.scrubSink->recording().front().start.seconds(), 1.0 / 30, 1.0 / kRate);
    EXPECT_NEAR(toneLevel(heard(*h.scrubSink, 1.0 / 30, 0.1), 1000), 0.125, 0.01);

    const std::int64_t before = recorded();
    h.engine.stepPlayheadFrame(1, true); // 0.04 s, on the same player
    ASSERT_TRUE(h.waitFor([&] { return scrub->rate() != 0; }));
    h.playScrubBurst(*scrub);
    EXPECT_NEAR(static_cast<double>(recorded() - before), 0.04 * kRate, 0.005 * kRate);
    EXPECT_EQ(h.scrubPlayers.size(), 1u);
}

} // namespace
} // namespace velmora::test
