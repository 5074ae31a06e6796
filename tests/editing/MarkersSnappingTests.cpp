#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "TimelineTestSupport.h"
#include "model/EditSession.h"

namespace velmora::test {
namespace {

using Marker = EditSession::Marker;

std::vector<Marker>& markersOf(EditSession& session)
{
    return session.timelines[0].markers;
}

TEST(Markers, IdIsTheTimeInWholeMilliseconds)
{
    EditSession session = sessionWith({});
    session.addMarker(1.0019, std::string("cue"));
    session.addMarker(-2);
    session.addMarker(12.3456);
    session.addMarker(-0.0005);
    EXPECT_EQ(markersOf(session),
              (std::vector<Marker>{{"m_-2000", 0, std::nullopt}, {"m_0", 0, std::nullopt},
                                   {"m_1001", 1.0019, "cue"}, {"m_12345", 12.3456, std::nullopt}}));
}

TEST(Markers, KeptSortedAndEqualTimesKeepInsertionOrder)
{
    EditSession session = sessionWith({});
    session.addMarker(5, std::string("b"));
    session.addMarker(1, std::string("a"));
    session.addMarker(5.0001, std::string("c"));
    session.addMarker(3, std::string("d"));
    ASSERT_EQ(markersOf(session).size(), 4u);
    EXPECT_EQ(markersOf(session)[0].label, "a");
    EXPECT_EQ(markersOf(session)[1].label, "d");
    EXPECT_EQ(markersOf(session)[2].label, "b");
    EXPECT_EQ(markersOf(session)[3].label, "c");
    // 5.0001 s is 5000 whole milliseconds, the same as 5 s.
    EXPECT_EQ(markersOf(session)[3].id, "m_5000_2");
}

TEST(Markers, SameMillisecondGetsNumberedIds)
{
    EditSession session = sessionWith({});
    session.addMarker(2);
    session.addMarker(2.0004);
    session.addMarker(2);
    ASSERT_EQ(markersOf(session).size(), 3u);
    EXPECT_EQ(markersOf(session)[0].id, "m_2000");
    EXPECT_EQ(markersOf(session)[1].id, "m_2000_3"); // time 2 sorts before 2.0004, insertion order kept
    EXPECT_EQ(markersOf(session)[2].id, "m_2000_2");
    session.removeMarker("m_2000_2");
    EXPECT_EQ(markersOf(session).size(), 2u);
}

TEST(Markers, TimesThatCannotFormAnIdAddNothing)
{
    EditSession session = sessionWith({});
    session.addMarker(std::numeric_limits<double>::quiet_NaN());
    session.addMarker(std::numeric_limits<double>::infinity());
    session.addMarker(-std::numeric_limits<double>::infinity());
    session.addMarker(1e300);
    session.addMarker(9.3e15); // 9.3e18 ms is beyond a signed 64-bit integer
    EXPECT_TRUE(markersOf(session).empty());
    session.addMarker(9.2e15);
    ASSERT_EQ(markersOf(session).size(), 1u);
    EXPECT_EQ(markersOf(session)[0].id, "m_9200000000000000000");
    EditSession none;
    none.addMarker(1); // no timeline: nothing happens
}

TEST(Markers, RemoveByIdRemovesEveryMatch)
{
    EditSession session = sessionWith({});
    markersOf(session) = {{"x", 1, std::nullopt}, {"y", 2, std::nullopt}, {"x", 3, std::nullopt}};
    session.removeMarker("x");
    EXPECT_EQ(markersOf(session), (std::vector<Marker>{{"y", 2, std::nullopt}}));
    session.removeMarker("z");
    EXPECT_EQ(markersOf(session).size(), 1u);
}

TEST(Markers, RemoveNearestWithinTheThreshold)
{
    EditSession session = sessionWith({});
    markersOf(session) = {{"a", 1, std::nullopt}, {"b", 2, std::nullopt}, {"c", 3, std::nullopt}};
    EXPECT_TRUE(session.removeNearestMarker(2.25, 0.25)); // exactly at the threshold
    EXPECT_EQ(markersOf(session), (std::vector<Marker>{{"a", 1, std::nullopt}, {"c", 3, std::nullopt}}));
    EXPECT_FALSE(session.removeNearestMarker(2.0, 0.5)); // 1 s away
    EXPECT_TRUE(session.removeNearestMarker(2.0, 1.0));  // equally near: the first wins
    EXPECT_EQ(markersOf(session), (std::vector<Marker>{{"c", 3, std::nullopt}}));
    EXPECT_FALSE(session.removeNearestMarker(NAN, INFINITY));
    markersOf(session).clear();
    EXPECT_FALSE(session.removeNearestMarker(0, 100));
}

// Snapping ----------------------------------------------------------------------------------------

EditSession snapScene()
{
    EditSession session = sessionWith({video("A", 2, 3), audio("B", 7, 1), video("moving", 9, 1)});
    markersOf(session) = {{"m", 6, std::nullopt}};
    return session;
}

TEST(Snap, NearestCandidateWithinTheThreshold)
{
    const EditSession session = snapScene();
    EXPECT_EQ(session.snapTime(2.2, std::nullopt, 20, 0.28, 30, false), 2.0);  // clip start
    EXPECT_EQ(session.snapTime(4.9, std::nullopt, 20, 0.28, 30, false), 5.0);  // clip end
    EXPECT_EQ(session.snapTime(6.1, std::nullopt, 20, 0.28, 30, false), 6.0);  // marker
    EXPECT_EQ(session.snapTime(19.8, std::nullopt, 20, 0.28, 30, false), 20.0); // playhead
    EXPECT_EQ(session.snapTime(0.1, std::nullopt, 20, 0.28, 30, false), 0.0);  // zero
    EXPECT_EQ(session.snapTime(12.5, std::nullopt, 20, 0.28, 30, false), 12.5); // nothing near
    EXPECT_EQ(session.snapTime(-4, std::nullopt, 20, 0.28, 30, false), 0.0);    // negative snaps as 0
    EXPECT_EQ(session.snapTime(-4, std::nullopt, 20, 0, 30, false), 0.0);
}

TEST(Snap, TiesGoToTheEarlierCandidate)
{
    EditSession session = snapScene();
    // Playhead at 5.5 and marker at 6: both 0.25 from 5.75; the playhead comes first.
    EXPECT_EQ(session.snapTime(5.75, std::nullopt, 5.5, 0.28, 30, false), 5.5);
    // Zero and the playhead at 0.5: both 0.25 from 0.25; zero comes first.
    EXPECT_EQ(session.snapTime(0.25, std::nullopt, 0.5, 0.28, 30, false), 0.0);
    // Marker at 7 and clip B's start at 7: the marker.
    markersOf(session) = {{"m", 7, std::nullopt}};
    EXPECT_EQ(session.snapTime(7.1, std::nullopt, 20, 0.28, 30, true), 7.0);
}

TEST(Snap, ExcludedClipAndEmptyClipsGiveNoCandidates)
{
    EditSession session = sessionWith({video("moving", 9, 1), video("empty", 3, 0)});
    EditSession::Clip noDuration = video("none", 4, 1).raw();
    noDuration.duration.reset();
    session.timelines[0].clips.push_back(noDuration);
    EXPECT_EQ(session.snapStartTime(9.1, "moving", 20), 9.1);
    EXPECT_EQ(session.snapTime(9.1, std::nullopt, 20, 0.28, 30, false), 9.0);
    EXPECT_EQ(session.snapTime(3.1, std::nullopt, 20, 0.28, 30, false), 3.1);
    EXPECT_EQ(session.snapTime(4.1, std::nullopt, 20, 0.28, 30, false), 4.1);
    EXPECT_EQ(session.snapStartTime(9.5, "other", 20, 0.6), 9.0);
}

TEST(Snap, WithoutATimelineOnlyZeroAndThePlayhead)
{
    const EditSession session;
    EXPECT_EQ(session.snapTime(0.2, std::nullopt, 3, 0.28, 30, false), 0.0);
    EXPECT_EQ(session.snapTime(2.9, std::nullopt, 3, 0.28, 30, false), 3.0);
    EXPECT_EQ(session.snapTime(1.5, std::nullopt, 3, 0.28, 30, false), 1.5);
}

TEST(Snap, NotANumberLandsOnTheTimelineStart)
{
    const EditSession session = snapScene();
    EXPECT_EQ(session.snapTime(NAN, std::nullopt, 0, 1000, 30, false), 0.0);
    EXPECT_EQ(session.snapTime(NAN, std::nullopt, 5, 0.01, 30, false), 0.0);
    EXPECT_EQ(session.snapStartTime(NAN, "moving", 0), 0.0);
    EXPECT_EQ(session.snapTime(INFINITY, std::nullopt, 0, 0.28, 30, false), INFINITY);
}

} // namespace
} // namespace velmora::test
