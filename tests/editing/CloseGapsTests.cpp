#include <cmath>

#include <gtest/gtest.h>

#include "TimelineTestSupport.h"
#include "model/EditSession.h"

namespace velmora::test {
namespace {

bool closeGaps(EditSession& s, double playhead, std::optional<int> lane = std::nullopt, bool audioLane = false)
{
    return s.closeGapsAtPlayhead(playhead, lane, audioLane);
}

EditSession gapScene()
{
    return sessionWith({video("v1", 0, 5), video("v2", 10, 5), audio("a1", 0, 5), audio("a2", 10, 5),
                        video("v3", 12, 2).lane(2), image("img", 10, 2).lane(3)});
}

TEST(CloseGaps, AllLanesCloseTheGapAtThePlayhead)
{
    EditSession session = gapScene();
    EXPECT_TRUE(editWithUndo(session, [](EditSession& s) { return closeGaps(s, 6); }, true,
                             {{"v1", 0, 5, 0, 5, 1}, {"v2", 5, 5, 0, 5, 1}, {"a1", 0, 5, 0, 5, 1},
                              {"a2", 5, 5, 0, 5, 1}, {"v3", 7, 2, 0, 2, 2}, {"img", 10, 2, 0, 2, 3}}));
    EXPECT_EQ(session.timelines[0].duration, 12.0);
}

TEST(CloseGaps, AudioAcrossThePlayheadIsPutAtTheGapStart)
{
    EditSession session = sessionWith({video("v1", 0, 5), video("v2", 10, 5), audio("across", 3, 5).lane(2),
                                       audio("inGap", 6, 2).lane(3)});
    EXPECT_TRUE(editWithUndo(session, [](EditSession& s) { return closeGaps(s, 6); }, true,
                             {{"v1", 0, 5, 0, 5, 1}, {"v2", 5, 5, 0, 5, 1}, {"across", 5, 5, 0, 5, 2},
                              {"inGap", 5, 2, 0, 2, 3}}));
}

TEST(CloseGaps, LockedLaneKeepsItsPlace)
{
    EditSession session = gapScene();
    session.timelines[0].lockedTracks = {"audio-1"};
    ASSERT_TRUE(closeGaps(session, 6));
    EXPECT_TRUE(timelineIs(session, {{"v1", 0, 5, 0, 5, 1}, {"v2", 5, 5, 0, 5, 1}, {"a1", 0, 5, 0, 5, 1},
                                     {"a2", 10, 5, 0, 5, 1}, {"v3", 7, 2, 0, 2, 2}, {"img", 10, 2, 0, 2, 3}}));
}

TEST(CloseGaps, NothingAfterTheLastClip)
{
    EditSession session = gapScene();
    const auto before = rowsOf(session);
    EXPECT_FALSE(closeGaps(session, 20));
    EXPECT_FALSE(closeGaps(session, NAN));
    EXPECT_TRUE(timelineIs(session, before));
    EditSession empty;
    EXPECT_FALSE(closeGaps(empty, 1));
}

TEST(CloseGaps, TenthOfAMillisecondIsNoGap)
{
    EditSession session = sessionWith({video("v1", 0, 5), video("v2", 5.0001, 5)});
    EXPECT_FALSE(closeGaps(session, 5.00005));
    EXPECT_FALSE(closeGaps(session, 5.00005, 1));
}

TEST(CloseGaps, InsideAVideoClipOnlyTheLaneWithAGapCloses)
{
    EditSession session = sessionWith({video("v", 0, 20), audio("a1", 0, 4), audio("a2", 8, 4), audio("b", 0, 20).lane(2)});
    EXPECT_TRUE(editWithUndo(session, [](EditSession& s) { return closeGaps(s, 6); }, true,
                             {{"v", 0, 20, 0, 20, 1}, {"a1", 0, 4, 0, 4, 1}, {"a2", 4, 4, 0, 4, 1},
                              {"b", 0, 20, 0, 20, 2}}));
}

TEST(CloseGaps, AnotherLanesClipReachingIntoTheGapLimitsTheClose)
{
    // V2 has a gap from 5 to 10; a V1 clip ends at 7 inside it, so V2 (and A2) move back 3 s.
    EditSession session = sessionWith({video("top", 3, 4), video("l2a", 0, 5).lane(2), video("l2b", 10, 5).lane(2),
                                       audio("a2", 10, 2).lane(2)});
    EXPECT_TRUE(editWithUndo(session, [](EditSession& s) { return closeGaps(s, 6); }, true,
                             {{"top", 3, 4, 0, 4, 1}, {"l2a", 0, 5, 0, 5, 2}, {"l2b", 7, 5, 0, 5, 2},
                              {"a2", 7, 2, 0, 2, 2}}));
}

TEST(CloseGaps, GapCoveredByAnotherLaneMovesNothingButAnswersTrue)
{
    EditSession session = sessionWith({video("top", 3, 9), video("l2a", 0, 5).lane(2), video("l2b", 10, 5).lane(2)});
    const auto before = rowsOf(session);
    EXPECT_TRUE(closeGaps(session, 6));
    EXPECT_TRUE(timelineIs(session, before));
}

TEST(CloseGaps, PreferredLane)
{
    EditSession session = sessionWith({video("v", 0, 20), audio("a1", 0, 4), audio("a2", 8, 4), video("w1", 0, 4).lane(2),
                                       video("w2", 8, 4).lane(2), audio("x2", 8, 1).lane(2)});
    // Lane A1 only.
    ASSERT_TRUE(closeGaps(session, 6, 1, true));
    EXPECT_TRUE(timelineIs(session, {{"v", 0, 20, 0, 20, 1}, {"a1", 0, 4, 0, 4, 1}, {"a2", 4, 4, 0, 4, 1},
                                     {"w1", 0, 4, 0, 4, 2}, {"w2", 8, 4, 0, 4, 2}, {"x2", 8, 1, 0, 1, 2}}));
    // V2 carries A2 along with it; the other lane's clip (v) covers the gap though, so nothing
    // moves... unless it is on the same lane number.
    EditSession second = sessionWith({video("w1", 0, 4).lane(2), video("w2", 8, 4).lane(2), audio("x2", 8, 1).lane(2),
                                      video("v", 0, 20).lane(2)});
    EXPECT_FALSE(second.closeGapAtPlayhead(6, 2)); // v fills lane 2: no gap there
    EditSession third = sessionWith({video("main", 0, 20), video("w1", 0, 4).lane(2), video("w2", 8, 4).lane(2),
                                     audio("x2", 8, 1).lane(2)});
    third.timelines[0].clips[0].track = 3;
    ASSERT_TRUE(third.closeGapAtPlayhead(6, 2));
    // main (lane 3) covers the gap, so the effective start is its end (20): nothing moves.
    EXPECT_TRUE(timelineIs(third, {{"main", 0, 20, 0, 20, 3}, {"w1", 0, 4, 0, 4, 2}, {"w2", 8, 4, 0, 4, 2},
                                   {"x2", 8, 1, 0, 1, 2}}));
}

TEST(CloseGaps, DefaultKindsCloseTheVideoLaneOfTheNumber)
{
    // Video plays at the playhead, so lanes close one by one: V2's gap [5, 10) is closed up to
    // the end of the V1 clip reaching into it, and A2 moves with V2; A3 stays.
    EditSession session = sessionWith({video("top", 3, 4), video("l2a", 0, 5).lane(2), video("l2b", 10, 5).lane(2),
                                       audio("a2", 10, 2).lane(2), audio("a3", 10, 2).lane(3)});
    EXPECT_TRUE(editWithUndo(session, [](EditSession& s) { return s.closeGapAtPlayhead(6, 2); }, true,
                             {{"top", 3, 4, 0, 4, 1}, {"l2a", 0, 5, 0, 5, 2}, {"l2b", 7, 5, 0, 5, 2},
                              {"a2", 7, 2, 0, 2, 2}, {"a3", 10, 2, 0, 2, 3}}));
}

TEST(CloseGaps, AudioKindsCloseTheAudioLaneOfTheNumber)
{
    // The picture under the playhead is on lane 2 itself, so it does not hold the A2 gap open
    // (a picture on another lane number would).
    EditSession session = sessionWith({video("top", 0, 20).lane(2), audio("a2a", 0, 4).lane(2),
                                       audio("a2b", 8, 4).lane(2), video("v3", 8, 4).lane(3)});
    EXPECT_TRUE(editWithUndo(session, [](EditSession& s) { return s.closeGapAtPlayhead(6, 2, {"audio"}); }, true,
                             {{"top", 0, 20, 0, 20, 2}, {"a2a", 0, 4, 0, 4, 2}, {"a2b", 4, 4, 0, 4, 2},
                              {"v3", 8, 4, 0, 4, 3}}));
    session.timelines[0].clips[0].track = 1;
    session.timelines[0].clips[2].startTime = 8;
    EXPECT_TRUE(session.closeGapAtPlayhead(6, 2, {"audio"}));
    EXPECT_EQ(session.timelines[0].clips[2].startTime, 8.0);
}

TEST(CloseGaps, AllLanesRuleTakesPrecedenceOverAPreferredLane)
{
    EditSession session = sessionWith({video("v1", 0, 5), video("v2", 10, 5), audio("bed", 0, 20).lane(3)});
    ASSERT_TRUE(session.closeGapAtPlayhead(6, 2, {"audio"}));
    // The bed spans the gap and is put at its start, as a clip crossing the playhead is.
    EXPECT_TRUE(timelineIs(session, {{"v1", 0, 5, 0, 5, 1}, {"v2", 5, 5, 0, 5, 1}, {"bed", 5, 20, 0, 20, 3}}));
}

TEST(CloseGaps, LockedLaneIsSkippedInThePerLanePass)
{
    EditSession session = sessionWith({video("v", 0, 20), audio("a1", 0, 4), audio("a2", 8, 4)});
    session.timelines[0].lockedTracks = {"audio-1"};
    EXPECT_FALSE(closeGaps(session, 6));
    EXPECT_EQ(session.timelines[0].clips[2].startTime, 8.0);
}

} // namespace
} // namespace velmora::test
