#pragma once

#include <functional>
#include <vector>

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;

namespace velmora {

class EditorWorkspaceController;
class ToolbarEdgeScrollView;
class VelmoraDarkPopUpPicker;

// The first rows of the Edit workspace: the title with the version badge and the open project's
// name (orange with " •" while it has unsaved changes), the clip LUT picker and the "Grade"
// switch; below them every project command (New, Open…, Import Web Job JSON…, Save, Save As…,
// Project…, Media Folder…, Clean Feed F, Export Return…, 10-bit Export Tab →, Export Video…).
// Commands that need a project (or a media folder) are disabled without one. When the bar is too
// narrow for every command, the commands up to "Clean Feed F" scroll sideways in an edge-scrolling
// strip while the export commands stay at the right end; no label is ever cut. Main thread only.
class EditorTopBar final : public QWidget {
    Q_OBJECT
public:
    EditorTopBar(EditorWorkspaceController& workspace, QWidget* parent = nullptr);

    QLabel* versionBadge() const { return versionBadge_; }
    QLabel* projectNameLabel() const { return projectName_; }
    VelmoraDarkPopUpPicker* clipLutPicker() const { return lutPicker_; }
    QCheckBox* gradeToggle() const { return gradeToggle_; }
    // The command button with this title, or none.
    QPushButton* commandButton(const QString& title) const;
    // Every command button, in the row's order.
    const std::vector<QPushButton*>& commandButtons() const { return commandButtons_; }
    // The strip the commands from "New" to "Clean Feed F" scroll in.
    ToolbarEdgeScrollView* commandStrip() const { return commandStrip_; }

    void refresh();

private:
    // A command button at the end of `group` (a widget with a horizontal layout).
    QPushButton* addCommand(QWidget& group, const QString& title, const QString& help, std::function<void()> action);
    void refreshLutPicker();

    EditorWorkspaceController& workspace_;
    QWidget* commandRow_;
    QLabel* versionBadge_;
    QLabel* projectName_;
    VelmoraDarkPopUpPicker* lutPicker_;
    QCheckBox* gradeToggle_;
    ToolbarEdgeScrollView* commandStrip_;
    std::vector<QPushButton*> commandButtons_;
    QPushButton* saveButton_ = nullptr;
    QPushButton* saveAsButton_ = nullptr;
    QPushButton* projectButton_ = nullptr;
    QPushButton* exportReturnButton_ = nullptr;
    QPushButton* handoffButton_ = nullptr;
    QPushButton* exportVideoButton_ = nullptr;
};

} // namespace velmora
