#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "EditorWorkspaceTestSupport.h"
#include "controls/VelmoraDarkPopUpPicker.h"
#include "support/CubeTexts.h"
#include "workspace/bars/EditorTopBar.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::WorkspaceHarness;
using Views = WorkspaceHarness::Views;

nlohmann::json readJson(const fs::path& file)
{
    return nlohmann::json::parse(test::readTextFile(file));
}

TEST(NewProject, ReplacesACleanProjectAtOnceAndAsksBeforeDiscardingChanges)
{
    WorkspaceHarness h({Views::workspace});
    EditorWorkspaceController& w = h.workspace();
    h.open(test::writeProject(h.folders.scratch()));
    w.setLaneRowHeight(60);
    w.setLayoutVideoTracks(5);
    w.setProjectDirty(false);

    w.newProject();
    EXPECT_FALSE(w.confirmDiscardForNewProject());
    ASSERT_TRUE(w.hasProject());
    EXPECT_TRUE(h.session().activeTimeline()->clips.empty());
    EXPECT_EQ(h.session().project->name, "Untitled Project");
    EXPECT_EQ(h.engine().status(), "New project — use Import in Media Pool to add clips");
    EXPECT_FALSE(w.sessionURL().has_value());
    EXPECT_FALSE(w.projectDirty());
    EXPECT_EQ(w.layoutVideoTracks(), 2);
    EXPECT_EQ(w.layoutAudioTracks(), 1);
    EXPECT_EQ(w.laneRowHeight(), 60); // kept
    const fs::path folder = h.folders.videos() / "Velmora Desktop" / "Untitled Project_media";
    EXPECT_EQ(w.mediaFolderURL(), folder);
    EXPECT_TRUE(fs::is_directory(folder));

    // With unsaved changes it asks; Cancel keeps every clip.
    h.open(test::writeProject(h.folders.scratch()));
    h.engine().addMarkerAtPlayhead();
    ASSERT_TRUE(w.projectDirty());
    QTest::mouseClick(h.view().topBar()->commandButton("New"), Qt::LeftButton);
    ASSERT_TRUE(w.confirmDiscardForNewProject());
    QMessageBox* dialog = h.view().discardDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->text(), "Discard unsaved changes?");
    QTest::mouseClick(test::buttonTitled(*dialog, "Cancel"), Qt::LeftButton);
    EXPECT_FALSE(w.confirmDiscardForNewProject());
    EXPECT_EQ(h.session().activeTimeline()->clips.size(), 4u);
    EXPECT_EQ(h.engine().activeMarkers().size(), 1u);
    EXPECT_TRUE(w.projectDirty());

    w.newProject();
    dialog = h.view().discardDialog();
    ASSERT_NE(dialog, nullptr);
    QTest::mouseClick(test::buttonTitled(*dialog, "Discard & New Project"), Qt::LeftButton);
    EXPECT_FALSE(w.confirmDiscardForNewProject());
    EXPECT_TRUE(h.session().activeTimeline()->clips.empty());
    EXPECT_FALSE(w.projectDirty());
}

