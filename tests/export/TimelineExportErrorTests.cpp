#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <fcntl.h>
#include <limits>
#include <sys/file.h>
#include <unistd.h>

#include "TimelineExportTestSupport.h"
#include "export/FastSingleClipPath.h"
#include "export/PartialMovie.h"
#include "export/TimelineExportSetup.h"
#include "platform/foundation/FileError.h"
#include "support/CubeTexts.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"
#include "ui/ScopedEnvironment.h"

namespace velmora::test {
namespace {

struct Failure {
    std::string domain;
    int code = 0;
    std::string message;
};

Failure failureOf(const std::function<void()>& work)
{
    try {
        work();
    } catch (const Error& e) {
        return {e.domain(), e.code(), e.message()};
    } catch (const std::filesystem::filesystem_error& e) {
        return {"file", e.code().value(), e.what()};
    }
    return {"none", 0, ""};
}

// A clip grade by the LUT file `file`.
EditorJobV2::ClipGrade gradedBy(const std::string& file)
{
    EditorJobV2::ClipGrade grade;
    grade.hasLut = true;
    grade.lutFile = file;
    return grade;
}

// Every failing export leaves the output folder as it was: an earlier movie intact, and no
// partial file.
class TimelineExportErrorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        media_ = std::make_unique<TempDir>();
        makeStampClip(*media_ / "a.mp4", 25);
    }
    static void TearDownTestSuite() { media_.reset(); }

    void SetUp() override
    {
        output_ = out_ / "movie.mp4";
        writeTextFile(output_, "an earlier movie");
    }

    Failure exportFails(const EditorJobV2& job, const ExportOptions& options = {})
    {
        return failureOf([&] { exportJob(job, media_->path(), output_, options); });
    }

    void expectFolderUntouched()
    {
        EXPECT_EQ(folderContents(out_.path()), (std::vector<std::string>{"movie.mp4"}));
        EXPECT_EQ(readTextFile(output_), "an earlier movie");
    }

    static EditorJobV2 goodJob(double duration = 1)
    {
        return makeJob({source("A", "a.mp4")}, {videoClip("a", "A", 1, 0, duration)});
    }

    static std::unique_ptr<TempDir> media_;
    TempDir out_;
    std::filesystem::path output_;
};

std::unique_ptr<TempDir> TimelineExportErrorTest::media_;

TEST_F(TimelineExportErrorTest, AJobWithoutTimelinesIsRefused)
{
    EditorJobV2 job = goodJob();
    job.timelines.clear();
    const Failure failure = exportFails(job);
    EXPECT_EQ(failure.domain, "export");
    EXPECT_EQ(failure.code, 210);
    EXPECT_EQ(failure.message, "No timelines found in job.");
    expectFolderUntouched();
}

TEST_F(TimelineExportErrorTest, AnEmptyTimelineIsRefused)
{
    EditorJobV2 job = goodJob();
    job.timelines[0].clips.clear();
    const Failure failure = exportFails(job);
    EXPECT_EQ(failure.code, 211);
    EXPECT_EQ(failure.message, "Timeline duration is zero.");
    expectFolderUntouched();
}

TEST_F(TimelineExportErrorTest, MissingPictureAndSoundFilesAreRefusedByName)
{
    EditorJobV2 job = goodJob();
    job.sources.push_back(source("B", "missing clip.mov"));
    job.sources.push_back(source("M", "music only.wav"));
    job.timelines[0].clips.push_back(videoClip("b", "B", 2, 0, 1));
    job.timelines[0].clips.push_back(audioClip("m", "M", 1, 0, 1));
    const Failure failure = exportFails(job);
    EXPECT_EQ(failure.code, 212);
    EXPECT_EQ(failure.message, "Missing source files in Media Folder:\nmissing clip.mov\nmusic only.wav\n\nTip: choose "
                               "the top folder that contains your footage (subfolders are supported).");
    expectFolderUntouched();
}

