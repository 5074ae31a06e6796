// Exporting from the real application: the hand-over to the 10-bit Export workspace and its
// graded preview, and the Edit workspace's export sheet.
#include <cmath>

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include "AppScenario.h"
#include "controls/VelmoraSegmentedPicker.h"
#include "export_workspaces/ContentView.h"
#include "export_workspaces/EditorExportSheet.h"
#include "export_workspaces/ExportWorkspaceController.h"
#include "support/MediaFixtures.h"
#include "workspace/EditorContentView.h"
#include "workspace/bars/EditToolsBar.h"
#include "workspace/bars/EditorTopBar.h"
#include "workspace/shell/VelmoraDesktopShellView.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

// Pixels of `area` of `image` close to a pure colour.
int pixelsNear(const QImage& image, const QRect& area, QRgb colour)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            count += near(image.pixel(x, y), colour, 50) ? 1 : 0;
    }
    return count;
}

// "10-bit Export Tab →" hands the timeline over as a render job with its media folder; the
// window switches to the 10-bit Export workspace, which takes both. Its preview shows the job's
// first clip, A001, with the look the export gives it: the clip's LUT, named by file and found
// in the media folder (white bars red, black bars blue), in the clip's middle and, with a LUT
// override chosen (which a clip with a LUT of its own does not take), at 2.5 s.
TEST_F(AppScenario, TheTenBitExportWorkspaceTakesTheHandOverAndPreviewsTheJobGraded)
{
    QTest::mouseClick(edit().topBar()->commandButton(QStringLiteral("10-bit Export Tab →")), Qt::LeftButton);
    ContentView* tenBit = nullptr;
    ASSERT_TRUE(waitForTenBitWorkspace(tenBit));
    EXPECT_EQ(window().shownTab(), VelmoraShellTab::exportTab);
    EXPECT_EQ(window().modePicker()->currentIndex(), 1);
    ExportWorkspaceController& job = tenBit->controller();
    ASSERT_TRUE(job.jobURL());
    EXPECT_TRUE(fs::equivalent(job.jobURL()->parent_path(), folders.temporary())) << *job.jobURL();
    EXPECT_EQ(job.mediaFolderURL(), project.media);
    EXPECT_TRUE(job.isTimelineJob());
    EXPECT_EQ(job.statusText(), "Loaded from Edit tab \u2014 set output and Export 10-bit HEVC");

    // The first render is at the start; moving the slider renders again at once.
    QTest::mouseClick(tenBit->findChild<QPushButton*>(QStringLiteral("refreshPreview")), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return !job.isPreviewing() && !job.previewImage().isNull(); }, "the first preview"))
        << job.statusText();
    EXPECT_EQ(job.statusText(), "Preview updated");
    auto* time = tenBit->findChild<QSlider*>(QStringLiteral("previewTime"));
    const auto renderAt = [&](double seconds) {
        const double step = (job.previewMaxSeconds() - job.previewMinSeconds()) / time->maximum();
        time->setValue(static_cast<int>(std::lround((seconds - job.previewMinSeconds()) / step)));
        return job.isPreviewing() && waitFor([&] { return !job.isPreviewing(); }, "the preview");
    };
    ASSERT_TRUE(renderAt(1.5));
    EXPECT_TRUE(job.previewLabel().starts_with("A001.mp4  pts=1.500  [0.00s\u20133.00s]")) << job.previewLabel();
    const QImage middle = job.previewImage();
    ASSERT_EQ(middle.size(), QSize(320, 180));
    EXPECT_EQ(stampIn(middle, middle.rect()), 45);

    QTest::mouseClick(tenBit->findChild<QPushButton*>(QStringLiteral("chooseLutOverride")), Qt::LeftButton);
    QFileDialog* panel = nullptr;
    ASSERT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the LUT panel"));
    choose(*panel, project.media / "Split.cube");
    ASSERT_EQ(job.lutOverrideURL(), project.media / "Split.cube");
    ASSERT_TRUE(renderAt(2.5));
    EXPECT_EQ(job.statusText(), "Preview updated");
    EXPECT_NEAR(job.previewTimeSeconds(), 2.5, 1e-9);
    EXPECT_TRUE(job.previewLabel().starts_with("A001.mp4  pts=2.500")) << job.previewLabel();

    const QImage& graded = job.previewImage();
    ASSERT_EQ(graded.size(), QSize(320, 180));
    EXPECT_EQ(stampIn(graded, graded.rect()), 75);
    for (int bar = 0; bar < 16; ++bar) {
        const bool white = (45 >> bar) & 1;
        EXPECT_TRUE(near(middle.pixel(bar * 20 + 10, 90), white ? qRgb(255, 0, 0) : qRgb(0, 0, 255), 40))
            << "middle bar " << bar;
        const QRgb split = (75 >> bar) & 1 ? qRgb(255, 0, 0) : qRgb(0, 0, 255);
        EXPECT_TRUE(near(graded.pixel(bar * 20 + 10, 90), split, 40)) << "graded bar " << bar;
    }

    const QImage shot = screenshot("tenbit-app.png", globalRect(window()));
    // The preview box shows that picture, scaled: about as many red pixels as blue ones.
    const QRect box = globalRect(*tenBit->findChild<QWidget*>(QStringLiteral("previewPicture")));
    const int reds = pixelsNear(shot, box, qRgb(255, 0, 0));
    const int blues = pixelsNear(shot, box, qRgb(0, 0, 255));
    EXPECT_GT(reds, 2000);
    EXPECT_GT(blues, 2000);
}

