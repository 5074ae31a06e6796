#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>
#include <algorithm>

#include "MediaTestHelpers.h"
#include "platform/media/AssetReader.h"
#include "platform/media/ImageGenerator.h"
#include "platform/media/MediaError.h"
#include "platform/media/internal/FFmpegSupport.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

using test::ClipSettings;
using test::stampOf;
using test::TempDir;

std::shared_ptr<const Asset> stampAsset(const TempDir& dir, int fpsNum, int fpsDen, int frames)
{
    ClipSettings clip;
    clip.fpsNum = fpsNum;
    clip.fpsDen = fpsDen;
    clip.frameCount = frames;
    clip.videoArgs = "-preset ultrafast -g 10 -bf 2 -x264-params bframes=2:b-adapt=0";
    const auto path = dir / ("stamp" + std::to_string(fpsNum) + ".mp4");
    test::makeClip(path, clip);
    return Asset::open(path);
}

void exact(ImageGenerator& generator)
{
    generator.requestedTimeToleranceBefore = MediaTime::zero();
    generator.requestedTimeToleranceAfter = MediaTime::zero();
}

struct RateCase {
    int num;
    int den;
};

class ImageGeneratorFrameExact : public ::testing::TestWithParam<RateCase> {};

TEST_P(ImageGeneratorFrameExact, ReturnsTheFrameDisplayedAtTheTime)
{
    const RateCase rate = GetParam();
    TempDir dir;
    const int frames = 40;
    ImageGenerator generator(stampAsset(dir, rate.num, rate.den, frames));
    exact(generator);
    auto frameTime = [&](int n) { return MediaTime(std::int64_t{n} * rate.den, rate.num); };
    // Forward, a backwards seek, a jump ahead, inside a frame's span, the first and last frames.
    for (int n : {0, 1, 2, 17, 3, 39, 38, 12, 11, 30, 0}) {
        MediaTime actual;
        const Image image = generator.copyImage(frameTime(n), &actual);
        EXPECT_EQ(stampOf(image), n) << "frame " << n;
        EXPECT_EQ(actual, frameTime(n));
        // Just before the next frame starts is still this frame.
        const MediaTime late = frameTime(n + 1) - MediaTime(1, 1000000);
        EXPECT_EQ(stampOf(generator.copyImage(late)), n) << "late in frame " << n;
    }
    EXPECT_EQ(stampOf(generator.copyImage(frameTime(frames + 5))), frames - 1); // past the end
    EXPECT_EQ(stampOf(generator.copyImage(MediaTime(-1, 1))), 0);               // before the start
}

INSTANTIATE_TEST_SUITE_P(Rates, ImageGeneratorFrameExact,
                         ::testing::Values(RateCase{25, 1}, RateCase{30000, 1001}, RateCase{60000, 1001}),
                         [](const auto& info) { return std::to_string(info.param.num) + "_" + std::to_string(info.param.den); });

TEST(ImageGeneratorRequests, AFrameAskedTwiceIsTheSameImage)
{
    TempDir dir;
    ImageGenerator generator(stampAsset(dir, 25, 1, 10));
    exact(generator);
    const Image first = generator.copyImage(MediaTime(4, 25));
    const Image again = generator.copyImage(MediaTime(4, 25) + MediaTime(1, 100));
    EXPECT_TRUE(again.isIdenticalTo(first));
    EXPECT_EQ(stampOf(first), 4);
}

TEST(ImageGeneratorRequests, OneDecoderThreadGivesTheSameFrames)
{
    TempDir dir;
    const std::shared_ptr<const Asset> asset = stampAsset(dir, 25, 1, 30);
    ImageGenerator perCore(asset);
    ImageGenerator single(asset);
    single.decoderThreads = 1;
    exact(perCore);
    exact(single);
    for (int n : {0, 13, 5, 29}) {
        const Image expected = perCore.copyImage(MediaTime(n, 25));
        const Image image = single.copyImage(MediaTime(n, 25));
        EXPECT_EQ(stampOf(image), n);
        ASSERT_EQ(image.width(), expected.width());
        ASSERT_EQ(image.height(), expected.height());
        bool same = true;
        for (int y = 0; y < image.height() && same; ++y) {
            same = std::equal(image.row(y), image.row(y) + 4 * image.width(), expected.row(y));
        }
        EXPECT_TRUE(same) << "frame " << n;
    }
}

