#include <gtest/gtest.h>

#include "TimelineTestSupport.h"
#include "editing/TimelineSnapshot.h"
#include "editing/TimelineUndoStack.h"
#include "model/EditSession.h"

namespace velmora::test {
namespace {

// A snapshot told apart from others by its duration.
TimelineSnapshot numbered(double n)
{
    TimelineSnapshot snapshot;
    snapshot.duration = n;
    return snapshot;
}

double durationOf(const std::optional<TimelineSnapshot>& snapshot)
{
    return snapshot && snapshot->duration ? *snapshot->duration : -1;
}

TEST(UndoStack, CapKeepsTheNewestEntries)
{
    TimelineUndoStack stack;
    for (int i = 1; i <= 41; ++i) {
        stack.push(numbered(i));
    }
    EXPECT_EQ(stack.undoCount(), 40u);
    double expected = 41;
    while (stack.canUndo()) {
        EXPECT_EQ(durationOf(stack.popUndo(numbered(0))), expected--);
    }
    EXPECT_EQ(expected, 1); // the first push is gone
}

TEST(UndoStack, StackOfOneKeepsOnlyTheNewest)
{
    TimelineUndoStack stack(1);
    stack.push(numbered(1));
    stack.push(numbered(2));
    EXPECT_EQ(stack.undoCount(), 1u);
    EXPECT_EQ(durationOf(stack.popUndo(numbered(0))), 2);
    EXPECT_FALSE(stack.canUndo());
}

TEST(UndoStack, PushAfterUndoEmptiesRedo)
{
    TimelineUndoStack stack;
    stack.push(numbered(1));
    ASSERT_TRUE(stack.popUndo(numbered(2)));
    EXPECT_TRUE(stack.canRedo());
    stack.push(numbered(3));
    EXPECT_FALSE(stack.canRedo());
    EXPECT_FALSE(stack.popRedo(numbered(4)));
}

TEST(UndoStack, UndoThenRedoSwapsStates)
{
    TimelineUndoStack stack;
    stack.push(numbered(1));
    EXPECT_EQ(durationOf(stack.popUndo(numbered(2))), 1);
    EXPECT_EQ(durationOf(stack.popRedo(numbered(1))), 2);
    EXPECT_FALSE(stack.popRedo(numbered(2)).has_value());
    EXPECT_EQ(durationOf(stack.popUndo(numbered(2))), 1);
}

TEST(UndoStack, PopUndoOnEmptyChangesNothing)
{
    TimelineUndoStack stack;
    stack.push(numbered(1));
    ASSERT_TRUE(stack.popUndo(numbered(2)));
    EXPECT_FALSE(stack.popUndo(numbered(3)).has_value());
    EXPECT_EQ(stack.redoCount(), 1u);
    EXPECT_EQ(durationOf(stack.popRedo(numbered(1))), 2);
}

TEST(UndoStack, CancelLastPushRemovesExactlyThatSnapshot)
{
    TimelineUndoStack stack;
    stack.cancelLastPush(); // empty: nothing happens
    EXPECT_FALSE(stack.canUndo());
    stack.push(numbered(1));
    stack.push(numbered(2));
    stack.cancelLastPush();
    EXPECT_EQ(stack.undoCount(), 1u);
    EXPECT_EQ(durationOf(stack.popUndo(numbered(0))), 1);
}

TEST(UndoStack, CancelLastPushGivesBackTheRedoHistory)
{
    // A refused edit must not cost the user their redo steps.
    TimelineUndoStack stack;
    stack.push(numbered(1));
    stack.push(numbered(2));
    ASSERT_TRUE(stack.popUndo(numbered(3)));
    ASSERT_TRUE(stack.popUndo(numbered(2)));
    EXPECT_EQ(stack.redoCount(), 2u);
    stack.push(numbered(1));
    EXPECT_FALSE(stack.canRedo());
    stack.cancelLastPush();
    EXPECT_EQ(stack.redoCount(), 2u);
    EXPECT_EQ(durationOf(stack.popRedo(numbered(1))), 2);
    EXPECT_EQ(durationOf(stack.popRedo(numbered(2))), 3);
}

TEST(UndoStack, CancelLastPushGivesBackAnEntryDroppedByTheCap)
{
    TimelineUndoStack stack(2);
    stack.push(numbered(1));
    stack.push(numbered(2));
    stack.push(numbered(3)); // drops 1
    stack.cancelLastPush();  // withdraws 3, gives 1 back
    EXPECT_EQ(stack.undoCount(), 2u);
    EXPECT_EQ(durationOf(stack.popUndo(numbered(0))), 2);
    EXPECT_EQ(durationOf(stack.popUndo(numbered(0))), 1);
}

TEST(UndoStack, CancelOnlyRestoresDirectlyAfterAPush)
{
    TimelineUndoStack stack;
    stack.push(numbered(1));
    stack.push(numbered(2));
    ASSERT_TRUE(stack.popUndo(numbered(3)));
    stack.cancelLastPush(); // not after a push: removes the newest undo entry only
    EXPECT_FALSE(stack.canUndo());
    EXPECT_EQ(stack.redoCount(), 1u);
}

TEST(UndoStack, ClearEmptiesBoth)
{
    TimelineUndoStack stack;
    stack.push(numbered(1));
    stack.push(numbered(2));
    ASSERT_TRUE(stack.popUndo(numbered(3)));
    stack.clear();
    EXPECT_FALSE(stack.canUndo());
    EXPECT_FALSE(stack.canRedo());
    stack.cancelLastPush();
    EXPECT_FALSE(stack.canRedo());
}

// Snapshots of the session ------------------------------------------------------------------------

EditSession twoTimelines()
{
    EditSession session = sessionWith({video("A", 0, 5)});
    EditSession::Timeline second;
    second.id = "tl2";
    second.clips = {EditSession::Clip(video("B", 0, 3))};
    session.timelines.push_back(second);
    return session;
}

TEST(Snapshots, SnapshotCopiesClipsMarkersDurationAndTimeline)
{
    EditSession session = sessionWith({video("A", 0, 5)});
    session.addMarker(1.5, std::string("cue"));
    const auto snapshot = session.snapshotActiveTimeline();
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->clips, session.timelines[0].clips);
    EXPECT_EQ(snapshot->markers, session.timelines[0].markers);
    EXPECT_EQ(snapshot->duration, 5.0);
    EXPECT_EQ(snapshot->timelineId, "tl");
    EXPECT_FALSE(EditSession().snapshotActiveTimeline().has_value());
}

// Inline LUT text is shared by the session and every step of its history, never copied: a
// 1 MB LUT in each of 20 clips would otherwise cost 20 MB per step.
TEST(Snapshots, StepsShareInlineLutTextWithTheSessionUntilItIsReplaced)
{
    EditSession session = sessionWith({video("A", 0, 5)});
    EditorJobV2::ClipGrade grade;
    grade.lutData = std::string("LUT_3D_SIZE 2\n");
    session.timelines[0].clips[0].grade = grade;
    const char* held = session.timelines[0].clips[0].grade->lutData->data();

    TimelineUndoStack stack;
    stack.push(*session.snapshotActiveTimeline());
    ASSERT_TRUE(session.splitClipAtPlayhead("A", 2, 0));
    const auto restored = stack.popUndo(*session.snapshotActiveTimeline());
    ASSERT_TRUE(restored);
    EXPECT_EQ(restored->clips[0].grade->lutData->data(), held);
    session.applySnapshot(*restored);
    EXPECT_EQ(session.timelines[0].clips[0].grade->lutData->data(), held);

    // A new text replaces the shared one without touching what the history holds.
    const auto redone = stack.popRedo(*session.snapshotActiveTimeline());
    ASSERT_TRUE(redone);
    session.timelines[0].clips[0].grade->lutData = std::string("LUT_3D_SIZE 3\n");
    EXPECT_EQ(redone->clips[0].grade->lutData, "LUT_3D_SIZE 2\n");
    EXPECT_EQ(session.timelines[0].clips[0].grade->lutData, "LUT_3D_SIZE 3\n");
}

TEST(Snapshots, ApplyingNormalisesTimingAndRecomputesTheDuration)
{
    EditSession session = sessionWith({video("A", 0, 5)});
    TimelineSnapshot snapshot = *session.snapshotActiveTimeline();
    snapshot.clips[0].outPoint = 99;
    snapshot.duration.reset();
    session.applySnapshot(snapshot);
    EXPECT_TRUE(timelineIs(session, {{"A", 0, 5, 0, 5, 1}}));
    EXPECT_EQ(session.timelines[0].duration, 5.0);
}

TEST(Snapshots, UndoAfterSwitchingTimelinesRestoresTheTimelineItCameFrom)
{
    EditSession session = twoTimelines();
    TimelineUndoStack stack;
    stack.push(*session.snapshotActiveTimeline());
    ASSERT_TRUE(session.splitClipAtPlayhead("A", 2, 0));

    session.project->activeTimelineId = "tl2";
    const auto restored = stack.popUndo(*session.snapshotActiveTimeline());
    ASSERT_TRUE(restored);
    session.applySnapshot(*restored);
    EXPECT_TRUE(timelineIs(session, {{"A", 0, 5, 0, 5, 1}}, 0));
    EXPECT_TRUE(timelineIs(session, {{"B", 0, 3, 0, 3, 1}}, 1));

    // Redo puts the active timeline's own state back into it: nothing changes there.
    const auto redone = stack.popRedo(*session.snapshotActiveTimeline());
    ASSERT_TRUE(redone);
    session.applySnapshot(*redone);
    EXPECT_TRUE(timelineIs(session, {{"B", 0, 3, 0, 3, 1}}, 1));
}

TEST(Snapshots, SnapshotOfARemovedTimelineRestoresNothing)
{
    EditSession session = twoTimelines();
    const TimelineSnapshot snapshot = *session.snapshotActiveTimeline();
    session.timelines.erase(session.timelines.begin());
    session.project->activeTimelineId = "tl2";
    session.applySnapshot(snapshot);
    EXPECT_TRUE(timelineIs(session, {{"B", 0, 3, 0, 3, 1}}, 0));
}

TEST(Snapshots, SnapshotWithoutATimelineIdGoesToTheActiveTimeline)
{
    EditSession session = twoTimelines();
    TimelineSnapshot snapshot = *session.snapshotActiveTimeline();
    snapshot.timelineId.reset();
    session.project->activeTimelineId = "tl2";
    session.applySnapshot(snapshot);
    EXPECT_TRUE(timelineIs(session, {{"A", 0, 5, 0, 5, 1}}, 1));
}

TEST(Snapshots, AbsentDurationIsKeptOnATimelineThatIsNotActive)
{
    EditSession session = twoTimelines();
    session.timelines[0].duration.reset();
    const TimelineSnapshot snapshot = *session.snapshotActiveTimeline();
    EXPECT_FALSE(snapshot.duration.has_value());
    session.project->activeTimelineId = "tl2";
    session.timelines[0].duration = 42;
    session.applySnapshot(snapshot);
    EXPECT_FALSE(session.timelines[0].duration.has_value());
}

TEST(Snapshots, LaneLocksAreOutsideTheHistory)
{
    EditSession session = sessionWith({video("A", 0, 5)});
    TimelineUndoStack stack;
    stack.push(*session.snapshotActiveTimeline());
    session.toggleTrackLock("video-1");
    ASSERT_TRUE(session.trimClipTail("A", 4, false) == false); // locked now
    session.applySnapshot(*stack.popUndo(*session.snapshotActiveTimeline()));
    EXPECT_TRUE(session.isTrackLocked("video-1"));
}

TEST(Snapshots, MarkersComeBackWithUndo)
{
    EditSession session = sessionWith({});
    TimelineUndoStack stack;
    stack.push(*session.snapshotActiveTimeline());
    session.addMarker(2);
    ASSERT_EQ(session.timelines[0].markers.size(), 1u);
    session.applySnapshot(*stack.popUndo(*session.snapshotActiveTimeline()));
    EXPECT_TRUE(session.timelines[0].markers.empty());
    session.applySnapshot(*stack.popRedo(*session.snapshotActiveTimeline()));
    ASSERT_EQ(session.timelines[0].markers.size(), 1u);
    EXPECT_EQ(session.timelines[0].markers[0].id, "m_2000");
}

} // namespace
} // namespace velmora::test
