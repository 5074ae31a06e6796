#include <gtest/gtest.h>

#include <sys/stat.h>

#include <vector>

#include <cmath>
#include <functional>

#include "JobExportFixtures.h"
#include "export/JobPreviewStill.h"
#include "grading/GradeKernels.h"
#include "grading/GradingCaches.h"
#include "media/MediaTestHelpers.h"
#include "model/JsonDecoding.h"
#include "platform/foundation/Error.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"
#include "ui/ScopedEnvironment.h"

namespace velmora::Exporter {
namespace {

using nlohmann::json;
using test::TempDir;

json clipJson(const std::string& id, const std::string& type, double inPoint, double outPoint)
{
    return {{"id", id}, {"type", type}, {"sourceId", "s1"}, {"track", 1}, {"startTime", 0},
            {"duration", outPoint - inPoint}, {"inPoint", inPoint}, {"outPoint", outPoint}};
}

using test::timelineJob;

Error errorOf(const std::function<void()>& body)
{
    try {
        body();
    } catch (const Error& error) {
        return error;
    }
    ADD_FAILURE() << "no error was thrown";
    return Error("none", 0, "");
}

void expectPreviewError(const Error& error, int code, const std::string& message)
{
    EXPECT_EQ(error.domain(), "preview");
    EXPECT_EQ(error.code(), code);
    EXPECT_EQ(error.message(), message);
}

// A folder with a job file and media: a.mp4, 50 frame-stamped frames of 160 × 96 at 25 fps.
class PreviewStill : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        clipFolder_ = new TempDir;
        test::ClipSettings clipSettings;
        clipSettings.frameCount = 50;
        clipSettings.videoArgs = "-preset ultrafast -qp 0 -g 10";
        test::makeClip(*clipFolder_ / "a.mp4", clipSettings);
    }
    static void TearDownTestSuite()
    {
        delete clipFolder_;
        clipFolder_ = nullptr;
    }

    void SetUp() override
    {
        std::filesystem::create_directories(media());
        std::filesystem::copy_file(*clipFolder_ / "a.mp4", media() / "a.mp4");
    }

    std::filesystem::path media() const { return dir_ / "media"; }

    PreviewFrameResult render(const json& job, std::optional<double> time = std::nullopt,
                              const std::optional<std::filesystem::path>& lutOverride = std::nullopt,
                              const std::optional<std::filesystem::path>& input = std::nullopt,
                              std::optional<std::filesystem::path> mediaFolder = {}, double brightness = 0,
                              const std::string& gamma = "rec709")
    {
        test::writeTextFile(dir_ / "job.json", job.is_string() ? job.get<std::string>() : job.dump());
        return renderPreviewFrame(dir_ / "job.json", lutOverride, input, mediaFolder ? mediaFolder : media(), time,
                                  gamma, 1, 1, brightness, 0);
    }

    static TempDir* clipFolder_;
    TempDir dir_;
};

TempDir* PreviewStill::clipFolder_ = nullptr;

// ---- single video ----------------------------------------------------------------------------

TEST_F(PreviewStill, SingleVideoShowsTheClampedTimeThroughTheJobLut)
{
    const json job = test::singleVideoJob(test::constantCubeText(0.2, 0.4, 0.6));
    const PreviewFrameResult middle = render(job, std::nullopt, std::nullopt, media() / "a.mp4", std::nullopt, 0.1);
    EXPECT_DOUBLE_EQ(middle.displayTimeSeconds, 1.0);
    EXPECT_DOUBLE_EQ(middle.pickedTimeSeconds, 1.0);
    EXPECT_DOUBLE_EQ(middle.minTimeSeconds, 0);
    EXPECT_DOUBLE_EQ(middle.maxTimeSeconds, 2.0);
    EXPECT_EQ(middle.label, "a.mp4");
    EXPECT_EQ(middle.debugGrade, "");
    EXPECT_EQ(middle.cgImage.extent(), (Rect{0, 0, 160, 96}));
    const Color c = middle.cgImage.pixel(80, 48);
    EXPECT_NEAR(c.r, 0.3, 1e-5);
    EXPECT_NEAR(c.g, 0.5, 1e-5);
    EXPECT_NEAR(c.b, 0.7, 1e-5);

    EXPECT_DOUBLE_EQ(render(job, 7.5, std::nullopt, media() / "a.mp4").displayTimeSeconds, 2.0);

    // Between key frames (every tenth), the frame the export writes: the first starting at or
    // after the time.
    const json identity = test::singleVideoJob(test::identityCubeText());
    EXPECT_EQ(test::stampOf(render(identity, 0.29, std::nullopt, media() / "a.mp4").cgImage), 8);
    EXPECT_EQ(test::stampOf(render(identity, 0.32, std::nullopt, media() / "a.mp4").cgImage), 8);
    EXPECT_DOUBLE_EQ(render(job, -1, std::nullopt, media() / "a.mp4").pickedTimeSeconds, 0.0);
}

