#include <condition_variable>
#include <mutex>

#include <gtest/gtest.h>

#include "WorkspaceTestSupport.h"
#include "export_workspaces/EngineJobExporter.h"
#include "ui/ScopedEnvironment.h"

namespace velmora::test {
namespace {

// The export engine, holding an export at its first progress report (its movie then being
// written) until the test lets it go or the export is cancelled.
class HeldEngineExporter final : public JobExporter {
public:
    ExportResult exportJob(const JobExportRequest& request, std::function<void(const TimelineExportProgress&)> progress,
                           std::function<bool()> isCancelled) override
    {
        const auto held = [this, progress, isCancelled](const TimelineExportProgress& report) {
            progress(report);
            std::unique_lock lock(mutex_);
            held_ = true;
            changed_.notify_all();
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (!released_ && !isCancelled() && std::chrono::steady_clock::now() < giveUp)
                changed_.wait_for(lock, std::chrono::milliseconds(5));
        };
        return engine_.exportJob(request, held, isCancelled);
    }
    JobPreviewStill renderPreviewFrame(const JobPreviewRequest& request) override
    {
        return engine_.renderPreviewFrame(request);
    }

    bool waitUntilHeld()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(120), [this] { return held_; });
    }
    void release()
    {
        const std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    EngineJobExporter engine_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;     // guarded by mutex_
    bool released_ = false; // guarded by mutex_
};

// The hidden partial movies in `folder`.
std::vector<std::filesystem::path> partialMovies(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> found;
    for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string().find(".partial-") != std::string::npos)
            found.push_back(entry.path());
    }
    return found;
}

// The workspace driving the real export engine, on generated media.
class EngineWorkspace : public ::testing::Test {
protected:
    EngineWorkspace()
    {
        writeMediaFolder(dir / "media", {"a.mp4", "b.mp4"});
        controller = std::make_unique<ExportWorkspaceController>(
            workflow, ExportWorkspaceServices{queue, std::make_shared<EngineJobExporter>(), panels,
                                              std::make_shared<FakeFileRevealer>()});
    }

    void loadJob(const nlohmann::json& job, const std::string& name)
    {
        writeTextFile(dir / name, job.dump());
        controller->pickJob();
        panels->choose(dir / name);
        controller->pickMediaFolder();
        panels->choose(dir / "media");
    }

    TempDir dir;
    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::shared_ptr<FakeFilePanels> panels = std::make_shared<FakeFilePanels>();
    VelmoraWorkflowState workflow;
    std::unique_ptr<ExportWorkspaceController> controller;
};

TEST_F(EngineWorkspace, ATimelineJobExportsATenBitMovieNamedAfterTheJob)
{
    loadJob(timelineJob({"a.mp4", "b.mp4"}), "trip_desktop_v2_job.json");
    std::vector<std::string> statuses;
    QObject::connect(controller.get(), &ExportWorkspaceController::statusTextChanged,
                     [&] { statuses.push_back(controller->statusText()); });
    controller->startExport();
    ASSERT_EQ(panels->current().suggestedName, "trip_velmora_10bit.mp4");
    panels->choose(dir / panels->current().suggestedName);
    ASSERT_TRUE(queue->runUntil([&] { return !controller->isExporting(); }, 300));

    const std::filesystem::path movie = dir / "trip_velmora_10bit.mp4";
    EXPECT_FALSE(controller->showError()) << controller->errorText();
    EXPECT_EQ(statuses.front(), "Export started\u2026  Gamma=rec709  Comp: C=1.00 S=1.00 B=0.000 T=+0.000");
    EXPECT_EQ(statuses.back(), "Done: " + movie.string());
    ASSERT_GE(statuses.size(), 3u);
    EXPECT_TRUE(statuses[statuses.size() - 2].starts_with("Exporting\u2026 ")) << statuses[statuses.size() - 2];
    const nlohmann::json stream = ffprobeStream(movie, "v:0", true);
    EXPECT_EQ(stream["codec_name"], "hevc");
    EXPECT_EQ(stream["pix_fmt"], "yuv420p10le");
    EXPECT_EQ(stream["width"], 160);
    EXPECT_EQ(stream["height"], 96);
    EXPECT_EQ(stream["nb_read_frames"], "20");
    EXPECT_EQ(ffprobe(movie)["format"]["tags"]["major_brand"], "isom");
    EXPECT_TRUE(controller->canRevealOutput());
}

TEST_F(EngineWorkspace, AMovNameChosenInTheOutputPanelGetsAQuickTimeMovie)
{
    // A render job of the Edit workspace always says "mp4"; the chosen name wins.
    nlohmann::json job = timelineJob({"a.mp4"});
    job["output"] = {{"container", "mp4"}};
    loadJob(job, "trip_desktop_v2_job.json");
    controller->pickOutput();
    panels->choose(dir / "trip_master.mov");
    EXPECT_EQ(controller->outputContainer(), "mov");
    controller->startExport();
    ASSERT_TRUE(queue->runUntil([&] { return !controller->isExporting(); }, 300));

    EXPECT_FALSE(controller->showError()) << controller->errorText();
    EXPECT_EQ(ffprobe(dir / "trip_master.mov")["format"]["tags"]["major_brand"], "qt  ");
}

