#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "JobExportFixtures.h"
#include "export/FastSingleClipPath.h"
#include "export/JobRouting.h"
#include "export/TimelineExportSetup.h"
#include "platform/foundation/Error.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

namespace velmora::Exporter {
namespace {

using nlohmann::json;
using test::TempDir;

json videoClipJson(const std::string& id, double start = 0, double duration = 1, double inPoint = 0)
{
    return {{"id", id}, {"type", "video"}, {"sourceId", "s1"}, {"track", 1},
            {"startTime", start}, {"duration", duration}, {"inPoint", inPoint}};
}

using test::timelineJob;

EditorJobV2 decode(const json& job)
{
    return EditorJobV2::fromJSON(job.dump());
}

// A media folder holding a.mp4: 40 frame-stamped frames, 160 × 96 at 25 fps.
class FastPathMedia : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(media());
        test::ClipSettings clipSettings;
        clipSettings.frameCount = 40;
        clipSettings.videoArgs = "-preset ultrafast -qp 0";
        test::makeClip(media() / "a.mp4", clipSettings);
        asset_ = Asset::open(media() / "a.mp4");
    }

    std::filesystem::path media() const { return dir_ / "media"; }

    // Whether the export streams a job the fast path recognises.
    bool keeps(const json& job, const ResolvedMedia* resolved = nullptr)
    {
        const EditorJobV2 decoded = decode(job);
        EXPECT_TRUE(fastSingleClipCandidate(decoded, media(), resolved));
        return fastPathFor(decoded, std::nullopt, media(), resolved).has_value();
    }

    bool recognised(const json& job) { return fastSingleClipCandidate(decode(job), media()).has_value(); }

    TempDir dir_;
    std::shared_ptr<const Asset> asset_;
};

TEST_F(FastPathMedia, RecognisesOneVideoClipWithItsSourceFile)
{
    const auto candidate = fastSingleClipCandidate(decode(timelineJob({videoClipJson("v1")})), media());
    ASSERT_TRUE(candidate);
    EXPECT_EQ(candidate->clip.id, "v1");
    EXPECT_EQ(candidate->inputURL, media() / "a.mp4");
}

TEST_F(FastPathMedia, OtherClipKindsOnTheTimelineSendTheJobToTheTimelineExport)
{
    for (const char* kind : {"text", "image", "audio", "sound", " Audio\n", "TEXT"}) {
        json other = videoClipJson("x", 0, 1);
        other["type"] = kind;
        EXPECT_FALSE(recognised(timelineJob({videoClipJson("v1"), other}))) << kind;
    }
    // Kinds of no meaning to the export are passed over.
    json odd = videoClipJson("x");
    odd["type"] = "adjustment";
    EXPECT_TRUE(recognised(timelineJob({videoClipJson("v1"), odd})));
    json untyped = videoClipJson("y");
    untyped.erase("type");
    EXPECT_TRUE(recognised(timelineJob({untyped, videoClipJson("v1")})));
}

TEST_F(FastPathMedia, NeedsExactlyOneVideoClip)
{
    EXPECT_FALSE(recognised(timelineJob({})));
    EXPECT_FALSE(recognised(timelineJob({videoClipJson("v1"), videoClipJson("v2", 1)})));
    json upper = videoClipJson("v1");
    upper["type"] = "VIDEO";
    EXPECT_TRUE(recognised(timelineJob({upper})));
    // Counted as the one video clip, but not streamed as written with blanks.
    upper["type"] = " Video ";
    EXPECT_FALSE(recognised(timelineJob({upper})));
    json noJobs = timelineJob({videoClipJson("v1")});
    noJobs["timelines"] = json::array();
    EXPECT_FALSE(recognised(noJobs));
}

TEST_F(FastPathMedia, UsesTheActiveTimeline)
{
    json job = timelineJob({videoClipJson("v1")});
    json text = videoClipJson("t");
    text["type"] = "text";
    job["timelines"].push_back({{"id", "t2"}, {"clips", json::array({videoClipJson("v2"), text})}});
    EXPECT_TRUE(recognised(job));
    job["project"]["activeTimelineId"] = "t2";
    EXPECT_FALSE(recognised(job));
    job["project"]["activeTimelineId"] = "nothing";
    EXPECT_TRUE(recognised(job));
}