TEST_F(TimelineExportErrorTest, AClipLutThatGradesNothingIsRefusedByNameUnlessAnOverrideGradesItsClips)
{
    const auto grade = [](std::optional<bool> hasLut, std::optional<std::string> file,
                          std::optional<SharedText> data = std::nullopt) {
        EditorJobV2::ClipGrade made;
        made.hasLut = hasLut;
        made.lutFile = std::move(file);
        made.lutData = std::move(data);
        return made;
    };
    EditorJobV2 job = goodJob();
    job.timelines[0].clips[0].grade = grade(true, "missing_look.cube");
    job.timelines[0].clips.push_back(videoClip("b", "A", 2, 0, 1));
    job.timelines[0].clips[1].grade = grade(true, std::nullopt, SharedText("LUT_3D_SIZE 2"));
    const std::string tip = "\n\nTip: put each .cube file in the Media Folder or its luts folder, or choose another "
                            "LUT.";
    Failure failure = exportFails(job);
    EXPECT_EQ(failure.code, 214);
    // Both kinds of failure: both tips, the missing file's first.
    EXPECT_EQ(failure.message, "Missing LUT files:\nmissing_look.cube\n\n(Embedded LUT) is not a usable LUT: "
                               "LUT_3D_SIZE 2 (needs 3 or more)" + tip +
                                   "\nTip: replace each unusable LUT with a usable .cube file, or choose another LUT.");
    expectFolderUntouched();
    // Grade parameters beside the browser clip's text do not let it grade without it, on the
    // export or on the fast path that would stream that clip alone.
    EditorJobV2::ClipGrade::GradeParams exposed;
    exposed.exposure = 0.5;
    job.timelines[0].clips[1].grade->gradeParams = exposed;
    EXPECT_EQ(exportFails(job).message, failure.message);
    EditorJobV2 embeddedOnly = job;
    embeddedOnly.timelines[0].clips.erase(embeddedOnly.timelines[0].clips.begin());
    EXPECT_EQ(failureOf([&] {
                  Exporter::tryFastExportTimelineJobAsSingleFile(embeddedOnly, std::nullopt, media_->path(), output_,
                                                                 std::nullopt, "rec709", 1, 1, 0, 0);
              }).message,
              "(Embedded LUT) is not a usable LUT: LUT_3D_SIZE 2 (needs 3 or more)\n\nTip: replace each unusable LUT "
              "with a usable .cube file, or choose another LUT.");
    expectFolderUntouched();
    // The one-clip job the fast path would stream is refused alike.
    job.timelines[0].clips.pop_back();
    failure = failureOf([&] {
        Exporter::tryFastExportTimelineJobAsSingleFile(job, std::nullopt, media_->path(), output_, std::nullopt,
                                                       "rec709", 1, 1, 0, 0);
    });
    EXPECT_EQ(failure.message, "Missing LUT files:\nmissing_look.cube" + tip);
    expectFolderUntouched();

    ExportOptions options;
    options.lutOverride = out_ / "override.cube";
    writeTextFile(*options.lutOverride, identityCubeText());
    EXPECT_NO_THROW(exportJob(job, media_->path(), output_, options));
    // A grade that holds no LUT names none.
    for (const auto& none : {grade(false, "missing_look.cube"), grade(true, " "), grade(std::nullopt, "")}) {
        job.timelines[0].clips[0].grade = none;
        EXPECT_NO_THROW(Exporter::requireLuts(
            job.timelines[0], Exporter::timelineLuts(job, job.timelines[0], media_->path(), std::nullopt),
            std::nullopt));
    }
}

