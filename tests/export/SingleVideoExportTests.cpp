#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>

#include "JobExportFixtures.h"
#include "export/SingleVideoExport.h"
#include "export/SingleVideoPumps.h"
#include "media/MediaTestHelpers.h"
#include "model/Job.h"
#include "platform/foundation/NumberText.h"
#include "platform/media/ImageGenerator.h"
#include "platform/media/MediaError.h"
#include "platform/media/PixelBufferImage.h"
#include "support/CubeTexts.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

namespace velmora::Exporter {
namespace {

using test::TempDir;

Job jobFrom(const nlohmann::json& json)
{
    return Job::fromJSON(json.dump());
}

struct Comp {
    double contrast = 1;
    double saturation = 1;
    double brightness = 0;
    double tint = 0;
};

ExportResult exportWith(const nlohmann::json& jobJson, const std::filesystem::path& input,
                        const std::filesystem::path& output, const std::string& gammaMode = "rec709", Comp comp = {},
                        const std::optional<std::filesystem::path>& mediaFolder = std::nullopt,
                        const std::optional<std::filesystem::path>& lutOverride = std::nullopt,
                        SingleVideoExportOptions options = {})
{
    return exportSingleVideo(jobFrom(jobJson), lutOverride, input, mediaFolder, output, 2000000, gammaMode,
                             comp.contrast, comp.saturation, comp.brightness, comp.tint, options);
}

void makeStamps(const std::filesystem::path& path, int frames, bool audio = false, int rotation = 0)
{
    test::ClipSettings clipSettings;
    clipSettings.frameCount = frames;
    clipSettings.audio = audio;
    clipSettings.rotation = rotation;
    clipSettings.videoArgs = "-preset ultrafast -qp 0";
    test::makeClip(path, clipSettings);
}

std::vector<int> iota(int first, int count)
{
    std::vector<int> values;
    for (int i = 0; i < count; ++i) {
        values.push_back(first + i);
    }
    return values;
}

template <class Body>
Error errorOf(Body&& body)
{
    try {
        body();
    } catch (const Error& error) {
        return error;
    }
    ADD_FAILURE() << "no error was thrown";
    return Error("none", 0, "");
}

// ---- settings --------------------------------------------------------------------------------

AssetTrack videoTrack(int width, int height, int rotation = 0)
{
    AssetTrack track;
    track.mediaType = MediaType::video;
    track.width = width;
    track.height = height;
    track.rotationDegrees = rotation;
    return track;
}

TEST(SingleVideoOutputSize, ScalesDownToTheMaximumWidthWithEvenSides)
{
    EXPECT_EQ(singleVideoOutputSize(videoTrack(1920, 1080), 1280), (std::pair{1280, 720}));
    EXPECT_EQ(singleVideoOutputSize(videoTrack(1920, 1080), 1001), (std::pair{1000, 562}));
    EXPECT_EQ(singleVideoOutputSize(videoTrack(1920, 1080), 1), (std::pair{2, 2}));
}

TEST(SingleVideoOutputSize, KeepsTheSourceSizeWithoutAUsableSmallerMaximum)
{
    EXPECT_EQ(singleVideoOutputSize(videoTrack(1920, 1080), 1920), (std::pair{1920, 1080}));
    EXPECT_EQ(singleVideoOutputSize(videoTrack(1920, 1080), 4000), (std::pair{1920, 1080}));
    EXPECT_EQ(singleVideoOutputSize(videoTrack(1920, 1080), 0), (std::pair{1920, 1080}));
    EXPECT_EQ(singleVideoOutputSize(videoTrack(1920, 1080), std::nullopt), (std::pair{1920, 1080}));
    EXPECT_EQ(singleVideoOutputSize(videoTrack(161, 97), std::nullopt), (std::pair{161, 97}));
}

TEST(SingleVideoOutputSize, UsesTheDisplayOrientation)
{
    EXPECT_EQ(singleVideoOutputSize(videoTrack(1920, 1080, 90), std::nullopt), (std::pair{1080, 1920}));
    EXPECT_EQ(singleVideoOutputSize(videoTrack(1920, 1080, 270), 540), (std::pair{540, 960}));
    EXPECT_EQ(singleVideoOutputSize(videoTrack(1920, 1080, 180), std::nullopt), (std::pair{1920, 1080}));
}

TEST(SingleVideoBitrate, ScalesFrom2160p5994WithinItsLimits)
{
    EXPECT_EQ(singleVideoAutomaticBitrate(3840, 2160, 59.94), 150000000);
    EXPECT_EQ(singleVideoAutomaticBitrate(1920, 1080, 29.97), 20000000);
    EXPECT_EQ(singleVideoAutomaticBitrate(3840, 2160, 120), 200000000);
    EXPECT_EQ(singleVideoAutomaticBitrate(3840, 2160, 29.97), 75000000);
}

// A LUT override chosen grades in place of the job's own; one that cannot be used is refused by
// name, saying why, and never left out for the job's LUT.
TEST(SingleVideoLut, AnOverrideThatCannotBeUsedIsRefusedByName)
{
    TempDir dir;
    const Job job = jobFrom(test::singleVideoJob(test::identityCubeText()));
    test::writeTextFile(dir / "look.cube", test::constantCubeText(0.1, 0.2, 0.3));
    const std::optional<CubeLUT> chosen = singleVideoCube(dir / "look.cube", job, std::nullopt);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->data, parseCube(test::constantCubeText(0.1, 0.2, 0.3)).data);
    const auto refusal = [&](const std::filesystem::path& override) {
        try {
            singleVideoCube(override, job, std::nullopt);
        } catch (const Error& error) {
            EXPECT_EQ(error.domain(), "export");
            EXPECT_EQ(error.code(), SingleVideoExportCode::missingLut);
            return error.message();
        }
        return std::string("graded");
    };
    const std::string tip = "\n\nTip: choose another LUT override, or none.";
    EXPECT_EQ(refusal(dir / "gone.cube"), "LUT override gone.cube cannot be read: No such file or directory" + tip);
    std::filesystem::create_symlink("/proc/self/mem", dir / "mem.cube");
    EXPECT_EQ(refusal(dir / "mem.cube"), "LUT override mem.cube cannot be read: Input/output error" + tip);
    test::writeTextFile(dir / "text.cube", "TITLE \"no size\"");
    EXPECT_EQ(refusal(dir / "text.cube"),
              "LUT override text.cube cannot be read: it names no LUT_3D_SIZE" + tip);
    test::writeTextFile(dir / "short.cube", "LUT_3D_SIZE 3\n0 0 0\n");
    EXPECT_EQ(refusal(dir / "short.cube"),
              "LUT override short.cube cannot be read: it holds fewer entries than its LUT_3D_SIZE needs" + tip);
    if (::geteuid() != 0) {
        test::writeTextFile(dir / "locked.cube", test::identityCubeText());
        std::filesystem::permissions(dir / "locked.cube", std::filesystem::perms::none);
        EXPECT_EQ(refusal(dir / "locked.cube"), "LUT override locked.cube cannot be read: Permission denied" + tip);
    }
}

// The job's own LUT named by file is looked up in the media folder, by the export and by its
// preview alike.
TEST(SingleVideoLut, TheJobsLutFileIsFoundInTheMediaFolder)
{
    TempDir dir;
    test::writeTextFile(dir / "look.cube", test::constantCubeText(0.1, 0.2, 0.3));
    const std::optional<CubeLUT> found = singleVideoCube(std::nullopt, jobFrom(test::singleVideoJob("look.cube")), dir.path());
    ASSERT_TRUE(found);
    EXPECT_EQ(found->data, parseCube(test::constantCubeText(0.1, 0.2, 0.3)).data);
    EXPECT_FALSE(singleVideoCube(std::nullopt, jobFrom(test::singleVideoJob(" None\n")), dir.path()));
}

TEST(SingleVideoLut, LoaderNeverFails)
{
    TempDir dir;
    std::filesystem::create_directories(dir / "luts");
    test::writeTextFile(dir / "luts" / "look.cube", test::identityCubeText());
    test::writeTextFile(dir / "None", test::identityCubeText());

    EXPECT_FALSE(singleVideoCubeLoader("None", dir.path()));
    EXPECT_FALSE(singleVideoCubeLoader(" None\n", dir.path()));
    const auto inline_ = singleVideoCubeLoader(test::constantCubeText(0.1, 0.2, 0.3), std::nullopt);
    ASSERT_TRUE(inline_);
    EXPECT_EQ(inline_->size, 3);
    // Claims a size it does not fill: not an error, just no LUT.
    EXPECT_FALSE(singleVideoCubeLoader("LUT_3D_SIZE 4\n0 0 0\n", std::nullopt));
    const auto byName = singleVideoCubeLoader("look.cube", dir.path());
    ASSERT_TRUE(byName);
    EXPECT_EQ(byName->size, 3);
    EXPECT_FALSE(singleVideoCubeLoader("look.cube", std::nullopt));
    EXPECT_FALSE(singleVideoCubeLoader("elsewhere.cube", dir.path()));
    EXPECT_FALSE(singleVideoCubeLoader("", dir.path()));
}

TEST(SingleVideoFrameGradeSteps, LimitsTheCompensationAndSkipsNeutralSteps)
{
    const Image frame = Image::filled(4, 2, Color{0.6f, 0.5f, 0.4f, 1});
    SingleVideoFrameGrade grade;
    grade.width = 4;
    grade.height = 2;
    const auto neutral = gradeSingleVideoFrame(frame, grade);
    ASSERT_TRUE(neutral);
    EXPECT_TRUE(neutral->isIdenticalTo(frame));

    grade.compContrast = 10;
    const Color atTen = gradeSingleVideoFrame(frame, grade)->pixel(1, 1);
    grade.compContrast = 4;
    const Color atFour = gradeSingleVideoFrame(frame, grade)->pixel(1, 1);
    EXPECT_EQ(atTen, atFour);
    EXPECT_FLOAT_EQ(atFour.r, (0.6f - 0.5f) * 4 + 0.5f);
}

TEST(SingleVideoFrameGradeSteps, TurnsAndFitsTheFrameToTheOutput)
{
    // A 4 × 2 frame shown turned a quarter clockwise becomes 2 × 4, then scaled to 4 × 8.
    Image frame = Image::filled(4, 2, Color{0, 0, 0, 1});
    frame.mutableRow(0)[0] = 1; // top-left pixel red
    SingleVideoFrameGrade grade;
    grade.orientation = AffineTransform{0, 1, -1, 0, 2, 0};
    grade.width = 4;
    grade.height = 8;
    const auto turned = gradeSingleVideoFrame(frame, grade);
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->extent(), (Rect{0, 0, 4, 8}));
    // The top-left corner of the picture ends at the top-right.
    EXPECT_GT(turned->pixel(3, 7).r, 0.9f);
    EXPECT_LT(turned->pixel(0, 7).r, 0.1f);
}

