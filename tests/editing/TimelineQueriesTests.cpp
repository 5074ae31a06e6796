#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "TimelineTestSupport.h"
#include "model/EditSession.h"

namespace velmora::test {
namespace {

using Clip = EditSession::Clip;

// Visible clip and its winner -------------------------------------------------------------

TEST(VisibleClip, LowestLaneWinsThenLatestStart)
{
    EditSession session = sessionWith({video("v2", 0, 10).lane(2), video("v1", 2, 5).lane(1)});
    EXPECT_EQ(session.visualClip(3)->id, "v1");
    EXPECT_EQ(session.visualClip(1)->id, "v2");

    Clip noLane = video("noLane", 0, 10);
    noLane.track.reset();
    session = sessionWith({video("a", 1, 10).lane(1), noLane});
    EXPECT_EQ(session.visualClip(2)->id, "a"); // equal lanes: the later start wins

    session = sessionWith({video("first", 1, 10), video("second", 1, 10)});
    EXPECT_EQ(session.visualClip(2)->id, "first"); // equal lane and start: array order
}

// The clip of the frame holding the time, as the frame rule counts frames on the project's grid.
TEST(VisibleClip, IsTheClipOfTheFrameHoldingTheTime)
{
    const auto idAt = [](const EditSession& session, double at) {
        const std::optional<Clip> clip = session.visualClip(at);
        return clip ? clip->id : std::string("none");
    };
    EditSession session = sessionWith({video("a", 2, 3)});
    session.project->fps = 25;
    EXPECT_EQ(idAt(session, 2.0), "a");
    EXPECT_EQ(idAt(session, 4.9999995), "a"); // frame 124, the clip's last
    EXPECT_EQ(idAt(session, 5.0), "none");
    EXPECT_EQ(idAt(session, 1.9999), "none");

    // Cut off the grid at 1.01 s: the frame starting at 1.00 s is the first clip's, so a
    // playhead moved to 1.02 s by fine steps still names it; the second shows from 1.04 s.
    session = sessionWith({video("first", 0, 1.01).lane(2), video("second", 1.01, 2).lane(1)});
    session.project->fps = 25;
    EXPECT_EQ(idAt(session, 1.02), "first");
    EXPECT_EQ(idAt(session, 1.039), "first");
    EXPECT_EQ(idAt(session, 1.04), "second");
}

TEST(VisibleClip, OnlyVideoClipsAreConsidered)
{
    const EditSession session = sessionWith({image("img", 0, 5), text("txt", 0, 5), audio("aud", 0, 5)});
    EXPECT_FALSE(session.visualClip(1).has_value());
    Clip noDuration = video("nd", 0, 5);
    noDuration.duration.reset();
    EXPECT_FALSE(sessionWith({noDuration}).visualClip(0).has_value());
}

TEST(VisibleClip, TimelineIndexOutOfRangeGivesNothing)
{
    const EditSession session = sessionWith({video("a", 0, 5)});
    EXPECT_FALSE(session.visualClip(1, 3).has_value());
    EXPECT_EQ(session.visualOpacity(1, 3), 1.0);
    EXPECT_FALSE(session.isTrackLocked("video-1", 3));
    EXPECT_FALSE(EditSession().visualClip(1).has_value());
}

TEST(VisibleClip, WinningVisualClipOfEmptyListIsNone)
{
    EXPECT_FALSE(EditSession::winningVisualClip({}).has_value());
}

// Opacity ------------------------------------------------------------------------------------

TEST(VisualOpacity, FadesAndOpacity)
{
    EXPECT_DOUBLE_EQ(sessionWith({video("a", 0, 4).fades(0.02, std::nullopt)}).visualOpacity(0), 1.0);
    EXPECT_DOUBLE_EQ(sessionWith({video("a", 10, 4).fades(1.0, std::nullopt).opacity(0.5)}).visualOpacity(10.25),
                     0.125);
    EXPECT_DOUBLE_EQ(sessionWith({video("a", 0, 4).fades(std::nullopt, 1.0)}).visualOpacity(3.5), 0.5);
    // Both fades on a short clip multiply.
    EXPECT_DOUBLE_EQ(sessionWith({video("a", 0, 1).fades(1.0, 1.0)}).visualOpacity(0.5), 0.25);
    EXPECT_DOUBLE_EQ(sessionWith({video("a", 0, 4).opacity(3)}).visualOpacity(1), 1.0);
    EXPECT_DOUBLE_EQ(sessionWith({video("a", 0, 4).opacity(-1)}).visualOpacity(1), 0.0);
    EXPECT_DOUBLE_EQ(sessionWith({video("a", 0, 4).opacity(NAN)}).visualOpacity(1), 0.0);
}

TEST(VisualOpacity, EmptyTimelineOrGapIsOpaque)
{
    EXPECT_EQ(sessionWith({}).visualOpacity(1), 1.0);
    EXPECT_EQ(sessionWith({video("a", 0, 1), video("b", 3, 1)}).visualOpacity(2), 1.0);
    EXPECT_EQ(EditSession().visualOpacity(0), 1.0);
}

// Visible video segments ---------------------------------------------------------------------

// The plain fixed-rate scan, written as directly as possible: the reference the faster scan
// must reproduce bit for bit.
std::vector<EditSession::VisualTimelineSegment> referenceSegments(const std::vector<Clip>& clips, double endTime)
{
    std::vector<Clip> videos;
    for (const Clip& clip : clips) {
        if (EditSession::normalizedClipType(clip.type, clip.name) == "video") {
            videos.push_back(clip);
        }
    }
    const double step = 1.0 / 120.0;
    std::vector<EditSession::VisualTimelineSegment> segments;
    std::optional<Clip> current;
    double runStart = 0;
    for (double t = 0; t <= endTime + step; t += step) {
        std::vector<Clip> covering;
        for (const Clip& clip : videos) {
            const double start = clip.startTime.value_or(0);
            if (clip.duration && start <= t && t < start + *clip.duration) {
                covering.push_back(clip);
            }
        }
        const std::optional<Clip> winner = EditSession::winningVisualClip(covering);
        const bool same = (!winner && !current) || (winner && current && winner->id == current->id);
        if (same) {
            continue;
        }
        if (current && runStart + 0.000001 < t) {
            segments.push_back({*current, runStart, t});
        }
        current = winner;
        runStart = t;
    }
    if (current && runStart + 0.000001 < endTime) {
        segments.push_back({*current, runStart, endTime});
    }
    return segments;
}

void expectSameSegments(const std::vector<Clip>& clips, double endTime)
{
    const auto fast = EditSession::flattenVisibleVideoSegments(clips, endTime);
    const auto reference = referenceSegments(clips, endTime);
    std::vector<const Clip*> inPlace;
    for (const Clip& clip : clips) {
        inPlace.push_back(&clip);
    }
    // The runs name the very clips they were given, on the same boundaries.
    const auto runs = EditSession::flattenVisibleVideoRuns(inPlace, endTime);
    ASSERT_EQ(fast.size(), reference.size()) << "endTime " << endTime;
    ASSERT_EQ(runs.size(), reference.size()) << "endTime " << endTime;
    for (std::size_t i = 0; i < fast.size(); ++i) {
        EXPECT_EQ(fast[i].clip, reference[i].clip) << i;
        ASSERT_GE(runs[i].clip, clips.data()) << i;
        ASSERT_LT(runs[i].clip, clips.data() + clips.size()) << i;
        EXPECT_EQ(*runs[i].clip, reference[i].clip) << i;
        EXPECT_EQ(std::memcmp(&runs[i].timelineStart, &fast[i].timelineStart, sizeof(double)), 0) << i;
        EXPECT_EQ(std::memcmp(&runs[i].timelineEnd, &fast[i].timelineEnd, sizeof(double)), 0) << i;
        // Bit-for-bit equality of the boundaries, not closeness.
        EXPECT_EQ(std::memcmp(&fast[i].timelineStart, &reference[i].timelineStart, sizeof(double)), 0) << i;
        EXPECT_EQ(std::memcmp(&fast[i].timelineEnd, &reference[i].timelineEnd, sizeof(double)), 0) << i;
    }
}

TEST(VisibleSegments, TwoAbuttingClipsSplitOnTheFirstSampleAtOrAfterTheCut)
{
    const std::vector<Clip> clips{video("A", 0, 2), video("B", 2, 2)};
    const auto segments = EditSession::flattenVisibleVideoSegments(clips, 4);
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].clip.id, "A");
    EXPECT_EQ(segments[0].timelineStart, 0.0);
    EXPECT_GE(segments[0].timelineEnd, 2.0);
    EXPECT_LT(segments[0].timelineEnd, 2.0 + 1.0 / 120.0);
    EXPECT_EQ(segments[1].clip.id, "B");
    EXPECT_EQ(segments[1].timelineStart, segments[0].timelineEnd);
    // The run closes at the first sample at or after 4, which the summed steps put just past it.
    EXPECT_GE(segments[1].timelineEnd, 4.0);
    EXPECT_LT(segments[1].timelineEnd, 4.0 + 1.0 / 120.0);
    expectSameSegments(clips, 4);
}

