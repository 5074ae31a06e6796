#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <regex>

#include <nlohmann/json.hpp>

#include "model/EditSession.h"
#include "model/EditorJobV2.h"
#include "model/MediaResolver.h"
#include "model/ProjectMediaFolder.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/JsonWriting.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::readTextFile;
using test::TempDir;
using test::writeTextFile;

void touch(const fs::path& path)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << "";
}

bool matches(const std::string& text, const char* pattern)
{
    return std::regex_match(text, std::regex(pattern));
}

constexpr const char* isoSeconds = R"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}Z)";
constexpr const char* upperCaseUuid = R"([0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12})";

// A project with what a saved document must bring back: two timelines, markers, lane state,
// audio levels, fades, grades (one with an embedded LUT), a project LUT and a media folder.
EditSession richSession()
{
    EditSession session;
    session.createdAt = "2025-05-01T10:00:00Z";
    session.project = EditSession::Project();
    session.project->name = "Summer Trip";
    session.project->width = 3840;
    session.project->height = 2160;
    session.project->fps = 25;
    session.project->activeTimelineId = "main";
    session.grade = EditSession::ProjectGrade{"None"};
    session.mediaFolder = "/home/editor/Vidéos/Summer";
    session.sources = {EditSession::Source("s1", "DJI_0001.MP4", "video"), EditSession::Source("s2", "Voice.wav", "audio")};

    EditSession::Timeline main;
    main.id = "main";
    main.name = "Main cut";
    main.pixelsPerSecond = 80;
    main.lockedTracks = {"audio-1"};
    main.mutedTracks = {"video-2"};
    main.markers = {{"m1", 1.5, "Beat"}, {"m2", 4.25, std::nullopt}};

    EditSession::Clip video("v1");
    video.type = "video";
    video.name = "DJI_0001.MP4";
    video.sourceId = "s1";
    video.groupId = "g1";
    video.startTime = 0;
    video.duration = 4;
    video.inPoint = 10;
    video.fadeIn = 0.5;
    video.audioLevel = 0.8;
    video.grade = EditorJobV2::ClipGrade();
    video.grade->hasLut = true;
    video.grade->lutFile = "(Embedded LUT)";
    video.grade->lutData = "TITLE \"inline\"\nLUT_3D_SIZE 17\n0 0 0";
    video.grade->lutStrength = 0.75;
    video.grade->gradeParams = EditorJobV2::ClipGrade::GradeParams();
    video.grade->gradeParams->exposure = 0.3;
    video.grade->gradeParams->moodKey = "teal";
    video.grade->gradeParams->isMoodEnabled = FlexibleBool{true};
    video.grade->gradeParams->moodAmount = 0.6;

    EditSession::Clip audio("a1");
    audio.type = "audio";
    audio.name = "DJI_0001.MP4 (Audio)";
    audio.sourceId = "s1";
    audio.groupId = "g1";
    audio.duration = 4;
    audio.inPoint = 10;
    audio.audioLevel = 0.5;
    audio.fadeOut = 1;

    EditSession::Clip voice("a2");
    voice.type = "audio";
    voice.name = "Voice.wav";
    voice.sourceId = "s2";
    voice.track = 2;
    voice.startTime = 2;
    voice.duration = 3;
    voice.speed = 1.5;

    main.clips = {video, audio, voice};
    EditSession::Timeline alternate;
    alternate.id = "alt";
    alternate.name = "Alternate";
    alternate.duration = 12;
    session.timelines = {main, alternate};
    return session;
}

// ---- project documents ----

