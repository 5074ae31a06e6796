#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "editing/TimelineFrameMap.h"

namespace velmora {
namespace {

ClipTiming clip(const std::string& source, double start, double duration, double inPoint = 0, int lane = 1)
{
    ClipTiming timing;
    timing.sourceId = source;
    timing.lane = lane;
    timing.start = start;
    timing.duration = duration;
    timing.inPoint = inPoint;
    timing.picture = true;
    return timing;
}

SourceVideo video(double end, double rate)
{
    return SourceVideo{end, rate, false, std::nullopt};
}

TEST(TimelineFrameMap, AClipShowsFromTheFirstFrameStartingAtOrAfterItsStartAtEveryRate)
{
    // A clip at 5.0 s and one at 1.01 s (both off the grid at the 1001-based rates).
    for (const double fps : {12.5, 24000.0 / 1001, 25.0, 30000.0 / 1001, 60000.0 / 1001}) {
        const FrameGrid grid = FrameGrid::ofRate(fps);
        const TimelineFrameMap map({clip("a", 5.0, 2.0, 1.0), clip("b", 1.01, 1.0)}, grid,
                                   {{"a", video(60, 25)}, {"b", video(60, 25)}});
        const std::int64_t first = static_cast<std::int64_t>(std::ceil(5.0 * grid.rate() - 1e-6));
        EXPECT_TRUE(map.frame(first - 1).gap()) << fps;
        EXPECT_EQ(map.frame(first).clip, std::optional<std::size_t>(0)) << fps;
        EXPECT_DOUBLE_EQ(map.frame(first).sourceTime, 1.0 + (grid.start(first) - 5.0)) << fps;
        EXPECT_EQ(map.firstFrameAtOrAfter(5.0), first) << fps;
        const std::int64_t firstB = map.firstFrameAtOrAfter(1.01);
        EXPECT_GE(grid.start(firstB), 1.01 - 1e-6) << fps;
        EXPECT_LT(grid.start(firstB - 1), 1.01) << fps;
        EXPECT_EQ(map.frame(firstB).clip, std::optional<std::size_t>(1)) << fps;
        EXPECT_TRUE(map.frame(firstB - 1).gap()) << fps;
    }
    // At 29.97 a cut at 5.0 s is first seen on frame 150 (frame 149 starts at 4.9716 s).
    EXPECT_EQ(TimelineFrameMap::firstFrameAtOrAfter(FrameGrid::ofRate(30000.0 / 1001), 5.0), 150);
}

TEST(TimelineFrameMap, ALowerLaneWinsThenTheLaterStart)
{
    const FrameGrid grid = FrameGrid::ofRate(25);
    const TimelineFrameMap map({clip("a", 0, 4), clip("b", 1, 1, 0, 2), clip("c", 2, 1), clip("d", 2, 1)}, grid, {});
    EXPECT_EQ(map.frame(30).clip, std::optional<std::size_t>(0));    // lane 2 under lane 1
    EXPECT_EQ(map.frame(60).clip, std::optional<std::size_t>(2));    // later start; tie keeps the first
    EXPECT_EQ(map.frame(60).sourceId, std::optional<std::string>("c"));
    EXPECT_EQ(map.frame(60).sourceFrame, std::nullopt);             // no rate known
    EXPECT_TRUE(map.frame(100).gap());
}

TEST(TimelineFrameMap, SourceFramesFollowSpeedAndTheFilesRate)
{
    const FrameGrid grid = FrameGrid::ofRate(25);
    ClipTiming fast = clip("a", 0, 2, 1.0);
    fast.speed = 2;
    ClipTiming percent = clip("b", 2, 2, 0.0);
    percent.speed = 50; // read as 50 %
    const TimelineFrameMap map({fast, percent}, grid, {{"a", video(20, 25)}, {"b", video(20, 30000.0 / 1001)}});
    EXPECT_EQ(map.frame(0).sourceFrame, std::optional<std::int64_t>(25));
    EXPECT_EQ(map.frame(10).sourceFrame, std::optional<std::int64_t>(45));
    EXPECT_DOUBLE_EQ(map.frame(60).sourceTime, 0.2);
    // 0.2 s at 29.97: frame 5.994 → the first frame starting at or after it, 6.
    EXPECT_EQ(map.frame(60).sourceFrame, std::optional<std::int64_t>(6));
}

TEST(TimelineFrameMap, ARampIntegratesItsSpeedAndHoldsWithinItsOutPoint)
{
    ClipTiming ramp = clip("a", 0, 10, 1);
    ramp.speedKeyframes = {{0, 1, std::nullopt}, {5, 1, std::nullopt}, {10, 2, std::nullopt}};
    EXPECT_TRUE(TimelineFrameMap::usesRamp(ramp));
    EXPECT_DOUBLE_EQ(TimelineFrameMap::sourceOffset(ramp, 7.5), 5 + 2.5 * 1.25);
    EXPECT_DOUBLE_EQ(TimelineFrameMap::sourceTime(ramp, 7.5), 1 + 5 + 2.5 * 1.25);
    ramp.speedKeyframes = {{0, 4, std::nullopt}, {10, 4, std::nullopt}};
    EXPECT_DOUBLE_EQ(TimelineFrameMap::sourceTime(ramp, 5), 11); // in + 10 · 1, the clip's own span
    ramp.outPoint = 15;
    EXPECT_DOUBLE_EQ(TimelineFrameMap::sourceTime(ramp, 5), 15);
    EXPECT_DOUBLE_EQ(TimelineFrameMap::sourceTime(ramp, 1), 5);
}

TEST(TimelineFrameMap, PastTheEndOfTheFilesVideoIsAGap)
{
    // A 12 s clip of a 10 s file at 25 fps: frames 0–249 show source frames 0–249, 250–299 black.
    const FrameGrid grid = FrameGrid::ofRate(25);
    const TimelineFrameMap map({clip("a", 0, 12)}, grid, {{"a", video(10, 25)}});
    EXPECT_EQ(map.frame(249).sourceFrame, std::optional<std::int64_t>(249));
    for (const std::int64_t n : {250, 275, 299}) {
        EXPECT_TRUE(map.frame(n).gap()) << n;
        EXPECT_EQ(map.clipAt(n), std::optional<std::size_t>(0)) << n;
    }
    EXPECT_TRUE(map.frame(300).gap());
    // A source time inside the last frame whose next frame would start at the end: a gap too.
    const TimelineFrameMap offGrid({clip("a", 0, 12, 0.01)}, grid, {{"a", video(10, 25)}});
    EXPECT_EQ(offGrid.frame(248).sourceFrame, std::optional<std::int64_t>(249));
    EXPECT_TRUE(offGrid.frame(249).gap());
    // A still never runs out.
    const SourceVideo picture{std::nullopt, std::nullopt, true, std::nullopt};
    const TimelineFrameMap still({clip("a", 0, 12)}, grid, {{"a", picture}});
    EXPECT_EQ(still.frame(299).sourceFrame, std::optional<std::int64_t>(0));
}

TEST(TimelineFrameMap, TimingIsReadAlikeFromJobAndSessionClips)
{
    EditorJobV2::Clip job;
    job.type = " Video ";
    job.sourceId = "s";
    job.startTime = 0.04;
    job.duration = 2;
    job.inPoint = -1;
    job.track = 2;
    EditSession::Clip session("c");
    session.type = "video";
    session.sourceId = "s";
    session.startTime = 0.04;
    session.duration = 2;
    session.inPoint = -1;
    session.track = 2;
    const ClipTiming fromJob = ClipTiming::of(job, false);
    const ClipTiming fromSession = ClipTiming::of(session);
    for (const ClipTiming& timing : {fromJob, fromSession}) {
        EXPECT_TRUE(timing.picture);
        EXPECT_EQ(timing.lane, 2);
        EXPECT_DOUBLE_EQ(timing.start, 0.04);
        EXPECT_DOUBLE_EQ(timing.inPoint, 0);
    }
    job.type = "image";
    EXPECT_FALSE(ClipTiming::of(job, false).picture);
    EXPECT_TRUE(ClipTiming::of(job, true).picture);
}

// Pieces of one file cut apart and put back to back play on as one stream.
class ContinuedInPoints : public ::testing::Test {
protected:
    // A video clip of source s1, as a job holds it or (Clip = EditSession::Clip) as the editor's
    // session does.
    template <typename Clip>
    static Clip videoClip(Clip c, double start, double duration, double inPoint)
    {
        c.type = "video";
        c.sourceId = "s1";
        c.startTime = start;
        c.duration = duration;
        c.inPoint = inPoint;
        return c;
    }
    static EditorJobV2::Clip jobClip(const std::optional<std::string>& id, double start, double duration = 1,
                                     double inPoint = 0)
    {
        EditorJobV2::Clip c;
        c.id = id;
        return videoClip(c, start, duration, inPoint);
    }
    static EditSession::Clip sessionClip(const std::string& id, double start, double duration, double inPoint)
    {
        return videoClip(EditSession::Clip(id), start, duration, inPoint);
    }