TEST(VisibleSegments, EmptyInputAndGaps)
{
    EXPECT_TRUE(EditSession::flattenVisibleVideoSegments({}, 10).empty());
    const std::vector<Clip> clips{video("A", 0, 1), video("B", 3, 1), audio("x", 0, 10), image("i", 1, 2)};
    const auto segments = EditSession::flattenVisibleVideoSegments(clips, 5);
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].clip.id, "A");
    EXPECT_EQ(segments[1].clip.id, "B");
    EXPECT_GE(segments[1].timelineStart, 3.0);
    expectSameSegments(clips, 5);
}

TEST(VisibleSegments, RunOpenAtTheEndClosesPastEndTime)
{
    // The clip outlasts endTime: the scan closes its run at endTime.
    const std::vector<Clip> clips{video("A", 0, 10)};
    const auto segments = EditSession::flattenVisibleVideoSegments(clips, 3);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].timelineEnd, 3.0);
    expectSameSegments(clips, 3);
}

TEST(VisibleSegments, NoSegmentShorterThanOneMicrosecond)
{
    // A clip shorter than one sample interval between samples is never seen.
    const std::vector<Clip> clips{video("A", 0, 1), video("tiny", 0.5001, 0.001).lane(0)};
    expectSameSegments(clips, 2);
    for (const auto& segment : EditSession::flattenVisibleVideoSegments(clips, 2)) {
        EXPECT_GT(segment.timelineEnd - segment.timelineStart, 0.000001);
    }
}