// A LUT override chosen that cannot be used is refused by name before anything is written, on the
// export and its fast path alike (the job preview asks the same check): never left out for the
// job's own LUT.
TEST_F(TimelineExportErrorTest, ALutOverrideThatCannotBeUsedIsRefusedByNameOnEveryRoute)
{
    const EditorJobV2 job = goodJob();
    const std::string tip = "\n\nTip: choose another LUT override, or none.";
    writeTextFile(out_ / "text.cube", "TITLE \"no size\"");
    writeTextFile(out_ / "short.cube", "LUT_3D_SIZE 3\n0 0 0\n");
    std::filesystem::create_symlink("/proc/self/mem", out_ / "mem.cube");
    const std::vector<std::pair<std::string, std::string>> cases{
        {"gone.cube", "LUT override gone.cube cannot be read: No such file or directory" + tip},
        {"mem.cube", "LUT override mem.cube cannot be read: Input/output error" + tip},
        {"text.cube", "LUT override text.cube cannot be read: it names no LUT_3D_SIZE" + tip},
        {"short.cube", "LUT override short.cube cannot be read: it holds fewer entries than its LUT_3D_SIZE needs" + tip},
    };
    for (const auto& [name, refusal] : cases) {
        SCOPED_TRACE(name);
        ExportOptions options;
        options.lutOverride = out_ / name;
        Failure failure = exportFails(job, options);
        EXPECT_EQ(failure.code, 214);
        EXPECT_EQ(failure.message, refusal);
        failure = failureOf([&] {
            Exporter::tryFastExportTimelineJobAsSingleFile(job, options.lutOverride, media_->path(), output_,
                                                           std::nullopt, "rec709", 1, 1, 0, 0);
        });
        EXPECT_EQ(failure.code, 214);
        EXPECT_EQ(failure.message, refusal);
    }
    std::filesystem::remove(out_ / "text.cube");
    std::filesystem::remove(out_ / "short.cube");
    std::filesystem::remove(out_ / "mem.cube");
    expectFolderUntouched();
}

TEST_F(TimelineExportErrorTest, AJobLutThatCannotBeFoundIsRefusedByNameOnEveryRoute)
{
    EditorJobV2 job = goodJob();
    job.grade.lutCube = "missing_job_look.cube";
    const std::string message = "Missing LUT files:\nmissing_job_look.cube\n\nTip: put each .cube file in the Media "
                                "Folder or its luts folder, or choose another LUT.";
    Failure failure = exportFails(job);
    EXPECT_EQ(failure.code, 214);
    EXPECT_EQ(failure.message, message);
    expectFolderUntouched();
    failure = failureOf([&] {
        Exporter::tryFastExportTimelineJobAsSingleFile(job, std::nullopt, media_->path(), output_, std::nullopt,
                                                       "rec709", 1, 1, 0, 0);
    });
    EXPECT_EQ(failure.code, 214);
    EXPECT_EQ(failure.message, message);
    expectFolderUntouched();
}

// Files that are there but cannot grade (too few points, a table cut short, a size that is no
// number) are refused by name with the cube reader's reason, before anything is written, on the
// export and its fast path alike; so is the job's own inline text that does not read.
TEST_F(TimelineExportErrorTest, ALutFileThatIsThereButNotUsableIsRefusedSayingWhy)
{
    TempDir media;
    std::filesystem::copy_file(*media_ / "a.mp4", media / "a.mp4");
    writeTextFile(media / "swap_rb2.cube", twoPointCubeText());
    writeTextFile(media / "trunc.cube", truncatedCubeText());
    writeTextFile(media / "banana.cube", bananaSizeCubeText());
    EditorJobV2 job = goodJob();
    job.timelines[0].clips[0].grade = gradedBy("swap_rb2.cube");
    const std::string tip = "\n\nTip: replace each unusable LUT with a usable .cube file, or choose another LUT.";
    Failure failure = failureOf([&] { exportJob(job, media.path(), output_); });
    EXPECT_EQ(failure.code, 214);
    // The file is there: the tip is to replace it, not to put it in place.
    EXPECT_EQ(failure.message, "swap_rb2.cube is not a usable LUT: LUT_3D_SIZE 2 (needs 3 or more)" + tip);
    expectFolderUntouched();

    const std::string fewer = "trunc.cube is not a usable LUT: it holds fewer entries than its LUT_3D_SIZE needs";
    job.timelines[0].clips[0].grade = gradedBy("trunc.cube");
    failure = failureOf([&] {
        Exporter::tryFastExportTimelineJobAsSingleFile(job, std::nullopt, media.path(), output_, std::nullopt,
                                                       "rec709", 1, 1, 0, 0);
    });
    EXPECT_EQ(failure.code, 214);
    EXPECT_EQ(failure.message, fewer + tip);
    job.timelines[0].clips.push_back(videoClip("b", "A", 2, 0, 1));
    job.timelines[0].clips[1].grade = gradedBy("banana.cube");
    job.grade.lutCube = "LUT_3D_SIZE 3\n0 0 0\n1 1 1\n";
    failure = failureOf([&] { exportJob(job, media.path(), output_); });
    EXPECT_EQ(failure.code, 214);
    EXPECT_EQ(failure.message, "(Embedded LUT) is not a usable LUT: it holds fewer entries than its LUT_3D_SIZE "
                               "needs\n" + fewer +
                                   "\nbanana.cube is not a usable LUT: LUT_3D_SIZE banana (needs a whole number)" + tip);
    expectFolderUntouched();
}

