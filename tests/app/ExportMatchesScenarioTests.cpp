// What the real window exports is what it showed: a movie moved away is named and never shown as
// another file unnamed, a clip whose LUT has gone fails its export by the LUT's name and writes
// nothing, and a 12.5 fps project is written on its exact time base.
#include <cmath>

#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "AppScenario.h"
#include "export_workspaces/EditorExportSheet.h"
#include "media/MediaTestHelpers.h"
#include "preview/GradedPreviewView.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"
#include "support/model/SessionBuilders.h"
#include "workspace/EditorContentView.h"
#include "workspace/bars/EditToolsBar.h"
#include "workspace/shell/VelmoraDesktopShellView.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

// "<name>.tavlek", one lane on a 320 × 180 canvas at fpsNum / fpsDen: `movie` in "<name>_media", a
// frame-stamp movie of `seconds` at that rate, from 0 s, graded with `lut` when it is not empty.
fs::path writeOneClipProject(const fs::path& folder, const std::string& name, const std::string& movie, int fpsNum,
                             int fpsDen, double seconds, const std::string& lut = {})
{
    const fs::path file = folder / (name + ".tavlek");
    const fs::path media = folder / (name + "_media");
    fs::create_directories(media);
    ClipSettings settings;
    settings.width = 320;
    settings.height = 180;
    settings.fpsNum = fpsNum;
    settings.fpsDen = fpsDen;
    settings.frameCount = static_cast<int>(seconds * fpsNum / fpsDen + 0.5);
    settings.videoArgs = "-preset ultrafast";
    makeClip(media / movie, settings);

    EditSession session = EditSession::blankProject(name, 320, 180, double(fpsNum) / fpsDen);
    session.sources = {EditSession::Source("src-movie", movie, "video")};
    EditSession::Clip shot = clip("c", "video", 0.0, seconds, 1, movie);
    shot.sourceId = "src-movie";
    shot.outPoint = seconds;
    if (!lut.empty())
        shot.grade = EditSession::clipGrade(lut);
    session.timelines.front().clips = {shot};
    session.saveProject(file, media.string());
    return file;
}

class ExportMatchesScenario : public AppScenario {
protected:
    // Each scenario opens a project of its own.
    void SetUp() override {}

    void closeExportSheet() const
    {
        QTest::mouseClick(edit().exportSheet()->findChild<QPushButton*>(QStringLiteral("closeButton")), Qt::LeftButton);
    }

    std::string statusLine() const
    {
        return edit().findChild<EditToolsBar*>()->statusLabel()->toolTip().toStdString();
    }
};

