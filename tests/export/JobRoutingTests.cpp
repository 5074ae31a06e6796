#include <gtest/gtest.h>

#include <numeric>

#include "JobExportFixtures.h"
#include "export/JobPreviewStill.h"
#include "export/JobRouting.h"
#include "model/EditSession.h"
#include "model/JsonDecoding.h"
#include "platform/media/Asset.h"
#include "support/MediaFixtures.h"
#include "support/NamedPipe.h"
#include "support/TestSupport.h"

namespace velmora::Exporter {
namespace {

using nlohmann::json;
using test::TempDir;

json plainTimelineJob()
{
    return test::timelineJob(
        {json{{"id", "v1"}, {"type", "video"}, {"sourceId", "s1"}, {"startTime", 0}, {"duration", 0.4}}});
}

// Runs the routing of a job file made of `text`; answers the error it throws.
class Routing : public ::testing::Test {
protected:
    ExportResult route(const std::string& text, const std::optional<std::filesystem::path>& input,
                       const std::optional<std::filesystem::path>& media, TimelineProgressCallback progress = {},
                       std::optional<std::int64_t> bitrate = 2000000)
    {
        test::writeTextFile(dir_ / "job.json", text);
        const test::ScopedTemporaryFolder temporary(tmp_.path());
        return exportJob(dir_ / "job.json", std::nullopt, input, media, dir_ / "out.mov", bitrate, "rec709", 1, 1, 0, 0,
                         std::move(progress));
    }

    Error routingError(const std::string& text, const std::optional<std::filesystem::path>& input,
                       const std::optional<std::filesystem::path>& media)
    {
        try {
            route(text, input, media);
        } catch (const Error& error) {
            return error;
        }
        ADD_FAILURE() << "no error for " << text;
        return Error("none", 0, "");
    }

    void makeMedia(bool audio = false)
    {
        std::filesystem::create_directories(dir_ / "media");
        test::ClipSettings clipSettings;
        clipSettings.frameCount = 10;
        clipSettings.audio = audio;
        clipSettings.videoArgs = "-preset ultrafast -qp 0";
        test::makeClip(dir_ / "media" / "a.mp4", clipSettings);
    }

    TempDir dir_;
    TempDir tmp_;
};

void expectMediaFolderError(const Error& error)
{
    EXPECT_EQ(error.domain(), "export");
    EXPECT_EQ(error.code(), JobRoutingCode::noMediaFolder);
    EXPECT_EQ(error.message(), "Choose Media Folder containing your source clips.");
}

void expectInputVideoError(const Error& error)
{
    EXPECT_EQ(error.domain(), "export");
    EXPECT_EQ(error.code(), JobRoutingCode::noInputVideo);
    EXPECT_EQ(error.message(), "Choose Input Video.");
}

TEST_F(Routing, JobToolsMakeATimelineJobEvenWithBlanksAround)
{
    for (const char* tool : {" velmora-editor-desktop-export\n", "velmora-editor-desktop-edit-return",
                             "\tvelmora-editor-desktop-edit"}) {
        // The media folder is asked for before the job is decoded, and even when an input is given.
        expectMediaFolderError(routingError(json{{"tool", tool}}.dump(), dir_ / "input.mp4", std::nullopt));
    }
}

TEST_F(Routing, TimelinesMakeATimelineJobWithoutATool)
{
    expectMediaFolderError(routingError(json{{"timelines", json::array({1})}}.dump(), std::nullopt, std::nullopt));
    expectMediaFolderError(
        routingError(json{{"tool", "other"}, {"timelines", json::array({1})}}.dump(), std::nullopt, std::nullopt));
    // An empty array does not.
    expectInputVideoError(routingError(json{{"timelines", json::array()}}.dump(), std::nullopt, std::nullopt));
}

// A file that is no job of either kind is refused before anything is asked of it, by the reader
// the 10-bit Export workspace refuses it with when it is chosen.
TEST_F(Routing, AFileThatIsNoJobIsRefusedFirst)
{
    makeMedia();
    const json numbered = {{"tool", 7}, {"timelines", json::array({{{"id", "t"}, {"clips", json::array()}}})}};
    const std::vector<std::pair<std::string, std::string>> files = {
        {json{{"tool", 7}}.dump(), "The value at \u201Ctool\u201D is 7, not text."},
        {numbered.dump(), "The value at \u201Ctool\u201D is 7, not text."},
        {"[1,2,3]", "The value at the top level is [1,2,3], not an object."},
        {"not JSON at all", "The given data was not valid JSON (parse error at line 1, column 2: syntax error while "
                            "parsing value - invalid literal; last read: 'no')."},
    };
    for (const auto& [text, said] : files) {
        for (const auto& media : {std::optional<std::filesystem::path>(), std::optional(dir_ / "media")}) {
            const Error error = routingError(text, dir_ / "media" / "a.mp4", media);
            EXPECT_EQ(error.domain(), "EditSession");
            EXPECT_EQ(error.message(), "Could not load \u201Cjob.json\u201D: " + said);
        }
    }
}

TEST_F(Routing, AnythingElseIsASingleVideoJob)
{
    expectInputVideoError(routingError(json{{"tool", "velmora-editor"}}.dump(), std::nullopt, dir_.path()));
    expectInputVideoError(routingError(json::object().dump(), std::nullopt, std::nullopt));
}

TEST_F(Routing, AnUnreadableJobFileFailsFirst)
{
    try {
        exportJob(dir_ / "missing.json", std::nullopt, std::nullopt, std::nullopt, dir_ / "out.mov", std::nullopt,
                  "rec709", 1, 1, 0, 0);
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), "file");
    }
}

