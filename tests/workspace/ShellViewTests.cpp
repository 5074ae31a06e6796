#include <QAbstractButton>
#include <QApplication>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

#include "controls/VelmoraSegmentedPicker.h"
#include "controls/VelmoraWorkflowState.h"
#include "workspace/shell/VelmoraDesktopEditorApp.h"
#include "workspace/shell/VelmoraDesktopShellView.h"

namespace velmora {
namespace {

void runDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Factories that record what each new workspace was handed when it was made.
struct Recorder {
    struct Made {
        std::string name;
        std::optional<std::filesystem::path> job;
        std::optional<std::filesystem::path> folder;
        QPointer<QWidget> view;
    };
    std::vector<Made> made;

    ShellWorkspaceFactories factories()
    {
        const ShellWorkspaceFactories placeholders = ShellWorkspaceFactories::placeholders();
        auto recording = [this](ShellWorkspaceFactories::Factory make) {
            return [this, make](VelmoraWorkflowState& workflow, QWidget* parent) {
                QWidget* view = make(workflow, parent);
                made.push_back({view->objectName().toStdString(), workflow.exportJobURL(),
                                workflow.exportMediaFolderURL(), view});
                return view;
            };
        };
        return {recording(placeholders.editor), recording(placeholders.exportTab)};
    }
};

TEST(VelmoraDesktopShellView, StartsAsOneWindowOfDefaultSizeShowingEdit)
{
    const auto window = VelmoraDesktopEditorApp::makeWindow();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(window->size(), QSize(1280, 900));
    EXPECT_EQ(window->objectName(), "VelmoraDesktopShellView");

    int visibleWindows = 0;
    for (QWidget* topLevel : QApplication::topLevelWidgets())
        visibleWindows += topLevel->isVisible() ? 1 : 0;
    EXPECT_EQ(visibleWindows, 1);

    const VelmoraSegmentedPicker* picker = window->modePicker();
    EXPECT_EQ(picker->label(), "Mode");
    EXPECT_EQ(picker->segmentTitles(), (QStringList{"Edit", "10-bit Export"}));
    EXPECT_EQ(picker->currentIndex(), 0);
    ASSERT_NE(window->currentWorkspace(), nullptr);
    EXPECT_EQ(window->currentWorkspace()->objectName(), "EditorContentView");
    EXPECT_EQ(window->workflow().selectedTab(), VelmoraShellTab::editor);

    // The workspace fills everything below the picker.
    const QWidget* workspace = window->currentWorkspace();
    EXPECT_EQ(workspace->width(), 1280);
    EXPECT_EQ(workspace->mapTo(window.get(), QPoint(0, workspace->height())).y(), 900);
    EXPECT_GT(workspace->height(), 800);
}

TEST(VelmoraDesktopShellView, ThePickerReplacesTheWorkspaceWithAFreshOne)
{
    Recorder recorder;
    VelmoraDesktopShellView shell(recorder.factories());
    shell.resize(1280, 900);
    shell.show();
    ASSERT_EQ(recorder.made.size(), 1u);
    QPointer<QWidget> firstEdit = shell.currentWorkspace();

    QTest::mouseClick(shell.modePicker()->segment(1), Qt::LeftButton);
    EXPECT_EQ(shell.workflow().selectedTab(), VelmoraShellTab::exportTab);
    EXPECT_EQ(shell.shownTab(), VelmoraShellTab::exportTab);
    EXPECT_EQ(shell.currentWorkspace()->objectName(), "ContentView");
    EXPECT_TRUE(shell.currentWorkspace()->isVisible());
    runDeferredDeletes();
    EXPECT_TRUE(firstEdit.isNull());

    // Choosing the shown mode again keeps its workspace.
    QPointer<QWidget> exportView = shell.currentWorkspace();
    shell.workflow().setSelectedTab(VelmoraShellTab::exportTab);
    QTest::mouseClick(shell.modePicker()->segment(1), Qt::LeftButton);
    runDeferredDeletes();
    EXPECT_EQ(shell.currentWorkspace(), exportView.data());
    EXPECT_EQ(recorder.made.size(), 2u);

    QTest::mouseClick(shell.modePicker()->segment(0), Qt::LeftButton);
    runDeferredDeletes();
    EXPECT_TRUE(exportView.isNull());
    ASSERT_EQ(recorder.made.size(), 3u);
    EXPECT_EQ(recorder.made[2].name, "EditorContentView");
    EXPECT_EQ(shell.currentWorkspace(), recorder.made[2].view.data());
    EXPECT_EQ(shell.modePicker()->currentIndex(), 0);
}

TEST(VelmoraDesktopShellView, TheHandOverReachesEveryFreshExportWorkspace)
{
    Recorder recorder;
    VelmoraDesktopShellView shell(recorder.factories());
    const std::filesystem::path job = "/tmp/velmora_render_1a2b3c4d.json";
    const std::filesystem::path media = "/media/footage";

    // The Edit workspace's button hands over while it is on the call stack: it survives the
    // call and goes once control is back in the event loop.
    QPointer<QWidget> edit = shell.currentWorkspace();
    shell.workflow().openExportTab(job, media);
    EXPECT_FALSE(edit.isNull());
    EXPECT_FALSE(edit->isVisible());
    runDeferredDeletes();
    EXPECT_TRUE(edit.isNull());

    ASSERT_EQ(recorder.made.size(), 2u);
    EXPECT_EQ(recorder.made[1].name, "ContentView");
    EXPECT_EQ(recorder.made[1].job, job);
    EXPECT_EQ(recorder.made[1].folder, media);
    EXPECT_EQ(shell.modePicker()->currentIndex(), 1);

    // Back to Edit and to the export again: the URLs are kept and handed to a new workspace.
    shell.workflow().setSelectedTab(VelmoraShellTab::editor);
    EXPECT_EQ(shell.workflow().exportJobURL(), job);
    EXPECT_EQ(shell.workflow().exportMediaFolderURL(), media);
    shell.workflow().setSelectedTab(VelmoraShellTab::exportTab);
    runDeferredDeletes();
    ASSERT_EQ(recorder.made.size(), 4u);
    EXPECT_EQ(recorder.made[3].job, job);
    EXPECT_EQ(recorder.made[3].folder, media);
    EXPECT_NE(recorder.made[3].view.data(), nullptr);
    EXPECT_TRUE(recorder.made[1].view.isNull());

    // A hand-over without a media folder still switches.
    shell.workflow().setSelectedTab(VelmoraShellTab::editor);
    shell.workflow().openExportTab(job, std::nullopt);
    ASSERT_EQ(recorder.made.size(), 6u);
    EXPECT_EQ(recorder.made[5].job, job);
    EXPECT_FALSE(recorder.made[5].folder.has_value());
}

TEST(VelmoraDesktopShellView, FilesHandedToTheApplicationGoToTheOneHandler)
{
    VelmoraDesktopShellView shell;
    shell.openFiles({"/tmp/ignored.tavlek"}); // no handler yet: nothing happens
    std::vector<std::vector<std::filesystem::path>> opened;
    shell.setOpenFileHandler([&](const std::vector<std::filesystem::path>& files) { opened.push_back(files); });
    shell.openFiles({"/a/Trip.tavlek", "/b/job.JSON"});
    shell.openFiles({});
    // Together, in the order given: the handler decides what one window does with several.
    EXPECT_EQ(opened, (std::vector<std::vector<std::filesystem::path>>{{"/a/Trip.tavlek", "/b/job.JSON"}}));

    const std::vector<std::filesystem::path> files = VelmoraDesktopEditorApp::filesFromArguments(
        {"velmora-editor", "/abs/x.json", "", "rel/../y.tavlek", "/abs/job\xe9.json", "./caf\xc3\xa9/"});
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[0], std::filesystem::path("/abs/x.json"));
    EXPECT_EQ(files[1], std::filesystem::current_path() / "y.tavlek");
    // A name that is not UTF-8 keeps its bytes.
    EXPECT_EQ(files[2].native(), "/abs/job\xe9.json");
    EXPECT_EQ(files[3], std::filesystem::current_path() / "caf\xc3\xa9");
}

} // namespace
} // namespace velmora