TEST(VisibleSegments, MatchesTheFixedRateScanOnEdgeCases)
{
    Clip noDuration = video("nd", 1, 1);
    noDuration.duration.reset();
    Clip noStart = video("ns", 0, 2);
    noStart.startTime.reset();
    expectSameSegments({noDuration, noStart}, 3);
    expectSameSegments({video("neg", 2, -1), video("zero", 1, 0)}, 3);
    expectSameSegments({video("A", -5, 6)}, 2);
    expectSameSegments({video("A", 0, 2)}, -1);
    expectSameSegments({video("A", 0, 2)}, -0.005);
    expectSameSegments({video("A", 0, 2)}, 0);
    expectSameSegments({video("dupe", 0, 2), video("dupe", 1, 2).lane(0)}, 4);
    expectSameSegments({video("A", 0, 2), video("B", 2.0000001, 1)}, 3.5);
    expectSameSegments({video("A", 0, 2), video("B", 1, 2)}, std::numeric_limits<double>::quiet_NaN());
}

TEST(VisibleSegments, EndlessEndTimeStopsAfterTheLastClip)
{
    // A scan to infinity would never finish; the runs it would produce are all known once the
    // last clip has ended.
    const std::vector<Clip> clips{video("A", 0, 2), video("B", 3, 1)};
    const auto segments = EditSession::flattenVisibleVideoSegments(clips, std::numeric_limits<double>::infinity());
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].clip.id, "A");
    EXPECT_EQ(segments[1].clip.id, "B");
    EXPECT_LT(segments[1].timelineEnd, 4.01);
}