TEST(SaveProject, FillsInTheSessionAndWritesTheProjectDocument)
{
    TempDir dir;
    EditSession session;
    session.tool = "velmora-editor-desktop-export";
    session.timelines.push_back(EditSession::Timeline());
    session.timelines[0].id = "t1";
    session.saveProject(dir / "cut.tavlek", "");

    EXPECT_EQ(session.tool, "velmora-editor-desktop-export");
    EXPECT_EQ(session.version, 2);
    ASSERT_TRUE(session.sessionId);
    EXPECT_TRUE(matches(*session.sessionId, upperCaseUuid));
    ASSERT_TRUE(session.createdAt);
    EXPECT_TRUE(matches(*session.createdAt, isoSeconds));
    EXPECT_EQ(session.mediaFolder, std::nullopt);

    const std::string text = readTextFile(dir / "cut.tavlek");
    const json document = json::parse(text);
    EXPECT_EQ(text, JsonWriting::prettySortedText(document));
    EXPECT_EQ(document["tool"], "velmora-editor-desktop-edit");
    EXPECT_EQ(document["createdAt"], *session.createdAt);
    EXPECT_EQ(document["sources"], json::array());
    EXPECT_EQ(document.count("sessionId"), 0u);
    EXPECT_EQ(document.count("returnedAt"), 0u);
    EXPECT_EQ(document.count("mediaFolder"), 0u);
}

TEST(SaveProject, KeepsAToolAndStoresAGivenMediaFolder)
{
    TempDir dir;
    EditSession session;
    session.tool = "browser-tavlek";
    session.mediaFolder = "/old";
    session.saveProject(dir / "cut.tavlek", "/new/media");
    EXPECT_EQ(session.tool, "browser-tavlek");
    EXPECT_EQ(session.mediaFolder, "/new/media");
    EXPECT_EQ(json::parse(readTextFile(dir / "cut.tavlek"))["mediaFolder"], "/new/media");

    EditSession blankTool;
    blankTool.tool = "";
    blankTool.saveProject(dir / "other.tavlek", std::nullopt);
    EXPECT_EQ(blankTool.tool, "velmora-editor-desktop-edit");
}

TEST(SaveProject, NormalisesTimingAndRebuildsSourcesBeforeWriting)
{
    TempDir dir;
    EditSession session;
    session.timelines.push_back(EditSession::Timeline());
    session.timelines[0].id = "t1";
    EditSession::Clip c("c1");
    c.name = "Take.mov";
    c.sourceId = "s7";
    c.inPoint = -2;
    c.duration = 3;
    c.outPoint = 99;
    session.timelines[0].clips.push_back(c);
    session.saveProject(dir / "cut.tavlek", std::nullopt);

    const json document = json::parse(readTextFile(dir / "cut.tavlek"));
    const json& written = document["timelines"][0]["clips"][0];
    EXPECT_EQ(written["inPoint"], 0.0);
    EXPECT_EQ(written["outPoint"], 3.0);
    EXPECT_EQ(document["timelines"][0]["duration"], 3.0);
    EXPECT_EQ(document["sources"], json::parse(R"([{"id": "s7", "fileName": "Take.mov", "type": "video"}])"));
}

TEST(SaveProject, AClipWithoutATypeKeepsTheKindItsNameGives)
{
    TempDir dir;
    writeTextFile(dir / "in.tavlek", R"({"timelines": [{"id": "t1", "clips": [
        {"id": "a", "name": "voice.wav", "duration": 2}, {"id": "i", "name": "Logo.PNG", "duration": 2},
        {"id": "v", "name": "Take.mov", "duration": 2}, {"id": "n", "duration": 2},
        {"id": "s", "name": "x.mov", "type": " Sound ", "duration": 2}]}]})");
    EditSession session = EditSession::load(dir / "in.tavlek");
    session.saveProject(dir / "out.tavlek", std::nullopt);

    const json written = json::parse(readTextFile(dir / "out.tavlek"))["timelines"][0]["clips"];
    std::vector<std::string> types;
    for (const auto& clip : written) {
        types.push_back(clip["type"]);
    }
    // A type that is present is kept as it was written.
    EXPECT_EQ(types, (std::vector<std::string>{"audio", "image", "video", "video", " Sound "}));
    const EditSession reopened = EditSession::load(dir / "out.tavlek");
    for (const auto& clip : reopened.timelines[0].clips) {
        const auto& before = session.timelines[0].clips;
        const auto original = std::find_if(before.begin(), before.end(), [&](const auto& c) { return c.id == clip.id; });
        ASSERT_NE(original, before.end());
        EXPECT_EQ(EditSession::normalizedClipType(clip.type, clip.name),
                  EditSession::normalizedClipType(original->type, original->name)) << clip.id;
    }
}

