// Every way of leaving the open project asks before unsaved changes are lost, and only then.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "EditorWorkspaceTestSupport.h"
#include "controls/VelmoraSegmentedPicker.h"
#include "workspace/shell/VelmoraDesktopShellView.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::WorkspaceHarness;
using Question = EditorWorkspaceController::DiscardQuestion;
using Reason = EditorWorkspaceController::DiscardReason;

Question asked(Reason reason, const char* discard)
{
    return {reason, "Discard unsaved changes?", discard, "Cancel"};
}

// The render jobs written to the temporary folder.
int renderJobs(const test::UserFoldersScope& folders)
{
    int count = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(folders.temporary()))
        count += entry.path().filename().string().starts_with("velmora_render_") ? 1 : 0;
    return count;
}

// Clicks the box's button showing `title`.
void click(QMessageBox& box, const QString& title)
{
    QAbstractButton* button = test::buttonTitled(box, title);
    ASSERT_NE(button, nullptr) << title.toStdString();
    QTest::mouseClick(button, Qt::LeftButton);
}

TEST(DiscardQuestion, OpeningAsksBeforeThePanelAndBeforeAFileHandedIn)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    const test::GeneratedProject first = test::writeProject(h.folders.scratch() / "first");
    const test::GeneratedProject second = test::writeProject(h.folders.scratch() / "second");
    h.open(first);

    // Clean: the panel at once, a file handed in opens at once.
    w.pickSession();
    EXPECT_FALSE(w.discardQuestion());
    ASSERT_TRUE(h.panels->hasOpenPanel());
    h.panels->cancel();
    w.handleOpenURL(second.file);
    EXPECT_FALSE(w.discardQuestion());
    EXPECT_EQ(w.sessionURL(), second.file);

    // Unsaved changes: asked before the panel; Cancel shows no panel and keeps everything.
    h.engine().addMarkerAtPlayhead();
    ASSERT_TRUE(w.projectDirty());
    for (auto pick : {&EditorWorkspaceController::pickSession, &EditorWorkspaceController::pickWebJobJSON}) {
        (w.*pick)();
        EXPECT_EQ(w.discardQuestion(), asked(Reason::open, "Discard & Open"));
        EXPECT_FALSE(w.confirmDiscardForNewProject());
        EXPECT_FALSE(h.panels->hasOpenPanel());
        w.answerDiscardQuestion(false);
        EXPECT_FALSE(w.discardQuestion());
        EXPECT_FALSE(h.panels->hasOpenPanel());
    }
    w.handleOpenURL(first.file);
    EXPECT_EQ(w.discardQuestion(), asked(Reason::open, "Discard & Open"));
    w.answerDiscardQuestion(false);
    EXPECT_EQ(w.sessionURL(), second.file);
    EXPECT_EQ(h.engine().activeMarkers().size(), 1u);
    EXPECT_TRUE(w.projectDirty());
    // A file the workspace does not open asks nothing.
    w.handleOpenURL(first.media / "DJI_0001.MP4");
    EXPECT_FALSE(w.discardQuestion());

    // Discarding shows the panel; its file replaces the project.
    w.pickSession();
    w.answerDiscardQuestion(true);
    ASSERT_TRUE(h.panels->hasOpenPanel());
    h.panels->choose(first.file);
    EXPECT_EQ(w.sessionURL(), first.file);
    EXPECT_TRUE(h.engine().activeMarkers().empty());
    EXPECT_FALSE(w.projectDirty());

    // A file handed in, discarded: it opens.
    h.engine().addMarkerAtPlayhead();
    w.handleOpenURL(second.file);
    w.answerDiscardQuestion(true);
    EXPECT_EQ(w.sessionURL(), second.file);
    EXPECT_FALSE(w.projectDirty());
}

TEST(DiscardQuestion, TheHandOffAsksBeforeWritingItsJob)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    h.open(test::writeProject(h.folders.scratch()));
    h.engine().addMarkerAtPlayhead();

    w.handoffToExportTab();
    EXPECT_EQ(w.discardQuestion(), asked(Reason::switchMode, "Discard & Switch"));
    EXPECT_EQ(renderJobs(h.folders), 0);
    w.answerDiscardQuestion(false);
    EXPECT_EQ(h.workflow.selectedTab(), VelmoraShellTab::editor);
    EXPECT_FALSE(h.workflow.exportJobURL());
    EXPECT_EQ(renderJobs(h.folders), 0);
    EXPECT_EQ(h.engine().activeMarkers().size(), 1u);
    EXPECT_TRUE(w.projectDirty());

    w.handoffToExportTab();
    w.answerDiscardQuestion(true);
    EXPECT_EQ(h.workflow.selectedTab(), VelmoraShellTab::exportTab);
    EXPECT_EQ(renderJobs(h.folders), 1);
    EXPECT_EQ(h.engine().status(), "Sent timeline to 10-bit Export tab");

    // Clean: no question.
    h.workflow.setSelectedTab(VelmoraShellTab::editor);
    w.setProjectDirty(false);
    w.handoffToExportTab();
    EXPECT_FALSE(w.discardQuestion());
    EXPECT_EQ(h.workflow.selectedTab(), VelmoraShellTab::exportTab);
    // The new job replaced the first one, which went with it.
    EXPECT_EQ(renderJobs(h.folders), 1);
    EXPECT_TRUE(std::filesystem::exists(h.workflow.exportJobURL().value()));
}

