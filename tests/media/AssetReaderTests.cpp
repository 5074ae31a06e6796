#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "MediaTestHelpers.h"
#include "platform/media/AssetReader.h"
#include "platform/image/Resample.h"
#include "platform/media/MediaError.h"
#include "platform/media/PixelBufferImage.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

using test::ClipSettings;
using test::stampOf;
using test::TempDir;

// A frame-stamp clip with B-frames and a key frame every 12 frames, so seeks land before the
// frame asked for and decoding order differs from display order.
std::filesystem::path stampClip(const TempDir& dir, int fpsNum, int fpsDen, int frames, const std::string& name)
{
    ClipSettings clip;
    clip.fpsNum = fpsNum;
    clip.fpsDen = fpsDen;
    clip.frameCount = frames;
    clip.videoArgs = "-preset ultrafast -g 12 -bf 2 -x264-params bframes=2:b-adapt=0";
    const auto path = dir / name;
    test::makeClip(path, clip);
    return path;
}

struct Read {
    std::vector<int> stamps;
    std::vector<MediaTime> times;
    std::vector<MediaTime> durations;
};

Read readAll(const std::filesystem::path& path, PixelFormat format, std::optional<MediaTimeRange> range = {})
{
    auto asset = Asset::open(path);
    AssetReader reader(asset);
    if (range) {
        reader.setTimeRange(*range);
    }
    auto output = AssetReaderTrackOutput::video(*asset->firstTrack(MediaType::video), format);
    reader.add(output);
    EXPECT_TRUE(reader.startReading());
    Read result;
    while (auto sample = output->copyNextSampleBuffer()) {
        EXPECT_TRUE(sample->hasImageBuffer());
        EXPECT_EQ(sample->imageBuffer.format(), format);
        result.stamps.push_back(stampOf(sample->imageBuffer));
        result.times.push_back(sample->presentationTime);
        result.durations.push_back(sample->duration);
    }
    EXPECT_EQ(reader.status(), AssetReaderStatus::completed);
    EXPECT_FALSE(reader.error().has_value());
    return result;
}

TEST(AssetReaderVideo, ReadsEveryFrameInDisplayOrderWithExactTimes)
{
    TempDir dir;
    const auto path = stampClip(dir, 25, 1, 30, "clip.mp4");
    const Read read = readAll(path, PixelFormat::p010);
    ASSERT_EQ(read.stamps.size(), 30u);
    for (int n = 0; n < 30; ++n) {
        EXPECT_EQ(read.stamps[n], n);
        EXPECT_EQ(read.times[n], MediaTime(n, 25)) << read.times[n].description();
        EXPECT_EQ(read.durations[n], MediaTime(1, 25));
    }
}

// A caller looking for a later frame passes over the ones before it by their times alone; the
// frame it stops at comes out whole, and the end is reported as usual.
TEST(AssetReaderVideo, FramesCanBePassedOverByTheirTimes)
{
    TempDir dir;
    const auto path = stampClip(dir, 25, 1, 6, "clip.mp4");
    auto asset = Asset::open(path);
    AssetReader reader(asset);
    auto output = AssetReaderTrackOutput::videoImages(*asset->firstTrack(MediaType::video));
    reader.add(output);
    ASSERT_TRUE(reader.startReading());
    EXPECT_EQ(output->nextSampleTime(), MediaTime(0, 25));
    EXPECT_EQ(output->nextSampleTime(), MediaTime(0, 25)); // looking twice takes nothing
    for (int n = 0; n < 4; ++n)
        EXPECT_TRUE(output->skipNextSample());
    std::optional<SampleBuffer> fifth = output->copyNextSampleBuffer();
    ASSERT_TRUE(fifth && fifth->hasImage());
    EXPECT_EQ(fifth->presentationTime, MediaTime(4, 25));
    EXPECT_EQ(stampOf(fifth->image), 4);
    EXPECT_TRUE(output->skipNextSample());
    EXPECT_FALSE(output->nextSampleTime());
    EXPECT_FALSE(output->skipNextSample());
    EXPECT_FALSE(output->copyNextSampleBuffer());
    EXPECT_EQ(reader.status(), AssetReaderStatus::completed);
}

