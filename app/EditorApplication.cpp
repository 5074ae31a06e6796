#include "app/EditorApplication.h"

#include <QApplication>
#include <QTimer>

#include "controls/VelmoraStyleSheet.h"
#include "export_workspaces/OrphanedExports.h"
#include "platform/dispatch/QtMainQueue.h"
#include "preview/PlatformPreviewServices.h"
#include "workspace/shell/ApplicationPieces.h"
#include "workspace/shell/VelmoraDesktopEditorApp.h"
#include "workspace/shell/VelmoraDesktopShellView.h"

namespace velmora::EditorApplication {

void configure(QApplication& application)
{
    QApplication::setApplicationName(QStringLiteral("velmora-editor"));
    QApplication::setApplicationDisplayName(QStringLiteral("Velmora Desktop"));
    QApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    application.setProperty("buildVersion", QStringLiteral(VELMORA_BUILD_NUMBER));
    VelmoraStyleSheet::apply(application);
}

std::unique_ptr<VelmoraDesktopShellView> makeWindow()
{
    // Empty file panels and reveal are the desktop's own; the engine's clock is the system's.
    EditorWorkspaceController::Services services;
    services.engine = platformPreviewServices(std::make_shared<QtMainQueue>());
    services.shortVersion = VELMORA_VERSION;
    services.buildNumber = VELMORA_BUILD_NUMBER;
    return VelmoraDesktopEditorApp::makeWindow(
        VelmoraDesktopEditorApp::applicationFactories(services, ApplicationPieces::make()));
}

void openFilesFromArguments(VelmoraDesktopShellView& window, const QStringList& arguments)
{
    const auto files = VelmoraDesktopEditorApp::filesFromArguments(arguments);
    if (files.empty())
        return;
    QTimer::singleShot(0, &window, [shell = &window, files] { shell->openFiles(files); });
}

void end()
{
    OrphanedExports::stopAll();
}

int finish(std::unique_ptr<VelmoraDesktopShellView> window, int status)
{
    end();
    window.reset();
    return status;
}

} // namespace velmora::EditorApplication
