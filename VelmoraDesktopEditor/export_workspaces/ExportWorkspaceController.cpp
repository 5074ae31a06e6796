#include "export_workspaces/ExportWorkspaceController.h"

#include <QPointer>

#include "controls/VelmoraWorkflowState.h"
#include "export/MovieContainer.h"
#include "export_workspaces/ExportSheetCancelToken.h"
#include "export_workspaces/OrphanedExports.h"

namespace velmora {

ExportWorkspaceController::ExportWorkspaceController(VelmoraWorkflowState& workflow, ExportWorkspaceServices services,
                                                     QObject* parent)
    : QObject(parent)
    , workflow_(workflow)
    , services_(std::move(services))
    , cancelToken_(std::make_shared<ExportCancelToken>())
    , previewCancelToken_(std::make_shared<ExportCancelToken>())
{
    connect(&workflow_, &VelmoraWorkflowState::exportJobURLChanged, this,
            &ExportWorkspaceController::onWorkflowJobChanged);
    workflow_.setExitGuard(this, [this](VelmoraWorkflowState::WorkspaceExit exit, std::function<void()> proceed) {
        guardExit(exit == VelmoraWorkflowState::WorkspaceExit::quit, std::move(proceed));
    });
}

ExportWorkspaceController::~ExportWorkspaceController()
{
    workflow_.clearExitGuard(this);
    if (previewRefreshWorkItem_)
        previewRefreshWorkItem_->cancel();
    if (exportWorker_.joinable()) {
        // Only another mode takes the workspace away during an export (quitting stops it first):
        // the export goes on and finishes its movie, unless the application quits before.
        OrphanedExports::adopt(std::move(exportWorker_), cancelToken_);
    }
    previewCancelToken_->request();
    for (auto& [requestNumber, worker] : previewWorkers_)
        OrphanedExports::adopt(std::move(worker), previewCancelToken_);
}

ExportWorkspaceController::JobKind ExportWorkspaceController::jobKind() const
{
    if (!jobURL_)
        return JobKind::none;
    return isTimelineJob_ ? JobKind::timeline : JobKind::singleVideo;
}

bool ExportWorkspaceController::inputsComplete() const
{
    if (!jobURL_)
        return false;
    return isTimelineJob_ ? mediaFolderURL_.has_value() : inputURL_.has_value();
}

void ExportWorkspaceController::setDropTarget(bool targeted)
{
    assign(isDropTarget_, targeted, &ExportWorkspaceController::isDropTargetChanged);
}

void ExportWorkspaceController::setOutputContainer(std::string container)
{
    // The movie is what its name says, so the name follows the container chosen for it.
    if (outputURL_) {
        const std::optional<std::string> named = MovieContainer::ofName(*outputURL_);
        if (named && *named != container) {
            std::filesystem::path renamed = *outputURL_;
            renamed.replace_extension(container);
            // A file of the new name was never asked about.
            outputConfirmed_ = false;
            assign(outputURL_, std::move(renamed), &ExportWorkspaceController::outputURLChanged);
        }
    }
    showContainer(std::move(container));
}

void ExportWorkspaceController::showContainer(std::string container)
{
    assign(outputContainer_, std::move(container), &ExportWorkspaceController::outputContainerChanged);
}

void ExportWorkspaceController::setOutputURL(std::filesystem::path output, bool confirmed)
{
    outputJobURL_ = jobURL_;
    outputConfirmed_ = confirmed;
    assign(outputURL_, std::move(output), &ExportWorkspaceController::outputURLChanged);
    if (std::optional<std::string> container = MovieContainer::ofName(*outputURL_))
        showContainer(std::move(*container));
}

void ExportWorkspaceController::setBitrateMbps(std::string text)
{
    assign(bitrateMbps_, std::move(text), &ExportWorkspaceController::bitrateMbpsChanged);
}

void ExportWorkspaceController::setGammaMode(std::string mode)
{
    const bool changed = mode != gammaMode_;
    assign(gammaMode_, std::move(mode), &ExportWorkspaceController::gammaModeChanged);
    if (changed)
        schedulePreviewRefresh();
}

double ExportWorkspaceController::compensation(OutputSettings::Compensation which) const
{
    switch (which) {
    case OutputSettings::Compensation::contrast:
        return compContrast_;
    case OutputSettings::Compensation::saturation:
        return compSaturation_;
    case OutputSettings::Compensation::brightness:
        return compBrightness_;
    case OutputSettings::Compensation::tint:
        return compTint_;
    }
    return 0;
}

void ExportWorkspaceController::setCompensation(OutputSettings::Compensation which, double value)
{
    value = OutputSettings::clampedValue(which, value);
    const bool changed = value != compensation(which);
    switch (which) {
    case OutputSettings::Compensation::contrast:
        assign(compContrast_, value, &ExportWorkspaceController::compContrastChanged);
        break;
    case OutputSettings::Compensation::saturation:
        assign(compSaturation_, value, &ExportWorkspaceController::compSaturationChanged);
        break;
    case OutputSettings::Compensation::brightness:
        assign(compBrightness_, value, &ExportWorkspaceController::compBrightnessChanged);
        break;
    case OutputSettings::Compensation::tint:
        assign(compTint_, value, &ExportWorkspaceController::compTintChanged);
        break;
    }
    if (changed)
        schedulePreviewRefresh();
}

void ExportWorkspaceController::resetCompensation()
{
    for (const OutputSettings::CompensationSlider& slider : OutputSettings::compensationSliders)
        setCompensation(slider.which, slider.neutral);
}

void ExportWorkspaceController::dismissError()
{
    assign(showError_, false, &ExportWorkspaceController::showErrorChanged);
}

JobFiles ExportWorkspaceController::jobFiles() const
{
    // The editor's files belong to the job it handed over, not to one chosen since.
    const bool handedOver = jobURL_ && jobURL_ == handedOverJobURL_;
    return {jobURL_.value_or(std::filesystem::path()), lutOverrideURL_, inputURL_, mediaFolderURL_,
            handedOver ? handedOverMedia_ : std::nullopt};
}

JobLook ExportWorkspaceController::look() const
{
    return {gammaMode_, compContrast_, compSaturation_, compBrightness_, compTint_};
}

void ExportWorkspaceController::askForFile(FilePanelRequest request, std::function<void(std::filesystem::path)> chosen)
{
    // A kind of panel not used yet starts in the job's folder.
    if (request.directory.empty() && jobURL_)
        request.directory = jobURL_->parent_path();
    QPointer<ExportWorkspaceController> self(this);
    services_.filePanels->run(request, [self, chosen = std::move(chosen)](std::vector<std::filesystem::path> paths) {
        if (self && !paths.empty())
            chosen(paths.front());
    });
}

} // namespace velmora
