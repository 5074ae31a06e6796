// The editor's entry point: one application, one window.
#include <string>
#include <utility>
#include <vector>

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
    // argv, not QApplication::arguments(): Qt has taken its own options out of it, and its bytes
    // name the files as they are, where a decoded QString would lose those that are not UTF-8.
    velmora::EditorApplication::openFilesFromArguments(*window, std::vector<std::string>(argv, argv + argc));
    velmora::WindowScreenshot::scheduleIfRequested(*window);
    const int status = QApplication::exec();
    return velmora::EditorApplication::finish(std::move(window), status);
}