// ---- movies ------------------------------------------------------------------------------------

TEST(SingleVideoExport, GradesEveryFrameWithTheLutCompensationAndGamma)
{
    TempDir dir;
    test::makeFlatVideo(dir / "flat.mp4", 126, 10);
    const auto job = test::singleVideoJob(test::constantCubeText(0.2, 0.4, 0.6));
    const ExportResult result = exportWith(job, dir / "flat.mp4", dir / "graded.mov", "g24", Comp{1, 1, 0.1, 0.2});
    EXPECT_EQ(result, (ExportResult{dir / "graded.mov", 25, 64, 48}));

    const auto stream = test::ffprobeStream(dir / "graded.mov", "v:0", true);
    EXPECT_EQ(stream["codec_name"], "hevc");
    EXPECT_EQ(stream["pix_fmt"], "yuv420p10le");
    EXPECT_EQ(stream["width"], 64);
    EXPECT_EQ(stream["height"], 48);
    EXPECT_EQ(stream["nb_read_frames"], "10");
    EXPECT_EQ(stream["r_frame_rate"], "25/1");
    EXPECT_EQ(stream["color_transfer"], "bt709");
    EXPECT_EQ(stream["color_primaries"], "bt709");
    EXPECT_EQ(stream["color_space"], "bt709");

    // LUT (0.2, 0.4, 0.6), brightness +0.1, tint gains (1 - 0.07, 1 + 0.14, 1 - 0.07), then
    // gamma 2.4 / 2.2.
    const double power = 2.4 / 2.2;
    const double expected[3] = {std::pow(0.3 * 0.93, power), std::pow(0.5 * 1.14, power),
                                std::pow(0.7 * 0.93, power)};
    const auto frames = test::decodedFrames(dir / "graded.mov");
    ASSERT_EQ(frames.size(), 10u);
    for (const auto& frame : frames) {
        const Color c = test::meanColor(frame);
        EXPECT_NEAR(c.r, expected[0], 0.01);
        EXPECT_NEAR(c.g, expected[1], 0.01);
        EXPECT_NEAR(c.b, expected[2], 0.01);
    }
}

