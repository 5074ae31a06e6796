#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <memory>
#include <vector>

#include "MediaTestHelpers.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/ManualMainQueue.h"
#include "platform/media/Asset.h"
#include "platform/media/MediaError.h"
#include "platform/media/Player.h"
#include "platform/media/QtAudioSink.h"
#include "platform/media/RecordingAudioSink.h"
#include "support/AudioFixtures.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

using test::stampOf;

constexpr double kWait = 60; // seconds of real time a step may take before the test gives up
constexpr double kLevel = 0.125; // the test tones' amplitude
constexpr int kRate = AudioSink::sampleRate;

MediaTime frameTime(int frame)
{
    return MediaTime(frame, 30);
}

MediaTime sec(double seconds)
{
    return MediaTime::fromSeconds(seconds, 600);
}

MediaTimeRange span(double start, double duration)
{
    return MediaTimeRange(sec(start), sec(duration));
}

// A player on a manual main queue and a manual clock, its sound recorded.
struct Harness {
    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<RecordingAudioSink> sink = std::make_shared<RecordingAudioSink>(clock);
    std::unique_ptr<Player> player = std::make_unique<Player>(queue, sink);

    bool waitFor(const std::function<bool()>& done) { return queue->runUntil(done, kWait); }

    // The stamp of the frame shown, -1 when none can be read, -2 with no frame at all.
    int stamp() const
    {
        const std::optional<VideoOutput::Frame> frame = player->videoOutput()->latestFrame();
        return frame ? stampOf(frame->buffer) : -2;
    }

    bool seekAndWait(const MediaTime& time)
    {
        bool done = false;
        bool finished = false;
        player->seek(time, [&](bool f) {
            done = true;
            finished = f;
        });
        return waitFor([&] { return done; }) && finished;
    }

    // Plays from where the player stands and waits until the clock runs.
    bool startPlaying()
    {
        player->play();
        return waitFor([&] { return player->timeControlStatus() == Player::TimeControlStatus::playing; });
    }

    // Moves the clock on in steps no longer than the sinks' 40 ms bound, letting the audio thread
    // fill the sink before each one, so that nothing is lost to an underrun.
    void playFor(double seconds, double step = 0.02)
    {
        const MediaTime target = player->currentTime() + sec(seconds);
        const MediaTime end = player->currentItem()->duration();
        while (player->rate() != 0 && player->currentTime() < target) {
            waitFor([&] {
                return sink->writableFrames() < 480 || player->rate() == 0 ||
                       (end - player->currentTime()).seconds() < 0.05;
            });
            clock->advance(std::min(step, (target - player->currentTime()).seconds()));
        }
    }

    // The samples of one channel played at item times [from, from + seconds), from the latest
    // pass over each time; times never played are left out.
    std::vector<float> heard(double from, double seconds, int channel = 0) const
    {
        const std::int64_t first = std::llround(from * kRate);
        const std::int64_t count = std::llround(seconds * kRate);
        std::vector<float> window(static_cast<std::size_t>(count), std::nanf(""));
        for (const RecordingAudioSink::Run& run : sink->recording()) {
            const std::int64_t start = run.start.convertScale(kRate).value();
            for (std::int64_t f = std::max(first, start); f < std::min(first + count, start + run.frameCount()); ++f) {
                window[static_cast<std::size_t>(f - first)] = run.samples[static_cast<std::size_t>(f - start) * 2 + channel];
            }
        }
        std::erase_if(window, [](float v) { return std::isnan(v); });
        return window;
    }
};

double toneLevel(const std::vector<float>& mono, double frequency)
{
    return test::toneAmplitude(mono, 1, 0, 0, static_cast<std::int64_t>(mono.size()), frequency, kRate);
}

double peak(const std::vector<float>& mono)
{
    return mono.empty() ? -1 : test::peakLevel(mono, 1, 0, 0, static_cast<std::int64_t>(mono.size()));
}

