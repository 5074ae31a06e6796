#include <chrono>
#include <thread>

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "EditorWorkspaceTestSupport.h"
#include "controls/VelmoraDarkPopUpPicker.h"
#include "export_workspaces/EditorExportSheet.h"
#include "platform/foundation/ShownText.h"
#include "workspace/bars/EditorTopBar.h"
#include "workspace/keys/EditorKeyboardMonitorView.h"
#include "workspace/shell/VelmoraDesktopEditorApp.h"
#include "workspace/shell/VelmoraDesktopShellView.h"
#include "workspace/timeline/TimelineStripModel.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::readsAs;
using test::WorkspaceHarness;
using Views = WorkspaceHarness::Views;

// An export that runs until it is cancelled, then ends as the engine does.
class RunUntilCancelled final : public EditorExportRunner {
public:
    ExportResult run(const EditSession&, const EditorExportRequest&, const Exporter::TimelineProgressCallback&,
                     const Exporter::CancellationCallback& isCancelled) override
    {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!isCancelled() && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        throw Error("export", 248, "Export cancelled.");
    }
};

// The sheet refuses its close while an export runs; the workspace keeps presenting it, with its
// progress and Cancel, and forgets it only once a close goes through.
TEST(EditorContentView, TheExportSheetStaysWhileItsExportRuns)
{
    EditorWorkspacePieces pieces;
    std::shared_ptr<ManualMainQueue> queue;
    std::shared_ptr<test::FakeFilePanels> panels;
    pieces.exportSheet = [&queue, &panels](EditorWorkspaceController& workspace, QWidget* parent) -> QWidget* {
        return new EditorExportSheet(workspace.engine(), workspace.mediaFolderURL(), workspace.sessionURL(),
                                     [&workspace] { workspace.setShowExportSheet(false); },
                                     {panels, nullptr, std::make_shared<RunUntilCancelled>(), queue, nullptr}, parent);
    };
    WorkspaceHarness h({Views::workspace, false, pieces});
    queue = h.queue;
    panels = h.panels;
    h.open(test::writeProject(h.folders.scratch()));
    EditorWorkspaceController& w = h.workspace();

    w.setShowExportSheet(true);
    const QPointer<EditorExportSheet> sheet = qobject_cast<EditorExportSheet*>(h.view().exportSheet());
    ASSERT_NE(sheet, nullptr);
    sheet->controller().pickOutputAndExport();
    h.panels->choose(h.folders.scratch() / "cut.mp4");
    ASSERT_TRUE(sheet->controller().isExporting());

    EXPECT_FALSE(sheet->close());
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.showExportSheet());
    ASSERT_NE(h.view().exportSheet(), nullptr);
    ASSERT_EQ(h.view().exportSheet(), sheet.data());
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(sheet->findChild<QWidget*>(QStringLiteral("progressSection"))->isVisibleTo(sheet));

    sheet->controller().requestCancel();
    ASSERT_TRUE(h.queue->runUntil([&] { return !sheet->controller().isExporting(); }, 30));
    EXPECT_TRUE(sheet->close());
    QApplication::processEvents();
    EXPECT_FALSE(w.showExportSheet());
    EXPECT_EQ(h.view().exportSheet(), nullptr);
}

