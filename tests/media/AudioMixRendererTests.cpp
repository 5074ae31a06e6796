#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "platform/media/AudioMixRenderer.h"
#include "platform/media/MediaError.h"
#include "support/AudioFixtures.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

using test::Tone;

constexpr int kRate = AudioMixRenderer::sampleRate;
constexpr double kLevel = 0.125; // the test tones' amplitude

MediaTime sec(double seconds)
{
    return MediaTime::fromSeconds(seconds, 600);
}

MediaTimeRange span(double start, double duration)
{
    return MediaTimeRange(sec(start), sec(duration));
}

std::int64_t frames(double seconds)
{
    return static_cast<std::int64_t>(std::llround(seconds * kRate));
}

std::vector<float> renderAll(AudioMixRenderer& renderer, int chunkFrames = 4096)
{
    std::vector<float> samples;
    while (auto chunk = renderer.nextChunk(chunkFrames)) {
        EXPECT_EQ(chunk->firstFrame, static_cast<std::int64_t>(samples.size()) / 2);
        samples.insert(samples.end(), chunk->samples.begin(), chunk->samples.end());
    }
    return samples;
}

// Amplitude of `frequency` over [from, to) seconds of one channel.
double level(const std::vector<float>& samples, double frequency, double from, double to, int channel = 0)
{
    return test::toneAmplitude(samples, 2, channel, frames(from), frames(to) - frames(from), frequency, kRate);
}

// The time, in seconds, at which `to` takes over from `from`, searched from `start` on, to
// within about a millisecond.
double changeover(const std::vector<float>& samples, double from, double to, double start, double end)
{
    const std::int64_t window = 240;
    for (std::int64_t first = frames(start); first + window <= frames(end); first += 48) {
        if (test::toneAmplitude(samples, 2, 0, first, window, to, kRate)
            > test::toneAmplitude(samples, 2, 0, first, window, from, kRate)) {
            return double(first + window / 2) / kRate;
        }
    }
    return -1;
}

class AudioMixRendererTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = std::make_unique<test::TempDir>();
        // 440 Hz, 3 s, mono at 44.1 kHz: exercises resampling and mono to stereo.
        test::makeToneFile(a440(), {{440, 3}}, 44100, 1);
        // 440, 880 and 660 Hz, one second each, AAC stereo: in points and seeking.
        test::makeToneFile(sequence(), {{440, 1}, {880, 1}, {660, 1}}, 48000, 2);
        test::makeToneFile(b880(), {{880, 2}}, 48000, 2);
    }
    static void TearDownTestSuite() { folder_.reset(); }

    static std::filesystem::path a440() { return *folder_ / "a440.wav"; }
    static std::filesystem::path sequence() { return *folder_ / "sequence.m4a"; }
    static std::filesystem::path b880() { return *folder_ / "b880.wav"; }

    static CompositionSourceTrack source(const std::filesystem::path& path, int trackID = 0)
    {
        return CompositionSourceTrack{SharedPath(path), trackID, MediaType::audio};
    }

    static std::unique_ptr<test::TempDir> folder_;
};

std::unique_ptr<test::TempDir> AudioMixRendererTest::folder_;

// Placement and in points

TEST_F(AudioMixRendererTest, PlaysAnEditAtItsTrackTimeAndIsSilentBefore)
{
    Composition composition;
    composition.addMutableTrack(MediaType::audio)->insertTimeRange(span(0, 1), source(a440()), sec(1));
    AudioMixRenderer renderer(composition, AudioMix{});
    EXPECT_EQ(renderer.totalFrames(), frames(2));
    const std::vector<float> samples = renderAll(renderer);
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(frames(2)) * 2);
    EXPECT_EQ(renderer.status(), AudioMixRenderer::Status::completed);

    EXPECT_EQ(test::peakLevel(samples, 2, 0, 0, frames(1)), 0.0);
    EXPECT_NEAR(test::firstFrameAbove(samples, 2, 0, 0.005), frames(1), 48);
    EXPECT_NEAR(level(samples, 440, 1.1, 1.9, 0), kLevel, 0.005);
    EXPECT_NEAR(level(samples, 440, 1.1, 1.9, 1), kLevel, 0.005) << "mono plays at full level on both sides";
}