TEST_F(EngineWorkspace, AJobWithAnAbsurdFrameRateIsRefusedWhenChosen)
{
    nlohmann::json job = timelineJob({"a.mp4"}, 3);
    job["project"]["fps"] = 1e9;
    loadJob(job, "fast_job.json");
    EXPECT_TRUE(controller->showError());
    EXPECT_EQ(controller->errorTitle(), "Job Not Loaded");
    EXPECT_EQ(controller->errorText(), "Could not load \u201Cfast_job.json\u201D: The frame rate 1000000000 fps is not "
                                       "supported: a frame rate must be a finite number of at most 240 frames per "
                                       "second. (at project.fps)");
    EXPECT_FALSE(controller->jobURL());
    EXPECT_FALSE(controller->canExport());
}

TEST_F(EngineWorkspace, ThePreviewShowsTheEnginesStillOrItsError)
{
    loadJob(timelineJob({"b.mp4"}), "one_job.json");
    controller->setPreviewTimeSeconds(0.2);
    controller->refreshPreview();
    ASSERT_TRUE(queue->runUntil([&] { return !controller->isPreviewing(); }, 60));
    EXPECT_EQ(controller->statusText(), "Preview updated");
    EXPECT_EQ(controller->previewImage().size(), QSize(160, 96));
    EXPECT_TRUE(controller->previewLabel().starts_with("b.mp4  pts=0.200  [0.00s\u20130.40s]\nkernels: "))
        << controller->previewLabel();

    loadJob(timelineJob({"missing.mp4"}), "broken_job.json");
    controller->refreshPreview();
    ASSERT_TRUE(queue->runUntil([&] { return !controller->isPreviewing(); }, 60));
    EXPECT_EQ(controller->statusText(),
              "Preview failed: Error Domain=preview Code=405 \"Missing source file: missing.mp4\"");
    EXPECT_TRUE(controller->previewImage().isNull());
}

// A timeline job whose own LUT is missing, or whose clip names a LUT only like an installed file
// ("looka" beside the resources' "LookA.cube"), is refused by name where the workspace previews it
// and where it exports it, with the export's error, and no movie is written. The name is the one
// the clip's grade holds once the job is opened in the editor: a browser export's cleaned
// ("looka.cube"), an edit-return file's as written.
TEST_F(EngineWorkspace, ALutThatIsMissingIsRefusedByThePreviewAndTheExport)
{
    TempDir resources;
    writeTextFile(resources / "LookA.cube", identityCubeText());
    const ScopedEnvironment installed("VELMORA_RESOURCES_DIR", resources.path().string());
    nlohmann::json jobLut = timelineJob({"b.mp4"});
    jobLut["grade"] = {{"lutCube", "missing_job_look.cube"}};
    nlohmann::json clipLut = timelineJob({"b.mp4"});
    clipLut["timelines"][0]["clips"][0]["grade"] = {{"hasLut", true}, {"lutFile", "looka"}};
    nlohmann::json returnedClipLut = clipLut;
    returnedClipLut["tool"] = "velmora-editor-desktop-edit-return";
    const struct {
        nlohmann::json job;
        std::string name;
        std::string missing;
    } cases[] = {{jobLut, "look_job.json", "missing_job_look.cube"},
                 {clipLut, "looka_job.json", "looka.cube"},
                 {returnedClipLut, "looka_edit_return.json", "looka"}};
    for (const auto& [job, name, missing] : cases) {
        SCOPED_TRACE(name);
        loadJob(job, name);
        const std::string refusal = "Error Domain=export Code=214 \"Missing LUT files:\n" + missing +
                                    "\n\nTip: put each .cube file in the Media Folder or its luts folder, or choose "
                                    "another LUT.\"";
        controller->refreshPreview();
        ASSERT_TRUE(queue->runUntil([&] { return !controller->isPreviewing(); }, 60));
        EXPECT_EQ(controller->statusText(), "Preview failed: " + refusal);
        EXPECT_TRUE(controller->previewImage().isNull());

        controller->startExport();
        const std::filesystem::path movie = dir / panels->current().suggestedName;
        panels->choose(movie);
        ASSERT_TRUE(queue->runUntil([&] { return !controller->isExporting(); }, 300));
        EXPECT_TRUE(controller->showError());
        EXPECT_NE(controller->errorText().find("Missing LUT files:\n" + missing + "\n"), std::string::npos)
            << controller->errorText();
        EXPECT_FALSE(std::filesystem::exists(movie));
        controller->dismissError();
    }
}

