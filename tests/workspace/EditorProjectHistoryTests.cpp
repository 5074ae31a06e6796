// What belongs to one project and nothing else: its undo history, its pictures and grade state,
// and its unsaved-changes mark.

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "EditorWorkspaceTestSupport.h"
#include "export_workspaces/EditorExportRunner.h"
#include "export_workspaces/ExportSheetController.h"
#include "support/CubeTexts.h"
#include "support/MediaFixtures.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::WorkspaceHarness;

EditSession::Source sourceNamed(const EditSession& session, const std::string& fileName)
{
    for (const EditSession::Source& source : session.sources) {
        if (source.fileName == fileName)
            return source;
    }
    throw std::runtime_error("no source " + fileName);
}

void emptyFolder(const fs::path& folder)
{
    fs::remove_all(folder);
    fs::create_directories(folder);
}

TEST(UndoHistory, PosterFramesTheRateAnswerAndPreviewReloadsKeepIt)
{
    WorkspaceHarness h({WorkspaceHarness::Views::none, true});
    EditorWorkspaceController& w = h.workspace();
    const test::GeneratedProject trip = test::writeProject(h.folders.scratch() / "trip", true);
    h.open(trip);
    h.runBackgroundWork();
    h.engine().addMarkerAtPlayhead();
    ASSERT_TRUE(h.engine().canUndo());

    // An imported 50 fps clip: its poster frame is stored, then the project takes its rate.
    test::ClipSettings fast;
    fast.fpsNum = 50;
    fs::create_directories(h.folders.scratch() / "card");
    test::makeClip(h.folders.scratch() / "card" / "Fast.mp4", fast);
    w.processImportedFiles({h.folders.scratch() / "card" / "Fast.mp4"});
    h.settle();
    h.runBackgroundWork();
    ASSERT_TRUE(sourceNamed(h.session(), "Fast.mp4").thumbnailData);
    EXPECT_TRUE(h.engine().canUndo());
    ASSERT_TRUE(w.frameRateQuestion());
    w.answerFrameRateQuestion(true);
    h.settle();
    EXPECT_EQ(h.session().project->fps, 50.0);
    EXPECT_TRUE(h.engine().canUndo());

    // A preview retried while every file is missing.
    emptyFolder(trip.media);
    w.reloadPreview();
    EXPECT_TRUE(h.engine().canUndo());

    h.engine().undo();
    EXPECT_TRUE(h.engine().activeMarkers().empty());
    EXPECT_FALSE(h.engine().canUndo());
    EXPECT_TRUE(h.engine().canRedo());
}

TEST(UndoHistory, OnlyAnotherTimelineOrProjectEmptiesIt)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    const test::GeneratedProject trip = test::writeProject(h.folders.scratch() / "trip");
    h.open(trip);
    EditSession::Timeline broll;
    broll.id = "broll";
    broll.name = "B-roll";
    h.session().timelines.push_back(broll);
    const std::string main = w.timelinePickerSelection();

    // With a media folder.
    h.engine().addMarkerAtPlayhead();
    w.chooseTimeline(main);
    EXPECT_TRUE(h.engine().canUndo());
    w.chooseTimeline("broll");
    EXPECT_FALSE(h.engine().canUndo());

    // Without one.
    w.setMediaFolderURL(std::nullopt);
    h.engine().addMarkerAtPlayhead();
    w.chooseTimeline("broll");
    EXPECT_TRUE(h.engine().canUndo());
    w.chooseTimeline(main);
    EXPECT_FALSE(h.engine().canUndo());

    h.engine().addMarkerAtPlayhead();
    w.setProjectDirty(false);
    w.newProject();
    EXPECT_FALSE(h.engine().canUndo());
    h.engine().addMarkerAtPlayhead();
    ASSERT_TRUE(h.engine().canUndo());
    w.setProjectDirty(false);
    h.open(trip);
    EXPECT_FALSE(h.engine().canUndo());
}

