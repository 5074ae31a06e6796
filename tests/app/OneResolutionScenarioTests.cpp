// The real window reads the files it shows: two sources whose files share a name in two camera
// folders are exported, from the sheet and from the 10-bit Export workspace, with the frames the
// monitor showed for each; and a job whose own LUT is missing is refused by the LUT's name
// without writing a movie.
#include <cmath>

#include <QFileDialog>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "AppScenario.h"
#include "export_workspaces/ContentView.h"
#include "export_workspaces/EditorExportSheet.h"
#include "export_workspaces/ExportWorkspaceController.h"
#include "media/MediaTestHelpers.h"
#include "preview/GradedPreviewView.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"
#include "support/model/SessionBuilders.h"
#include "workspace/EditorContentView.h"
#include "workspace/bars/EditorTopBar.h"
#include "workspace/shell/VelmoraDesktopShellView.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

// A 25 fps frame-stamp movie on a 320 × 180 canvas whose frame k shows stamp firstStamp + k.
void makeStampedMovie(const fs::path& file, int firstStamp, int frames)
{
    fs::create_directories(file.parent_path());
    ClipSettings settings;
    settings.width = 320;
    settings.height = 180;
    settings.frameCount = firstStamp + frames;
    settings.videoArgs = "-preset ultrafast";
    const fs::path whole = file.parent_path() / ("whole_" + file.filename().string() + ".mp4");
    makeClip(whole, settings);
    runFFmpeg("-i " + whole.string() + " -vf trim=start_frame=" + std::to_string(firstStamp) +
              ",setpts=PTS-STARTPTS -c:v libx264 -preset ultrafast -qp 0 -pix_fmt yuv420p -f mp4 " + file.string());
    fs::remove(whole);
}

// "Cards.tavlek" at 25 fps: two sources both named "C0001.MP4", one clip of each, 0–1 s and
// 1–2 s; the media folder holds cam1/C0001.MP4 (stamps 0…) and cam2/C0001.MP4 (stamps 60…).
fs::path writeCardsProject(const fs::path& folder)
{
    const fs::path file = folder / "Cards.tavlek";
    const fs::path media = folder / "Cards_media";
    makeStampedMovie(media / "cam1" / "C0001.MP4", 0, 50);
    makeStampedMovie(media / "cam2" / "C0001.MP4", 60, 50);
    EditSession session = EditSession::blankProject("Cards", 320, 180, 25);
    session.sources = {EditSession::Source("card1", "C0001.MP4", "video"),
                       EditSession::Source("card2", "C0001.MP4", "video")};
    EditSession::Clip first = clip("c1", "video", 0.0, 1.0, 1, "C0001.MP4");
    first.sourceId = "card1";
    first.outPoint = 1.0;
    EditSession::Clip second = clip("c2", "video", 1.0, 1.0, 1, "C0001.MP4");
    second.sourceId = "card2";
    second.outPoint = 1.0;
    session.timelines.front().clips = {first, second};
    session.saveProject(file, media.string());
    return file;
}

class OneResolutionScenario : public AppScenario {
protected:
    void SetUp() override {}

    // The stamp the monitor shows, paused at about `seconds` by a click on the ruler; the time
    // it landed on goes to `paused`.
    int monitorStamp(double seconds, double& paused, const std::string& screenshotName)
    {
        paused = seekWithRuler(seconds);
        const int expectedFrame = static_cast<int>(std::floor(paused * 25 + 1e-6));
        int shown = -1;
        // Each card's frames start where the project shows them: stamp = frame for cam1, frame
        // + 60 − 25 for cam2 (its clip starts at frame 25).
        const int expected = paused < 1.0 ? expectedFrame : expectedFrame - 25 + 60;
        EXPECT_TRUE(waitFor(
            [&] {
                const QRect monitor = programFrame(programView());
                const QImage now = window().screen()->grabWindow(0, monitor.x(), monitor.y(), monitor.width(),
                                                                  monitor.height()).toImage();
                return (shown = stampIn(now, now.rect())) == expected;
            },
            "the monitor's frame"))
            << shown << " instead of " << expected;
        screenshot(screenshotName, globalRect(window()));
        return shown;
    }
};

