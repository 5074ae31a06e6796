#include "app/EditorApplication.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include "controls/VelmoraStyleSheet.h"
#include "export_workspaces/OrphanedExports.h"
#include "platform/dispatch/BackgroundWorker.h"
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

namespace {

// Written by the signal handler, read on the main thread; made once, never closed.
int endingSignalPipe[2] = {-1, -1};

extern "C" void onEndingSignal(int signal)
{
    // Only async-signal-safe calls here, and errno as the interrupted code left it.
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(endingSignalPipe[1], &number, 1);
    errno = savedErrno;
}

} // namespace

void endOnSignals(QApplication& application)
{
    if (endingSignalPipe[0] >= 0 || ::pipe2(endingSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // without a pipe the signals keep their default: the process ends at once
    auto* notifier = new QSocketNotifier(endingSignalPipe[0], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [] {
        unsigned char number = 0;
        int received = 0;
        while (::read(endingSignalPipe[0], &number, 1) == 1)
            received = received ? received : number;
        // Every event loop ends, a dialog's included; a second signal while the application
        // ends changes nothing.
        if (received)
            QCoreApplication::exit(128 + received);
    });
    struct sigaction action {};
    action.sa_handler = onEndingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

void end()
{
    OrphanedExports::stopAll();
    BackgroundWorker::joinLeftWork();
}

int finish(std::unique_ptr<VelmoraDesktopShellView> window, int status)
{
    // The window and its workspaces go first (an export running in view is handed over, already
    // asked to stop), then every export still running is asked to stop at once.
    window.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // Background work (a poster frame being decoded, a listing, a probe) writes nothing, and is
    // not waited for: on a busy machine a 4K poster alone can take seconds.
    if (OrphanedExports::stopAll(std::chrono::steady_clock::now() + exportStopPatience) &&
        !BackgroundWorker::workLeftRunning())
        return status;
    // An encoder still finishing the frames it had in flight (libx265 under load can take
    // seconds) would hold the quit, as would a poster still decoding. The process is ending:
    // nothing of it is used again, so its threads need not unwind. What they were writing goes
    // first (each export writes a hidden partial file beside its output; an older movie there
    // is never touched), then the process ends without its statics' teardown, which would join
    // those threads.
    removeEveryClaimedScratchFile();
    std::fflush(nullptr);
    std::_Exit(status);
}

} // namespace velmora::EditorApplication