TEST(SaveProject, ReopensWithTheSameContentAndSavesTheSameBytes)
{
    TempDir dir;
    EditSession original = richSession();
    original.saveProject(dir / "first.tavlek", std::nullopt);

    EditSession reopened = EditSession::load(dir / "first.tavlek");
    EXPECT_EQ(reopened.mediaFolder, "/home/editor/Vidéos/Summer");
    EXPECT_EQ(reopened.createdAt, "2025-05-01T10:00:00Z");
    ASSERT_EQ(reopened.timelines.size(), 2u);
    // Absent values come back as the defaults they were written with (track 1, label "", …).
    EXPECT_EQ(reopened.timelines[0].lockedTracks, std::vector<std::string>{"audio-1"});
    EXPECT_EQ(reopened.timelines[0].mutedTracks, std::vector<std::string>{"video-2"});
    EXPECT_EQ(reopened.timelines[0].pixelsPerSecond, 80.0);
    EXPECT_EQ(reopened.timelines[1].name, "Alternate");
    EXPECT_EQ(reopened.timelines[1].duration, 12.0);
    ASSERT_EQ(reopened.timelines[0].markers.size(), 2u);
    EXPECT_EQ(reopened.timelines[0].markers[0], (EditSession::Marker{"m1", 1.5, "Beat"}));
    EXPECT_EQ(reopened.grade, original.grade);
    EXPECT_EQ(reopened.project, original.project);
    const auto& clips = reopened.timelines[0].clips;
    ASSERT_EQ(clips.size(), 3u);
    EXPECT_EQ(clips[0].audioLevel, 0.8);
    EXPECT_EQ(clips[0].fadeIn, 0.5);
    EXPECT_EQ(clips[0].groupId, "g1");
    EXPECT_EQ(clips[0].outPoint, 14.0);
    EXPECT_EQ(clips[1].audioLevel, 0.5);
    EXPECT_EQ(clips[1].fadeOut, 1.0);
    EXPECT_EQ(clips[2].track, 2);
    EXPECT_EQ(clips[2].speed, 1.5);
    ASSERT_TRUE(clips[0].grade);
    EXPECT_EQ(clips[0].grade->lutData, "TITLE \"inline\"\nLUT_3D_SIZE 17\n0 0 0");
    EXPECT_EQ(clips[0].grade->lutStrength, 0.75);
    EXPECT_EQ(clips[0].grade->gradeParams->moodAmount, 0.6);
    EXPECT_EQ(reopened.sources, original.sources);
    EXPECT_EQ(reopened.timelines[0].markers[1].label, "");

    reopened.saveProject(dir / "second.tavlek", std::nullopt);
    EXPECT_EQ(readTextFile(dir / "second.tavlek"), readTextFile(dir / "first.tavlek"));
}

// ---- render jobs ----