TEST(SaveProject, SaveAsWritesATavlekNamedAfterTheFileAndLaterSavesGoThere)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    w.saveProject(); // no project: nothing
    EXPECT_TRUE(h.panels->requests.empty());

    w.startNewProject();
    h.engine().addMarkerAtPlayhead();
    ASSERT_TRUE(w.projectDirty());
    w.saveProject(); // never saved: asks for a file
    ASSERT_TRUE(h.panels->hasOpenPanel());
    EXPECT_EQ(h.panels->current().kind, FilePanelRequest::Kind::saveFile);
    EXPECT_EQ(h.panels->current().suggestedName, "My_Movie.tavlek");
    EXPECT_EQ(h.panels->current().extensions, std::vector<std::string>{"tavlek"});

    const fs::path folder = h.folders.scratch() / "out";
    fs::create_directories(folder);
    h.panels->choose(folder / "Trip.json");
    const fs::path file = folder / "Trip.tavlek";
    ASSERT_TRUE(fs::exists(file));
    EXPECT_FALSE(fs::exists(folder / "Trip.json"));
    EXPECT_EQ(w.sessionURL(), file);
    EXPECT_EQ(h.session().project->name, "Trip");
    EXPECT_EQ(w.resolvedProjectDisplayName(), "Trip");
    // A project without media gets the empty folder beside the file.
    EXPECT_EQ(w.mediaFolderURL(), folder / "Trip_media");
    EXPECT_TRUE(fs::is_directory(folder / "Trip_media"));
    EXPECT_EQ(h.engine().status(), "Saved Trip.tavlek");
    EXPECT_FALSE(w.projectDirty());
    const nlohmann::json written = readJson(file);
    EXPECT_EQ(written["tool"], "velmora-editor-desktop-edit");
    EXPECT_EQ(written["project"]["name"], "Trip");
    EXPECT_EQ(written["mediaFolder"], (folder / "Trip_media").string());

    // Save writes to the bound file without asking, keeping a real name.
    h.engine().applyProjectSettings("Holiday", 1920, 1080, 25, "None");
    h.engine().addMarkerAtPlayhead();
    w.saveProject();
    EXPECT_FALSE(h.panels->hasOpenPanel());
    EXPECT_EQ(readJson(file)["project"]["name"], "Holiday");
    EXPECT_EQ(h.engine().status(), "Saved Trip.tavlek");
    EXPECT_FALSE(w.projectDirty());

    // A cancelled panel changes nothing.
    w.saveProjectAs();
    h.panels->cancel();
    EXPECT_EQ(w.sessionURL(), file);
}

// A failed save changes nothing but the alert: the title, the file the project is bound to and
// its media folder stay as they were.
TEST(SaveProject, AFailingSaveShowsTheErrorAndKeepsTheUnsavedMark)
{
    WorkspaceHarness h({Views::workspace});
    EditorWorkspaceController& w = h.workspace();
    w.startNewProject();
    h.engine().addMarkerAtPlayhead();
    const std::string statusBefore = h.engine().status();
    const std::optional<fs::path> folderBefore = w.mediaFolderURL();
    // A folder that cannot exist: its parent is a file.
    const fs::path blocker = h.folders.scratch() / "file";
    test::writeTextFile(blocker, "x");
    w.saveProjectAs();
    h.panels->choose(blocker / "Trip.tavlek");
    EXPECT_TRUE(w.showError());
    EXPECT_FALSE(w.errorText().empty());
    EXPECT_TRUE(w.projectDirty());
    EXPECT_EQ(h.engine().status(), statusBefore);
    EXPECT_EQ(w.sessionURL(), std::nullopt);
    EXPECT_EQ(h.session().project->name, "Untitled Project");
    EXPECT_EQ(h.view().topBar()->projectNameLabel()->text().toStdString(), "Untitled Project \u2022");
    EXPECT_EQ(w.mediaFolderURL(), folderBefore);

    // The alert shows the message and lowers the flag when dismissed.
    QMessageBox* alert = h.view().errorAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), "Error");
    EXPECT_EQ(alert->informativeText().toStdString(), w.errorText());
    QTest::mouseClick(test::buttonTitled(*alert, "OK"), Qt::LeftButton);
    EXPECT_FALSE(w.showError());
}

// The panel confirms replacing the name it was given; the extension the save adds must not
// replace another project unasked.
TEST(SaveProject, SaveAsNeverReplacesAnotherDocumentThePanelDidNotName)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    const fs::path folder = h.folders.scratch();
    const fs::path other = folder / "Holiday.tavlek";
    test::writeTextFile(other, "another project");
    w.startNewProject();
    h.engine().addMarkerAtPlayhead();

    // "Holiday" typed without its extension would become the other project's file.
    w.saveProjectAs();
    h.panels->choose(folder / "Holiday");
    EXPECT_EQ(test::readTextFile(other), "another project");
    EXPECT_TRUE(w.showError());
    EXPECT_EQ(w.errorText(), "A file named “Holiday.tavlek” already exists in this folder. To replace it, "
                             "choose that file; otherwise enter another name.");
    EXPECT_EQ(w.sessionURL(), std::nullopt);
    EXPECT_TRUE(w.projectDirty());
    w.setShowError(false);

    // Chosen by its own name, the panel has asked: it is replaced.
    w.saveProjectAs();
    h.panels->choose(other);
    EXPECT_FALSE(w.showError());
    EXPECT_EQ(readJson(other)["project"]["name"], "Holiday");
    EXPECT_EQ(w.sessionURL(), other);

    // The project's own document is no other project's.
    w.saveProjectAs();
    h.panels->choose(folder / "Holiday.json");
    EXPECT_FALSE(w.showError());
    EXPECT_EQ(h.engine().status(), "Saved Holiday.tavlek");
}