TEST_F(ExportMatchesScenario, AMovedMovieIsNamedAndNeverShownAsAnother)
{
    // "Moved" holds g25.mp4 on its timeline; two other movies, as other new projects leave them,
    // lie beside it in its media folder. Then g25.mp4 is moved away.
    const fs::path file = writeOneClipProject(folders.scratch(), "Moved", "g25.mp4", 25, 1, 2.0);
    const fs::path media = folders.scratch() / "Moved_media";
    ClipSettings other;
    other.width = 320;
    other.height = 180;
    other.fpsNum = 24000;
    other.fpsDen = 1001;
    other.frameCount = 120;
    other.videoArgs = "-preset ultrafast";
    makeClip(media / "g23976.mp4", other);
    other.fpsNum = 30000;
    other.frameCount = 150;
    makeClip(media / "g2997.mp4", other);
    fs::rename(media / "g25.mp4", folders.scratch() / "g25.mp4");

    openInWindow(file);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(waitFor([&] { return workspace().sessionURL() == file && engine().status().find("g25.mp4") != std::string::npos; },
                        "the status naming the moved movie"))
        << engine().status();
    const std::string said = engine().status();
    ASSERT_TRUE(waitFor([this] { return previewReady(); }, "the preview")) << engine().status();
    // Paused at about 1 s, the monitor shows the stand-in's frame starting at or after that time
    // (g23976.mp4 is the first movie by name), read off the screen.
    const double paused = seekWithRuler(1.0);
    const int standInFrame = static_cast<int>(std::ceil(paused * 24000 / 1001 - 1e-6));
    int shown = -1;
    const auto monitorShows = [&](int frame) {
        const QRect monitor = programFrame(programView());
        const QImage now =
            window().screen()->grabWindow(0, monitor.x(), monitor.y(), monitor.width(), monitor.height()).toImage();
        shown = stampIn(now, now.rect());
        return shown == frame;
    };
    // The monitor shows another movie only where the status line names it in g25.mp4's place,
    // and then the export reads that same movie.
    const bool standIn = said.find("g25.mp4 not found \u2014 g23976.mp4 shown in its place") != std::string::npos;
    if (standIn)
        EXPECT_TRUE(waitFor([&] { return monitorShows(standInFrame); }, "the stand-in's frame")) << shown;
    else
        EXPECT_FALSE(monitorShows(standInFrame));
    screenshot("export-matches-1-moved-movie.png", globalRect(window()));
    const fs::path movie = folders.scratch() / "Out" / "Moved.mp4";
    fs::create_directories(movie.parent_path());
    const ExportSheetController& run = exportTo(movie);
    if (standIn) {
        ASSERT_TRUE(run.status().starts_with("Done")) << run.status() << " " << run.errorText();
        EXPECT_EQ(ffprobeStream(movie, "v:0", true)["nb_read_frames"], "50");
        // The stand-in's frame the monitor showed is the frame the movie holds there.
        EXPECT_EQ(stampOf(decodedFrame(movie, paused)), standInFrame);
    } else {
        EXPECT_EQ(run.status(), "Export failed.");
        EXPECT_NE(run.errorText().find("g25.mp4"), std::string::npos) << run.errorText();
        EXPECT_TRUE(fs::is_empty(movie.parent_path()));
    }
    closeExportSheet();
}

TEST_F(ExportMatchesScenario, AMissingLutFailsTheExportByName)
{
    // A clip whose LUT is nowhere: the status names it, and the export fails by its name before
    // writing anything.
    const fs::path graded = writeOneClipProject(folders.scratch(), "Graded", "Graded.mp4", 25, 1, 2.0, "missing_look.cube");
    openInWindow(graded);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(waitFor([&] { return workspace().sessionURL() == graded && previewReady(); }, "the graded project"));
    EXPECT_TRUE(waitFor([&] { return statusLine().find("missing_look.cube") != std::string::npos; },
                        "the status line naming the LUT"))
        << statusLine();
    const fs::path out = folders.scratch() / "LutOut";
    fs::create_directories(out);
    const ExportSheetController& failed = exportTo(out / "Graded.mp4");
    EXPECT_EQ(failed.status(), "Export failed.");
    EXPECT_TRUE(failed.showError());
    EXPECT_NE(failed.errorText().find("missing_look.cube"), std::string::npos) << failed.errorText();
    screenshot("export-matches-2-missing-lut.png");
    EXPECT_TRUE(fs::is_empty(out));
    closeExportSheet();
}

TEST_F(ExportMatchesScenario, TwelveAndAHalfFramesASecondIsWrittenOnItsExactTimeBase)
{
    // 2 s is a 25/2 movie of 25 frames.
    const fs::path slow = writeOneClipProject(folders.scratch(), "Slow", "Slow.mp4", 25, 2, 2.0);
    openInWindow(slow);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(waitFor([&] { return workspace().sessionURL() == slow && previewReady(); }, "the 12.5 fps project"));
    const fs::path movie = folders.scratch() / "Slow_export.mp4";
    const ExportSheetController& done = exportTo(movie);
    ASSERT_TRUE(done.status().starts_with("Done")) << done.status() << " " << done.errorText();
    screenshot("export-matches-3-twelve-and-a-half.png", globalRect(window()));
    const nlohmann::json stream = ffprobeStream(movie, "v:0", true);
    EXPECT_EQ(stream["r_frame_rate"], "25/2");
    EXPECT_EQ(stream["nb_read_frames"], "25");
    closeExportSheet();
}

} // namespace
} // namespace velmora::test