// A named pipe where a job, a LUT or a movie belongs is refused by name on every route, without
// waiting for a writer; a movie that opens but cannot be read is named as the status line does.
TEST_F(Routing, OnlyRegularFilesAreRead)
{
    const auto message = [&](const std::string& text, const std::optional<std::filesystem::path>& lut,
                             const std::optional<std::filesystem::path>& input,
                             const std::optional<std::filesystem::path>& media) {
        if (!text.empty())
            test::writeTextFile(dir_ / "job.json", text);
        try {
            exportJob(dir_ / "job.json", lut, input, media, dir_ / "out.mov", 2000000, "rec709", 1, 1, 0, 0);
        } catch (const Error& error) {
            return error.message();
        } catch (const std::exception& error) {
            return std::string(error.what());
        }
        return std::string("no error");
    };
    makeMedia();
    const std::string single = test::singleVideoJob("None").dump();
    {
        const test::NamedPipe job(dir_ / "job.json");
        EXPECT_EQ(message("", std::nullopt, dir_ / "media" / "a.mp4", std::nullopt),
                  "Could not read \u201Cjob.json\u201D: Is a named pipe, not a file.");
    }
    const test::NamedPipe lut(dir_ / "look.cube");
    EXPECT_EQ(message(single, lut.path(), dir_ / "media" / "a.mp4", std::nullopt),
              "LUT override look.cube cannot be read: Is a named pipe, not a file\n\nTip: choose another LUT "
              "override, or none.");
    const test::NamedPipe input(dir_ / "in.mp4");
    EXPECT_EQ(message(single, std::nullopt, input.path(), std::nullopt),
              "\"" + input.path().string() + "\" is a named pipe, not a media file.");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "out.mov"));

    // One plain clip tries the fast path, then the timeline export: both pass the pipe over.
    std::filesystem::remove(dir_ / "media" / "a.mp4");
    {
        const test::NamedPipe source(dir_ / "media" / "a.mp4");
        EXPECT_EQ(message(plainTimelineJob().dump(), std::nullopt, std::nullopt, dir_ / "media"),
                  "Missing source files in Media Folder:\na.mp4\n\nTip: choose the top folder that contains your "
                  "footage (subfolders are supported).");
        try {
            renderPreviewFrame(dir_ / "job.json", std::nullopt, std::nullopt, dir_ / "media", 0.1, "rec709", 1, 1, 0, 0);
            ADD_FAILURE() << "a still of a pipe";
        } catch (const Error& error) {
            EXPECT_EQ(error.message(), "Missing source file: a.mp4");
        }
    }
    std::filesystem::create_symlink("/proc/self/mem", dir_ / "media" / "a.mp4");
    EXPECT_EQ(message(plainTimelineJob().dump(), std::nullopt, std::nullopt, dir_ / "media"),
              "Cannot read a.mp4 (Input/output error)");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "out.mov"));
}

