#include "app/WindowScreenshot.h"

#include <cstdio>
#include <memory>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace velmora::WindowScreenshot {
namespace {

constexpr int pollMilliseconds = 100;
constexpr int appearTimeoutMilliseconds = 20000;
constexpr int defaultSettleMilliseconds = 500;

void finish(int code, const QString& message)
{
    std::fprintf(stderr, "velmora-editor: %s\n", qPrintable(message));
    QCoreApplication::exit(code);
}

void grab(QPointer<QWidget> window, const QString& path)
{
    if (!window || !window->screen())
        return finish(4, QStringLiteral("no window to grab"));
    const QPixmap shot = window->screen()->grabWindow(window->winId());
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (shot.isNull() || !shot.save(path, "PNG"))
        return finish(4, QStringLiteral("could not save the screenshot to %1").arg(path));
    finish(0, QStringLiteral("saved the window's screenshot to %1").arg(path));
}

} // namespace

void scheduleIfRequested(QWidget& window)
{
    const QString path = qEnvironmentVariable("VELMORA_SCREENSHOT");
    if (path.isEmpty())
        return;
    bool settleGiven = false;
    const int settle = qEnvironmentVariableIntValue("VELMORA_SCREENSHOT_SETTLE_MS", &settleGiven);
    const int settleMilliseconds = settleGiven && settle >= 0 ? settle : defaultSettleMilliseconds;
    QPointer<QWidget> target(&window);
    auto* poll = new QTimer(&window);
    auto waited = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, target, path, waited, settleMilliseconds] {
        *waited += pollMilliseconds;
        const bool exposed = target && target->windowHandle() && target->windowHandle()->isExposed();
        if (exposed) {
            poll->stop();
            QTimer::singleShot(settleMilliseconds, poll, [target, path] { grab(target, path); });
        } else if (*waited >= appearTimeoutMilliseconds) {
            poll->stop();
            finish(3, QStringLiteral("the window never appeared on the screen"));
        }
    });
    poll->start(pollMilliseconds);
}

} // namespace velmora::WindowScreenshot
