// LUTs that grade nothing, in the real window: the status line names them, the pickers mark them
// "(missing)" or "(unusable)", and every export refuses by the same name.
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

} // namespace
} // namespace velmora::test
