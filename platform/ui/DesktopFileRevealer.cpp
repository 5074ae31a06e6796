#include "platform/ui/DesktopFileRevealer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QtGlobal>

namespace velmora {

namespace {

bool showItemsOverDBus(const QString& path)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    return bus.call(call, QDBus::Block, 3000).type() == QDBusMessage::ReplyMessage;
}

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

} // namespace

void DesktopFileRevealer::reveal(const std::filesystem::path& file)
{
    const QString path = QString::fromStdString(file.string());
    if (showItemsOverDBus(path) || openFolderWithLauncher(QString::fromStdString(file.parent_path().string())))
        return;
    if (!noted_) {
        noted_ = true;
        qInfo("No file manager is available to show %s", qUtf8Printable(path));
    }
}

} // namespace velmora