// "Export Video…" opens the sheet; with H.264 chosen, "Choose Output & Export" asks for the
// movie's file in a save panel and exports the whole timeline there.
TEST_F(AppScenario, TheExportSheetExportsTheTimelineToTheChosenMovie)
{
    EditorExportSheet& sheet = openExportSheet();
    ASSERT_FALSE(HasFatalFailure());
    ExportSheetController& run = sheet.controller();
    ASSERT_EQ(run.format(), EditorExportFormat::h264);

    QTest::mouseClick(sheet.findChild<QPushButton*>(QStringLiteral("exportButton")), Qt::LeftButton);
    QFileDialog* panel = nullptr;
    ASSERT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the save panel"));
    ASSERT_EQ(panel->selectedFiles().size(), 1);
    EXPECT_TRUE(panel->selectedFiles().front().endsWith(QStringLiteral("/Scenes_export.mp4")))
        << panel->selectedFiles().front().toStdString();
    const fs::path movie = folders.scratch() / "Scenes_export.mp4";
    choose(*panel, movie);
    ASSERT_TRUE(waitFor([&] { return !run.isExporting() && run.status().starts_with("Done"); }, "the export", 1200))
        << run.status();

    // Whether a file manager then shows the movie depends on the desktop; the lines name it.
    const bool shown = run.progressDetail() == "Saved to Scenes_export.mp4";
    EXPECT_TRUE(shown ||
                run.progressDetail() == "Saved to Scenes_export.mp4 \u2014 no file manager is available to show it")
        << run.progressDetail();
    EXPECT_EQ(run.status(), shown ? std::string("Done \u2014 320\u00D7180 @ 30.00 fps")
                                  : std::string("Done \u2014 320\u00D7180 @ 30.00 fps \u2014 no file manager is "
                                                "available to show Scenes_export.mp4"));
    EXPECT_EQ(sheet.findChild<QLabel*>(QStringLiteral("statusLabel"))->text(), QString::fromStdString(run.status()));
    const nlohmann::json stream = ffprobeStream(movie, "v:0", true);
    EXPECT_EQ(stream["codec_name"], "h264");
    EXPECT_EQ(stream["width"], 320);
    EXPECT_EQ(stream["height"], 180);
    EXPECT_EQ(stream["nb_read_frames"], "225");
    screenshot("export-sheet-app.png", globalRect(window()).united(sheet.frameGeometry()));
}

} // namespace
} // namespace velmora::test
