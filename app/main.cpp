// The editor's entry point: one application, one window.
#include <QApplication>
#include <QTimer>

#include "app/WindowScreenshot.h"
#include "controls/VelmoraStyleSheet.h"
#include "platform/dispatch/QtMainQueue.h"
#include "preview/PlatformPreviewServices.h"
#include "workspace/ApplicationPieces.h"
#include "workspace/VelmoraDesktopEditorApp.h"
#include "workspace/VelmoraDesktopShellView.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velmora-editor"));
    QApplication::setApplicationDisplayName(QStringLiteral("Velmora Desktop"));
    QApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    application.setProperty("buildVersion", QStringLiteral(VELMORA_BUILD_NUMBER));
    velmora::VelmoraStyleSheet::apply(application);

    // The Edit workspace runs on the Qt event loop with the desktop's own panels and file
    // manager (the defaults of empty services), and previews on the platform player with the
    // default sound output.
    velmora::EditorWorkspaceController::Services services;
    services.engine = velmora::platformPreviewServices(std::make_shared<velmora::QtMainQueue>());
    services.shortVersion = VELMORA_VERSION;
    services.buildNumber = VELMORA_BUILD_NUMBER;
    const auto window = velmora::VelmoraDesktopEditorApp::makeWindow(
        velmora::VelmoraDesktopEditorApp::applicationFactories(services, velmora::ApplicationPieces::make()));
    window->show();

    // Files named on the command line open once the window is up, as if the system handed them
    // over.
    const auto files = velmora::VelmoraDesktopEditorApp::filesFromArguments(QApplication::arguments());
    if (!files.empty()) {
        QTimer::singleShot(0, window.get(), [shell = window.get(), files] { shell->openFiles(files); });
    }

    velmora::WindowScreenshot::scheduleIfRequested(*window);
    return QApplication::exec();
}
