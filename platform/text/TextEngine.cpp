#include "platform/text/TextEngine.h"

#include <QGuiApplication>

#include <mutex>

#include "platform/foundation/Error.h"

namespace velmora {

namespace {

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

void ensureTextEngine()
{
    static std::mutex mutex;
    // Qt keeps pointers to argc and argv for the application's lifetime.
    static int argc = 1;
    static char arg0[] = "velmora";
    static char* argv[] = {arg0, nullptr};
    // Deliberately never destroyed: tearing Qt's GUI down from the exit handlers, after the
    // platform plugin's own statics are gone, crashes; the process ends with it instead.
    [[maybe_unused]] static QGuiApplication* ownApplication = nullptr;

    std::lock_guard lock(mutex);
    if (QCoreApplication* app = QCoreApplication::instance()) {
        if (qobject_cast<QGuiApplication*>(app) == nullptr) {
            throw Error("text", 1,
                        "Text cannot be drawn: the application was started without its GUI.");
        }
        return;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !hasDisplay()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ownApplication = new QGuiApplication(argc, argv);
}

} // namespace velmora
