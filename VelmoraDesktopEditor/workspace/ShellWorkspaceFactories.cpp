#include "workspace/ShellWorkspaceFactories.h"

#include <QWidget>

#include "export_workspaces/ContentView.h"
#include "workspace/EditorWorkspaceStyle.h"

namespace velmora {

ShellWorkspaceFactories ShellWorkspaceFactories::placeholders()
{
    using EditorWorkspaceStyle::styledView;
    return {
        [](VelmoraWorkflowState&, QWidget* parent) { return styledView("EditorContentView", parent); },
        [](VelmoraWorkflowState&, QWidget* parent) { return styledView("ContentView", parent); },
    };
}

ShellWorkspaceFactories ShellWorkspaceFactories::application()
{
    ShellWorkspaceFactories factories = placeholders();
    factories.exportTab = [](VelmoraWorkflowState& workflow, QWidget* parent) -> QWidget* {
        return new ContentView(workflow, parent);
    };
    return factories;
}

} // namespace velmora
