#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "export/ClipFrameReaders.h"
#include "export/SourceFrameDecoding.h"
#include "media/MediaTestHelpers.h"
#include "platform/media/FrameStart.h"
#include "support/TestSupport.h"

namespace velmora::Exporter {
namespace {

using test::stampOf;
using test::TempDir;

struct Rate {
    int num;
    int den;
};

std::shared_ptr<const Asset> stampClip(const TempDir& dir, Rate rate, int frames)
{
    test::ClipSettings clip;
    clip.fpsNum = rate.num;
    clip.fpsDen = rate.den;
    clip.frameCount = frames;
    clip.videoArgs = "-preset ultrafast -g 15 -bf 2 -x264-params bframes=2:b-adapt=0";
    const auto path = dir / ("s" + std::to_string(rate.num) + ".mp4");
    test::makeClip(path, clip);
    return Asset::open(path);
}

int decodedStamp(const std::shared_ptr<const Asset>& asset, double seconds)
{
    const AssetTrack& track = *asset->firstTrack(MediaType::video);
    const std::optional<Image> image =
        decodeSourceFrameForExport(asset, track, track.preferredTransform, seconds, 160, 96);
    if (!image) {
        return -2;
    }
    EXPECT_EQ(image->extent(), (Rect{0, 0, 160, 96}));
    return stampOf(*image);
}

class DecodeSourceFrame : public ::testing::TestWithParam<Rate> {};

TEST_P(DecodeSourceFrame, ReturnsTheExactFrameAtEveryCommonRate)
{
    const Rate rate = GetParam();
    TempDir dir;
    const int frames = 40;
    const auto asset = stampClip(dir, rate, frames);
    const double fps = static_cast<double>(rate.num) / rate.den;
    // First, last, a backwards seek after a later frame, odd and even frames, and past the end.
    for (int n : {0, 39, 20, 21, 7, 1, 38, 13}) {
        EXPECT_EQ(decodedStamp(asset, n / fps), n) << "frame " << n << " at " << fps;
        // A time inside a frame takes the next one, the first starting at or after it (the
        // last frame past the end).
        EXPECT_EQ(decodedStamp(asset, (n + 0.4) / fps), std::min(n + 1, frames - 1)) << "inside frame " << n;
    }
    EXPECT_EQ(decodedStamp(asset, frames / fps), frames - 1);       // just past the last frame
    EXPECT_EQ(decodedStamp(asset, (frames + 30) / fps), frames - 1); // well past: the generator
    EXPECT_EQ(decodedStamp(asset, -3.0), 0);                        // negative: the first frame
}

INSTANTIATE_TEST_SUITE_P(Rates, DecodeSourceFrame,
                         ::testing::Values(Rate{24000, 1001}, Rate{25, 1}, Rate{30000, 1001}, Rate{30, 1},
                                           Rate{60000, 1001}),
                         [](const auto& info) { return std::to_string(info.param.num) + "_" + std::to_string(info.param.den); });

// The first frame starting at or after the time; a start missed by less than a microsecond
// still counts.
TEST(DecodeSourceFrameSnapping, TimesSnapToTheSourceGrid)
{
    EXPECT_NEAR(*snappedSourceTime(1.0, 29.97), 30 / 29.97, 1e-12);
    EXPECT_DOUBLE_EQ(*snappedSourceTime(0.019, 25), 0.04);
    EXPECT_DOUBLE_EQ(*snappedSourceTime(0.04 + 5e-7, 25), 0.04);
    EXPECT_DOUBLE_EQ(*snappedSourceTime(0.04 + 2e-6, 25), 0.08);
    EXPECT_DOUBLE_EQ(*snappedSourceTime(0.021, 25), 0.04);
    EXPECT_DOUBLE_EQ(*snappedSourceTime(-1.0, 25), 0.0);
    EXPECT_FALSE(snappedSourceTime(std::numeric_limits<double>::quiet_NaN(), 25).has_value());
    EXPECT_FALSE(snappedSourceTime(1e300, 25).has_value());

    TempDir dir;
    const auto asset = stampClip(dir, Rate{25, 1}, 4);
    EXPECT_EQ(decodedStamp(asset, 0.019), 1);
    EXPECT_EQ(decodedStamp(asset, 0.0), 0);
    EXPECT_EQ(decodedStamp(asset, 0.021), 1);
    EXPECT_EQ(decodedStamp(asset, std::numeric_limits<double>::quiet_NaN()), -2);
}

TEST(DecodeSourceFrameRate, NominalRateThenFrameDurationThenNtscSixty)
{
    AssetTrack track;
    track.nominalFrameRate = 25;
    EXPECT_DOUBLE_EQ(sourceFrameRate(track), 25.0);
    track.nominalFrameRate = 0;
    track.minFrameDuration = MediaTime(1, 50);
    EXPECT_DOUBLE_EQ(sourceFrameRate(track), 50.0);
    track.minFrameDuration = MediaTime::invalid();
    EXPECT_EQ(sourceFrameRate(track), 60000 / 1001.0);
    track.nominalFrameRate = 1.0; // not above 1
    track.minFrameDuration = MediaTime(2, 1);
    EXPECT_DOUBLE_EQ(sourceFrameRate(track), 1.0);
}

// A source telling its rate as the rounded decimal is read on the exact fraction: ten hours in,
// a frame's start still snaps to that frame.
TEST(DecodeSourceFrameRate, ARoundedNtscRateIsReadOnItsExactFraction)
{
    for (const auto& [told, num] : {std::pair{29.97, 30000}, std::pair{59.94, 60000}, std::pair{23.976, 24000}}) {
        AssetTrack track;
        track.nominalFrameRate = told;
        const double fps = sourceFrameRate(track);
        EXPECT_EQ(fps, num / 1001.0) << told;
        const auto frame = static_cast<std::int64_t>(10 * 3600 * told);
        const double start = static_cast<double>(frame) * 1001.0 / num;
        EXPECT_EQ(firstFrameStartingAtOrAfter(start, fps), frame) << told;
        EXPECT_NEAR(snappedSourceTime(start, fps).value_or(0), start, 1e-9) << told;
    }
}

TEST(DecodeSourceFrameOutput, IsOrientedAndFilledToTheCanvas)
{
    TempDir dir;
    test::ClipSettings clip;
    clip.width = 64;
    clip.height = 32;
    clip.frameCount = 3;
    clip.rotation = 90;
    test::makeClip(dir / "portrait.mp4", clip);
    const auto asset = Asset::open(dir / "portrait.mp4");
    const AssetTrack& track = *asset->firstTrack(MediaType::video);
    // Frame 1 lights the leftmost bar of the encoded picture; turned upright it is the top.
    const std::optional<Image> image =
        decodeSourceFrameForExport(asset, track, track.preferredTransform, 1 / 25.0, 32, 64);
    ASSERT_TRUE(image.has_value());
    ASSERT_EQ(image->width(), 32);
    ASSERT_EQ(image->height(), 64);
    EXPECT_GT(image->row(1)[4 * 16 + 1], 0.9f);
    EXPECT_LT(image->row(62)[4 * 16 + 1], 0.1f);
    // Aspect fill onto a wider canvas crops top and bottom.
    const std::optional<Image> wide =
        decodeSourceFrameForExport(asset, track, AffineTransform::identity(), 0.0, 128, 32);
    ASSERT_TRUE(wide.has_value());
    EXPECT_EQ(wide->extent(), (Rect{0, 0, 128, 32}));
}

TEST(DecodeSourceFrameFallback, ATrackTheReaderCannotTakeStillYieldsAFrame)
{
    TempDir dir;
    const auto asset = stampClip(dir, Rate{25, 1}, 10);
    AssetTrack stranger = *asset->firstTrack(MediaType::video);
    stranger.trackID = 5; // not a track of this asset: the reader refuses its output
    const std::optional<Image> image =
        decodeSourceFrameForExport(asset, stranger, AffineTransform::identity(), 6 / 25.0, 160, 96);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(stampOf(*image), 6);
    EXPECT_FALSE(decodeSourceFrameForExport(asset, stranger, AffineTransform::identity(), 0, 0, 96).has_value());
}

TEST(ImageSpaceTransform, TurnsYDownOrientationIntoTheImageSpace)
{
    // A clockwise quarter turn of a 64 × 32 picture, as the track reports it.
    const AffineTransform down{0, 1, -1, 0, 32, 0};
    const AffineTransform up = imageSpaceTransform(down, 64, 32);
    double x = 0;
    double y = 0;
    // The encoded top-left corner (y-up (0, 32)) ends at the displayed top-right (32, 64).
    up.apply(0, 32, x, y);
    EXPECT_DOUBLE_EQ(x, 32);
    EXPECT_DOUBLE_EQ(y, 64);
    EXPECT_EQ(up.apply(Rect{0, 0, 64, 32}), (Rect{0, 0, 32, 64}));
    EXPECT_EQ(imageSpaceTransform(AffineTransform::identity(), 64, 32), AffineTransform::identity());
}

// A clip held past its source's end shows the source's last frame, decoded once for every
// export frame that needs it, not once per frame.
TEST(OneOffDecode, TimesPastTheSourcesEndDecodeItsLastFrameOnce)
{
    TempDir dir;
    const std::shared_ptr<const Asset> asset = stampClip(dir, {25, 1}, 5);
    ExportSource source;
    source.asset = asset;
    source.videoTrack = asset->firstTrack(MediaType::video);
    source.transform = source.videoTrack->preferredTransform;
    ClipFrameReaders readers(160, 96, 1.0 / 25);
    for (const double t : {0.2, 0.24, 0.48, 1.0}) {
        const SourcePicture picture = readers.oneOffDecode(source, t);
        ASSERT_FALSE(picture.image.isEmpty()) << t;
        EXPECT_EQ(stampOf(picture.image), 4) << t;
    }
    EXPECT_EQ(readers.oneOffDecodes(), 1);
    readers.oneOffDecode(source, 0.08);
    EXPECT_EQ(readers.oneOffDecodes(), 2);
}

} // namespace
} // namespace velmora::Exporter