// Save writes over this editor's own project document only. Another program's file (a browser
// editor's export with its text and image clips and its output, a browser project with its
// markers and lane locks, an edit-return file) holds what the editor leaves out: opened, it is
// not saved yet, Save asks for a place beside it under the project's name, and the file stays
// byte for byte; once saved, Save writes there without asking.
TEST(SaveProject, SaveWritesOverThisEditorsOwnProjectDocumentsOnly)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    const fs::path folder = h.folders.scratch();
    const fs::path job = folder / "x.json";
    test::writeTextFile(job, R"({"tool": "velmora-editor-desktop-export", "version": 2, "grade": {"lutCube": ""},
        "project": {"name": "Coast", "width": 320, "height": 180, "fps": 30},
        "output": {"width": 320, "height": 180, "fps": 30, "container": "mp4"},
        "sources": [{"id": "s1", "fileName": "DJI_0042.MP4", "type": "video"}],
        "timelines": [{"id": "t", "clips": [
            {"id": "c1", "type": "video", "sourceId": "s1", "name": "DJI_0042.MP4", "track": 1, "startTime": 0, "duration": 2},
            {"id": "c2", "type": "text", "name": "Title", "text": "Hello", "track": 2, "startTime": 0, "duration": 1},
            {"id": "c3", "type": "image", "name": "Card.png", "track": 2, "startTime": 1, "duration": 1}]}]})");
    const fs::path web = folder / "p1.tavlek";
    test::writeTextFile(web, R"({"state": {"projectSettings": {"name": "Shore"}},
        "library": [{"id": "m1", "name": "DJI_0042.MP4", "type": "video"}],
        "timelines": [{"id": "tl", "name": "Main", "markers": [{"id": "k", "time": 1}], "lockedTracks": ["V1"],
                       "clips": [{"id": "c1", "type": "video", "name": "DJI_0042.MP4", "track": 1, "startTime": 0,
                                  "duration": 2}]}]})");
    const fs::path returned = folder / "back_edit_return.json";
    EditSession::blankProject("Back").saveReturnCopy(returned, std::nullopt);

    struct Case {
        fs::path file;
        std::string suggested;
    };
    for (const Case& opened : {Case{job, "Coast.tavlek"}, Case{web, "Shore.tavlek"}, Case{returned, "Back.tavlek"}}) {
        SCOPED_TRACE(opened.file.filename().string());
        const std::string bytes = test::readTextFile(opened.file);
        w.startNewProject();
        w.handleOpenURL(opened.file);
        h.settle();
        ASSERT_EQ(w.sessionURL(), opened.file);
        EXPECT_FALSE(w.showError()) << w.errorText();
        EXPECT_EQ(w.boundProjectFile(), std::nullopt);
        EXPECT_TRUE(w.projectDirty());

        // Asked where, nothing written; cancelled, nothing changes.
        w.saveProject();
        ASSERT_TRUE(h.panels->hasOpenPanel());
        EXPECT_EQ(h.panels->current().kind, FilePanelRequest::Kind::saveFile);
        EXPECT_EQ(h.panels->current().suggestedName, opened.suggested);
        EXPECT_EQ(h.panels->current().directory, folder);
        h.panels->cancel();
        EXPECT_EQ(test::readTextFile(opened.file), bytes);
        EXPECT_TRUE(w.projectDirty());

        // Saved as a project of its own, which later saves write.
        const fs::path saved = folder / ("saved_" + opened.suggested);
        w.saveProject();
        h.panels->choose(saved);
        EXPECT_EQ(test::readTextFile(opened.file), bytes);
        EXPECT_EQ(readJson(saved)["tool"], "velmora-editor-desktop-edit");
        EXPECT_EQ(w.boundProjectFile(), saved);
        EXPECT_FALSE(w.projectDirty());
        h.engine().addMarkerAtPlayhead();
        w.saveProject();
        EXPECT_FALSE(h.panels->hasOpenPanel());
        EXPECT_EQ(readJson(saved)["timelines"][0]["markers"].size(), 1u);
    }

    // This editor's own project document opens bound and saves in place.
    const test::GeneratedProject trip = test::writeProject(folder / "trip");
    h.open(trip);
    EXPECT_EQ(w.boundProjectFile(), trip.file);
    EXPECT_FALSE(w.projectDirty());
    h.engine().addMarkerAtPlayhead();
    w.saveProject();
    EXPECT_FALSE(h.panels->hasOpenPanel());
    EXPECT_EQ(readJson(trip.file)["timelines"][0]["markers"].size(), 1u);
}