TEST_F(PreviewStill, SingleVideoOverrideReplacesTheJobLut)
{
    test::writeTextFile(dir_ / "override.cube", test::constantCubeText(0.1, 0.1, 0.9));
    const auto result = render(test::singleVideoJob(test::constantCubeText(1, 1, 1)), 0.0, dir_ / "override.cube",
                               media() / "a.mp4");
    EXPECT_NEAR(result.cgImage.pixel(3, 3).b, 0.9, 1e-5);
    // An override that cannot be read is refused as the export refuses it, not left out.
    const Error gone = errorOf([&] {
        render(test::singleVideoJob(test::constantCubeText(1, 1, 1)), 0.0, dir_ / "gone.cube", media() / "a.mp4");
    });
    EXPECT_EQ(gone.fullDescription(), "Error Domain=export Code=8 \"LUT override gone.cube cannot be read: No such file "
                                      "or directory\n\nTip: choose another LUT override, or none.\"");
}

// The job's LUT named by file grades the still as it grades the export: found in the media folder.
TEST_F(PreviewStill, SingleVideoFindsTheJobsLutFileAsTheExportDoes)
{
    test::writeTextFile(media() / "look.cube", test::constantCubeText(0.1, 0.1, 0.9));
    const auto result = render(test::singleVideoJob("look.cube"), 0.0, std::nullopt, media() / "a.mp4");
    EXPECT_NEAR(result.cgImage.pixel(3, 3).b, 0.9, 1e-5);
}

TEST_F(PreviewStill, SingleVideoErrors)
{
    const json job = test::singleVideoJob(test::identityCubeText());
    expectPreviewError(errorOf([&] { render(job); }), PreviewStillCode::noInputVideo, "Choose Input Video.");
    expectPreviewError(errorOf([&] { render(job, std::nullopt, std::nullopt, dir_ / "gone.mp4"); }),
                       PreviewStillCode::decodeFailed, "Failed to decode preview frame.");
    test::ClipSettings sound;
    sound.videoCodec.clear();
    sound.audio = true;
    sound.audioSeconds = 0.3;
    test::makeClip(dir_ / "sound.m4a", sound);
    expectPreviewError(errorOf([&] { render(job, std::nullopt, std::nullopt, dir_ / "sound.m4a"); }),
                       PreviewStillCode::decodeFailed, "Failed to decode preview frame.");
    // The single-video path always needs a LUT that parses; its error says so in words.
    const std::string remedy =
        "The Match Grade preview grades through a LUT: choose a LUT override to give the job one.";
    for (const char* none : {"", "None"}) {
        const Error cube = errorOf([&] { render(test::singleVideoJob(none), 0.0, std::nullopt, media() / "a.mp4"); });
        EXPECT_EQ(cube.fullDescription(), "Error Domain=cube Code=1 \"This job has no LUT. " + remedy + "\"");
    }
    // A LUT the export refuses, the still refuses with the export's own words.
    const Error named =
        errorOf([&] { render(test::singleVideoJob("look.cube"), 0.0, std::nullopt, media() / "a.mp4"); });
    EXPECT_EQ(named.message(),
              "Missing LUT file:\nlook.cube\n\nTip: choose the .cube file (or another LUT) as the LUT override.");
    test::writeTextFile(dir_ / "short.cube", "LUT_3D_SIZE 2\n0 0 0\n");
    const Error overridden = errorOf([&] { render(job, 0.0, dir_ / "short.cube", media() / "a.mp4"); });
    EXPECT_EQ(overridden.fullDescription(), "Error Domain=export Code=8 \"LUT override short.cube cannot be read: "
                                            "LUT_3D_SIZE 2 (needs 3 or more)\n\nTip: choose another LUT override, "
                                            "or none.\"");
    EXPECT_EQ(errorOf([&] { render(json{{"version", 1}}, 0.0, std::nullopt, media() / "a.mp4"); }).message(),
              "Could not load \u201Cjob.json\u201D: The value at \u201Cgrade\u201D is missing.");
}

