#include "app/EditorApplication.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QTimer>

#include "controls/VelmoraStyleSheet.h"
#include "export_workspaces/OrphanedExports.h"
#include "platform/dispatch/QtMainQueue.h"
#include "platform/foundation/ScratchFile.h"
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

void openFilesFromArguments(VelmoraDesktopShellView& window, const std::vector<std::string>& arguments)
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
    // The window and its workspaces go first (an export running in view is handed over, already
    // asked to stop), then every export still running is asked to stop at once.
    window.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (OrphanedExports::stopAll(std::chrono::steady_clock::now() + exportStopPatience))
        return status;
    // An encoder still finishing the frames it had in flight (libx265 under load can take
    // seconds) would hold the quit. The process is ending: nothing of it is used again, so
    // its threads need not unwind. What they were writing goes first (each export writes a
    // hidden partial file beside its output; an older movie there is never touched), then
    // the process ends without its statics' teardown, which would join those threads.
    removeEveryClaimedScratchFile();
    std::fflush(nullptr);
    std::_Exit(status);
}

} // namespace velmora::EditorApplication