TEST(SaveProject, SaveAsKeepsAMediaFolderThatHoldsTheProjectsFiles)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    const test::GeneratedProject project = test::writeProject(h.folders.scratch());
    h.open(project);
    const fs::path folder = h.folders.scratch() / "elsewhere";
    fs::create_directories(folder);
    w.saveProjectAs();
    EXPECT_EQ(h.panels->current().suggestedName, "Trip.tavlek");
    h.panels->choose(folder / "Copy.tavlek");

    // The project still finds its media: the folder is the one that holds it, not an empty
    // "Copy_media" beside the new file.
    EXPECT_EQ(w.mediaFolderURL(), project.media);
    EXPECT_FALSE(fs::exists(folder / "Copy_media"));
    EXPECT_EQ(readJson(folder / "Copy.tavlek")["mediaFolder"], project.media.string());
    EXPECT_TRUE(w.canExport());

    // Reopened, nothing needs relinking.
    WorkspaceHarness reopened;
    reopened.workspace().handleOpenURL(folder / "Copy.tavlek");
    reopened.queue->runUntilIdle();
    EXPECT_EQ(reopened.workspace().mediaFolderURL(), project.media);
    EXPECT_TRUE(reopened.workspace().relinkMissingNames().empty());
    EXPECT_FALSE(reopened.workspace().showRelinkMedia());

    // A folder that holds none of the project's files is not kept.
    const fs::path empty = h.folders.scratch() / "empty";
    fs::create_directories(empty);
    w.setMediaFolderURL(empty);
    w.saveProjectAs();
    h.panels->choose(folder / "Third.tavlek");
    EXPECT_EQ(w.mediaFolderURL(), folder / "Third_media");
}

// "Trip.tavlek" and its media in a folder whose name is not UTF-8, moved there as a folder is
// renamed: the absolute media path the document stores names nothing now.
test::GeneratedProject writeProjectInFolderNotUtf8(const fs::path& scratch)
{
    test::writeProject(scratch / "cafe");
    const fs::path folder = scratch / "caf\xe9";
    fs::rename(scratch / "cafe", folder);
    return {folder / "Trip.tavlek", folder / "Trip_media"};
}