// As an export picks: inside a frame's span the next frame answers, on its start the frame
// itself, after the track's end the last frame.
TEST(ImageGeneratorRequests, TheFrameAnExportWritesIsTheFirstStartingAtOrAfterTheTime)
{
    TempDir dir;
    ImageGenerator generator(stampAsset(dir, 25, 1, 30));
    exact(generator);
    generator.takesFrameStartingAtOrAfter = true;
    EXPECT_EQ(stampOf(generator.copyImage(MediaTime(0, 1))), 0);
    EXPECT_EQ(stampOf(generator.copyImage(MediaTime(1, 30))), 1);   // 0.033 s, inside frame 0
    EXPECT_EQ(stampOf(generator.copyImage(MediaTime(4, 25))), 4);   // frame 4's start
    EXPECT_EQ(stampOf(generator.copyImage(MediaTime(21, 50))), 11); // 0.42 s, inside frame 10
    EXPECT_EQ(stampOf(generator.copyImage(MediaTime(5, 30))), 5);   // back, inside frame 4
    EXPECT_EQ(stampOf(generator.copyImage(MediaTime(10, 1))), 29);  // past the end
}

TEST(ImageGeneratorRequests, ToleranceLetsANearbyFrameAnswer)
{
    TempDir dir;
    ImageGenerator generator(stampAsset(dir, 25, 1, 30));
    exact(generator);
    EXPECT_EQ(stampOf(generator.copyImage(MediaTime(10, 25))), 10);
    generator.requestedTimeToleranceBefore = MediaTime(1, 5);
    generator.requestedTimeToleranceAfter = MediaTime(1, 5);
    MediaTime actual;
    const int stamp = stampOf(generator.copyImage(MediaTime(12, 25), &actual));
    EXPECT_GE(stamp, 7);
    EXPECT_LE(stamp, 17);
    EXPECT_EQ(actual, MediaTime(stamp, 25));
}

TEST(ImageGeneratorSize, FitsTheMaximumKeepingAspectAndNeverUpscales)
{
    TempDir dir;
    ImageGenerator generator(stampAsset(dir, 25, 1, 3)); // 160 × 96
    generator.maximumWidth = 80;
    generator.maximumHeight = 80;
    Image small = generator.copyImage(MediaTime::zero());
    EXPECT_EQ(small.width(), 80);
    EXPECT_EQ(small.height(), 48);
    generator.maximumWidth = 1000;
    generator.maximumHeight = 1000;
    Image full = generator.copyImage(MediaTime::zero());
    EXPECT_EQ(full.width(), 160);
    EXPECT_EQ(full.height(), 96);
    generator.maximumWidth = 0;
    generator.maximumHeight = 48;
    EXPECT_EQ(generator.copyImage(MediaTime::zero()).width(), 80);
    EXPECT_EQ(full.extent(), (Rect{0, 0, 160, 96}));
}

// A JPEG-coded movie far larger than the pictures asked of it is decoded at a reduced size: the
// pictures are those of the whole frames scaled down, whatever size is asked next.
TEST(ImageGeneratorSize, AMovieDecodedAtAReducedSizeGivesTheSamePictures)
{
    TempDir dir;
    test::makeClip(dir / "large.mov", test::largeJpegClip(5));
    EXPECT_EQ(ffmpeg::lowresFor(1280, 768, 160, 96, 3), 2);
    EXPECT_EQ(ffmpeg::lowresFor(1280, 768, 161, 96, 3), 1);
    EXPECT_EQ(ffmpeg::lowresFor(16000, 16000, 1920, 1920, 3), 2);
    EXPECT_EQ(ffmpeg::lowresFor(16000, 16000, 320, 180, 3), 3);
    EXPECT_EQ(ffmpeg::lowresFor(1280, 768, 0, 0, 3), 0);

    ImageGenerator generator(Asset::open(dir / "large.mov"));
    generator.requestedTimeToleranceBefore = MediaTime::zero();
    generator.requestedTimeToleranceAfter = MediaTime::zero();
    std::vector<int> stamps;
    for (const auto& [width, height] : {std::pair{160, 96}, std::pair{640, 640}, std::pair{0, 0}, std::pair{80, 48}}) {
        generator.maximumWidth = width;
        generator.maximumHeight = height;
        const Image picture = generator.copyImage(MediaTime(2, 25));
        const int expectedWidth = width == 0 ? 1280 : std::min(width, height * 1280 / 768);
        EXPECT_EQ(picture.width(), expectedWidth) << width;
        EXPECT_EQ(picture.height(), expectedWidth * 768 / 1280) << width;
        stamps.push_back(stampOf(picture));
    }
    ASSERT_GE(stamps[0], 0);
    EXPECT_EQ(stamps, std::vector<int>(4, stamps[0]));
}