TEST_F(PreviewStill, AnUnreadableJobFileIsAFileError)
{
    const Error error = errorOf(
        [&] { renderPreviewFrame(dir_ / "none.json", std::nullopt, std::nullopt, media(), 0.0, "rec709", 1, 1, 0, 0); });
    EXPECT_EQ(error.domain(), "file");
}

// ---- timeline ----------------------------------------------------------------------------------

TEST_F(PreviewStill, TimelineShowsTheSnappedSourceFrameOfTheFirstPictureClip)
{
    json text = clipJson("t", "text", 0, 2);
    json later = clipJson("v2", "video", 1.6, 1.8);
    later["track"] = 1;
    json first = clipJson("v1", " Video ", 0.4, 1.2);
    first["track"] = 3;
    first["startTime"] = 5;
    const json job = timelineJob({text, first, later});

    const PreviewFrameResult middle = render(job);
    EXPECT_DOUBLE_EQ(middle.displayTimeSeconds, 0.8);
    EXPECT_NEAR(middle.pickedTimeSeconds, 0.8, 1e-9);
    EXPECT_DOUBLE_EQ(middle.minTimeSeconds, 0.4);
    EXPECT_DOUBLE_EQ(middle.maxTimeSeconds, 1.2);
    EXPECT_EQ(middle.label, "a.mp4");
    EXPECT_EQ(test::stampOf(middle.cgImage), 20);
    // The job-wide LUT plays no part here.
    EXPECT_EQ(middle.cgImage.extent(), (Rect{0, 0, 160, 96}));

    // The frame an export writes there: the first starting at or after the time.
    const PreviewFrameResult snapped = render(job, 0.41);
    EXPECT_DOUBLE_EQ(snapped.displayTimeSeconds, 0.44);
    EXPECT_EQ(test::stampOf(snapped.cgImage), 11);
    EXPECT_EQ(test::stampOf(render(job, 0.44 + 5e-7).cgImage), 11);
    EXPECT_DOUBLE_EQ(render(job, 9.0).displayTimeSeconds, 1.2);
    EXPECT_EQ(test::stampOf(render(job, 0.0).cgImage), 10);

    // A range ending inside a frame: a time near its end shows the frame the export writes there,
    // which starts after the out point, while the time shown stays within the range.
    const PreviewFrameResult nearEnd = render(timelineJob({clipJson("v", "video", 0.4, 0.43)}), 0.4125);
    EXPECT_DOUBLE_EQ(nearEnd.displayTimeSeconds, 0.43);
    EXPECT_NEAR(nearEnd.pickedTimeSeconds, 0.44, 1e-9);
    EXPECT_EQ(test::stampOf(nearEnd.cgImage), 11);
    // Asked again, the frame comes from the cache, picked at the same time.
    EXPECT_NEAR(render(timelineJob({clipJson("v", "video", 0.4, 0.43)}), 0.4125).pickedTimeSeconds, 0.44, 1e-9);
}