// A project opened from a folder whose name is not UTF-8 saves: its media folder is stored
// relative to the document and found again; a LUT file whose name no project can store is not
// offered; Save As to another place writes, leaving out (and saying so) the folder it cannot
// store there.
TEST(SaveProject, AProjectInAFolderWhoseNameIsNotUtf8SavesAndReopensWithItsMedia)
{
    WorkspaceHarness h({Views::workspace});
    EditorWorkspaceController& w = h.workspace();
    const test::GeneratedProject trip = writeProjectInFolderNotUtf8(h.folders.scratch());
    const fs::path folder = trip.file.parent_path();
    fs::create_directories(trip.media / "luts");
    test::writeTextFile(trip.media / "luts" / "look\xe9.cube", test::identityCubeText());
    test::writeTextFile(trip.media / "luts" / "Warm.cube", test::identityCubeText());
    h.open(trip);
    ASSERT_EQ(w.mediaFolderURL(), trip.media);

    h.engine().setSelectedClipId("v1");
    std::vector<std::string> offered;
    for (const VelmoraDarkPopUpPicker::PopUpItem& item : h.view().topBar()->clipLutPicker()->items())
        offered.push_back(item.id);
    EXPECT_EQ(offered, (std::vector<std::string>{"None", "Warm.cube"}));
    for (const std::string& name : offered)
        w.chooseClipLut(name);

    w.saveProject();
    ASSERT_FALSE(w.showError()) << w.errorText();
    EXPECT_EQ(h.engine().status(), "Saved Trip.tavlek");
    EXPECT_EQ(readJson(trip.file)["mediaFolder"], "Trip_media");
    WorkspaceHarness reopened;
    reopened.open(trip);
    EXPECT_EQ(reopened.workspace().mediaFolderURL(), trip.media);
    EXPECT_TRUE(reopened.workspace().relinkMissingNames().empty());
    EXPECT_EQ(reopened.session().clip("v1")->grade->lutFile, "Warm.cube");

    w.exportReturn();
    h.panels->choose(folder / "back.json");
    ASSERT_FALSE(w.showError()) << w.errorText();
    EXPECT_EQ(readJson(folder / "back.json")["mediaFolder"], "Trip_media");

    const fs::path out = h.folders.scratch() / "out";
    fs::create_directories(out);
    w.saveProjectAs();
    h.panels->choose(out / "Copy.tavlek");
    ASSERT_FALSE(w.showError()) << w.errorText();
    EXPECT_FALSE(readJson(out / "Copy.tavlek").contains("mediaFolder"));
    EXPECT_EQ(w.sessionURL(), out / "Copy.tavlek");
    EXPECT_EQ(w.mediaFolderURL(), trip.media);
    EXPECT_EQ(h.engine().status(),
              "Saved Copy.tavlek \u2014 media folder \u201CTrip_media\u201D not stored: the name \u201Ccaf\\xE9\u201D "
              "in its path is not UTF-8 text, which a project cannot store (rename that folder, or save the project "
              "inside \u201CTrip_media\u201D, then choose it with Media Folder\u2026)");
}

// A media folder is taken only where the project's document can store it (below the project's
// own folder, when its path is not UTF-8); any other is refused by name with what to do, and
// nothing changes.
TEST(MediaFolder, AFolderTheProjectCannotStoreIsRefusedWhenChosen)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    const test::GeneratedProject trip = writeProjectInFolderNotUtf8(h.folders.scratch());
    const fs::path folder = trip.file.parent_path();
    h.open(trip);
    fs::rename(trip.media, folder / "shoot");
    w.pickMediaFolderForRelink();
    h.panels->choose(folder / "shoot");
    ASSERT_FALSE(w.showError()) << w.errorText();
    EXPECT_EQ(w.mediaFolderURL(), folder / "shoot");
    EXPECT_TRUE(w.relinkMissingNames().empty());
    w.saveProject();
    ASSERT_FALSE(w.showError()) << w.errorText();
    EXPECT_EQ(readJson(trip.file)["mediaFolder"], "shoot");

    const fs::path card = h.folders.scratch() / "card\xe9";
    fs::create_directories(card);
    w.pickMediaFolderForRelink();
    h.panels->choose(card);
    ASSERT_TRUE(w.showError());
    EXPECT_EQ(w.errorText(), "Could not use \u201Ccard\\xE9\u201D as the media folder: the name \u201Ccard\\xE9\u201D in "
                             "its path is not UTF-8 text, which a project cannot store (rename that folder, or save "
                             "the project inside \u201Ccard\\xE9\u201D, then choose it again).");
    EXPECT_EQ(w.mediaFolderURL(), folder / "shoot");
    EXPECT_EQ(h.session().mediaFolder, "shoot");
    EXPECT_FALSE(w.projectDirty());

    // An import into it is handed to the export with the folder as the project stores it.
    w.setShowError(false);
    test::writeTextFile(h.folders.scratch() / "New.mp4", "x");
    w.processImportedFiles({h.folders.scratch() / "New.mp4"});
    w.handoffToExportTab();
    w.answerDiscardQuestion(true);
    ASSERT_FALSE(w.showError()) << w.errorText();
    EXPECT_EQ(readJson(h.workflow.exportJobURL().value())["mediaFolder"], "shoot");
}