TEST(SingleVideoExport, WithoutALutTheFrameKeepsItsColour)
{
    TempDir dir;
    test::makeFlatVideo(dir / "flat.mp4", 126, 3);
    std::filesystem::create_directories(dir / "media");
    // "None" stays "None" even where a file of that name would resolve.
    test::writeTextFile(dir / "media" / "None", test::constantCubeText(1, 0, 0));
    exportWith(test::singleVideoJob("None"), dir / "flat.mp4", dir / "none.mov", "rec709", {}, dir / "media");
    const double grey = (126 - 16) / 219.0;
    const Color c = test::meanColor(test::decodedFrames(dir / "none.mov").front());
    EXPECT_NEAR(c.r, grey, 0.01);
    EXPECT_NEAR(c.g, grey, 0.01);
    EXPECT_NEAR(c.b, grey, 0.01);
}

TEST(SingleVideoExport, LooksUpALutFileThroughTheMediaFolder)
{
    TempDir dir;
    test::makeFlatVideo(dir / "flat.mp4", 126, 2);
    std::filesystem::create_directories(dir / "media" / "LUTs");
    test::writeTextFile(dir / "media" / "LUTs" / "Look.cube", test::constantCubeText(0.25, 0.5, 0.75));
    exportWith(test::singleVideoJob("Look.cube"), dir / "flat.mp4", dir / "out.mov", "rec709", {}, dir / "media");
    const Color c = test::meanColor(test::decodedFrames(dir / "out.mov").front());
    EXPECT_NEAR(c.r, 0.25, 0.01);
    EXPECT_NEAR(c.g, 0.5, 0.01);
    EXPECT_NEAR(c.b, 0.75, 0.01);

    // The override file replaces the job's LUT.
    test::writeTextFile(dir / "override.cube", test::constantCubeText(0.75, 0.5, 0.25));
    exportWith(test::singleVideoJob("Look.cube"), dir / "flat.mp4", dir / "override.mov", "rec709", {}, dir / "media",
               dir / "override.cube");
    EXPECT_NEAR(test::meanColor(test::decodedFrames(dir / "override.mov").front()).r, 0.75, 0.01);
}

