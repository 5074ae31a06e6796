#include "inspectors/ProjectSettingsController.h"

#include <algorithm>

#include "inspectors/ProjectSettingsPresets.h"
#include "model/LutResolution.h"
#include "model/ProjectLUTResolver.h"
#include "platform/foundation/StringText.h"
#include "preview/StatusText.h"
#include "preview/TimelinePreviewEngine.h"

namespace velmora {

ProjectSettingsController::ProjectSettingsController(TimelinePreviewEngine& engine, std::vector<std::string> lutNames,
                                                     std::function<void()> onApply, std::function<void()> onDismiss,
                                                     QObject* parent)
    : QObject(parent), engine_(&engine), lutNames_(std::move(lutNames)), onApply_(std::move(onApply)),
      onDismiss_(std::move(onDismiss)), resolutionLabel_(ProjectSettingsPresets::resolutions().front().label),
      lutSelection_(ProjectLUTResolver::noLutSentinel)
{
}

void ProjectSettingsController::setProjectName(std::string name)
{
    projectName_ = std::move(name);
    emit projectNameChanged();
}

void ProjectSettingsController::setResolutionLabel(std::string label)
{
    resolutionLabel_ = std::move(label);
    emit resolutionLabelChanged();
    setUseCustomResolution(resolutionLabel_ == ProjectSettingsPresets::customLabel);
}

void ProjectSettingsController::setUseCustomResolution(bool value)
{
    useCustomResolution_ = value;
    emit useCustomResolutionChanged();
}

void ProjectSettingsController::setCustomWidth(int width)
{
    customWidth_ = width;
    emit customWidthChanged();
}

void ProjectSettingsController::setCustomHeight(int height)
{
    customHeight_ = height;
    emit customHeightChanged();
}

void ProjectSettingsController::setFps(double fps)
{
    fps_ = fps;
    emit fpsChanged();
}

void ProjectSettingsController::setLutSelection(std::string reference)
{
    lutSelection_ = std::move(reference);
    emit lutSelectionChanged();
}

std::string ProjectSettingsController::aspectText() const
{
    if (customHeight_ < 1) {
        return {};
    }
    return StatusText::fixed(static_cast<double>(customWidth_) / static_cast<double>(customHeight_), 2) + ":1";
}

void ProjectSettingsController::fillIn()
{
    std::optional<EditSession::Project> project;
    if (engine_ && engine_->session()) {
        project = engine_->session()->project;
    }
    setProjectName(project && project->name ? *project->name : untitledName);
    setFps(projectFrameRate(project ? project->fps : std::nullopt));
    const int width = project && project->width ? *project->width : 1920;
    const int height = project && project->height ? *project->height : 1080;
    if (const std::optional<ProjectResolutionPreset> match = ProjectSettingsPresets::preset(width, height)) {
        setResolutionLabel(match->label);
    } else {
        setResolutionLabel(ProjectSettingsPresets::customLabel);
        setCustomWidth(width);
        setCustomHeight(height);
    }
    projectLutReference_ = engine_ ? engine_->projectLutReference() : std::string();
    projectLut_ = engine_ ? std::optional(engine_->projectLutPickerValue()) : std::nullopt;
    setLutSelection(projectLut_ ? projectLut_->entry : std::string(ProjectLUTResolver::noLutSentinel));
}

std::vector<std::string> ProjectSettingsController::lutOptions() const
{
    return projectLut_ ? LutResolving::pickerEntries(lutNames_, *projectLut_) : lutNames_;
}

std::string ProjectSettingsController::lutTitle(const std::string& name) const
{
    return LutResolving::pickerTitle(name, projectLut_, engine_ ? engine_->listedLutMarks() : ListedLutMarks{});
}

ProjectSettingsController::CanvasSize ProjectSettingsController::appliedSize() const
{
    if (useCustomResolution_) {
        return {std::clamp(customWidth_, 1, maximumCustomWidth), std::clamp(customHeight_, 1, maximumCustomHeight)};
    }
    if (const std::optional<ProjectResolutionPreset> chosen = ProjectSettingsPresets::preset(resolutionLabel_)) {
        return {chosen->width, chosen->height};
    }
    return {1920, 1080};
}

std::string ProjectSettingsController::appliedName() const
{
    return StringText::trimmed(projectName_).empty() ? std::string(untitledName) : projectName_;
}

void ProjectSettingsController::apply()
{
    const CanvasSize size = appliedSize();
    if (engine_) {
        const bool unchanged = projectLut_ && lutSelection_ == projectLut_->entry;
        engine_->applyProjectSettings(appliedName(), size.width, size.height, fps_,
                                      unchanged ? projectLutReference_ : lutSelection_);
    }
    if (onApply_) {
        onApply_();
    }
    if (onDismiss_) {
        onDismiss_();
    }
}

void ProjectSettingsController::cancel()
{
    if (onDismiss_) {
        onDismiss_();
    }
}

} // namespace velmora