TEST(VideoComposition, FindsTheInstructionAndTheFrameOfATime)
{
    VideoComposition video;
    video.renderWidth = 16;
    video.renderHeight = 9;
    video.frameDuration = MediaTime(1001, 30000);
    video.instructions.push_back({MediaTimeRange(MediaTime::zero(), MediaTime(1, 1)), {{1, {}}}});
    video.instructions.push_back({MediaTimeRange(MediaTime::zero(), MediaTime(2, 1)), {{2, {}}}});
    EXPECT_TRUE(video.isValid());
    EXPECT_EQ(video.instruction(MediaTime(1, 2))->layerInstructions[0].trackID, 1) << "the first that holds it";
    EXPECT_EQ(video.instruction(MediaTime(1, 1))->layerInstructions[0].trackID, 2);
    EXPECT_EQ(video.instruction(MediaTime(2, 1)), nullptr);

    EXPECT_EQ(video.frameIndex(MediaTime(100 * 1001, 30000)), 100);
    EXPECT_EQ(video.frameIndex(MediaTime(100 * 1001 - 1, 30000)), 99);
    EXPECT_EQ(video.frameIndex(MediaTime(10, 1)), 299) << "299.7 frames";
    EXPECT_EQ(video.frameIndex(MediaTime(-1, 30000)), -1);
    EXPECT_EQ(video.frameTime(300), MediaTime(300 * 1001, 30000));

    video.frameDuration = MediaTime::zero();
    EXPECT_FALSE(video.isValid());
    video.frameDuration = MediaTime(1, 30);
    video.renderWidth = 16385;
    EXPECT_FALSE(video.isValid());
}

class PlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = std::make_unique<test::TempDir>();
        // Frames 0 to 89 at 30 per second, 160 × 96, with a 440 Hz tone.
        test::ClipSettings a;
        a.fpsNum = 30;
        a.frameCount = 90;
        a.videoArgs = "-g 12 -bf 2";
        a.audio = true;
        test::makeClip(clipA(), a);
        // The same at 320 × 192, with an 880 Hz tone.
        test::ClipSettings b = a;
        b.width = 320;
        b.height = 192;
        b.sineFrequency = 880;
        test::makeClip(clipB(), b);
        test::makeToneFile(tone(), {{440, 3}}, 48000, 2);
    }
    static void TearDownTestSuite() { folder_.reset(); }

    static std::filesystem::path clipA() { return *folder_ / "a.mp4"; }
    static std::filesystem::path clipB() { return *folder_ / "b.mp4"; }
    static std::filesystem::path tone() { return *folder_ / "tone.wav"; }

    static CompositionSourceTrack videoOf(const std::filesystem::path& path)
    {
        return CompositionSourceTrack{SharedPath(path), Asset::open(path)->firstTrack(MediaType::video)->trackID, MediaType::video};
    }
    static CompositionSourceTrack audioOf(const std::filesystem::path& path)
    {
        return CompositionSourceTrack{SharedPath(path), Asset::open(path)->firstTrack(MediaType::audio)->trackID, MediaType::audio};
    }

    // A's frames 0 to 59 over [0, 2) s, filled up to 320 × 192, then B's frames 30 to 89 over
    // [2, 4) s as they are: each edit with the fill of its own source.
    static std::shared_ptr<PlayerItem> twoClips()
    {
        Composition composition;
        CompositionTrack* track = composition.addMutableTrack(MediaType::video);
        track->insertTimeRange(span(0, 2), videoOf(clipA()), sec(0));
        track->insertTimeRange(span(1, 2), videoOf(clipB()), sec(2));
        VideoComposition video;
        video.renderWidth = 320;
        video.renderHeight = 192;
        video.frameDuration = MediaTime(1, 30);
        video.instructions.push_back({span(0, 2), {{track->trackID(), AffineTransform::scale(2, 2)}}});
        video.instructions.push_back({span(2, 2), {{track->trackID(), AffineTransform::identity()}}});
        return PlayerItem::make(std::move(composition), std::nullopt, std::move(video));
    }

    // Clip A's picture under `transform` on a canvas of the given size.
    static std::shared_ptr<PlayerItem> placedA(const AffineTransform& transform, int width, int height)
    {
        Composition composition;
        CompositionTrack* track = composition.addMutableTrack(MediaType::video);
        track->insertTimeRange(span(0, 3), videoOf(clipA()), sec(0));
        VideoComposition video;
        video.renderWidth = width;
        video.renderHeight = height;
        video.frameDuration = MediaTime(1, 30);
        video.instructions.push_back({span(0, 3), {{track->trackID(), transform}}});
        return PlayerItem::make(std::move(composition), std::nullopt, std::move(video));
    }

    // The tone file over [start, start + seconds) of an item `length` seconds long.
    static std::shared_ptr<PlayerItem> toneAt(double start, double seconds, double length)
    {
        Composition composition;
        composition.addMutableTrack(MediaType::audio)->insertTimeRange(span(0, seconds), audioOf(tone()), sec(start));
        composition.addMutableTrack(MediaType::audio)->insertEmptyTimeRange(span(0, length));
        return PlayerItem::make(std::move(composition));
    }

    static std::unique_ptr<test::TempDir> folder_;
};