TEST(ImageGeneratorOrientation, TheTrackRotationIsAppliedWhenAsked)
{
    TempDir dir;
    ClipSettings clip;
    clip.width = 64;
    clip.height = 32;
    clip.frameCount = 3;
    clip.rotation = 90;
    test::makeClip(dir / "portrait.mp4", clip);
    ImageGenerator generator(Asset::open(dir / "portrait.mp4"));
    exact(generator);
    // Frame 1 lights only the leftmost bar of the encoded picture.
    Image plain = generator.copyImage(MediaTime(1, 25));
    EXPECT_EQ(plain.width(), 64);
    EXPECT_GT(plain.row(16)[4 * 1 + 1], 0.9f);
    generator.appliesPreferredTrackTransform = true;
    generator.maximumWidth = 16;
    generator.maximumHeight = 32;
    Image turned = generator.copyImage(MediaTime(1, 25));
    ASSERT_EQ(turned.width(), 16);
    ASSERT_EQ(turned.height(), 32);
    // A clockwise quarter turn puts the left edge at the top.
    EXPECT_GT(turned.row(0)[4 * 8 + 1], 0.9f);
    EXPECT_LT(turned.row(31)[4 * 8 + 1], 0.1f);
}

TEST(ImageGeneratorColour, UntaggedVideoIsBt709VideoRangeAndTagsAreHonoured)
{
    TempDir dir;
    // Pure red in BT.709 code values, untagged; and pure red in BT.601 code values, tagged so.
    test::runFFmpeg("-f lavfi -i color=c=black:s=32x32:r=25:d=0.2 -vf \"format=yuv420p,geq=lum=63:cb=102:cr=240\" "
                    "-c:v libx264 -preset ultrafast -qp 0 " + test::shellQuote((dir / "red709.mp4").string()));
    test::runFFmpeg("-f lavfi -i color=c=black:s=32x32:r=25:d=0.2 -vf \"format=yuv420p,geq=lum=81:cb=90:cr=240\" "
                    "-c:v libx264 -preset ultrafast -qp 0 -colorspace smpte170m " +
                    test::shellQuote((dir / "red601.mp4").string()));
    for (const char* name : {"red709.mp4", "red601.mp4"}) {
        ImageGenerator generator(Asset::open(dir / name));
        const Image image = generator.copyImage(MediaTime::zero());
        const float* px = image.row(16) + 4 * 16;
        EXPECT_NEAR(px[0], 1.0f, 0.02f) << name;
        EXPECT_NEAR(px[1], 0.0f, 0.02f) << name;
        EXPECT_NEAR(px[2], 0.0f, 0.03f) << name;
        EXPECT_EQ(px[3], 1.0f);
    }
}

TEST(ImageGeneratorStills, StillImagesAnswerAtAnyTime)
{
    TempDir dir;
    for (const char* name : {"s.png", "s.jpg", "s.tiff", "s.bmp"}) {
        test::makeStillImage(dir / name, 64, 32, 0x2d);
        ImageGenerator generator(Asset::open(dir / name));
        exact(generator);
        EXPECT_EQ(stampOf(generator.copyImage(MediaTime::zero())), 0x2d) << name;
        EXPECT_EQ(stampOf(generator.copyImage(MediaTime(3600, 1))), 0x2d) << name;
        generator.maximumWidth = 32;
        const Image half = generator.copyImage(MediaTime(1, 1));
        EXPECT_EQ(half.width(), 32) << name;
        EXPECT_EQ(half.height(), 16) << name;
    }
}

// The mean of each factor × factor block of `full`, channel by channel.
float blockMean(const Image& full, int factor, int bx, int by, int channel)
{
    double sum = 0;
    for (int y = by * factor; y < (by + 1) * factor; ++y) {
        for (int x = bx * factor; x < (bx + 1) * factor; ++x) {
            sum += full.row(y)[4 * x + channel];
        }
    }
    return static_cast<float>(sum / (factor * factor));
}

