#include "workspace/ShellWorkspaceFactories.h"

#include <QWidget>

#include "export_workspaces/ContentView.h"

namespace velmora {
namespace {

QWidget* makePlaceholder(const char* objectName, QWidget* parent)
{
    auto* view = new QWidget(parent);
    view->setObjectName(QString::fromLatin1(objectName));
    view->setAttribute(Qt::WA_StyledBackground);
    return view;
}

} // namespace

ShellWorkspaceFactories ShellWorkspaceFactories::placeholders()
{
    return {
        [](VelmoraWorkflowState&, QWidget* parent) { return makePlaceholder("EditorContentView", parent); },
        [](VelmoraWorkflowState&, QWidget* parent) { return makePlaceholder("ContentView", parent); },
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