TEST(ExportReturn, WritesTheEditReturnFileAndRevealsIt)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    w.exportReturn(); // no project: nothing
    EXPECT_TRUE(h.panels->requests.empty());

    const test::GeneratedProject project = test::writeProject(h.folders.scratch());
    h.open(project);
    h.engine().addMarkerAtPlayhead();
    w.setProjectDirty(false);
    w.exportReturn();
    ASSERT_TRUE(h.panels->hasOpenPanel());
    EXPECT_EQ(h.panels->current().suggestedName, "Trip_edit_return.json");
    EXPECT_EQ(h.panels->current().extensions, std::vector<std::string>{"json"});
    EXPECT_TRUE(h.engine().canUndo()); // the history survives the re-adoption

    const fs::path file = h.folders.scratch() / "back.json";
    h.panels->choose(file);
    const nlohmann::json written = readJson(file);
    EXPECT_EQ(written["tool"], "velmora-editor-desktop-edit-return");
    EXPECT_EQ(written["mediaFolder"], project.media.string());
    EXPECT_EQ(h.revealer->revealed, std::vector<fs::path>{file});
    // The return file does not bind the workspace nor count as a save.
    EXPECT_EQ(w.sessionURL(), project.file);
    EXPECT_FALSE(w.projectDirty());
    EXPECT_TRUE(h.engine().canUndo());

    // A desktop where nothing can show the file: the status line says the file is written.
    h.revealer->fileManager = false;
    w.exportReturn();
    h.panels->choose(h.folders.scratch() / "again.json");
    EXPECT_EQ(h.engine().status(), "Saved again.json — no file manager is available to show it");
    EXPECT_TRUE(fs::exists(h.folders.scratch() / "again.json"));

    // An unsaved project proposes its name; a failing write reveals nothing.
    w.startNewProject();
    h.engine().applyProjectSettings("Holiday", 1920, 1080, 25, "None");
    w.exportReturn();
    EXPECT_EQ(h.panels->current().suggestedName, "Holiday_edit_return.json");
    h.panels->choose(h.folders.scratch() / "missing" / "x" / "y.json");
    EXPECT_TRUE(w.showError());
    EXPECT_EQ(h.revealer->revealed.size(), 2u);
}

// The markers a project's edit-return file holds come back with it: opened for editing and saved
// as a project, it keeps them.
TEST(ExportReturn, TheMarkersOfAnEditReturnFileSurviveItsReturn)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    const test::GeneratedProject project = test::writeProject(h.folders.scratch());
    h.open(project);
    h.engine().addMarkerAtPlayhead();
    // Each marker by its id and time (a marker without a label is written with an empty one).
    const auto described = [](const std::vector<EditSession::Marker>& markers) {
        std::vector<std::pair<std::string, double>> shown;
        for (const EditSession::Marker& marker : markers)
            shown.emplace_back(marker.id, marker.time);
        return shown;
    };
    const auto markers = described(h.engine().activeMarkers());
    ASSERT_EQ(markers.size(), 1u);
    const fs::path file = h.folders.scratch() / "back.json";
    w.exportReturn();
    h.panels->choose(file);

    w.handleOpenURL(file);
    w.answerDiscardQuestion(true);
    h.settle();
    ASSERT_EQ(w.sessionURL(), file);
    EXPECT_EQ(described(h.engine().activeMarkers()), markers);
    const fs::path saved = h.folders.scratch() / "Back.tavlek";
    w.saveProjectAs();
    h.panels->choose(saved);
    EXPECT_EQ(described(EditSession::load(saved).timelines.at(0).markers), markers);
}

