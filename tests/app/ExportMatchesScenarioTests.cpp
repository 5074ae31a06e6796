// What the real window exports is what it showed: a movie moved away is named and never shown as
// another file unnamed, a clip whose LUT has gone fails its export by the LUT's name and writes
// nothing, and a 12.5 fps project is written on its exact time base.
#include <cmath>

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

// A frame-stamp movie of `frames` frames at fpsNum / fpsDen on a 320 × 180 canvas.
void makeMovie(const fs::path& file, int fpsNum, int fpsDen, int frames)
{
    ClipSettings settings;
    settings.width = 320;
    settings.height = 180;
    settings.fpsNum = fpsNum;
    settings.fpsDen = fpsDen;
    settings.frameCount = frames;
    settings.videoArgs = "-preset ultrafast";
    makeClip(file, settings);
}

// "<name>.tavlek" at fpsNum / fpsDen: `movie` in "<name>_media", 2 s from 0 s, graded with `lut`
// when it is not empty.
fs::path writeOneClipProject(const fs::path& folder, const std::string& name, const std::string& movie, int fpsNum,
                             int fpsDen, const std::string& lut = {})
{
    const fs::path file = folder / (name + ".tavlek");
    const fs::path media = folder / (name + "_media");
    fs::create_directories(media);
    makeMovie(media / movie, fpsNum, fpsDen, 2 * fpsNum / fpsDen);
    EditSession session = EditSession::blankProject(name, 320, 180, double(fpsNum) / fpsDen);
    session.sources = {EditSession::Source("src-movie", movie, "video")};
    EditSession::Clip shot = clip("c", "video", 0.0, 2.0, 1, movie);
    shot.sourceId = "src-movie";
    shot.outPoint = 2.0;
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

    void open(const fs::path& file)
    {
        openInWindow(file);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(waitFor([&] { return workspace().sessionURL() == file && previewReady(); }, "the project"))
            << engine().status();
    }

    void closeExportSheet() const
    {
        QTest::mouseClick(edit().exportSheet()->findChild<QPushButton*>(QStringLiteral("closeButton")), Qt::LeftButton);
    }
};

TEST_F(ExportMatchesScenario, AMovedMovieIsNamedAndNeverShownAsAnother)
{
    // "Moved" holds g25.mp4; two other movies, as other new projects leave them, lie beside it in
    // its media folder. Then g25.mp4 is moved away.
    const fs::path file = writeOneClipProject(folders.scratch(), "Moved", "g25.mp4", 25, 1);
    const fs::path media = folders.scratch() / "Moved_media";
    makeMovie(media / "g23976.mp4", 24000, 1001, 120);
    makeMovie(media / "g2997.mp4", 30000, 1001, 150);
    fs::rename(media / "g25.mp4", folders.scratch() / "g25.mp4");

    open(file);
    EXPECT_TRUE(waitFor(
        [&] { return engine().status().find("g25.mp4 not found \u2014 g23976.mp4 shown in its place") != std::string::npos; },
        "the status naming the stand-in"))
        << engine().status();
    // Paused at about 1 s, the monitor shows the stand-in's frame starting at or after that time,
    // read off the screen, and the export writes that same frame there.
    const double paused = seekWithRuler(1.0);
    const int standInFrame = static_cast<int>(std::ceil(paused * 24000 / 1001 - 1e-6));
    int shown = -1;
    EXPECT_TRUE(waitFor(
        [&] {
            const QRect monitor = programFrame(programView());
            const QImage now =
                window().screen()->grabWindow(0, monitor.x(), monitor.y(), monitor.width(), monitor.height()).toImage();
            return (shown = stampIn(now, now.rect())) == standInFrame;
        },
        "the stand-in's frame"))
        << shown;
    screenshot("export-matches-1-moved-movie.png", globalRect(window()));
    const fs::path movie = folders.scratch() / "Moved.mp4";
    const ExportSheetController& run = exportTo(movie);
    ASSERT_TRUE(run.status().starts_with("Done")) << run.status() << " " << run.errorText();
    EXPECT_EQ(ffprobeStream(movie, "v:0", true)["nb_read_frames"], "50");
    EXPECT_EQ(stampOf(decodedFrame(movie, paused)), standInFrame);
    closeExportSheet();
}

TEST_F(ExportMatchesScenario, AMissingLutFailsTheExportByName)
{
    // A clip whose LUT is nowhere: the status names it, and the export fails by its name before
    // writing anything.
    open(writeOneClipProject(folders.scratch(), "Graded", "Graded.mp4", 25, 1, "missing_look.cube"));
    const QLabel& status = *edit().findChild<EditToolsBar*>()->statusLabel();
    EXPECT_TRUE(waitFor([&] { return status.toolTip().contains(QStringLiteral("missing_look.cube")); },
                        "the status line naming the LUT"))
        << status.toolTip().toStdString();
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
    // 2 s is a 25/2 movie of 25 frames, each where the 12.5 fps grid puts it.
    open(writeOneClipProject(folders.scratch(), "Slow", "Slow.mp4", 25, 2));
    const fs::path movie = folders.scratch() / "Slow_export.mp4";
    const ExportSheetController& done = exportTo(movie);
    ASSERT_TRUE(done.status().starts_with("Done")) << done.status() << " " << done.errorText();
    screenshot("export-matches-3-twelve-and-a-half.png", globalRect(window()));
    const nlohmann::json stream = ffprobeStream(movie, "v:0", true);
    EXPECT_EQ(stream["r_frame_rate"], "25/2");
    EXPECT_EQ(stream["nb_read_frames"], "25");
    EXPECT_EQ(stampOf(decodedFrame(movie, 1.92)), 24); // the last frame starts at 24 × 2 / 25 s
    closeExportSheet();
}

} // namespace
} // namespace velmora::test