TEST(UndoHistory, APlacedSourceRangeIsOneStepAfterTheEditsBeforeIt)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    h.open(test::writeProject(h.folders.scratch() / "trip"));
    h.engine().addMarkerAtPlayhead();
    const std::vector<std::string> before = test::describeTimeline(h.session());

    w.addSourceToTimeline(sourceNamed(h.session(), "DJI_0001.MP4"), 1, 2, "", 9, std::nullopt);
    const std::vector<std::string> placed = test::describeTimeline(h.session());
    ASSERT_EQ(placed.size(), before.size() + 2); // the picture and its sound
    ASSERT_TRUE(h.engine().canUndo());

    h.engine().undo();
    EXPECT_EQ(test::describeTimeline(h.session()), before);
    EXPECT_EQ(h.engine().activeMarkers().size(), 1u);
    h.engine().redo();
    EXPECT_EQ(test::describeTimeline(h.session()), placed);
    h.engine().undo();
    h.engine().undo();
    EXPECT_TRUE(h.engine().activeMarkers().empty());
    EXPECT_FALSE(h.engine().canUndo());
}

TEST(AnotherProject, ShowsNothingOfTheOneBefore)
{
    WorkspaceHarness h({WorkspaceHarness::Views::none, true});
    EditorWorkspaceController& w = h.workspace();
    const test::GeneratedProject trip = test::writeProject(h.folders.scratch() / "trip", true);
    const test::GeneratedProject lost = test::writeProject(h.folders.scratch() / "lost");
    emptyFolder(lost.media);
    const auto gradeTheFirstClip = [&] {
        h.open(trip);
        ASSERT_NE(h.engine().avPlayer(), nullptr);
        h.engine().selectClip("v1", false);
        w.chooseClipLut("swap_rb.cube");
        h.engine().setGradePreviewEnabled(true);
        h.engine().scrub(1);
        w.setProjectDirty(false);
    };
    const auto expectNothingOfIt = [&] {
        EXPECT_EQ(h.engine().selectedClipId(), std::nullopt);
        EXPECT_EQ(w.lutPickerSelection(), "None");
        EXPECT_FALSE(h.engine().gradePreviewEnabled());
        EXPECT_EQ(h.engine().status().find("LUT file missing"), std::string::npos) << h.engine().status();
    };

    gradeTheFirstClip();
    w.newProject();
    h.settle();
    expectNothingOfIt();
    // Nothing in it to preview: no player, and the new project's own words stay.
    EXPECT_EQ(h.engine().avPlayer(), nullptr);
    EXPECT_EQ(h.engine().status(), "New project — use Import in Media Pool to add clips");

    // A project whose media are all missing has no picture at all, stepping included.
    gradeTheFirstClip();
    h.open(lost);
    ASSERT_TRUE(w.showRelinkMedia());
    expectNothingOfIt();
    EXPECT_EQ(h.engine().avPlayer(), nullptr);
    EXPECT_EQ(h.engine().playheadSeconds(), 0);
    h.engine().stepPlayheadFrame(1, false);
    h.settle();
    EXPECT_EQ(h.engine().avPlayer(), nullptr);
    EXPECT_EQ(h.engine().status(), "Project loaded — relink media folder with your clip files");
}