TEST(EditorContentView, RowsFollowTheWorkspaceState)
{
    WorkspaceHarness h({Views::workspace});
    EditorContentView& view = h.view();
    EXPECT_EQ(view.minimumSize(), QSize(1120, 520));
    // The pieces, stand-ins or the workspace's own views, carry their names.
    for (const char* name : {"GradedPreviewView", "TimelineStripView", "timelineHeader", "mediaPool"})
        EXPECT_NE(view.findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;

    // The lanes' height follows the lane count and height.
    EXPECT_EQ(view.timelineStripHost()->height(), 148);
    h.workspace().setLaneRowHeight(60);
    EXPECT_EQ(view.timelineStripHost()->height(), 60 * 3 + 4 + 12);

    // The pool column and the button that brings it back are never shown together.
    h.workspace().setShowMediaPool(false);
    EXPECT_TRUE(view.mediaPoolColumn()->isHidden());
    EXPECT_FALSE(view.showMediaPoolRow()->isHidden());
    QTest::mouseClick(view.findChild<QPushButton*>(QStringLiteral("showMediaPoolButton")), Qt::LeftButton);
    EXPECT_TRUE(h.workspace().showMediaPool());
    EXPECT_TRUE(view.showMediaPoolRow()->isHidden());

    // The import hint row shows for an open project without sources until dismissed.
    EXPECT_TRUE(view.importHintRow()->isHidden());
    h.workspace().startNewProject();
    EXPECT_FALSE(view.importHintRow()->isHidden());
    h.workspace().setImportHintDismissed(true);
    EXPECT_TRUE(view.importHintRow()->isHidden());

    EXPECT_EQ(view.bottomHint()->text(), "Grade OFF — ↑↓ cuts · ←→ scrub+audio · ⇧←→ fine · G close gap · Space play "
                                         "· F clean feed");
    h.engine().setGradePreviewEnabled(true);
    EXPECT_EQ(view.bottomHint()->text(), "Grade ON — Space play · F clean feed · Ctrl+Z undo · S split");
}

TEST(EditorContentView, SheetsAndToolWindowsFollowTheirFlags)
{
    WorkspaceHarness h({Views::workspace});
    EditorContentView& view = h.view();
    EditorWorkspaceController& w = h.workspace();
    h.open(test::writeProject(h.folders.scratch()));

    w.setShowExportSheet(true);
    ASSERT_NE(view.exportSheet(), nullptr);
    EXPECT_EQ(view.exportSheet()->objectName(), "EditorExportSheet");
    EXPECT_TRUE(view.exportSheet()->isVisible());
    // The user closing it lowers the flag.
    qobject_cast<QDialog*>(view.exportSheet())->reject();
    EXPECT_FALSE(w.showExportSheet());
    EXPECT_EQ(view.exportSheet(), nullptr);

    // Lowering the flag closes it.
    w.setShowProjectSettings(true);
    QPointer<QWidget> settings = view.projectSettingsSheet();
    ASSERT_FALSE(settings.isNull());
    w.setShowProjectSettings(false);
    EXPECT_EQ(view.projectSettingsSheet(), nullptr);
    EXPECT_FALSE(settings && settings->isVisible());

    // One grade inspector at a time, closed with the flag.
    w.openGradeInspector("v1");
    QPointer<QWidget> first = view.gradeInspectorWindow();
    ASSERT_FALSE(first.isNull());
    w.openGradeInspector("still");
    EXPECT_NE(view.gradeInspectorWindow(), first.data());
    EXPECT_FALSE(first && first->isVisible());
    w.closeGradeInspector();
    EXPECT_EQ(view.gradeInspectorWindow(), nullptr);

    // The source viewer opens on the selected clip's source.
    h.engine().selectClip("v1", false);
    w.openSourceViewerForTimelineClip("v1");
    ASSERT_NE(view.sourceViewerWindow(), nullptr);
    EXPECT_EQ(view.sourceViewerWindow()->windowTitle(), "Source Viewer — DJI_0001.MP4 (Timeline)");
    EXPECT_EQ(w.sourceViewerTimelineClipId(), "v1");
    w.closeSourceViewer();
    EXPECT_EQ(view.sourceViewerWindow(), nullptr);
    EXPECT_FALSE(w.sourceViewerTimelineClipId().has_value());
    // Another clip's viewer replaces the open one; an unknown clip changes nothing.
    w.openSourceViewerForTimelineClip("music");
    ASSERT_NE(view.sourceViewerWindow(), nullptr);
    w.openSourceViewerForTimelineClip("no-such-clip");
    EXPECT_EQ(view.sourceViewerWindow()->windowTitle(), "Source Viewer — Music.wav (Timeline)");
}

// However long a name the project holds (a media file's, a LUT's, a clip's, a timeline's, the
// project's own), every place that shows it shows it as a failure's words are shown: cut in the
// middle past shownTextBytes. Only the shown text is laid out; the project keeps the name whole.
TEST(EditorContentView, NamesTheProjectHoldsAreShownCutInTheMiddle)
{
    WorkspaceHarness::Options options;
    options.views = Views::workspace;
    options.fakePlayer = true;
    WorkspaceHarness h(options);
    EditorWorkspaceController& w = h.workspace();
    const auto huge = [](const std::string& stem, const std::string& extension) {
        return test::longName(stem, 100'000, extension);
    };
    const std::string music = huge("Music ", ".wav");
    const std::string look = huge("Look ", ".cube");
    const std::string clipName = huge("Take ", "");
    const std::string timelineName = huge("Cut ", "");
    const std::string projectName = huge("Trip ", "");
    const std::string video = huge("Video ", ".MP4");

    const test::GeneratedProject trip = test::writeProject(h.folders.scratch());
    EditSession saved = EditSession::load(trip.file);
    saved.project->name = projectName;
    saved.sources.at(2).fileName = music; // not in the media folder
    EditSession::Clip& first = saved.timelines.at(0).clips.at(0);
    first.name = clipName;
    first.grade = EditSession::clipGrade(look); // not there either
    saved.timelines.at(0).name = timelineName;
    EditSession::Timeline second = saved.timelines.at(0);
    second.id = "second";
    second.name = "Second";
    saved.timelines.push_back(second);
    saved.saveProject(trip.file, trip.media.string());
    h.open(trip);
    h.runBackgroundWork();
    ASSERT_TRUE(readsAs(h.session().sources.at(2).fileName, music));

    // The relink list, in the alert too.
    ASSERT_EQ(w.relinkMissingNames().size(), 1u);
    EXPECT_TRUE(readsAs(w.relinkMissingNames().front(), music));
    const std::string relink = w.relinkMessage();
    EXPECT_TRUE(relink.ends_with("\n\n" + shownText(music))) << relink.substr(0, 300);
    EXPECT_LT(relink.size(), 2 * shownTextBytes);
    ASSERT_NE(h.view().relinkAlert(), nullptr);
    EXPECT_TRUE(readsAs(h.view().relinkAlert()->informativeText().toStdString(), relink));

    // The status line's warnings: LUTs that grade nothing, files shown by another.
    EXPECT_TRUE(readsAs(shownText(look), look.substr(0, 499) + "\u2026" + look.substr(look.size() - 499)));
    const std::string status = h.engine().status();
    EXPECT_NE(status.find("LUT " + shownText(look) + " not found"), std::string::npos) << status.substr(0, 300);
    EXPECT_NE(status.find(shownText(music) + " not found \u2014 Music.wav shown in its place"), std::string::npos);
    EXPECT_LT(status.size(), 3 * shownTextBytes);

    // The title row, the pickers, the media pool and the timeline's blocks.
    EXPECT_TRUE(readsAs(h.view().topBar()->projectNameLabel()->text().toStdString(), shownText(projectName)));
    ASSERT_FALSE(w.pickerClips().empty());
    EXPECT_TRUE(readsAs(w.pickerClips().front().title, shownText(clipName)));
    ASSERT_EQ(w.timelinePickerEntries().size(), 2u);
    EXPECT_TRUE(readsAs(w.timelinePickerEntries().front().title, shownText(timelineName) + " (2 clips)"));
    h.engine().setSelectedClipId("v1");
    EXPECT_TRUE(readsAs(w.lutPickerTitle(look), shownText(look) + " (missing)"));
    bool lutListed = false;
    for (const VelmoraDarkPopUpPicker::PopUpItem& item : h.view().topBar()->clipLutPicker()->items()) {
        EXPECT_LT(item.title.size(), shownTextBytes + 20);
        lutListed |= item.id == look && item.title == shownText(look) + " (missing)";
    }
    EXPECT_TRUE(lutListed);
    const std::vector<EditorWorkspaceController::MediaPoolCard> cards = w.mediaPoolCards();
    ASSERT_EQ(cards.size(), 3u);
    EXPECT_TRUE(readsAs(cards[2].fileName, shownText(music)));
    EXPECT_TRUE(readsAs(TimelineStripModel::clipTitle(h.session().timelines.at(0).clips.at(0)), shownText(clipName)));

    // The source viewer's title, and the monitor's read-out of the file under the playhead.
    w.openSourceViewerForTimelineClip("music");
    ASSERT_NE(h.view().sourceViewerWindow(), nullptr);
    EXPECT_TRUE(readsAs(h.view().sourceViewerWindow()->windowTitle().toStdString(),
                        "Source Viewer — " + shownText(music) + " (Timeline)"));
    w.closeSourceViewer();
    h.session().sources.at(0).fileName = video;
    EXPECT_TRUE(readsAs(w.linkedSourceLabel(), "Source: " + shownText(video) + " · V1"));
}

TEST(EditorContentView, TheRelinkAlertLeadsToTheFolderPanel)
{
    WorkspaceHarness h({Views::workspace});
    EditorWorkspaceController& w = h.workspace();
    const test::GeneratedProject project = test::writeProject(h.folders.scratch());
    fs::remove(project.media / "Still.png");
    fs::remove(project.media / "Music.wav");
    h.open(project);
    ASSERT_TRUE(w.showRelinkMedia());
    QMessageBox* alert = h.view().relinkAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), "Relink media");
    EXPECT_EQ(alert->informativeText().toStdString(), w.relinkMessage());
    EXPECT_NE(w.relinkMessage().find("\n\nMusic.wav\nStill.png"), std::string::npos);

    QAbstractButton* choose = nullptr;
    for (QAbstractButton* button : alert->buttons())
        choose = button->text() == "Choose media folder…" ? button : choose;
    ASSERT_NE(choose, nullptr);
    QTest::mouseClick(choose, Qt::LeftButton);
    EXPECT_FALSE(w.showRelinkMedia());
    ASSERT_TRUE(h.panels->hasOpenPanel());
    EXPECT_EQ(h.panels->current().kind, FilePanelRequest::Kind::openFolder);
    EXPECT_EQ(h.panels->current().title, "Select the folder containing the missing clips listed in the relink dialog.");
    EXPECT_EQ(h.panels->current().acceptLabel, "Choose");

    // A folder that still misses one file brings the alert back with the one name.
    const fs::path other = h.folders.scratch() / "other";
    fs::create_directories(other);
    test::writeTextFile(other / "Still.png", "x");
    test::writeTextFile(other / "DJI_0001.MP4", "x");
    h.panels->choose(other / "");
    EXPECT_EQ(w.mediaFolderURL(), other);
    EXPECT_EQ(h.session().mediaFolder, other.string());
    EXPECT_TRUE(w.projectDirty());
    EXPECT_EQ(h.engine().status(), "1 clip(s) still missing — check Media Folder");
    EXPECT_TRUE(w.showRelinkMedia());
    EXPECT_EQ(w.relinkMissingNames(), std::vector<std::string>{"Music.wav"});

    test::writeTextFile(other / "Music.wav", "x");
    w.applyMediaFolder(other);
    EXPECT_FALSE(w.showRelinkMedia());
    EXPECT_EQ(h.view().relinkAlert(), nullptr);
    EXPECT_EQ(h.engine().status(), "Media linked — timeline ready");
}

