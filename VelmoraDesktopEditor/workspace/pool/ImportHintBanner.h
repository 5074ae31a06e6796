#pragma once

#include <QWidget>

namespace velmora {

class EditorWorkspaceController;

// The banner above the program area of a project without sources: the invitation, "Import…" and
// a button that dismisses it. The workspace shows its row while workspace.importHintShown().
// Main thread only.
class ImportHintBanner final : public QWidget {
    Q_OBJECT
public:
    ImportHintBanner(EditorWorkspaceController& workspace, QWidget* parent = nullptr);
};

} // namespace velmora
