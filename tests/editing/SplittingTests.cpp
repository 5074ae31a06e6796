#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "TimelineTestSupport.h"
#include "model/EditSession.h"

namespace velmora::test {
namespace {

using Clip = EditSession::Clip;

bool split(EditSession& session, const std::string& id, double playhead)
{
    return session.splitClipAtPlayhead(id, playhead, 0);
}

// One clip at 5 s, 6 s long, in-point 10, speed 2, cut at points across its span.
struct CutCase {
    const char* name;
    double playhead;
    bool cuts;
};

class CutAcrossTheClip : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutAcrossTheClip, WholeTimelineAfterCutUndoAndRedo)
{
    const CutCase& c = GetParam();
    EditSession session = sessionWith({video("A", 5, 6).in(10).speed(2), audio("other", 0, 20).lane(3)});
    const double offset = c.playhead - 5;
    const std::vector<Row> after = c.cuts
        ? std::vector<Row>{{"A", 5, offset, 10, 10 + offset * 2, 1},
                           {"A_b_*", c.playhead, 6 - offset, 10 + offset * 2, 22, 1},
                           {"other", 0, 20, 0, 20, 3}}
        : rowsOf(session);
    EXPECT_TRUE(editWithUndo(session, [&](EditSession& s) { return split(s, "A", c.playhead); }, c.cuts, after));
}

INSTANTIATE_TEST_SUITE_P(Split, CutAcrossTheClip,
                         ::testing::Values(CutCase{"start", 5, false}, CutCase{"nearStart", 5.04, false},
                                           CutCase{"firstAllowed", 5.0625, true}, CutCase{"middle", 7, true},
                                           CutCase{"lastAllowed", 10.9375, true}, CutCase{"nearEnd", 10.96, false},
                                           CutCase{"end", 11, false}, CutCase{"before", 4, false},
                                           CutCase{"after", 12, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Split, ExampleWithSpeedTwo)
{
    EditSession session = sessionWith({video("A", 5, 6).in(10).speed(2)});
    const auto rightId = session.splitClipReturningRightId("A", 7, 0);
    ASSERT_TRUE(rightId);
    EXPECT_TRUE(isSplitRightId(*rightId, "A"));
    EXPECT_TRUE(timelineIs(session, {{"A", 5, 2, 10, 14, 1}, {*rightId, 7, 4, 14, 22, 1}}));
    // Both halves keep every other field.
    const Clip& right = session.timelines[0].clips[1];
    EXPECT_EQ(right.speed, 2.0);
    EXPECT_EQ(right.type, "video");
}

TEST(Split, PartsMustBeAtLeastFiftyMilliseconds)
{
    // A clip of 0.1 s can be cut only exactly in the middle; 0.08 s passes the length test but
    // can never leave two parts of 0.05 s.
    EditSession session = sessionWith({video("A", 0, 0.1), video("B", 1, 0.08), video("C", 2, 0.0999)});
    EXPECT_FALSE(split(session, "A", 0.049));
    EXPECT_FALSE(split(session, "A", 0.051));
    EXPECT_FALSE(split(session, "B", 1.04));
    EXPECT_FALSE(split(session, "C", 2.05));
    EXPECT_TRUE(timelineIs(session, {{"A", 0, 0.1, 0, 0.1, 1}, {"B", 1, 0.08, 0, 0.08, 1},
                                     {"C", 2, 0.0999, 0, 0.0999, 1}}));
    EXPECT_TRUE(split(session, "A", 0.05));
    EXPECT_TRUE(timelineIs(session, {{"A", 0, 0.05, 0, 0.05, 1}, {"A_b_*", 0.05, 0.05, 0.05, 0.1, 1},
                                     {"B", 1, 0.08, 0, 0.08, 1}, {"C", 2, 0.0999, 0, 0.0999, 1}}));
}

TEST(Split, RefusesLockedLaneMissingDurationAndUnknownClip)
{
    EditSession session = sessionWith({video("A", 0, 10).lane(2), audio("a", 0, 10)});
    session.timelines[0].lockedTracks = {"video-2", "audio-1"};
    const auto before = rowsOf(session);
    EXPECT_FALSE(split(session, "A", 5));
    EXPECT_FALSE(split(session, "a", 5));
    EXPECT_FALSE(split(session, "missing", 5));
    EXPECT_FALSE(session.splitClipAtPlayhead("A", 5, 7));
    EXPECT_TRUE(timelineIs(session, before));

    Clip noDuration = video("N", 0, 10).raw();
    noDuration.duration.reset();
    EditSession other = sessionWith({noDuration});
    EXPECT_FALSE(split(other, "N", 5));

    // An image on the same lane number has no lane key, so the lock does not apply to it.
    EditSession images = sessionWith({image("I", 0, 10)});
    images.timelines[0].lockedTracks = {"video-1"};
    EXPECT_TRUE(split(images, "I", 5));
}

TEST(Split, SpeedBelowTheFloorCountsAsTheFloor)
{
    EditSession session = sessionWith({video("A", 0, 4).in(1).speed(0.01)});
    ASSERT_TRUE(split(session, "A", 2));
    EXPECT_TRUE(timelineIs(session, {{"A", 0, 2, 1, 1.125, 1}, {"A_b_*", 2, 2, 1.125, 1.25, 1}}));
    EXPECT_EQ(session.timelines[0].clips[1].speed, 0.01);
}

TEST(Split, ASpeedThatIsNoNumberCountsAsOne)
{
    EditSession session = sessionWith({video("A", 0, 4).in(1).speed(std::numeric_limits<double>::quiet_NaN())});
    ASSERT_TRUE(split(session, "A", 2));
    EXPECT_TRUE(timelineIs(session, {{"A", 0, 2, 1, 3, 1}, {"A_b_*", 2, 2, 3, 5, 1}}));
    for (const double stored : {0.0, -2.0}) {
        EditSession slowest = sessionWith({video("A", 0, 4).in(1).speed(stored)});
        ASSERT_TRUE(split(slowest, "A", 2));
        EXPECT_TRUE(timelineIs(slowest, {{"A", 0, 2, 1, 1.125, 1}, {"A_b_*", 2, 2, 1.125, 1.25, 1}})) << stored;
    }
}

TEST(Split, RepeatedCutsGiveDistinctRightIds)
{
    EditSession session = sessionWith({video("A", 0, 10)});
    const auto first = session.splitClipReturningRightId("A", 6, 0);
    const auto second = session.splitClipReturningRightId("A", 3, 0);
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(isSplitRightId(*first, "A"));
    EXPECT_TRUE(isSplitRightId(*second, "A"));
    EXPECT_NE(first->substr(first->size() - 8), second->substr(second->size() - 8));
    EXPECT_TRUE(timelineIs(session, {{"A", 0, 3, 0, 3, 1}, {*second, 3, 3, 3, 6, 1}, {*first, 6, 4, 6, 10, 1}}));
}

TEST(Split, AliasesCutTheSameWay)
{
    EditSession session = sessionWith({audio("a", 0, 10), audio("b", 0, 10).lane(2), audio("c", 0, 10).lane(3)});
    EXPECT_TRUE(session.splitAudioClipAtPlayhead("a", 5, 0));
    EXPECT_TRUE(session.splitClip("b", 5, 0));
    EXPECT_TRUE(session.splitClipAtPlayheadReturningRight("c", 5, 0).has_value());
    EXPECT_EQ(session.timelines[0].clips.size(), 6u);
}

// The video cut at the playhead ------------------------------------------------------------------

TEST(SplitVideo, CutsTheVideoAndItsLinkedAudio)
{
    EditSession session = sessionWith({video("V", 0, 10).name("Take.mov").source("s"),
                                       audio("A", 0, 10).name("Take.mov (Audio)").source("s")});
    EditSession::SplitVideoResult result;
    EXPECT_TRUE(editWithUndo(session,
                             [&](EditSession& s) {
                                 result = s.splitVideoClipAtPlayhead(4, std::nullopt, true);
                                 return result.video;
                             },
                             true,
                             {{"V", 0, 4, 0, 4, 1},
                              {"V_b_*", 4, 6, 4, 10, 1},
                              {"A", 0, 4, 0, 4, 1},
                              {"A_b_*", 4, 6, 4, 10, 1}}));
    EXPECT_EQ(result.audioSplits, 1);
    ASSERT_TRUE(result.newRightVideoId);
    EXPECT_TRUE(isSplitRightId(*result.newRightVideoId, "V"));
    EXPECT_EQ(session.timelines[0].duration, 10.0);
}

TEST(SplitVideo, WithoutLinkedAudioOnlyTheVideoIsCut)
{
    EditSession session = sessionWith({video("V", 0, 10), audio("A", 0, 10)});
    const auto result = session.splitVideoClipAtPlayhead(4, std::nullopt, false);
    EXPECT_TRUE(result.video);
    EXPECT_EQ(result.audioSplits, 0);
    EXPECT_TRUE(timelineIs(session, {{"V", 0, 4, 0, 4, 1}, {"V_b_*", 4, 6, 4, 10, 1}, {"A", 0, 10, 0, 10, 1}}));
}

TEST(SplitVideo, CutsOnlyTheLastAudioClipUnderThePlayhead)
{
    // The video's own sound comes first in the array; the music bed after it is the one cut.
    EditSession session = sessionWith({video("V", 0, 10).name("Take.mov"), audio("own", 0, 10).name("Take.mov (Audio)"),
                                       audio("music", 0, 30).lane(2).name("song.mp3")});
    const auto result = session.splitVideoClipAtPlayhead(4, std::nullopt, true);
    EXPECT_TRUE(result.video);
    EXPECT_EQ(result.audioSplits, 1);
    EXPECT_TRUE(timelineIs(session, {{"V", 0, 4, 0, 4, 1},
                                     {"V_b_*", 4, 6, 4, 10, 1},
                                     {"own", 0, 10, 0, 10, 1},
                                     {"music", 0, 4, 0, 4, 2},
                                     {"music_b_*", 4, 26, 4, 30, 2}}));
}

TEST(SplitVideo, LockedAudioIsSkippedForTheNextCandidate)
{
    EditSession session = sessionWith({video("V", 0, 10), audio("own", 0, 10), audio("music", 0, 30).lane(2)});
    session.timelines[0].lockedTracks = {"audio-2"};
    const auto result = session.splitVideoClipAtPlayhead(4, std::nullopt, true);
    EXPECT_EQ(result.audioSplits, 1);
    EXPECT_TRUE(timelineIs(session, {{"V", 0, 4, 0, 4, 1},
                                     {"V_b_*", 4, 6, 4, 10, 1},
                                     {"own", 0, 4, 0, 4, 1},
                                     {"own_b_*", 4, 6, 4, 10, 1},
                                     {"music", 0, 30, 0, 30, 2}}));
}

TEST(SplitVideo, LockedVideoLaneRefusesEverything)
{
    EditSession session = sessionWith({video("V", 0, 10), audio("A", 0, 10)});
    session.timelines[0].lockedTracks = {"video-1"};
    const auto before = rowsOf(session);
    EXPECT_EQ(session.splitVideoClipAtPlayhead(4, std::nullopt, true), EditSession::SplitVideoResult{});
    EXPECT_TRUE(timelineIs(session, before));
}

TEST(SplitVideo, RefusedVideoCutKeepsTheAudioCut)
{
    EditSession session = sessionWith({video("V", 0, 10), audio("A", 0, 20)});
    const auto result = session.splitVideoClipAtPlayhead(9.97, std::nullopt, true);
    EXPECT_FALSE(result.video);
    EXPECT_EQ(result.audioSplits, 1);
    EXPECT_FALSE(result.newRightVideoId);
    EXPECT_TRUE(timelineIs(session, {{"V", 0, 10, 0, 10, 1}, {"A", 0, 9.97, 0, 9.97, 1},
                                     {"A_b_*", 9.97, 20 - 9.97, 9.97, 20, 1}}));
}

TEST(SplitVideo, NothingAtThePlayhead)
{
    EditSession session = sessionWith({video("V", 0, 10)});
    EXPECT_EQ(session.splitVideoClipAtPlayhead(12, std::nullopt, true), EditSession::SplitVideoResult{});
    EditSession empty;
    EXPECT_EQ(empty.splitVideoClipAtPlayhead(1, std::nullopt, true), EditSession::SplitVideoResult{});
    EXPECT_EQ(session.splitVideoClipAtPlayhead(NAN, std::nullopt, true), EditSession::SplitVideoResult{});
}

TEST(SplitVideo, PreferredClipOnALowerLane)
{
    EditSession session = sessionWith({video("top", 0, 10).lane(1), video("under", 0, 10).lane(2)});
    const auto result = session.splitVideoClipAtPlayhead(5, std::string("under"), false);
    EXPECT_TRUE(result.video);
    EXPECT_TRUE(timelineIs(session, {{"top", 0, 10, 0, 10, 1}, {"under", 0, 5, 0, 5, 2},
                                     {"under_b_*", 5, 5, 5, 10, 2}}));
}

// Slivers ---------------------------------------------------------------------------------------------

TEST(Slivers, AVideoCutLeavesEveryOtherClipAsItWas)
{
    EditSession session = sessionWith({video("V", 0, 10), video("Y", 5, 5).lane(2), video("X", 10.04, 0.1).lane(2),
                                       video("Z", 20, 0.05).lane(3)});
    const auto result = session.splitVideoClipAtPlayhead(3, std::nullopt, false);
    ASSERT_TRUE(result.video);
    EXPECT_TRUE(timelineIs(session, {{"V", 0, 3, 0, 3, 1}, {"V_b_*", 3, 7, 3, 10, 1}, {"Y", 5, 5, 0, 5, 2},
                                     {"X", 10.04, 0.1, 0, 0.1, 2}, {"Z", 20, 0.05, 0, 0.05, 3}}));

    // Cuts three frames apart at 25 fps: 31/25 − 28/25 is just under 0.12 in doubles, and the
    // piece between them stays, as does the cut at 28.
    EditSession frames = sessionWith({video("K", 0, 4)});
    std::optional<std::string> right = "K";
    for (int frame : {28, 31, 34, 37}) {
        const auto cut = frames.splitVideoClipAtPlayhead(frame / 25.0, right, false);
        ASSERT_TRUE(cut.video) << frame;
        right = cut.newRightVideoId;
    }
    std::vector<double> starts;
    for (const Clip& clip : frames.timelines[0].clips)
        starts.push_back(*clip.startTime * 25);
    EXPECT_EQ(starts.size(), 5u);
    for (std::size_t k = 0; k < starts.size(); ++k)
        EXPECT_NEAR(starts[k], std::vector<double>({0, 28, 31, 34, 37})[k], 1e-9);
}

TEST(Slivers, NeighbourMustShareKindAndLane)
{
    EditSession session = sessionWith({audio("a", 0, 5), video("v", 0, 5), video("s", 5, 0.1).lane(1),
                                       audio("t", 5, 0.05).lane(1), audio("far", 5.07, 0.1).lane(2),
                                       audio("left2", 0, 5).lane(2)});
    session.collapseSliverClips(0, 0.12);
    EXPECT_TRUE(timelineIs(session, {{"a", 0, 5.05, 0, 5.05, 1}, {"v", 0, 5.1, 0, 5.1, 1},
                                     {"left2", 0, 5, 0, 5, 2}}));
}

TEST(Slivers, LatestStartingNeighbourWins)
{
    EditSession session = sessionWith({video("early", 0, 5), video("late", 2, 3.02), video("s", 5, 0.1)});
    session.collapseSliverClips(0, 0.12);
    EXPECT_TRUE(timelineIs(session, {{"early", 0, 5, 0, 5, 1}, {"late", 2, 3.12, 0, 3.12, 1}}));
}

TEST(Slivers, StillsSurviveTheSweep)
{
    // A placed still is 0.1 s long: shorter than a sliver, yet it must stay where it is. The video
    // sliver beside it has no video neighbour and goes; the one after "pre" joins it; the still that
    // directly follows B's end neither goes nor lengthens B.
    EditSession session = sessionWith({image("still", 0, 0.1), video("s", 0.1, 0.1), video("pre", 3, 2),
                                       video("tail", 5.03, 0.08), video("B", 6, 4), image("after", 10, 0.1)});
    session.collapseSliverClips(0, 0.12);
    EXPECT_TRUE(timelineIs(session, {{"still", 0, 0.1, 0, 0.1, 1}, {"pre", 3, 2.08, 0, 2.08, 1},
                                     {"B", 6, 4, 0, 4, 1}, {"after", 10, 0.1, 0, 0.1, 1}}));
}

// Pairing -------------------------------------------------------------------------------------------

TEST(Pairing, StrictPairsNeedAnOverlapOfMoreThanTwentyMilliseconds)
{
    const EditSession session = sessionWith({video("V", 2, 4).name("Take.mov"),
                                             audio("own", 0, 10).name("take (audio)"),
                                             audio("edge", 5.98, 2).name("Take.mov (Audio)"),
                                             audio("inside", 5.9, 2).name("Take.mov (Audio)"),
                                             audio("sourceOnly", 2, 4).source("s")});
    const Clip& v = session.timelines[0].clips[0];
    EXPECT_EQ(session.linkedAudioClipIds(v, 0, 0), (std::vector<std::string>{"own", "inside"}));

    Clip withSource = v;
    withSource.sourceId = "s";
    EXPECT_EQ(session.linkedAudioClipIds(withSource, 0, 0),
              (std::vector<std::string>{"own", "inside", "sourceOnly"}));
    EXPECT_TRUE(session.linkedAudioClipIds(v, 0, 4).empty());
}

TEST(Pairing, LinkedAudioOnLockedTrackNeedsEveryPartnerLocked)
{
    EditSession session = sessionWith({video("V", 0, 10).group("g"), audio("a1", 0, 10).group("g"),
                                       audio("a2", 0, 10).group("g").lane(2)});
    const Clip v = session.timelines[0].clips[0];
    session.timelines[0].lockedTracks = {"audio-2"};
    EXPECT_FALSE(session.linkedAudioOnLockedTrack(v, 0, 0));
    session.timelines[0].lockedTracks = {"audio-2", "audio-1"};
    EXPECT_TRUE(session.linkedAudioOnLockedTrack(v, 0, 0));
    EXPECT_FALSE(session.linkedAudioOnLockedTrack(video("lonely", 20, 1), 0, 0));
}

TEST(Pairing, WiderPairingFallsBackToAudioUnderThePlayhead)
{
    const EditSession session = sessionWith({video("V", 0, 10).name("Clip.mov"), audio("bed", 0, 30).name("song.mp3"),
                                             audio("named", 12, 3).name("clip extra.wav"),
                                             audio("contained", 1, 3).name("CLIP-b-roll.wav"),
                                             audio("shortStem", 5, 3).name("cli.wav")});
    const Clip& v = session.timelines[0].clips[0];
    // bed is under the playhead; contained holds the stem; shortStem's stem is inside the video's.
    EXPECT_EQ(session.audioIdsPairedWithVideo(v, 2, 0),
              (std::vector<std::string>{"bed", "contained", "shortStem"}));
    EXPECT_EQ(session.audioClipIdsAtPlayhead(2, 0), (std::vector<std::string>{"bed", "contained"}));
    EXPECT_FALSE(session.soleAudioBedAtPlayhead(2, 0).has_value());
    EXPECT_EQ(session.soleAudioBedAtPlayhead(20, 0), std::optional<std::string>("bed"));
}

TEST(Pairing, WiderPairingWithoutAStemAcceptsAnEmptySharedGroup)
{
    const EditSession session = sessionWith({video("V", 0, 10).name(".mov").group(""),
                                             audio("byEmptyGroup", 0, 10).group(""),
                                             audio("neither", 0, 10).source("t")});
    const Clip& v = session.timelines[0].clips[0];
    EXPECT_TRUE(session.linkedAudioClipIds(v, 0, 0).empty());
    EXPECT_EQ(session.audioIdsPairedWithVideo(v, 20, 0), (std::vector<std::string>{"byEmptyGroup"}));
}

TEST(Pairing, StemAudioSplitsAndPairedTrackCut)
{
    EditSession session = sessionWith({video("V", 0, 10).name("Take.mov"), audio("A1", 0, 10).name("Take.mov (Audio)"),
                                       audio("A2", 0, 10).lane(2).name("Take.mov (Audio)"),
                                       audio("A3", 0, 10).lane(3).name("Take.mov (Audio)")});
    session.timelines[0].lockedTracks = {"audio-3"};
    const Clip v = session.timelines[0].clips[0];
    EXPECT_EQ(session.audioClipIdsToSplitAtPlayhead(v, 5, 0), (std::vector<std::string>{"A1", "A2"}));
    EXPECT_EQ(session.splitAllStemAudioAtPlayhead(v, 5, 0), 2);
    EXPECT_EQ(session.timelines[0].clips.size(), 6u);

    EditSession lanes = sessionWith({audio("x", 0, 10).lane(2).name("other.wav"), audio("y", 0, 10).lane(2).name("Take.wav")});
    EXPECT_EQ(lanes.splitAudioOnPairedTrack(5, 2, std::string("take"), 0), 1);
    EXPECT_TRUE(timelineIs(lanes, {{"x", 0, 10, 0, 10, 2}, {"y", 0, 5, 0, 5, 2}, {"y_b_*", 5, 5, 5, 10, 2}}));
    EXPECT_EQ(lanes.splitAudioOnPairedTrack(5, 1, std::nullopt, 0), 0);
    EXPECT_EQ(lanes.splitAudioOnPairedTrack(7, 0, std::string(""), 0), 0); // lane 0 means lane 1
}

TEST(Pairing, VideoClipsWithTheSameStem)
{
    const EditSession session = sessionWith({video("a", 0, 1).name("Take.mov"), video("b", 2, 1).name("take.MP4"),
                                             audio("c", 0, 1).name("Take.wav"), video("d", 0, 1).name("Other.mov")});
    EXPECT_EQ(session.videoClipIdsWithStem(session.timelines[0].clips[0], 0), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(session.videoClipIdsWithStem(video("x", 0, 1).name(".mov"), 0), (std::vector<std::string>{"x"}));
}

} // namespace
} // namespace velmora::test
