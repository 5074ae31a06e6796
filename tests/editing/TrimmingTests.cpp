#include <cmath>

#include <gtest/gtest.h>

#include "TimelineTestSupport.h"
#include "model/EditSession.h"

namespace velmora::test {
namespace {

using Clip = EditSession::Clip;

// Head trims of one clip at 2 s, 8 s long, in-point 4 ---------------------------------------------

struct HeadCase {
    const char* name;
    double to;
    bool changes;
    double start, duration, in;
};

class HeadTrim : public ::testing::TestWithParam<HeadCase> {};

TEST_P(HeadTrim, WholeTimelineAfterTrimUndoAndRedo)
{
    const HeadCase& c = GetParam();
    EditSession session = sessionWith({video("A", 2, 8).in(4), video("B", 10, 2).in(0)});
    const std::vector<Row> after = c.changes
        ? std::vector<Row>{{"A", c.start, c.duration, c.in, c.in + c.duration, 1}, {"B", 10, 2, 0, 2, 1}}
        : rowsOf(session);
    EXPECT_TRUE(editWithUndo(session, [&](EditSession& s) { return s.trimClipHead("A", c.to, false); }, c.changes,
                             after));
}

INSTANTIATE_TEST_SUITE_P(
    Trim, HeadTrim,
    ::testing::Values(HeadCase{"atStart", 2, false, 0, 0, 0},
                      HeadCase{"belowMinimumChange", 2.032, false, 0, 0, 0},
                      HeadCase{"justAboveMinimumChange", 2.04, true, 2.04, 8 - (2.04 - 2), 4 + (2.04 - 2)},
                      HeadCase{"middle", 5, true, 5, 5, 7},
                      HeadCase{"leavesMoreThanMinimum", 9.96, true, 9.96, 8 - (9.96 - 2), 4 + (9.96 - 2)},
                      HeadCase{"leavesMinimum", 9.967, false, 0, 0, 0},
                      HeadCase{"atEnd", 10, false, 0, 0, 0},
                      HeadCase{"pastEnd", 12, false, 0, 0, 0},
                      HeadCase{"smallLengthening", 1.97, false, 0, 0, 0},
                      HeadCase{"lengthening", 1.5, true, 1.5, 8.5, 3.5},
                      HeadCase{"lengtheningStopsAtTimelineStart", -3, true, 0, 10, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Trim, HeadLengtheningIsLimitedBySourceBeforeTheInPoint)
{
    // in-point 2 at speed 2 leaves 1 s of timeline before the head.
    EditSession session = sessionWith({video("A", 10, 4).in(2).speed(2)});
    EXPECT_TRUE(editWithUndo(session, [](EditSession& s) { return s.trimClipHead("A", 5, false); }, true,
                             {{"A", 9, 5, 0, 10, 1}}));
}

TEST(Trim, HeadCannotLengthenWithoutSourceBeforeIt)
{
    EditSession session = sessionWith({video("A", 10, 4)});
    Clip noIn = video("B", 20, 4).raw();
    noIn.inPoint.reset();
    session.timelines[0].clips.push_back(noIn);
    EXPECT_FALSE(session.trimClipHead("A", 8, false));
    EXPECT_FALSE(session.trimClipHead("B", 18, false));
    // 0.01 s of source is less than the 0.02 s a lengthening needs.
    EditSession tiny = sessionWith({video("C", 10, 4).in(0.01)});
    EXPECT_FALSE(tiny.trimClipHead("C", 8, false));
    EditSession enough = sessionWith({video("D", 10, 4).in(0.02)});
    EXPECT_TRUE(enough.trimClipHead("D", 8, false));
    EXPECT_TRUE(timelineIs(enough, {{"D", 9.98, 4.02, 0, 4.02, 1}}));
}

TEST(Trim, HeadShorteningAtSpeedTwoMovesTheInPointTwiceAsFar)
{
    EditSession session = sessionWith({video("A", 0, 10).in(1).speed(2)});
    ASSERT_TRUE(session.trimClipHead("A", 3, false));
    EXPECT_TRUE(timelineIs(session, {{"A", 3, 7, 7, 21, 1}}));
}

TEST(Trim, RefusesLockedLaneUnknownClipAndNonFiniteTime)
{
    EditSession session = sessionWith({video("A", 0, 10).lane(2), audio("a", 0, 10)});
    session.timelines[0].lockedTracks = {"video-2"};
    const auto before = rowsOf(session);
    EXPECT_FALSE(session.trimClipHead("A", 3, false));
    EXPECT_FALSE(session.trimClipTail("A", 3, false));
    EXPECT_FALSE(session.trimClipHead("nope", 3, false));
    EXPECT_FALSE(session.trimClipHead("a", NAN, false));
    EXPECT_FALSE(session.trimClipTail("a", INFINITY, false));
    EXPECT_TRUE(timelineIs(session, before));
    EXPECT_FALSE(EditSession().trimClipHead("A", 1, false));
}

// Tail trims -------------------------------------------------------------------------------------

struct TailCase {
    const char* name;
    double to;
    bool changes;
    double duration;
};

class TailTrim : public ::testing::TestWithParam<TailCase> {};

TEST_P(TailTrim, WholeTimelineAfterTrimUndoAndRedo)
{
    const TailCase& c = GetParam();
    // No out-point: the source is assumed to run on for max(d + 120, 2d).
    Clip clip = video("A", 2, 8).in(4).raw();
    clip.outPoint.reset();
    EditSession session = sessionWith({clip});
    const std::vector<Row> after = c.changes ? std::vector<Row>{{"A", 2, c.duration, 4, 4 + c.duration, 1}}
                                             : std::vector<Row>{{"A", 2, 8, 4, NAN, 1}};
    if (!c.changes) {
        EXPECT_FALSE(session.trimClipTail("A", c.to, false));
        EXPECT_EQ(session.timelines[0].clips[0], clip);
        return;
    }
    EXPECT_TRUE(editWithUndo(session, [&](EditSession& s) { return s.trimClipTail("A", c.to, false); }, true,
                             after));
}

INSTANTIATE_TEST_SUITE_P(Trim, TailTrim,
                         ::testing::Values(TailCase{"atStart", 2, false, 0},
                                           TailCase{"minimumLength", 2.05, false, 0},
                                           TailCase{"aboveMinimumLength", 2.06, true, 2.06 - 2},
                                           TailCase{"middle", 6, true, 4},
                                           TailCase{"tooSmallAChange", 9.981, false, 0},
                                           TailCase{"justAboveMinimumChange", 9.9799, true, 9.9799 - 2},
                                           TailCase{"atEnd", 10, false, 0},
                                           TailCase{"extension", 20, true, 18},
                                           TailCase{"extensionCapped", 500, true, 128}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Trim, TailExtensionWithoutOutPointForLongClips)
{
    Clip clip = video("A", 0, 200).raw();
    clip.outPoint.reset();
    EditSession session = sessionWith({clip});
    ASSERT_TRUE(session.trimClipTail("A", 1000, false));
    EXPECT_TRUE(timelineIs(session, {{"A", 0, 400, 0, 400, 1}}));
}

TEST(Trim, TailExtensionStopsAtTheOutPointsSourceLength)
{
    // A stored out-point beyond the timeline span says how much source there is.
    Clip clip = video("A", 0, 4).in(1).speed(2).raw();
    clip.outPoint = 13; // 12 s of source = 6 s at speed 2
    EditSession session = sessionWith({clip});
    ASSERT_TRUE(session.trimClipTail("A", 10, false));
    EXPECT_TRUE(timelineIs(session, {{"A", 0, 6, 1, 13, 1}}));

    // A normalised clip's out-point is its present end: it cannot grow.
    EditSession normalised = sessionWith({video("B", 0, 4).in(1)});
    EXPECT_FALSE(normalised.trimClipTail("B", 6, false));
}

TEST(Trim, AtThePlayheadActsOnTheVisibleClip)
{
    EditSession session = sessionWith({video("A", 0, 10), video("B", 2, 4).lane(2)});
    EXPECT_TRUE(session.trimClipStartAtPlayhead(3, false));
    EXPECT_TRUE(session.trimClipEndAtPlayhead(8, false));
    EXPECT_TRUE(timelineIs(session, {{"A", 3, 5, 3, 8, 1}, {"B", 2, 4, 0, 4, 2}}));
    EXPECT_FALSE(session.trimClipStartAtPlayhead(20, false));
    EXPECT_FALSE(session.trimClipEndAtPlayhead(20, false));
    EXPECT_EQ(session.timelines[0].duration, 8.0);
}

// Partner audio ----------------------------------------------------------------------------------

EditSession loneTake()
{
    return sessionWith({video("V", 0, 10).name("Take.mov").source("s"),
                        audio("A", 0, 10).name("Take.mov (Audio)").source("s").lane(1),
                        audio("music", 0, 10).name("song.mp3").lane(2)});
}

TEST(TrimPartnerAudio, LoneVideoTakesItsAudioToTheSameHead)
{
    EditSession session = loneTake();
    EXPECT_TRUE(editWithUndo(session, [](EditSession& s) { return s.trimClipHead("V", 2, true); }, true,
                             {{"V", 2, 8, 2, 10, 1}, {"A", 2, 8, 2, 10, 1}, {"music", 0, 10, 0, 10, 2}}));
}

TEST(TrimPartnerAudio, LoneVideoTakesItsAudioToTheSameTail)
{
    EditSession session = loneTake();
    EXPECT_TRUE(editWithUndo(session, [](EditSession& s) { return s.trimClipTail("V", 7, true); }, true,
                             {{"V", 0, 7, 0, 7, 1}, {"A", 0, 7, 0, 7, 1}, {"music", 0, 10, 0, 10, 2}}));
}

TEST(TrimPartnerAudio, WithoutSyncTheAudioStays)
{
    EditSession session = loneTake();
    ASSERT_TRUE(session.trimClipTail("V", 7, false));
    EXPECT_TRUE(timelineIs(session, {{"V", 0, 7, 0, 7, 1}, {"A", 0, 10, 0, 10, 1}, {"music", 0, 10, 0, 10, 2}}));
}

TEST(TrimPartnerAudio, AudioOnALockedLaneIsLeftAlone)
{
    EditSession session = loneTake();
    session.timelines[0].lockedTracks = {"audio-1"};
    ASSERT_TRUE(session.trimClipHead("V", 2, true));
    EXPECT_TRUE(timelineIs(session, {{"V", 2, 8, 2, 10, 1}, {"A", 0, 10, 0, 10, 1}, {"music", 0, 10, 0, 10, 2}}));
}

TEST(TrimPartnerAudio, AudioFollowsAShorteningButNotAnExtension)
{
    Clip videoClip = video("V", 0, 10).name("Take.mov").raw();
    videoClip.outPoint.reset();
    EditSession session = sessionWith({videoClip, audio("A", 0, 10).name("Take.mov (Audio)")});
    ASSERT_TRUE(session.trimClipTail("V", 12, true));
    EXPECT_TRUE(timelineIs(session, {{"V", 0, 12, 0, 12, 1}, {"A", 0, 10, 0, 10, 1}}));
}

TEST(TrimPartnerAudio, SplitPieceCutsSharedAudioAndDropsTheOrphan)
{
    EditSession session = sessionWith({video("V", 0, 10).name("Take.mov"), audio("A", 0, 10).name("Take.mov (Audio)")});
    const auto split = session.splitVideoClipAtPlayhead(5, std::nullopt, true);
    ASSERT_TRUE(split.video);
    const std::string videoRight = *split.newRightVideoId;
    const std::string audioRight = session.timelines[0].clips[3].id;
    ASSERT_TRUE(isSplitRightId(audioRight, "A"));

    EXPECT_TRUE(editWithUndo(session, [&](EditSession& s) { return s.trimClipHead(videoRight, 6, true); }, true,
                             {{"V", 0, 5, 0, 5, 1},
                              {videoRight, 6, 4, 6, 10, 1},
                              {"A", 0, 5, 0, 5, 1},
                              {audioRight + "_b_*", 6, 4, 6, 10, 1}}));
}

TEST(TrimPartnerAudio, SplitPieceTailCutsSharedAudioAtItsEnd)
{
    // Two pieces of one take share one long audio bed on lane 2 by group.
    EditSession session = sessionWith({video("V1", 0, 5).name("Take.mov").group("g"),
                                       video("V2", 5, 5).in(5).name("Take.mov").group("g"),
                                       audio("bed", 0, 10).name("Take.mov (Audio)").group("g").lane(2)});
    ASSERT_TRUE(session.trimClipTail("V2", 8, true));
    // bed is cut at V2's start and end; the piece under V1 stays (V1 still covers it), the piece
    // after V2's new end lies under no piece and goes.
    const auto& clips = session.timelines[0].clips;
    ASSERT_EQ(clips.size(), 4u);
    const std::string rightOfStart = clips[3].id;
    EXPECT_TRUE(timelineIs(session, {{"V1", 0, 5, 0, 5, 1},
                                     {"V2", 5, 3, 5, 8, 1},
                                     {"bed", 0, 5, 0, 5, 2},
                                     {rightOfStart, 5, 3, 5, 8, 2}}));
    EXPECT_TRUE(isSplitRightId(rightOfStart, "bed"));
}

TEST(TrimPartnerAudio, OrphanOnALockedLaneIsStillDeleted)
{
    EditSession session = sessionWith({video("V1", 0, 5).name("Take.mov"), video("V2", 5, 5).in(5).name("Take.mov"),
                                       audio("A1", 0, 5).name("Take.mov (Audio)"),
                                       audio("A2", 5, 1).in(5).name("Take.mov (Audio)").lane(2),
                                       audio("A3", 6, 4).in(6).name("Take.mov (Audio)")});
    session.timelines[0].lockedTracks = {"audio-2"};
    ASSERT_TRUE(session.trimClipHead("V2", 6.5, true));
    const std::string a3Right = session.timelines[0].clips.back().id;
    EXPECT_TRUE(timelineIs(session, {{"V1", 0, 5, 0, 5, 1},
                                     {"V2", 6.5, 3.5, 6.5, 10, 1},
                                     {"A1", 0, 5, 0, 5, 1},
                                     {"A3_b_*", 6.5, 3.5, 6.5, 10, 1}}));
    (void)a3Right;
}

TEST(TrimPartnerAudio, PartnerQueries)
{
    const EditSession session = sessionWith({video("V", 2, 6).name("Take.mov").source("s").group("g"),
                                             audio("byGroup", 0, 10).group("g"),
                                             audio("bySource", 0, 10).source("s"),
                                             audio("byStem", 0, 10).name("take.wav"),
                                             audio("touching", 7.98, 3).source("s"),
                                             audio("unrelated", 0, 10).name("x.wav")});
    const Clip& v = session.timelines[0].clips[0];
    EXPECT_EQ(session.partnerAudioIdsForVideoTrim(v, 0), (std::vector<std::string>{"byGroup", "bySource", "byStem"}));
    EXPECT_EQ(session.audioIdsOverlappingTimelineRange(2, 8, "take", std::string("s"), 0),
              (std::vector<std::string>{"bySource", "byStem"}));
    EXPECT_EQ(session.audioIdsOverlappingTimelineRange(2, 8, "", std::nullopt, 0),
              (std::vector<std::string>{"byGroup", "bySource", "byStem", "unrelated"}));
    EXPECT_TRUE(session.partnerAudioIdsForVideoTrim(v, 5).empty());
}

TEST(TrimPartnerAudio, IsolateCutsBothEnds)
{
    EditSession session = sessionWith({audio("bed", 0, 10)});
    session.isolateAudioBedToVideoSpan("bed", 3, 6, 0);
    const auto& clips = session.timelines[0].clips;
    ASSERT_EQ(clips.size(), 3u);
    EXPECT_TRUE(timelineIs(session, {{"bed", 0, 3, 0, 3, 1}, {clips[1].id, 3, 3, 3, 6, 1}, {clips[2].id, 6, 4, 6, 10, 1}}));
    EXPECT_TRUE(isSplitRightId(clips[2].id, clips[1].id));
    session.isolateAudioBedToVideoSpan("missing", 3, 6, 0);
    EXPECT_EQ(session.timelines[0].clips.size(), 3u);
}

} // namespace
} // namespace velmora::test