TEST(AssetReaderVideo, NtscTimesAreExact)
{
    TempDir dir;
    const auto path = stampClip(dir, 30000, 1001, 20, "ntsc.mov");
    const Read read = readAll(path, PixelFormat::nv12);
    ASSERT_EQ(read.stamps.size(), 20u);
    for (int n = 0; n < 20; ++n) {
        EXPECT_EQ(read.stamps[n], n);
        EXPECT_EQ(read.times[n], MediaTime(1001 * n, 30000));
    }
}

TEST(AssetReaderVideo, ARangeStartsAtTheFrameDisplayedAtItsStartAndEndsBeforeItsEnd)
{
    TempDir dir;
    const auto path = stampClip(dir, 25, 1, 50, "clip.mp4");
    // 1.01 s lies inside frame 25 (1.00 … 1.04); the end 1.2 is the start of frame 30.
    const Read read = readAll(path, PixelFormat::p010,
                              MediaTimeRange::fromStartEnd(MediaTime(101, 100), MediaTime(6, 5)));
    EXPECT_EQ(read.stamps, (std::vector<int>{25, 26, 27, 28, 29}));
    EXPECT_EQ(read.times.front(), MediaTime(1, 1));
    // The last frame, and a range past the end.
    const Read tail = readAll(path, PixelFormat::p010,
                              MediaTimeRange(MediaTime(196, 100), MediaTime(10, 1)));
    EXPECT_EQ(tail.stamps, (std::vector<int>{49}));
    const Read past = readAll(path, PixelFormat::p010, MediaTimeRange(MediaTime(5, 1), MediaTime(1, 1)));
    EXPECT_TRUE(past.stamps.empty());
}

TEST(AssetReaderVideo, EveryOutputFormatCarriesTheFrameAndVideoRangeTags)
{
    TempDir dir;
    const auto path = stampClip(dir, 25, 1, 8, "clip.mp4");
    for (PixelFormat format : {PixelFormat::p010, PixelFormat::nv12, PixelFormat::p216, PixelFormat::bgra,
                               PixelFormat::yuv420p, PixelFormat::yuv420p10, PixelFormat::yuv422p10}) {
        const Read read = readAll(path, format, MediaTimeRange(MediaTime(4, 25), MediaTime(2, 25)));
        EXPECT_EQ(read.stamps, (std::vector<int>{4, 5})) << pixelFormatName(format);
    }
    auto asset = Asset::open(path);
    AssetReader reader(asset);
    auto output = AssetReaderTrackOutput::video(*asset->firstTrack(MediaType::video), PixelFormat::p010);
    reader.add(output);
    ASSERT_TRUE(reader.startReading());
    auto sample = output->copyNextSampleBuffer();
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->imageBuffer.attachments().colorRange, "VideoRange");
    EXPECT_EQ(sample->imageBuffer.width(), 160);
}

TEST(AssetReaderVideo, TenBitSourceKeepsItsPrecisionInP010)
{
    TempDir dir;
    ClipSettings clip;
    clip.videoCodec = "libx265";
    clip.pixelFormat = "yuv420p10le";
    clip.frameCount = 3;
    clip.videoArgs = "-preset ultrafast -x265-params log-level=error:lossless=1";
    test::makeClip(dir / "ten.mov", clip);
    const Read read = readAll(dir / "ten.mov", PixelFormat::p010);
    EXPECT_EQ(read.stamps, (std::vector<int>{0, 1, 2}));
    auto asset = Asset::open(dir / "ten.mov");
    AssetReader reader(asset);
    auto output = AssetReaderTrackOutput::video(*asset->firstTrack(MediaType::video), PixelFormat::p010);
    reader.add(output);
    ASSERT_TRUE(reader.startReading());
    auto sample = output->copyNextSampleBuffer();
    ASSERT_TRUE(sample);
    // Lossless 10-bit white bars are 940 (the 8-bit 235 scaled), in the top bits of the word.
    const auto* row = reinterpret_cast<const std::uint16_t*>(sample->imageBuffer.baseAddress(0));
    EXPECT_EQ(row[5], 64u << 6); // frame 0: every bar black
}