// Closing the window during an export asks first; "Cancel" keeps the window and lets the export
// run on to its movie.
TEST_F(EngineWorkspace, QuittingDuringAnExportAsksAndCancelLetsItRunOn)
{
    auto held = std::make_shared<HeldEngineExporter>();
    controller = std::make_unique<ExportWorkspaceController>(
        workflow, ExportWorkspaceServices{queue, held, panels, std::make_shared<FakeFileRevealer>()});
    loadJob(timelineJob({"a.mp4", "b.mp4"}), "trip_desktop_v2_job.json");
    const std::filesystem::path movie = dir / "trip_velmora_10bit.mp4";
    int quits = 0;
    // Idle: the window closes at once.
    workflow.requestExit(VelmoraWorkflowState::WorkspaceExit::quit, [&] { ++quits; });
    EXPECT_EQ(quits, 1);

    controller->startExport();
    panels->choose(movie);
    ASSERT_TRUE(held->waitUntilHeld());
    // Another mode is no quit: it is not asked about.
    workflow.requestExit(VelmoraWorkflowState::WorkspaceExit::switchMode, [&] { ++quits; });
    EXPECT_EQ(quits, 2);
    EXPECT_FALSE(controller->quitQuestion());

    workflow.requestExit(VelmoraWorkflowState::WorkspaceExit::quit, [&] { ++quits; });
    using Question = ExportWorkspaceController::QuitQuestion;
    ASSERT_EQ(controller->quitQuestion(), (Question{"Stop the export and quit?", "Stop & Quit", "Cancel"}));
    controller->answerQuitQuestion(false);
    EXPECT_FALSE(controller->quitQuestion());
    EXPECT_TRUE(controller->isExporting());

    held->release();
    ASSERT_TRUE(queue->runUntil([&] { return !controller->isExporting(); }, 300));
    EXPECT_EQ(quits, 2);
    EXPECT_FALSE(controller->showError()) << controller->errorText();
    EXPECT_EQ(controller->statusText(), "Done: " + movie.string());
    EXPECT_EQ(ffprobeStream(movie, "v:0", true)["nb_read_frames"], "20");
    EXPECT_TRUE(partialMovies(dir.path()).empty());
}

// "Stop & Quit" stops the export and lets the window close at once; the export ends on its own
// thread, removing its partial movie (an older movie at the output stays as it was), with no
// alert.
TEST_F(EngineWorkspace, StopAndQuitStopsTheExportAndRemovesItsPartialMovie)
{
    auto held = std::make_shared<HeldEngineExporter>();
    controller = std::make_unique<ExportWorkspaceController>(
        workflow, ExportWorkspaceServices{queue, held, panels, std::make_shared<FakeFileRevealer>()});
    loadJob(timelineJob({"a.mp4", "b.mp4"}), "trip_desktop_v2_job.json");
    const std::filesystem::path movie = dir / "trip_velmora_10bit.mp4";
    writeTextFile(movie, "the older movie");
    controller->startExport();
    panels->choose(movie);
    ASSERT_TRUE(held->waitUntilHeld());
    EXPECT_EQ(partialMovies(dir.path()).size(), 1u);

    int quits = 0;
    workflow.requestExit(VelmoraWorkflowState::WorkspaceExit::quit, [&] { ++quits; });
    ASSERT_TRUE(controller->quitQuestion());
    controller->answerQuitQuestion(true);
    EXPECT_FALSE(controller->quitQuestion());
    EXPECT_EQ(quits, 1);
    ASSERT_TRUE(queue->runUntil([&] { return !controller->isExporting(); }, 60));
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(controller->showError());
    EXPECT_TRUE(partialMovies(dir.path()).empty());
    EXPECT_EQ(readTextFile(movie), "the older movie");
}

// The quit question left open while the export ends: it goes, and the quit goes on.
TEST_F(EngineWorkspace, AnExportThatEndsWhileTheQuitQuestionIsOpenLetsTheQuitGoOn)
{
    auto held = std::make_shared<HeldEngineExporter>();
    controller = std::make_unique<ExportWorkspaceController>(
        workflow, ExportWorkspaceServices{queue, held, panels, std::make_shared<FakeFileRevealer>()});
    loadJob(timelineJob({"a.mp4", "b.mp4"}), "trip_desktop_v2_job.json");
    const std::filesystem::path movie = dir / "trip_velmora_10bit.mp4";
    controller->startExport();
    panels->choose(movie);
    ASSERT_TRUE(held->waitUntilHeld());

    int quits = 0;
    workflow.requestExit(VelmoraWorkflowState::WorkspaceExit::quit, [&] { ++quits; });
    ASSERT_TRUE(controller->quitQuestion());
    held->release();
    ASSERT_TRUE(queue->runUntil([&] { return !controller->isExporting(); }, 300));
    EXPECT_EQ(controller->statusText(), "Done: " + movie.string());
    EXPECT_FALSE(controller->quitQuestion());
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(partialMovies(dir.path()).empty());
}

} // namespace
} // namespace velmora::test
