#include <filesystem>

#include <QImage>
#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "controls/VelmoraPalette.h"

namespace velmora {
namespace {

// The real application under a virtual X server: it must put its window on the screen, and the
// window must show the dark shell with its Mode picker. The screenshot stays in the build
// folder for a look by eye.
TEST(ShellWindowEndToEnd, TheApplicationWindowAppearsUnderXvfb)
{
    const std::filesystem::path binary = std::filesystem::path(VELMORA_BUILD_DIR) / "velmora-editor";
    ASSERT_TRUE(std::filesystem::exists(binary)) << "build the velmora-editor target first";
    const std::filesystem::path screenshot = std::filesystem::path(VELMORA_BUILD_DIR) / "screenshots" / "shell.png";
    std::filesystem::remove(screenshot);

    const std::string command = "VELMORA_SCREENSHOT=" + test::shellQuote(screenshot.string()) +
                                " QT_QPA_PLATFORM=xcb timeout 120 xvfb-run -a -s '-screen 0 1600x1000x24' " +
                                test::shellQuote(binary.string());
    const test::CommandResult result = test::runCommand(command);
    ASSERT_EQ(result.exitCode, 0) << result.output;
    ASSERT_TRUE(std::filesystem::exists(screenshot)) << result.output;

    const QImage shot(QString::fromStdString(screenshot.string()));
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), QSize(1280, 900));
    // The picker's strip at the top, the black workspace below it.
    EXPECT_EQ(shot.pixelColor(4, 4).rgb(), VelmoraPalette::editorPanel().rgb());
    EXPECT_EQ(shot.pixelColor(640, 600).rgb(), VelmoraPalette::editorBg().rgb());
    // The chosen segment ("Edit") is lighter than the strip, left of the window's middle.
    int lighter = 0;
    for (int x = 440; x < 640; ++x)
        lighter += qGray(shot.pixel(x, 21)) > 60 ? 1 : 0;
    EXPECT_GT(lighter, 40);
}

} // namespace
} // namespace velmora