// A LUT named that gives no cube fails before anything is written, saying which LUT and how to
// give one; the job's LUT file is not found where the job has no media folder.
TEST(SingleVideoExport, ALutNamedThatGivesNoCubeIsRefusedBeforeWriting)
{
    TempDir dir;
    test::makeFlatVideo(dir / "flat.mp4", 126, 2);
    test::writeTextFile(dir / "text.cube", "TITLE \"no size\"");
    test::writeTextFile(dir / "swap_rb2.cube", test::twoPointCubeText());
    const auto refusal = [&](const std::string& lut, const std::optional<std::filesystem::path>& override) {
        try {
            exportWith(test::singleVideoJob(lut), dir / "flat.mp4", dir / "out.mov", "rec709", {}, dir.path(),
                       override);
        } catch (const Error& error) {
            EXPECT_EQ(error.code(), SingleVideoExportCode::missingLut);
            return error.message();
        }
        return std::string("exported");
    };
    EXPECT_EQ(refusal("look.cube", std::nullopt),
              "Missing LUT file:\nlook.cube\n\nTip: choose the .cube file (or another LUT) as the LUT override.");
    EXPECT_EQ(refusal("swap_rb2.cube", std::nullopt),
              "swap_rb2.cube is not a usable LUT: LUT_3D_SIZE 2 (needs 3 or more)\n\nTip: choose a usable .cube file "
              "(or another LUT) as the LUT override.");
    EXPECT_EQ(refusal("LUT_3D_SIZE 9\n1 0 0\n", std::nullopt),
              "This job's LUT is not usable .cube text: it holds fewer entries than its LUT_3D_SIZE needs. Choose a "
              "LUT override to give the job one.");
    // A file that names a size but does not read as a cube is refused with the reader's reason.
    test::writeTextFile(dir / "trunc.cube", test::truncatedCubeText());
    EXPECT_EQ(refusal("trunc.cube", std::nullopt),
              "trunc.cube is not a usable LUT: it holds fewer entries than its LUT_3D_SIZE needs\n\nTip: choose a "
              "usable .cube file (or another LUT) as the LUT override.");
    EXPECT_EQ(refusal("None", dir / "text.cube"), "LUT override text.cube cannot be read: it names no LUT_3D_SIZE\n\n"
                                                  "Tip: choose another LUT override, or none.");
    EXPECT_FALSE(std::filesystem::exists(dir / "out.mov"));
    test::writeTextFile(dir / "look.cube", test::identityCubeText());
    EXPECT_EQ(refusal("look.cube", dir / "look.cube"), "exported");
}