TEST_F(OneResolutionScenario, SameNamedFilesInTwoFoldersExportAsShownAndAMissingJobLutIsRefusedByName)
{
    const fs::path file = writeCardsProject(folders.scratch());
    openInWindow(file);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(waitFor([&] { return workspace().sessionURL() == file && previewReady(); }, "the project"))
        << engine().status();

    double firstAt = 0, secondAt = 0;
    const int firstStamp = monitorStamp(0.5, firstAt, "one-resolution-1-cam1.png");
    const int secondStamp = monitorStamp(1.5, secondAt, "one-resolution-2-cam2.png");
    ASSERT_FALSE(HasFailure());

    // The sheet's movie shows each card's own frames where the monitor showed them.
    const fs::path sheetMovie = folders.scratch() / "Cards.mp4";
    const ExportSheetController& run = exportTo(sheetMovie);
    ASSERT_TRUE(run.status().starts_with("Done")) << run.status() << " " << run.errorText();
    screenshot("one-resolution-3-sheet-export.png", globalRect(window()));
    EXPECT_EQ(stampOf(decodedFrame(sheetMovie, firstAt)), firstStamp);
    EXPECT_EQ(stampOf(decodedFrame(sheetMovie, secondAt)), secondStamp);
    QTest::mouseClick(edit().exportSheet()->findChild<QPushButton*>(QStringLiteral("closeButton")), Qt::LeftButton);

    // So does the 10-bit workspace's movie of the handed-over job.
    ContentView* tenBit = nullptr;
    ASSERT_TRUE(handOverToTenBit(tenBit));
    ExportWorkspaceController& job = tenBit->controller();
    const nlohmann::json handed = nlohmann::json::parse(readTextFile(*job.jobURL()));
    const fs::path master = folders.scratch() / "Cards_master.mp4";
    chooseTenBitOutput(*tenBit, master);
    auto* exportButton = tenBit->findChild<QPushButton*>(QStringLiteral("export"));
    QTest::mouseClick(exportButton, Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return job.isExporting(); }, "the export to start"));
    ASSERT_TRUE(waitFor([&] { return !job.isExporting(); }, "the export", 600)) << job.statusText();
    ASSERT_EQ(job.statusText(), "Done: " + master.string()) << job.errorText();
    screenshot("one-resolution-4-ten-bit-export.png", globalRect(window()));
    EXPECT_EQ(stampOf(decodedFrame(master, firstAt)), firstStamp);
    EXPECT_EQ(stampOf(decodedFrame(master, secondAt)), secondStamp);

    // The same timeline as a job of its own whose job-wide LUT is nowhere: refused by its name,
    // no movie written.
    nlohmann::json missingLut = handed;
    missingLut["grade"]["lutCube"] = "missing_job_look.cube";
    const fs::path missingJob = folders.scratch() / "Cards_missing_look.json";
    writeTextFile(missingJob, missingLut.dump(2));
    QTest::mouseClick(tenBit->findChild<QPushButton*>(QStringLiteral("chooseJob")), Qt::LeftButton);
    QFileDialog* panel = nullptr;
    ASSERT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the job panel"));
    choose(*panel, missingJob);
    ASSERT_EQ(job.jobURL(), missingJob);
    ASSERT_TRUE(waitFor([&] { return job.inputsComplete(); }, "the chosen job"));
    const fs::path refusedMovie = folders.scratch() / "Refused" / "Cards_look.mp4";
    fs::create_directories(refusedMovie.parent_path());
    QTest::mouseClick(exportButton, Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the output panel of the new job"));
    choose(*panel, refusedMovie);
    ASSERT_TRUE(waitFor([&] { return job.showError(); }, "the refusal", 120)) << job.statusText();
    EXPECT_NE(job.errorText().find("missing_job_look.cube"), std::string::npos) << job.errorText();
    screenshot("one-resolution-5-missing-job-lut.png");
    EXPECT_TRUE(fs::is_empty(refusedMovie.parent_path()));
}

} // namespace
} // namespace velmora::test