TEST_F(FastPathMedia, TheClipMustStartAtZeroAndPlayAtNormalSpeed)
{
    EXPECT_TRUE(recognised(timelineJob({videoClipJson("v1", 0.04)})));
    EXPECT_TRUE(recognised(timelineJob({videoClipJson("v1", -0.04)})));
    EXPECT_FALSE(recognised(timelineJob({videoClipJson("v1", 0.05)})));
    for (const auto& [speed, taken] : std::vector<std::pair<double, bool>>{{1.005, true}, {100, true}, {1.5, false}}) {
        json clip = videoClipJson("v1");
        clip["speed"] = speed;
        EXPECT_EQ(recognised(timelineJob({clip})), taken) << speed;
    }
    json ramp = videoClipJson("v1");
    ramp["speedKeyframes"] = json::array({{{"time", 0}, {"speed", 1}}, {{"time", 1}, {"speed", 2}}});
    EXPECT_FALSE(recognised(timelineJob({ramp})));
}

TEST_F(FastPathMedia, TheClipNeedsASourceWithAFile)
{
    json clip = videoClipJson("v1");
    clip.erase("sourceId");
    EXPECT_FALSE(recognised(timelineJob({clip})));

    // A folder without media: neither the resolver nor the file name finds it.
    TempDir empty;
    EXPECT_FALSE(fastSingleClipCandidate(decode(timelineJob({videoClipJson("v1")})), empty.path()));
    // The file by its name directly in the folder.
    std::filesystem::copy_file(media() / "a.mp4", empty / "a.mp4");
    const auto found = fastSingleClipCandidate(decode(timelineJob({videoClipJson("v1")})), empty.path());
    ASSERT_TRUE(found);
    EXPECT_EQ(found->inputURL, empty / "a.mp4");
}

TEST_F(FastPathMedia, APlainClipKeepsTheTimelineResult)
{
    EXPECT_TRUE(keeps(timelineJob({videoClipJson("v1")})));
    json clip = videoClipJson("v1");
    clip["fadeIn"] = 0.02;
    clip["fadeOut"] = 0;
    clip["opacity"] = 1.5;
    clip["grade"] = {{"gradeParams", {{"exposure", 0}, {"moodKey", "sony_venice"}}}};
    EXPECT_TRUE(keeps(timelineJob({clip})));
}

TEST_F(FastPathMedia, AClipGradeIsLeftToTheTimelineExport)
{
    json lut = videoClipJson("v1");
    lut["grade"] = {{"hasLut", true}, {"lutData", test::constantCubeText(0.1, 0.2, 0.3)}};
    EXPECT_FALSE(keeps(timelineJob({lut})));

    std::filesystem::create_directories(media() / "luts");
    test::writeTextFile(media() / "luts" / "look.cube", test::identityCubeText());
    json lutFile = videoClipJson("v1");
    lutFile["grade"] = {{"hasLut", true}, {"lutFile", "look.cube"}};
    EXPECT_FALSE(keeps(timelineJob({lutFile})));
    // The job's export asks the LUT answers it was handed with the job (the editor's, decided
    // once), not the disk again: a LUT file gone since the editor found it still grades the clip,
    // so the timeline export renders it rather than the fast path streaming it ungraded.
    test::writeTextFile(media() / "luts" / "look.cube", test::constantCubeText(0.1, 0.2, 0.3));
    const EditorJobV2 job = decode(timelineJob({lutFile}));
    const ResolvedMedia handedOver{media(), resolveTimelineSourceFiles(job, media()),
                                   timelineLuts(job, job.timelines.at(0), media(), std::nullopt)};
    std::filesystem::remove(media() / "luts" / "look.cube");
    test::writeJobFile(dir_ / "look_job.json", timelineJob({lutFile}));
    std::mutex reported;
    std::vector<std::string> phases;
    exportJob(dir_ / "look_job.json", std::nullopt, std::nullopt, media(), dir_ / "graded.mov", std::nullopt,
              "rec709", 1, 1, 0, 0,
              [&](const TimelineExportProgress& progress) {
                  const std::lock_guard lock(reported);
                  phases.push_back(progress.phase);
              },
              {}, &handedOver);
    EXPECT_EQ(std::count(phases.begin(), phases.end(), "Done (fast single-clip)"), 0);
    const std::vector<PixelBuffer> frames = test::decodedFrames(dir_ / "graded.mov");
    ASSERT_EQ(frames.size(), 25u);
    const Color graded = test::meanColor(frames.back());
    EXPECT_NEAR(graded.r, 0.1, 0.02);
    EXPECT_NEAR(graded.g, 0.2, 0.02);
    EXPECT_NEAR(graded.b, 0.3, 0.02);

    json basic = videoClipJson("v1");
    basic["grade"] = {{"gradeParams", {{"exposure", 0.5}}}};
    EXPECT_FALSE(keeps(timelineJob({basic})));

    json mood = videoClipJson("v1");
    mood["grade"] = {{"gradeParams", {{"isMoodEnabled", true}, {"moodKey", "sony_venice"}}}};
    EXPECT_FALSE(keeps(timelineJob({mood})));
}

