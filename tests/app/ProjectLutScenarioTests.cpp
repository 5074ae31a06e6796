// LUTs that grade nothing, in the real window: the status line names them, the pickers mark them
// "(missing)" or "(unusable)", and every export refuses by the same name; a LUT file rewritten is
// followed by the monitor as by the export.
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "AppScenario.h"
#include "controls/ElidedLabel.h"
#include "controls/VelmoraDarkPopUpPicker.h"
#include "export_workspaces/ContentView.h"
#include "export_workspaces/ExportSheetController.h"
#include "export_workspaces/ExportWorkspaceController.h"
#include "preview/GradedPreviewController.h"
#include "preview/GradedPreviewView.h"
#include "support/CubeTexts.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"
#include "support/model/SessionBuilders.h"
#include "workspace/EditorContentView.h"
#include "workspace/bars/EditToolsBar.h"
#include "workspace/bars/EditorTopBar.h"
#include "workspace/shell/VelmoraDesktopShellView.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

class ProjectLutScenario : public AppScenario {
protected:
    // The scenario opens a project of its own.
    void SetUp() override {}
};

// "Look.tavlek": one 2 s clip of n25.mp4, its project LUT "missing_project_look.cube", which is
// nowhere; the clip has no LUT of its own.
TEST_F(ProjectLutScenario, AMissingProjectLutIsNamedMarkedAndRefusedByTheSameName)
{
    const fs::path file = folders.scratch() / "Look.tavlek";
    writeOneMovieProject(file, folders.scratch() / "Look_media", "Look", "n25.mp4", 50, 25, 2.0,
                         [](EditSession& session, EditSession::Clip&) {
                             session.grade = EditSession::ProjectGrade{std::string("missing_project_look.cube")};
                         });

    openInWindow(file);
    ASSERT_FALSE(HasFatalFailure());
    const auto& status = dynamic_cast<const ElidedLabel&>(*edit().findChild<EditToolsBar*>()->statusLabel());
    const QString named = QStringLiteral("LUT missing_project_look.cube not found");
    ASSERT_TRUE(waitFor([&] { return previewReady() && status.text().contains(named); },
                        "the status line naming the project's LUT"))
        << engine().status();

    workspace().setShowProjectSettings(true);
    QComboBox* picker = nullptr;
    ASSERT_TRUE(waitFor(
        [&] {
            QWidget* sheet = edit().projectSettingsSheet();
            picker = sheet && sheet->isVisible() ? sheet->findChild<QComboBox*>(QStringLiteral("defaultLutPicker"))
                                                 : nullptr;
            return picker != nullptr;
        },
        "Project Settings"));
    EXPECT_EQ(picker->currentText().toStdString(), "missing_project_look.cube (missing)");
    EXPECT_EQ(picker->currentData().toString().toStdString(), "missing_project_look.cube");
    screenshot("project-lut-1-named-and-marked.png");
    workspace().setShowProjectSettings(false);

    const fs::path out = folders.scratch() / "LookOut";
    fs::create_directories(out);
    const ExportSheetController& refused = exportTo(out / "Look.mp4");
    EXPECT_EQ(refused.status(), "Export failed.");
    EXPECT_TRUE(refused.showError());
    EXPECT_NE(refused.errorText().find("Missing LUT files:\nmissing_project_look.cube"), std::string::npos)
        << refused.errorText();
    screenshot("project-lut-2-refused.png");
    EXPECT_TRUE(fs::is_empty(out));
}

// "Cut.tavlek": one 2 s clip of n25.mp4 graded with the clip LUT "trunc.cube", which is there
// beside the media but holds 198 of the 4,913 entries its LUT_3D_SIZE 17 needs. The status line
// says it is not usable, the Clip LUT picker marks it, and the export sheet and the 10-bit
// Export workspace both refuse it by name with why: never an alert without words.
TEST_F(ProjectLutScenario, ALutCutShortIsNamedMarkedAndRefusedWithWhyOnEveryRoute)
{
    const fs::path file = folders.scratch() / "Cut.tavlek";
    const fs::path media = folders.scratch() / "Cut_media";
    writeOneMovieProject(file, media, "Cut", "n25.mp4", 50, 25, 2.0, [](EditSession&, EditSession::Clip& clip) {
        clip.grade = EditSession::clipGrade("trunc.cube");
    });
    writeTextFile(media / "trunc.cube", truncatedCubeText());
    const std::string refusal = "trunc.cube is not a usable LUT: it holds fewer entries than its LUT_3D_SIZE needs";

    openInWindow(file);
    ASSERT_FALSE(HasFatalFailure());
    const auto& status = dynamic_cast<const ElidedLabel&>(*edit().findChild<EditToolsBar*>()->statusLabel());
    ASSERT_TRUE(waitFor([&] { return previewReady() && status.text().contains(QStringLiteral("LUT trunc.cube is not usable")); },
                        "the status line naming the clip's LUT"))
        << engine().status();
    engine().setSelectedClipId(std::string("c"));
    const VelmoraDarkPopUpPicker& picker = *edit().topBar()->clipLutPicker();
    EXPECT_TRUE(waitFor([&] { return picker.currentText() == QStringLiteral("trunc.cube (unusable)"); },
                        "the Clip LUT picker marking it"))
        << picker.currentText().toStdString();
    screenshot("lut-cut-short-1-named-and-marked.png");

    const fs::path out = folders.scratch() / "CutOut";
    fs::create_directories(out);
    const ExportSheetController& refused = exportTo(out / "Cut.mp4");
    EXPECT_EQ(refused.status(), "Export failed.");
    EXPECT_TRUE(refused.showError());
    EXPECT_TRUE(refused.errorText().starts_with(refusal)) << refused.errorText();
    QMessageBox* alert = nullptr;
    ASSERT_TRUE(waitFor([&] { return (alert = edit().exportSheet()->findChild<QMessageBox*>(QStringLiteral("exportErrorAlert"))) && alert->isVisible(); },
                        "the export sheet's alert"));
    EXPECT_TRUE(alert->text().startsWith(QString::fromStdString(refusal))) << alert->text().toStdString();
    screenshot("lut-cut-short-2-sheet-refuses.png");
    pressRole(*alert, QMessageBox::AcceptRole);
    QTest::mouseClick(edit().exportSheet()->findChild<QPushButton*>(QStringLiteral("closeButton")), Qt::LeftButton);

    ContentView* tenBit = nullptr;
    ASSERT_TRUE(handOverToTenBit(tenBit));
    ExportWorkspaceController& job = tenBit->controller();
    chooseTenBitOutput(*tenBit, out / "Cut_master.mov");
    QTest::mouseClick(tenBit->findChild<QPushButton*>(QStringLiteral("export")), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return job.showError(); }, "the 10-bit export's refusal", 300)) << job.statusText();
    EXPECT_TRUE(job.errorText().starts_with("Error Domain=export Code=214 \"" + refusal)) << job.errorText();
    ASSERT_TRUE(waitFor([&] { return (alert = tenBit->findChild<QMessageBox*>(QStringLiteral("ExportFailedAlert"))) && alert->isVisible(); },
                        "the 10-bit workspace's alert"));
    EXPECT_EQ(alert->text().toStdString(), job.errorText());
    screenshot("lut-cut-short-3-ten-bit-refuses.png");
    EXPECT_TRUE(fs::is_empty(out));
}

