#include <limits>

#include <gtest/gtest.h>

#include "platform/foundation/Error.h"
#include "platform/media/Composition.h"

namespace velmora {
namespace {

MediaTime t(std::int64_t value, std::int32_t timescale = 600)
{
    return MediaTime(value, timescale);
}

MediaTimeRange r(std::int64_t start, std::int64_t duration, std::int32_t timescale = 600)
{
    return MediaTimeRange(t(start, timescale), t(duration, timescale));
}

const CompositionSourceTrack kMusic{SharedPath("/media/music.wav"), 0, MediaType::audio};
const CompositionSourceTrack kVoice{SharedPath("/media/voice.m4a"), 1, MediaType::audio};
const CompositionSourceTrack kPicture{SharedPath("/media/clip.mov"), 0, MediaType::video};

CompositionTrackSegment media(const CompositionSourceTrack& source, MediaTimeRange sourceRange,
                              MediaTimeRange targetRange)
{
    return CompositionTrackSegment{source, sourceRange, targetRange};
}

CompositionTrackSegment empty(MediaTimeRange targetRange)
{
    return CompositionTrackSegment{std::nullopt, MediaTimeRange(), targetRange};
}

std::string describe(const std::vector<CompositionTrackSegment>& segments)
{
    std::string text;
    for (const CompositionTrackSegment& s : segments) {
        text += s.isEmpty() ? std::string("empty") : s.source->url->filename().string();
        if (!s.isEmpty()) {
            text += " src " + s.sourceRange.start.description() + "+" + s.sourceRange.duration.description();
        }
        text += " @ " + s.targetRange.start.description() + "+" + s.targetRange.duration.description() + "\n";
    }
    return text;
}

void expectSegments(const CompositionTrack& track, const std::vector<CompositionTrackSegment>& expected)
{
    EXPECT_EQ(track.segments(), expected) << "actual:\n"
                                          << describe(track.segments()) << "expected:\n"
                                          << describe(expected);
}

// Inserting

TEST(CompositionTrackInsert, IntoAnEmptyTrackAtZeroMakesOneEdit)
{
    CompositionTrack track(1, MediaType::audio);
    track.insertTimeRange(r(600, 1200), kMusic, t(0));
    expectSegments(track, {media(kMusic, r(600, 1200), r(0, 1200))});
    EXPECT_EQ(track.timeRange(), r(0, 1200));
}

TEST(CompositionTrackInsert, PastTheEndAddsAnEmptyEditFirst)
{
    CompositionTrack track(1, MediaType::audio);
    track.insertTimeRange(r(0, 600), kMusic, t(0));
    track.insertTimeRange(r(0, 300), kVoice, t(1800));
    expectSegments(track, {media(kMusic, r(0, 600), r(0, 600)), empty(r(600, 1200)),
                           media(kVoice, r(0, 300), r(1800, 300))});
}

TEST(CompositionTrackInsert, IntoAnEmptyTrackLaterThanZeroStartsWithAnEmptyEdit)
{
    CompositionTrack track(1, MediaType::audio);
    track.insertTimeRange(r(0, 600), kMusic, t(3000));
    expectSegments(track, {empty(r(0, 3000)), media(kMusic, r(0, 600), r(3000, 600))});
}

TEST(CompositionTrackInsert, InsideAnEditSplitsItAndShiftsTheRest)
{
    CompositionTrack track(1, MediaType::audio);
    track.insertTimeRange(r(600, 3000), kMusic, t(0));   // music 1 s..6 s at 0..5 s
    track.insertTimeRange(r(0, 600), kVoice, t(3000));   // voice at 5 s
    track.insertTimeRange(r(0, 1200), kVoice, t(1200));  // 2 s of voice at 2 s
    expectSegments(track, {media(kMusic, r(600, 1200), r(0, 1200)), media(kVoice, r(0, 1200), r(1200, 1200)),
                           media(kMusic, r(1800, 1800), r(2400, 1800)), media(kVoice, r(0, 600), r(4200, 600))});
    EXPECT_EQ(track.timeRange().end(), t(4800));
}

TEST(CompositionTrackInsert, AtAnEditBoundaryShiftsWithoutSplitting)
{
    CompositionTrack track(1, MediaType::audio);
    track.insertTimeRange(r(0, 600), kMusic, t(0));
    track.insertTimeRange(r(0, 600), kVoice, t(600));
    track.insertTimeRange(r(1200, 300), kMusic, t(600));
    expectSegments(track, {media(kMusic, r(0, 600), r(0, 600)), media(kMusic, r(1200, 300), r(600, 300)),
                           media(kVoice, r(0, 600), r(900, 600))});
}

TEST(CompositionTrackInsert, AtTheEndAppends)
{
    CompositionTrack track(1, MediaType::audio);
    track.insertTimeRange(r(0, 600), kMusic, t(0));
    track.insertTimeRange(r(0, 600), kVoice, t(600));
    expectSegments(track, {media(kMusic, r(0, 600), r(0, 600)), media(kVoice, r(0, 600), r(600, 600))});
}

TEST(CompositionTrackInsert, InsideAnEmptyEditSplitsTheGap)
{
    CompositionTrack track(1, MediaType::audio);
    track.insertTimeRange(r(0, 600), kMusic, t(1800)); // gap 0..3 s
    track.insertTimeRange(r(0, 300), kVoice, t(600));
    expectSegments(track, {empty(r(0, 600)), media(kVoice, r(0, 300), r(600, 300)), empty(r(900, 1200)),
                           media(kMusic, r(0, 600), r(2100, 600))});
}

TEST(CompositionTrackInsert, KeepsTheTimescalesOfTheTimesGiven)
{
    CompositionTrack track(1, MediaType::audio);
    track.insertTimeRange(MediaTimeRange(MediaTime(1001, 30000), MediaTime(30030, 30000)), kMusic,
                          MediaTime(1, 2));
    ASSERT_EQ(track.segments().size(), 2u);
    EXPECT_EQ(track.segments()[1].sourceRange.start.timescale(), 30000);
    EXPECT_EQ(track.segments()[1].targetRange.start, MediaTime(1, 2));
    EXPECT_EQ(track.timeRange().end(), MediaTime(30030 + 15000, 30000));
}

TEST(CompositionTrackInsert, ZeroLengthRangeChangesNothing)
{
    CompositionTrack track(1, MediaType::audio);
    track.insertTimeRange(r(0, 0), kMusic, t(600));
    EXPECT_TRUE(track.isEmpty());
}

TEST(CompositionTrackInsert, RefusesInvalidRangesAndTimes)
{
    CompositionTrack track(1, MediaType::audio);
    auto expectCode = [&](const MediaTimeRange& range, const MediaTime& at, int code) {
        try {
            track.insertTimeRange(range, kMusic, at);
            ADD_FAILURE() << "no error for " << range.start.description() << " at " << at.description();
        } catch (const Error& error) {
            EXPECT_EQ(error.domain(), "composition");
            EXPECT_EQ(error.code(), code);
        }
    };
    expectCode(MediaTimeRange(MediaTime::invalid(), t(600)), t(0), 1);
    expectCode(r(-600, 600), t(0), 1);
    expectCode(r(0, -600), t(0), 1);
    expectCode(MediaTimeRange(t(0), MediaTime::positiveInfinity()), t(0), 1);
    expectCode(r(0, 600), t(-1), 1);
    expectCode(r(0, 600), MediaTime::invalid(), 1);
    EXPECT_TRUE(track.isEmpty());
}

TEST(CompositionTrackInsert, RefusesMediaOfAnotherType)
{
    CompositionTrack track(1, MediaType::audio);
    try {
        track.insertTimeRange(r(0, 600), kPicture, t(0));
        FAIL() << "a video track went into an audio track";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), "composition");
        EXPECT_EQ(error.code(), 2);
    }
    EXPECT_TRUE(track.isEmpty());
}