TEST(ImageGeneratorStills, AStillScaledWhileDecodedEqualsTheWholeStillScaledAfterwards)
{
    TempDir dir;
    struct Kind {
        const char* pixelFormat;
        float tolerance; // half a step of the reduced picture's samples, and a little
    };
    // Grey decoded whole goes through swscale's expansion to RGB, which rounds once more.
    for (const Kind kind : {Kind{"rgb24", 0.6f / 255}, Kind{"rgba64be", 1e-4f}, Kind{"gray", 1.5f / 255}}) {
        const auto path = dir / (std::string(kind.pixelFormat) + ".png");
        test::runFFmpeg("-f lavfi -i testsrc2=s=64x48 -frames:v 1 -pix_fmt " + std::string(kind.pixelFormat) + " " +
                        test::shellQuote(path.string()));
        const auto asset = Asset::open(path);
        ImageGenerator whole(asset);
        const Image full = whole.copyImage(MediaTime::zero());
        ASSERT_EQ(full.width(), 64);

        ImageGenerator reduced(asset);
        reduced.maximumWidth = 16;
        reduced.maximumHeight = 12;
        const Image small = reduced.copyImage(MediaTime::zero());
        ASSERT_EQ(small.width(), 16) << kind.pixelFormat;
        ASSERT_EQ(small.height(), 12) << kind.pixelFormat;
        for (int y = 0; y < 12; ++y) {
            for (int x = 0; x < 16; ++x) {
                for (int c = 0; c < 4; ++c) {
                    ASSERT_NEAR(small.row(y)[4 * x + c], blockMean(full, 4, x, y, c), kind.tolerance)
                        << kind.pixelFormat << " pixel " << x << "," << y << " channel " << c;
                }
            }
        }
        // Asking for more detail afterwards decodes the picture again, whole.
        reduced.maximumWidth = 0;
        reduced.maximumHeight = 0;
        const Image again = reduced.copyImage(MediaTime::zero());
        ASSERT_EQ(again.width(), 64);
        for (int y = 0; y < 48; ++y) {
            ASSERT_EQ(std::memcmp(again.row(y), full.row(y), 64 * 4 * sizeof(float)), 0) << kind.pixelFormat;
        }
    }
}

// Seeking back to a key frame, shared by the generator and the reader, on the two kinds of
// stream whose first frame is not at timestamp zero: a raw elementary stream, which has no start
// time at all, and a movie whose timestamps start 10 s in.
TEST(ImageGeneratorSeeking, StreamsWithoutOrWithALateStartTimeSeekToTheirFrames)
{
    TempDir dir;
    ClipSettings clip;
    clip.frameCount = 40;
    clip.videoArgs = "-preset ultrafast -g 10 -bf 0";
    test::makeClip(dir / "raw.h264", clip);
    clip.videoArgs += " -output_ts_offset 10";
    test::makeClip(dir / "late.mp4", clip);
    ASSERT_FALSE(test::ffprobeStream(dir / "raw.h264", "v:0").contains("start_time"));
    ASSERT_EQ(test::ffprobeStream(dir / "late.mp4", "v:0")["start_time"], "10.000000");

    for (const char* name : {"raw.h264", "late.mp4"}) {
        const auto asset = Asset::open(dir / name);
        ImageGenerator generator(asset);
        exact(generator);
        EXPECT_EQ(stampOf(generator.copyImage(MediaTime(25, 25))), 25) << name;
        // Back to the start, then to a frame after a key frame further back.
        EXPECT_EQ(stampOf(generator.copyImage(MediaTime::zero())), 0) << name;
        EXPECT_EQ(stampOf(generator.copyImage(MediaTime(33, 25))), 33) << name;
        EXPECT_EQ(stampOf(generator.copyImage(MediaTime(3, 25))), 3) << name;

        AssetReader reader(asset);
        reader.setTimeRange(MediaTimeRange(MediaTime(17, 25), MediaTime(2, 25)));
        auto output = AssetReaderTrackOutput::video(*asset->firstTrack(MediaType::video), PixelFormat::nv12);
        reader.add(output);
        ASSERT_TRUE(reader.startReading()) << name;
        const auto sample = output->copyNextSampleBuffer();
        ASSERT_TRUE(sample && sample->hasImageBuffer()) << name;
        EXPECT_EQ(stampOf(sample->imageBuffer), 17) << name;
    }
}

TEST(ImageGeneratorErrors, AnAssetWithoutPicturesIsRefused)
{
    TempDir dir;
    ClipSettings clip;
    clip.videoCodec = "";
    clip.audio = true;
    clip.audioSeconds = 0.5;
    clip.audioCodec = "pcm_s16le";
    test::makeClip(dir / "tone.wav", clip);
    try {
        ImageGenerator generator(Asset::open(dir / "tone.wav"));
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.domain(), "media");
        EXPECT_EQ(e.code(), MediaError::noSuchTrack);
    }
}

} // namespace
} // namespace velmora
