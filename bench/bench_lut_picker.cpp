// A click that shows the Clip LUT picker, on the main thread, with 3,000 and 30,000 media files in
// the media folder: selecting a timeline clip, and selecting a media pool card while a clip is
// selected. Both refresh the picker's entries and its value.

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "QtBenchmarkMain.h"
#include "controls/VelmoraWorkflowState.h"
#include "model/ProjectLUTResolver.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/ManualMainQueue.h"
#include "platform/ui/DesktopFileRevealer.h"
#include "platform/ui/QtFilePanels.h"
#include "workspace/EditorWorkspaceController.h"
#include "workspace/bars/EditorTopBar.h"

namespace {

namespace fs = std::filesystem;
using namespace velmora;

// A media folder of `files` empty camera files and two LUTs, and a project of two clips on the
// first two files, one of them with a LUT. Made once per size and kept for the process.
struct LutFolderFixture {
    explicit LutFolderFixture(int files)
    {
        folder = fs::temp_directory_path() / ("velmora-bench-luts-" + std::to_string(files));
        if (!fs::exists(folder / "done")) {
            fs::create_directories(folder);
            for (int i = 0; i < files; ++i)
                std::ofstream(folder / fileName(i));
            for (const char* lut : {"Warm.cube", "Cool.cube"})
                std::ofstream(folder / lut) << "LUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n";
            std::ofstream(folder / "done");
        }
        session = std::make_shared<EditSession>();
        EditSession::Timeline timeline;
        timeline.id = "tl";
        for (int i = 0; i < 2; ++i) {
            EditSession::Source source("s" + std::to_string(i), fileName(i), "video");
            session->sources.push_back(source);
            EditSession::Clip clip("c" + std::to_string(i));
            clip.type = "video";
            clip.sourceId = source.id;
            clip.name = source.fileName;
            clip.startTime = 2.0 * i;
            clip.duration = 2.0;
            if (i == 0)
                clip.grade = EditSession::clipGrade("Warm.cube");
            timeline.clips.push_back(clip);
        }
        EditSession::Project project;
        project.activeTimelineId = "tl";
        session->project = project;
        session->timelines.push_back(std::move(timeline));
    }

    static std::string fileName(int i) { return "DJI_" + std::to_string(100000 + i) + ".MP4"; }

    fs::path folder;
    std::shared_ptr<EditSession> session;
};

// The Edit workspace's controller (no preview builder: nothing is decoded) and its top bar, whose
// Clip LUT picker follows the selection. Whatever the opening hands to a worker has landed.
struct Picker {
    explicit Picker(const LutFolderFixture& fixture)
    {
        EditorWorkspaceController::Services services;
        services.engine = {queue, std::make_shared<ManualClock>(0.0), nullptr};
        services.filePanels = std::make_shared<QtFilePanels>();
        services.fileRevealer = std::make_shared<DesktopFileRevealer>();
        workspace = std::make_unique<EditorWorkspaceController>(workflow, services);
        workspace->engine().adoptSession(fixture.session, fixture.folder, std::nullopt, false);
        queue->runUntilIdle();
        bar = std::make_unique<EditorTopBar>(*workspace);
    }

    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    VelmoraWorkflowState workflow;
    std::unique_ptr<EditorWorkspaceController> workspace;
    std::unique_ptr<EditorTopBar> bar;
};

void BM_TimelineClipClick(benchmark::State& state)
{
    const LutFolderFixture fixture(static_cast<int>(state.range(0)));
    Picker picker(fixture);
    TimelinePreviewEngine& engine = picker.workspace->engine();
    int clicks = 0;
    for (auto _ : state) {
        engine.selectClip(clicks++ % 2 == 0 ? "c0" : "c1", false);
        picker.queue->runUntilIdle();
    }
    state.counters["entries"] = static_cast<double>(engine.clipLutPickerOptions(engine.selectedClipId()).size());
}
BENCHMARK(BM_TimelineClipClick)->Arg(3000)->Arg(30000)->ArgName("files")->Unit(benchmark::kMillisecond);

void BM_PoolCardClick(benchmark::State& state)
{
    const LutFolderFixture fixture(static_cast<int>(state.range(0)));
    Picker picker(fixture);
    TimelinePreviewEngine& engine = picker.workspace->engine();
    for (auto _ : state) {
        state.PauseTiming();
        engine.selectClip("c0", false);
        picker.queue->runUntilIdle();
        state.ResumeTiming();
        picker.workspace->selectPoolSource("s1");
        picker.queue->runUntilIdle();
    }
}
BENCHMARK(BM_PoolCardClick)->Arg(3000)->Arg(30000)->ArgName("files")->Unit(benchmark::kMillisecond);

// For comparison: one listing of the folders LUTs are found in.
void BM_LutFolderListing(benchmark::State& state)
{
    const LutFolderFixture fixture(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(ProjectLUTResolver::availableLUTNames(fixture.folder, std::nullopt));
}
BENCHMARK(BM_LutFolderListing)->Arg(3000)->Arg(30000)->ArgName("files")->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runQtBenchmarks(argc, argv);
}