TEST(SingleVideoExport, StampsFramesByCountAtTheResolvedRate)
{
    TempDir dir;
    makeStamps(dir / "stamps.mp4", 20);
    const auto job = test::singleVideoJob("None", {{"fpsNum", 30000}, {"fpsDen", 1001}});
    const ExportResult result = exportWith(job, dir / "stamps.mp4", dir / "out.mp4");
    EXPECT_DOUBLE_EQ(result.fps, 30000.0 / 1001.0);
    EXPECT_EQ(test::decodedStamps(dir / "out.mp4"), iota(0, 20));

    std::vector<double> times;
    for (const auto& packet : test::ffprobePackets(dir / "out.mp4")) {
        times.push_back(packet.ptsSeconds);
    }
    std::sort(times.begin(), times.end());
    ASSERT_EQ(times.size(), 20u);
    for (int n = 0; n < 20; ++n) {
        EXPECT_NEAR(times[n], n * 1001.0 / 30000.0, 1e-6) << n;
    }
}

TEST(SingleVideoExport, TrimmedSourceStartsItsSoundWithItsFirstFrame)
{
    TempDir dir;
    makeStamps(dir / "av.mov", 50, true);
    auto job = test::singleVideoJob("None");
    job["sourceInSeconds"] = 1.0;
    job["sourceOutSeconds"] = 1.6;
    exportWith(job, dir / "av.mov", dir / "out.mov");
    EXPECT_EQ(test::decodedStamps(dir / "out.mov"), iota(25, 15));

    const auto audio = test::ffprobeStream(dir / "out.mov", "a:0");
    EXPECT_EQ(audio["codec_name"], "aac");
    EXPECT_EQ(audio["sample_rate"], "48000");
    EXPECT_EQ(audio["channels"], 2);
    // Written from zero and as long as the range, not delayed by the in point.
    EXPECT_LT(std::stod(audio["start_time"].get<std::string>()), 0.03);
    const double audioSeconds = std::stod(audio["duration"].get<std::string>());
    EXPECT_GT(audioSeconds, 0.55);
    EXPECT_LT(audioSeconds, 0.7);
}

TEST(SingleVideoExport, RangeEdges)
{
    TempDir dir;
    makeStamps(dir / "s.mp4", 10);
    // The range is timed on the export's time base (here 1/30000 s).
    auto job = test::singleVideoJob("None", {{"fpsNum", 30000}, {"fpsDen", 1001}});
    // A 0.02 s range counts as 0.05 s, one frame of the timeline at 29.97: the frame at 0.2 s.
    job["sourceInSeconds"] = 0.2;
    job["sourceOutSeconds"] = 0.22;
    exportWith(job, dir / "s.mp4", dir / "short.mov");
    EXPECT_EQ(test::decodedStamps(dir / "short.mov"), (std::vector<int>{5}));
    // An in point at or after the out point reads everything.
    job["sourceOutSeconds"] = 0.2;
    exportWith(job, dir / "s.mp4", dir / "all.mov");
    EXPECT_EQ(test::decodedStamps(dir / "all.mov"), iota(0, 10));
}

// The range shows the frames a timeline of it would: at 29.97, 1–3 s is 60 frames from the first
// starting at or after 1 s (frame 30 at 1.001 s), not the frame before it that the range overlaps.
TEST(SingleVideoExport, ARangeShowsTheTimelinesFramesFromTheFirstAtOrAfterItsStart)
{
    TempDir dir;
    test::ClipSettings ntsc;
    ntsc.fpsNum = 30000;
    ntsc.fpsDen = 1001;
    ntsc.frameCount = 100;
    ntsc.videoArgs = "-preset ultrafast -qp 0";
    test::makeClip(dir / "ntsc.mp4", ntsc);
    auto job = test::singleVideoJob("None", {{"fpsNum", 30000}, {"fpsDen", 1001}});
    job["sourceInSeconds"] = 1.0;
    job["sourceOutSeconds"] = 3.0;
    exportWith(job, dir / "ntsc.mp4", dir / "out.mov");
    EXPECT_EQ(test::decodedStamps(dir / "out.mov"), iota(30, 60));
    const auto asset = Asset::open(dir / "ntsc.mp4");
    EXPECT_EQ(singleVideoFrames(jobFrom(job), *asset, fpsToTimebase(30000.0 / 1001)),
              (SourceFrameRange{30, 60, 30000.0 / 1001}));
}

