// The graded preview: renders off the main thread, the debounce, and applying an outcome.
#include <system_error>

#include <QPointer>

#include "export_workspaces/ExportSheetCancelToken.h"
#include "export_workspaces/ExportWorkspaceController.h"
#include "export_workspaces/WorkspaceError.h"

namespace velmora {

bool ExportWorkspaceController::hasPreviewTimeRange() const
{
    // False as well when either bound is not a number.
    return previewMaxSeconds_ > previewMinSeconds_ + 0.0001;
}

void ExportWorkspaceController::setPreviewTimeSeconds(double seconds)
{
    assign(previewTimeSeconds_, seconds, &ExportWorkspaceController::previewTimeSecondsChanged);
}

void ExportWorkspaceController::refreshPreview()
{
    if (!inputsComplete())
        return;
    assign(isPreviewing_, true, &ExportWorkspaceController::isPreviewingChanged);

    const std::uint64_t requestNumber = ++previewRequestsStarted_;
    try {
        runPreview(requestNumber, {jobFiles(), previewTimeSeconds_, look()});
    } catch (const std::system_error&) {
        applyPreviewOutcome(requestNumber, std::nullopt, workspaceError(std::current_exception()));
    }
}

void ExportWorkspaceController::runPreview(std::uint64_t requestNumber, JobPreviewRequest request)
{
    // Renders are not serialised: two may run at once. One this object leaves running is dropped.
    previewWorkers_.emplace(
        requestNumber,
        OrphanedExports::Worker(
            "velmora.preview", services_.mainQueue,
            [request = std::move(request), requestNumber, exporter = services_.exporter, queue = services_.mainQueue,
             token = previewCancelToken_, self = QPointer<ExportWorkspaceController>(this)] {
                if (token->isCancelled())
                    return;
                std::optional<JobPreviewStill> still;
                std::optional<Error> failure;
                try {
                    still = exporter->renderPreviewFrame(request);
                } catch (...) {
                    failure = workspaceError(std::current_exception());
                }
                if (token->isCancelled())
                    return;
                queue->post([self, requestNumber, still = std::move(still), failure = std::move(failure)] {
                    if (!self)
                        return;
                    // Posted as the render's last act: its thread is at most unwinding.
                    if (const auto worker = self->previewWorkers_.find(requestNumber);
                        worker != self->previewWorkers_.end()) {
                        worker->second.join();
                        self->previewWorkers_.erase(worker);
                    }
                    self->applyPreviewOutcome(requestNumber, still, failure);
                });
            }));
}

void ExportWorkspaceController::schedulePreviewRefresh(double delaySeconds)
{
    // No automatic render before a still has been shown (nor after a failure removed it).
    if (previewImage_.isNull() || !inputsComplete() || isPreviewing_)
        return;
    if (previewRefreshWorkItem_)
        previewRefreshWorkItem_->cancel();
    QPointer<ExportWorkspaceController> self(this);
    previewRefreshWorkItem_ = services_.mainQueue->postDelayed(delaySeconds, [self] {
        if (self)
            self->refreshPreview();
    });
}

void ExportWorkspaceController::forgetPreview()
{
    if (previewRefreshWorkItem_) {
        previewRefreshWorkItem_->cancel();
        previewRefreshWorkItem_.reset();
    }
    previewRequestsForgotten_ = previewRequestsStarted_;
    assign(previewImage_, QImage(), &ExportWorkspaceController::previewImageChanged);
    assign(previewLabel_, std::string(), &ExportWorkspaceController::previewLabelChanged);
    assign(previewMinSeconds_, 0.0, &ExportWorkspaceController::previewMinSecondsChanged);
    assign(previewMaxSeconds_, 0.0, &ExportWorkspaceController::previewMaxSecondsChanged);
    setPreviewTimeSeconds(0);
    // The renders still running are the other job's: none of them ends this job's preview.
    assign(isPreviewing_, false, &ExportWorkspaceController::isPreviewingChanged);
}

void ExportWorkspaceController::applyPreviewOutcome(std::uint64_t requestNumber,
                                                    const std::optional<JobPreviewStill>& still,
                                                    const std::optional<Error>& failure)
{
    // An earlier render that ends after a later one has been shown would put an outdated look
    // (or an outdated failure) back on screen; one started for the job before shows another job.
    if (requestNumber < previewRequestApplied_ || requestNumber <= previewRequestsForgotten_)
        return;
    previewRequestApplied_ = requestNumber;

    if (!still) {
        assign(previewImage_, QImage(), &ExportWorkspaceController::previewImageChanged);
        assign(previewLabel_, std::string("Preview failed"), &ExportWorkspaceController::previewLabelChanged);
        assign(isPreviewing_, false, &ExportWorkspaceController::isPreviewingChanged);
        assign(statusText_, "Preview failed: " + (failure ? failure->fullDescription() : std::string()),
               &ExportWorkspaceController::statusTextChanged);
        return;
    }
    assign(previewImage_, still->image, &ExportWorkspaceController::previewImageChanged);
    assign(previewMinSeconds_, still->minTimeSeconds, &ExportWorkspaceController::previewMinSecondsChanged);
    assign(previewMaxSeconds_, still->maxTimeSeconds, &ExportWorkspaceController::previewMaxSecondsChanged);
    // The slider may have moved during the render: a time still inside the new range stays.
    if (previewTimeSeconds_ < previewMinSeconds_ || previewTimeSeconds_ > previewMaxSeconds_)
        setPreviewTimeSeconds(still->displayTimeSeconds);
    assign(previewLabel_, ExportWorkspaceTexts::previewCaption(*still), &ExportWorkspaceController::previewLabelChanged);
    assign(isPreviewing_, false, &ExportWorkspaceController::isPreviewingChanged);
    assign(statusText_, std::string("Preview updated"), &ExportWorkspaceController::statusTextChanged);
}

} // namespace velmora