std::unique_ptr<test::TempDir> PlayerTest::folder_;

// ---- seeking ----

TEST_F(PlayerTest, AnExactSeekShowsTheFrameOfEachClipAtItsTime)
{
    Harness h;
    h.player->replaceCurrentItem(twoClips());
    ASSERT_TRUE(h.waitFor([&] { return h.stamp() >= 0; }));
    EXPECT_EQ(h.stamp(), 0);
    EXPECT_EQ(h.player->currentItem()->duration(), sec(4));

    struct Case {
        MediaTime time;
        int stamp;
    };
    const Case cases[] = {
        {frameTime(37), 37},                              // in A, filled to twice its size
        {frameTime(37) + MediaTime(1, 100), 37},          // between two frames: the one shown
        {frameTime(59), 59},                              // A's last frame before the cut
        {sec(2), 30},                                     // the cut: B from its in point
        {frameTime(75), 30 + 15},                         // inside B
        {frameTime(3), 3},                                // back into A
        {sec(4), 89},                                     // the end shows the last frame
        {sec(9), 89},                                     // past the end: clamped
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(h.seekAndWait(c.time)) << c.time.description();
        EXPECT_EQ(h.stamp(), c.stamp) << c.time.description();
        EXPECT_EQ(h.player->currentTime(), std::min(c.time, sec(4))) << c.time.description();
        const std::optional<VideoOutput::Frame> frame = h.player->videoOutput()->latestFrame();
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->buffer.width(), 320);
        EXPECT_EQ(frame->buffer.height(), 192);
        EXPECT_TRUE(h.player->videoOutput()->copyPixelBuffer(h.player->currentTime()).isSameBuffer(frame->buffer));
    }
    EXPECT_FALSE(h.player->videoOutput()->copyPixelBuffer(sec(1)));
    EXPECT_FALSE(h.player->currentItem()->error());
}

TEST_F(PlayerTest, ALaterSeekCompletesTheEarlierOneWithFalseFirst)
{
    // The video thread waits at this gate in the composition's handler, so that a seek stays
    // pending for as long as the test wants.
    struct Gate {
        std::mutex mutex;
        std::condition_variable changed;
        bool open = true;
        void set(bool value)
        {
            {
                std::lock_guard lock(mutex);
                open = value;
            }
            changed.notify_all();
        }
        void pass()
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return open; });
        }
    };
    const auto gate = std::make_shared<Gate>();
    const std::shared_ptr<PlayerItem> plain = twoClips();
    VideoComposition gated = *plain->videoComposition();
    gated.handler = [gate](const Image& picture, const MediaTime&) {
        gate->pass();
        return picture;
    };
    const auto gatedItem = [&] { return PlayerItem::make(plain->composition(), std::nullopt, gated); };

    Harness h;
    h.player->replaceCurrentItem(gatedItem());
    ASSERT_TRUE(h.seekAndWait(frameTime(60)));
    gate->set(false);
    std::vector<std::pair<int, bool>> completions;
    // Both lie behind the frames made so far: each one starts the picture over.
    h.player->seek(frameTime(10), [&](bool finished) { completions.emplace_back(1, finished); });
    h.player->seek(frameTime(20), [&](bool finished) { completions.emplace_back(2, finished); });
    EXPECT_EQ(h.player->currentTime(), frameTime(20)) << "the target, from the moment it is asked";
    gate->set(true);
    ASSERT_TRUE(h.waitFor([&] { return completions.size() == 2; }));
    EXPECT_EQ(completions, (std::vector<std::pair<int, bool>>{{1, false}, {2, true}}));
    EXPECT_EQ(h.stamp(), 20);

    // Replacing the item ends a pending seek the same way.
    gate->set(false);
    std::optional<bool> pending;
    h.player->seek(frameTime(5), [&](bool finished) { pending = finished; });
    h.player->replaceCurrentItem(twoClips());
    gate->set(true);
    ASSERT_TRUE(h.waitFor([&] { return pending.has_value(); }));
    EXPECT_FALSE(*pending);
    EXPECT_EQ(h.player->currentTime(), MediaTime::zero());
    ASSERT_TRUE(h.waitFor([&] { return h.stamp() == 0; }));
}