TEST_F(AudioMixRendererTest, ReadsTheSourceFromTheEditsInPoint)
{
    Composition composition;
    CompositionTrack* track = composition.addMutableTrack(MediaType::audio);
    track->insertTimeRange(span(0.5, 1), source(sequence()), sec(0));
    track->insertTimeRange(span(1.5, 1), source(sequence()), sec(1));
    AudioMixRenderer renderer(composition, AudioMix{});
    const std::vector<float> samples = renderAll(renderer);

    EXPECT_NEAR(level(samples, 440, 0.05, 0.45), kLevel, 0.01);
    EXPECT_LT(level(samples, 880, 0.05, 0.45), 0.01);
    EXPECT_NEAR(level(samples, 880, 0.55, 0.95), kLevel, 0.01);
    EXPECT_LT(level(samples, 440, 0.55, 0.95), 0.01);
    EXPECT_NEAR(changeover(samples, 440, 880, 0.4, 0.6), 0.5, 0.003);
    // The second edit starts 1.5 s into the file: 880 Hz, then 660 Hz.
    EXPECT_NEAR(level(samples, 880, 1.05, 1.45), kLevel, 0.01);
    EXPECT_NEAR(level(samples, 660, 1.55, 1.95), kLevel, 0.01);
    EXPECT_LT(level(samples, 440, 1.05, 1.95), 0.01);
}

TEST_F(AudioMixRendererTest, SumsAllTracks)
{
    Composition composition;
    composition.addMutableTrack(MediaType::audio)->insertTimeRange(span(0, 1), source(a440()), sec(0));
    composition.addMutableTrack(MediaType::audio)->insertTimeRange(span(0, 1), source(b880()), sec(0.5));
    AudioMixRenderer renderer(composition, AudioMix{});
    const std::vector<float> samples = renderAll(renderer);
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(frames(1.5)) * 2);

    EXPECT_NEAR(level(samples, 440, 0.1, 0.4), kLevel, 0.005);
    EXPECT_LT(level(samples, 880, 0.1, 0.4), 0.002);
    EXPECT_NEAR(level(samples, 440, 0.6, 0.9), kLevel, 0.005);
    EXPECT_NEAR(level(samples, 880, 0.6, 0.9), kLevel, 0.005);
    EXPECT_LT(level(samples, 440, 1.1, 1.4), 0.002);
    EXPECT_NEAR(level(samples, 880, 1.1, 1.4), kLevel, 0.005);

    // The mix is the plain sum of the tracks rendered alone.
    Composition first;
    first.addMutableTrack(MediaType::audio)->insertTimeRange(span(0, 1), source(a440()), sec(0));
    first.addMutableTrack(MediaType::audio)->insertEmptyTimeRange(span(0, 1.5));
    Composition second;
    second.addMutableTrack(MediaType::audio)->insertTimeRange(span(0, 1), source(b880()), sec(0.5));
    AudioMixRenderer firstRenderer(first, AudioMix{});
    AudioMixRenderer secondRenderer(second, AudioMix{});
    const std::vector<float> a = renderAll(firstRenderer);
    const std::vector<float> b = renderAll(secondRenderer);
    ASSERT_EQ(a.size(), samples.size());
    ASSERT_EQ(b.size(), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        ASSERT_FLOAT_EQ(samples[i], a[i] + b[i]) << "sample " << i;
    }
}

TEST_F(AudioMixRendererTest, PadsASourceThatEndsBeforeItsEdit)
{
    Composition composition;
    composition.addMutableTrack(MediaType::audio)->insertTimeRange(span(2.5, 1), source(a440()), sec(0));
    AudioMixRenderer renderer(composition, AudioMix{});
    const std::vector<float> samples = renderAll(renderer);
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(frames(1)) * 2);
    EXPECT_NEAR(level(samples, 440, 0.1, 0.4), kLevel, 0.005);
    EXPECT_LT(test::peakLevel(samples, 2, 0, frames(0.55), frames(0.45)), 0.001);
}

TEST_F(AudioMixRendererTest, EmptyEditsAreSilence)
{
    Composition composition;
    composition.addMutableTrack(MediaType::audio)->insertEmptyTimeRange(span(0, 0.5));
    AudioMixRenderer renderer(composition, AudioMix{});
    const std::vector<float> samples = renderAll(renderer);
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(frames(0.5)) * 2);
    EXPECT_EQ(test::peakLevel(samples, 2, 0, 0, frames(0.5)), 0.0);
}

// Speed

