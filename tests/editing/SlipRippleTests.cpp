#include <cmath>

#include <gtest/gtest.h>

#include "TimelineTestSupport.h"
#include "model/EditSession.h"

namespace velmora::test {
namespace {

EditSession takeWithAudio()
{
    return sessionWith({video("V", 0, 10).in(2).name("Take.mov"),
                        audio("A", 0, 10).in(2).speed(2).name("Take.mov (Audio)"),
                        audio("music", 0, 10).in(2).lane(2).name("song.mp3")});
}

TEST(Slip, VideoSlipsItsLinkedAudioByItsOwnSpeed)
{
    EditSession session = takeWithAudio();
    EXPECT_TRUE(editWithUndo(session, [](EditSession& s) { return s.slipClip("V", 0.5); }, true,
                             {{"V", 0, 10, 2.5, 12.5, 1}, {"A", 0, 10, 3, 23, 1}, {"music", 0, 10, 2, 12, 2}}));
}

TEST(Slip, StopsAtTheStartOfTheSource)
{
    EditSession session = takeWithAudio();
    EXPECT_TRUE(editWithUndo(session, [](EditSession& s) { return s.slipClip("V", -5); }, true,
                             {{"V", 0, 10, 0, 10, 1}, {"A", 0, 10, 0, 20, 1}, {"music", 0, 10, 2, 12, 2}}));
}

TEST(Slip, LinkedAudioOnALockedLaneKeepsItsInPoint)
{
    EditSession session = takeWithAudio();
    session.timelines[0].lockedTracks = {"audio-1", "video-1"};
    // The slipped clip's own lock is its caller's business.
    ASSERT_TRUE(session.slipClip("V", 1));
    EXPECT_TRUE(timelineIs(session, {{"V", 0, 10, 3, 13, 1}, {"A", 0, 10, 2, 22, 1}, {"music", 0, 10, 2, 12, 2}}));
}

TEST(Slip, OtherKindsSlipAlone)
{
    EditSession session = sessionWith({audio("A", 0, 10).in(1).name("Take.mov (Audio)"),
                                       video("V", 0, 10).in(1).name("Take.mov"), image("I", 0, 5).in(1),
                                       text("T", 0, 5).in(1)});
    ASSERT_TRUE(session.slipClip("A", 1));
    ASSERT_TRUE(session.slipClip("I", 1));
    ASSERT_TRUE(session.slipClip("T", -2));
    EXPECT_TRUE(timelineIs(session, {{"A", 0, 10, 2, 12, 1}, {"V", 0, 10, 1, 11, 1}, {"I", 0, 5, 2, 7, 1},
                                     {"T", 0, 5, 0, 5, 1}}));
}

TEST(Slip, RefusesUnknownClipAndNonFiniteDelta)
{
    EditSession session = takeWithAudio();
    const auto before = rowsOf(session);
    EXPECT_FALSE(session.slipClip("nope", 1));
    EXPECT_FALSE(session.slipClip("V", NAN));
    EXPECT_FALSE(session.slipClip("V", INFINITY));
    EXPECT_TRUE(timelineIs(session, before));
    EXPECT_FALSE(EditSession().slipClip("V", 1));
}

// Ripple ------------------------------------------------------------------------------------------

EditSession twoLanes()
{
    return sessionWith({video("v1", 0, 3), video("v1b", 3, 2), video("v2", 3, 2).lane(2), audio("a1", 3, 2),
                        audio("a2", 4, 2).lane(2), image("i2", 5, 1).lane(2)});
}

struct RippleCase {
    const char* name;
    int track;
    double afterTime;
    double delta;
    std::vector<Row> after;
};

class RippleOnTrack : public ::testing::TestWithParam<RippleCase> {};

TEST_P(RippleOnTrack, ShiftsTheLaneOfEveryListedKind)
{
    const RippleCase& c = GetParam();
    EditSession session = twoLanes();
    EXPECT_TRUE(editWithUndo(
        session,
        [&](EditSession& s) {
            s.rippleShiftOnTrack(c.track, c.afterTime, c.delta);
            return true;
        },
        true, c.after));
}

INSTANTIATE_TEST_SUITE_P(
    Ripple, RippleOnTrack,
    ::testing::Values(
        RippleCase{"laneOneLater", 1, 3, 1,
                   {{"v1", 0, 3, 0, 3, 1}, {"v1b", 4, 2, 0, 2, 1}, {"v2", 3, 2, 0, 2, 2}, {"a1", 4, 2, 0, 2, 1},
                    {"a2", 4, 2, 0, 2, 2}, {"i2", 5, 1, 0, 1, 2}}},
        RippleCase{"laneTwoEarlierFloorsAtZero", 2, 0, -5,
                   {{"v1", 0, 3, 0, 3, 1}, {"v1b", 3, 2, 0, 2, 1}, {"v2", 0, 2, 0, 2, 2}, {"a1", 3, 2, 0, 2, 1},
                    {"a2", 0, 2, 0, 2, 2}, {"i2", 5, 1, 0, 1, 2}}},
        RippleCase{"startJustBeforeAfterTimeShifts", 1, 3.00005, 1,
                   {{"v1", 0, 3, 0, 3, 1}, {"v1b", 4, 2, 0, 2, 1}, {"v2", 3, 2, 0, 2, 2}, {"a1", 4, 2, 0, 2, 1},
                    {"a2", 4, 2, 0, 2, 2}, {"i2", 5, 1, 0, 1, 2}}},
        RippleCase{"startFurtherBeforeStays", 1, 3.0002, 1,
                   {{"v1", 0, 3, 0, 3, 1}, {"v1b", 3, 2, 0, 2, 1}, {"v2", 3, 2, 0, 2, 2}, {"a1", 3, 2, 0, 2, 1},
                    {"a2", 4, 2, 0, 2, 2}, {"i2", 5, 1, 0, 1, 2}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Ripple, KindsNarrowTheShift)
{
    EditSession session = twoLanes();
    session.rippleShiftOnTrack(2, 0, 1, {"audio"});
    EXPECT_TRUE(timelineIs(session, {{"v1", 0, 3, 0, 3, 1}, {"v1b", 3, 2, 0, 2, 1}, {"v2", 3, 2, 0, 2, 2},
                                     {"a1", 3, 2, 0, 2, 1}, {"a2", 5, 2, 0, 2, 2}, {"i2", 5, 1, 0, 1, 2}}));
    session.rippleShiftOnTrack(2, 0, 1, {"video", "image", "text", "audio"});
    EXPECT_TRUE(timelineIs(session, {{"v1", 0, 3, 0, 3, 1}, {"v1b", 3, 2, 0, 2, 1}, {"v2", 4, 2, 0, 2, 2},
                                     {"a1", 3, 2, 0, 2, 1}, {"a2", 6, 2, 0, 2, 2}, {"i2", 6, 1, 0, 1, 2}}));
    EXPECT_EQ(session.timelines[0].duration, 7.0);
}

TEST(Ripple, TinyDeltaChangesNothingNotEvenTheDuration)
{
    EditSession session = twoLanes();
    session.timelines[0].duration = 999;
    const auto before = rowsOf(session);
    session.rippleShiftOnTrack(1, 0, 0.0000005);
    session.rippleShiftFollowing("v1", 1, 0, -0.000001, 0);
    session.rippleShiftOnTrack(1, 0, NAN);
    session.rippleShiftOnTrack(1, NAN, 1);
    EXPECT_TRUE(timelineIs(session, before));
    EXPECT_EQ(session.timelines[0].duration, 999.0);
}

TEST(Ripple, FollowingLeavesTheExcludedClipAndIgnoresLocks)
{
    EditSession session = twoLanes();
    session.timelines[0].lockedTracks = {"video-1", "audio-1"};
    session.rippleShiftFollowing("v1b", 1, 0, 2, 0);
    EXPECT_TRUE(timelineIs(session, {{"v1", 2, 3, 0, 3, 1}, {"v1b", 3, 2, 0, 2, 1}, {"v2", 3, 2, 0, 2, 2},
                                     {"a1", 5, 2, 0, 2, 1}, {"a2", 4, 2, 0, 2, 2}, {"i2", 5, 1, 0, 1, 2}}));
    session.rippleShiftFollowing("v1b", 1, 0, 2, 9); // no such timeline: nothing
    EXPECT_EQ(session.timelines[0].clips[0].startTime, 2.0);
}

} // namespace
} // namespace velmora::test
