#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/DesktopFileRevealer.h"
#include "ScopedEnvironment.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

std::vector<std::pair<QtMsgType, std::string>>* captured = nullptr;

// Runs the event loop until `done` holds (at most 20 seconds).
bool processEventsUntil(const std::function<bool()>& done)
{
    const QDeadlineTimer giveUp(20000);
    while (!done() && !giveUp.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// A file manager on the session bus that answers ShowItems only when the test says so.
class HeldFileManager final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    std::vector<QDBusMessage> calls;

public slots:
    void ShowItems(const QStringList&, const QString&, const QDBusMessage& message)
    {
        message.setDelayedReply(true);
        calls.push_back(message);
    }
};

// The file manager's answer is awaited in the event loop: the window goes on while it is held,
// an answer shows the file, and a failure opens the folder instead.
TEST(DesktopFileRevealer, AwaitsTheFileManagerWithoutBlockingAndOpensTheFolderWhenItFails)
{
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                 QStringLiteral("--print-address=1")});
    ASSERT_TRUE(daemon.waitForReadyRead(20000)) << "no session bus";
    const std::string address = daemon.readLine().trimmed().toStdString();
    test::TempDir launcherPath;
    test::TempDir folder;
    const std::filesystem::path opened = launcherPath / "opened.txt";
    test::writeTextFile(launcherPath / "xdg-open", "#!/bin/sh\necho \"$1\" >> '" + opened.string() + "'\n");
    std::filesystem::permissions(launcherPath / "xdg-open", std::filesystem::perms::owner_all);
    const test::ScopedEnvironment path("PATH", launcherPath.path().string());
    const test::ScopedEnvironment bus("DBUS_SESSION_BUS_ADDRESS", address);

    QDBusConnection managerBus = QDBusConnection::connectToBus(QString::fromStdString(address), "held file manager");
    HeldFileManager manager;
    ASSERT_TRUE(managerBus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager,
                                          QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(managerBus.registerService(QStringLiteral("org.freedesktop.FileManager1")));

    DesktopFileRevealer revealer;
    bool told = false;
    revealer.reveal(folder / "first" / "movie.mp4", [&told] { told = true; });
    revealer.reveal(folder / "second" / "movie.mp4", [&told] { told = true; });
    ASSERT_TRUE(processEventsUntil([&] { return manager.calls.size() == 2; }));
    EXPECT_FALSE(std::filesystem::exists(opened));
    managerBus.send(manager.calls[0].createReply());
    managerBus.send(manager.calls[1].createErrorReply(QDBusError::Failed, QStringLiteral("no window")));
    ASSERT_TRUE(processEventsUntil([&] { return test::readTextFile(opened).ends_with("\n"); }));
    EXPECT_EQ(test::readTextFile(opened), (folder / "second").string() + "\n");
    EXPECT_FALSE(told); // the folder was opened instead

    managerBus.unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
    QDBusConnection::disconnectFromBus("held file manager");
    daemon.terminate();
    daemon.waitForFinished();
}

void capture(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    captured->emplace_back(type, message.toStdString());
}

// A desktop with no file manager on the bus and no launcher on PATH: every reveal tells its
// caller, and the log gets one informational line at most, however often it is asked.
TEST(DesktopFileRevealer, WithoutAFileManagerTellsTheCallerEachTime)
{
    test::TempDir emptyPath;
    test::TempDir folder;
    test::writeTextFile(folder / "movie.mp4", "x");
    const test::ScopedEnvironment path("PATH", emptyPath.path().string());
    const test::ScopedEnvironment bus("DBUS_SESSION_BUS_ADDRESS", std::nullopt);

    std::vector<std::pair<QtMsgType, std::string>> messages;
    captured = &messages;
    const QtMessageHandler previous = qInstallMessageHandler(capture);
    DesktopFileRevealer revealer;
    int told = 0;
    revealer.reveal(folder / "movie.mp4", [&told] { ++told; });
    revealer.reveal(folder / "movie.mp4", [&told] { ++told; });
    qInstallMessageHandler(previous);
    captured = nullptr;

    EXPECT_EQ(told, 2);
    ASSERT_LE(messages.size(), 1u);
    for (const auto& [type, text] : messages) {
        EXPECT_EQ(type, QtInfoMsg) << text;
        EXPECT_EQ(text, "No file manager is available to show " + (folder / "movie.mp4").string());
    }
}

} // namespace
} // namespace velmora

#include "DesktopFileRevealerTests.moc"