TEST(RenderJob, DecodesAsADesktopJobAndLeavesTheSessionAsItWas)
{
    TempDir dir;
    const EditSession session = richSession();
    const json before = session.timelineJobPayload("x");
    session.writeRenderJob(dir / "velmora_render_1234abcd.json");
    EXPECT_EQ(session.timelineJobPayload("x"), before);
    EXPECT_EQ(session.sessionId, std::nullopt);

    const std::string text = readTextFile(dir / "velmora_render_1234abcd.json");
    const EditorJobV2 job = EditorJobV2::fromJSON(text);
    EXPECT_EQ(job.tool, "velmora-editor-desktop-export");
    EXPECT_EQ(job.version, 2);
    EXPECT_EQ(job.createdAt, "2025-05-01T10:00:00Z");
    EXPECT_EQ(job.grade.lutCube, "None");
    ASSERT_TRUE(job.output);
    EXPECT_EQ(job.output->width, 3840);
    EXPECT_EQ(job.output->fpsNum, 25);
    EXPECT_EQ(job.output->fpsDen, 1);
    EXPECT_EQ(job.output->container, "mp4");
    ASSERT_TRUE(job.render);
    EXPECT_EQ(job.render->includeSpeedRamps, true);
    EXPECT_EQ(job.render->includeText, false);
    ASSERT_EQ(job.sources.size(), 2u);
    EXPECT_EQ(job.sources[1].fileName, "Voice.wav");
    ASSERT_EQ(job.timelines.size(), 2u);
    ASSERT_EQ(job.timelines[0].clips.size(), 3u);
    const auto& video = job.timelines[0].clips[0];
    EXPECT_EQ(video.sourceId, "s1");
    EXPECT_EQ(video.outPoint, 14.0);
    ASSERT_TRUE(video.grade);
    EXPECT_EQ(video.grade->lutFile, std::nullopt);
    EXPECT_EQ(video.grade->lutData, "TITLE \"inline\"\nLUT_3D_SIZE 17\n0 0 0");
    EXPECT_EQ(video.grade->gradeParams->isMoodEnabled, FlexibleBool{true});
    EXPECT_EQ(job.timelines[0].clips[2].outPoint, 4.5);

    const EditSession loaded = EditSession::load(dir / "velmora_render_1234abcd.json");
    ASSERT_FALSE(loaded.timelines.empty());
    EXPECT_EQ(loaded.timelines[0].clips.size(), 3u);
}

TEST(RenderJob, WithoutACreationTimeStampsTheCurrentOne)
{
    TempDir dir;
    EditSession session;
    session.writeRenderJob(dir / "job.json");
    EXPECT_EQ(session.createdAt, std::nullopt);
    const json job = json::parse(readTextFile(dir / "job.json"));
    EXPECT_TRUE(matches(job["createdAt"].get<std::string>(), isoSeconds));
    EXPECT_EQ(job["render"]["includeImages"], false);
    EXPECT_EQ(job["timelines"], json::array());
}

// ---- edit-return files ----

TEST(EditReturn, CarriesReturnAndSessionStampsForTheBrowserEditor)
{
    TempDir dir;
    EditSession session = richSession();
    session.sources.clear();
    session.saveReturnCopy(dir / "Trip_edit_return.json", "/media/summer");

    EXPECT_EQ(session.mediaFolder, "/media/summer");
    EXPECT_EQ(session.sessionId, std::nullopt);
    ASSERT_EQ(session.sources.size(), 2u);
    const json file = json::parse(readTextFile(dir / "Trip_edit_return.json"));
    EXPECT_EQ(file["tool"], "velmora-editor-desktop-edit-return");
    EXPECT_TRUE(matches(file["returnedAt"].get<std::string>(), isoSeconds));
    EXPECT_TRUE(matches(file["sessionId"].get<std::string>(), upperCaseUuid));
    EXPECT_EQ(file["createdAt"], "2025-05-01T10:00:00Z");
    EXPECT_EQ(file["mediaFolder"], "/media/summer");
    EXPECT_EQ(file["sources"].size(), 2u);

    session.sessionId = "keep-me";
    session.saveReturnCopy(dir / "again.json", std::nullopt);
    EXPECT_EQ(json::parse(readTextFile(dir / "again.json"))["sessionId"], "keep-me");
}

