#include "workspace/ShellWorkspaceFactories.h"

#include <QWidget>

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

} // namespace velmora
