#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <QWidget>

#include "inspectors/ClipGradeInspectorController.h"
#include "model/LutResolution.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace velmora {

class ContinuousGradeSlider;
class VelmoraDarkPopUpPicker;

// The content of the floating "Mood & Basic Grade" window: the clip's LUT, its mood look with
// seven mood rows, and eight basic-grade rows, over a fixed 380 × 620 panel. All state lives in
// the owner's edit state (through the binding); every edit is handed to
// ClipGradeInspectorController, which writes it and calls the owner back. Numeric rows are
// named "row_<sliderId>" and hold a ContinuousGradeSlider (named so) and a readout
// ("readout"). "Done" and Return call onDismiss only. Main thread only.
class ClipGradeInspectorSheet final : public QWidget {
    Q_OBJECT
public:
    static constexpr int sheetWidth = 380;
    static constexpr int sheetHeight = 620;

    ClipGradeInspectorSheet(std::string clipName, std::vector<std::string> lutNames,
                            ClipGradeInspectorController::EditStateBinding editState,
                            std::function<void()> onLiveChange, std::function<void()> onLiveEnd,
                            std::function<void()> onDismiss, QWidget* parent = nullptr);
    ~ClipGradeInspectorSheet() override;

    ClipGradeInspectorController& controller() const { return *controller_; }
    // Shows the bound edit state again (after the owner changed it).
    void refresh();

    ContinuousGradeSlider* slider(const std::string& sliderId) const;
    QLabel* readout(const std::string& sliderId) const;
    VelmoraDarkPopUpPicker* lutPicker() const { return lutPicker_; }
    // Shows `value` (the engine's clipLutPickerValue) for the clip's LUT as the edit state holds it
    // now, its entry marked "(missing)" when it grades nothing; a LUT chosen later shows as chosen.
    // The other entries are marked as `listed` (the engine's listedLutMarks) marks them.
    void showClipLut(const LutPickerValue& value, const ListedLutMarks& listed = {});
    VelmoraDarkPopUpPicker* moodPicker() const { return moodPicker_; }
    QCheckBox* moodSwitch() const { return moodSwitch_; }
    QPushButton* doneButton() const { return doneButton_; }
    QPushButton* resetButton() const { return resetButton_; }

private:
    struct Row {
        ClipGradeCatalog::SliderSpec definition;
        // moodBinding in the mood section, basicBinding in the basic one.
        ClipGradeInspectorController::DoubleBinding value;
        ContinuousGradeSlider* slider = nullptr;
        QLabel* readout = nullptr;
    };

    QWidget* buildHeader();
    QWidget* buildLutSection(QWidget* parent);
    QWidget* buildMoodSection(QWidget* parent);
    QWidget* buildBasicSection(QWidget* parent);
    QWidget* buildFooter();
    QWidget* buildRow(const ClipGradeCatalog::SliderSpec& definition, bool moodSection, QWidget* parent);

    ClipGradeInspectorController* controller_;
    std::map<std::string, Row> rows_;
    VelmoraDarkPopUpPicker* lutPicker_ = nullptr;
    // The edit state's LUT reference showClipLut was given for, and what the picker shows for it.
    std::optional<std::pair<std::string, LutPickerValue>> shownLut_;
    // The picker's selection for the edit state's LUT reference.
    std::string lutSelection() const;
    VelmoraDarkPopUpPicker* moodPicker_ = nullptr;
    QCheckBox* moodSwitch_ = nullptr;
    QPushButton* doneButton_ = nullptr;
    QPushButton* resetButton_ = nullptr;
};

} // namespace velmora
