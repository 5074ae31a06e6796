// Reading a long desktop job where a user hands it over: opened for editing (EditSession::load)
// and chosen in the 10-bit Export workspace (a drop, as the panel's choice goes the same way).
// Arguments: the number of clips. Valid jobs take the readers' fast path; the "refused" cases
// time a job whose every clip holds a value the reader cannot use.

#include <string>

#include <QCoreApplication>
#include <QUrl>
#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "QtBenchmarkMain.h"
#include "controls/VelmoraWorkflowState.h"
#include "export_workspaces/ExportWorkspaceController.h"
#include "model/EditSession.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/JsonWriting.h"

namespace {

using namespace velmora;

// A browser export of `clips` 2 s video clips end to end, one source per five clips. With
// `brokenStart`, every clip's start is text.
std::filesystem::path writeJob(const std::filesystem::path& folder, int clips, bool brokenStart)
{
    nlohmann::json sources = nlohmann::json::array();
    nlohmann::json list = nlohmann::json::array();
    for (int i = 0; i < clips; ++i) {
        const std::string source = "s" + std::to_string(i / 5);
        if (i % 5 == 0)
            sources.push_back({{"id", source}, {"fileName", "clip" + std::to_string(i / 5) + ".mp4"}});
        nlohmann::json clip = {{"id", "c" + std::to_string(i)}, {"type", "video"}, {"sourceId", source},
                               {"track", 1}, {"startTime", 2.0 * i}, {"duration", 2.0}, {"inPoint", 0.0},
                               {"grade", {{"hasLut", false}, {"gradeParams", {{"exposure", 0.1}}}}}};
        if (brokenStart)
            clip["startTime"] = "abc";
        list.push_back(std::move(clip));
    }
    const nlohmann::json job = {{"tool", "velmora-editor-desktop-export"}, {"version", 2},
                                {"grade", {{"lutCube", "None"}}},
                                {"project", {{"width", 1920}, {"height", 1080}, {"fps", 25}}},
                                {"sources", sources},
                                {"timelines", nlohmann::json::array({{{"id", "t1"}, {"clips", list}}})}};
    const std::filesystem::path file =
        folder / ("job_" + std::to_string(clips) + (brokenStart ? "_refused" : "") + ".json");
    JsonWriting::saveFileAtomically(file, job.dump());
    return file;
}

std::filesystem::path benchFolder()
{
    static const std::filesystem::path folder = [] {
        const std::filesystem::path made = std::filesystem::temp_directory_path() / "velmora_bench_job_reading";
        std::filesystem::create_directories(made);
        return made;
    }();
    return folder;
}

void BM_OpenForEditing(benchmark::State& state)
{
    const std::filesystem::path job = writeJob(benchFolder(), static_cast<int>(state.range(0)), false);
    for (auto _ : state) {
        EditSession session = EditSession::load(job);
        benchmark::DoNotOptimize(session.timelines.data());
    }
}

void BM_OpenForEditingRefused(benchmark::State& state)
{
    const std::filesystem::path job = writeJob(benchFolder(), static_cast<int>(state.range(0)), true);
    for (auto _ : state) {
        try {
            (void)EditSession::load(job);
            state.SkipWithError("the job opened");
        } catch (const Error& error) {
            benchmark::DoNotOptimize(error.message().data());
        }
    }
}

// The job dropped on the 10-bit Export workspace until the workspace has taken or refused it.
void chooseInWorkspace(benchmark::State& state, bool brokenStart)
{
    const std::filesystem::path job = writeJob(benchFolder(), static_cast<int>(state.range(0)), brokenStart);
    VelmoraWorkflowState workflow;
    ExportWorkspaceController controller(workflow, ExportWorkspaceServices::desktop(nullptr));
    const QList<QUrl> urls{QUrl::fromLocalFile(QString::fromStdString(job.string()))};
    for (auto _ : state) {
        state.PauseTiming();
        controller.dismissError();
        bool answered = false;
        const QMetaObject::Connection taken = QObject::connect(
            &controller, &ExportWorkspaceController::jobURLChanged, [&answered] { answered = true; });
        const QMetaObject::Connection refused = QObject::connect(
            &controller, &ExportWorkspaceController::showErrorChanged, [&answered] { answered = true; });
        state.ResumeTiming();
        controller.handleDrop(urls);
        while (!answered)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        state.PauseTiming();
        QObject::disconnect(taken);
        QObject::disconnect(refused);
        state.ResumeTiming();
    }
}

void BM_ChooseInExportWorkspace(benchmark::State& state)
{
    chooseInWorkspace(state, false);
}

void BM_ChooseInExportWorkspaceRefused(benchmark::State& state)
{
    chooseInWorkspace(state, true);
}

} // namespace

BENCHMARK(BM_OpenForEditing)->Arg(20000)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_OpenForEditingRefused)->Arg(20000)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ChooseInExportWorkspace)->Arg(20000)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ChooseInExportWorkspaceRefused)->Arg(20000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int main(int argc, char** argv)
{
    return runQtBenchmarks(argc, argv);
}