TEST_F(PlayerTest, FrameStepsForwardLandOnFramesAlreadyMade)
{
    Harness h;
    h.player->replaceCurrentItem(twoClips());
    ASSERT_TRUE(h.seekAndWait(frameTime(10)));
    for (int frame = 11; frame <= 14; ++frame) {
        ASSERT_TRUE(h.seekAndWait(frameTime(frame)));
        EXPECT_EQ(h.stamp(), frame);
    }
    // A tolerance after the time lands on the next frame made.
    bool done = false;
    h.player->seek(frameTime(14) + MediaTime(1, 1000), MediaTime::zero(), MediaTime(1, 10), [&](bool) { done = true; });
    ASSERT_TRUE(h.waitFor([&] { return done; }));
    EXPECT_EQ(h.stamp(), 14) << "the frame shown holds the time";
}

TEST_F(PlayerTest, PausedOnlyTheNextFrameIsMadeAheadAndPlayingReadsFurther)
{
    // The frame index of the newest frame the video thread composed, and of the furthest.
    const auto newest = std::make_shared<std::atomic<int>>(-1);
    const auto furthest = std::make_shared<std::atomic<int>>(-1);
    const std::shared_ptr<PlayerItem> plain = twoClips();
    VideoComposition watched = *plain->videoComposition();
    watched.handler = [newest, furthest](const Image& picture, const MediaTime& time) {
        const int index = static_cast<int>(std::llround(time.seconds() * 30));
        newest->store(index);
        int seen = furthest->load();
        while (index > seen && !furthest->compare_exchange_weak(seen, index)) {
        }
        return picture;
    };
    Harness h;
    h.player->replaceCurrentItem(PlayerItem::make(plain->composition(), std::nullopt, watched));
    // The video thread makes frames in turn and takes a restart only between two of them: once
    // a seek back to frame 2 has made frame 3, whatever it made ahead before is counted.
    const auto restartAtTwo = [&] {
        EXPECT_TRUE(h.seekAndWait(frameTime(2)));
        EXPECT_TRUE(h.waitFor([&] { return newest->load() == 3; }));
    };

    ASSERT_TRUE(h.seekAndWait(frameTime(10)));
    ASSERT_TRUE(h.waitFor([&] { return newest->load() == 11; }));
    restartAtTwo();
    EXPECT_EQ(furthest->load(), 11) << "paused, the frame after the one shown waits, and no other";

    ASSERT_TRUE(h.seekAndWait(frameTime(11)));
    EXPECT_EQ(h.stamp(), 11);
    ASSERT_TRUE(h.waitFor([&] { return newest->load() == 12; }));
    restartAtTwo();
    EXPECT_EQ(furthest->load(), 12);
    ASSERT_TRUE(h.seekAndWait(frameTime(11)));

    // The manual clock stands still: playing fills the forward buffer from here.
    ASSERT_TRUE(h.startPlaying());
    EXPECT_TRUE(h.waitFor([&] { return newest->load() >= 40; }));
}

// ---- placing the picture ----