// Every frame of a file through an output of float images, and through 'x420' buffers turned
// into images afterwards.
std::vector<Image> readImages(const std::filesystem::path& path, bool images, int neededWidth = 0,
                              int neededHeight = 0)
{
    auto asset = Asset::open(path);
    AssetReader reader(asset);
    const AssetTrack& track = *asset->firstTrack(MediaType::video);
    auto output = images ? AssetReaderTrackOutput::videoImages(track)
                         : AssetReaderTrackOutput::video(track, PixelFormat::p010);
    output->neededWidth = neededWidth;
    output->neededHeight = neededHeight;
    reader.add(output);
    EXPECT_TRUE(reader.startReading());
    std::vector<Image> frames;
    while (auto sample = output->copyNextSampleBuffer()) {
        EXPECT_EQ(sample->hasImage(), images);
        frames.push_back(images ? sample->image : imageFromPixelBuffer(sample->imageBuffer).rendered());
    }
    EXPECT_EQ(reader.status(), AssetReaderStatus::completed);
    return frames;
}

float largestDifference(const Image& a, const Image& b)
{
    EXPECT_EQ(a.width(), b.width());
    EXPECT_EQ(a.height(), b.height());
    float largest = 0;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y) {
        for (int i = 0; i < 4 * std::min(a.width(), b.width()); ++i) {
            largest = std::max(largest, std::abs(a.row(y)[i] - b.row(y)[i]));
        }
    }
    return largest;
}

TEST(AssetReaderImages, ConvertStraightFromTheDecodedPlanesAsTheBufferPathDoes)
{
    TempDir dir;
    // Odd sides, 10-bit planar 4:2:0 as decoded: chroma blocks cut short at the right and bottom.
    test::runFFmpeg("-f lavfi -i testsrc2=s=33x19:r=25 -frames:v 3 -pix_fmt yuv420p10le -c:v ffv1 " +
                    test::shellQuote((dir / "odd.mkv").string()));
    const std::vector<Image> direct = readImages(dir / "odd.mkv", true);
    const std::vector<Image> buffered = readImages(dir / "odd.mkv", false);
    ASSERT_EQ(direct.size(), 3u);
    ASSERT_EQ(buffered.size(), 3u);
    for (std::size_t n = 0; n < direct.size(); ++n) {
        EXPECT_LE(largestDifference(direct[n], buffered[n]), 1e-6f) << n;
        EXPECT_EQ(direct[n].tags.colorRange, "VideoRange");
    }
}

TEST(AssetReaderImages, AnOversizedFrameIsScaledInItsPlanesLikeTheFullFrameScaledAfterwards)
{
    TempDir dir;
    // Smooth colours, so that the two resamplings agree to within rounding.
    test::runFFmpeg("-f lavfi -i \"nullsrc=s=640x480:r=25,geq=lum='16+200*X/W':cb='64+128*Y/H':cr='200-100*X/W'\" "
                    "-frames:v 1 -pix_fmt yuv420p -c:v ffv1 " + test::shellQuote((dir / "big.mkv").string()));
    // Needed at 80 x 60: read at twice that (a quarter of the stored size).
    for (const bool images : {true, false}) {
        const std::vector<Image> scaled = readImages(dir / "big.mkv", images, 80, 60);
        const std::vector<Image> full = readImages(dir / "big.mkv", images);
        ASSERT_EQ(scaled.size(), 1u);
        ASSERT_EQ(full.size(), 1u);
        EXPECT_EQ(scaled[0].width(), 160);
        EXPECT_EQ(scaled[0].height(), 120);
        const Image fromScaled = affineTransform(scaled[0], AffineTransform::scale(0.5, 0.5)).rendered();
        const Image fromFull = affineTransform(full[0], AffineTransform::scale(0.125, 0.125)).rendered();
        EXPECT_LE(largestDifference(fromScaled, fromFull), 0.02f) << images;
    }
    // Needed at more than half the stored size: read as stored.
    EXPECT_EQ(readImages(dir / "big.mkv", true, 321, 100).at(0).width(), 640);
    // A palette, which the scaler cannot write back, comes down as RGB.
    test::runFFmpeg("-f lavfi -i testsrc2=s=640x480:r=25 -frames:v 1 -pix_fmt pal8 -c:v png " +
                    test::shellQuote((dir / "palette.mov").string()));
    const std::vector<Image> palette = readImages(dir / "palette.mov", true, 80, 60);
    ASSERT_EQ(palette.size(), 1u);
    EXPECT_EQ(palette[0].width(), 160);
}