TEST(EditReturn, ReopensWithTheMediaFolderItWasWrittenWith)
{
    // The file lies beside an exported movie; the clip lives in the project's media folder.
    TempDir exports;
    TempDir media;
    touch(exports / "pr.mov");
    touch(media / "clipA.mp4");
    EditSession session;
    session.project = EditSession::Project();
    session.project->name = "Trip";
    EditSession::Clip clip("c1");
    clip.type = "video";
    clip.name = "clipA.mp4";
    clip.sourceId = "s1";
    clip.duration = 4;
    session.timelines = {EditSession::Timeline()};
    session.timelines[0].id = "t1";
    session.timelines[0].clips = {clip};
    session.project->activeTimelineId = "t1";
    session.sources = {EditSession::Source("s1", "clipA.mp4", "video")};
    const fs::path file = exports / "Trip_edit_return.json";
    session.saveReturnCopy(file, media.path().string());

    const EditSession reopened = EditSession::load(file);
    EXPECT_EQ(reopened.mediaFolder, media.path().string());
    const fs::path folder = ProjectMediaFolder::resolveForSession(file, reopened.mediaFolder, "Trip");
    EXPECT_EQ(folder, media.path());
    EXPECT_EQ(MediaResolver::sourceFileMap(reopened, folder).at("s1"), media / "clipA.mp4");
    EXPECT_EQ(MediaResolver::unresolvedSourceLabels(reopened, folder), std::vector<std::string>{});
}

// ---- failures ----

TEST(DocumentWritingFailures, ANonFiniteNumberFailsAndLeavesTheExistingFileIntact)
{
    TempDir dir;
    writeTextFile(dir / "cut.tavlek", "previous document");
    EditSession session = richSession();
    session.timelines[0].clips[0].startTime = std::nan("");
    try {
        session.saveProject(dir / "cut.tavlek", std::nullopt);
        FAIL() << "saved NaN";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), "JSON");
        EXPECT_EQ(error.code(), 1);
        EXPECT_NE(error.localizedDescription().find("timelines[0].clips[0].startTime"), std::string::npos);
    }
    EXPECT_EQ(readTextFile(dir / "cut.tavlek"), "previous document");

    EditSession infinite = richSession();
    infinite.project->fps = INFINITY;
    EXPECT_THROW(infinite.writeRenderJob(dir / "cut.tavlek"), Error);
    EXPECT_EQ(readTextFile(dir / "cut.tavlek"), "previous document");
}

TEST(DocumentWritingFailures, AnUnwritableTargetFailsWithAFileError)
{
    TempDir dir;
    EditSession session = richSession();
    try {
        session.saveProject(dir / "missing" / "cut.tavlek", std::nullopt);
        FAIL() << "saved into a missing folder";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), "file");
        EXPECT_EQ(error.code(), ENOENT);
    }
    fs::create_directory(dir / "taken.json");
    EXPECT_THROW(session.writeRenderJob(dir / "taken.json"), Error);
    EXPECT_TRUE(fs::is_directory(dir / "taken.json"));
    writeTextFile(dir / "plain-file", "x");
    EXPECT_THROW(session.saveReturnCopy(dir / "plain-file" / "r.json", std::nullopt), Error);
    EXPECT_EQ(readTextFile(dir / "plain-file"), "x");
}

TEST(DocumentWritingFailures, ATruncatedDocumentDoesNotOpen)
{
    TempDir dir;
    richSession().saveProject(dir / "cut.tavlek", std::nullopt);
    const std::string text = readTextFile(dir / "cut.tavlek");
    writeTextFile(dir / "truncated.tavlek", text.substr(0, text.size() / 2));
    try {
        EditSession::load(dir / "truncated.tavlek");
        FAIL() << "opened half a document";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), "EditSession");
        EXPECT_EQ(error.code(), 2);
    }
}

TEST(DocumentWritingFailures, AJobNamingMissingMediaOpensWithThatSourceUnresolved)
{
    TempDir dir;
    TempDir media;
    touch(media / "DJI_0001.MP4");
    touch(media / "Voice.wav");
    EditSession session = richSession();
    session.sources.emplace_back("s3", "Lost_Drone.MP4", "video");
    EditSession::Clip lost("v3");
    lost.type = "video";
    lost.name = "Lost_Drone.MP4";
    lost.sourceId = "s3";
    lost.startTime = 4;
    lost.duration = 2;
    session.timelines[0].clips.push_back(lost);
    session.writeRenderJob(dir / "job.json");

    const EditSession job = EditSession::load(dir / "job.json");
    const auto map = MediaResolver::sourceFileMap(job, media.path());
    EXPECT_EQ(map.at("s1"), media / "DJI_0001.MP4");
    EXPECT_EQ(map.count("s3"), 0u);
    EXPECT_EQ(MediaResolver::unresolvedSourceLabels(job, media.path()), std::vector<std::string>{"Lost_Drone.MP4"});
}

