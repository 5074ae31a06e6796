#include "workspace/shell/VelmoraDesktopEditorApp.h"

#include <QDir>
#include <QFile>

#include "export_workspaces/ContentView.h"
#include "workspace/EditorContentView.h"
#include "workspace/shell/VelmoraDesktopShellView.h"

namespace velmora::VelmoraDesktopEditorApp {

ShellWorkspaceFactories applicationFactories(EditorWorkspaceController::Services services, EditorWorkspacePieces pieces)
{
    const auto exportWorkspace = [](VelmoraWorkflowState& workflow, QWidget* parent) -> QWidget* {
        return new ContentView(workflow, parent);
    };
    return {EditorContentView::factory(std::move(services), std::move(pieces)), exportWorkspace};
}

std::unique_ptr<VelmoraDesktopShellView> makeWindow(ShellWorkspaceFactories factories)
{
    auto window = std::make_unique<VelmoraDesktopShellView>(std::move(factories));
    window->resize(defaultWindowSize);
    VelmoraDesktopShellView* shell = window.get();
    window->setOpenFileHandler([shell](const std::filesystem::path& file) {
        if (auto* edit = qobject_cast<EditorContentView*>(shell->currentWorkspace()))
            edit->controller().handleOpenURL(file);
    });
    return window;
}

std::vector<std::filesystem::path> filesFromArguments(const QStringList& arguments)
{
    std::vector<std::filesystem::path> files;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i].isEmpty())
            continue;
        const QString absolute = QDir::current().absoluteFilePath(arguments[i]);
        files.emplace_back(QFile::encodeName(QDir::cleanPath(absolute)).toStdString());
    }
    return files;
}

} // namespace velmora::VelmoraDesktopEditorApp
