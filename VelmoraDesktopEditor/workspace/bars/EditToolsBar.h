#pragma once

#include <map>

#include <QStringList>
#include <QWidget>

#include "workspace/EditorWorkspaceController.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace velmora {

class ClipFadeBar;
class ClipGainBar;
class ToolbarEdgeScrollView;

// The one-line row of editing commands between the transport and the clip picker: undo and
// redo, the timeline edits, "Grade" and "Source V" for the selection, the fade and gain groups,
// the Snap and Ripple switches in an edge-scrolling strip, and the engine's status line at the
// bar's end, outside the strip, so that it shows at every width, in a slot whose width follows
// the bar's and never its text (cut short with an ellipsis where it does not fit, the whole text
// in its tool tip), so that no command moves when a message comes; the commands keep 700 px in
// view where the bar has room for them and the slot. 36 high.
// Every button runs the command its key runs (EditorWorkspaceController::perform); only Undo and
// Redo are ever disabled, every other command is refused by the engine with a status message.
// Main thread only.
class EditToolsBar final : public QWidget {
    Q_OBJECT
public:
    using EditCommand = EditorWorkspaceController::EditCommand;

    EditToolsBar(EditorWorkspaceController& workspace, QWidget* parent = nullptr);

    // The button that runs a command; none for the commands without a button.
    QPushButton* button(EditCommand command) const;
    QPushButton* gradeButton() const { return gradeButton_; }
    QPushButton* sourceViewerButton() const { return sourceViewerButton_; }
    ClipFadeBar* fadeBar() const { return fadeBar_; }
    ClipGainBar* gainBar() const { return gainBar_; }
    QCheckBox* snapToggle() const { return snapToggle_; }
    QCheckBox* rippleToggle() const { return rippleToggle_; }
    QLabel* statusLabel() const { return statusLabel_; }
    ToolbarEdgeScrollView* strip() const { return strip_; }

    void refresh();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // The status line's slot: its share of the bar, whatever its text.
    void fitStatusWidth();
    // `titles`: every text the button shows, the first at the start.
    QPushButton* addCommandButton(QWidget* row, const QStringList& titles, EditCommand command, const QString& help);

    EditorWorkspaceController& workspace_;
    ToolbarEdgeScrollView* strip_;
    std::map<EditCommand, QPushButton*> buttons_;
    QPushButton* gradeButton_ = nullptr;
    QPushButton* sourceViewerButton_ = nullptr;
    ClipFadeBar* fadeBar_ = nullptr;
    ClipGainBar* gainBar_ = nullptr;
    QCheckBox* snapToggle_ = nullptr;
    QCheckBox* rippleToggle_ = nullptr;
    QLabel* statusLabel_ = nullptr;
};

} // namespace velmora
