#include <cmath>

#include <gtest/gtest.h>

#include "TimelineTestSupport.h"
#include "model/EditSession.h"

namespace velmora::test {
namespace {

EditSession takeAt(double start)
{
    return sessionWith({video("V", start, 4).name("Take.mov"), audio("A", start, 4).name("Take.mov (Audio)").lane(1),
                        audio("A2", start + 1, 4).name("Take.mov (Audio)").lane(2),
                        audio("other", start, 4).name("song.mp3").lane(3)});
}

bool move(EditSession& s, const std::string& id, double to, std::optional<int> track = std::nullopt,
          bool linked = true, bool resolve = false, bool ripple = false)
{
    return s.moveClip(id, to, track, linked, resolve, ripple);
}

TEST(Move, LinkedAudioMovesByTheSameOffset)
{
    EditSession session = takeAt(2);
    EXPECT_TRUE(editWithUndo(session, [](EditSession& s) { return move(s, "V", 5); }, true,
                             {{"V", 5, 4, 0, 4, 1}, {"A", 5, 4, 0, 4, 1}, {"A2", 6, 4, 0, 4, 2},
                              {"other", 2, 4, 0, 4, 3}}));
}

TEST(Move, NegativeTargetPutsTheClipAtZeroAndOffsetsAudioByTheRequest)
{
    EditSession session = takeAt(2);
    EXPECT_TRUE(editWithUndo(session, [](EditSession& s) { return move(s, "V", -3); }, true,
                             {{"V", 0, 4, 0, 4, 1}, {"A", 0, 4, 0, 4, 1}, {"A2", 0, 4, 0, 4, 2},
                              {"other", 2, 4, 0, 4, 3}}));
}

TEST(Move, LinkedAudioOnALockedLaneStays)
{
    EditSession session = takeAt(2);
    session.timelines[0].lockedTracks = {"audio-2", "video-1"};
    ASSERT_TRUE(move(session, "V", 5)); // the moved clip's own lock is its caller's business
    EXPECT_TRUE(timelineIs(session, {{"V", 5, 4, 0, 4, 1}, {"A", 5, 4, 0, 4, 1}, {"A2", 3, 4, 0, 4, 2},
                                     {"other", 2, 4, 0, 4, 3}}));
}

TEST(Move, WithoutLinkOnlyTheClipMoves)
{
    EditSession session = takeAt(2);
    ASSERT_TRUE(move(session, "V", 5, 2, false));
    EXPECT_TRUE(timelineIs(session, {{"V", 5, 4, 0, 4, 2}, {"A", 2, 4, 0, 4, 1}, {"A2", 3, 4, 0, 4, 2},
                                     {"other", 2, 4, 0, 4, 3}}));
    EXPECT_EQ(session.timelines[0].duration, 9.0);
}

TEST(Move, LaneChangesOnlyForPositiveLanesOfKnownKinds)
{
    EditSession session = sessionWith({image("I", 0, 2), EditSession::Clip(ClipBuilder("O", "lowerthird", 0, 2))});
    ASSERT_TRUE(move(session, "I", 1, 0));
    EXPECT_EQ(session.timelines[0].clips[0].track, std::nullopt);
    ASSERT_TRUE(move(session, "I", 1, 3));
    EXPECT_EQ(session.timelines[0].clips[0].track, 3);
    ASSERT_TRUE(move(session, "O", 1, 3));
    EXPECT_EQ(session.timelines[0].clips[1].track, std::nullopt);
}

TEST(Move, RefusesUnknownClipAndNonFiniteTarget)
{
    EditSession session = takeAt(2);
    const auto before = rowsOf(session);
    EXPECT_FALSE(move(session, "nope", 1));
    EXPECT_FALSE(move(session, "V", NAN));
    EXPECT_FALSE(move(session, "V", INFINITY));
    EXPECT_TRUE(timelineIs(session, before));
    EditSession empty;
    EXPECT_FALSE(move(empty, "V", 1));
}

TEST(Move, ResolvingOverlapsShortensTheEarlierClip)
{
    EditSession session = sessionWith({video("A", 0, 10), video("B", 20, 7)});
    EXPECT_TRUE(editWithUndo(session, [](EditSession& s) { return move(s, "B", 5, std::nullopt, true, true); }, true,
                             {{"A", 0, 5, 0, 5, 1}, {"B", 5, 7, 0, 7, 1}}));
}

TEST(Move, RippleShiftsTheLaterClipsOfTheLane)
{
    EditSession session = sessionWith({video("A", 0, 5), video("B", 5, 3), video("C", 8, 2), audio("a", 8, 2),
                                       video("D", 8, 2).lane(2)});
    EXPECT_TRUE(editWithUndo(session,
                             [](EditSession& s) { return move(s, "B", 6, std::nullopt, true, false, true); }, true,
                             {{"A", 0, 5, 0, 5, 1}, {"B", 6, 3, 0, 3, 1}, {"C", 9, 2, 0, 2, 1}, {"a", 9, 2, 0, 2, 1},
                              {"D", 8, 2, 0, 2, 2}}));
}

// Overlaps ------------------------------------------------------------------------------------------

TEST(Overlaps, LaterClipWinsAndTheEarlierKeepsAtLeastFiftyMilliseconds)
{
    EditSession session = sessionWith({video("first", 0, 10), video("second", 5, 7)});
    session.resolveVideoTrackOverlaps(0, 1);
    EXPECT_TRUE(timelineIs(session, {{"first", 0, 5, 0, 5, 1}, {"second", 5, 7, 0, 7, 1}}));

    session = sessionWith({video("first", 0, 10), video("second", 0.02, 12)});
    session.resolveVisualTrackOverlaps(0, 1);
    EXPECT_TRUE(timelineIs(session, {{"first", 0, 0.05, 0, 0.05, 1}, {"second", 0.02, 12, 0, 12, 1}}));
}

TEST(Overlaps, TouchingClipsAndOtherLanesAndKindsAreLeftAlone)
{
    EditSession session = sessionWith({video("a", 0, 5), image("b", 5, 5), video("c", 4, 5).lane(2),
                                       audio("d", 3, 5), text("e", 9.99995, 1)});
    session.resolveVideoTrackOverlaps(0, 1);
    EXPECT_TRUE(timelineIs(session, {{"a", 0, 5, 0, 5, 1}, {"b", 5, 5, 0, 5, 1}, {"c", 4, 5, 0, 5, 2},
                                     {"d", 3, 5, 0, 5, 1}, {"e", 9.99995, 1, 0, 1, 1}}));
    session.resolveAudioTrackOverlaps(0, 1);
    EXPECT_TRUE(timelineIs(session, {{"a", 0, 5, 0, 5, 1}, {"b", 5, 5, 0, 5, 1}, {"c", 4, 5, 0, 5, 2},
                                     {"d", 3, 5, 0, 5, 1}, {"e", 9.99995, 1, 0, 1, 1}}));
    session.resolveAudioTrackOverlaps(4, 1); // no such timeline
}

TEST(Overlaps, AudioLaneSortsByStartKeepingArrayOrderOnTies)
{
    EditSession session = sessionWith({audio("late", 6, 4), audio("early", 0, 8), audio("tie", 6, 1)});
    session.resolveAudioTrackOverlaps(0, 1);
    // early is cut at 6; late and tie start together, late comes first in the array and keeps
    // 0.05 s.
    EXPECT_TRUE(timelineIs(session, {{"late", 6, 0.05, 0, 0.05, 1}, {"early", 0, 6, 0, 6, 1},
                                     {"tie", 6, 1, 0, 1, 1}}));
}

// Free lanes ----------------------------------------------------------------------------------------

TEST(FreeLanes, AudioLanes)
{
    EditSession busy = sessionWith({audio("a", 0, 10), audio("b", 0, 10).lane(2), audio("c", 0, 10).lane(3)});
    EXPECT_EQ(busy.findFreeAudioTrack(2, 3, "", 0), 4);
    EXPECT_EQ(busy.findFreeAudioTrackForInsert(2, 3, 0), 4);
    EXPECT_EQ(busy.findFreeAudioTrack(2, 3, "b", 0), 2);
    EXPECT_EQ(busy.findFreeAudioTrack(10, 3, "", 0), 1); // touching is not overlapping
    EXPECT_EQ(busy.findFreeAudioTrack(9.9998, 3, "", 0), 4);

    EditSession gap = sessionWith({audio("a", 0, 10), audio("c", 0, 10).lane(3), video("v", 0, 10).lane(2)});
    EXPECT_EQ(gap.findFreeAudioTrack(2, 3, "", 0), 2);
    EXPECT_EQ(sessionWith({}).findFreeAudioTrack(0, 1, "", 0), 1);
}

TEST(FreeLanes, VisualLanesStopAtTwenty)
{
    std::vector<EditSession::Clip> clips;
    for (int lane = 1; lane <= 20; ++lane) {
        clips.push_back(lane % 2 ? EditSession::Clip(video("v" + std::to_string(lane), 0, 10).lane(lane))
                                 : EditSession::Clip(text("t" + std::to_string(lane), 0, 10).lane(lane)));
    }
    EditSession full = sessionWith(clips);
    EXPECT_EQ(full.findFreeVisualTrack(0, 5, 0, 0), 0);
    EXPECT_EQ(full.findFreeVisualTrack(0, 5, 25, 0), 25);
    EXPECT_EQ(full.findFreeVisualTrack(10, 5, 3, 0), 3);

    EditSession some = sessionWith({video("a", 0, 10), image("b", 0, 10).lane(2), audio("c", 0, 10).lane(3)});
    EXPECT_EQ(some.findFreeVisualTrack(1, 2, 1, 0), 3);
    EXPECT_EQ(some.findFreeVisualTrack(1, 2, -4, 0), 3);
}

TEST(FreeLanes, RelocateAudioOnCollision)
{
    EditSession session = sessionWith({audio("moved", 2, 4).group("g"), audio("own", 0, 10).group("g"),
                                       audio("lane2", 0, 10).lane(2), video("v", 0, 10)});
    // Its own group's audio is no collision.
    EXPECT_FALSE(session.relocateAudioClipOnCollision("moved", 0));
    session.timelines[0].clips[1].groupId = "other";
    EXPECT_TRUE(session.relocateAudioClipOnCollision("moved", 0));
    EXPECT_EQ(session.timelines[0].clips[0].track, 3);
    EXPECT_FALSE(session.relocateAudioClipOnCollision("v", 0));
    EXPECT_FALSE(session.relocateAudioClipOnCollision("nope", 0));
    EXPECT_FALSE(session.relocateAudioClipOnCollision("moved", 7));
}

} // namespace
} // namespace velmora::test
