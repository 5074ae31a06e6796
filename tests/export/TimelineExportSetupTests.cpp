#include <gtest/gtest.h>

#include "TimelineExportTestSupport.h"
#include "export/TimelineExportSetup.h"
#include "support/TestSupport.h"

namespace velmora::Exporter {
namespace {

using test::TempDir;

std::string errorText(const std::function<void()>& work)
{
    try {
        work();
    } catch (const Error& e) {
        return e.domain() + " " + std::to_string(e.code()) + " " + e.message();
    }
    return "no error";
}

EditorJobV2::Timeline timeline(const std::string& id, std::vector<EditorJobV2::Clip> clips,
                               std::optional<double> duration = std::nullopt)
{
    EditorJobV2::Timeline t;
    t.id = id;
    t.clips = std::move(clips);
    t.duration = duration;
    return t;
}

TEST(ExportTimeline, PicksTheActiveTimelineElseTheFirst)
{
    EditorJobV2 job;
    job.timelines = {timeline("a", {}), timeline("b", {})};
    EXPECT_EQ(exportTimeline(job).id, "a");
    job.project = EditorJobV2::Project{};
    job.project->activeTimelineId = "b";
    EXPECT_EQ(exportTimeline(job).id, "b");
    job.project->activeTimelineId = "zzz";
    EXPECT_EQ(exportTimeline(job).id, "a");
    job.timelines.clear();
    EXPECT_EQ(errorText([&] { exportTimeline(job); }), "export 210 No timelines found in job.");
}

TEST(TimelineExportDuration, TheLongerOfClipsAndTimeline)
{
    const auto clip = test::videoClip("c", "s", 1, 2, 3);
    EXPECT_DOUBLE_EQ(timelineExportDuration(timeline("t", {clip})), 5);
    EXPECT_DOUBLE_EQ(timelineExportDuration(timeline("t", {clip}, 4.0)), 5);
    EXPECT_DOUBLE_EQ(timelineExportDuration(timeline("t", {clip}, 7.5)), 7.5);
    EXPECT_DOUBLE_EQ(timelineExportDuration(timeline("t", {}, 0.01)), 0.01);
    EXPECT_EQ(errorText([] { timelineExportDuration(timeline("t", {})); }), "export 211 Timeline duration is zero.");
    EXPECT_EQ(errorText([] { timelineExportDuration(timeline("t", {}, -1.0)); }),
              "export 211 Timeline duration is zero.");
}

TEST(TimelineOutputSize, OutputThenProjectThenFullHD)
{
    EditorJobV2 job;
    EXPECT_EQ(timelineOutputSize(job), (std::pair<int, int>{1920, 1080}));
    job.project = EditorJobV2::Project{};
    job.project->width = 1280;
    EXPECT_EQ(timelineOutputSize(job), (std::pair<int, int>{1280, 1080}));
    job.output = EditorJobV2::Output{};
    job.output->height = 720;
    EXPECT_EQ(timelineOutputSize(job), (std::pair<int, int>{1280, 720}));
}

FrameTiming timingFor(std::optional<double> projectFps, std::optional<double> outputFps)
{
    EditorJobV2 job;
    if (projectFps) {
        job.project = EditorJobV2::Project{};
        job.project->fps = projectFps;
    }
    if (outputFps) {
        job.output = EditorJobV2::Output{};
        job.output->fps = outputFps;
    }
    return timelineFrameTiming(job, nullptr);
}

TEST(TimelineFrameTiming, FollowsTheRatesRules)
{
    EXPECT_EQ(timingFor(std::nullopt, std::nullopt), (FrameTiming{59.94, 60000, 1001}));
    EXPECT_EQ(timingFor(29.99, std::nullopt), (FrameTiming{29.99, 30000, 1001}));
    EXPECT_EQ(timingFor(25, 50), (FrameTiming{25, 25, 1}));
    EXPECT_EQ(timingFor(std::nullopt, 50), (FrameTiming{50, 50, 1}));
    EXPECT_EQ(timingFor(0.4, std::nullopt), (FrameTiming{0.4, 2, 5}));
    EXPECT_EQ(timingFor(23.98, std::nullopt), (FrameTiming{23.98, 24000, 1001}));
    EXPECT_EQ(timingFor(30, std::nullopt), (FrameTiming{30, 30, 1}));
}

TEST(TimelineFrameTiming, ARateNotAboveZeroIsResolvedFromTheOutput)
{
    EditorJobV2 job;
    job.project = EditorJobV2::Project{};
    job.project->fps = 0;
    job.output = EditorJobV2::Output{};
    job.output->fpsNum = 24000;
    job.output->fpsDen = 1001;
    EXPECT_EQ(timelineFrameTiming(job, nullptr), (FrameTiming{24000.0 / 1001.0, 24000, 1001}));
    job.output = std::nullopt;
    EXPECT_EQ(timelineFrameTiming(job, nullptr), (FrameTiming{30, 30, 1}));
}

TEST(TimelineFrameTiming, RefusesRatesThatCannotTimeFrames)
{
    EXPECT_EQ(errorText([] { timingFor(std::numeric_limits<double>::infinity(), std::nullopt); }).substr(0, 10),
              "export 213");
    EXPECT_EQ(errorText([] { timingFor(1e12, std::nullopt); }).substr(0, 10), "export 213");
}

TEST(TimelineFramesTotal, RoundsAndNeverGoesBelowOne)
{
    EXPECT_EQ(timelineFramesTotal(0.01, FrameTiming{25, 25, 1}), 1);
    EXPECT_EQ(timelineFramesTotal(2, FrameTiming{25, 25, 1}), 50);
    EXPECT_EQ(timelineFramesTotal(10, FrameTiming{29.97, 30000, 1001}), 300);
    EXPECT_EQ(timelineFramesTotal(1.02, FrameTiming{25, 25, 1}), 26);
    EXPECT_EQ(errorText([] { timelineFramesTotal(1e300, FrameTiming{25, 25, 1}); }).substr(0, 10), "export 213");
}

TEST(TimelineBitrate, OverrideThenJobThenScaledDefault)
{
    EditorJobV2 job;
    EXPECT_EQ(timelineBitrate(std::nullopt, job, 3840, 2160, 59.94), 150000000);
    EXPECT_EQ(timelineBitrate(std::nullopt, job, 1920, 1080, 29.97), 18750000);
    job.output = EditorJobV2::Output{};
    job.output->targetBitrate = 8000000;
    EXPECT_EQ(timelineBitrate(std::nullopt, job, 1920, 1080, 29.97), 8000000);
    EXPECT_EQ(timelineBitrate(5000000, job, 1920, 1080, 29.97), 5000000);
}

TEST(MovieFileType, ExtensionThenContainer)
{
    EXPECT_EQ(movieFileType("/o/a.M4V", std::nullopt), FileType::mpeg4);
    EXPECT_EQ(movieFileType("/o/a.mov", std::string("mp4")), FileType::quickTimeMovie);
    EXPECT_EQ(movieFileType("/o/a.mov", std::nullopt), FileType::quickTimeMovie);
    EXPECT_EQ(movieFileType("/o/a.mkv", std::string("mov")), FileType::quickTimeMovie);
}

class SourceResolutionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(dir_ / "day1" / "cam");
        std::filesystem::create_directories(dir_ / ".hidden");
        test::writeTextFile(dir_ / "day1" / "cam" / "interview.mov", "x");
        test::writeTextFile(dir_ / ".hidden" / "secret.mov", "x");
        test::writeTextFile(dir_ / ".hidden" / "direct.mov", "x");
        test::writeTextFile(dir_ / "day1" / "Clip.MP4", "x");
    }
    TempDir dir_;
};