TEST_F(AudioMixRendererTest, ASqueezedEditPlaysFasterAtTheSamePitch)
{
    Composition composition;
    CompositionTrack* track = composition.addMutableTrack(MediaType::audio);
    track->insertTimeRange(span(0, 2), source(sequence()), sec(0));
    track->scaleTimeRange(span(0, 2), sec(1));
    AudioMixRenderer renderer(composition, AudioMix{});
    const std::vector<float> samples = renderAll(renderer);
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(frames(1)) * 2);

    EXPECT_NEAR(level(samples, 440, 0.05, 0.45), kLevel, 0.02);
    EXPECT_LT(level(samples, 880, 0.05, 0.45), 0.015) << "pitch kept: no octave up";
    EXPECT_NEAR(level(samples, 880, 0.55, 0.95), kLevel, 0.02);
    EXPECT_LT(level(samples, 1760, 0.55, 0.95), 0.015);
}

TEST_F(AudioMixRendererTest, AStretchBeyondOneStageKeepsPitchAndLength)
{
    Composition composition;
    CompositionTrack* track = composition.addMutableTrack(MediaType::audio);
    track->insertTimeRange(span(0.5, 1), source(sequence()), sec(0));
    track->scaleTimeRange(span(0, 1), sec(4)); // a quarter speed: two stages of one half
    AudioMixRenderer renderer(composition, AudioMix{});
    const std::vector<float> samples = renderAll(renderer);
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(frames(4)) * 2);

    EXPECT_NEAR(level(samples, 440, 0.2, 1.8), kLevel, 0.025);
    EXPECT_LT(level(samples, 220, 0.2, 1.8), 0.015) << "pitch kept: no octave down";
    EXPECT_NEAR(level(samples, 880, 2.2, 3.8), kLevel, 0.025);
    EXPECT_LT(level(samples, 440, 2.2, 3.8), 0.015);
}

TEST_F(AudioMixRendererTest, ChangedSpeedsStayInStepWithTheTimeline)
{
    // The 440 to 880 Hz change, 1 s into the file, must land at 1 s / speed.
    for (const double speed : {2.0, 0.5, 0.25}) {
        const double sourceSeconds = speed < 1 ? 1.0 : 2.0;
        Composition composition;
        CompositionTrack* track = composition.addMutableTrack(MediaType::audio);
        track->insertTimeRange(span(1 - sourceSeconds / 2, sourceSeconds), source(sequence()), sec(0));
        track->scaleTimeRange(span(0, sourceSeconds), sec(sourceSeconds / speed));
        AudioMixRenderer renderer(composition, AudioMix{});
        const std::vector<float> samples = renderAll(renderer);
        const double expected = sourceSeconds / 2 / speed;
        EXPECT_NEAR(changeover(samples, 440, 880, expected - 0.1, expected + 0.1), expected, 0.006)
            << "speed " << speed;
    }
}

TEST_F(AudioMixRendererTest, ASpeedOfEightChainsThreeStages)
{
    Composition composition;
    CompositionTrack* track = composition.addMutableTrack(MediaType::audio);
    track->insertTimeRange(span(0, 3), source(sequence()), sec(0));
    track->scaleTimeRange(span(0, 3), MediaTime(3, 8));
    AudioMixRenderer renderer(composition, AudioMix{});
    const std::vector<float> samples = renderAll(renderer);
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(frames(0.375)) * 2);

    EXPECT_GT(level(samples, 440, 0.03, 0.095), 3 * level(samples, 880, 0.03, 0.095));
    EXPECT_GT(level(samples, 880, 0.155, 0.22), 3 * level(samples, 440, 0.155, 0.22));
    EXPECT_GT(level(samples, 660, 0.28, 0.345), 3 * level(samples, 880, 0.28, 0.345));
}

// Levels

TEST_F(AudioMixRendererTest, AppliesTheTracksVolumeEnvelopePerSample)
{
    Composition composition;
    CompositionTrack* track = composition.addMutableTrack(MediaType::audio);
    track->insertTimeRange(span(0, 2), source(a440()), sec(0));
    AudioMix mix;
    AudioMixInputParameters parameters(track->trackID());
    parameters.setVolumeRamp(0.0f, 1.0f, span(0, 1));
    parameters.setVolume(0.5f, sec(1.5));
    mix.inputParameters.push_back(parameters);
    AudioMixRenderer renderer(composition, mix);
    const std::vector<float> samples = renderAll(renderer);

    EXPECT_NEAR(level(samples, 440, 0.2, 0.3), kLevel * 0.25, 0.003);
    EXPECT_NEAR(level(samples, 440, 0.7, 0.8), kLevel * 0.75, 0.003);
    EXPECT_NEAR(level(samples, 440, 1.1, 1.4), kLevel, 0.003);
    EXPECT_NEAR(level(samples, 440, 1.6, 1.9), kLevel * 0.5, 0.003);
    EXPECT_LT(test::peakLevel(samples, 2, 0, 0, 48), 0.0001) << "the fade starts from silence";
}

