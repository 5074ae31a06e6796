#pragma once

// A scripted exporter, and an export sheet's controller wired to a manual main queue, a manual
// clock, fake panels and reveal, for the export sheet's tests.

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <variant>
#include <vector>

#include "export_workspaces/ExportSheetController.h"
#include "model/EditSession.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/ManualMainQueue.h"
#include "platform/foundation/Error.h"
#include "preview/TimelinePreviewEngine.h"
#include "support/TestSupport.h"
#include "support/model/SessionBuilders.h"
#include "support/ui/FakeFilePanels.h"

namespace velmora::test {

// An exporter that does what the test tells it (report, finish, fail) on the sheet's worker
// thread. Like the export engine it polls the cancel query before every step and while it
// waits, then fails with Error("export", 248, "Export cancelled."). After 30 s it fails.
class ScriptedExportRunner final : public EditorExportRunner {
public:
    // One run, recorded when it ends.
    struct Call {
        EditSession session;                // a copy of what the run was given, as it was then
        const EditSession* given = nullptr; // the address it was given
        EditorExportRequest request;
    };

    ExportResult run(const EditSession& session, const EditorExportRequest& request,
                     const Exporter::TimelineProgressCallback& progress,
                     const Exporter::CancellationCallback& isCancelled) override;

    // Steps, taken in order by the current or the next run.
    void report(std::int64_t completed, std::int64_t total, std::string phase = "Rendering video");
    void finish(ExportResult result) { push(std::move(result)); }
    void fail(std::exception_ptr failure) { push(std::move(failure)); }
    void fail(Error error) { fail(std::make_exception_ptr(std::move(error))); }

    std::vector<Call> calls() const;

private:
    using Step = std::variant<TimelineExportProgress, ExportResult, std::exception_ptr>;
    void push(Step step);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Step> steps_;  // guarded by mutex_
    std::vector<Call> calls_; // guarded by mutex_
};

// Two video clips back to back on lane 1 ("a.mp4" 0–1 s, "b.mp4" 1–2 s from 0.5 s), 160 × 96
// at 25 fps, in a project of that name (none: no project name).
std::shared_ptr<EditSession> twoClipSession(std::optional<std::string> projectName = "Holiday");

struct SheetHarness {
    // `withSession`: the engine has a project; `withMediaFolder`: the sheet is given one;
    // `withController`: the harness makes and owns a controller (else watch() a sheet's).
    explicit SheetHarness(bool withSession = true, bool withMediaFolder = true, bool withController = true);

    ExportSheetServices services() { return {panels, revealer, runner, queue, clock}; }
    std::function<void()> onDismiss() { return [this] { ++dismissals; }; }
    // Records the controller's statuses and details, and makes it `controller`.
    void watch(ExportSheetController& watched);
    // "Choose Output & Export", then `output` in the panel.
    void startExport(const std::filesystem::path& output);
    // Runs the main queue until `done` holds (at most `seconds` of real time).
    bool runUntil(const std::function<bool()>& done, double seconds = 60) { return queue->runUntil(done, seconds); }
    bool runUntilIdle(double seconds = 60)
    {
        return runUntil([this] { return !controller->isExporting(); }, seconds);
    }

    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(100.0);
    std::shared_ptr<FakeFilePanels> panels = std::make_shared<FakeFilePanels>();
    std::shared_ptr<FakeFileRevealer> revealer = std::make_shared<FakeFileRevealer>();
    std::shared_ptr<ScriptedExportRunner> runner = std::make_shared<ScriptedExportRunner>();
    TempDir media;
    std::optional<std::filesystem::path> mediaFolder;
    TimelinePreviewEngine engine{TimelinePreviewEngine::Services{queue, clock, nullptr}};
    int dismissals = 0;
    // Every status and progress detail the controller showed, in order (repeats folded).
    std::vector<std::string> statuses;
    std::vector<std::string> details;
    std::unique_ptr<ExportSheetController> ownedController;
    ExportSheetController* controller = nullptr;
};

} // namespace velmora::test
