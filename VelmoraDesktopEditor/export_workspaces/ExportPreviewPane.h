#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QSlider;

namespace velmora {

class BusyIndicator;
class ExportWorkspaceController;
class GroupPanel;
class PreviewPictureBox;

// The right-hand column: "Load a job JSON to enable preview." without a job, else the
// "Preview" group with the time slider, "Refresh Preview" and its busy indicator, the caption,
// the note and the picture. The slider renders only when released.
class ExportPreviewPane final : public QWidget {
    Q_OBJECT
public:
    explicit ExportPreviewPane(ExportWorkspaceController& controller, QWidget* parent = nullptr);

    void sync();

private:
    // The slider counts hundredths of a second from the range's lower end.
    void syncTimeSlider();

    ExportWorkspaceController& controller_;
    QLabel* noJob_ = nullptr;
    GroupPanel* group_ = nullptr;
    QWidget* timeRow_ = nullptr;
    QSlider* timeSlider_ = nullptr;
    QLabel* timeText_ = nullptr;
    QLabel* timePlaceholder_ = nullptr;
    QPushButton* refresh_ = nullptr;
    BusyIndicator* busy_ = nullptr;
    QLabel* caption_ = nullptr;
    PreviewPictureBox* picture_ = nullptr;
};

} // namespace velmora
