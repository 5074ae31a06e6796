#pragma once

#include <array>

#include <QWidget>

#include "export_workspaces/OutputSettings.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;

namespace velmora {

class ExportWorkspaceController;

// The output settings under the output file row: container, bit rate, gamma, and the four
// compensation sliders with Reset. Every edit goes straight to the controller; none is disabled
// while an export runs (the run works on its own copy).
class OutputSettingsRows final : public QWidget {
    Q_OBJECT
public:
    explicit OutputSettingsRows(ExportWorkspaceController& controller, QWidget* parent = nullptr);

    // Shows the controller's values without echoing them back.
    void sync();

private:
    struct SliderRow {
        QSlider* slider = nullptr;
        QLabel* value = nullptr;
    };

    ExportWorkspaceController& controller_;
    QButtonGroup* container_ = nullptr;
    QLineEdit* bitrate_ = nullptr;
    QComboBox* gamma_ = nullptr;
    std::array<SliderRow, OutputSettings::compensationSliders.size()> compensation_;
};

} // namespace velmora