    static std::vector<double> inPoints(const std::vector<EditorJobV2::Clip>& clips,
                                        const std::map<std::string, double>& fileDurations = {})
    {
        std::vector<ClipTiming> timings;
        for (const auto& c : clips) {
            timings.push_back(ClipTiming::of(c, false));
        }
        std::map<std::string, SourceVideo> sources;
        for (const auto& [id, duration] : fileDurations) {
            sources[id].duration = duration;
        }
        return TimelineFrameMap::continuedInPoints(timings, sources);
    }

    EditorJobV2::Clip first = jobClip("one", 0, 2, 1); // source 1 ... 3
};

TEST_F(ContinuedInPoints, TheFirstClipKeepsItsInPoint)
{
    EXPECT_EQ(inPoints({first}), (std::vector<double>{1}));
}

TEST_F(ContinuedInPoints, AClipCloseBehindKeepsAnInPointWithinTolerance)
{
    EXPECT_EQ(inPoints({first, jobClip("two", 2.05, 1, 2.98)}), (std::vector<double>{1, 2.98}));
}

TEST_F(ContinuedInPoints, AClipCloseBehindResumesWhereThePreviousStopped)
{
    EXPECT_EQ(inPoints({first, jobClip("two", 2.05, 1, 2.0)}), (std::vector<double>{1, 3}));
    // Found by start, not by stored order; an overlap continues too.
    EXPECT_EQ(inPoints({jobClip("two", 1.5, 1, 0), first}), (std::vector<double>{3, 1}));
}

TEST_F(ContinuedInPoints, AGapAnotherSourceOrAnotherKindBreaksTheContinuation)
{
    EXPECT_EQ(inPoints({first, jobClip("gap", 2.1, 1, 2.0)}), (std::vector<double>{1, 2}));
    EditorJobV2::Clip other = jobClip("other", 2.0, 1, 2.0);
    other.sourceId = "s2";
    EXPECT_EQ(inPoints({first, other}), (std::vector<double>{1, 2}));
    // A video clip of another source between them breaks it too.
    EditorJobV2::Clip between = jobClip("between", 2.0, 0.01, 0);
    between.sourceId = "s2";
    EXPECT_EQ(inPoints({first, between, jobClip("two", 2.01, 1, 2.0)}), (std::vector<double>{1, 0, 2}));
    // Images are not read as pieces of a stream.
    EditorJobV2::Clip image = jobClip("image", 2.0, 1, 2.0);
    image.type = "image";
    EXPECT_EQ(inPoints({first, image}), (std::vector<double>{1, 2}));
}

TEST_F(ContinuedInPoints, ThePreviousEndIsLimitedByItsFileAndReadAtItsSpeed)
{
    EXPECT_EQ(inPoints({first, jobClip("two", 2.0, 1, 0.5)}, {{"s1", 2.5}}), (std::vector<double>{1, 2.5}));
    // The first ran past its file's end: the second never shows the file's tail again, as after
    // a session's loading, which continues it from 3.
    EXPECT_EQ(inPoints({first, jobClip("two", 2.0, 1, 2.47)}, {{"s1", 2.5}}), (std::vector<double>{1, 2.5}));
    // A file of 0.05 s or less is not a length.
    EXPECT_EQ(inPoints({first, jobClip("two", 2.0, 1, 0.5)}, {{"s1", 0.04}}), (std::vector<double>{1, 3}));
    EditorJobV2::Clip fast = first;
    fast.speed = 150; // 1.5x: source 1 ... 4
    EXPECT_EQ(inPoints({fast, jobClip("two", 2.0, 1, 0)}), (std::vector<double>{1, 4}));
    EditorJobV2::Clip longer = first;
    longer.outPoint = 5;
    EXPECT_EQ(inPoints({longer, jobClip("two", 2.0, 1, 0)}), (std::vector<double>{1, 5}));
}

TEST_F(ContinuedInPoints, ClipsWithoutIdAreFoundBySourceStartLaneAndInPoint)
{
    EditorJobV2::Clip a = first;
    a.id.reset();
    EditorJobV2::Clip b = jobClip(std::nullopt, 2.0, 1, 0);
    EXPECT_EQ(inPoints({a, b}), (std::vector<double>{1, 3}));
    EditorJobV2::Clip noSource = b;
    noSource.sourceId.reset();
    noSource.inPoint = -2;
    EXPECT_EQ(inPoints({a, noSource}), (std::vector<double>{1, 0}));
    // Two clips of one key are both placed where the first of them sorts.
    EXPECT_EQ(ClipTiming::of(a, false).key, "s1|0.0|0|1.0");
    EditorJobV2::Clip again = jobClip("two", 2.0, 1, 0);
    EditorJobV2::Clip twin = jobClip("two", 2.0, 1, 0);
    twin.track = 2;
    EXPECT_EQ(inPoints({first, again, twin}), (std::vector<double>{1, 3, 3}));
}

TEST_F(ContinuedInPoints, TheMapReadsSessionAndJobClipsFromTheirContinuedInPoints)
{
    // A session clip moved behind another piece of its file after loading continues as a job's.
    const EditSession::Clip cut = sessionClip("cut", 0, 2, 1);
    const EditSession::Clip moved = sessionClip("moved", 2, 1, 0);
    const FrameGrid grid = FrameGrid::ofRate(25);
    const std::map<std::string, SourceVideo> sources{{"s1", SourceVideo{10.0, 25.0, false, 10.0}}};
    const TimelineFrameMap session({ClipTiming::of(cut), ClipTiming::of(moved)}, grid, sources);
    const TimelineFrameMap job({ClipTiming::of(first, false), ClipTiming::of(jobClip("two", 2, 1, 0), false)}, grid,
                               sources);
    for (const TimelineFrameMap* map : {&session, &job}) {
        EXPECT_DOUBLE_EQ(map->clips()[1].inPoint, 3);
        EXPECT_EQ(map->frame(49).sourceFrame, std::optional<std::int64_t>(74));
        EXPECT_EQ(map->frame(50).sourceFrame, std::optional<std::int64_t>(75));
    }
}

// The runs a composition is laid out from give clipAt's answer on every frame, and a clip's
// file end is the first frame on which clipFrame gives a gap: on seeded timelines of many lanes,
// speeds, shared starts, clips off the grid, clips longer than their files and clips that are
// not pictures.
TEST(TimelineFrameMap, RunsAndFileEndsGiveTheRulesAnswerOnEveryFrame)
{
    std::mt19937 random(56);
    const auto uniform = [&random](double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    };
    for (int seed = 0; seed < 40; ++seed) {
        SCOPED_TRACE(seed);
        const FrameGrid grid = FrameGrid::ofRate(seed % 2 ? 25.0 : 30000.0 / 1001);
        std::vector<ClipTiming> clips;
        for (int k = 0; k < 12; ++k) {
            ClipTiming timing = clip(k % 3 ? "short" : "long", k % 4 == 3 ? 2.0 : std::round(uniform(0, 8) * 100) / 100,
                                     uniform(0.02, 4), uniform(0, 1.5), 1 + k % 3);
            timing.speed = std::vector<double>{1, 1.5, 2, 0.5}[static_cast<std::size_t>(k % 4)];
            timing.picture = k != 5;
            clips.push_back(timing);
        }
        const TimelineFrameMap map(clips, grid, {{"short", video(2, 25)}, {"long", video(30, 25)}});
        const std::int64_t end = map.firstFrameAtOrAfter(14.0);
        const std::vector<FrameRun> runs = map.runs(-3, end);
        ASSERT_FALSE(runs.empty());
        EXPECT_EQ(runs.front().first, -3);
        EXPECT_EQ(runs.back().end, end);
        for (std::size_t r = 0; r < runs.size(); ++r) {
            if (r > 0) {
                EXPECT_EQ(runs[r].first, runs[r - 1].end);
                EXPECT_NE(runs[r].clip, runs[r - 1].clip);
            }
            const std::int64_t fileEnd =
                runs[r].clip ? map.fileEndFrame(*runs[r].clip, runs[r].first, runs[r].end) : runs[r].end;
            for (std::int64_t frame = runs[r].first; frame < runs[r].end; ++frame) {
                ASSERT_EQ(runs[r].clip, map.clipAt(frame)) << frame;
                const ShownFrame shown = map.frame(frame);
                EXPECT_EQ(shown.gap(), !runs[r].clip || frame >= fileEnd) << frame;
                if (!shown.gap()) {
                    EXPECT_EQ(shown, map.clipFrame(*runs[r].clip, frame)) << frame;
                }
            }
        }
    }
    EXPECT_TRUE(TimelineFrameMap().runs(5, 5).empty());
}

} // namespace
} // namespace velmora
