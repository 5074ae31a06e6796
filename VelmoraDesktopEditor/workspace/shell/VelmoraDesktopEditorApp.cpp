#include "workspace/shell/VelmoraDesktopEditorApp.h"


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
    window->setOpenFileHandler([shell](const std::vector<std::filesystem::path>& files) {
        if (auto* edit = qobject_cast<EditorContentView*>(shell->currentWorkspace()))
            edit->controller().handleOpenURLs(files);
    });
    return window;
}

std::vector<std::filesystem::path> filesFromArguments(const std::vector<std::string>& arguments)
{
    std::vector<std::filesystem::path> files;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i].empty())
            continue;
        // The bytes as given: a name that is not UTF-8 names its file only as those bytes.
        std::filesystem::path file = std::filesystem::path(arguments[i]);
        if (file.is_relative())
            file = std::filesystem::current_path() / file;
        file = file.lexically_normal();
        if (!file.has_filename() && file != file.root_path())
            file = file.parent_path();
        files.push_back(std::move(file));
    }
    return files;
}

} // namespace velmora::VelmoraDesktopEditorApp