// A clip's LUT is found by the name its grade gives, as the editor finds it: a file in the
// resources that only looks like it ("LookA.cube" for "looka") never grades in its place, on the
// export without the editor's answers and on its fast path, whatever the job's tool.
TEST_F(TimelineExportErrorTest, ALutNamedOnlyLikeAnInstalledFileIsRefusedByItsOwnName)
{
    TempDir resources;
    writeTextFile(resources / "LookA.cube", identityCubeText());
    const ScopedEnvironment installed("VELMORA_RESOURCES_DIR", resources.path().string());
    const std::string tip = "\n\nTip: put each .cube file in the Media Folder or its luts folder, or choose another "
                            "LUT.";
    const struct {
        std::string tool;
        std::string refused;
    } tools[] = {
        {"velmora-editor-desktop-export", "looka.cube"}, // a browser export's grade keeps ".cube" added
        {"velmora-editor-desktop-edit-return", "looka"},
        {"", "looka"},
    };
    for (const auto& [tool, refused] : tools) {
        SCOPED_TRACE(tool);
        EditorJobV2 job = goodJob();
        job.tool = tool;
        job.timelines[0].clips[0].grade = gradedBy("looka");
        Failure failure = exportFails(job);
        EXPECT_EQ(failure.code, 214);
        EXPECT_EQ(failure.message, "Missing LUT files:\n" + refused + tip);
        failure = failureOf([&] {
            Exporter::tryFastExportTimelineJobAsSingleFile(job, std::nullopt, media_->path(), output_, std::nullopt,
                                                           "rec709", 1, 1, 0, 0);
        });
        EXPECT_EQ(failure.code, 214);
        EXPECT_EQ(failure.message, "Missing LUT files:\n" + refused + tip);
        expectFolderUntouched();
        // Named as it is installed, it grades.
        job.timelines[0].clips[0].grade->lutFile = "LookA";
        const ResolvedLuts luts = Exporter::timelineLuts(job, job.timelines[0], media_->path(), std::nullopt);
        EXPECT_TRUE(luts.clips.at("a").grades());
    }
}