TEST(VisibleSegments, MatchesTheFixedRateScanOnRandomTimelines)
{
    std::mt19937 random(20240611);
    std::uniform_real_distribution<double> position(0, 30);
    std::uniform_real_distribution<double> length(0.001, 8);
    std::uniform_int_distribution<int> lane(0, 3);
    std::uniform_int_distribution<int> count(0, 12);
    for (int round = 0; round < 150; ++round) {
        std::vector<Clip> clips;
        const int n = count(random);
        for (int i = 0; i < n; ++i) {
            // Some ids repeat, some starts repeat, some clips are audio.
            const std::string id = "c" + std::to_string(i % 9);
            double start = position(random);
            if (i > 0 && i % 4 == 0) {
                start = *clips.back().startTime;
            }
            ClipBuilder builder = i % 5 == 4 ? audio(id, start, length(random)) : video(id, start, length(random));
            if (i % 3 != 0) {
                builder.lane(lane(random));
            }
            clips.push_back(builder);
        }
        expectSameSegments(clips, position(random) + 5);
    }
}

// Lane lock and mute ---------------------------------------------------------------------------

TEST(LaneState, TogglesAddAndRemoveTheFirstOccurrence)
{
    EditSession session = sessionWith({});
    session.toggleTrackLock("video-1");
    EXPECT_TRUE(session.isTrackLocked("video-1"));
    session.toggleTrackLock("video-1");
    EXPECT_TRUE(session.timelines[0].lockedTracks.empty());

    session.timelines[0].lockedTracks = {"audio-2", "video-1", "audio-2"};
    session.toggleTrackLock("audio-2");
    EXPECT_EQ(session.timelines[0].lockedTracks, (std::vector<std::string>{"video-1", "audio-2"}));

    session.toggleTrackMute("audio-1");
    EXPECT_TRUE(session.isTrackMuted("audio-1"));
    EXPECT_FALSE(session.isTrackMuted("Audio-1"));
    EXPECT_FALSE(session.isTrackLocked("audio-1"));

    EditSession empty;
    empty.toggleTrackLock("video-1"); // no timeline: nothing happens
    EXPECT_TRUE(empty.timelines.empty());
}

TEST(LaneState, ImageAndTextClipsAreNeverOnALockedLane)
{
    EditSession session = sessionWith({});
    session.timelines[0].lockedTracks = {"video-1", "audio-1", "video-2"};
    EXPECT_FALSE(session.isClipOnLockedTrack(image("i", 0, 1)));
    EXPECT_FALSE(session.isClipOnLockedTrack(text("t", 0, 1)));
    EXPECT_TRUE(session.isClipOnLockedTrack(video("v", 0, 1)));
    EXPECT_TRUE(session.isClipOnLockedTrack(video("v", 0, 1).lane(2)));
    EXPECT_FALSE(session.isClipOnLockedTrack(video("v", 0, 1).lane(3)));
    EXPECT_TRUE(session.isClipOnLockedTrack(audio("a", 0, 1)));
    EXPECT_TRUE(session.isClipOnLockedTrack(video("v", 0, 1).lane(0))); // lanes below 1 key as lane 1
}

// Targets of playhead edits --------------------------------------------------------------------