TEST(CompositionTrackInsert, EmptyRangeInsideAnEditSplitsAndShifts)
{
    CompositionTrack track(1, MediaType::video);
    track.insertTimeRange(r(0, 1200), kPicture, t(0));
    track.insertEmptyTimeRange(r(600, 300));
    expectSegments(track, {media(kPicture, r(0, 600), r(0, 600)), empty(r(600, 300)),
                           media(kPicture, r(600, 600), r(900, 600))});
}

// Removing

TEST(CompositionTrackRemove, CutsAcrossEditsAndClosesTheGap)
{
    CompositionTrack track(1, MediaType::audio);
    track.insertTimeRange(r(0, 1200), kMusic, t(0));
    track.insertTimeRange(r(0, 1200), kVoice, t(1200));
    track.removeTimeRange(r(600, 1200));
    expectSegments(track, {media(kMusic, r(0, 600), r(0, 600)), media(kVoice, r(600, 600), r(600, 600))});
}

TEST(CompositionTrackRemove, AnEditBetweenGapsLeavesOneGapAndLaterEditsMoveUp)
{
    // A long track built by appends, then an edit cut out of its middle: the gaps on either
    // side become one, and every later edit starts where the one before it ends.
    CompositionTrack track(1, MediaType::video);
    std::vector<CompositionTrackSegment> expected;
    for (int i = 0; i < 40; ++i) {
        track.insertTimeRange(r(0, 300), kPicture, t(600 * i + 300));
        expected.push_back(empty(r(600 * i, 300)));
        expected.push_back(media(kPicture, r(0, 300), r(600 * i + 300, 300)));
    }
    expectSegments(track, expected);
    track.removeTimeRange(r(600 * 20 + 300, 300));
    expected.erase(expected.begin() + 41, expected.begin() + 43);
    expected[40].targetRange.duration = t(600);
    for (std::size_t i = 41; i < expected.size(); ++i)
        expected[i].targetRange.start = expected[i - 1].targetRange.end();
    expectSegments(track, expected);
    EXPECT_EQ(track.segmentIndex(t(600 * 20 + 450)), 40u);
}