// The first picture clip of the job follows a piece of its file that ends where it starts: it
// continues from that piece's end, as the export reads it, its range moved along.
TEST_F(PreviewStill, AClipContinuingAPieceOfItsFileShowsWhatFollowsThatPiece)
{
    json second = clipJson("v2", "video", 0.2, 0.6);
    second["startTime"] = 1.0;
    const json first = clipJson("v1", "video", 0.4, 1.4); // 0 ... 1 s on the timeline
    const PreviewFrameResult middle = render(timelineJob({second, first}));
    EXPECT_DOUBLE_EQ(middle.minTimeSeconds, 1.4);
    EXPECT_DOUBLE_EQ(middle.maxTimeSeconds, 1.8);
    EXPECT_DOUBLE_EQ(middle.displayTimeSeconds, 1.6);
    EXPECT_EQ(test::stampOf(middle.cgImage), 40);
}

// Past the end of the file's 2 s of video the still is black, as every export shows the clip
// there, not the file's last frame.
TEST_F(PreviewStill, PastTheEndOfTheFilesVideoTheStillIsBlack)
{
    const json job = timelineJob({clipJson("v", "video", 1.5, 3.0)});
    EXPECT_EQ(test::stampOf(render(job, 1.96).cgImage), 49);
    for (const double t : {2.0, 2.5}) {
        const Color c = render(job, t).cgImage.pixel(5, 48);
        EXPECT_LT(c.r + c.g + c.b, 0.01) << t;
    }
}

// A timeline job's still refuses a LUT override that cannot be used as its export does.
TEST_F(PreviewStill, TimelineRefusesAnOverrideThatCannotBeUsedAsItsExportDoes)
{
    const json job = timelineJob({clipJson("v", "video", 0.0, 1.0)});
    const Error gone = errorOf([&] { render(job, 0.5, dir_ / "gone.cube"); });
    EXPECT_EQ(gone.fullDescription(), "Error Domain=export Code=214 \"LUT override gone.cube cannot be read: No such file "
                                      "or directory\n\nTip: choose another LUT override, or none.\"");
}

// A clip without an out point ranges over what its speed reads, as its export does: at 2× its
// half second on the timeline reads 0.2 … 1.2 s of the file.
TEST_F(PreviewStill, AClipWithoutOutPointRangesOverWhatItsSpeedReads)
{
    const json clip = {{"id", "v"},      {"type", "video"},  {"sourceId", "s1"}, {"startTime", 0},
                       {"duration", 0.5}, {"inPoint", 0.2}, {"speed", 2}};
    const PreviewFrameResult late = render(timelineJob({clip}), 1.1);
    EXPECT_DOUBLE_EQ(late.minTimeSeconds, 0.2);
    EXPECT_DOUBLE_EQ(late.maxTimeSeconds, 1.2);
    EXPECT_DOUBLE_EQ(late.displayTimeSeconds, 1.12);
    EXPECT_EQ(test::stampOf(late.cgImage), 28);
}

TEST_F(PreviewStill, ClipWithoutOutPointOrDurationStaysAtItsInPoint)
{
    json clip = {{"id", "v"}, {"type", "video"}, {"sourceId", "s1"}, {"inPoint", 0.6}};
    const auto result = render(timelineJob({clip}), 1.5);
    EXPECT_DOUBLE_EQ(result.displayTimeSeconds, 0.6);
    EXPECT_DOUBLE_EQ(result.maxTimeSeconds, 0.6);
    EXPECT_EQ(test::stampOf(result.cgImage), 15);
}

TEST_F(PreviewStill, FitsTheFrameToTheJobsOutputSize)
{
    json job = timelineJob({clipJson("v", "video", 0, 1)});
    job["output"] = {{"width", 80}};
    job["project"]["height"] = 48;
    const auto result = render(job, 0.2);
    EXPECT_EQ(result.cgImage.extent(), (Rect{0, 0, 80, 48}));
    EXPECT_EQ(test::stampOf(result.cgImage), 5);
}

