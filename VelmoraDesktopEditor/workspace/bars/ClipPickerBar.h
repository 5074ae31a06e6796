#pragma once

#include <vector>

#include <QWidget>

#include "workspace/EditorWorkspaceController.h"

class QHBoxLayout;
class QPushButton;
class QScrollArea;

namespace velmora {

// The row of the active timeline's picture clips (video and stills) as small named buttons in
// start-time order; a button selects its clip without moving the playhead, the selected clip's
// button is highlighted. 36 high, or no height at all while there is no picture clip. Keeps no
// state of its own beyond the buttons it shows. Main thread only.
class ClipPickerBar final : public QWidget {
    Q_OBJECT
public:
    ClipPickerBar(EditorWorkspaceController& workspace, QWidget* parent = nullptr);

    // The clip buttons, in order.
    const std::vector<QPushButton*>& clipButtons() const { return buttons_; }

    void refresh();

private:
    void rebuild(const std::vector<EditorWorkspaceController::PickerClip>& clips);

    EditorWorkspaceController& workspace_;
    QScrollArea* scroll_;
    QWidget* row_;
    QHBoxLayout* rowLayout_;
    std::vector<EditorWorkspaceController::PickerClip> shown_;
    std::vector<QPushButton*> buttons_;
};

} // namespace velmora