TEST(CompositionTrackRemove, BeyondTheEndChangesNothing)
{
    CompositionTrack track(1, MediaType::audio);
    track.insertTimeRange(r(0, 600), kMusic, t(0));
    track.removeTimeRange(r(1200, 600));
    expectSegments(track, {media(kMusic, r(0, 600), r(0, 600))});
}

// Scaling

TEST(CompositionTrackScale, SqueezesAnEditToPlayFaster)
{
    CompositionTrack track(1, MediaType::audio);
    track.insertTimeRange(r(0, 6000), kMusic, t(600)); // 10 s of source at 1 s
    track.scaleTimeRange(r(600, 6000), t(3000));         // into 5 s
    expectSegments(track, {empty(r(0, 600)), media(kMusic, r(0, 6000), r(600, 3000))});
    EXPECT_EQ(track.timeRange().end(), t(3600));
}

TEST(CompositionTrackScale, StretchesAndShiftsLaterEdits)
{
    CompositionTrack track(1, MediaType::audio);
    track.insertTimeRange(r(0, 600), kMusic, t(0));
    track.insertTimeRange(r(0, 600), kVoice, t(600));
    track.scaleTimeRange(r(0, 600), t(2400));
    expectSegments(track, {media(kMusic, r(0, 600), r(0, 2400)), media(kVoice, r(0, 600), r(2400, 600))});
}

TEST(CompositionTrackScale, SplitsEditsAtTheRangeBoundaries)
{
    CompositionTrack track(1, MediaType::audio);
    track.insertTimeRange(r(0, 1200), kMusic, t(0));
    track.scaleTimeRange(r(300, 600), t(300));
    expectSegments(track, {media(kMusic, r(0, 300), r(0, 300)), media(kMusic, r(300, 600), r(300, 300)),
                           media(kMusic, r(900, 300), r(600, 300))});
}

TEST(CompositionTrackScale, ScalesEveryEditInTheRangeByOneFactor)
{
    CompositionTrack track(1, MediaType::audio);
    track.insertTimeRange(r(0, 600), kMusic, t(0));
    track.insertTimeRange(r(0, 1200), kVoice, t(600));
    track.scaleTimeRange(r(0, 1800), t(900));
    expectSegments(track, {media(kMusic, r(0, 600), r(0, 300)), media(kVoice, r(0, 1200), r(300, 600))});
}

TEST(CompositionTrackScale, SplittingAScaledEditSplitsItsSourceInProportion)
{
    CompositionTrack track(1, MediaType::audio);
    track.insertTimeRange(r(0, 2400), kMusic, t(0));
    track.scaleTimeRange(r(0, 2400), t(1200)); // double speed
    track.insertTimeRange(r(0, 600), kVoice, t(300));
    expectSegments(track, {media(kMusic, r(0, 600), r(0, 300)), media(kVoice, r(0, 600), r(300, 600)),
                           media(kMusic, r(600, 1800), r(900, 900))});
}

TEST(CompositionTrackScale, IgnoresEmptyInvalidAndOutsideRanges)
{
    CompositionTrack track(1, MediaType::audio);
    track.insertTimeRange(r(0, 600), kMusic, t(0));
    track.scaleTimeRange(r(0, 0), t(1200));
    track.scaleTimeRange(r(600, 600), t(1200));
    track.scaleTimeRange(r(0, 600), MediaTime::invalid());
    track.scaleTimeRange(r(0, 600), t(-5));
    expectSegments(track, {media(kMusic, r(0, 600), r(0, 600))});
}

TEST(CompositionTrackScale, NtscTimescalesStayExact)
{
    CompositionTrack track(1, MediaType::audio);
    const MediaTimeRange source(MediaTime(0, 30000), MediaTime(300300, 30000)); // 10.01 s
    track.insertTimeRange(source, kMusic, MediaTime(0, 30000));
    track.scaleTimeRange(MediaTimeRange(MediaTime(0, 30000), MediaTime(300300, 30000)), MediaTime(150150, 30000));
    ASSERT_EQ(track.segments().size(), 1u);
    EXPECT_EQ(track.segments()[0].targetRange.duration, MediaTime(150150, 30000));
    EXPECT_EQ(track.segments()[0].sourceRange.duration, MediaTime(300300, 30000));
}

