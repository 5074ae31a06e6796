#include <gtest/gtest.h>

#include <cmath>

#include "platform/media/AudioMix.h"

namespace velmora {
namespace {

MediaTime sec(double seconds)
{
    return MediaTime::fromSeconds(seconds, 600);
}

MediaTimeRange span(double start, double duration)
{
    return MediaTimeRange(sec(start), sec(duration));
}

// The gain the pieces give for frame n.
double pieceGain(const std::vector<AudioVolumePiece>& pieces, std::int64_t frame)
{
    for (const AudioVolumePiece& piece : pieces) {
        if (frame >= piece.firstFrame && frame < piece.endFrame) {
            // Constant pieces may start at INT64_MIN, where the offset would overflow.
            return piece.slope == 0.0 ? piece.startGain
                                      : piece.startGain + piece.slope * double(frame - piece.firstFrame);
        }
    }
    ADD_FAILURE() << "no piece holds frame " << frame;
    return NAN;
}

TEST(AudioMixVolume, IsOneWithoutRampsOrPoints)
{
    AudioMixInputParameters parameters(3);
    EXPECT_EQ(parameters.trackID(), 3);
    EXPECT_FLOAT_EQ(parameters.volume(sec(0)), 1.0f);
    EXPECT_FLOAT_EQ(parameters.volume(sec(1e6)), 1.0f);
}

TEST(AudioMixVolume, IsOneBeforeTheFirstRamp)
{
    AudioMixInputParameters parameters;
    parameters.setVolumeRamp(0.0f, 0.5f, span(2, 2));
    EXPECT_FLOAT_EQ(parameters.volume(sec(1.99)), 1.0f);
}

TEST(AudioMixVolume, ARampCoveringTheTimeInterpolatesLinearly)
{
    AudioMixInputParameters parameters;
    parameters.setVolumeRamp(0.0f, 1.0f, span(2, 4));
    EXPECT_FLOAT_EQ(parameters.volume(sec(2)), 0.0f);
    EXPECT_FLOAT_EQ(parameters.volume(sec(3)), 0.25f);
    EXPECT_FLOAT_EQ(parameters.volume(sec(5)), 0.75f);
}

TEST(AudioMixVolume, AfterARampItsEndVolumeHolds)
{
    AudioMixInputParameters parameters;
    parameters.setVolumeRamp(1.0f, 0.2f, span(0, 1));
    EXPECT_FLOAT_EQ(parameters.volume(sec(1)), 0.2f);
    EXPECT_FLOAT_EQ(parameters.volume(sec(100)), 0.2f);
}

TEST(AudioMixVolume, ASetPointHoldsFromItsTime)
{
    AudioMixInputParameters parameters;
    parameters.setVolume(0.3f, sec(4));
    EXPECT_FLOAT_EQ(parameters.volume(sec(3.99)), 1.0f);
    EXPECT_FLOAT_EQ(parameters.volume(sec(4)), 0.3f);
    EXPECT_FLOAT_EQ(parameters.volume(sec(9)), 0.3f);
}

TEST(AudioMixVolume, BetweenEntriesTheLatestEndedOneHolds)
{
    AudioMixInputParameters parameters;
    parameters.setVolume(0.5f, sec(10));          // set first, later in time
    parameters.setVolumeRamp(1.0f, 0.0f, span(2, 1)); // fade out 2..3
    parameters.setVolume(0.8f, sec(5));
    EXPECT_FLOAT_EQ(parameters.volume(sec(4)), 0.0f);
    EXPECT_FLOAT_EQ(parameters.volume(sec(7)), 0.8f);
    EXPECT_FLOAT_EQ(parameters.volume(sec(12)), 0.5f);
}

TEST(AudioMixVolume, APointAtARampsEndWins)
{
    AudioMixInputParameters parameters;
    parameters.setVolumeRamp(1.0f, 0.0f, span(3, 2));
    parameters.setVolume(1.0f, sec(5));
    EXPECT_FLOAT_EQ(parameters.volume(sec(4.5)), 0.25f);
    EXPECT_FLOAT_EQ(parameters.volume(sec(5)), 1.0f);
}

TEST(AudioMixVolume, OverlappingRampsTheLaterStartingOneDecides)
{
    AudioMixInputParameters parameters;
    parameters.setVolumeRamp(0.0f, 1.0f, span(0, 4));
    parameters.setVolumeRamp(1.0f, 0.0f, span(2, 4));
    EXPECT_FLOAT_EQ(parameters.volume(sec(1)), 0.25f);
    EXPECT_FLOAT_EQ(parameters.volume(sec(3)), 0.75f);
    EXPECT_FLOAT_EQ(parameters.volume(sec(6)), 0.0f);
}

TEST(AudioMixVolume, SettingTheSameRangeAgainReplaces)
{
    AudioMixInputParameters parameters;
    parameters.setVolume(0.2f, sec(1));
    parameters.setVolume(0.7f, sec(1));
    parameters.setVolumeRamp(0.0f, 1.0f, span(2, 1));
    parameters.setVolumeRamp(1.0f, 0.5f, span(2, 1));
    EXPECT_EQ(parameters.volumeRamps().size(), 2u);
    EXPECT_FLOAT_EQ(parameters.volume(sec(1.5)), 0.7f);
    EXPECT_FLOAT_EQ(parameters.volume(sec(2.5)), 0.75f);
}

TEST(AudioMixVolume, IgnoresInvalidTimesAndNegativeRanges)
{
    AudioMixInputParameters parameters;
    parameters.setVolume(0.0f, MediaTime::invalid());
    parameters.setVolumeRamp(0.0f, 0.0f, MediaTimeRange(sec(1), sec(-1)));
    parameters.setVolumeRamp(0.0f, 0.0f, MediaTimeRange(sec(1), MediaTime::positiveInfinity()));
    EXPECT_TRUE(parameters.volumeRamps().empty());
}

TEST(AudioMixVolumePieces, WithoutRampsOnePieceAtUnity)
{
    const auto pieces = AudioMixInputParameters().volumePieces(48000, MediaTime::zero());
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].firstFrame, std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(pieces[0].endFrame, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(pieces[0].startGain, 1.0);
    EXPECT_EQ(pieces[0].slope, 0.0);
}

TEST(AudioMixVolumePieces, AFadeInBecomesFramesOfTheRamp)
{
    AudioMixInputParameters parameters;
    parameters.setVolumeRamp(0.0f, 1.0f, span(1, 0.5));
    const auto pieces = parameters.volumePieces(48000, MediaTime::zero());
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].endFrame, 48000);
    EXPECT_EQ(pieces[1].firstFrame, 48000);
    EXPECT_EQ(pieces[1].endFrame, 72000);
    EXPECT_DOUBLE_EQ(pieces[1].startGain, 0.0);
    EXPECT_DOUBLE_EQ(pieces[1].slope, 1.0 / 24000);
    EXPECT_EQ(pieces[2].firstFrame, 72000);
    EXPECT_DOUBLE_EQ(pieces[2].startGain, 1.0);
}

