#include <gtest/gtest.h>

#include "EditorWorkspaceTestSupport.h"

namespace velmora {
namespace {

using test::WorkspaceHarness;

TEST(EditorWorkspaceRoot, StartsWithNoProjectAndTheInitialState)
{
    WorkspaceHarness h;
    const EditorWorkspaceController& w = h.workspace();
    EXPECT_FALSE(w.hasProject() || w.sessionURL() || w.mediaFolderURL());
    EXPECT_EQ(w.timelineZoomUI(), 60);
    EXPECT_TRUE(w.showMediaPool());
    EXPECT_EQ(w.clipGainUI(), 100);
    EXPECT_EQ(w.lutPickerSelection(), "None"); // the picker's value for no selection
    EXPECT_FALSE(w.projectDirty() || w.showError() || w.showRelinkMedia() || w.showExportSheet() ||
                 w.showProjectSettings() || w.showGradeInspector() || w.confirmDiscardForNewProject());
    // Three lanes of 44 with two 2-point gaps, plus 12.
    EXPECT_EQ(w.timelineStripHeight(), 148);
}

TEST(EditorWorkspaceRoot, TimelineChangesMarkTheProjectDirtyButReplacingTheSessionDoesNot)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    w.startNewProject();
    EXPECT_FALSE(w.projectDirty());

    h.open(test::writeProject(h.folders.scratch()));
    EXPECT_FALSE(w.projectDirty()); // the adoption's revision steps do not count
    const int revision = h.engine().timelineRevision();

    // The lane height redraws the lanes with one revision step, which marks the project.
    w.setLaneRowHeight(44);
    EXPECT_EQ(h.engine().timelineRevision(), revision);
    EXPECT_FALSE(w.projectDirty());
    w.setLaneRowHeight(60);
    EXPECT_EQ(h.engine().timelineRevision(), revision + 1);
    EXPECT_TRUE(w.projectDirty());

    w.setProjectDirty(false);
    h.engine().addMarkerAtPlayhead();
    EXPECT_TRUE(w.projectDirty());

    // While the mark is suppressed an edit leaves it alone.
    w.setProjectDirty(false);
    w.setSuppressDirtyMark(true);
    h.engine().addMarkerAtPlayhead();
    w.setSuppressDirtyMark(false);
    EXPECT_FALSE(w.projectDirty());
}

TEST(EditorWorkspaceRoot, SelectingAClipLoadsItsControlsAndClearsThePoolSelection)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    h.open(test::writeProject(h.folders.scratch()));
    h.session().timelines.front().clips[0].fadeIn = 0.5;
    h.session().timelines.front().clips[0].fadeOut = 1.25;
    h.session().timelines.front().clips[3].audioLevel = 4.5;

    w.setSelectedSourceId("src-still");
    h.engine().selectClip("v1", false);
    EXPECT_EQ(w.clipFadeInUI(), 0.5);
    EXPECT_EQ(w.clipFadeOutUI(), 1.25);
    EXPECT_EQ(w.clipGainUI(), 100); // the paired audio at the playhead has no level: 1
    EXPECT_FALSE(w.selectedSourceId().has_value());

    // A level beyond the slider's range shows as it is.
    h.engine().selectClip("music", false);
    EXPECT_EQ(w.clipGainUI(), 450);
    EXPECT_EQ(w.clipFadeInUI(), 0);
    EXPECT_EQ(w.clipFadeOutUI(), 0);

    // Deselecting empties the fades and keeps the gain.
    w.setClipFadeInUI(3);
    h.engine().clearClipSelection();
    EXPECT_EQ(w.clipFadeInUI(), 0);
    EXPECT_EQ(w.clipGainUI(), 450);
    EXPECT_EQ(w.lutPickerSelection(), "None");
}