// The editor hands its own LUT answers over: the export takes them as they are and looks up only
// the clips they leave out.
TEST_F(TimelineExportErrorTest, TheLutAnswersGivenAreTakenAsTheyAre)
{
    EditorJobV2 job = goodJob();
    job.timelines[0].clips.push_back(videoClip("b", "A", 2, 0, 1));
    job.timelines[0].clips[1].grade = EditorJobV2::ClipGrade{};
    job.timelines[0].clips[1].grade->hasLut = true;
    job.timelines[0].clips[1].grade->lutFile = "gone.cube";
    ResolvedLuts given;
    given.job = LutResolution{};
    given.clips["a"] = LutResolution{LutResolution::Kind::missing, "", "decided.cube", "", {}};
    const Failure failure = failureOf([&] {
        Exporter::exportEditorTimeline(job, std::nullopt, media_->path(), output_, std::nullopt,
                                       Exporter::EditorVideoCodec::h264, "rec709", 1, 1, 0, 0, std::nullopt, {}, {},
                                       {}, nullptr, &given);
    });
    EXPECT_EQ(failure.code, 214);
    EXPECT_EQ(failure.message, "Missing LUT files:\ndecided.cube\ngone.cube\n\nTip: put each .cube file in the Media "
                               "Folder or its luts folder, or choose another LUT.");
    expectFolderUntouched();
}

TEST_F(TimelineExportErrorTest, ACorruptFileIsRefusedWithTheMediaError)
{
    writeTextFile(out_ / "broken.mp4", "these bytes are not a movie");
    EditorJobV2 job = makeJob({source("X", "broken.mp4")}, {videoClip("x", "X", 1, 0, 1)});
    const Failure failure = failureOf([&] { exportJob(job, out_.path(), output_); });
    EXPECT_EQ(failure.domain, "media");
    EXPECT_EQ(failure.code, 2);
    EXPECT_NE(failure.message.find("broken.mp4"), std::string::npos);
    EXPECT_EQ(readTextFile(output_), "an earlier movie");
}

TEST_F(TimelineExportErrorTest, AnAudioFileThatCannotBeReadIsRefusedByName)
{
    std::filesystem::create_symlink(*media_ / "a.mp4", out_ / "a.mp4");
    writeTextFile(out_ / "music.wav", "these bytes are not a sound");
    EditorJobV2 job = makeJob({source("A", "a.mp4"), source("M", "music.wav")},
                              {videoClip("a", "A", 1, 0, 1), audioClip("m", "M", 1, 0, 1)});
    const Failure failure = failureOf([&] { exportJob(job, out_.path(), output_); });
    EXPECT_EQ(failure.domain, "media");
    EXPECT_EQ(failure.code, 2);
    EXPECT_NE(failure.message.find("music.wav"), std::string::npos) << failure.message;
    EXPECT_EQ(folderContents(out_.path()), (std::vector<std::string>{"a.mp4", "movie.mp4", "music.wav"}));
    EXPECT_EQ(readTextFile(output_), "an earlier movie");
}

TEST_F(TimelineExportErrorTest, AFolderThatDoesNotExistIsRefused)
{
    const Failure failure = failureOf([&] { exportJob(goodJob(), media_->path(), out_ / "nowhere" / "m.mp4"); });
    EXPECT_EQ(failure.domain, "file");
    EXPECT_EQ(failure.code, ENOENT);
    EXPECT_EQ(failure.message, "Could not write \u201Cm.mp4\u201D: No such file or directory.");
    expectFolderUntouched();
}