// A range whose first frame would start after the video's last (here a 0.4 s file: its last
// frame starts at 0.36 s) has no picture to write: refused, where it used to write a movie of no
// pictures and report it done.
TEST(SingleVideoExport, ARangePastTheVideosLastFrameIsRefused)
{
    TempDir dir;
    makeStamps(dir / "s.mp4", 10);
    const auto asset = Asset::open(dir / "s.mp4");
    for (const double in : {0.39, 1.0}) {
        auto job = test::singleVideoJob("None");
        job["sourceInSeconds"] = in;
        job["sourceOutSeconds"] = in + 0.3;
        EXPECT_EQ(singleVideoFrames(jobFrom(job), *asset, fpsToTimebase(25)).value().count, 0);
        const Error error = errorOf([&] { exportWith(job, dir / "s.mp4", dir / "out.mov"); });
        EXPECT_EQ(error.domain(), "export");
        EXPECT_EQ(error.code(), 9);
        EXPECT_EQ(error.message(), "The range from " + NumberText::shortest(in) +
                                       " s starts after the last frame of the video: there is nothing to export.");
        EXPECT_FALSE(std::filesystem::exists(dir / "out.mov"));
    }
}

TEST(SingleVideoExport, VideoOnlyInputWritesVideoOnly)
{
    TempDir dir;
    makeStamps(dir / "s.mp4", 5);
    exportWith(test::singleVideoJob("None"), dir / "s.mp4", dir / "out.mov");
    const auto probe = test::ffprobe(dir / "out.mov", "-show_streams");
    ASSERT_EQ(probe["streams"].size(), 1u);
    EXPECT_EQ(probe["streams"][0]["codec_type"], "video");
}

TEST(SingleVideoExport, FitsScaledAndTurnedFramesToTheOutput)
{
    TempDir dir;
    makeStamps(dir / "s.mp4", 4);
    const ExportResult scaled =
        exportWith(test::singleVideoJob("None", {{"maxWidth", 80}}), dir / "s.mp4", dir / "small.mov");
    EXPECT_EQ(scaled.width, 80);
    EXPECT_EQ(scaled.height, 48);
    EXPECT_EQ(test::decodedStamps(dir / "small.mov"), iota(0, 4));

    makeStamps(dir / "turned.mp4", 4, false, 90);
    const ExportResult turned = exportWith(test::singleVideoJob("None"), dir / "turned.mp4", dir / "turned.mov");
    EXPECT_EQ(turned.width, 96);
    EXPECT_EQ(turned.height, 160);
    // Each frame shows the source upright, as a player would.
    ImageGenerator generator(Asset::open(dir / "turned.mp4"));
    generator.appliesPreferredTrackTransform = true;
    generator.requestedTimeToleranceBefore = MediaTime::zero();
    generator.requestedTimeToleranceAfter = MediaTime::zero();
    const auto frames = test::decodedFrames(dir / "turned.mov");
    ASSERT_EQ(frames.size(), 4u);
    for (int n = 0; n < 4; ++n) {
        const Image expected = generator.copyImage(MediaTime(n, 25));
        const Image actual = imageFromPixelBuffer(frames[n]);
        ASSERT_EQ(actual.extent(), expected.extent());
        double difference = 0;
        for (int y = 0; y < actual.height(); ++y) {
            for (int x = 0; x < actual.width(); ++x) {
                difference += std::fabs(actual.row(y)[4 * x + 1] - expected.row(y)[4 * x + 1]);
            }
        }
        EXPECT_LT(difference / (actual.width() * actual.height()), 0.03) << "frame " << n;
    }
}

TEST(SingleVideoExport, ReplacesAnExistingOutput)
{
    TempDir dir;
    makeStamps(dir / "s.mp4", 3);
    test::writeTextFile(dir / "out.mp4", "an older file");
    exportWith(test::singleVideoJob("None"), dir / "s.mp4", dir / "out.mp4");
    EXPECT_EQ(test::decodedStamps(dir / "out.mp4"), iota(0, 3));
}

