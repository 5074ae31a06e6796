// A project whose own LUT is nowhere, in the real window: the status line names it, Project
// Settings' picker marks it "(missing)", and the export sheet refuses by the same name.
#include <QComboBox>
#include <QDialog>
#include <QTest>

#include "AppScenario.h"
#include "controls/ElidedLabel.h"
#include "export_workspaces/ExportSheetController.h"
#include "support/MediaFixtures.h"
#include "support/model/SessionBuilders.h"
#include "workspace/EditorContentView.h"
#include "workspace/bars/EditToolsBar.h"
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

} // namespace
} // namespace velmora::test