TEST_F(PlayerTest, LayerTransformsTurnMirrorAndFillThePicture)
{
    struct Case {
        const char* name;
        AffineTransform transform;
        int width;
        int height;
        // Where source pixel (x, y) of the 160 × 96 picture lands.
        std::function<std::pair<int, int>(int, int)> place;
    };
    const Case cases[] = {
        {"quarter turn", {0, 1, -1, 0, 96, 0}, 96, 160, [](int x, int y) { return std::pair{95 - y, x}; }},
        {"three quarters", {0, -1, 1, 0, 0, 160}, 96, 160, [](int x, int y) { return std::pair{y, 159 - x}; }},
        {"mirrored", {-1, 0, 0, 1, 160, 0}, 160, 96, [](int x, int y) { return std::pair{159 - x, y}; }},
        {"upside down", {1, 0, 0, -1, 0, 96}, 160, 96, [](int x, int y) { return std::pair{x, 95 - y}; }},
        // Filling a 4:3 canvas crops the sides: x 16 to 143 show, doubled.
        {"fill", {2, 0, 0, 2, -32, 0}, 256, 192, [](int x, int y) { return std::pair{2 * x - 32, 2 * y}; }},
        // A sliver of shear takes the float path: the same picture.
        {"sheared", {2, 0, 1e-7, 2, -32, 0}, 256, 192, [](int x, int y) { return std::pair{2 * x - 32, 2 * y}; }},
    };
    for (const Case& c : cases) {
        Harness h;
        h.player->replaceCurrentItem(placedA(c.transform, c.width, c.height));
        ASSERT_TRUE(h.seekAndWait(frameTime(45))) << c.name;
        const std::optional<VideoOutput::Frame> frame = h.player->videoOutput()->latestFrame();
        ASSERT_TRUE(frame) << c.name;
        ASSERT_EQ(frame->buffer.width(), c.width) << c.name;
        ASSERT_EQ(frame->buffer.height(), c.height) << c.name;
        const PixelBuffer& buffer = frame->buffer;
        const auto green = [&](int x, int y) -> double {
            const auto [px, py] = c.place(x, y);
            if (px < 0 || py < 0 || px >= buffer.width() || py >= buffer.height()) {
                return -1; // not on the canvas
            }
            return buffer.baseAddress(0)[buffer.bytesPerRow(0) * py + 4 * px + 1] / 255.0;
        };
        if (std::string(c.name) == "fill" || std::string(c.name) == "sheared") {
            // Bits 2 to 13 fall inside the crop: 45 = 0b101101 has bits 2, 3 and 5 set.
            for (int bit = 2; bit < 14; ++bit) {
                const double v = green(10 * bit + 5, 48);
                EXPECT_EQ(v > 0.75, ((45 >> bit) & 1) == 1) << c.name << " bit " << bit << " " << v;
                EXPECT_TRUE(v > 0.75 || v < 0.25) << c.name << " bit " << bit << " " << v;
            }
            const std::uint8_t* corner = buffer.baseAddress(0);
            EXPECT_EQ(corner[3], 255) << c.name << ": opaque";
        } else {
            EXPECT_EQ(test::readFrameStamp(green, 160, 96), 45) << c.name;
        }
    }
}

TEST_F(PlayerTest, AFileItemPlaysTheFileUprightAtItsOwnSize)
{
    Harness h;
    const std::shared_ptr<PlayerItem> item = PlayerItem::fromFile(clipB());
    EXPECT_EQ(item->videoComposition()->renderWidth, 320);
    EXPECT_EQ(item->videoComposition()->renderHeight, 192);
    EXPECT_EQ(item->videoComposition()->frameDuration, MediaTime(1, 30));
    EXPECT_NEAR(item->duration().seconds(), 3.0, 0.03);
    h.player->replaceCurrentItem(item);
    ASSERT_TRUE(h.seekAndWait(sec(1.5)));
    EXPECT_EQ(h.stamp(), 45);

    const std::shared_ptr<PlayerItem> sound = PlayerItem::fromFile(clipB(), PlayerItem::FileTracks::audioOnly);
    EXPECT_FALSE(sound->hasVideo());
    EXPECT_EQ(sound->composition().tracks(MediaType::video).size(), 0u);
    h.player->replaceCurrentItem(sound);
    ASSERT_TRUE(h.seekAndWait(sec(1)));
    EXPECT_EQ(h.stamp(), -2) << "no picture";
    EXPECT_THROW(PlayerItem::fromFile(*folder_ / "missing.mp4"), Error);
}

