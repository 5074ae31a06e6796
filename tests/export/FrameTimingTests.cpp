#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "export/FrameTiming.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

namespace velmora::Exporter {
namespace {

using test::TempDir;

std::shared_ptr<const Asset> clipAt(const TempDir& dir, int num, int den)
{
    test::ClipSettings clip;
    clip.width = 32;
    clip.height = 32;
    clip.fpsNum = num;
    clip.fpsDen = den;
    clip.frameCount = 3;
    clip.pattern = test::ClipPattern::testsrc2;
    clip.videoArgs = "-preset ultrafast";
    const auto path = dir / ("r" + std::to_string(num) + "_" + std::to_string(den) + ".mp4");
    test::makeClip(path, clip);
    return Asset::open(path);
}

EditorJobV2::Output output(std::optional<double> fps, std::optional<std::int64_t> num = std::nullopt,
                           std::optional<std::int64_t> den = std::nullopt)
{
    EditorJobV2::Output o;
    o.fps = fps;
    o.fpsNum = num;
    o.fpsDen = den;
    return o;
}

TEST(ChooseFps, CameraRatesMoveOntoTheNtscRateNextToThem)
{
    TempDir dir;
    const auto sixty = clipAt(dir, 60, 1);
    EXPECT_DOUBLE_EQ(chooseFps(sixty.get(), std::nullopt), 59.94);
    EXPECT_DOUBLE_EQ(chooseFps(clipAt(dir, 30, 1).get(), std::nullopt), 29.97);
    EXPECT_DOUBLE_EQ(chooseFps(clipAt(dir, 24, 1).get(), std::nullopt), 23.976);
    EXPECT_DOUBLE_EQ(chooseFps(clipAt(dir, 25, 1).get(), std::nullopt), 25.0);
    EXPECT_DOUBLE_EQ(chooseFps(clipAt(dir, 50, 1).get(), std::nullopt), 50.0);
    EXPECT_DOUBLE_EQ(chooseFps(clipAt(dir, 30000, 1001).get(), std::nullopt), 29.97);
    // Any other rate is the footage's own, not the whole rate next to it.
    EXPECT_DOUBLE_EQ(chooseFps(clipAt(dir, 25, 2).get(), std::nullopt), 12.5);
    EXPECT_DOUBLE_EQ(chooseFps(clipAt(dir, 48000, 1001).get(), std::nullopt), 48000.0 / 1001);
    // A job rate above 0 wins; 0 or below is ignored.
    EXPECT_DOUBLE_EQ(chooseFps(sixty.get(), 12.5), 12.5);
    EXPECT_DOUBLE_EQ(chooseFps(sixty.get(), 0.0), 59.94);
    EXPECT_DOUBLE_EQ(chooseFps(sixty.get(), -5.0), 59.94);
    EXPECT_DOUBLE_EQ(chooseFps(nullptr, std::nullopt), 30.0);
}

TEST(ChooseFps, NoVideoTrackGivesThirty)
{
    TempDir dir;
    test::ClipSettings clip;
    clip.videoCodec = "";
    clip.audio = true;
    clip.audioSeconds = 0.2;
    clip.audioCodec = "pcm_s16le";
    test::makeClip(dir / "a.wav", clip);
    EXPECT_DOUBLE_EQ(chooseFps(Asset::open(dir / "a.wav").get(), std::nullopt), 30.0);
}

TEST(FpsToTimebase, NtscRatesGetTheirExactScales)
{
    EXPECT_EQ(fpsToTimebase(59.94), (FrameTiming{59.94, 60000, 1001}));
    EXPECT_EQ(fpsToTimebase(29.97), (FrameTiming{29.97, 30000, 1001}));
    EXPECT_EQ(fpsToTimebase(29.99), (FrameTiming{29.99, 30000, 1001}));
    EXPECT_EQ(fpsToTimebase(23.976), (FrameTiming{23.976, 24000, 1001}));
    EXPECT_EQ(fpsToTimebase(25), (FrameTiming{25, 25, 1}));
    // The rest of the 1001 family, written with two decimals or more, on n·1000/1001.
    EXPECT_EQ(fpsToTimebase(47.952), (FrameTiming{47.952, 48000, 1001}));
    EXPECT_EQ(fpsToTimebase(47.95), (FrameTiming{47.95, 48000, 1001}));
    EXPECT_EQ(fpsToTimebase(119.88), (FrameTiming{119.88, 120000, 1001}));
    EXPECT_EQ(fpsToTimebase(14.985), (FrameTiming{14.985, 15000, 1001}));
    // Every other rate on its own exact fraction, never rounded to a whole rate.
    EXPECT_EQ(fpsToTimebase(12.5), (FrameTiming{12.5, 25, 2}));
    EXPECT_EQ(fpsToTimebase(0.2), (FrameTiming{0.2, 1, 5}));
    EXPECT_EQ(fpsToTimebase(0.4), (FrameTiming{0.4, 2, 5}));
    EXPECT_EQ(fpsToTimebase(30.03), (FrameTiming{30.03, 3003, 100}));
    EXPECT_EQ(fpsToTimebase(47.9), (FrameTiming{47.9, 479, 10})); // one decimal: a rate of its own
    EXPECT_EQ(fpsToTimebase(0.99), (FrameTiming{0.99, 99, 100})); // not 1000/1001 (0.999) rounded
    // Whole rates next to an NTSC rate keep their own grid.
    EXPECT_EQ(fpsToTimebase(30), (FrameTiming{30, 30, 1}));
    EXPECT_EQ(fpsToTimebase(24), (FrameTiming{24, 24, 1}));
    // Rates no time base can hold fall back to 30.
    EXPECT_EQ(fpsToTimebase(std::numeric_limits<double>::infinity()), (FrameTiming{30, 30, 1}));
    EXPECT_EQ(fpsToTimebase(3e9), (FrameTiming{30, 30, 1}));
    EXPECT_EQ(fpsToTimebase(2147483647.0), (FrameTiming{2147483647.0, 2147483647, 1}));
}

TEST(ResolveFps, FpsNumAndDenWinWithoutReadingTheAsset)
{
    const FrameTiming t = resolveFps(nullptr, output(50.0, 24000, 1001));
    EXPECT_NEAR(t.fps, 23.976023976, 1e-9);
    EXPECT_EQ(t.timescale, 24000);
    EXPECT_EQ(t.step, 1001);
    // fpsDen 0 falls through to the fps field.
    EXPECT_EQ(resolveFps(nullptr, output(25.0, 24000, 0)), (FrameTiming{25, 25, 1}));
    // A numerator beyond the 32-bit timescale is not used.
    EXPECT_EQ(resolveFps(nullptr, output(25.0, std::int64_t{1} << 31, 1)), (FrameTiming{25, 25, 1}));
}

TEST(ResolveFps, TheAssetDecidesWhenTheJobGivesNoRate)
{
    TempDir dir;
    const auto sixty = clipAt(dir, 60, 1);
    EXPECT_EQ(resolveFps(sixty.get(), std::nullopt), (FrameTiming{59.94, 60000, 1001}));
    EXPECT_EQ(resolveFps(sixty.get(), output(0.0)), (FrameTiming{59.94, 60000, 1001}));
    EXPECT_EQ(resolveFps(sixty.get(), output(25.0)), (FrameTiming{25, 25, 1}));
    const auto twentyFive = clipAt(dir, 25, 1);
    EXPECT_EQ(resolveFps(twentyFive.get(), std::nullopt), (FrameTiming{25, 25, 1}));
    Job::Output single;
    single.fpsNum = 30000;
    single.fpsDen = 1001;
    EXPECT_EQ(resolveFps(*twentyFive, std::optional<Job::Output>(single)).timescale, 30000);
    EXPECT_EQ(resolveFps(*twentyFive, std::optional<Job::Output>()), (FrameTiming{25, 25, 1}));
}

TEST(ResolveFps, WithoutAssetTheOutputRateOrThirty)
{
    const FrameTiming thirty{30, 30, 1};
    EXPECT_EQ(resolveFps(nullptr, std::nullopt), thirty);
    EXPECT_EQ(resolveFps(nullptr, output(std::nullopt)), thirty);
    EXPECT_EQ(resolveFps(nullptr, output(59.94)), (FrameTiming{59.94, 60000, 1001}));
    EXPECT_EQ(resolveFps(nullptr, output(0.0)), thirty);
    EXPECT_EQ(resolveFps(nullptr, output(std::numeric_limits<double>::quiet_NaN())), thirty);
}

TEST(MovieFileType, TheNamesMovieExtensionThenTheJobsContainer)
{
    EXPECT_EQ(movieFileType("/out/film.MP4", std::string("mov")), FileType::mpeg4);
    EXPECT_EQ(movieFileType("/out/film.M4V", std::nullopt), FileType::mpeg4);
    // A .mov name is a QuickTime movie whatever the job says.
    EXPECT_EQ(movieFileType("/out/film.mov", std::string("m4v")), FileType::quickTimeMovie);
    EXPECT_EQ(movieFileType("/out/film.MOV", std::string("MP4")), FileType::quickTimeMovie);
    EXPECT_EQ(movieFileType("/out/film.mov", std::nullopt), FileType::quickTimeMovie);
    // Only a name without a movie extension leaves it to the job.
    EXPECT_EQ(movieFileType("/out/film.mkv", std::string("MP4")), FileType::mpeg4);
    EXPECT_EQ(movieFileType("/out/film", std::string("m4v")), FileType::mpeg4);
    EXPECT_EQ(movieFileType("/out/film", std::string("mkv")), FileType::quickTimeMovie);
    EXPECT_EQ(movieFileType("/out/film", std::nullopt), FileType::quickTimeMovie);
    Job job;
    job.output = Job::Output{};
    job.output->container = "mp4";
    EXPECT_EQ(singleVideoFileType("/out/a.mov", job), FileType::quickTimeMovie);
    EXPECT_EQ(singleVideoFileType("/out/a", job), FileType::mpeg4);
    job.output.reset();
    EXPECT_EQ(singleVideoFileType("/out/a", job), FileType::quickTimeMovie);
}

TEST(PreviewFrameRate, TrackRateThenFrameDurationThenTheJob)
{
    TempDir dir;
    EXPECT_DOUBLE_EQ(previewFrameRate(clipAt(dir, 25, 1).get(), std::nullopt), 25.0);
    EXPECT_DOUBLE_EQ(previewFrameRate(nullptr, output(24.0)), 24.0);
    EXPECT_DOUBLE_EQ(previewFrameRate(nullptr, std::nullopt), 30.0);
    EXPECT_DOUBLE_EQ(previewFrameRate(nullptr, output(0.5)), 1.0);
    test::makeStillImage(dir / "still.png", 16, 16, 1);
    EXPECT_DOUBLE_EQ(previewFrameRate(Asset::open(dir / "still.png").get(), output(50.0)), 50.0);
}

} // namespace
} // namespace velmora::Exporter