TEST(AssetReaderAudio, ResamplesToFloatStereoAndTrimsToTheSample)
{
    TempDir dir;
    ClipSettings clip;
    clip.videoCodec = "";
    clip.audio = true;
    clip.audioSeconds = 2;
    clip.sampleRate = 44100;
    clip.channels = 1;
    clip.audioCodec = "pcm_s16le";
    test::makeClip(dir / "tone.wav", clip);
    auto asset = Asset::open(dir / "tone.wav");
    AssetReader reader(asset);
    reader.setTimeRange(MediaTimeRange::fromStartEnd(MediaTime(1, 2), MediaTime(1, 1)));
    auto output = AssetReaderTrackOutput::audio(*asset->firstTrack(MediaType::audio));
    reader.add(output);
    ASSERT_TRUE(reader.startReading());
    std::int64_t frames = 0;
    std::optional<MediaTime> first;
    MediaTime expectedNext;
    double peak = 0;
    while (auto sample = output->copyNextSampleBuffer()) {
        EXPECT_FALSE(sample->hasImageBuffer());
        EXPECT_EQ(sample->audioChannels, 2);
        EXPECT_EQ(sample->audioSampleRate, 48000);
        ASSERT_EQ(sample->audioSamples.size(), static_cast<std::size_t>(sample->audioFrameCount) * 2);
        if (!first) {
            first = sample->presentationTime;
        } else {
            EXPECT_EQ(sample->presentationTime, expectedNext);
        }
        expectedNext = sample->presentationTime + sample->duration;
        frames += sample->audioFrameCount;
        for (std::size_t i = 0; i < sample->audioSamples.size(); i += 2) {
            EXPECT_FLOAT_EQ(sample->audioSamples[i], sample->audioSamples[i + 1]); // mono on both sides
            peak = std::max(peak, static_cast<double>(std::fabs(sample->audioSamples[i])));
        }
    }
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(*first, MediaTime(24000, 48000));
    EXPECT_EQ(frames, 24000);
    EXPECT_GT(peak, 0.05);
    EXPECT_EQ(reader.status(), AssetReaderStatus::completed);
}

TEST(AssetReaderAudio, AacTrackOfAMovieEndsWithTheMovie)
{
    TempDir dir;
    ClipSettings clip;
    clip.frameCount = 25;
    clip.audio = true;
    test::makeClip(dir / "av.mp4", clip);
    auto asset = Asset::open(dir / "av.mp4");
    AssetReader reader(asset);
    auto video = AssetReaderTrackOutput::video(*asset->firstTrack(MediaType::video), PixelFormat::p010);
    auto audio = AssetReaderTrackOutput::audio(*asset->firstTrack(MediaType::audio));
    reader.add(video);
    reader.add(audio);
    ASSERT_TRUE(reader.startReading());
    int videoFrames = 0;
    std::int64_t audioFrames = 0;
    for (bool more = true; more;) {
        more = false;
        if (auto v = video->copyNextSampleBuffer()) {
            ++videoFrames;
            more = true;
        }
        if (auto a = audio->copyNextSampleBuffer()) {
            audioFrames += a->audioFrameCount;
            more = true;
        }
    }
    EXPECT_EQ(videoFrames, 25);
    EXPECT_NEAR(static_cast<double>(audioFrames), 48000.0, 1100.0);
    EXPECT_EQ(reader.status(), AssetReaderStatus::completed);
}