TEST_F(PreviewStill, EitherToolOrTimelinesMakeATimelineJob)
{
    json edit = timelineJob({clipJson("v", "video", 0, 1)});
    edit["tool"] = "velmora-editor-desktop-edit-return";
    EXPECT_EQ(render(edit, 0.0).label, "a.mp4");
    json untooled = timelineJob({clipJson("v", "video", 0, 1)});
    untooled["tool"] = "something else";
    EXPECT_EQ(render(untooled, 0.0).label, "a.mp4");
}

TEST_F(PreviewStill, TimelineErrors)
{
    const json ok = timelineJob({clipJson("v", "video", 0, 1)});
    test::writeTextFile(dir_ / "job.json", ok.dump());
    expectPreviewError(errorOf([&] {
                           renderPreviewFrame(dir_ / "job.json", std::nullopt, media() / "a.mp4", std::nullopt, 0.0,
                                              "rec709", 1, 1, 0, 0);
                       }),
                       PreviewStillCode::noMediaFolder, "Choose Media Folder.");

    json noTimelines = ok;
    noTimelines["timelines"] = json::array();
    noTimelines["tool"] = "velmora-editor-desktop-edit";
    expectPreviewError(errorOf([&] { render(noTimelines); }), PreviewStillCode::noTimeline, "No timeline in job.");

    expectPreviewError(errorOf([&] { render(timelineJob({clipJson("t", "text", 0, 1), clipJson("a", "audio", 0, 1)})); }),
                       PreviewStillCode::noVideoClip, "No video clip in timeline.");

    json unsourced = clipJson("v", "image", 0, 1);
    unsourced.erase("sourceId");
    expectPreviewError(errorOf([&] { render(timelineJob({unsourced})); }), PreviewStillCode::clipWithoutSource,
                       "Clip missing sourceId.");

    json unknown = clipJson("v", "video", 0, 1);
    unknown["sourceId"] = "s9";
    expectPreviewError(errorOf([&] { render(timelineJob({unknown})); }), PreviewStillCode::noSourceEntry,
                       "Missing source entry.");

    expectPreviewError(errorOf([&] { render(timelineJob({clipJson("v", "video", 0, 1)}, "b.mp4")); }),
                       PreviewStillCode::missingSourceFile, "Missing source file: b.mp4");

    json unsized = ok;
    unsized["output"] = {{"width", 0}};
    // Refused by the job's reader, naming the file.
    EXPECT_EQ(errorOf([&] { render(unsized); }).message(),
              "Could not load \u201Cjob.json\u201D: The canvas width 0 is not supported: a canvas side must be a whole "
              "number of 1 to 16384 pixels. (at output.width)");
    // Every key it lacks is named, the first three in the order read.
    EXPECT_EQ(errorOf([&] { render(json{{"tool", "velmora-editor-desktop-export"}}); }).message(),
              "Could not load \u201Cjob.json\u201D: The value at \u201Cversion\u201D is missing. The value at "
              "\u201Cgrade\u201D is missing. The value at \u201Csources\u201D is missing. And 1 more.");
}

TEST_F(PreviewStill, FindsTheSourceAnywhereBelowTheMediaFolder)
{
    std::filesystem::create_directories(media() / "day1" / "cam");
    std::filesystem::rename(media() / "a.mp4", media() / "day1" / "cam" / "Clip A.MP4");
    const json clips = json::array({clipJson("v", "video", 0, 1)});
    EXPECT_EQ(render(timelineJob(clips, "  clip a.mp4 "), 0.2).label, "  clip a.mp4 ");
    EXPECT_EQ(test::stampOf(render(timelineJob(clips, "Clip A (Audio).MP4"), 0.2).cgImage), 5);
    // The file the export reads: its lookup takes the suffix out in any case.
    EXPECT_EQ(test::stampOf(render(timelineJob(clips, "Clip A (audio).MP4"), 0.2).cgImage), 5);
    expectPreviewError(errorOf([&] { render(timelineJob(clips, "Clip B.MP4"), 0.2); }),
                       PreviewStillCode::missingSourceFile, "Missing source file: Clip B.MP4");
}