TEST_F(PlayerTest, AMissingSourceShowsBlackAndIsRecordedOnTheItem)
{
    Harness h;
    Composition composition;
    CompositionTrack* track = composition.addMutableTrack(MediaType::video);
    track->insertTimeRange(span(0, 1), CompositionSourceTrack{SharedPath(*folder_ / "gone.mp4"), 0, MediaType::video}, sec(0));
    track->insertTimeRange(span(0, 1), videoOf(clipA()), sec(1));
    const std::shared_ptr<PlayerItem> item = PlayerItem::make(std::move(composition));
    EXPECT_EQ(item->videoComposition()->renderWidth, 1920) << "no file to take the size from";
    h.player->replaceCurrentItem(item);
    ASSERT_TRUE(h.seekAndWait(sec(0.5)));
    const std::optional<VideoOutput::Frame> frame = h.player->videoOutput()->latestFrame();
    ASSERT_TRUE(frame);
    const std::uint8_t* middle = frame->buffer.baseAddress(0) + frame->buffer.bytesPerRow(0) * 540 + 4 * 960;
    EXPECT_EQ((std::vector<int>{middle[0], middle[1], middle[2], middle[3]}), (std::vector<int>{0, 0, 0, 255}));
    ASSERT_TRUE(item->error());
    EXPECT_EQ(item->error()->domain(), "media");
    EXPECT_EQ(item->error()->code(), MediaError::fileNotFound);
}

// ---- playing ----

TEST_F(PlayerTest, OneSecondOfPlaybackCallsTheObserverEveryInterval)
{
    Harness h;
    h.player->replaceCurrentItem(twoClips());
    ASSERT_TRUE(h.waitFor([&] { return h.stamp() >= 0; }));
    std::vector<MediaTime> calls;
    h.player->addPeriodicTimeObserver(MediaTime(1, 120), [&](const MediaTime& t) { calls.push_back(t); });
    ASSERT_TRUE(h.startPlaying());
    ASSERT_TRUE(h.waitFor([&] { return calls.size() == 1; })) << "playback starting is a jump";
    EXPECT_EQ(calls[0], MediaTime::zero());
    for (int tick = 1; tick <= 120; ++tick) {
        h.clock->advance(1.0 / 120);
        ASSERT_TRUE(h.waitFor([&] { return calls.size() == std::size_t(tick) + 1; })) << tick;
        EXPECT_EQ(calls.back(), MediaTime(tick, 120)) << tick;
    }
    EXPECT_EQ(h.player->currentTime(), MediaTime(1, 1));
    ASSERT_TRUE(h.waitFor([&] { return h.stamp() == 30; })) << "frame 30 is due at 1 s";

    h.player->pause();
    ASSERT_TRUE(h.waitFor([&] { return calls.size() == 122; })) << "pausing is a jump";
    EXPECT_EQ(calls.back(), MediaTime(1, 1));
    h.clock->advance(0.5);
    // A seek landing is a jump, called after anything the paused clock would have brought.
    ASSERT_TRUE(h.seekAndWait(MediaTime(1, 1)));
    ASSERT_TRUE(h.waitFor([&] { return calls.size() >= 123; }));
    EXPECT_EQ(calls.size(), 123u) << "no calls while paused";
    EXPECT_EQ(calls.back(), MediaTime(1, 1));
    EXPECT_EQ(h.player->currentTime(), MediaTime(1, 1));
}