TEST(AssetReaderState, CancellingStopsEveryOutput)
{
    TempDir dir;
    const auto path = stampClip(dir, 25, 1, 20, "clip.mp4");
    auto asset = Asset::open(path);
    AssetReader reader(asset);
    auto output = AssetReaderTrackOutput::video(*asset->firstTrack(MediaType::video), PixelFormat::p010);
    reader.add(output);
    ASSERT_TRUE(reader.startReading());
    ASSERT_TRUE(output->copyNextSampleBuffer());
    std::thread other([&] { reader.cancelReading(); });
    other.join();
    EXPECT_FALSE(output->copyNextSampleBuffer());
    EXPECT_EQ(reader.status(), AssetReaderStatus::cancelled);
    EXPECT_FALSE(reader.error().has_value());
}

TEST(AssetReaderState, CancellingStopsAnImageOutputWhoseDecodingRunsAhead)
{
    TempDir dir;
    const auto path = stampClip(dir, 25, 1, 20, "clip.mp4");
    auto asset = Asset::open(path);
    AssetReader reader(asset);
    auto output = AssetReaderTrackOutput::videoImages(*asset->firstTrack(MediaType::video));
    reader.add(output);
    ASSERT_TRUE(reader.startReading());
    const std::optional<SampleBuffer> first = output->copyNextSampleBuffer();
    ASSERT_TRUE(first && first->hasImage());
    // The reader's thread holds the next decoded frame meanwhile.
    std::thread other([&] { reader.cancelReading(); });
    other.join();
    EXPECT_FALSE(output->copyNextSampleBuffer());
    EXPECT_EQ(reader.status(), AssetReaderStatus::cancelled);
}

TEST(AssetReaderState, OutputsAreAddedOnceToTheirOwnAssetBeforeReading)
{
    TempDir dir;
    ClipSettings clip;
    clip.frameCount = 5;
    clip.audio = true;
    test::makeClip(dir / "a.mp4", clip);
    auto asset = Asset::open(dir / "a.mp4");
    AssetReader reader(asset);
    AssetTrack audioAsVideo = *asset->firstTrack(MediaType::audio);
    auto wrongKind = AssetReaderTrackOutput::video(audioAsVideo, PixelFormat::p010);
    EXPECT_FALSE(reader.canAdd(*wrongKind));
    EXPECT_THROW(reader.add(wrongKind), Error);
    AssetTrack missing = *asset->firstTrack(MediaType::video);
    missing.trackID = 7;
    EXPECT_FALSE(reader.canAdd(*AssetReaderTrackOutput::video(missing, PixelFormat::p010)));
    auto good = AssetReaderTrackOutput::video(*asset->firstTrack(MediaType::video), PixelFormat::p010);
    EXPECT_TRUE(reader.canAdd(*good));
    reader.add(good);
    EXPECT_FALSE(reader.canAdd(*good));
    ASSERT_TRUE(reader.startReading());
    EXPECT_FALSE(reader.canAdd(*AssetReaderTrackOutput::audio(*asset->firstTrack(MediaType::audio))));
    EXPECT_THROW(reader.setTimeRange(MediaTimeRange()), Error);
    EXPECT_FALSE(reader.startReading()); // only once
}

TEST(AssetReaderState, AFileThatVanishedIsAClearError)
{
    TempDir dir;
    const auto path = stampClip(dir, 25, 1, 5, "gone.mp4");
    auto asset = Asset::open(path);
    AssetReader early(asset);
    auto output = AssetReaderTrackOutput::video(*asset->firstTrack(MediaType::video), PixelFormat::p010);
    early.add(output);
    std::filesystem::remove(path);
    EXPECT_FALSE(early.startReading());
    EXPECT_EQ(early.status(), AssetReaderStatus::failed);
    ASSERT_TRUE(early.error().has_value());
    EXPECT_EQ(early.error()->code(), MediaError::fileNotFound);
    try {
        AssetReader late(asset);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.domain(), "media");
        EXPECT_EQ(e.code(), MediaError::fileNotFound);
    }
}

} // namespace
} // namespace velmora