TEST_F(PreviewStill, AFileDirectlyInTheFolderWinsOverOneBelow)
{
    std::filesystem::create_directories(media() / "sub");
    std::filesystem::copy_file(media() / "a.mp4", media() / "sub" / "b.mp4");
    test::writeTextFile(media() / "b.mp4", "not a movie");
    // The direct file is chosen even though it does not decode: its still is black.
    const auto result = render(timelineJob({clipJson("v", "video", 0, 1)}, "b.mp4"), 0.2);
    EXPECT_LT(result.cgImage.pixel(10, 10).g, 0.001);
}

TEST_F(PreviewStill, AnUndecodableFrameIsBlackButGraded)
{
    test::writeTextFile(media() / "broken.mp4", "not a movie");
    const auto result = render(timelineJob({clipJson("v", "video", 0, 1)}, "broken.mp4"), 0.51, std::nullopt,
                               std::nullopt, std::nullopt, 0.25);
    const Color c = result.cgImage.pixel(5, 5);
    EXPECT_NEAR(c.r, 0.25, 1e-6);
    EXPECT_NEAR(c.g, 0.25, 1e-6);
    // Without the file's rate, frames of 1/30 s: the first starting at or after the time.
    EXPECT_DOUBLE_EQ(result.displayTimeSeconds, 16 / 30.0);
}

TEST_F(PreviewStill, EmbeddedClipLutWinsOverTheOverride)
{
    test::writeTextFile(dir_ / "override.cube", test::constantCubeText(0, 0, 1));
    json embedded = clipJson("v", "video", 0, 1);
    embedded["grade"] = {{"hasLut", true}, {"lutData", test::constantCubeText(1, 0, 0)}, {"lutStrength", 0.5}};
    const Color mixed = render(timelineJob({embedded}), 0.0, dir_ / "override.cube").cgImage.pixel(2, 2);
    // Frame 0 is black: halfway between black and the LUT's red.
    EXPECT_NEAR(mixed.r, 0.5, 1e-5);
    EXPECT_NEAR(mixed.b, 0.0, 1e-5);

    const Color overridden =
        render(timelineJob({clipJson("v", "video", 0, 1)}), 0.0, dir_ / "override.cube").cgImage.pixel(2, 2);
    EXPECT_NEAR(overridden.b, 1.0, 1e-5);

    // An override chosen without cube text is refused, never left out.
    test::writeTextFile(dir_ / "blank.cube", " \n\t\n");
    const Error blank = errorOf([&] { render(timelineJob({clipJson("v", "video", 0, 1)}), 0.2, dir_ / "blank.cube"); });
    EXPECT_EQ(blank.code(), 214);
    EXPECT_EQ(blank.message(), "LUT override blank.cube cannot be read: it is empty\n\nTip: choose another LUT "
                               "override, or none.");

    test::writeTextFile(dir_ / "bad.cube", "LUT_3D_SIZE 8\n0 0 0\n");
    const Error error =
        errorOf([&] { render(timelineJob({clipJson("v", "video", 0, 1)}), 0.0, dir_ / "bad.cube"); });
    EXPECT_EQ(error.code(), 214);
    EXPECT_EQ(error.message(), "LUT override bad.cube cannot be read: it holds fewer entries than its LUT_3D_SIZE "
                               "needs\n\nTip: choose another LUT override, or none.");
}