// ---- every kind of file opens, finds its media and saves again ----

void expectOpensResolvesAndSavesAgain(const fs::path& file, const fs::path& media, const fs::path& saveFolder,
                                      std::size_t expectedClips)
{
    SCOPED_TRACE(file.filename().string());
    EditSession session = EditSession::load(file);
    ASSERT_FALSE(session.timelines.empty());
    ASSERT_TRUE(session.activeTimeline());
    EXPECT_EQ(session.activeTimeline()->clips.size(), expectedClips);
    EXPECT_EQ(MediaResolver::unresolvedSourceLabels(session, media), std::vector<std::string>{});
    EXPECT_TRUE(MediaResolver::canBuildPreview(session, media));

    const fs::path saved = saveFolder / (file.stem().string() + ".tavlek");
    session.saveProject(saved, media.string());
    EditSession again = EditSession::load(saved);
    EXPECT_EQ(again.activeTimeline()->clips.size(), expectedClips);
    EXPECT_EQ(again.mediaFolder, media.string());
    EXPECT_EQ(MediaResolver::unresolvedSourceLabels(again, media), std::vector<std::string>{});
}

TEST(OpeningAnyProjectFile, EachKindResolvesItsMediaAndSavesAgain)
{
    TempDir dir;
    TempDir media;
    touch(media / "day1" / "DJI_0001.MP4");
    touch(media / "audio" / "Voice.wav");

    writeTextFile(dir / "browser.tavlek", R"({
        "version": "3.1", "state": {"projectName": "Browser Cut", "activeTimelineId": "tl"},
        "library": [{"id": "lib1", "name": "DJI_0001.MP4", "type": "video"},
                    {"id": "lib2", "name": "Voice.wav", "type": "audio"}],
        "timelines": [{"id": "tl", "name": "Main", "clips": [
            {"id": 1, "type": "video", "name": "DJI_0001.MP4", "startTime": "0", "duration": 4, "track": "1"},
            {"id": 2, "type": "audio", "name": "Voice.wav", "startTime": 1, "duration": 2}]}]
    })");
    writeTextFile(dir / "desktop_job.json", R"({
        "tool": "velmora-editor-desktop-export", "version": 2, "grade": {"lutCube": ""},
        "sources": [{"id": "s1", "fileName": "DJI_0001.MP4", "type": "video"},
                    {"id": "s2", "fileName": "Voice.wav", "type": "audio"}],
        "timelines": [{"id": "t1", "clips": [
            {"id": "c1", "type": "video", "name": "DJI_0001.MP4", "sourceId": "s1", "startTime": 0, "duration": 4},
            {"id": "c2", "type": "audio", "name": "Voice.wav", "sourceId": "s2", "startTime": 0, "duration": 4}]}]
    })");
    EditSession returned = richSession();
    returned.saveReturnCopy(dir / "Trip_edit_return.json", media.path().string());
    richSession().saveProject(dir / "project.tavlek", std::nullopt);

    TempDir saves;
    expectOpensResolvesAndSavesAgain(dir / "browser.tavlek", media.path(), saves.path(), 2);
    expectOpensResolvesAndSavesAgain(dir / "desktop_job.json", media.path(), saves.path(), 2);
    expectOpensResolvesAndSavesAgain(dir / "Trip_edit_return.json", media.path(), saves.path(), 3);
    expectOpensResolvesAndSavesAgain(dir / "project.tavlek", media.path(), saves.path(), 3);
}

} // namespace
} // namespace velmora