TEST_F(PlayerTest, PlaybackShowsEachClipInTurnAndPausesAtTheEnd)
{
    Harness h;
    h.player->replaceCurrentItem(twoClips());
    std::vector<MediaTime> calls;
    h.player->addPeriodicTimeObserver(MediaTime(1, 4), [&](const MediaTime& t) { calls.push_back(t); });
    ASSERT_TRUE(h.seekAndWait(sec(1.5)));
    ASSERT_TRUE(h.startPlaying());
    h.playFor(0.6);
    ASSERT_TRUE(h.waitFor([&] { return h.stamp() == 30 + 3; })) << "B at 2.1 s, got " << h.stamp();
    h.playFor(2.0);
    ASSERT_TRUE(h.waitFor([&] { return h.player->rate() == 0; }));
    EXPECT_EQ(h.player->currentTime(), sec(4));
    EXPECT_EQ(h.player->timeControlStatus(), Player::TimeControlStatus::paused);
    ASSERT_TRUE(h.waitFor([&] { return !calls.empty() && calls.back() == sec(4); })) << "the stop at the end is a jump";
    EXPECT_EQ(h.stamp(), 89);

    // Playing again at the end stops at once.
    h.player->play();
    ASSERT_TRUE(h.waitFor([&] { return h.player->rate() == 0; }));
    EXPECT_EQ(h.player->currentTime(), sec(4));
}

// ---- sound ----

TEST_F(PlayerTest, TheMixIsHeardWhereItsClipIsAtThePlayersVolume)
{
    Harness h;
    h.player->replaceCurrentItem(toneAt(1, 1, 3));
    ASSERT_TRUE(h.startPlaying());
    h.playFor(2.5);
    EXPECT_LT(peak(h.heard(0.05, 0.9)), 1e-6);
    EXPECT_NEAR(toneLevel(h.heard(1.1, 0.8), 440), kLevel, 0.005);
    EXPECT_NEAR(toneLevel(h.heard(1.1, 0.8, 1), 440), kLevel, 0.005);
    EXPECT_LT(peak(h.heard(2.05, 0.4)), 1e-6);

    h.player->setVolume(0.5);
    h.player->pause();
    ASSERT_TRUE(h.seekAndWait(sec(1)));
    ASSERT_TRUE(h.startPlaying());
    h.playFor(0.5);
    EXPECT_NEAR(toneLevel(h.heard(1.1, 0.3), 440), kLevel / 2, 0.003) << "the new pass at half volume";
}

TEST_F(PlayerTest, ALiveMixSwapToGainZeroIsSilentWithin50ms)
{
    Harness h;
    const std::shared_ptr<PlayerItem> item = toneAt(0, 3, 3);
    h.player->replaceCurrentItem(item);
    ASSERT_TRUE(h.startPlaying());
    h.playFor(1.0, 0.01);
    const double swappedAt = h.player->currentTime().seconds();

    AudioMixInputParameters silent(item->composition().tracks(MediaType::audio)[0]->trackID());
    silent.setVolume(0, MediaTime::zero());
    item->setAudioMix(AudioMix{{silent}});
    h.playFor(0.5, 0.01);

    EXPECT_NEAR(toneLevel(h.heard(swappedAt - 0.5, 0.45), 440), kLevel, 0.005) << "heard before the swap";
    EXPECT_LT(peak(h.heard(swappedAt + 0.05, 0.4)), 1e-6) << "silent 50 ms after it";
    EXPECT_EQ(h.heard(swappedAt + 0.05, 0.4).size(), std::size_t(0.4 * kRate)) << "played through";
}