TEST_F(PreviewStill, ClipLutFilesAndTheJobLutGradeAsInTheExport)
{
    const std::string red = test::constantCubeText(1, 0, 0);
    const Color jobLook = render(timelineJob({clipJson("v", "video", 0, 1)}, "a.mp4", red), 0.0).cgImage.pixel(2, 2);
    EXPECT_NEAR(jobLook.r, 1.0, 1e-5);
    EXPECT_NEAR(jobLook.b, 0.0, 1e-5);

    // A clip LUT picked in the editor is a file reference, found through the media folder.
    std::filesystem::create_directories(media() / "luts");
    test::writeTextFile(media() / "luts" / "blue.cube", test::constantCubeText(0, 0, 1));
    json picked = clipJson("v", "video", 0, 1);
    picked["grade"] = {{"hasLut", true}, {"lutFile", "blue.cube"}, {"lutName", "blue.cube"}};
    const Color clipLook = render(timelineJob({picked}, "a.mp4", red), 0.0).cgImage.pixel(2, 2);
    EXPECT_NEAR(clipLook.r, 0.0, 1e-5);
    EXPECT_NEAR(clipLook.b, 1.0, 1e-5);

    // An override without cube text is refused, not left out for the job's LUT.
    test::writeTextFile(dir_ / "blank.cube", "\n");
    EXPECT_EQ(errorOf([&] {
                  render(timelineJob({clipJson("v", "video", 0, 1)}, "a.mp4", red), 0.0, dir_ / "blank.cube");
              }).code(),
              214);
}

TEST_F(PreviewStill, RefusesWhatTheExportRefusesWithTheExportsError)
{
    const auto expectExportError = [](const Error& error, int code, const std::string& message) {
        EXPECT_EQ(error.domain(), "export");
        EXPECT_EQ(error.code(), code);
        EXPECT_EQ(error.message(), message);
    };
    const std::string tip = "\n\nTip: put each .cube file in the Media Folder or its luts folder, or choose another "
                            "LUT.";
    // The job's own LUT, missing.
    expectExportError(errorOf([&] { render(timelineJob({clipJson("v", "video", 0, 1)}, "a.mp4", "missing_job_look.cube")); }),
                      214, "Missing LUT files:\nmissing_job_look.cube" + tip);
    // A clip's LUT, missing, or a pipe in its place; the clip that names it need not be the one shown.
    ASSERT_EQ(::mkfifo((media() / "pipe.cube").c_str(), 0600), 0);
    json missing = clipJson("w", "video", 1, 1);
    missing["grade"] = {{"hasLut", true}, {"lutFile", "gone.cube"}};
    json piped = clipJson("x", "video", 2, 1);
    piped["grade"] = {{"hasLut", true}, {"lutFile", "pipe.cube"}};
    expectExportError(errorOf([&] { render(timelineJob({clipJson("v", "video", 0, 1), missing, piped})); }), 214,
                      "Missing LUT files:\ngone.cube\npipe.cube" + tip);
    // A clip's LUT named only like an installed file: refused by its own name, as the export does.
    TempDir resources;
    test::writeTextFile(resources / "LookA.cube", test::identityCubeText());
    const test::ScopedEnvironment installed("VELMORA_RESOURCES_DIR", resources.path().string());
    json lookAlike = clipJson("v", "video", 0, 1);
    lookAlike["grade"] = {{"hasLut", true}, {"lutFile", "looka"}};
    expectExportError(errorOf([&] { render(timelineJob({lookAlike})); }), 214, "Missing LUT files:\nlooka.cube" + tip);
    // A media file that cannot be read.
    std::filesystem::remove(media() / "a.mp4");
    std::filesystem::create_symlink("/proc/self/mem", media() / "a.mp4");
    const Error unreadable = errorOf([&] { render(timelineJob({clipJson("v", "video", 0, 1)})); });
    EXPECT_EQ(unreadable.domain(), "export");
    EXPECT_EQ(unreadable.code(), 215);
    EXPECT_NE(unreadable.message().find("Cannot read a.mp4"), std::string::npos) << unreadable.message();
}

TEST_F(PreviewStill, GradesWithTheClipsGradeParameters)
{
    json clip = clipJson("v", "video", 0, 1);
    clip["gradeParams"] = {{"exposure", 1.0}};
    clip["grade"] = {{"gradeParams", {{"moodKey", " sony_venice "}, {"isMoodEnabled", "yes"}, {"moodIntensity", 1.7}}}};
    const auto result = render(timelineJob({clip}), 0.0);
    // The grade's own parameters win; the clip-level ones are not read.
    EXPECT_EQ(result.debugGrade, "kernels: mood=1 basic=1 tempTint=1  mood=sony_venice type=6 enabled=1 amt=1.000  "
                                 "basic: e=0.000 c=0.000 hi=0.000 sh=0.000 sat=0.000 vib=0.000 temp=0.000 tint=0.000");

    json clipLevel = clipJson("v", "video", 0, 1);
    clipLevel["gradeParams"] = {{"exposure", 1.0}};
    const auto brighter = render(timelineJob({clipLevel}), 0.04);
    EXPECT_NE(brighter.debugGrade.find("basic: e=1.000 "), std::string::npos);
}