// "Turn.tavlek": one 2 s clip of a flat grey n25.mp4 (R'G'B' 47) graded with the clip LUT
// "trunc2.cube", cut short beside the media. Grade on and paused at 0.5 s, the monitor shows
// frame 12 ungraded. A good table copied over the file and the list refreshed (the Clip LUT
// picker opening): the monitor shows the tinted frame the export writes there, also after
// another time is visited. The file cut short again and the list refreshed: the frame ungraded
// again, as the status line says.
TEST_F(ProjectLutScenario, AfterTheLutFileChangesTheMonitorShowsWhatTheExportWrites)
{
    const fs::path file = folders.scratch() / "Turn.tavlek";
    const fs::path media = folders.scratch() / "Turn_media";
    const fs::path lut = media / "trunc2.cube";
    writeOneMovieProject(
        file, media, "Turn", "n25.mp4", 50, 25, 2.0,
        [](EditSession&, EditSession::Clip& clip) { clip.grade = EditSession::clipGrade("trunc2.cube"); }, true);
    writeTextFile(lut, truncatedCubeText());

    openInWindow(file);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(waitFor([&] { return previewReady() && engine().status().find("LUT trunc2.cube is not usable") != std::string::npos; },
                        "the status line naming the clip's LUT"))
        << engine().status();
    QTest::mouseClick(edit().topBar()->gradeToggle(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([this] { return engine().gradePreviewEnabled(); }, "the grade preview"));
    const double paused = seekWithRuler(0.5);
    ASSERT_NEAR(paused, 0.5, 0.05);
    const int frame = static_cast<int>(engine().frameGrid().index(paused));
    ASSERT_TRUE(waitForGradedStill(frame, GreyPicture::stampRow));
    screenshot("lut-rewritten-1-cut-short.png", globalRect(window()));
    const GreyPicture ungraded = monitorPicture();
    EXPECT_TRUE(samePicture(ungraded, {qRgb(47, 47, 47), frame}, 3));

    engine().setSelectedClipId(std::string("c"));
    VelmoraDarkPopUpPicker& picker = *edit().topBar()->clipLutPicker();
    const auto rewriteAndRefresh = [&](const std::string& text) {
        writeTextFile(lut, text);
        picker.showPopup();
        picker.hidePopup();
    };
    const GradedPreviewController& program = programView().controller();
    const auto monitorSettlesOn = [&](const std::function<bool(const GreyPicture&)>& wanted, const std::string& what) {
        return waitFor(
            [&] { return program.isStillShown() && !program.isGradingInFlight() && wanted(monitorPicture()); }, what,
            20);
    };

    const QRgb graded = qRgb(66, 56, 38);
    rewriteAndRefresh(bentMiddleCubeText(0.7, 0.6, 0.4));
    ASSERT_TRUE(monitorSettlesOn([&](const GreyPicture& shown) { return samePicture(shown, {graded, frame}, 5); },
                                 "the monitor graded by the table copied in"))
        << QColor(monitorPicture().centre).name().toStdString() << ", frame " << monitorPicture().frame;
    seekWithRuler(1.0);
    ASSERT_NEAR(seekWithRuler(0.5), paused, 1e-9);
    EXPECT_TRUE(monitorShowsTheExportedFrame(paused, "lut-rewritten-2-good-table.png",
                                             folders.scratch() / "Turn_export.mp4", graded));
    QTest::mouseClick(edit().exportSheet()->findChild<QPushButton*>(QStringLiteral("closeButton")), Qt::LeftButton);

    rewriteAndRefresh(truncatedCubeText());
    EXPECT_TRUE(monitorSettlesOn([&](const GreyPicture& shown) { return samePicture(shown, ungraded, 2); },
                                 "the monitor ungraded again"))
        << QColor(monitorPicture().centre).name().toStdString();
    EXPECT_TRUE(waitFor([&] { return engine().status().find("LUT trunc2.cube is not usable") != std::string::npos; },
                        "the status line naming the clip's LUT again"))
        << engine().status();
    screenshot("lut-rewritten-3-cut-short-again.png", globalRect(window()));
}

} // namespace
} // namespace velmora::test