TEST_F(AudioMixRendererTest, EnvelopesBelongToTheirOwnTrack)
{
    Composition composition;
    CompositionTrack* quiet = composition.addMutableTrack(MediaType::audio);
    quiet->insertTimeRange(span(0, 1), source(a440()), sec(0));
    composition.addMutableTrack(MediaType::audio)->insertTimeRange(span(0, 1), source(b880()), sec(0));
    AudioMix mix;
    mix.inputParameters.emplace_back(quiet->trackID());
    mix.inputParameters.back().setVolume(0.0f, sec(0));
    AudioMixRenderer renderer(composition, mix);
    const std::vector<float> samples = renderAll(renderer);
    EXPECT_LT(level(samples, 440, 0.1, 0.9), 0.001);
    EXPECT_NEAR(level(samples, 880, 0.1, 0.9), kLevel, 0.005);
}

TEST_F(AudioMixRendererTest, ANewMixAppliesFromTheNextChunkOfARangeStartedLater)
{
    Composition composition;
    CompositionTrack* track = composition.addMutableTrack(MediaType::audio);
    track->insertTimeRange(span(0, 3), source(a440()), sec(0));
    AudioMix fading;
    fading.inputParameters.emplace_back(track->trackID());
    fading.inputParameters.back().setVolumeRamp(1.0f, 0.0f, span(0, 2));
    AudioMixRenderer renderer(composition, fading, span(1, 2));

    std::vector<float> samples;
    while (samples.size() < static_cast<std::size_t>(frames(0.5)) * 2) {
        const auto chunk = renderer.nextChunk(4800);
        ASSERT_TRUE(chunk);
        samples.insert(samples.end(), chunk->samples.begin(), chunk->samples.end());
    }
    AudioMix halved;
    halved.inputParameters.emplace_back(track->trackID());
    halved.inputParameters.back().setVolume(0.5f, sec(0));
    halved.inputParameters.back().setVolumeRamp(0.5f, 1.0f, span(1.75, 1));
    renderer.setAudioMix(halved);
    while (const auto chunk = renderer.nextChunk(4800)) {
        samples.insert(samples.end(), chunk->samples.begin(), chunk->samples.end());
    }
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(frames(2)) * 2);

    // The samples start at composition time 1 s, where the first mix's fade stood at 0.5.
    EXPECT_NEAR(level(samples, 440, 0.0, 0.1), kLevel * 0.475, 0.003);
    EXPECT_NEAR(level(samples, 440, 0.55, 0.7), kLevel * 0.5, 0.003) << "the new mix's constant part";
    EXPECT_NEAR(level(samples, 440, 1.2, 1.3), kLevel * 0.75, 0.003) << "its ramp, on the composition's time line";
}

// Pulling

TEST_F(AudioMixRendererTest, ChunkSizeDoesNotChangeTheSamples)
{
    Composition composition;
    CompositionTrack* track = composition.addMutableTrack(MediaType::audio);
    track->insertTimeRange(span(0.25, 1.5), source(sequence()), sec(0.1));
    track->scaleTimeRange(span(0.1, 1.5), sec(1));
    track->insertTimeRange(span(0, 0.5), source(a440()), sec(1.1));
    AudioMix mix;
    mix.inputParameters.emplace_back(track->trackID());
    mix.inputParameters.back().setVolumeRamp(1.0f, 0.0f, span(0.8, 0.8));

    AudioMixRenderer large(composition, mix);
    AudioMixRenderer small(composition, mix);
    const std::vector<float> a = renderAll(large, 4096);
    const std::vector<float> b = renderAll(small, 777);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_TRUE(a == b);
}

TEST_F(AudioMixRendererTest, ChunksCarryTheirPositionAndTime)
{
    Composition composition;
    composition.addMutableTrack(MediaType::audio)->insertTimeRange(span(0, 1), source(a440()), sec(0));
    AudioMixRenderer renderer(composition, AudioMix{}, span(0.5, 0.25));
    EXPECT_EQ(renderer.totalFrames(), frames(0.25));
    auto first = renderer.nextChunk(10000);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->firstFrame, 0);
    EXPECT_EQ(first->frameCount(), 10000);
    EXPECT_EQ(first->presentationTime, MediaTime(24000, kRate));
    auto second = renderer.nextChunk(10000);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->firstFrame, 10000);
    EXPECT_EQ(second->frameCount(), 2000);
    EXPECT_EQ(second->presentationTime, MediaTime(34000, kRate));
    EXPECT_FALSE(renderer.nextChunk(10000));
    EXPECT_EQ(renderer.status(), AudioMixRenderer::Status::completed);
    EXPECT_EQ(renderer.framesRendered(), frames(0.25));
}