// A selection belongs to the timeline on screen: once another is chosen, the Clip LUT picker,
// the grade inspector and the source viewer of the clip left behind go with it, a LUT chosen
// then changes no clip out of sight, and the old timeline's news goes with its undo history.
TEST(AnotherTimeline, ShowsAndChangesNothingOfTheOneLeftBehind)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    const test::GeneratedProject trip = test::writeProject(h.folders.scratch() / "trip");
    test::writeTextFile(trip.media / "invert.cube", test::invertingCubeText());
    EditSession saved = EditSession::load(trip.file);
    saved.timelines[0].clips.at(0).grade = EditSession::clipGrade("gone.cube");
    EditSession::Timeline broll;
    broll.id = "broll";
    broll.name = "B-roll";
    EditSession::Clip b1("b1");
    b1.type = "video";
    b1.name = "DJI_0001.MP4";
    b1.sourceId = saved.timelines[0].clips.at(0).sourceId;
    b1.track = 1;
    b1.startTime = 0.0;
    b1.duration = 2.0;
    broll.clips = {b1};
    saved.timelines.push_back(broll);
    saved.saveProject(trip.file, trip.media.string());
    h.open(trip);
    h.runBackgroundWork();
    const std::string main = w.timelinePickerSelection();
    int inspectorClosings = 0;
    int viewerClosings = 0;
    QObject::connect(&w, &EditorWorkspaceController::gradeInspectorCloseRequested, [&] { ++inspectorClosings; });
    QObject::connect(&w, &EditorWorkspaceController::sourceViewerCloseRequested, [&] { ++viewerClosings; });

    w.openSourceViewerForTimelineClip("v1");
    ASSERT_EQ(w.sourceViewerTimelineClipId(), "v1");
    w.openGradeInspector("v1");
    ASSERT_TRUE(w.showGradeInspector());
    h.engine().addMarkerAtPlayhead();
    h.engine().undo();
    h.engine().redo();
    ASSERT_NE(h.engine().status().find("Redo"), std::string::npos) << h.engine().status();
    ASSERT_EQ(w.lutPickerShownValue(), "gone.cube");
    ASSERT_EQ(w.lutPickerTitle("gone.cube"), "gone.cube (missing)");

    w.chooseTimeline("broll");
    EXPECT_EQ(h.engine().selectedClipId(), std::nullopt);
    EXPECT_FALSE(w.lutPickerEnabled());
    EXPECT_EQ(w.lutPickerShownValue(), "None");
    EXPECT_FALSE(w.showGradeInspector());
    EXPECT_EQ(w.gradeInspectorClipId(), std::nullopt);
    EXPECT_GE(inspectorClosings, 1);
    EXPECT_EQ(w.sourceViewerTimelineClipId(), std::nullopt);
    EXPECT_GE(viewerClosings, 1);
    EXPECT_FALSE(h.engine().canRedo());
    EXPECT_EQ(h.engine().status().find("Redo"), std::string::npos) << h.engine().status();
    h.runBackgroundWork();
    EXPECT_EQ(h.engine().status().find("gone.cube"), std::string::npos) << h.engine().status();

    w.chooseClipLut("invert.cube");
    EXPECT_EQ(w.lutPickerShownValue(), "None");
    w.saveProject();
    const EditSession written = EditSession::load(trip.file);
    EXPECT_EQ(written.clipLutReference("v1"), "gone.cube");
    EXPECT_EQ(written.clipLutReference("b1"), "None");

    // A clip taken off the timeline on screen takes its selection with it too.
    w.chooseTimeline(main);
    w.addSourceToTimeline(sourceNamed(h.session(), "DJI_0001.MP4"), 1, 2, "", 9, std::nullopt);
    const std::optional<std::string> placed = h.engine().selectedClipId();
    ASSERT_TRUE(placed);
    h.engine().undo();
    ASSERT_FALSE(h.session().clip(*placed));
    EXPECT_EQ(h.engine().selectedClipId(), std::nullopt);
    EXPECT_FALSE(w.lutPickerEnabled());
}

// Finishes every run at once, as if the movie were written.
class FinishedExport final : public EditorExportRunner {
public:
    ExportResult run(const EditSession&, const EditorExportRequest& request, const Exporter::TimelineProgressCallback&,
                     const Exporter::CancellationCallback&) override
    {
        return {request.outputURL, 25, 160, 96};
    }
};

TEST(UnsavedMark, ExportAndExportReturnLeaveASavedProjectSaved)
{
    WorkspaceHarness h({WorkspaceHarness::Views::none, true});
    EditorWorkspaceController& w = h.workspace();
    h.open(test::writeProject(h.folders.scratch() / "trip"));
    h.engine().addMarkerAtPlayhead();
    ASSERT_TRUE(w.projectDirty());
    w.saveProject();
    ASSERT_FALSE(w.projectDirty());

    {
        ExportSheetServices services{h.panels, h.revealer, std::make_shared<FinishedExport>(), h.queue, h.clock};
        ExportSheetController sheet(h.engine(), w.mediaFolderURL(), w.sessionURL(), [] {}, services);
        sheet.pickOutputAndExport();
        h.panels->choose(h.folders.scratch() / "Trip.mp4");
        EXPECT_FALSE(w.projectDirty());
        ASSERT_TRUE(h.queue->runUntil([&] { return !sheet.isExporting(); }, 60));
    }
    h.settle();
    EXPECT_FALSE(w.projectDirty());

    w.exportReturn();
    h.panels->choose(h.folders.scratch() / "back.json");
    EXPECT_FALSE(w.projectDirty());
    // Open… goes straight to its panel.
    w.pickSession();
    EXPECT_FALSE(w.discardQuestion());
    EXPECT_TRUE(h.panels->hasOpenPanel());

    // An edit still counts.
    h.engine().addMarkerAtPlayhead();
    EXPECT_TRUE(w.projectDirty());
}

} // namespace
} // namespace velmora
