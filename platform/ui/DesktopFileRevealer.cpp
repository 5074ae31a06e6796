#include "platform/ui/DesktopFileRevealer.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QObject>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QtGlobal>

namespace velmora {

namespace {

// Qt's own URL opening warns on the terminal when it finds no launcher, so the launcher is
// looked up here and started detached with its output discarded: whatever it cannot do is
// nothing the user can act on.
bool openFolderWithLauncher(const QString& folder)
{
    const QString launcher = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (launcher.isEmpty())
        return false;
    QProcess process;
    process.setProgram(launcher);
    process.setArguments({folder});
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
}

// Opens the file's folder, else tells the caller that nothing can show the file (and the log,
// the first time only).
void fallBack(const QString& path, const QString& folder, bool& noted, const FileRevealer::Unavailable& unavailable)
{
    if (openFolderWithLauncher(folder))
        return;
    if (unavailable)
        unavailable();
    if (noted)
        return;
    noted = true;
    qInfo("No file manager is available to show %s", qUtf8Printable(path));
}

} // namespace

void DesktopFileRevealer::reveal(const std::filesystem::path& file, Unavailable unavailable)
{
    const QString path = QString::fromStdString(file.string());
    const QString folder = QString::fromStdString(file.parent_path().string());
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        fallBack(path, folder, *noted_, unavailable);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    // The answer comes back through the event loop: a file manager that is slow to answer, or a
    // bus where none answers until the timeout, never holds up the window.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kFileManagerTimeoutMs), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [path, folder, noted = noted_, unavailable = std::move(unavailable)](
                         QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         if (finished->isError())
                             fallBack(path, folder, *noted, unavailable);
                     });
}

} // namespace velmora