// Lookup and composition

TEST(CompositionTrackLookup, FindsTheEditPlayingAtATime)
{
    CompositionTrack track(1, MediaType::audio);
    track.insertTimeRange(r(0, 600), kMusic, t(600));
    EXPECT_EQ(track.segmentIndex(t(0)), std::optional<std::size_t>(0));
    EXPECT_EQ(track.segmentIndex(t(599)), std::optional<std::size_t>(0));
    EXPECT_EQ(track.segmentIndex(t(600)), std::optional<std::size_t>(1));
    EXPECT_EQ(track.segmentIndex(t(1199)), std::optional<std::size_t>(1));
    EXPECT_EQ(track.segmentIndex(t(1200)), std::nullopt);
    EXPECT_EQ(track.segmentIndex(t(-1)), std::nullopt);
    EXPECT_EQ(track.segmentIndex(MediaTime::invalid()), std::nullopt);
}

TEST(Composition, NumbersTracksAndRefusesATakenPreferredId)
{
    Composition composition;
    CompositionTrack* first = composition.addMutableTrack(MediaType::audio);
    CompositionTrack* second = composition.addMutableTrack(MediaType::video);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->trackID(), 1);
    EXPECT_EQ(second->trackID(), 2);
    EXPECT_EQ(composition.addMutableTrack(MediaType::audio, 2), nullptr);
    CompositionTrack* seventh = composition.addMutableTrack(MediaType::audio, 7);
    ASSERT_NE(seventh, nullptr);
    EXPECT_EQ(composition.addMutableTrack(MediaType::audio)->trackID(), 8);
    EXPECT_EQ(composition.tracks(MediaType::audio).size(), 3u);
    EXPECT_EQ(composition.tracks(MediaType::video).size(), 1u);
    EXPECT_EQ(composition.track(7), seventh);
    composition.removeTrack(7);
    EXPECT_EQ(composition.track(7), nullptr);
    EXPECT_EQ(first->trackID(), 1); // other tracks stay where they were
}

TEST(Composition, NewIdsFollowTheHighestInUseAndNeverRepeatOne)
{
    Composition composition;
    composition.addMutableTrack(MediaType::video);
    composition.addMutableTrack(MediaType::audio, 5);
    composition.addMutableTrack(MediaType::audio, 3); // below the highest: no effect on the next
    EXPECT_EQ(composition.addMutableTrack(MediaType::audio)->trackID(), 6);
    composition.removeTrack(6);
    composition.removeTrack(5);
    EXPECT_EQ(composition.addMutableTrack(MediaType::audio)->trackID(), 4);
    composition.removeTrack(1);
    EXPECT_EQ(composition.addMutableTrack(MediaType::audio)->trackID(), 5);

    Composition copy = composition;
    EXPECT_EQ(copy.addMutableTrack(MediaType::audio)->trackID(), 6);
    EXPECT_EQ(composition.addMutableTrack(MediaType::audio)->trackID(), 6);
    Composition emptied;
    emptied.addMutableTrack(MediaType::audio);
    emptied.removeTrack(1);
    EXPECT_EQ(emptied.addMutableTrack(MediaType::audio)->trackID(), 1);

    // No identifier above the largest: the composition refuses instead of reusing one.
    Composition full;
    full.addMutableTrack(MediaType::audio);
    ASSERT_NE(full.addMutableTrack(MediaType::audio, std::numeric_limits<int>::max()), nullptr);
    EXPECT_EQ(full.addMutableTrack(MediaType::audio), nullptr);
    EXPECT_EQ(full.tracks().size(), 2u);
}

TEST(Composition, DurationIsTheLongestTrack)
{
    Composition composition;
    EXPECT_EQ(composition.duration(), MediaTime::zero());
    composition.addMutableTrack(MediaType::audio)->insertTimeRange(r(0, 600), kMusic, t(1200));
    composition.addMutableTrack(MediaType::audio)->insertTimeRange(r(0, 600), kVoice, t(0));
    EXPECT_EQ(composition.duration(), t(1800));
}

TEST(Composition, CopiesAreIndependent)
{
    Composition composition;
    composition.addMutableTrack(MediaType::audio)->insertTimeRange(r(0, 600), kMusic, t(0));
    Composition copy = composition;
    copy.track(1)->insertTimeRange(r(0, 600), kVoice, t(0));
    EXPECT_EQ(composition.duration(), t(600));
    EXPECT_EQ(copy.duration(), t(1200));
}

} // namespace
} // namespace velmora
