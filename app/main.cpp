// The editor's entry point: one application, one window.
#include <utility>

#include <QApplication>

#include "app/EditorApplication.h"
#include "app/WindowScreenshot.h"
#include "workspace/shell/VelmoraDesktopShellView.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    velmora::EditorApplication::configure(application);
    velmora::EditorApplication::endOnSignals(application);
    auto window = velmora::EditorApplication::makeWindow();
    window->show();
    // Quit ends the application also while a window of its own (the clean feed) is still open.
    QObject::connect(window.get(), &velmora::VelmoraDesktopShellView::closed, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    velmora::EditorApplication::openFilesFromArguments(*window, QApplication::arguments());
    velmora::WindowScreenshot::scheduleIfRequested(*window);
    const int status = QApplication::exec();
    return velmora::EditorApplication::finish(std::move(window), status);
}