TEST_F(TimelineExportErrorTest, AnUnwritableFolderIsRefused)
{
    std::filesystem::create_directory(out_ / "locked");
    std::filesystem::permissions(out_ / "locked", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const Failure failure = failureOf([&] { exportJob(goodJob(), media_->path(), out_ / "locked" / "m.mp4"); });
    std::filesystem::permissions(out_ / "locked", std::filesystem::perms::owner_all);
    if (::geteuid() != 0) {
        EXPECT_EQ(failure.domain, "file");
        EXPECT_EQ(failure.code, EACCES);
        EXPECT_EQ(failure.message, "Could not write \u201Cm.mp4\u201D: Permission denied.");
        return;
    }
    // The superuser may write into any folder; a file system that takes no files still refuses,
    // when the export creates the file it writes, with the file system's reason.
    const Failure refused = failureOf([&] { exportJob(goodJob(), media_->path(), "/proc/velmora-export.mp4"); });
    EXPECT_EQ(refused.domain, "file");
    EXPECT_TRUE(refused.message.starts_with("Could not write \u201Cvelmora-export.mp4\u201D: ")) << refused.message;
    EXPECT_FALSE(std::filesystem::exists("/proc/velmora-export.mp4"));
}

TEST_F(TimelineExportErrorTest, ProResIntoMpeg4IsRefusedBeforeRendering)
{
    ExportOptions options;
    options.codec = Exporter::EditorVideoCodec::proRes422;
    const Failure failure = exportFails(goodJob(), options);
    EXPECT_EQ(failure.domain, "media");
    EXPECT_EQ(failure.code, 10);
    expectFolderUntouched();
}

TEST_F(TimelineExportErrorTest, APixelBufferThatCannotBeHadFailsTheFrame)
{
    ExportOptions options;
    options.faults.refusePixelBuffer = [](std::int64_t frame) { return frame == 5; };
    const Failure failure = exportFails(goodJob(), options);
    EXPECT_EQ(failure.code, 220);
    EXPECT_EQ(failure.message, "Failed to allocate pixel buffer");
    expectFolderUntouched();
}

TEST_F(TimelineExportErrorTest, ARefusedFrameFailsTheExport)
{
    ExportOptions options;
    options.faults.refuseAppend = [](std::int64_t frame) { return frame == 3; };
    const Failure failure = exportFails(goodJob(), options);
    EXPECT_EQ(failure.code, 221);
    EXPECT_EQ(failure.message, "Failed to append frame");
    expectFolderUntouched();
}

TEST_F(TimelineExportErrorTest, StreamReaderFaults)
{
    ExportOptions options;
    options.faults.readers.refuseOutput = [](bool stream) { return stream; };
    Failure failure = exportFails(goodJob(), options);
    EXPECT_EQ(failure.code, 231);
    EXPECT_EQ(failure.message, "Cannot add video reader output");
    options.faults.readers = {};
    options.faults.readers.refuseStart = [](bool stream) { return stream; };
    failure = exportFails(goodJob(), options);
    EXPECT_EQ(failure.code, 232);
    EXPECT_EQ(failure.message, "Failed to start stream reader");
    expectFolderUntouched();
}

TEST_F(TimelineExportErrorTest, SeekReaderFaults)
{
    // At half speed the clip is read by the seek reader.
    EditorJobV2 job = makeJob({source("A", "a.mp4")}, {videoClip("a", "A", 1, 0, 1, 0, 0.5)});
    ExportOptions options;
    options.faults.readers.refuseOutput = [](bool stream) { return !stream; };
    Failure failure = exportFails(job, options);
    EXPECT_EQ(failure.code, 233);
    EXPECT_EQ(failure.message, "Cannot add seek reader output");
    options.faults.readers = {};
    options.faults.readers.refuseStart = [](bool stream) { return !stream; };
    failure = exportFails(job, options);
    EXPECT_EQ(failure.code, 234);
    EXPECT_EQ(failure.message, "Seek reader failed to start");
    expectFolderUntouched();
}

TEST_F(TimelineExportErrorTest, AReaderThatCannotBeMadePassesItsOwnError)
{
    // The source disappears after the set-up, before the first frame is read.
    const auto folder = out_ / "media";
    std::filesystem::create_directory(folder);
    std::filesystem::copy_file(*media_ / "a.mp4", folder / "a.mp4");
    ExportOptions options;
    options.progress = [&](const TimelineExportProgress& progress) {
        if (progress.framesCompleted == 0 && progress.phase == "Rendering video") {
            std::filesystem::remove(folder / "a.mp4");
        }
    };
    const Failure failure = failureOf([&] { exportJob(goodJob(), folder, output_, options); });
    EXPECT_EQ(failure.domain, "media");
    EXPECT_EQ(failure.code, 1);
    EXPECT_EQ(readTextFile(output_), "an earlier movie");
}

TEST_F(TimelineExportErrorTest, ACancelBeforeTheFirstFrame)
{
    ExportOptions options;
    options.isCancelled = [] { return true; };
    const Failure failure = exportFails(goodJob(), options);
    EXPECT_EQ(failure.code, 248);
    EXPECT_EQ(failure.message, "Export cancelled.");
    expectFolderUntouched();
}

TEST_F(TimelineExportErrorTest, ACancelTakesEffectWithinAFrame)
{
    std::atomic<int> asked{0};
    std::atomic<std::int64_t> lastReported{0};
    ExportOptions options;
    options.isCancelled = [&] { return ++asked >= 8; };
    options.progress = [&](const TimelineExportProgress& progress) { lastReported = progress.framesCompleted; };
    const Failure failure = exportFails(goodJob(), options);
    EXPECT_EQ(failure.code, 248);
    EXPECT_EQ(asked.load(), 8); // nothing asks again once the export has ended
    EXPECT_LT(lastReported.load(), 8);
    expectFolderUntouched();
}

TEST_F(TimelineExportErrorTest, TheWaitGivesUpAfterItsLimit)
{
    ExportOptions options;
    options.faults.waitLimitSeconds = 0.0;
    const Failure failure = exportFails(goodJob(), options);
    EXPECT_EQ(failure.code, 298);
    EXPECT_EQ(failure.message.rfind("Export timed out after 4 hours at frame ", 0), 0u) << failure.message;
    EXPECT_NE(failure.message.find(" of 25."), std::string::npos) << failure.message;
    expectFolderUntouched();
}

TEST_F(TimelineExportErrorTest, AWriterThatEndsWithoutOutcomeFails)
{
    ExportOptions options;
    options.faults.writerLosesOutcome = true;
    const Failure failure = exportFails(goodJob(), options);
    EXPECT_EQ(failure.code, 299);
    EXPECT_EQ(failure.message, "Export failed at frame 25 of 25.");
    expectFolderUntouched();
}

TEST_F(TimelineExportErrorTest, AWriterThatStopsOnItsOwnEndsTheExportAtOnce)
{
    ExportOptions options;
    options.faults.stopWriterAfter = [](std::int64_t frame) { return frame == 5; };
    const auto start = std::chrono::steady_clock::now();
    const Failure failure = exportFails(goodJob(), options);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(failure.code, 299);
    EXPECT_EQ(failure.message, "Export failed at frame 6 of 25.");
    expectFolderUntouched();
}

TEST_F(TimelineExportErrorTest, AFrameRateAbove240OrNotFiniteIsRefusedBeforeAnythingIsWritten)
{
    const std::string limit = " fps is not supported: a frame rate must be a finite number of at most 240 frames per second.";
    EditorJobV2 job = goodJob(0.2);
    job.project->fps = 1e9;
    Failure failure = exportFails(job);
    EXPECT_EQ(failure.domain, "export");
    EXPECT_EQ(failure.code, 213);
    EXPECT_EQ(failure.message, "The frame rate 1000000000" + limit);
    job.project->fps = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(exportFails(job).message, "The frame rate nan" + limit);
    // A rate the job leaves to its exact fraction is held to the same limit.
    job.project->fps = 0;
    job.output = EditorJobV2::Output{};
    job.output->fpsNum = 1000;
    job.output->fpsDen = 1;
    EXPECT_EQ(exportFails(job).message, "The frame rate 1000" + limit);
    expectFolderUntouched();

    job.output->fpsNum = 240;
    exportJob(job, media_->path(), output_);
    EXPECT_EQ(ffprobeStream(output_, "v:0")["r_frame_rate"], "240/1");
}

TEST_F(TimelineExportErrorTest, ABitRateOverrideOutOfRangeIsRefusedBeforeAnythingIsWritten)
{
    ExportOptions options;
    options.bitrate = 1'000'000'000'000'000'000;
    const Failure failure = exportFails(goodJob(0.2), options);
    EXPECT_EQ(failure.domain, "export");
    EXPECT_EQ(failure.code, 216);
    EXPECT_EQ(failure.message, "The bit rate 1000000000000000000 b/s is not supported: a bit rate must be a whole "
                               "number of 1 to 10000000000 bits per second.");
    expectFolderUntouched();
}

// A name the file system holds is one the export writes: its partial file beside it must not
// need more bytes than a name may have.
TEST_F(TimelineExportErrorTest, AnOutputOfTheLongestNameIsWritten)
{
    const std::filesystem::path longest = out_ / (std::string(251, 'L') + ".mp4");
    exportJob(goodJob(0.2), media_->path(), longest);
    EXPECT_EQ(ffprobeStream(longest, "v:0")["codec_name"], "h264");
    EXPECT_EQ(folderContents(out_.path()), (std::vector<std::string>{longest.filename().string(), "movie.mp4"}));
    // A name of characters beyond ASCII is cut where one starts: a failure naming the partial
    // movie names the output.
    std::string wide = "x";
    for (int i = 0; i < 83; ++i) {
        wide += "\u20ac";
    }
    const std::filesystem::path output = out_ / (wide + "x.mp4");
    const Exporter::PartialMovie partial(output);
    EXPECT_EQ(partial.namingOutput(FileError::fromErrno(EIO, "Could not write", partial.path())).message(),
              "Could not write \u201c" + output.filename().string() + "\u201d: Input/output error.");
}

// Partial files in the output's folder: those killed exports left (no one holds their lock),
// whatever output they were for; one that another export is still writing (locked); and files
// of other names, which are no export's.
TEST_F(TimelineExportErrorTest, AnExportRemovesTheStalePartialsOfEveryOutputInItsFolder)
{
    const std::vector<std::string> others{".movie.partial-FEDCBA98.mp4", ".movie.partial-0123abcd.mp4",
                                          ".movie.partial-0123ABC.mp4", "movie.partial-0123ABCD.mp4"};
    std::vector<std::string> expected{"movie.mp4"};
    for (const std::string& name : others) {
        writeTextFile(out_ / name, "x");
        expected.push_back(name);
    }
    for (const char* name : {".movie.partial-0123ABCD.mov", ".wskill.partial-0123ABCD.mp4", ".a.b.partial-89ABCDEF"})
        writeTextFile(out_ / name, "left by a killed export");
    std::sort(expected.begin(), expected.end());
    const int live = ::open((out_ / others[0]).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(live, LOCK_EX), 0);

    ExportOptions cancelled;
    cancelled.isCancelled = [] { return true; };
    ExportOptions failing;
    failing.faults.writerLosesOutcome = true;
    for (const ExportOptions& options : {ExportOptions{}, cancelled, failing}) {
        writeTextFile(out_ / ".movie.partial-0123ABCD.mp4", "left by a killed export");
        ExportOptions watched = options;
        // While it writes, the export's own partial file is marked as being written.
        std::atomic<int> lockedPartials{0};
        watched.progress = [&](const TimelineExportProgress&) {
            for (const auto& entry : std::filesystem::directory_iterator(out_.path())) {
                const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
                if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0 && entry.path().filename() != others[0]) {
                    ++lockedPartials;
                }
                ::close(fd);
            }
        };
        failureOf([&] { exportJob(goodJob(), media_->path(), output_, watched); });
        EXPECT_EQ(folderContents(out_.path()), expected);
        EXPECT_GT(lockedPartials.load(), 0);
    }
    ::close(live);
}

TEST_F(TimelineExportErrorTest, ASuccessfulExportReplacesTheEarlierMovie)
{
    exportJob(goodJob(), media_->path(), output_);
    EXPECT_EQ(folderContents(out_.path()), (std::vector<std::string>{"movie.mp4"}));
    EXPECT_EQ(frameStamps(output_).size(), 25u);
}

} // namespace
} // namespace velmora::test
