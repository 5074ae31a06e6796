#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include <QSize>
#include <QStringList>

#include "workspace/EditorWorkspaceController.h"
#include "workspace/shell/EditorWorkspacePieces.h"
#include "workspace/shell/ShellWorkspaceFactories.h"

namespace velmora {

class VelmoraDesktopShellView;

// The application's one window and what it is given at start-up.
namespace VelmoraDesktopEditorApp {

inline constexpr QSize defaultWindowSize{1280, 900};

// The application's workspaces: the Edit workspace (EditorContentView, with these services and
// pieces) and the 10-bit Export workspace (ContentView, on the desktop's services).
ShellWorkspaceFactories applicationFactories(EditorWorkspaceController::Services services,
                                             EditorWorkspacePieces pieces = {});

// The shell as a top-level window of the default size, not yet shown. Nothing in the
// application opens a second one. Files handed to the window go to the Edit workspace's
// open-file handler while it is shown (which asks before unsaved changes are dropped), and are
// ignored otherwise.
std::unique_ptr<VelmoraDesktopShellView> makeWindow(
    ShellWorkspaceFactories factories = ShellWorkspaceFactories::placeholders());

// The files named on the command line (its bytes as main() got them, after Qt removed its own
// options), made absolute against the working directory and cleaned of "." and ".."; the program
// name and empty arguments are skipped. Names are kept as the bytes they are, UTF-8 or not.
std::vector<std::filesystem::path> filesFromArguments(const std::vector<std::string>& arguments);

} // namespace VelmoraDesktopEditorApp
} // namespace velmora