// The export and the preview refuse a job that does not decode in the words the workspace and the
// Edit workspace use: the file, the field as written and the value.
TEST_F(Routing, AJobThatDoesNotDecodeIsRefusedNamingTheFileTheFieldAndTheValue)
{
    const std::string timelineJob = R"({"tool": "velmora-editor-desktop-export", "version": 2, "grade": {"lutCube": ""},
        "sources": [], "timelines": [{"id": "t", "clips": [{"id": "a", "startTime": 1e999}]}]})";
    const std::string singleVideoJob = R"({"version": 1, "grade": {"lutCube": ""}, "sourceOutSeconds": -1e400})";
    json wrongStart = plainTimelineJob();
    wrongStart["timelines"][0]["clips"][0]["startTime"] = "abc";
    const json wrongWidth = test::singleVideoJob("None", {{"maxWidth", 1920.5}});
    makeMedia();
    const std::vector<std::pair<std::string, std::string>> jobs = {
        {timelineJob, "The given data was not valid JSON (number overflow parsing '1e999')."},
        {singleVideoJob, "The given data was not valid JSON (number overflow parsing '-1e400')."},
        {wrongStart.dump(), "The value at \u201Ctimelines[0].clips[0].startTime\u201D is \"abc\", not a number."},
        {wrongWidth.dump(), "The value at \u201Coutput.maxWidth\u201D is 1920.5, not a whole number."},
    };
    for (const auto& [text, reason] : jobs) {
        const std::string refusal = "Could not load \u201Cjob.json\u201D: " + reason;
        const Error exported = routingError(text, dir_ / "media" / "a.mp4", dir_ / "media");
        EXPECT_EQ(exported.domain(), "EditSession");
        EXPECT_EQ(exported.code(), 2);
        EXPECT_EQ(exported.message(), refusal);
        EXPECT_FALSE(std::filesystem::exists(dir_ / "out.mov"));
        try {
            renderPreviewFrame(dir_ / "job.json", std::nullopt, dir_ / "media" / "a.mp4", dir_ / "media", 0.1,
                               "rec709", 1, 1, 0, 0);
            ADD_FAILURE() << "a still of " << text;
        } catch (const Error& error) {
            EXPECT_EQ(error.message(), refusal);
        }
    }
}

TEST_F(Routing, ASingleVideoJobRendersTheInputAndReportsNothing)
{
    makeMedia();
    int reports = 0;
    const ExportResult result = route(test::singleVideoJob("None").dump(), dir_ / "media" / "a.mp4", std::nullopt,
                                      [&](const TimelineExportProgress&) { ++reports; });
    EXPECT_EQ(result, (ExportResult{dir_ / "out.mov", 25, 160, 96}));
    EXPECT_EQ(test::decodedStamps(dir_ / "out.mov").size(), 10u);
    EXPECT_EQ(reports, 0);
}

TEST_F(Routing, ABitRateOverrideOutOfRangeIsRefusedBeforeAnythingIsWritten)
{
    makeMedia();
    try {
        route(test::singleVideoJob("None").dump(), dir_ / "media" / "a.mp4", std::nullopt, {},
              1'000'000'000'000'000'000);
        ADD_FAILURE() << "a bit rate of 10^18 b/s was exported";
    } catch (const Error& error) {
        EXPECT_EQ(error.fullDescription(), "Error Domain=export Code=216 \"The bit rate 1000000000000000000 b/s is not "
                                           "supported: a bit rate must be a whole number of 1 to 10000000000 bits per "
                                           "second.\"");
    }
    EXPECT_FALSE(std::filesystem::exists(dir_ / "out.mov"));
}

TEST_F(Routing, OnePlainClipTakesTheFastPathAndReportsOnce)
{
    makeMedia();
    std::vector<TimelineExportProgress> reports;
    const ExportResult result = route(plainTimelineJob().dump(), std::nullopt, dir_ / "media",
                                      [&](const TimelineExportProgress& p) { reports.push_back(p); });
    EXPECT_EQ(result, (ExportResult{dir_ / "out.mov", 25, 160, 96}));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], (TimelineExportProgress{1, 1, "Done (fast single-clip)"}));
    EXPECT_DOUBLE_EQ(reports[0].fraction(), 1.0);
    EXPECT_EQ(test::decodedStamps(dir_ / "out.mov"), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_TRUE(test::filesWithPrefix(tmp_.path(), "velmora_10bit_fast_").empty());
}

// One plain clip off the start: the movie is the timeline's, a gap frame then source frames 25…74,
// whichever route writes it.
TEST_F(Routing, AClipOffTheStartGetsTheTimelinesFrames)
{
    std::filesystem::create_directories(dir_ / "media");
    test::ClipSettings clipSettings;
    clipSettings.frameCount = 100;
    clipSettings.videoArgs = "-preset ultrafast -qp 0";
    test::makeClip(dir_ / "media" / "a.mp4", clipSettings);
    json job = plainTimelineJob();
    job["timelines"][0]["clips"][0]["startTime"] = 0.04;
    job["timelines"][0]["clips"][0]["inPoint"] = 1.0;
    job["timelines"][0]["clips"][0]["duration"] = 2.0;
    route(job.dump(), std::nullopt, dir_ / "media");
    const std::vector<PixelBuffer> frames = test::decodedFrames(dir_ / "out.mov");
    const std::vector<int> stamps = test::decodedStamps(dir_ / "out.mov");
    ASSERT_EQ(stamps.size(), 51u);
    EXPECT_LT(test::meanColor(frames[0]).g, 0.02);
    std::vector<int> shown(stamps.begin() + 1, stamps.end());
    std::vector<int> expected(50);
    std::iota(expected.begin(), expected.end(), 25);
    EXPECT_EQ(shown, expected);
}

