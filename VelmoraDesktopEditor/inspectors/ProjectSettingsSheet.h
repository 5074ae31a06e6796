#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora {

class ProjectSettingsController;
class TimelinePreviewEngine;

// The "Project Settings" sheet of the Edit workspace: project name, canvas resolution (a
// preset or a custom size), frame rate and default LUT, applied together. A form 480 pixels
// wide whose height follows its content; its owner presents it (a sheet or a dialog) and
// closes it when onDismiss() is called: the sheet never closes itself. Each time it is shown it
// fills its fields from the engine's project. Return runs "Apply", Escape runs "Cancel".
// Main thread only.
class ProjectSettingsSheet final : public QWidget {
    Q_OBJECT
public:
    static constexpr int sheetWidth = 480;

    // onApply: called after the settings went to the engine (the owner marks the project
    // changed); onDismiss: asks the owner to close the sheet.
    ProjectSettingsSheet(TimelinePreviewEngine& engine, std::vector<std::string> lutNames, std::function<void()> onApply,
                         std::function<void()> onDismiss, QWidget* parent = nullptr);
    ~ProjectSettingsSheet() override;

    ProjectSettingsController& controller() const { return *controller_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildForm();
    void bindController();
    void showName();
    void showResolution();
    void showCustomSize();
    void showFps();
    void showLut();

    ProjectSettingsController* controller_;
    QLineEdit* nameField_ = nullptr;
    QComboBox* resolutionPicker_ = nullptr;
    QWidget* customRow_ = nullptr;
    QLineEdit* widthField_ = nullptr;
    QLineEdit* heightField_ = nullptr;
    QLabel* aspectLabel_ = nullptr;
    QComboBox* fpsPicker_ = nullptr;
    QComboBox* lutPicker_ = nullptr;
    QPushButton* applyButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

} // namespace velmora