TEST(AudioMixVolumePieces, AgreeWithTheVolumeAtEveryFrame)
{
    AudioMixInputParameters parameters;
    parameters.setVolume(1.0f, MediaTime(1001, 30000));
    parameters.setVolumeRamp(0.0f, 1.0f, MediaTimeRange(MediaTime(1001, 30000), MediaTime(7, 600)));
    parameters.setVolumeRamp(1.0f, 0.25f, MediaTimeRange(MediaTime(1, 20), MediaTime(1, 25)));
    parameters.setVolume(0.6f, MediaTime(1, 7));
    parameters.setVolumeRamp(0.6f, 0.0f, MediaTimeRange(MediaTime(1, 6), MediaTime(1, 30)));
    const MediaTime origin(1, 100);
    const int rate = 8000;
    const auto pieces = parameters.volumePieces(rate, origin);
    for (std::int64_t n = -200; n < 3000; ++n) {
        const float expected = parameters.volume(origin + MediaTime(n, rate));
        ASSERT_NEAR(pieceGain(pieces, n), expected, 1e-6) << "frame " << n;
    }
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        EXPECT_EQ(pieces[i].firstFrame, pieces[i - 1].endFrame);
    }
}

TEST(AudioMix, FindsParametersByTrack)
{
    AudioMix mix;
    mix.inputParameters.emplace_back(2);
    mix.inputParameters.emplace_back(5);
    ASSERT_NE(mix.parametersForTrack(5), nullptr);
    EXPECT_EQ(mix.parametersForTrack(5)->trackID(), 5);
    EXPECT_EQ(mix.parametersForTrack(3), nullptr);
}

} // namespace
} // namespace velmora
