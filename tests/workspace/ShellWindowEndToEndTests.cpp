#include <filesystem>
#include <set>
#include <string>

#include <QImage>
#include <gtest/gtest.h>

#include "EditorWorkspaceTestSupport.h"
#include "controls/VelmoraPalette.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// Starts the real application under a virtual X server with the given arguments and returns its
// screenshot, saved in the build folder for a look by eye: taken once the window shows what
// `waitFor` names ("project", "pictures"; empty: the window alone), never after a set time.
QImage screenshotOfApplication(const std::string& name, const std::string& arguments, const std::string& waitFor = "")
{
    const fs::path binary = fs::path(VELMORA_BUILD_DIR) / "velmora-editor";
    EXPECT_TRUE(fs::exists(binary)) << "build the velmora-editor target first";
    const fs::path screenshot = fs::path(VELMORA_BUILD_DIR) / "screenshots" / name;
    fs::remove(screenshot);

    const std::string command = "VELMORA_SCREENSHOT=" + test::shellQuote(screenshot.string()) +
                                " VELMORA_SCREENSHOT_WAIT=" + test::shellQuote(waitFor) +
                                " QT_QPA_PLATFORM=xcb timeout 120 xvfb-run -a -s '-screen 0 1600x1000x24' " +
                                test::shellQuote(binary.string()) + arguments;
    const test::CommandResult result = test::runCommand(command);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(fs::exists(screenshot)) << result.output;
    return QImage(QString::fromStdString(screenshot.string()));
}

QRgb rgbOf(const QColor& colour)
{
    return colour.rgb();
}

// The real application must put its window on the screen, and the window must show the dark
// shell with its Mode picker above the Edit workspace: the media pool column, the top bar, the
// black program area and the bottom hint bar.
TEST(ShellWindowEndToEnd, TheApplicationWindowAppearsUnderXvfb)
{
    const QImage shot = screenshotOfApplication("shell.png", "");
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), QSize(1280, 900));
    // The picker's strip at the top, the black program area below it.
    EXPECT_EQ(shot.pixel(4, 4), rgbOf(VelmoraPalette::editorPanel()));
    EXPECT_EQ(shot.pixel(640, 200), rgbOf(VelmoraPalette::editorBg()));
    // The chosen segment ("Edit") is lighter than the strip, left of the window's middle.
    int lighter = 0;
    for (int x = 440; x < 640; ++x)
        lighter += qGray(shot.pixel(x, 21)) > 60 ? 1 : 0;
    EXPECT_GT(lighter, 40);
    // The media pool column on the left, the top bar's panel and the bottom bar.
    EXPECT_EQ(shot.pixel(100, 500), rgbOf(VelmoraPalette::grey(0.1)));
    EXPECT_EQ(shot.pixel(1000, 47), rgbOf(VelmoraPalette::editorPanel()));
    EXPECT_EQ(shot.pixel(1200, 895), rgbOf(VelmoraPalette::editorPanel()));
}

// A project named on the command line opens in the Edit workspace.
TEST(ShellWindowEndToEnd, AProjectOnTheCommandLineOpens)
{
    test::UserFoldersScope folders;
    const test::GeneratedProject project = test::writeProject(folders.scratch());
    const QImage shot =
        screenshotOfApplication("edit-project.png", " " + test::shellQuote(project.file.string()), "project");
    ASSERT_FALSE(shot.isNull());
    // The clip picker bar holds the project's two picture clips: buttons of white 0.15, a grey
    // nothing else in the main column has.
    int buttonPixels = 0;
    for (int y = 120; y < 880; ++y) {
        for (int x = 230; x < 1270; ++x)
            buttonPixels += shot.pixel(x, y) == rgbOf(VelmoraPalette::grey(0.15)) ? 1 : 0;
    }
    EXPECT_GT(buttonPixels, 500);
}

// The final layout: a project made by importing two clips and a still and placing the clips on
// the timeline opens with the media pool's cards, the videos' poster frames made in the
// background, and the clips on the lanes.
TEST(ShellWindowEndToEnd, TheMediaPoolShowsItsCardsWithTheirPictures)
{
    // The application runs in the harness's user folders, where the import put the media.
    test::WorkspaceHarness h;
    const std::filesystem::path card = h.folders.scratch() / "card";
    std::filesystem::create_directories(card);
    test::ClipSettings clip;
    clip.width = 640;
    clip.height = 360;
    clip.frameCount = 75;
    clip.pattern = test::ClipPattern::testsrc2;
    test::makeClip(card / "A001.MP4", clip);
    test::makeClip(card / "A002.MP4", clip);
    test::makeStillImage(card / "Still.png", 320, 180, 5);
    h.workspace().processImportedFiles({card / "A001.MP4", card / "A002.MP4", card / "Still.png"});
    for (const EditSession::Source& source : std::vector<EditSession::Source>(h.session().sources))
        h.workspace().addSourceToTimeline(source, 0, 2, "None", std::nullopt, std::nullopt);
    const std::filesystem::path project = h.folders.scratch() / "Final.tavlek";
    h.workspace().persistProject(project, true);
    ASSERT_FALSE(h.workspace().showError()) << h.workspace().errorText();

    const QImage shot = screenshotOfApplication("media-pool.png", " " + test::shellQuote(project.string()), "pictures");
    ASSERT_FALSE(shot.isNull());
    // The pool's column holds the two poster frames: far more colours than its greys, the
    // photo symbol and the text of cards without pictures.
    std::set<QRgb> colours;
    for (int y = 60; y < 500; ++y) {
        for (int x = 0; x < 240; ++x)
            colours.insert(shot.pixel(x, y));
    }
    EXPECT_GT(colours.size(), 1000u);
}

} // namespace
} // namespace velmora
