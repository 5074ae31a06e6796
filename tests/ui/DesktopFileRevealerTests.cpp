#include <QString>
#include <QtGlobal>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/ui/DesktopFileRevealer.h"
#include "ScopedEnvironment.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

std::vector<std::pair<QtMsgType, std::string>>* captured = nullptr;

void capture(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    captured->emplace_back(type, message.toStdString());
}

// A desktop with no file manager on the bus and no launcher on PATH: revealing stays quiet,
// one informational line in the log at most, however often it is asked.
TEST(DesktopFileRevealer, WithoutAFileManagerRevealsQuietly)
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
    revealer.reveal(folder / "movie.mp4");
    revealer.reveal(folder / "movie.mp4");
    qInstallMessageHandler(previous);
    captured = nullptr;

    ASSERT_LE(messages.size(), 1u);
    for (const auto& [type, text] : messages) {
        EXPECT_EQ(type, QtInfoMsg) << text;
        EXPECT_EQ(text, "No file manager is available to show " + (folder / "movie.mp4").string());
    }
}

} // namespace
} // namespace velmora