// The shell with the real Edit workspace on the harness's queue, clock and fake panels.
struct ShellWithEditor {
    ShellWithEditor()
    {
        EditorWorkspaceController::Services services;
        services.engine = {queue, clock, nullptr};
        services.filePanels = std::make_shared<test::FakeFilePanels>();
        services.fileRevealer = std::make_shared<test::FakeFileRevealer>();
        shell = std::make_unique<VelmoraDesktopShellView>(
            ShellWorkspaceFactories{EditorContentView::factory(services), ShellWorkspaceFactories::placeholders().exportTab});
        shell->resize(1280, 900);
        shell->show();
        // The active window, as the user's: the window's own shortcuts reach it.
        QApplication::setActiveWindow(shell.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(shell.get()));
    }
    ~ShellWithEditor()
    {
        shell.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EditorContentView& edit() const { return *qobject_cast<EditorContentView*>(shell->currentWorkspace()); }
    // Opens a project and leaves it with one unsaved marker.
    void openWithChanges(const test::GeneratedProject& project)
    {
        edit().controller().handleOpenURL(project.file);
        queue->advance(0.5);
        edit().controller().engine().addMarkerAtPlayhead();
    }

    test::UserFoldersScope folders;
    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(100.0);
    std::unique_ptr<VelmoraDesktopShellView> shell;
};

TEST(DiscardQuestion, TheModePickerAsksAndStaysOnEditWhenCancelled)
{
    ShellWithEditor s;
    VelmoraSegmentedPicker& picker = *s.shell->modePicker();
    QPointer<EditorContentView> edit = &s.edit();
    s.openWithChanges(test::writeProject(s.folders.scratch()));

    QTest::mouseClick(picker.segment(1), Qt::LeftButton);
    QMessageBox* box = edit->discardDialog();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Discard unsaved changes?");
    EXPECT_TRUE(box->informativeText().isEmpty());
    EXPECT_EQ(picker.currentIndex(), 0);
    click(*box, QStringLiteral("Cancel"));
    EXPECT_EQ(edit->discardDialog(), nullptr);
    EXPECT_EQ(s.shell->workflow().selectedTab(), VelmoraShellTab::editor);
    EXPECT_EQ(picker.currentIndex(), 0);
    EXPECT_EQ(s.shell->currentWorkspace(), edit.data());
    EXPECT_EQ(edit->controller().engine().activeMarkers().size(), 1u);

    QTest::mouseClick(picker.segment(1), Qt::LeftButton);
    click(*edit->discardDialog(), QStringLiteral("Discard & Switch"));
    EXPECT_EQ(s.shell->shownTab(), VelmoraShellTab::exportTab);
    EXPECT_EQ(picker.currentIndex(), 1);
    EXPECT_FALSE(s.shell->workflow().exportJobURL());

    // Back on a fresh, clean Edit workspace: the switch asks nothing.
    QTest::mouseClick(picker.segment(0), Qt::LeftButton);
    QTest::mouseClick(picker.segment(1), Qt::LeftButton);
    EXPECT_EQ(s.shell->shownTab(), VelmoraShellTab::exportTab);
}

TEST(DiscardQuestion, ClosingTheWindowAndCtrlQAskAndCancelKeepsItOpen)
{
    ShellWithEditor s;
    s.openWithChanges(test::writeProject(s.folders.scratch()));
    QSignalSpy closed(s.shell.get(), &VelmoraDesktopShellView::closed);

    EXPECT_FALSE(s.shell->close());
    EXPECT_TRUE(s.shell->isVisible());
    EXPECT_EQ(s.edit().controller().discardQuestion(), asked(Reason::quit, "Discard & Quit"));
    click(*s.edit().discardDialog(), QStringLiteral("Cancel"));
    EXPECT_TRUE(s.shell->isVisible());
    EXPECT_EQ(s.edit().controller().engine().activeMarkers().size(), 1u);

    ASSERT_TRUE(QTest::qWaitForWindowActive(s.shell.get())); // again, once the question closed
    QTest::keyClick(s.shell.get(), Qt::Key_Q, Qt::ControlModifier);
    QMessageBox* box = s.edit().discardDialog();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(closed.count(), 0);
    click(*box, QStringLiteral("Discard & Quit"));
    EXPECT_FALSE(s.shell->isVisible());
    EXPECT_EQ(closed.count(), 1);

    // Without unsaved changes the window closes at once.
    s.shell->show();
    s.edit().controller().setProjectDirty(false);
    EXPECT_TRUE(s.shell->close());
    EXPECT_FALSE(s.shell->isVisible());
    EXPECT_EQ(closed.count(), 2);
    EXPECT_FALSE(s.edit().controller().discardQuestion());
}

} // namespace
} // namespace velmora
