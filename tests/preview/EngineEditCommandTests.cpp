// Lane and clip edit commands: the whole timeline and the status after each, then undo and redo.

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "support/CubeTexts.h"

namespace velmora::test {
namespace {

// A linked pair on V1/A1 from 0 to 6 s.
std::shared_ptr<EditSession> linkedPair(double videoLength = 6)
{
    return sessionWith({clip("v", "video", 0, videoLength, 1, "DJI_0001.MP4"),
                        clip("a", "audio", 0, 6, 1, "DJI_0001 (Audio)")});
}

TEST(EngineSplit, ALinkedVideoCutsItsAudioAndSelectsTheRightHalf)
{
    EngineHarness h;
    h.adopt(linkedPair());
    h.engine.scrub(2);
    const std::size_t builds = h.builder->buildCount();
    h.engine.splitAtPlayhead();
    EXPECT_TRUE(h.showed("v0.60 — Split OK — 1 cut — video + 1 audio"));
    EXPECT_EQ(h.builder->buildCount(), builds + 1); // at once, no debounce
    EXPECT_TRUE(timelineIs(h.session(), {{"v", 0, 2}, {"v_b_*", 2, 4, 1, 2}, {"a", 0, 2}, {"a_b_*", 2, 4, 1, 2}}));
    ASSERT_TRUE(h.engine.selectedClipId().has_value());
    EXPECT_TRUE(h.engine.selectedClipId()->starts_with("v_b_"));

    h.engine.undo();
    EXPECT_TRUE(timelineIs(h.session(), {{"v", 0, 6}, {"a", 0, 6}}));
    h.engine.redo();
    EXPECT_TRUE(timelineIs(h.session(), {{"v", 0, 2}, {"v_b_*", 2, 4}, {"a", 0, 2}, {"a_b_*", 2, 4}}));

    // Unlinked, the video is cut alone.
    h.engine.undo();
    h.engine.setSelectedClipId("v");
    h.engine.toggleAudioLinkForSelection();
    h.engine.splitAtPlayhead();
    EXPECT_TRUE(h.showed("v0.60 — Split OK — video only (reload Session JSON (v0.59+))"));
    EXPECT_TRUE(timelineIs(h.session(), {{"v", 0, 2}, {"v_b_*", 2, 4}, {"a", 0, 6}}));
}

TEST(EngineSplit, LockedLanesAndGapsAreRefusedWithoutAnUndoStep)
{
    EngineHarness h;
    h.adopt(sessionWith({clip("v", "video", 0, 4), clip("w", "video", 6, 4)}));
    h.engine.toggleVideoTrackLock(1);
    h.engine.setSelectedClipId("v");
    h.engine.scrub(2);
    h.engine.splitAtPlayhead();
    EXPECT_EQ(h.engine.status(), "Track is locked — unlock lane to split");

    h.engine.toggleVideoTrackLock(1);
    h.engine.clearClipSelection();
    h.engine.scrub(5);
    h.engine.splitAtPlayhead();
    EXPECT_EQ(h.engine.status(), "Split: playhead inside a video clip (not a gap)");
    EXPECT_FALSE(h.engine.canUndo());
    EXPECT_TRUE(timelineIs(h.session(), {{"v", 0, 4}, {"w", 6, 4}}));
}

TEST(EngineSplit, TheAudioBranchCutsThePartnerOnlyWithItsAudio)
{
    EngineHarness h;
    h.adopt(linkedPair(8));
    h.engine.setSelectedClipId("a");
    h.engine.scrub(5.98); // 0.03 s before the audio's end: its cut is refused
    h.engine.splitAtPlayhead();
    EXPECT_EQ(h.engine.status(), "Split: playhead inside yellow audio clip");
    EXPECT_TRUE(timelineIs(h.session(), {{"v", 0, 8}, {"a", 0, 6}}));
    EXPECT_FALSE(h.engine.canUndo());

    h.engine.scrub(3);
    h.engine.splitAtPlayhead();
    EXPECT_TRUE(h.showed("v0.57 — Split audio + video"));
    EXPECT_TRUE(timelineIs(h.session(), {{"v", 0, 3}, {"v_b_*", 3, 5}, {"a", 0, 3}, {"a_b_*", 3, 3}}));
    h.engine.undo();
    EXPECT_TRUE(timelineIs(h.session(), {{"v", 0, 8}, {"a", 0, 6}}));
}

TEST(EngineSplit, AVideoEdgeAfterTheAudioCutKeepsTheUndoStepAndRedraws)
{
    EngineHarness h;
    h.adopt(sessionWith({clip("v", "video", 0, 2), clip("a", "audio", 0, 6)}));
    h.engine.scrub(1.97); // 0.033 s before the video's end: only the audio can be cut
    const int revision = h.engine.timelineRevision();
    h.engine.splitAtPlayhead();
    EXPECT_EQ(h.engine.status(), "Split: video edge — audio was cut; Ctrl+Z undo, nudge playhead inside blue clip");
    EXPECT_EQ(h.engine.timelineRevision(), revision + 1);
    EXPECT_TRUE(timelineIs(h.session(), {{"v", 0, 2}, {"a", 0, 59.0 / 30}, {"a_b_*", 59.0 / 30, 6 - 59.0 / 30}}));
    h.engine.undo();
    EXPECT_TRUE(timelineIs(h.session(), {{"v", 0, 2}, {"a", 0, 6}}));
}

TEST(EngineMove, DropsRippleOnTheirLaneAndReportTheirTarget)
{
    EngineHarness h;
    h.adopt(sessionWith({clip("A", "video", 0, 4), clip("B", "video", 6, 4), clip("C", "video", 12, 2)}));
    h.engine.setRippleEditEnabled(true);
    const std::size_t builds = h.builder->buildCount();
    h.engine.commitClipDrop("B", 8, 1);
    EXPECT_EQ(h.engine.status(), "Moved → V1 @ 8.00s");
    EXPECT_EQ(h.engine.focusClipId(), "B");
    EXPECT_TRUE(timelineIs(h.session(), {{"A", 0, 4}, {"B", 8, 4}, {"C", 14, 2}}));
    EXPECT_EQ(h.builder->buildCount(), builds);
    h.queue->advance(0.12);
    EXPECT_EQ(h.builder->buildCount(), builds + 1);

    // To another lane: no overlap resolution and no ripple.
    h.engine.commitClipDrop("A", 12, 2);
    EXPECT_EQ(h.engine.status(), "Moved → V2 @ 12.00s");
    EXPECT_TRUE(timelineIs(h.session(), {{"A", 12, 4, 2}, {"B", 8, 4}, {"C", 14, 2}}));

    h.engine.undo();
    h.engine.undo();
    EXPECT_TRUE(timelineIs(h.session(), {{"A", 0, 4}, {"B", 6, 4}, {"C", 12, 2}}));
}

TEST(EngineMove, SnapsOnCommitAndRespectsLockedLanes)
{
    EngineHarness h;
    h.adopt(sessionWith({clip("A", "video", 0, 4), clip("B", "video", 6, 4)}));
    h.engine.moveClipOnTimeline("B", 4.3, std::nullopt, true, true);
    EXPECT_TRUE(h.showed("Snapped to 4.00s"));
    EXPECT_EQ(h.engine.status(), "Moved clip");
    EXPECT_TRUE(timelineIs(h.session(), {{"A", 0, 4}, {"B", 4, 4}}));

    // A live move changes the clip without an undo step.
    h.engine.moveClipOnTimeline("B", 5, std::nullopt, false, true);
    EXPECT_TRUE(timelineIs(h.session(), {{"A", 0, 4}, {"B", 5, 4}}));
    h.engine.undo();
    EXPECT_FALSE(h.engine.canUndo());

    h.engine.toggleVideoTrackLock(1);
    h.engine.moveClipOnTimeline("B", 9, std::nullopt, true, true);
    EXPECT_EQ(h.engine.status(), "Track is locked — unlock lane to move clips");
    EXPECT_TRUE(timelineIs(h.session(), {{"A", 0, 4}, {"B", 6, 4}}));
}

TEST(EngineCloseGap, ClosesTheGapUnderThePlayheadOrSaysWhy)
{
    EngineHarness h;
    h.engine.closeGapAtPlayhead();
    EXPECT_EQ(h.engine.status(), "No timeline loaded");

    h.adopt(sessionWith({clip("A", "video", 0, 4), clip("B", "video", 6, 4)}));
    h.engine.scrub(2);
    h.engine.closeGapAtPlayhead();
    EXPECT_EQ(h.engine.status(), "No gap at playhead — move playhead into an empty gap");
    EXPECT_FALSE(h.engine.canUndo());
    h.engine.scrub(5);
    h.engine.closeGapAtPlayhead();
    EXPECT_EQ(h.engine.status(), "Closed gap");
    EXPECT_TRUE(timelineIs(h.session(), {{"A", 0, 4}, {"B", 4, 4}}));
}

TEST(EngineDelete, RemovesTheNearestMarkerWithinTheSnapRadius)
{
    EngineHarness h;
    h.adopt(sessionWith({clip("A", "video", 0, 10)}));
    h.engine.scrub(2);
    h.engine.addMarkerAtPlayhead();
    h.engine.scrub(2.5);
    h.engine.deleteSelectionOrMarker();
    EXPECT_EQ(h.engine.status(), "Delete: select a clip or place playhead on a marker");
    h.engine.scrub(2.3);
    h.engine.deleteSelectionOrMarker();
    EXPECT_EQ(h.engine.status(), "Marker deleted");
    EXPECT_TRUE(h.engine.activeMarkers().empty());
}

TEST(EngineDelete, TakesTheLinkedAudioAlongAndIgnoresTheLaneLock)
{
    EngineHarness h;
    h.adopt(sessionWith({clip("v", "video", 0, 6, 1, "DJI_0001.MP4"), clip("a", "audio", 0, 6, 1, "DJI_0001 (Audio)"),
                         clip("w", "video", 6, 2)}));
    h.engine.toggleVideoTrackLock(1);
    h.engine.setSelectedClipId("v");
    h.engine.deleteSelectionOrMarker();
    EXPECT_TRUE(h.showed("Delete"));
    EXPECT_FALSE(h.engine.selectedClipId().has_value());
    EXPECT_TRUE(timelineIs(h.session(), {{"w", 6, 2}}));
    h.engine.undo();
    EXPECT_TRUE(timelineIs(h.session(), {{"v", 0, 6}, {"a", 0, 6}, {"w", 6, 2}}));
}

TEST(EngineLanes, LinkLockAndMuteAreNoUndoableEdits)
{
    EngineHarness h;
    h.adopt(sessionWith({clip("v", "video", 0, 6, 1, "ABCDEFGHIJKLMNOPQRSTUVWXYZ.mp4"), clip("n", "video", 6, 2)}));
    h.engine.toggleAudioLinkForSelection();
    EXPECT_EQ(h.engine.status(), "Select a video or audio clip to link/unlink");
    h.engine.setSelectedClipId("n");
    h.engine.toggleAudioLinkForSelection();
    EXPECT_EQ(h.engine.status(), "Select a DJI video or (Audio) clip to link/unlink");

    h.engine.setSelectedClipId("v");
    h.engine.toggleAudioLinkForSelection();
    EXPECT_EQ(h.engine.status(), "🔓 Unlinked abcdefghijklmnopqrstuvwx — drag yellow A1 alone; Split cuts video only");
    EXPECT_FALSE(h.engine.isAudioLinkedForSelection());
    h.engine.toggleAudioLinkForSelection();
    EXPECT_EQ(h.engine.status(), "🔗 Linked abcdefghijklmnopqrstuvwx — V + A1 trim/move together (Split cuts both)");

    const std::size_t builds = h.builder->buildCount();
    h.engine.toggleAudioTrackLock(2);
    EXPECT_TRUE(h.engine.isAudioTrackLocked(2));
    EXPECT_EQ(h.builder->buildCount(), builds);
    h.engine.toggleAudioTrackMute(2);
    EXPECT_TRUE(h.engine.isAudioTrackMuted(2));
    EXPECT_EQ(h.builder->buildCount(), builds + 1);
    EXPECT_FALSE(h.engine.canUndo());
}

TEST(EngineSourceUpdate, RetrimsTheClipAsOneUndoableEdit)
{
    EngineHarness h;
    h.adopt(sessionWith({clip("v", "video", 0, 6)}));
    h.engine.updateTimelineClipFromSource("v", 1, 3, std::nullopt);
    EXPECT_EQ(h.engine.status(), "Updated timeline from source viewer");
    EXPECT_TRUE(timelineIs(h.session(), {{"v", 0, 2, 1, 1}}));

    h.engine.updateTimelineClipFromSource("missing", 1, 3, std::nullopt);
    EXPECT_EQ(h.engine.status(), "Could not update clip");
    h.engine.updateTimelineClipFromSource("missing", 1, 3, std::string("look.cube"));
    EXPECT_EQ(h.engine.status(), "Could not update clip LUT");

    h.engine.undo();
    EXPECT_TRUE(timelineIs(h.session(), {{"v", 0, 6, 1, 0}}));
    EXPECT_FALSE(h.engine.canUndo());
}

// "Update Timeline" hands back the LUT the viewer shows for the clip: named as the grade writes
// it, it stays exactly so, missing and named, never swapped for a listed file that only looks like
// it; another LUT chosen in the viewer is written as chosen.
TEST(EngineSourceUpdate, KeepsTheClipsOwnLutAsWritten)
{
    EngineHarness h;
    std::filesystem::create_directories(h.media / "luts");
    writeTextFile(h.media / "luts" / "LookA.cube", identityCubeText());
    const std::shared_ptr<EditSession> session = sessionWith({clip("v", "video", 0, 6)});
    session->timelines[0].clips[0].grade = EditSession::clipGrade("lookA");
    h.adopt(session);
    h.engine.refreshLutNames();
    h.queue->runUntilIdle();
    EXPECT_EQ(h.engine.missingLutText(), "LUT lookA not found");
    const LutPickerValue shown = h.engine.clipLutPickerValue("v");
    EXPECT_EQ(shown, (LutPickerValue{"lookA", true}));

    h.engine.updateTimelineClipFromSource("v", 1, 3, shown.entry);
    h.queue->runUntilIdle();
    EXPECT_TRUE(timelineIs(h.session(), {{"v", 0, 2, 1, 1}}));
    EXPECT_EQ(h.session().clipLutReference("v"), "lookA");
    EXPECT_EQ(h.session().clip("v")->grade, EditSession::clipGrade("lookA"));
    EXPECT_EQ(h.engine.missingLutText(), "LUT lookA not found");
    const std::optional<ResolvedLuts> handed = h.engine.resolvedLuts(h.media.path(), std::nullopt);
    ASSERT_TRUE(handed);
    EXPECT_EQ(handed->clips.at("v").kind, LutResolution::Kind::missing);

    h.engine.updateTimelineClipFromSource("v", 1, 3, std::string("LookA.cube"));
    EXPECT_EQ(h.session().clip("v")->grade, EditSession::clipGrade("LookA.cube"));
    h.engine.undo();
    EXPECT_EQ(h.session().clip("v")->grade, EditSession::clipGrade("lookA"));
}

} // namespace
} // namespace velmora::test