TEST(HandOff, WritesARenderJobAndSwitchesToTheExportWorkspace)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    const test::GeneratedProject project = test::writeProject(h.folders.scratch());
    h.open(project);
    h.engine().addMarkerAtPlayhead();

    w.handoffToExportTab();
    w.answerDiscardQuestion(true); // the unsaved marker may go
    EXPECT_EQ(h.workflow.selectedTab(), VelmoraShellTab::exportTab);
    EXPECT_EQ(h.workflow.exportMediaFolderURL(), project.media);
    const fs::path job = h.workflow.exportJobURL().value();
    EXPECT_EQ(job.parent_path(), h.folders.temporary());
    EXPECT_TRUE(job.filename().string().starts_with("velmora_render_"));
    EXPECT_EQ(job.filename().string().size(), std::string("velmora_render_12345678.json").size());
    EXPECT_EQ(readJson(job)["tool"], "velmora-editor-desktop-export");
    // The job names files by name; the workspace is handed the files the monitor showed.
    ASSERT_TRUE(h.engine().sourceFilesShown());
    EXPECT_EQ(h.workflow.exportResolvedMedia(),
              (ResolvedMedia{project.media, *h.engine().sourceFilesShown(),
                             h.engine().resolvedLuts(project.media, h.engine().lutSessionFileURL())}));
    EXPECT_EQ(h.engine().status(), "Sent timeline to 10-bit Export tab");
    EXPECT_TRUE(w.projectDirty()); // handing off is not saving

    // A second hand-off writes another file; the first, which no workspace can use any more, goes.
    w.handoffToExportTab();
    w.answerDiscardQuestion(true);
    EXPECT_NE(h.workflow.exportJobURL(), job);
    EXPECT_TRUE(fs::exists(h.workflow.exportJobURL().value()));
    EXPECT_FALSE(fs::exists(job));
}

// Open a generated project, split with S, set a clip fade, choose a clip LUT, save it under a
// new name and open that again: the timeline and the grade are as saved.
TEST(EditWorkspaceDrive, EditSaveAsAndReopen)
{
    // Outlives both workspaces and their user folders.
    const test::TempDir files;
    std::vector<std::string> saved;
    fs::path savedFile;
    fs::path media;
    {
        WorkspaceHarness h({Views::workspace});
        h.view().show();
        EditorWorkspaceController& w = h.workspace();
        w.newProject();
        const test::GeneratedProject project = test::writeProject(files.path() / "source", true);
        test::writeTextFile(project.media / "Warm.cube", "LUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n"
                                                         "0 1 1\n1 1 1\n");
        media = project.media;
        h.open(project);

        h.engine().scrub(1.0);
        h.engine().selectClip("v1", false);
        std::vector<std::string> statuses;
        QObject::connect(&h.engine(), &TimelinePreviewEngine::statusChanged,
                         [&] { statuses.push_back(h.engine().status()); });
        QTest::keyClick(&h.view(), Qt::Key_S);
        ASSERT_FALSE(statuses.empty());
        EXPECT_NE(statuses.front().find("Split OK — "), std::string::npos) << statuses.front();
        h.settle();
        ASSERT_EQ(h.session().activeTimeline()->clips.size(), 6u) << h.engine().status();

        h.engine().selectClip("v1", false);
        w.setClipFadeInUI(0.5);
        w.applyClipFadesFromUI("v1");
        w.chooseClipLut("Warm.cube");
        EXPECT_TRUE(w.projectDirty());

        QTest::mouseClick(h.view().topBar()->commandButton("Save As…"), Qt::LeftButton);
        const fs::path target = files.path() / "saved";
        fs::create_directories(target);
        h.panels->choose(target / "Edited.tavlek");
        ASSERT_FALSE(w.showError()) << w.errorText();
        EXPECT_FALSE(w.projectDirty());
        savedFile = target / "Edited.tavlek";
        saved = test::describeTimeline(h.session());
        EXPECT_EQ(w.mediaFolderURL(), media);
    }
    ASSERT_EQ(saved.size(), 6u);
    EXPECT_EQ(saved[0], "v1 0+1@1 fade 0.5/0 lut Warm.cube");

    WorkspaceHarness reopened;
    reopened.workspace().handleOpenURL(savedFile);
    reopened.settle();
    ASSERT_TRUE(reopened.workspace().hasProject()) << reopened.workspace().errorText();
    EXPECT_EQ(test::describeTimeline(reopened.session()), saved);
    EXPECT_EQ(reopened.session().project->name, "Edited");
    EXPECT_EQ(reopened.workspace().mediaFolderURL(), media);
    EXPECT_FALSE(reopened.workspace().projectDirty());
    reopened.engine().selectClip("v1", false);
    EXPECT_EQ(reopened.workspace().lutPickerShownValue(), "Warm.cube");
    EXPECT_EQ(reopened.workspace().clipFadeInUI(), 0.5);
}

} // namespace
} // namespace velmora