TEST_F(AudioMixRendererTest, SampleBuffersCopyTheChunksForAWriter)
{
    Composition composition;
    composition.addMutableTrack(MediaType::audio)->insertTimeRange(span(0, 1), source(a440()), sec(0.5));
    AudioMixRenderer reference(composition, AudioMix{});
    const std::vector<float> expected = renderAll(reference, 3000);

    AudioMixRenderer renderer(composition, AudioMix{});
    std::vector<float> samples;
    MediaTime next = MediaTime::zero();
    while (auto buffer = renderer.copyNextSampleBuffer(3000)) {
        EXPECT_EQ(buffer->presentationTime, next);
        EXPECT_EQ(buffer->audioChannels, 2);
        EXPECT_EQ(buffer->audioSampleRate, kRate);
        EXPECT_EQ(buffer->audioSamples.size(), static_cast<std::size_t>(buffer->audioFrameCount) * 2);
        EXPECT_EQ(buffer->duration, MediaTime(buffer->audioFrameCount, kRate));
        EXPECT_FALSE(buffer->hasImageBuffer());
        next = buffer->presentationTime + buffer->duration;
        samples.insert(samples.end(), buffer->audioSamples.begin(), buffer->audioSamples.end());
    }
    EXPECT_EQ(next, MediaTime(3, 2));
    EXPECT_TRUE(samples == expected);
}

TEST_F(AudioMixRendererTest, ARangeInsideAnEditStartsAtTheRightSourceTime)
{
    Composition composition;
    composition.addMutableTrack(MediaType::audio)->insertTimeRange(span(0, 3), source(sequence()), sec(0));
    AudioMixRenderer renderer(composition, AudioMix{}, span(1.25, 0.5));
    const std::vector<float> samples = renderAll(renderer);
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(frames(0.5)) * 2);
    EXPECT_NEAR(level(samples, 880, 0.05, 0.45), kLevel, 0.01);
}

TEST_F(AudioMixRendererTest, AnEmptyCompositionCompletesAtOnce)
{
    AudioMixRenderer renderer(Composition{}, AudioMix{});
    EXPECT_EQ(renderer.totalFrames(), 0);
    EXPECT_FALSE(renderer.nextChunk());
    EXPECT_EQ(renderer.status(), AudioMixRenderer::Status::completed);
}

// Failure and cancellation

TEST_F(AudioMixRendererTest, AMissingSourceFailsWithTheMediaError)
{
    Composition composition;
    composition.addMutableTrack(MediaType::audio)->insertTimeRange(span(0, 1), source(*folder_ / "gone.wav"), sec(0));
    AudioMixRenderer renderer(composition, AudioMix{});
    EXPECT_FALSE(renderer.nextChunk());
    EXPECT_EQ(renderer.status(), AudioMixRenderer::Status::failed);
    ASSERT_TRUE(renderer.error());
    EXPECT_EQ(renderer.error()->domain(), "media");
    EXPECT_EQ(renderer.error()->code(), MediaError::fileNotFound);
    EXPECT_FALSE(renderer.nextChunk()) << "a failed renderer stays failed";
}

TEST_F(AudioMixRendererTest, ATrackThatIsNotAudioFails)
{
    Composition composition;
    composition.addMutableTrack(MediaType::audio)->insertTimeRange(span(0, 1), source(a440(), 4), sec(0));
    AudioMixRenderer renderer(composition, AudioMix{});
    EXPECT_FALSE(renderer.nextChunk());
    ASSERT_TRUE(renderer.error());
    EXPECT_EQ(renderer.error()->code(), MediaError::noSuchTrack);
}

TEST_F(AudioMixRendererTest, CancellingStopsReading)
{
    Composition composition;
    composition.addMutableTrack(MediaType::audio)->insertTimeRange(span(0, 2), source(a440()), sec(0));
    AudioMixRenderer renderer(composition, AudioMix{});
    ASSERT_TRUE(renderer.nextChunk(1024));
    renderer.cancelReading();
    EXPECT_FALSE(renderer.nextChunk(1024));
    EXPECT_EQ(renderer.status(), AudioMixRenderer::Status::cancelled);
    EXPECT_FALSE(renderer.error());
    EXPECT_EQ(renderer.framesRendered(), 1024);
}

} // namespace
} // namespace velmora
