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
// as EditorWorkspaceController::previewPlaceholder decides. In a short program area it draws
// closer together (Fit) rather than letting its rows overlap. Main thread only.
class PreviewPlaceholderView final : public QWidget {
    Q_OBJECT
public:
    // How close together the rows sit: roomy as designed; tight with small margins and gaps;
    // tightest also keeps the explanation to one line, ending in "…" (its tooltip has it all).
    enum class Fit { roomy, tight, tightest };

    PreviewPlaceholderView(EditorWorkspaceController& workspace, QWidget* parent = nullptr);

    // The height the rows need at `width` in `fit`, from the rows' own size hints (nothing is
    // changed to find it out).
    int heightFor(int width, Fit fit) const;
    // Lays the rows out in `fit` for a view `width` wide; nothing happens when both are as before.
    void setFit(Fit fit, int width);

    QLabel* projectReadyLabel() const { return projectReady_; }
    QLabel* headingLabel() const { return heading_; }
    QLabel* explanationLabel() const { return explanation_; }
    const std::vector<QPushButton*>& buttons() const { return buttons_; }

    void refresh();

private:
    void showExplanation();

    EditorWorkspaceController& workspace_;
    QWidget* projectReadyRow_;
    QLabel* projectReady_;
    QLabel* heading_;
    QLabel* explanation_;
    QHBoxLayout* buttonRow_;
    EditorWorkspaceController::PreviewPlaceholder shown_;
    std::vector<QPushButton*> buttons_;
    bool built_ = false;
    Fit fit_ = Fit::roomy;
    int fitWidth_ = -1;
};

} // namespace velmora
