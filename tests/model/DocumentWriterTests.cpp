#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "model/EditSession.h"
#include "model/EditorJobV2.h"
#include "model/LutResolution.h"
#include "support/CubeTexts.h"

namespace velmora {
namespace {

using nlohmann::json;

EditSession::Timeline timeline(const std::string& id, std::vector<EditSession::Clip> clips = {})
{
    EditSession::Timeline t;
    t.id = id;
    t.clips = std::move(clips);
    return t;
}

EditSession::Clip clip(const std::string& id, std::optional<std::string> type, std::optional<std::string> name)
{
    EditSession::Clip c(id);
    c.type = std::move(type);
    c.name = std::move(name);
    return c;
}

json writtenClip(const EditSession::Clip& c)
{
    EditSession session;
    session.timelines.push_back(timeline("t1", {c}));
    return session.timelineJobPayload("x")["timelines"][0]["clips"][0];
}

// ---- the shared payload ----

TEST(TimelineJobPayload, FillsEveryAbsentValueWithItsDefault)
{
    const EditSession empty;
    EXPECT_EQ(empty.timelineJobPayload("velmora-editor-desktop-edit"), json::parse(R"({
        "tool": "velmora-editor-desktop-edit", "version": 2, "timelines": [], "grade": {"lutCube": ""},
        "project": {"name": "project", "width": 1920, "height": 1080, "fps": 59.94, "activeTimelineId": "t1"}
    })"));

    EditSession withTimelines;
    withTimelines.timelines = {timeline("first"), timeline("second")};
    withTimelines.version = 7;
    withTimelines.mediaFolder = "/media/shoot";
    withTimelines.grade = EditSession::ProjectGrade();
    const json payload = withTimelines.timelineJobPayload("t");
    EXPECT_EQ(payload["project"]["activeTimelineId"], "first");
    EXPECT_EQ(payload["version"], 7);
    EXPECT_EQ(payload["mediaFolder"], "/media/shoot");
    EXPECT_EQ(payload["grade"], json::parse(R"({"lutCube": ""})"));
    EXPECT_EQ(payload["timelines"][1], json::parse(R"({
        "id": "second", "name": "second", "duration": 0.0, "pixelsPerSecond": 100.0,
        "lockedTracks": [], "mutedTracks": [], "markers": [], "clips": []
    })"));
}

TEST(TimelineJobPayload, ExtraKeysReplaceKeysOfTheSameName)
{
    EditSession session;
    session.project = EditSession::Project();
    session.project->activeTimelineId = "t9";
    const json payload = session.timelineJobPayload("a", json{{"tool", "b"}, {"extra", 1}});
    EXPECT_EQ(payload["tool"], "b");
    EXPECT_EQ(payload["extra"], 1);
    EXPECT_EQ(payload["project"]["activeTimelineId"], "t9");
}

TEST(TimelineJobPayload, WritesEveryClipKeyWithItsDefaultAndNeverTheTransform)
{
    EditSession::Clip bare("c1");
    bare.scale = 2;
    bare.posX = 3;
    bare.posY = 4;
    bare.rotation = 90;
    bare.framerate = 25;
    EXPECT_EQ(writtenClip(bare), json::parse(R"({
        "id": "c1", "type": "video", "name": "", "groupId": null, "sourceId": null, "track": 1,
        "startTime": 0.0, "duration": 0.0, "inPoint": 0.0, "outPoint": 0.0, "speed": 1.0, "opacity": 1.0,
        "fadeIn": 0.0, "fadeOut": 0.0, "audioLevel": 1.0
    })"));

    EditSession::Clip held = clip("c2", " Sound ", "Take (Audio)");
    held.groupId = "g";
    held.sourceId = "s";
    held.track = 3;
    held.audioLevel = 0.25;
    held.fadeOut = 0.5;
    const json written = writtenClip(held);
    EXPECT_EQ(written["type"], " Sound ");
    EXPECT_EQ(written["groupId"], "g");
    EXPECT_EQ(written["track"], 3);
    EXPECT_EQ(written["audioLevel"], 0.25);
    EXPECT_EQ(written["fadeOut"], 0.5);
}

TEST(TimelineJobPayload, MarkersWithoutALabelGetTheEmptyText)
{
    EditSession session;
    session.timelines.push_back(timeline("t1"));
    session.timelines[0].markers = {{"m1", 1.5, std::nullopt}, {"m2", 3, "Drop"}};
    session.timelines[0].lockedTracks = {"video-2"};
    const json written = session.timelineJobPayload("x")["timelines"][0];
    EXPECT_EQ(written["markers"], json::parse(R"([{"id": "m1", "time": 1.5, "label": ""},
                                                  {"id": "m2", "time": 3.0, "label": "Drop"}])"));
    EXPECT_EQ(written["lockedTracks"], json::parse(R"(["video-2"])"));
}

TEST(ClipOutPoint, KeepsALaterStoredOutPointElseTheTimingEnd)
{
    EditSession::Clip c("c");
    c.inPoint = 2;
    c.duration = 3;
    c.speed = 2;
    c.outPoint = 5;
    EXPECT_EQ(writtenClip(c)["outPoint"], 8.0);
    c.outPoint = 10;
    EXPECT_EQ(writtenClip(c)["outPoint"], 10.0);
    c.outPoint = 2.00005;
    EXPECT_EQ(writtenClip(c)["outPoint"], 8.0);

    EditSession::Clip slow("slow");
    slow.speed = 0.01;
    slow.duration = 1;
    slow.inPoint = 4;
    const json written = writtenClip(slow);
    EXPECT_EQ(written["speed"], 0.01);
    EXPECT_EQ(written["outPoint"], 4.0625);
}

// ---- clip grades ----

json writtenGrade(const EditorJobV2::ClipGrade& grade)
{
    EditSession::Clip c("c");
    c.grade = grade;
    return writtenClip(c)["grade"];
}

// A grade is written with what it holds: a file beside inline text keeps both.
TEST(ClipGradeWriting, WritesTheFileAndTheDataItHolds)
{
    EditorJobV2::ClipGrade grade;
    EXPECT_EQ(writtenGrade(grade), json::parse(R"({"hasLut": false, "lutStrength": 1.0})"));

    grade.hasLut = true;
    grade.lutFile = "Look.cube";
    grade.lutData = "LUT_3D_SIZE 2";
    grade.lutName = "";
    grade.lutStrength = 0.5;
    EXPECT_EQ(writtenGrade(grade), json::parse(R"({"hasLut": true, "lutStrength": 0.5, "lutFile": "Look.cube",
                                                   "lutData": "LUT_3D_SIZE 2", "lutName": ""})"));
    grade.lutData = "LUT_3D_SIZE 33";
    EXPECT_EQ(writtenGrade(grade), json::parse(R"({"hasLut": true, "lutStrength": 0.5, "lutFile": "Look.cube",
                                                   "lutData": "LUT_3D_SIZE 33", "lutName": ""})"));
    grade.lutFile = "";
    EXPECT_EQ(writtenGrade(grade), json::parse(R"({"hasLut": true, "lutStrength": 0.5, "lutData": "LUT_3D_SIZE 33",
                                                   "lutName": ""})"));

    // Without hasLut, a grade reopens graded as it was: by inline text the cube reader reads (a
    // size named twice is read by its last), never by the file beside text it refuses.
    const auto lookUp = [](const std::string& reference) {
        LutResolution found;
        found.kind = LutResolution::Kind::text;
        found.text = test::identityCubeText();
        found.name = reference;
        return found;
    };
    // Nor is a LUT that cannot grade left out: it reopens refused by the same name.
    for (const std::optional<std::string>& file : {std::optional<std::string>("Look.cube"), std::optional<std::string>()}) {
        for (const std::optional<std::string>& text : {std::optional<std::string>("LUT_3D_SIZE 2\n" + test::identityCubeText()),
                                                      std::optional<std::string>(test::truncatedCubeText()),
                                                      std::optional<std::string>()}) {
            // Text that cannot grade, beside a file, is the one grade that cannot be written as it
            // reads: switched on, the file grades in its place.
            if ((!file && !text) || (file && text && !text->starts_with("LUT_3D_SIZE 2")))
                continue;
            grade = EditorJobV2::ClipGrade{};
            grade.lutFile = file;
            if (text)
                grade.lutData = *text;
            const LutResolution before = LutResolving::forClipGrade(grade, lookUp);
            EditSession::Clip c("c");
            c.grade = grade;
            EditSession session;
            session.timelines.push_back(timeline("t1", {c}));
            const std::string written = session.renderJobText();
            const std::string what = file.value_or("no file") + " / " + text.value_or("no text").substr(0, 20);
            for (const auto& reopened :
                 {EditorJobV2::fromJSON(written).timelines.at(0).clips.at(0).grade,
                  EditSession::fromJSON(written).timelines.at(0).clips.at(0).grade}) {
                const LutResolution after = LutResolving::forClipGrade(reopened, lookUp);
                EXPECT_EQ(after.kind, before.kind) << what;
                EXPECT_EQ(after.name, before.name) << what;
                EXPECT_EQ(after.text, before.text) << what;
            }
        }
    }
}

TEST(ClipGradeWriting, AnEmbeddedLutIsWrittenAsItsDataNotItsPickerLabel)
{
    EditorJobV2::ClipGrade grade;
    grade.hasLut = true;
    grade.lutFile = "(Embedded LUT)";
    grade.lutData = "LUT_3D_SIZE 17\n0 0 0";
    const json written = writtenGrade(grade);
    EXPECT_EQ(written.count("lutFile"), 0u);
    EXPECT_EQ(written["lutData"], "LUT_3D_SIZE 17\n0 0 0");

    // Without data there is nothing to save in its place: the label stays as it was.
    grade.lutData = std::nullopt;
    EXPECT_EQ(writtenGrade(grade)["lutFile"], "(Embedded LUT)");
}

TEST(ClipGradeWriting, GradeParametersWriteOnlyPresentValuesUnderTheirWrittenNames)
{
    EditorJobV2::ClipGrade::GradeParams params;
    params.exposure = 0.5;
    params.tint = -3;
    params.sharpness = 1;
    params.sharpen = 1;
    params.vignetteStrength = 1;
    params.vignette = 1;
    params.debanding = 1;
    params.moodKey = "";
    params.moodEnabled = FlexibleBool{true};
    params.isMoodEnabled = FlexibleBool{false};
    params.moodIntensity = 0.4;
    params.moodAmount = 0.9;
    params.moodWarmth = 0.1;
    EditorJobV2::ClipGrade grade;
    grade.gradeParams = params;
    EXPECT_EQ(writtenGrade(grade)["gradeParams"], json::parse(R"({"exposure": 0.5, "tint": -3.0, "moodKey": "",
        "isMoodEnabled": 1, "moodAmount": 0.4, "moodWarmth": 0.1})"));

    params.moodEnabled = FlexibleBool{false};
    params.moodIntensity = std::nullopt;
    grade.gradeParams = params;
    const json written = writtenGrade(grade)["gradeParams"];
    EXPECT_EQ(written.count("isMoodEnabled"), 0u);
    EXPECT_EQ(written["moodAmount"], 0.9);

    grade.gradeParams = EditorJobV2::ClipGrade::GradeParams();
    EXPECT_EQ(writtenGrade(grade)["gradeParams"], json::object());
}

// ---- render job blocks ----

TEST(ExportOutput, GivesEveryRateItsExactFraction)
{
    const auto fraction = [](std::optional<double> fps) {
        EditSession::Project project;
        project.fps = fps;
        const json output = EditSession::exportOutputDictionary(project);
        return std::make_pair(output["fpsNum"].get<std::int64_t>(), output["fpsDen"].get<std::int64_t>());
    };
    EXPECT_EQ(fraction(23.98), std::make_pair(std::int64_t{24000}, std::int64_t{1001}));
    EXPECT_EQ(fraction(29.97), std::make_pair(std::int64_t{30000}, std::int64_t{1001}));
    EXPECT_EQ(fraction(30), std::make_pair(std::int64_t{30}, std::int64_t{1}));
    EXPECT_EQ(fraction(24), std::make_pair(std::int64_t{24}, std::int64_t{1}));
    EXPECT_EQ(fraction(std::nullopt), std::make_pair(std::int64_t{60000}, std::int64_t{1001}));
    EXPECT_EQ(fraction(25), std::make_pair(std::int64_t{25}, std::int64_t{1}));
    EXPECT_EQ(fraction(0.3), std::make_pair(std::int64_t{3}, std::int64_t{10}));
    EXPECT_EQ(fraction(29.5), std::make_pair(std::int64_t{59}, std::int64_t{2}));
    EXPECT_EQ(fraction(119.88), std::make_pair(std::int64_t{120000}, std::int64_t{1001}));
    // A stated rate that is no rate is none: the project runs, and exports, at 59.94.
    for (const double none : {0.0, -5.0, std::nan("")}) {
        EXPECT_EQ(fraction(none), std::make_pair(std::int64_t{60000}, std::int64_t{1001})) << none;
    }

    EXPECT_EQ(EditSession::exportOutputDictionary(std::nullopt), json::parse(R"({"width": 1920, "height": 1080,
        "fps": 59.94, "fpsNum": 60000, "fpsDen": 1001, "container": "mp4"})"));
    EditSession::Project project;
    project.width = 3840;
    project.fps = 23.98;
    const json output = EditSession::exportOutputDictionary(project);
    EXPECT_EQ(output["width"], 3840);
    EXPECT_EQ(output["height"], 1080);
    EXPECT_EQ(output["fps"], 23.98);
}

TEST(RenderFlags, FollowTheActiveTimelinesClips)
{
    const json noTimeline = EditSession().renderFlagsPayload();
    EXPECT_EQ(noTimeline, json::parse(R"({"includeFilmFX": false, "includeMasks": false, "includeText": false,
        "includeLowerThirds": false, "includeImages": false, "includeSpeedRamps": true})"));

    EditSession session;
    session.timelines = {timeline("other", {clip("a", "text", "Title")}),
                         timeline("active", {clip("b", "Text", "Caption"), clip("c", std::nullopt, "logo.PNG")})};
    session.project = EditSession::Project();
    session.project->activeTimelineId = "active";
    const json flags = session.renderFlagsPayload();
    EXPECT_EQ(flags["includeText"], false);
    EXPECT_EQ(flags["includeLowerThirds"], false);
    EXPECT_EQ(flags["includeImages"], true);

    session.project->activeTimelineId = "other";
    EXPECT_EQ(session.renderFlagsPayload()["includeText"], true);
    EXPECT_EQ(session.renderFlagsPayload()["includeLowerThirds"], true);
}

TEST(SourcesPayload, WritesIdNameAndTypeOnly)
{
    EditSession session;
    session.sources = {EditSession::Source("s1", "a.mp4", std::nullopt), EditSession::Source("s2", "b.wav", "audio")};
    session.sources[0].width = 1920;
    session.sources[0].thumbnailData = SharedBytes({1, 2});
    EXPECT_EQ(session.sourcesPayload(), json::parse(R"([{"id": "s1", "fileName": "a.mp4", "type": "video"},
                                                        {"id": "s2", "fileName": "b.wav", "type": "audio"}])"));
}

} // namespace
} // namespace velmora