TEST(SingleVideoExportFailures, TheInputIsNeverReplacedByItsOwnExport)
{
    TempDir dir;
    makeStamps(dir / "s.mp4", 3);
    std::filesystem::create_symlink(dir / "s.mp4", dir / "link.mp4");
    for (const char* output : {"s.mp4", "link.mp4"}) {
        const Error error = errorOf([&] { exportWith(test::singleVideoJob("None"), dir / "s.mp4", dir / output); });
        EXPECT_EQ(error.domain(), MediaError::domain) << output;
        EXPECT_EQ(error.code(), MediaError::writeFailed) << output;
        EXPECT_EQ(test::decodedStamps(dir / "s.mp4"), iota(0, 3)) << output;
    }
}

TEST(SingleVideoExportFailures, InputWithoutPicture)
{
    TempDir dir;
    test::ClipSettings clipSettings;
    clipSettings.videoCodec.clear();
    clipSettings.audio = true;
    clipSettings.audioSeconds = 0.5;
    test::makeClip(dir / "sound.m4a", clipSettings);
    const Error error = errorOf([&] { exportWith(test::singleVideoJob("None"), dir / "sound.m4a", dir / "out.mov"); });
    EXPECT_EQ(error.domain(), "export");
    EXPECT_EQ(error.code(), SingleVideoExportCode::noVideoTrack);
    EXPECT_EQ(error.message(), "The input file has no video track to export.");
    EXPECT_FALSE(std::filesystem::exists(dir / "out.mov"));
}

TEST(SingleVideoExportFailures, MissingInputPassesTheMediaError)
{
    TempDir dir;
    const Error error = errorOf([&] { exportWith(test::singleVideoJob("None"), dir / "gone.mp4", dir / "out.mov"); });
    EXPECT_EQ(error.domain(), MediaError::domain);
    EXPECT_EQ(error.code(), MediaError::fileNotFound);
}

TEST(SingleVideoExportFailures, AReaderThatFailsMidwayFailsTheExport)
{
    TempDir dir;
    // Ten raw frames with the index up front, the file cut in the middle of the seventh: the file
    // opens, six frames decode, then the decoder refuses the partial frame.
    const std::filesystem::path movie = dir / "cut.mov";
    test::runFFmpeg("-f lavfi -i testsrc2=s=64x48:r=25 -frames:v 10 -c:v rawvideo -pix_fmt uyvy422 "
                    "-movflags +faststart " +
                    test::shellQuote(movie.string()));
    constexpr std::uintmax_t frameBytes = 64 * 48 * 2;
    std::filesystem::resize_file(movie, std::filesystem::file_size(movie) - 3 * frameBytes - frameBytes / 2);
    const Error error = errorOf([&] { exportWith(test::singleVideoJob("None"), movie, dir / "out.mov"); });
    EXPECT_EQ(error.domain(), MediaError::domain) << error.fullDescription();
    EXPECT_EQ(error.code(), MediaError::decodeFailed) << error.fullDescription();
    EXPECT_FALSE(std::filesystem::exists(dir / "out.mov"));
}

TEST(SingleVideoExportFailures, RunningOutOfTimeStopsEverything)
{
    TempDir dir;
    makeStamps(dir / "s.mp4", 50, true);
    SingleVideoExportOptions options;
    options.waitLimitSeconds = 0;
    const Error error = errorOf([&] {
        exportWith(test::singleVideoJob("None"), dir / "s.mp4", dir / "out.mov", "rec709", {}, std::nullopt,
                   std::nullopt, options);
    });
    EXPECT_EQ(error.domain(), "export");
    EXPECT_EQ(error.code(), SingleVideoExportCode::notCompleted);
    // Nothing runs on and nothing half-written stays behind.
    EXPECT_FALSE(std::filesystem::exists(dir / "out.mov"));
}

TEST(SingleVideoExportFailures, ACancelStopsEverythingAndKeepsTheOlderMovie)
{
    TempDir dir;
    makeStamps(dir / "s.mp4", 50, true);
    test::writeTextFile(dir / "out.mov", "an older file");
    SingleVideoExportOptions options;
    std::atomic<int> asked = 0;
    options.isCancelled = [&asked] { return ++asked > 0; };
    const Error error = errorOf([&] {
        exportWith(test::singleVideoJob("None"), dir / "s.mp4", dir / "out.mov", "rec709", {}, std::nullopt,
                   std::nullopt, options);
    });
    EXPECT_EQ(error.fullDescription(), "Error Domain=export Code=248 \"Export cancelled.\"");
    EXPECT_GE(asked.load(), 1);
    EXPECT_EQ(test::readTextFile(dir / "out.mov"), "an older file");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 2);
}

