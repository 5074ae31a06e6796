#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/media/NullAudioSink.h"
#include "platform/media/QtAudioSink.h"
#include "platform/media/RecordingAudioSink.h"

namespace velmora {
namespace {

constexpr int kRate = AudioSink::sampleRate;

std::vector<float> frames(std::int64_t count, float value)
{
    return std::vector<float>(static_cast<std::size_t>(count) * AudioSink::channelCount, value);
}

TEST(NullAudioSink, ConsumesItsQueueAsTheClockRunsAndOnlyThen)
{
    const auto clock = std::make_shared<ManualClock>(100.0);
    NullAudioSink sink(clock, 960);
    EXPECT_EQ(sink.writableFrames(), 960);
    EXPECT_EQ(sink.write(frames(1000, 0.5f), MediaTime::zero()), 960) << "bounded";
    clock->advance(1.0);
    EXPECT_EQ(sink.playedFrames(), 0) << "not started";
    EXPECT_EQ(sink.writableFrames(), 0);

    sink.start();
    clock->advance(0.005);
    EXPECT_EQ(sink.playedFrames(), 240);
    EXPECT_EQ(sink.writableFrames(), 240);
    sink.pause();
    clock->advance(1.0);
    EXPECT_EQ(sink.playedFrames(), 240);

    // Through an underrun the clock runs on; what it missed is not played later.
    sink.start();
    clock->advance(0.1);
    EXPECT_EQ(sink.playedFrames(), 240 + 4800);
    EXPECT_EQ(sink.writableFrames(), 960);
    sink.flush();
    clock->advance(1.0);
    EXPECT_EQ(sink.playedFrames(), 240 + 4800) << "a flush leaves the sink paused";
}

TEST(RecordingAudioSink, KeepsWhatWasPlayedWithItsItemTimes)
{
    const auto clock = std::make_shared<ManualClock>();
    RecordingAudioSink sink(clock, 960);
    sink.write(frames(480, 0.25f), MediaTime(48000, kRate));
    sink.write(frames(480, 0.5f), MediaTime(48480, kRate));
    sink.start();
    clock->advance(0.015); // 720 frames
    sink.flush();          // the 240 not played are dropped
    sink.write(frames(100, 1.0f), MediaTime(0, kRate));
    sink.start();
    clock->advance(1.0);

    const std::vector<RecordingAudioSink::Run> runs = sink.recording();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].start, MediaTime(1, 1));
    ASSERT_EQ(runs[0].frameCount(), 720) << "contiguous blocks make one run";
    EXPECT_EQ(runs[0].samples[2 * 479], 0.25f);
    EXPECT_EQ(runs[0].samples[2 * 480], 0.5f);
    EXPECT_EQ(runs[1].start, MediaTime::zero());
    EXPECT_EQ(runs[1].frameCount(), 100);
}

// Runs where no output device answers (no sound server, as CI): the backend's complaints give way to
// one line of the editor's own, said once however many players ask.
TEST(QtAudioSink, WithoutADeviceSaysOnceThatSoundIsOff)
{
    int argc = 1;
    char name[] = "media_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    ::testing::internal::CaptureStderr();
    const std::shared_ptr<QtAudioSink> first = QtAudioSink::makeDefault();
    const std::shared_ptr<QtAudioSink> second = QtAudioSink::makeDefault();
    const std::string said = ::testing::internal::GetCapturedStderr();
    if (first) {
        GTEST_SKIP() << "an audio output device answers";
    }
    EXPECT_FALSE(second);
    EXPECT_EQ(said, "Sound is off: no audio output device.\n");
}

// Runs where an output device answers (a desktop, or a sound server with a null sink); machines
// without one, as CI, skip it.
TEST(QtAudioSink, PlaysIntoTheDefaultDeviceOnItsClock)
{
    int argc = 1;
    char name[] = "media_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    const std::shared_ptr<QtAudioSink> sink = QtAudioSink::makeDefault(4800);
    if (!sink) {
        GTEST_SKIP() << "no audio output device";
    }
    const auto waitFor = [](const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return done();
    };
    EXPECT_EQ(sink->write(frames(6000, 0.0f), MediaTime::zero()), 4800);
    sink->start();
    std::int64_t written = 4800;
    // Fed as a player feeds it, the device plays half a second.
    ASSERT_TRUE(waitFor([&] {
        const std::vector<float> block = frames(sink->writableFrames(), 0.0f);
        written += sink->write(block, MediaTime::zero());
        return sink->playedFrames() >= kRate / 2;
    }));
    EXPECT_LE(sink->playedFrames(), written) << "never ahead of what it was given";

    sink->pause();
    const std::int64_t paused = sink->playedFrames();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(sink->playedFrames(), paused);

    sink->flush();
    EXPECT_EQ(sink->writableFrames(), 4800);
    EXPECT_GE(sink->playedFrames(), paused);
    sink->write(frames(4800, 0.0f), MediaTime::zero());
    sink->start();
    ASSERT_TRUE(waitFor([&] { return sink->playedFrames() > paused + kRate / 20; })) << "plays again after a flush";
}

} // namespace
} // namespace velmora
