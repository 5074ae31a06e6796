#pragma once

#include <functional>

class QWidget;

namespace velmora {

class VelmoraWorkflowState;

// How the shell makes its two workspaces. Each factory builds a fresh workspace (the shell
// calls it every time its tab is chosen) as a child of `parent`, handing it the shell's
// workflow state, which outlives every workspace. The shell owns what the factory returns and
// deletes it when the other tab is chosen.
struct ShellWorkspaceFactories {
    using Factory = std::function<QWidget*(VelmoraWorkflowState& workflow, QWidget* parent)>;

    Factory editor;    // the "Edit" workspace, objectName "EditorContentView"
    Factory exportTab; // the "10-bit Export" workspace, objectName "ContentView"

    // Empty black views with those object names, for tests of the shell alone.
    static ShellWorkspaceFactories placeholders();
};

} // namespace velmora