TEST(SingleVideoExportStills, AStillIsOneFrameAtTheMovieSize)
{
    TempDir dir;
    test::makeStillImage(dir / "still.png", 640, 320, 0x15);
    const ExportResult result =
        exportWith(test::singleVideoJob("None", {{"maxWidth", 160}}), dir / "still.png", dir / "out.mov");
    EXPECT_EQ(result.width, 160);
    EXPECT_EQ(result.height, 80);
    const auto stream = test::ffprobeStream(dir / "out.mov", "v:0", true);
    EXPECT_EQ(stream["width"], 160);
    EXPECT_EQ(stream["height"], 80);
    EXPECT_EQ(stream["nb_read_frames"], "1");
}

TEST(SingleVideoExportFailures, APictureOfAnAbsurdSizeFailsWithItsMessage)
{
    TempDir dir;
    test::makePngClaimingSize(dir / "claims.png", 100000, 100000);
    const Error error = errorOf([&] { exportWith(test::singleVideoJob("None"), dir / "claims.png", dir / "out.mov"); });
    EXPECT_EQ(error.domain(), MediaError::domain);
    EXPECT_EQ(error.message(), "The picture of \u201cclaims.png\u201d cannot be read (Invalid image size).");
    EXPECT_FALSE(std::filesystem::exists(dir / "out.mov"));
}

// A small disk of its own (a tmpfs mount, which needs the privilege to mount), gone with it.
class SmallDisk {
public:
    SmallDisk(std::filesystem::path folder, const char* size) : folder_(std::move(folder))
    {
        std::filesystem::create_directories(folder_);
        const std::string options = std::string("size=") + size;
        mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallDisk()
    {
        if (mounted_) {
            ::umount2(folder_.c_str(), MNT_DETACH);
        }
    }
    bool mounted() const { return mounted_; }

private:
    std::filesystem::path folder_;
    bool mounted_ = false;
};

// The writer fails part-way on every run (the disk fills up): each run ends promptly with the
// writer's error naming the user's file, and the older movie stays as it was.
TEST(SingleVideoExportFailures, AFullDiskEndsTheExportAndKeepsTheOlderMovie)
{
    TempDir dir;
    const SmallDisk disk(dir / "disk", "600k");
    if (!disk.mounted()) {
        GTEST_SKIP() << "cannot mount a small disk here";
    }
    test::ClipSettings clip;
    clip.width = 320;
    clip.height = 180;
    clip.frameCount = 75;
    clip.audio = true;
    clip.pattern = test::ClipPattern::testsrc2;
    clip.videoArgs = "-preset ultrafast";
    test::makeClip(dir / "s.mp4", clip);
    test::writeTextFile(dir / "disk" / "out.mov", "the older movie");
    SingleVideoExportOptions options;
    options.waitLimitSeconds = 600; // a hang shows as the test's own time-out
    for (int run = 0; run < 6; ++run) {
        const Error error = errorOf([&] {
            exportSingleVideo(jobFrom(test::singleVideoJob("None")), std::nullopt, dir / "s.mp4", std::nullopt,
                              dir / "disk" / "out.mov", 100'000'000, "rec709", 1, 1, 0, 0, options);
        });
        EXPECT_EQ(error.domain(), MediaError::domain) << error.fullDescription();
        EXPECT_NE(error.message().find("No space left on device"), std::string::npos) << error.message();
        EXPECT_NE(error.message().find("out.mov"), std::string::npos) << error.message();
        EXPECT_EQ(error.message().find(".partial"), std::string::npos) << error.message();
        EXPECT_EQ(test::readTextFile(dir / "disk" / "out.mov"), "the older movie");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "disk"), {}), 1) << "a partial file stayed";
    }
}

TEST(SingleVideoExportFailures, AnOutputFolderThatDoesNotExist)
{
    TempDir dir;
    makeStamps(dir / "s.mp4", 2);
    const Error error =
        errorOf([&] { exportWith(test::singleVideoJob("None"), dir / "s.mp4", dir / "nowhere" / "out.mov"); });
    // Refused when the export creates the file it writes, with the file system's reason.
    EXPECT_EQ(error.domain(), "file");
    EXPECT_EQ(error.code(), ENOENT);
    EXPECT_EQ(error.message(), "Could not write \u201Cout.mov\u201D: No such file or directory.");
}

} // namespace
} // namespace velmora::Exporter