TEST(PreviewGradeDescription, NamesEveryValue)
{
    EXPECT_EQ(previewGradeDescription(std::nullopt),
              "kernels: mood=1 basic=1 tempTint=1  mood=none type=0 enabled=0 amt=1.000  "
              "basic: e=0.000 c=0.000 hi=0.000 sh=0.000 sat=0.000 vib=0.000 temp=0.000 tint=0.000");
    EditorJobV2::ClipGrade::GradeParams params;
    params.moodKey = "unknown";
    params.moodEnabled = FlexibleBool{true};
    params.moodAmount = -0.5;
    params.exposure = 0.1234;
    params.contrast = -0.5;
    params.highlights = 1;
    params.shadows = 2;
    params.saturation = 3;
    params.vibrance = 4;
    params.temperature = -5;
    params.tint = 0.0005;
    EXPECT_EQ(previewGradeDescription(params),
              "kernels: mood=1 basic=1 tempTint=1  mood=unknown type=0 enabled=0 amt=0.000  "
              "basic: e=0.123 c=-0.500 hi=1.000 sh=2.000 sat=3.000 vib=4.000 temp=-5.000 tint=0.001");
    params.moodKey = "sony_venice";
    params.moodEnabled = FlexibleBool{false};
    EXPECT_NE(previewGradeDescription(params).find("mood=sony_venice type=6 enabled=0"), std::string::npos);

    const ScopedKernelsUnavailable unavailable;
    EXPECT_EQ(previewGradeDescription(std::nullopt).substr(0, 35), "kernels: mood=0 basic=0 tempTint=0 ");
}

// ---- base-frame cache ----------------------------------------------------------------------------

TEST_F(PreviewStill, TheSameFrameAtTheSameSizeIsDecodedOnce)
{
    previewBaseFrameCache().removeAll();
    json job = timelineJob({clipJson("v", "video", 0, 2)});
    job["output"] = {{"fps", 25}};
    EXPECT_EQ(test::stampOf(render(job, 0.4).cgImage), 10);
    // The file is no longer a movie: only the cached frame can show frame 10.
    test::writeTextFile(media() / "a.mp4", "gone");
    const auto again = render(job, 0.4);
    EXPECT_EQ(test::stampOf(again.cgImage), 10);
    EXPECT_DOUBLE_EQ(again.pickedTimeSeconds, 0.4);
    // Another output size is another entry.
    job["project"]["width"] = 80;
    EXPECT_LT(render(job, 0.4).cgImage.pixel(40, 48).g, 0.001);
    previewBaseFrameCache().removeAll();
}

TEST_F(PreviewStill, TheSeventhFrameStoredEvictsTheFirstStored)
{
    previewBaseFrameCache().removeAll();
    json job = timelineJob({clipJson("v", "video", 0, 2)});
    job["output"] = {{"fps", 25}};
    for (int n = 0; n < 7; ++n) {
        render(job, n / 25.0);
        if (n == 3) {
            render(job, 0.0); // a hit does not keep the frame
        }
    }
    EXPECT_EQ(previewBaseFrameCache().size(), 6u);
    test::writeTextFile(media() / "a.mp4", "gone");
    EXPECT_EQ(test::stampOf(render(job, 6 / 25.0).cgImage), 6);
    EXPECT_EQ(test::stampOf(render(job, 1 / 25.0).cgImage), 1);
    EXPECT_LT(render(job, 0.0).cgImage.pixel(80, 48).g, 0.001);
    previewBaseFrameCache().removeAll();
}

} // namespace
} // namespace velmora::Exporter