TEST_F(SourceResolutionTest, IndexesVisibleFilesByLowerCaseName)
{
    const auto index = mediaNameIndex(dir_.path());
    EXPECT_EQ(index.count("interview.mov"), 1u);
    EXPECT_EQ(index.count("clip.mp4"), 1u);
    EXPECT_EQ(index.count("secret.mov"), 0u);
}

TEST_F(SourceResolutionTest, FindsFilesAnywhereAndDirectPathsOnly)
{
    EditorJobV2 job = test::makeJob({test::source("i", "Interview (Audio).mov"), test::source("h", "secret.mov"),
                                     test::source("d", ".hidden/direct.mov"), test::source("up", "../outside.mov")},
                                    {});
    test::writeTextFile(dir_.path().parent_path() / "outside.mov", "x");
    const auto files = resolveTimelineSourceFiles(job, dir_.path());
    EXPECT_EQ(files.at("i"), dir_ / "day1" / "cam" / "interview.mov");
    EXPECT_EQ(files.at("d"), dir_ / ".hidden/direct.mov");
    EXPECT_EQ(files.count("h"), 0u);
    EXPECT_EQ(files.count("up"), 0u);
    std::filesystem::remove(dir_.path().parent_path() / "outside.mov");
}

TEST(RequireSourceFiles, ListsTwentyOfTheMissingFiles)
{
    std::vector<EditorJobV2::Source> sources;
    std::vector<EditorJobV2::Clip> clips;
    for (int i = 0; i < 25; ++i) {
        sources.push_back(test::source("s" + std::to_string(i), "f" + std::to_string(i) + ".mov"));
        clips.push_back(test::videoClip("c" + std::to_string(i), "s" + std::to_string(i), 1, i, 1));
    }
    sources.push_back(test::source("audio", "music.wav"));
    EditorJobV2 job = test::makeJob(sources, {});
    const EditorJobV2::Timeline used = timeline("t", clips);
    std::string expected = "export 212 Missing source files in Media Folder:\n";
    for (int i = 0; i < 20; ++i) {
        expected += (i ? "\n" : "") + std::string("f") + std::to_string(i) + ".mov";
    }
    expected += "\n\nTip: choose the top folder that contains your footage (subfolders are supported).";
    EXPECT_EQ(errorText([&] { requireSourceFiles(job, used, {}); }), expected);
    EXPECT_EQ(errorText([&] { requireSourceFiles(job, timeline("t", {}), {}); }), "no error");
}

