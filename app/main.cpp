// The editor's entry point: one application, one window.
#include <QApplication>

#include "app/EditorApplication.h"
#include "app/WindowScreenshot.h"
#include "workspace/shell/VelmoraDesktopShellView.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    velmora::EditorApplication::configure(application);
    const auto window = velmora::EditorApplication::makeWindow();
    window->show();
    velmora::EditorApplication::openFilesFromArguments(*window, QApplication::arguments());
    velmora::WindowScreenshot::scheduleIfRequested(*window);
    return QApplication::exec();
}
