#include "workspace/shell/ShellWorkspaceFactories.h"

#include <QWidget>

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

} // namespace velmora