TEST(VisualSourceIds, VideoAndImageClipsOnly)
{
    auto a = test::videoClip("a", "v", 1, 0, 1);
    auto b = test::imageClip("b", "i", 1, 0, 1);
    auto c = test::audioClip("c", "m", 1, 0, 1);
    auto d = test::videoClip("d", "V2", 1, 0, 1);
    d.type = " Video";
    EXPECT_EQ(visualSourceIds(timeline("t", {a, b, c, d})), (std::set<std::string>{"V2", "i", "v"}));
}

class LutTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::writeTextFile(dir_ / "look.cube", test::scaledCube(0.5));
        test::writeTextFile(dir_ / "override.cube", test::scaledCube(0.25));
        test::writeTextFile(dir_ / "junk.cube", "not a lut");
    }
    EditorJobV2 jobWith(const std::string& lutCube)
    {
        EditorJobV2 job = test::makeJob({}, {});
        job.grade.lutCube = lutCube;
        return job;
    }
    TempDir dir_;
};

TEST_F(LutTextTest, TheOverrideWinsWhenUsable)
{
    EXPECT_EQ(timelineGlobalLutText(jobWith("look.cube"), dir_ / "override.cube", dir_.path(), std::nullopt),
              test::scaledCube(0.25));
    EXPECT_EQ(timelineGlobalLutText(jobWith("look.cube"), dir_ / "junk.cube", dir_.path(), std::nullopt),
              test::scaledCube(0.5));
    EXPECT_EQ(timelineGlobalLutText(jobWith("look.cube"), dir_ / "gone.cube", dir_.path(), std::nullopt),
              test::scaledCube(0.5));
}

TEST_F(LutTextTest, NoneAndUnusableReferencesGiveNoLut)
{
    EXPECT_EQ(timelineGlobalLutText(jobWith("None"), std::nullopt, dir_.path(), std::nullopt), "");
    EXPECT_EQ(timelineGlobalLutText(jobWith("junk.cube"), std::nullopt, dir_.path(), std::nullopt), "");
    EXPECT_EQ(timelineGlobalLutText(jobWith(""), std::nullopt, dir_.path(), std::nullopt), "");
}

TEST_F(LutTextTest, ClipLutTableIsKeyedByClipAndKeepsTheFirst)
{
    auto a = test::videoClip("a", "s", 1, 0, 1);
    a.grade = EditorJobV2::ClipGrade{};
    a.grade->hasLut = true;
    a.grade->lutFile = "look.cube";
    auto twin = test::videoClip("a", "s", 1, 3, 1);
    twin.grade = EditorJobV2::ClipGrade{};
    twin.grade->lutData = test::scaledCube(0.25);
    auto noId = test::imageClip("x", "img", 1, 12.5, 1);
    noId.id.reset();
    noId.grade = EditorJobV2::ClipGrade{};
    noId.grade->lutData = test::scaledCube(0.25);
    auto sound = test::audioClip("snd", "m", 1, 0, 1);
    sound.grade = noId.grade;
    const auto texts =
        timelineClipLutTexts(timelineLuts(EditorJobV2{}, timeline("t", {a, twin, noId, sound}), dir_.path(), std::nullopt));
    EXPECT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts.at("a"), test::scaledCube(0.5));
    EXPECT_EQ(texts.at("img|12.5"), test::trimmedCube(0.25));
}

} // namespace
} // namespace velmora::Exporter