TEST_F(Routing, AClipWithoutAudioClipsIsSilentOnBothPaths)
{
    makeMedia(true);
    ASSERT_TRUE(Asset::open(dir_ / "media" / "a.mp4")->firstTrack(MediaType::audio));
    for (const int width : {160, 320}) { // the source's size: the fast path; another: the timeline export
        SCOPED_TRACE(width);
        json job = plainTimelineJob();
        job["project"]["width"] = width;
        job["project"]["height"] = width * 96 / 160;
        std::vector<std::string> phases;
        const ExportResult result = route(job.dump(), std::nullopt, dir_ / "media",
                                          [&](const TimelineExportProgress& p) { phases.push_back(p.phase); });
        EXPECT_EQ(result.width, width);
        ASSERT_FALSE(phases.empty());
        EXPECT_EQ(phases.back(), width == 160 ? "Done (fast single-clip)" : "Done");
        const auto movie = Asset::open(dir_ / "out.mov");
        EXPECT_TRUE(movie->firstTrack(MediaType::video));
        EXPECT_FALSE(movie->firstTrack(MediaType::audio));
    }
}

// A clip without an id is one the user made: rendered by both routes, and there when the job is
// opened for editing, with an id of its own.
TEST_F(Routing, AClipWithoutAnIdIsRenderedAndOpensForEditing)
{
    makeMedia();
    json job = plainTimelineJob();
    job["timelines"][0]["clips"][0].erase("id");
    for (const int width : {160, 320}) { // the fast path, then the timeline export
        SCOPED_TRACE(width);
        job["project"]["width"] = width;
        job["project"]["height"] = width * 96 / 160;
        route(job.dump(), std::nullopt, dir_ / "media");
        EXPECT_EQ(test::decodedStamps(dir_ / "out.mov"), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    }
    const EditSession opened = EditSession::load(dir_ / "job.json");
    ASSERT_EQ(opened.timelines.at(0).clips.size(), 1u);
    EXPECT_FALSE(opened.timelines[0].clips[0].id.empty());
    EXPECT_EQ(opened.timelines[0].clips[0].sourceId, "s1");

    // Two clips without ids of one source at one time are two clips on every route, in either
    // order: the one on lane 2 names a LUT that is not there.
    const json plain = {{"type", "video"}, {"sourceId", "s1"}, {"track", 1}, {"startTime", 0}, {"duration", 0.4}};
    json looked = plain;
    looked["track"] = 2;
    looked["grade"] = {{"hasLut", true}, {"lutFile", "nothere.cube"}};
    const std::string refusal = "Missing LUT files:\nnothere.cube\n\nTip: put each .cube file in the Media Folder or "
                                "its luts folder, or choose another LUT.";
    for (const auto& clips : {std::vector<json>{plain, looked}, std::vector<json>{looked, plain}}) {
        EXPECT_EQ(routingError(test::timelineJob(clips).dump(), std::nullopt, dir_ / "media").message(), refusal);
        try {
            renderPreviewFrame(dir_ / "job.json", std::nullopt, std::nullopt, dir_ / "media", 0.0, "rec709", 1, 1, 0, 0);
            ADD_FAILURE() << "the job preview shows a clip whose LUT is missing";
        } catch (const Error& error) {
            EXPECT_EQ(error.message(), refusal);
        }
        // Opened for editing, the clips hold the ids the export keys them by.
        const EditSession twoClips = EditSession::load(dir_ / "job.json");
        std::vector<std::string> ids;
        for (const auto& clip : twoClips.timelines.at(0).clips) {
            ids.push_back(clip.id);
        }
        EXPECT_EQ(ids, (std::vector<std::string>{"clip_0_0", "clip_0_1"}));
    }
}

TEST_F(Routing, AFadedClipGoesToTheTimelineExport)
{
    makeMedia();
    json job = plainTimelineJob();
    job["timelines"][0]["clips"][0]["fadeIn"] = 0.2;
    std::vector<std::string> phases;
    const ExportResult result = route(job.dump(), std::nullopt, dir_ / "media",
                                      [&](const TimelineExportProgress& p) { phases.push_back(p.phase); });
    EXPECT_EQ(result.width, 160);
    EXPECT_EQ(result.height, 96);
    ASSERT_FALSE(phases.empty());
    EXPECT_EQ(phases.back(), "Done");
    EXPECT_EQ(std::count(phases.begin(), phases.end(), "Done (fast single-clip)"), 0);
    // The fade is drawn: the first frame is black.
    const auto frames = test::decodedFrames(dir_ / "out.mov");
    ASSERT_EQ(frames.size(), 10u);
    EXPECT_LT(test::meanColor(frames.front()).g, 0.02);
    EXPECT_TRUE(test::filesWithPrefix(tmp_.path(), "velmora_10bit_fast_").empty());
}

} // namespace
} // namespace velmora::Exporter
