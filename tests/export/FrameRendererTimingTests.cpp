#include <gtest/gtest.h>

#include "export/TimelineFrameRenderer.h"

namespace velmora::Exporter {
namespace {

using Clip = EditorJobV2::Clip;
using Keyframes = std::vector<EditorJobV2::SpeedKeyframe>;

Clip clip(const std::string& id, const std::string& type, int lane, double start, double duration)
{
    Clip c;
    c.id = id;
    c.type = type;
    c.sourceId = "s";
    c.track = lane;
    c.startTime = start;
    c.duration = duration;
    return c;
}

// The clip the frame starting at t shows, on frames of 1/25 s.
std::string idAt(const std::vector<Clip>& clips, double t, bool images = true)
{
    std::vector<ClipTiming> timings;
    for (const Clip& c : clips) {
        timings.push_back(ClipTiming::of(c, images));
    }
    const TimelineFrameMap map(timings, FrameGrid::ofRate(25), {});
    const auto index = map.clipAt(std::llround(t * 25));
    return index ? clips[*index].id.value_or("?") : "none";
}

double remapSourceOffset(double local, const Clip& c)
{
    return TimelineFrameMap::sourceOffset(ClipTiming::of(c, false), local);
}

// The source time at timeline time t of a clip, before any end of its file.
double clipSourceTime(const Clip& c, double t)
{
    return TimelineFrameMap::sourceTime(ClipTiming::of(c, false), t - c.startTime.value_or(0));
}

TEST(ActiveVisualClip, LaneOneIsOnTop)
{
    const std::vector<Clip> clips = {clip("v2", "video", 2, 0, 10), clip("v1", "video", 1, 2, 2)};
    EXPECT_EQ(idAt(clips, 1), "v2");
    EXPECT_EQ(idAt(clips, 3), "v1");
    EXPECT_EQ(idAt(clips, 4.5), "v2");
}

TEST(ActiveVisualClip, OnOneLaneTheLaterStartWins)
{
    const std::vector<Clip> clips = {clip("a", "video", 1, 0, 5), clip("b", "video", 1, 2, 1),
                                     clip("c", "video", 1, 0, 5)};
    EXPECT_EQ(idAt(clips, 2.5), "b");
    EXPECT_EQ(idAt(clips, 4), "a"); // a full tie keeps the earlier clip
}

TEST(ActiveVisualClip, ACutShowsEachClipOnItsOwnFrames)
{
    const std::vector<Clip> clips = {clip("a", "video", 1, 0, 1), clip("b", "video", 1, 1, 1)};
    EXPECT_EQ(idAt(clips, 0.96), "a");
    EXPECT_EQ(idAt(clips, 1.0), "b");
    EXPECT_EQ(idAt(clips, 1.96), "b");
    EXPECT_EQ(idAt(clips, 2.0), "none");
}

TEST(ActiveVisualClip, AClipShowsFromTheFirstFrameStartingAtOrAfterItsStart)
{
    // As the monitor shows it: each frame shows what lies at its start. Clips that meet between
    // frames share none and leave none empty; a gap between frames blackens the frame it holds.
    const std::vector<Clip> clips = {clip("a", "video", 1, 0.01, 0.38), clip("b", "video", 1, 0.39, 0.02),
                                     clip("c", "video", 1, 0.41, 1)};
    EXPECT_EQ(idAt(clips, 0.0), "none");
    EXPECT_EQ(idAt(clips, 0.04), "a");
    EXPECT_EQ(idAt(clips, 0.36), "a");
    EXPECT_EQ(idAt(clips, 0.40), "b");
    EXPECT_EQ(idAt(clips, 0.44), "c");
    EXPECT_EQ(idAt(clips, 1.40), "c");
    EXPECT_EQ(idAt(clips, 1.44), "none");
}

TEST(ActiveVisualClip, AGapIsEmptyToItsEdges)
{
    const std::vector<Clip> clips = {clip("a", "video", 1, 0, 0.4), clip("b", "video", 1, 0.8, 0.4)};
    EXPECT_EQ(idAt(clips, 0.36), "a");
    EXPECT_EQ(idAt(clips, 0.40), "none");
    EXPECT_EQ(idAt(clips, 0.76), "none");
    EXPECT_EQ(idAt(clips, 0.80), "b");
}

TEST(ActiveVisualClip, ImagesNeedTheirSwitchAndTypesAreTrimmed)
{
    const std::vector<Clip> clips = {clip("img", " Image ", 1, 0, 2), clip("vid", "VIDEO", 2, 0, 2),
                                     clip("txt", "text", 0, 0, 2), clip("snd", "audio", 0, 0, 2)};
    EXPECT_EQ(idAt(clips, 1, true), "img");
    EXPECT_EQ(idAt(clips, 1, false), "vid");
}

TEST(ActiveVisualClip, ClipsWithoutDurationAreNeverShown)
{
    Clip noDuration = clip("x", "video", 1, 0, 1);
    noDuration.duration.reset();
    EXPECT_EQ(idAt({noDuration, clip("zero", "video", 1, 0, 0)}, 0.5), "none");
}

Clip ramp(double duration, Keyframes keyframes, std::optional<double> speed = std::nullopt)
{
    Clip c = clip("r", "video", 1, 0, duration);
    c.speedKeyframes = std::move(keyframes);
    c.speed = speed;
    return c;
}

TEST(RemapSourceOffset, FractionsOfALongClip)
{
    // 1x over the first half, then 1x to 3x over the second (10 s clip: times 0, 5, 10 s).
    const Clip c = ramp(10, {{0, 1, {}}, {0.5, 1, {}}, {1, 3, {}}});
    EXPECT_DOUBLE_EQ(remapSourceOffset(4, c), 4);
    EXPECT_DOUBLE_EQ(remapSourceOffset(10, c), 5 + 5 * 2);
    EXPECT_DOUBLE_EQ(remapSourceOffset(7.5, c), 5 + 2.5 * (1 + 2) / 2);
}

TEST(RemapSourceOffset, PercentOfALongClip)
{
    const Clip c = ramp(10, {{0, 100, {}}, {50, 100, {}}, {100, 300, {}}});
    EXPECT_DOUBLE_EQ(remapSourceOffset(10, c), 15);
}

TEST(RemapSourceOffset, SecondsOnAShortClip)
{
    // On a 2 s clip the times 0, 0.5, 1 are seconds: 1x until 0.5 s, 1x to 3x until 1 s, 3x after.
    const Clip c = ramp(2, {{0, 1, {}}, {0.5, 1, {}}, {1, 3, {}}});
    EXPECT_DOUBLE_EQ(remapSourceOffset(2, c), 0.5 + 0.5 * 2 + 1 * 3);
}

TEST(RemapSourceOffset, PercentSpeedsRampLinearly)
{
    const Clip c = ramp(4, {{0, 100, {}}, {4, 200, {}}});
    EXPECT_DOUBLE_EQ(remapSourceOffset(4, c), 4 * 1.5);
    EXPECT_DOUBLE_EQ(remapSourceOffset(2, c), 2 * (1 + 1.5) / 2);
}

TEST(RemapSourceOffset, TheFirstSpeedHoldsBeforeTheFirstKeyframe)
{
    const Clip c = ramp(4, {{2, 2, {}}, {1, 2, {}}, {3, 4, {}}}); // sorted: 1, 2, 3 s
    EXPECT_DOUBLE_EQ(remapSourceOffset(0.5, c), 1.0);
    EXPECT_DOUBLE_EQ(remapSourceOffset(-1, c), 0.0);
    EXPECT_DOUBLE_EQ(remapSourceOffset(9, c), 1 * 2 + 1 * 2 + 1 * 3 + 1 * 4);
}

TEST(ClipSourceTime, ReadsSpeedAsFactorOrPercent)
{
    Clip c = clip("c", "video", 1, 10, 4);
    c.inPoint = 1;
    c.speed = 150;
    EXPECT_DOUBLE_EQ(clipSourceTime(c, 12), 1 + 2 * 1.5);
    c.speed = 0.5;
    EXPECT_DOUBLE_EQ(clipSourceTime(c, 12), 2);
}

// The picture plays at the rate the monitor and the export's sound play: a clip 5 s in, from in
// point 0, shows source time 5 × 0.0625 for speeds at or below the floor, and a speed of 20 is
// 20 % of normal speed.
TEST(ClipSourceTime, SlowZeroNegativeAndPercentSpeedsPlayAtTheClipsRate)
{
    Clip c = clip("c", "video", 1, 0, 10);
    for (const double speed : {0.02, 0.03, 0.0, -1.0, -150.0}) {
        c.speed = speed;
        EXPECT_DOUBLE_EQ(clipSourceTime(c, 5), 0.3125) << speed;
    }
    c.speed = 20;
    EXPECT_DOUBLE_EQ(clipSourceTime(c, 5), 1.0);
    c.speed = 10;
    EXPECT_DOUBLE_EQ(clipSourceTime(c, 5), 50.0);
}

TEST(ClipSourceTime, StaysWithinTheInPointAndTheClipsOwnSpan)
{
    Clip c = clip("c", "video", 1, 0, 10);
    c.inPoint = 1;
    EXPECT_DOUBLE_EQ(clipSourceTime(c, 8), 9);
    EXPECT_DOUBLE_EQ(clipSourceTime(c, -3), 1); // never before the in point
    EXPECT_DOUBLE_EQ(clipSourceTime(c, 12), 11);
}

TEST(ClipSourceTime, UsesTheRampOnlyWhenASpeedDiffers)
{
    Clip flat = ramp(10, {{0, 1, {}}, {1, 1.005, {}}}, 2.0);
    EXPECT_DOUBLE_EQ(clipSourceTime(flat, 3), 6); // constant path, speed 2
    Clip ramped = ramp(10, {{0, 1, {}}, {1, 3, {}}}, 2.0);
    EXPECT_DOUBLE_EQ(clipSourceTime(ramped, 10), 20);
}

TEST(ClipKeys, ReaderKeyJoinsSourceTimesLaneAndId)
{
    Clip c = clip("c7", "video", 3, 2, 4);
    EXPECT_EQ(clipReaderKey(c, 0.5, 4.5), "s|2.0|0.5|4.5|3|c7");
    c.track.reset();
    c.id.reset();
    c.sourceId.reset();
    c.startTime.reset();
    EXPECT_EQ(clipReaderKey(c, 0, 1), "|0.0|0.0|1.0|0|");
}

TEST(ClipKeys, LutKeyIsTheIdElseSourceAndStart)
{
    Clip c = clip("c7", "video", 3, 12.5, 4);
    EXPECT_EQ(clipLutKey(c), "c7");
    c.id.reset();
    EXPECT_EQ(clipLutKey(c), "s|12.5");
    c.sourceId.reset();
    c.startTime.reset();
    EXPECT_EQ(clipLutKey(c), "|0.0");
}

} // namespace
} // namespace velmora::Exporter