TEST(EditorWorkspaceRoot, TheGradeInspectorClosesWhenTheSelectionLeavesItsClip)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    h.open(test::writeProject(h.folders.scratch()));
    h.engine().selectClip("v1", false);
    EXPECT_FALSE(h.engine().canUndo());
    w.openGradeInspector("v1");
    EXPECT_TRUE(w.showGradeInspector());
    EXPECT_EQ(w.gradeInspectorClipId(), "v1");
    EXPECT_TRUE(h.engine().canUndo()); // opening it is one undo step

    h.engine().selectClip("v1", true); // ends on the same clip
    EXPECT_TRUE(w.showGradeInspector());
    h.engine().selectClip("still", false);
    EXPECT_FALSE(w.showGradeInspector());
    EXPECT_FALSE(w.gradeInspectorClipId().has_value());

    w.openGradeInspector("still");
    h.engine().clearClipSelection();
    EXPECT_FALSE(w.showGradeInspector());

    w.openGradeInspector("no-such-clip");
    EXPECT_FALSE(w.showGradeInspector());
}

TEST(EditorWorkspaceRoot, FilesHandedOverOpenByTheirExtension)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    const test::GeneratedProject project = test::writeProject(h.folders.scratch());

    // A movie file does nothing.
    w.handleOpenURL(project.media / "DJI_0001.MP4");
    EXPECT_FALSE(w.hasProject());

    // A project document in capitals opens without asking for the media folder.
    const std::filesystem::path upper = h.folders.scratch() / "TRIP.TAVLEK";
    std::filesystem::copy_file(project.file, upper);
    w.handleOpenURL(upper);
    h.queue->runUntilIdle();
    ASSERT_TRUE(w.hasProject());
    EXPECT_EQ(w.sessionURL(), upper);
    EXPECT_EQ(w.mediaFolderURL(), project.media);
    EXPECT_FALSE(w.showRelinkMedia());
    EXPECT_EQ(w.layoutVideoTracks(), 2);
    EXPECT_EQ(w.layoutAudioTracks(), 2);

    // A JSON file with missing media asks for the folder once the open has finished.
    std::filesystem::remove(project.media / "Music.wav");
    const std::filesystem::path json = h.folders.scratch() / "job.JSON";
    std::filesystem::copy_file(project.file, json);
    w.handleOpenURL(json);
    EXPECT_FALSE(w.showRelinkMedia());
    h.queue->runUntilIdle();
    EXPECT_TRUE(w.showRelinkMedia());
    EXPECT_EQ(w.relinkMissingNames(), std::vector<std::string>{"Music.wav"});
    EXPECT_FALSE(w.projectDirty());

    // An unreadable file keeps the open project and reports the reader's error.
    w.setProjectDirty(true);
    const std::filesystem::path broken = h.folders.scratch() / "broken.json";
    test::writeTextFile(broken, "{ not json");
    w.handleOpenURL(broken);
    w.answerDiscardQuestion(true);
    EXPECT_TRUE(w.showError());
    EXPECT_FALSE(w.errorText().empty());
    EXPECT_EQ(w.sessionURL(), json);
    EXPECT_TRUE(w.projectDirty());
}

TEST(EditorWorkspaceRoot, LaneCountsFollowTheClipsAndTheDropRule)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    h.open(test::writeProject(h.folders.scratch()));
    // Picture lanes 1–2 (at least 2) and audio lanes 1–2.
    EXPECT_EQ(w.timelineLaneCount(), 4);
    h.session().timelines.front().clips[2].track = 5;
    EXPECT_EQ(w.timelineLaneCount(), 7);
    EXPECT_EQ(w.timelineStripHeight(), 44 * 7 + 12 + 12);

    w.clipDroppedOnTrack(12, true);
    EXPECT_EQ(w.layoutVideoTracks(), 8);
    w.setLayoutAudioTracks(3);
    w.clipDroppedOnTrack(2, false);
    EXPECT_EQ(w.layoutAudioTracks(), 3);
    w.setLayoutVideoTracks(10);
    w.clipDroppedOnTrack(2, true);
    EXPECT_EQ(w.layoutVideoTracks(), 8);
}

} // namespace
} // namespace velmora
