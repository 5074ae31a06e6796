#pragma once

#include <vector>

#include <QWidget>

#include "workspace/EditorWorkspaceController.h"

class QLabel;
class QPushButton;
class QHBoxLayout;

namespace velmora {

// What the program area shows until a preview player exists: "Project ready" while a project is
// open, then a heading, an explanation and the buttons that lead on (new, open, import, retry),
// as EditorWorkspaceController::previewPlaceholder decides. Main thread only.
class PreviewPlaceholderView final : public QWidget {
    Q_OBJECT
public:
    PreviewPlaceholderView(EditorWorkspaceController& workspace, QWidget* parent = nullptr);

    QLabel* projectReadyLabel() const { return projectReady_; }
    QLabel* headingLabel() const { return heading_; }
    QLabel* explanationLabel() const { return explanation_; }
    const std::vector<QPushButton*>& buttons() const { return buttons_; }

    void refresh();

private:
    EditorWorkspaceController& workspace_;
    QWidget* projectReadyRow_;
    QLabel* projectReady_;
    QLabel* heading_;
    QLabel* explanation_;
    QHBoxLayout* buttonRow_;
    EditorWorkspaceController::PreviewPlaceholder shown_;
    std::vector<QPushButton*> buttons_;
    bool built_ = false;
};

} // namespace velmora