TEST_F(FastPathMedia, FadesAndOpacityAreLeftToTheTimelineExport)
{
    for (const char* field : {"fadeIn", "fadeOut"}) {
        json clip = videoClipJson("v1");
        clip[field] = 0.5;
        EXPECT_FALSE(keeps(timelineJob({clip}))) << field;
    }
    json clip = videoClipJson("v1");
    clip["opacity"] = 0.5;
    EXPECT_FALSE(keeps(timelineJob({clip})));
}

TEST_F(FastPathMedia, AnotherOutputSizeIsLeftToTheTimelineExport)
{
    json job = timelineJob({videoClipJson("v1")});
    job["output"] = {{"width", 320}, {"height", 192}};
    EXPECT_FALSE(keeps(job));
    job["output"] = {{"width", 160}};
    EXPECT_TRUE(keeps(job));
    // A job that names no size asks for none: the source's size is kept.
    json unsized = timelineJob({videoClipJson("v1")});
    unsized["project"].erase("width");
    unsized["project"].erase("height");
    EXPECT_TRUE(keeps(unsized));
    unsized["project"]["height"] = 1080;
    EXPECT_FALSE(keeps(unsized));
    unsized["project"].erase("height");
    unsized["output"] = {{"width", 1920}};
    EXPECT_FALSE(keeps(unsized));
}

TEST_F(FastPathMedia, AnotherFrameRateIsLeftToTheTimelineExport)
{
    json job = timelineJob({videoClipJson("v1")});
    job["project"]["fps"] = 59.94;
    EXPECT_FALSE(keeps(job));
    job["project"].erase("fps");
    EXPECT_FALSE(keeps(job)); // 59.94 by default
    job["output"] = {{"fps", 25}};
    EXPECT_TRUE(keeps(job));
    job["project"]["fps"] = 0; // no usable rate: the source's own
    EXPECT_TRUE(keeps(job));
}

TEST_F(FastPathMedia, TakesTheTimelinesFramesOrLeavesTheJobToIt)
{
    const auto frames = [this](const json& job) {
        const EditorJobV2 decoded = decode(job);
        return fastPathFrames(decoded, decoded.timelines[0].clips[0], *asset_);
    };
    EXPECT_EQ(frames(timelineJob({videoClipJson("v1", 0, 1, 0.41)})), (FastPathFrames{11, 25, 25}));
    // The source's 40 frames end before frame 10 + 34.
    EXPECT_FALSE(frames(timelineJob({videoClipJson("v1", 0, 1.36, 0.4)})));
    // Past the clip's end the timeline shows no source frame.
    json longer = timelineJob({videoClipJson("v1", 0, 1, 0)});
    longer["timelines"][0]["duration"] = 1.2;
    EXPECT_FALSE(frames(longer));
}

TEST(FastPathTemporaryJob, CarriesTheRangeRateContainerSizeAndBitRate)
{
    json source = timelineJob({videoClipJson("v1")});
    source["grade"]["lutCube"] = "Look.cube";
    source["output"] = {{"fps", 50}, {"width", 1280}, {"targetBitrate", 8000000}};
    const EditorJobV2 job = decode(source);
    // The timeline export's rate: the project's 25 over the output's 50.
    EXPECT_EQ(fastPathTemporaryJob(job, timelineFrameTiming(job, nullptr).fps, -0.5, 5, "/out/Movie.MP4"),
              (json{{"version", 1},
                    {"grade", {{"lutCube", "Look.cube"}}},
                    {"sourceInSeconds", -0.5},
                    {"sourceOutSeconds", 5.0},
                    {"output",
                     {{"fps", 25.0}, {"container", "mp4"}, {"width", 1280}, {"height", 96}, {"targetBitrate", 8000000}}}}));

    json bare = timelineJob({videoClipJson("v1")});
    bare.erase("project");
    const json temporary =
        fastPathTemporaryJob(decode(bare), timelineFrameTiming(decode(bare), nullptr).fps, 0, 1, "/out/movie.m4v");
    EXPECT_EQ(temporary["output"], (json{{"fps", 59.94}, {"container", "mp4"}}));
    // A name without a movie extension: the job's container, as the timeline export writes it.
    bare["output"] = {{"container", "mp4"}};
    EXPECT_EQ(fastPathTemporaryJob(decode(bare), 59.94, 0, 1, "/out/movie")["output"]["container"], "mp4");
    bare.erase("output");
    EXPECT_EQ(fastPathTemporaryJob(decode(bare), 59.94, 0, 1, "/out/movie")["output"]["container"], "mov");
}