TEST(PlayheadTargets, PreferredVideoClipWithinOneMillisecondOfItsEdges)
{
    const EditSession session = sessionWith({video("top", 0, 10).lane(1), video("under", 2, 4).lane(2)});
    EXPECT_EQ(session.videoClipForSplit(3, std::string("under"))->id, "under");
    EXPECT_EQ(session.videoClipForSplit(2.001, std::string("under"))->id, "under");
    EXPECT_EQ(session.videoClipForSplit(2.0009, std::string("under"))->id, "top");
    EXPECT_EQ(session.videoClipForSplit(5.999, std::string("under"))->id, "under");
    EXPECT_EQ(session.videoClipForSplit(5.9995, std::string("under"))->id, "top");
    EXPECT_EQ(session.videoClipForSplit(3, std::string("missing"))->id, "top");
    EXPECT_EQ(session.videoClipForSplit(3, std::nullopt)->id, "top");
    EXPECT_FALSE(session.videoClipForSplit(11, std::nullopt).has_value());
    EXPECT_FALSE(EditSession().videoClipForSplit(1, std::nullopt).has_value());
}

TEST(PlayheadTargets, AudioForTrimPrefersTheChosenClipElseTheFirstUnderThePlayhead)
{
    const EditSession session = sessionWith({video("v", 0, 10), audio("a1", 0, 5), audio("a2", 1, 5).lane(2)});
    EXPECT_EQ(session.audioClipForTrim(2, std::string("a2"))->id, "a2");
    EXPECT_EQ(session.audioClipForTrim(2, std::string("v"))->id, "a1");
    EXPECT_EQ(session.audioClipForTrim(5.5, std::nullopt)->id, "a2");
    EXPECT_EQ(session.audioClipForTrim(1.00005, std::string("a2"))->id, "a1");
    EXPECT_FALSE(session.audioClipForTrim(6.99995, std::nullopt).has_value());
    EXPECT_TRUE(EditSession::playheadInsideClip(0.0001, audio("a", 0, 1)));
    EXPECT_FALSE(EditSession::playheadInsideClip(0.00009, audio("a", 0, 1)));
}

// Pairing by media name ----------------------------------------------------------------------

TEST(MediaStem, TrimsLowerCasesAndDropsTheAudioSuffixAndExtension)
{
    EXPECT_EQ(EditSession::mediaStem("  DJI_0001.MP4 (Audio) \n"), "dji_0001");
    EXPECT_EQ(EditSession::mediaStem("take.one.mov"), "take.one");
    EXPECT_EQ(EditSession::mediaStem("  Interview\t"), "interview");
    EXPECT_EQ(EditSession::mediaStem(".mov"), "");
    EXPECT_EQ(EditSession::mediaStem(""), "");
    EXPECT_EQ(EditSession::mediaStem("ÉTÉ.MOV"), "été");
}

TEST(MediaStem, AudioMatchesVideoByStemGroupOrContainedStem)
{
    const Clip video1 = video("v", 0, 1).name("Take3.mov");
    EXPECT_TRUE(EditSession::audioMatchesVideo(audio("a", 0, 1).name("Take3.mov (Audio)"), video1));
    EXPECT_TRUE(EditSession::audioMatchesVideo(audio("a", 0, 1).name("take3 room tone.wav"), video1));
    EXPECT_FALSE(EditSession::audioMatchesVideo(audio("a", 0, 1).name("Take4.wav"), video1));
    EXPECT_TRUE(EditSession::audioMatchesVideo(audio("a", 0, 1).name("x.wav").group("g"),
                                               video("v", 0, 1).name("y.mov").group("g")));
    EXPECT_FALSE(EditSession::audioMatchesVideo(audio("a", 0, 1).name("x.wav").group(""),
                                                video("v", 0, 1).name("y.mov").group("")));
    // An empty video stem and no group match nothing.
    EXPECT_FALSE(EditSession::audioMatchesVideo(audio("a", 0, 1).name(".mov"), video("v", 0, 1).name(".mov")));
    EXPECT_FALSE(EditSession::audioMatchesVideo(audio("a", 0, 1).name("anything"), video("v", 0, 1).name(".mov")));
}

} // namespace
} // namespace velmora::test
