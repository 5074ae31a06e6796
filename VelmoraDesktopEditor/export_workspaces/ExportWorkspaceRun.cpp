// The export run: its checks, the snapshot it works from, the worker thread, progress and end.
#include <system_error>

#include <QPointer>

#include "export_workspaces/DetachedWorker.h"
#include "export_workspaces/ExportWorkspaceController.h"
#include "export_workspaces/WorkspaceError.h"

namespace velmora {

std::string ExportWorkspaceController::exportButtonTitle() const
{
    return isExporting_ ? "Exporting\u2026" : "Export 10-bit HEVC";
}

bool ExportWorkspaceController::canRevealOutput() const
{
    std::error_code error;
    return outputURL_ && std::filesystem::exists(*outputURL_, error);
}

void ExportWorkspaceController::revealOutput()
{
    if (canRevealOutput())
        services_.fileRevealer->reveal(*outputURL_);
}

void ExportWorkspaceController::startExport()
{
    if (!inputsComplete())
        return;
    QPointer<ExportWorkspaceController> self(this);
    ensureOutputURL([self](OptionalPath output) {
        if (self && output)
            self->beginExport(*output);
    });
}

void ExportWorkspaceController::beginExport(const std::filesystem::path& output)
{
    assign(isExporting_, true, &ExportWorkspaceController::isExportingChanged);
    const std::optional<std::int64_t> bitrate = OutputSettings::bitrateOverrideBps(bitrateMbps_);
    const JobLook runLook = look();
    assign(statusText_, ExportWorkspaceTexts::exportStartedStatus(runLook),
           &ExportWorkspaceController::statusTextChanged);

    // The run works on this copy only; later edits in the workspace do not reach it.
    JobExportRequest request{jobFiles(), output, bitrate, runLook};
    try {
        runExport(std::move(request));
    } catch (const std::system_error&) {
        finishExport(std::nullopt, workspaceError(std::current_exception()));
    }
}

void ExportWorkspaceController::runExport(JobExportRequest request)
{
    runDetached("velmora.export", [request = std::move(request), exporter = services_.exporter,
                                   queue = services_.mainQueue, self = QPointer<ExportWorkspaceController>(this)] {
        // Every report is shown, in order; the end is posted after the last of them.
        const auto progress = [queue, self](const TimelineExportProgress& report) {
            queue->post([self, report] {
                if (self)
                    self->applyExportProgress(report);
            });
        };
        std::optional<ExportResult> result;
        std::optional<Error> failure;
        try {
            result = exporter->exportJob(request, progress);
        } catch (...) {
            failure = workspaceError(std::current_exception());
        }
        queue->post([self, result = std::move(result), failure = std::move(failure)] {
            if (self)
                self->finishExport(result, failure);
        });
    });
}

void ExportWorkspaceController::applyExportProgress(const TimelineExportProgress& progress)
{
    assign(statusText_, ExportWorkspaceTexts::exportProgressStatus(progress),
           &ExportWorkspaceController::statusTextChanged);
}

void ExportWorkspaceController::finishExport(const std::optional<ExportResult>& result,
                                             const std::optional<Error>& failure)
{
    if (result) {
        assign(statusText_, "Done: " + result->outputURL.string(), &ExportWorkspaceController::statusTextChanged);
    } else {
        assign(errorText_, failure ? failure->fullDescription() : std::string(),
               &ExportWorkspaceController::errorTextChanged);
        assign(showError_, true, &ExportWorkspaceController::showErrorChanged);
        assign(statusText_, std::string("Failed."), &ExportWorkspaceController::statusTextChanged);
    }
    assign(isExporting_, false, &ExportWorkspaceController::isExportingChanged);
}

} // namespace velmora