class FastPathExport : public FastPathMedia {
protected:
    std::optional<ExportResult> run(const json& job, const std::filesystem::path& output)
    {
        const test::ScopedTemporaryFolder temporary(tmp_.path());
        return tryFastExportTimelineJobAsSingleFile(decode(job), std::nullopt, media(), output, 2000000, "rec709", 1,
                                                    1, 0, 0);
    }
    std::vector<std::filesystem::path> leftovers() const
    {
        return test::filesWithPrefix(tmp_.path(), fastPathJobFilePrefix);
    }

    TempDir tmp_;
};

TEST_F(FastPathExport, StreamsTheClipsSourceRange)
{
    const auto result = run(timelineJob({videoClipJson("v1", 0, 0.4, 0.4)}), dir_ / "out.mov");
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, (ExportResult{dir_ / "out.mov", 25, 160, 96}));
    EXPECT_EQ(test::decodedStamps(dir_ / "out.mov"), (std::vector<int>{10, 11, 12, 13, 14, 15, 16, 17, 18, 19}));
    EXPECT_TRUE(leftovers().empty());
}

// The frames of the timeline export: as many as it writes (round(duration × rate), one for a
// clip shorter than the reader's least range), from the first source frame starting at or after
// the in point (1.001 s: frame 30 at 29.97, 60 at 59.94), none from before it.
TEST_F(FastPathExport, WritesTheTimelineExportsFramesFromTheInPoint)
{
    struct Case {
        int num;
        double duration;
        std::vector<int> stamps;
    };
    for (const Case& c : {Case{30000, 0.25, {30, 31, 32, 33, 34, 35, 36}}, Case{60000, 0.02, {60}}}) {
        test::ClipSettings ntsc;
        ntsc.fpsNum = c.num;
        ntsc.fpsDen = 1001;
        ntsc.frameCount = c.stamps.front() + 20;
        ntsc.videoArgs = "-preset ultrafast -qp 0";
        test::makeClip(media() / "a.mp4", ntsc);
        json job = timelineJob({videoClipJson("v1", 0, c.duration, 1.0)});
        job["project"]["fps"] = c.num / 1001.0;
        const auto movie = dir_ / ("out" + std::to_string(c.num) + ".mov");
        ASSERT_TRUE(run(job, movie)) << c.num;
        EXPECT_EQ(test::decodedStamps(movie), c.stamps) << c.num;
    }
}

TEST_F(FastPathExport, AJobNamingNoSizeKeepsTheSourcesSizeButNotItsSound)
{
    test::ClipSettings withSound;
    withSound.frameCount = 40;
    withSound.audio = true;
    withSound.videoArgs = "-preset ultrafast";
    test::makeClip(media() / "a.mp4", withSound);
    json job = timelineJob({videoClipJson("v1")});
    job["project"].erase("width");
    job["project"].erase("height");

    const auto result = run(job, dir_ / "out.mov");
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, (ExportResult{dir_ / "out.mov", 25, 160, 96}));
    const auto movie = Asset::open(dir_ / "out.mov");
    const AssetTrack* video = movie->firstTrack(MediaType::video);
    ASSERT_TRUE(video);
    EXPECT_EQ(video->displayWidth(), 160);
    EXPECT_EQ(video->displayHeight(), 96);
    EXPECT_FALSE(movie->firstTrack(MediaType::audio)); // the timeline has no audio clip
}

TEST_F(FastPathExport, TheTemporaryJobIsRemovedWhenTheExportFails)
{
    try {
        run(timelineJob({videoClipJson("v1")}), dir_ / "missing" / "out.mov");
        ADD_FAILURE() << "the export should fail";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), "file"); // creating the movie's file in a folder that is not there
    }
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(FastPathExport, DecliningWritesNothing)
{
    json clip = videoClipJson("v1");
    clip["fadeOut"] = 0.3;
    EXPECT_FALSE(run(timelineJob({clip}), dir_ / "out.mov"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "out.mov"));
    EXPECT_TRUE(leftovers().empty());
}

} // namespace
} // namespace velmora::Exporter