TEST_F(PlayerTest, AtAnotherRateTimeRunsFasterAndTheSoundIsSilent)
{
    Harness h;
    h.player->replaceCurrentItem(toneAt(0, 3, 3));
    std::vector<MediaTime> calls;
    h.player->addPeriodicTimeObserver(MediaTime(1, 4), [&](const MediaTime& t) { calls.push_back(t); });
    h.player->setRate(2);
    ASSERT_TRUE(h.waitFor([&] { return h.player->timeControlStatus() == Player::TimeControlStatus::playing; }));
    EXPECT_EQ(h.player->rate(), 2.0);
    h.playFor(1.0);
    EXPECT_EQ(h.player->currentTime(), sec(1));
    const std::vector<float> heard = h.heard(0.05, 0.4);
    EXPECT_GT(heard.size(), 0u);
    EXPECT_LT(peak(heard), 1e-6);
    ASSERT_TRUE(h.waitFor([&] { return calls.size() >= 5; })) << "every quarter second of item time";

    h.player->setRate(-1);
    EXPECT_EQ(h.player->rate(), 0.0) << "a negative rate pauses";
    h.player->setRate(std::nan(""));
    EXPECT_EQ(h.player->rate(), 0.0);
    h.player->replaceCurrentItem(nullptr);
    EXPECT_EQ(h.player->currentTime(), MediaTime::zero());
    bool finished = true;
    bool done = false;
    h.player->seek(sec(1), [&](bool f) {
        finished = f;
        done = true;
    });
    ASSERT_TRUE(h.waitFor([&] { return done; }));
    EXPECT_FALSE(finished) << "nothing to seek in";
}

TEST_F(PlayerTest, AnItemWithoutVideoCompositionShowsItsFirstFileUpright)
{
    Composition composition;
    CompositionTrack* track = composition.addMutableTrack(MediaType::video);
    track->insertTimeRange(span(0, 1), videoOf(clipB()), sec(0.5));
    track->insertTimeRange(span(1, 1), videoOf(clipA()), sec(1.5));
    const std::shared_ptr<PlayerItem> item = PlayerItem::make(std::move(composition));
    ASSERT_TRUE(item->hasVideo());
    const VideoComposition& video = *item->videoComposition();
    EXPECT_EQ(video.renderWidth, 320);
    EXPECT_EQ(video.renderHeight, 192);
    EXPECT_EQ(video.frameDuration, MediaTime(1, 30));
    ASSERT_EQ(video.instructions.size(), 1u);
    EXPECT_EQ(video.instructions[0].timeRange, MediaTimeRange(MediaTime::zero(), sec(2.5)));
    EXPECT_EQ(video.instructions[0].layerInstructions[0].transform, AffineTransform::identity());
    EXPECT_EQ(item->audioMix()->inputParameters.size(), 0u);
    item->setPreferredForwardBufferDuration(10);
    EXPECT_EQ(item->preferredForwardBufferDuration(), 4.0);

    Harness h;
    h.player->replaceCurrentItem(item);
    ASSERT_TRUE(h.waitFor([&] { return h.stamp() != -2; }));
    EXPECT_EQ(h.stamp(), 0) << "black before the first edit reads as frame 0";
    ASSERT_TRUE(h.seekAndWait(sec(1)));
    EXPECT_EQ(h.stamp(), 15);
    ASSERT_TRUE(h.seekAndWait(sec(2)));
    const PixelBuffer canvas = h.player->videoOutput()->latestFrame()->buffer;
    const auto green = [&](int x, int y) { return canvas.baseAddress(0)[canvas.bytesPerRow(0) * y + 4 * x + 1] / 255.0; };
    EXPECT_EQ(test::readFrameStamp(green, 160, 96), 45) << "A at its own size, in the corner of B's canvas";
    EXPECT_EQ(green(240, 150), 0.0) << "black around it";

    EXPECT_THROW(PlayerItem::make(Composition(), std::nullopt, VideoComposition{}), Error);
}

// Runs where an output device answers; machines without one, as CI, skip it.
TEST_F(PlayerTest, OnADeviceTheClockFollowsThePlayedSoundToTheEnd)
{
    int argc = 1;
    char name[] = "media_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    const std::shared_ptr<AudioSink> device = makeDefaultAudioSink();
    if (!std::dynamic_pointer_cast<QtAudioSink>(device)) {
        GTEST_SKIP() << "no audio output device";
    }
    const auto queue = std::make_shared<ManualMainQueue>();
    Player player(queue, device);
    player.replaceCurrentItem(toneAt(0, 1, 1));
    player.play();
    ASSERT_TRUE(queue->runUntil([&] { return player.currentTime() >= sec(0.5); }, kWait));
    ASSERT_TRUE(queue->runUntil([&] { return player.rate() == 0; }, kWait));
    EXPECT_EQ(player.currentTime(), sec(1));
}

} // namespace
} // namespace velmora
