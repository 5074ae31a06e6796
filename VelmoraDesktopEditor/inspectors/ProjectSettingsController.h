#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QObject>
#include <QPointer>

#include "model/LutResolution.h"
#include "platform/foundation/FrameRates.h"

namespace velmora {

class TimelinePreviewEngine;

// The "Project Settings" sheet without its widgets: the form's fields, the fill-in from the
// open project and "Apply" / "Cancel". Fields start at the values of a fresh sheet; fillIn()
// (run each time the sheet comes on screen) reads them from the engine. Nothing the user types
// is rejected: apply() settles the size (the preset, or the custom size clamped to
// 1…7680 × 1…4320) and a blank name, hands all four settings to the engine at once, then asks
// the owner to close the sheet. The sheet never closes itself.
//
// Each field has a getter, a setter and a change signal emitted after every write. Main thread
// only; the engine is held weakly (with no engine nothing is read or written, the callbacks
// still run).
class ProjectSettingsController final : public QObject {
    Q_OBJECT
public:
    // Bounds of a custom canvas, pixels.
    static constexpr int maximumCustomWidth = 7680;
    static constexpr int maximumCustomHeight = 4320;
    static constexpr const char* untitledName = "Untitled Project";

    ProjectSettingsController(TimelinePreviewEngine& engine, std::vector<std::string> lutNames,
                              std::function<void()> onApply, std::function<void()> onDismiss,
                              QObject* parent = nullptr);

    const std::vector<std::string>& lutNames() const { return lutNames_; }

    const std::string& projectName() const { return projectName_; }
    void setProjectName(std::string name);
    // A preset label or "Custom…"; choosing one sets useCustomResolution to whether it is
    // "Custom…" and leaves the custom size alone.
    const std::string& resolutionLabel() const { return resolutionLabel_; }
    void setResolutionLabel(std::string label);
    bool useCustomResolution() const { return useCustomResolution_; }
    int customWidth() const { return customWidth_; }
    void setCustomWidth(int width);
    int customHeight() const { return customHeight_; }
    void setCustomHeight(int height);
    // Kept as set, also a rate the picker does not offer.
    double fps() const { return fps_; }
    void setFps(double fps);
    // Kept as set, also a reference that is not among lutNames().
    const std::string& lutSelection() const { return lutSelection_; }
    void setLutSelection(std::string reference);
    // The LUT picker's entries: lutNames() and the project's LUT as fillIn found it shown (the
    // engine's projectLutPickerValue), and each one's title, that LUT marked "(missing)" when it
    // grades nothing, as is any listed LUT that grades nothing (LutResolving::pickerTitle).
    std::vector<std::string> lutOptions() const;
    std::string lutTitle(const std::string& name) const;

    // customWidth ÷ customHeight as "%.2f:1"; empty for a height below 1.
    std::string aspectText() const;

    // The fields from the engine's project and project LUT; defaults for what is missing.
    void fillIn();
    // "Apply": the settings to the engine, then onApply(), then onDismiss().
    void apply();
    // "Cancel": onDismiss() only.
    void cancel();

    struct CanvasSize {
        int width = 0;
        int height = 0;
        bool operator==(const CanvasSize&) const = default;
    };
    // The size apply() hands over for the current fields.
    CanvasSize appliedSize() const;
    // The name apply() hands over: "Untitled Project" for a blank one, else as typed.
    std::string appliedName() const;

signals:
    void projectNameChanged();
    void resolutionLabelChanged();
    void useCustomResolutionChanged();
    void customWidthChanged();
    void customHeightChanged();
    void fpsChanged();
    void lutSelectionChanged();

private:
    void setUseCustomResolution(bool value);

    QPointer<TimelinePreviewEngine> engine_;
    std::vector<std::string> lutNames_;
    std::function<void()> onApply_;
    std::function<void()> onDismiss_;

    std::string projectName_;
    std::string resolutionLabel_;
    bool useCustomResolution_ = false;
    int customWidth_ = 1920;
    int customHeight_ = 1080;
    double fps_ = defaultFrameRate;
    std::string lutSelection_;
    // The project's LUT reference as fillIn read it and what the picker showed for it: applying
    // with that entry still chosen keeps the reference as it is (inline text included).
    std::string projectLutReference_;
    std::optional<LutPickerValue> projectLut_;
};

} // namespace velmora