TEST(EditorContentView, CtrlSSavesTheBoundProject)
{
    WorkspaceHarness h({Views::workspace});
    h.view().show();
    QApplication::setActiveWindow(&h.view());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&h.view()));
    // Without a project it does nothing.
    QTest::keyClick(&h.view(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(h.panels->requests.empty());

    const test::GeneratedProject project = test::writeProject(h.folders.scratch());
    h.open(project);
    h.engine().addMarkerAtPlayhead();
    ASSERT_TRUE(h.workspace().projectDirty());
    QTest::keyClick(&h.view(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_FALSE(h.workspace().projectDirty());
    EXPECT_EQ(h.engine().status(), "Saved Trip.tavlek");
    EXPECT_NE(test::readTextFile(project.file).find("\"markers\""), std::string::npos);
}

TEST(ApplicationWindow, FilesHandedToTheWindowOpenInTheEditWorkspace)
{
    test::UserFoldersScope folders;
    EditorWorkspaceController::Services services;
    services.engine.mainQueue = std::make_shared<ManualMainQueue>();
    services.engine.clock = std::make_shared<ManualClock>();
    services.filePanels = std::make_shared<test::FakeFilePanels>();
    services.fileRevealer = std::make_shared<test::FakeFileRevealer>();
    const auto window =
        VelmoraDesktopEditorApp::makeWindow(VelmoraDesktopEditorApp::applicationFactories(services));
    auto* edit = qobject_cast<EditorContentView*>(window->currentWorkspace());
    ASSERT_NE(edit, nullptr);

    const test::GeneratedProject project = test::writeProject(folders.scratch());
    window->openFiles({project.media / "DJI_0001.MP4", project.file});
    ASSERT_TRUE(edit->controller().hasProject());
    EXPECT_EQ(edit->controller().sessionURL(), project.file);
    // A file that is neither a project nor a job is named, with what opens this way.
    EXPECT_TRUE(edit->controller().showError());
    EXPECT_EQ(edit->controller().errorText(),
              "Could not open \u201CDJI_0001.MP4\u201D: only a project (.tavlek) or a job JSON file (.json) opens "
              "this way. Bring media files in with Import in the media pool.");

    // The hand-off replaces the workspace; files handed over meanwhile are not for the export.
    edit->controller().handoffToExportTab();
    EXPECT_EQ(window->currentWorkspace()->objectName(), "ContentView");
    window->openFiles({project.file});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // Back in Edit: a fresh workspace with a new engine and no project.
    window->workflow().setSelectedTab(VelmoraShellTab::editor);
    auto* fresh = qobject_cast<EditorContentView*>(window->currentWorkspace());
    ASSERT_NE(fresh, nullptr);
    EXPECT_FALSE(fresh->controller().hasProject());
}

} // namespace
} // namespace velmora
