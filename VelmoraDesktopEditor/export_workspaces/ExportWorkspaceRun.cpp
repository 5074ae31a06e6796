// The export run: its checks, the snapshot it works from, the worker thread, progress and end,
// and the question before quitting during one.
#include <system_error>
#include <utility>

#include <QPointer>

#include "export_workspaces/ExportSheetCancelToken.h"
#include "export_workspaces/ExportWorkspaceController.h"
#include "export_workspaces/WorkspaceError.h"
#include "platform/foundation/FileError.h"

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
    if (!canRevealOutput())
        return;
    QPointer<ExportWorkspaceController> self(this);
    services_.fileRevealer->reveal(*outputURL_, [self, name = FileError::shownName(*outputURL_)] {
        if (self)
            self->assign(self->statusText_, "No file manager is available to show " + name,
                         &ExportWorkspaceController::statusTextChanged);
    });
}

void ExportWorkspaceController::startExport()
{
    if (!inputsComplete())
        return;
    QPointer<ExportWorkspaceController> self(this);
    ensureOutputURL([self](OptionalPath output) {
        if (self && output)
            self->exportOrAsk(*output);
    });
}

void ExportWorkspaceController::exportOrAsk(const std::filesystem::path& output)
{
    std::error_code error;
    const bool exists = std::filesystem::exists(output, error) || error;
    if (outputConfirmed_ || !exists) {
        beginExport(output);
        return;
    }
    replaceQuestionOutput_ = output;
    replaceQuestion_ = ReplaceQuestion{
        "\u201C" + FileError::shownName(output) + "\u201D already exists. Do you want to replace it?", "Replace", "Cancel"};
    emit replaceQuestionChanged();
}

void ExportWorkspaceController::answerReplaceQuestion(bool replace)
{
    if (!replaceQuestion_)
        return;
    replaceQuestion_.reset();
    emit replaceQuestionChanged();
    // The output or the job may have changed, or an export started, while the question was up.
    if (!replace || !canExport() || outputURL_ != replaceQuestionOutput_)
        return;
    outputConfirmed_ = true;
    beginExport(replaceQuestionOutput_);
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
    cancelToken_->reset();
    try {
        runExport(std::move(request));
    } catch (const std::system_error&) {
        finishExport(std::nullopt, workspaceError(std::current_exception()));
    }
}

void ExportWorkspaceController::runExport(JobExportRequest request)
{
    // The previous run's thread was joined when its end arrived; no run is going.
    if (exportWorker_.joinable())
        exportWorker_.join();
    exportWorker_ = OrphanedExports::Worker("velmora.export", services_.mainQueue,
                                            [request = std::move(request), exporter = services_.exporter,
                                             queue = services_.mainQueue, token = cancelToken_,
                                             self = QPointer<ExportWorkspaceController>(this)] {
        // Every report is shown, in order; the end is posted after the last of them, as the
        // thread's last act.
        const auto progress = [queue, self](const TimelineExportProgress& report) {
            queue->post([self, report] {
                if (self)
                    self->applyExportProgress(report);
            });
        };
        std::optional<ExportResult> result;
        std::optional<Error> failure;
        try {
            result = exporter->exportJob(request, progress, [token] { return token->isCancelled(); });
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
    // Posted as the worker's last act: the thread is at most unwinding.
    if (exportWorker_.joinable())
        exportWorker_.join();
    if (std::exchange(stoppedToQuit_, false) && !result) {
        // Stopped for the window to close, which it did already: no alert.
        assign(isExporting_, false, &ExportWorkspaceController::isExportingChanged);
        return;
    }
    if (result) {
        // This job's own movie now: exporting again replaces it without asking.
        if (outputURL_ == result->outputURL)
            outputConfirmed_ = true;
        assign(statusText_, "Done: " + result->outputURL.string(), &ExportWorkspaceController::statusTextChanged);
    } else {
        errorTitle_ = "Export Failed";
        assign(errorText_, failure ? failure->fullDescription() : std::string(),
               &ExportWorkspaceController::errorTextChanged);
        assign(showError_, true, &ExportWorkspaceController::showErrorChanged);
        assign(statusText_, std::string("Failed."), &ExportWorkspaceController::statusTextChanged);
    }
    assign(isExporting_, false, &ExportWorkspaceController::isExportingChanged);
    // A quit that asked while the export ran has nothing left to stop: the question goes, and
    // the quit goes on (last: it may close the window).
    if (quitQuestion_)
        answerQuitQuestion(true);
}

void ExportWorkspaceController::guardExit(bool quitting, std::function<void()> proceed)
{
    // Another mode lets a running export go on without this workspace.
    if (!quitting || !isExporting_) {
        proceed();
        return;
    }
    if (stoppedToQuit_) {
        // Already stopped to quit: nothing more to ask.
        proceed();
        return;
    }
    afterQuitQuestion_ = std::move(proceed);
    quitQuestion_ = QuitQuestion{"Stop the export and quit?", "Stop & Quit", "Cancel"};
    emit quitQuestionChanged();
}

void ExportWorkspaceController::answerQuitQuestion(bool stop)
{
    if (!quitQuestion_)
        return;
    std::function<void()> proceed = std::move(afterQuitQuestion_);
    afterQuitQuestion_ = nullptr;
    quitQuestion_.reset();
    emit quitQuestionChanged();
    if (!stop || !proceed)
        return;
    if (!isExporting_) {
        // The export ended while the question was open.
        proceed();
        return;
    }
    // The window closes at once; the export's thread stops in the background and the
    // application's end waits for it (OrphanedExports), so a slow encoder never holds the window.
    stoppedToQuit_ = true;
    cancelToken_->request();
    proceed();
}

} // namespace velmora
