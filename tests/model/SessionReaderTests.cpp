#include <gtest/gtest.h>

#include "model/EditSession.h"
#include "model/JsonDecoding.h"

using namespace velmora;

namespace {

EditSession read(const std::string& json)
{
    return EditSession::fromJSON(json);
}

// A one-timeline document around the given clip objects.
std::string withClips(const std::string& clips)
{
    return R"({"timelines": [{"id": "t1", "clips": [)" + clips + "]}]}";
}

EditSession::Clip onlyClip(const std::string& clipJson)
{
    const auto session = read(withClips(clipJson));
    return session.timelines.at(0).clips.at(0);
}

std::string failureText(const std::string& json)
{
    try {
        read(json);
    } catch (const DecodingError& error) {
        return EditSession::decodingErrorDescription(error);
    }
    return "no failure";
}

bool isUpperUuid(const std::string& text)
{
    if (text.size() != 36) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-') {
                return false;
            }
        } else if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST(SessionReader, ReadsASavedProjectDocument)
{
    const auto session = read(R"JSON({
      "tool": "velmora-editor-desktop-edit", "version": 2, "createdAt": "2026-01-02T03:04:05Z",
      "mediaFolder": "/home/ana/Videos/Trip", "sessionId": "3F2B1C4D-0000-4000-8000-000000000001",
      "project": {"name": "Trip", "width": 3840, "height": 2160, "fps": 29.97, "activeTimelineId": "tl-2"},
      "grade": {"lutCube": "None"},
      "sources": [{"id": "s1", "fileName": "DJI_0001.MP4", "type": "video", "width": 3840, "height": 2160,
                   "framerate": 29.97, "thumbnailData": "iVBORw=="}],
      "timelines": [
        {"id": "tl-1", "name": "Rough", "duration": 0, "pixelsPerSecond": 80, "clips": []},
        {"id": "tl-2", "name": "Timeline 1", "duration": 12.5, "pixelsPerSecond": 100,
         "lockedTracks": ["video-2"], "mutedTracks": ["audio-1"],
         "markers": [{"id": "m1", "time": 3.25, "label": "Drop"}, {"id": "m2", "time": 8}],
         "clips": [
           {"id": "c1", "type": "video", "name": "DJI_0001.MP4", "sourceId": "s1", "groupId": "g1", "track": 1,
            "startTime": 0, "duration": 4, "inPoint": 10, "outPoint": 14, "speed": 1, "opacity": 1, "scale": 1,
            "posX": 0, "posY": 0, "rotation": 0, "fadeIn": 0.5, "fadeOut": 0.25, "audioLevel": 0.8, "framerate": 29.97,
            "grade": {"hasLut": true, "lutFile": "D-Log to Rec.709.cube", "lutName": "D-Log to Rec.709.cube",
                      "lutStrength": 1, "gradeParams": {"exposure": 0.1, "isMoodEnabled": 1, "moodKey": "teal"}}},
           {"id": "c2", "type": "audio", "name": "DJI_0001.MP4 (Audio)", "sourceId": "s1", "groupId": "g1", "track": 1,
            "startTime": 0, "duration": 4, "inPoint": 10, "outPoint": 14, "audioLevel": 1.5}
         ]}
      ]})JSON");
    EXPECT_EQ(session.tool, "velmora-editor-desktop-edit");
    EXPECT_EQ(session.version, 2);
    EXPECT_EQ(session.createdAt, "2026-01-02T03:04:05Z");
    EXPECT_EQ(session.mediaFolder, "/home/ana/Videos/Trip");
    EXPECT_EQ(session.sessionId, "3F2B1C4D-0000-4000-8000-000000000001");
    ASSERT_TRUE(session.project);
    EXPECT_EQ(*session.project,
        (EditSession::Project{"Trip", 3840, 2160, 29.97, std::string("tl-2")}));
    EXPECT_EQ(session.grade->lutCube, "None");
    ASSERT_EQ(session.sources.size(), 1u);
    EXPECT_EQ(session.sources[0].thumbnailData, (std::vector<std::uint8_t>{0x89, 'P', 'N', 'G'}));
    EXPECT_EQ(session.sources[0].framerate, 29.97);
    ASSERT_EQ(session.timelines.size(), 2u);
    const auto& timeline = session.timelines[1];
    EXPECT_EQ(timeline.lockedTracks, std::vector<std::string>{"video-2"});
    EXPECT_EQ(timeline.mutedTracks, std::vector<std::string>{"audio-1"});
    ASSERT_EQ(timeline.markers.size(), 2u);
    EXPECT_EQ(timeline.markers[0], (EditSession::Marker{"m1", 3.25, std::string("Drop")}));
    EXPECT_EQ(timeline.markers[1].label, std::nullopt);
    ASSERT_EQ(timeline.clips.size(), 2u);
    const auto& video = timeline.clips[0];
    EXPECT_EQ(video.fadeIn, 0.5);
    EXPECT_EQ(video.fadeOut, 0.25);
    EXPECT_EQ(video.audioLevel, 0.8);
    EXPECT_EQ(video.framerate, 29.97);
    ASSERT_TRUE(video.grade);
    EXPECT_EQ(video.grade->hasLut, true);
    EXPECT_EQ(video.grade->lutFile, "D-Log to Rec.709.cube");
    EXPECT_EQ(video.grade->gradeParams->isMoodEnabled, FlexibleBool{true});
    EXPECT_EQ(timeline.clips[1].audioLevel, 1.5);
    EXPECT_FALSE(timeline.clips[1].grade);
    EXPECT_EQ(session.activeTimeline()->id, "tl-2");
    EXPECT_EQ(session.activeTimelineIndex(), 1u);
}

TEST(SessionReader, EmptyObjectIsAnEmptySession)
{
    const auto session = read("{}");
    EXPECT_FALSE(session.tool);
    EXPECT_FALSE(session.project);
    EXPECT_FALSE(session.grade);
    EXPECT_TRUE(session.sources.empty());
    EXPECT_TRUE(session.timelines.empty());
    EXPECT_FALSE(session.activeTimeline());
    EXPECT_FALSE(session.activeTimelineIndex());
}

TEST(SessionReader, SourceIdentifiersAndDefaults)
{
    const auto session = read(R"({"sources": [
        {"type": "video"},
        {"id": "a", "sourceKey": "b", "fileName": "x.mov"},
        {"id": null, "sourceKey": "b", "fileName": "y.mov"}]})");
    const auto& generated = session.sources[0];
    EXPECT_EQ(generated.id.size(), 12u);
    EXPECT_EQ(generated.id.substr(0, 4), "src_");
    EXPECT_EQ(generated.fileName, "media.mov");
    EXPECT_EQ(session.sources[1].id, "a");
    EXPECT_EQ(session.sources[2].id, "b");
    EXPECT_EQ(failureText(R"({"sources": [{"id": 5}]})"), "The value at \u201Csources[0].id\u201D is 5, not text.");
}

TEST(SessionReader, ClipAndTimelineIdentifiersAreLenient)
{
    const auto session = read(R"({"timelines": [
        {"id": 42, "clips": [{"id": 7, "sourceId": 17, "groupId": 3.5}, {"id": "", "sourceId": [1]}, {}]},
        {"id": "", "clips": []},
        {"clips": []}]})");
    EXPECT_EQ(session.timelines[0].id, "42");
    const auto& clips = session.timelines[0].clips;
    EXPECT_EQ(clips[0].id, "7");
    EXPECT_EQ(clips[0].sourceId, "17");
    EXPECT_EQ(clips[0].groupId, "3.5");
    EXPECT_EQ(clips[1].id, "");
    EXPECT_FALSE(clips[1].sourceId);
    EXPECT_TRUE(isUpperUuid(clips[2].id)) << clips[2].id;
    EXPECT_EQ(session.timelines[1].id, "");
    EXPECT_TRUE(isUpperUuid(session.timelines[2].id));
}

TEST(SessionReader, StrictFieldsFailWithTheirPath)
{
    EXPECT_EQ(failureText(withClips(R"({"id": "a"}, {"id": "b", "type": 3})")),
        "The value at \u201Ctimelines[0].clips[1].type\u201D is 3, not text.");
    EXPECT_EQ(failureText(withClips(R"({"id": "a", "track": "2"})")), "The value at \u201Ctimelines[0].clips[0].track\u201D is \"2\", not a whole number.");
    EXPECT_EQ(failureText(withClips(R"({"id": "a", "startTime": "1"})")),
        "The value at \u201Ctimelines[0].clips[0].startTime\u201D is \"1\", not a number.");
    EXPECT_EQ(failureText(R"({"timelines": [{"id": "t", "markers": [{"time": 2}]}]})"),
        "The value at \u201Ctimelines[0].markers[0].id\u201D is missing.");
    EXPECT_EQ(failureText(R"({"timelines": [{"id": "t", "markers": [{"id": "m", "time": null}]}]})"),
        "The value at \u201Ctimelines[0].markers[0].time\u201D is null, not a number.");
    // A size, rate or bit rate that is not a number of its kind is refused as one out of range.
    EXPECT_EQ(failureText(R"({"project": {"width": 1920.5}})"),
        "The canvas width 1920.5 is not supported: a canvas side must be a whole number of 1 to 16384 pixels. "
        "(at project.width)");
    EXPECT_EQ(failureText(R"({"project": {"fps": "30"}})"),
        "The frame rate \"30\" is not supported: a frame rate must be a finite number of at most 240 frames per "
        "second. (at project.fps)");
    EXPECT_EQ(failureText(R"({"project": []})"), "The value at \u201Cproject\u201D is [], not an object.");
    EXPECT_EQ(failureText(R"({"timelines": {}})"), "The value at \u201Ctimelines\u201D is {}, not a list.");
    EXPECT_EQ(failureText(R"({"version": "2"})"), "The value at \u201Cversion\u201D is \"2\", not a whole number.");
    EXPECT_EQ(failureText(R"({"timelines": [{"id": "t", "lockedTracks": ["video-1", 2]}]})"),
        "The value at \u201Ctimelines[0].lockedTracks[1]\u201D is 2, not text.");
    EXPECT_EQ(failureText("[]"), "The value at the top level is [], not an object.");
}

TEST(SessionReader, MalformedGradeObjectIsDropped)
{
    EXPECT_FALSE(onlyClip(R"({"id": "a", "grade": "strong"})").grade);
    EXPECT_FALSE(onlyClip(R"({"id": "a", "grade": {"hasLut": "yes"}})").grade);
    EXPECT_FALSE(onlyClip(R"({"id": "a", "grade": null})").grade);
    const auto kept = onlyClip(R"({"id": "a", "grade": {"hasLut": 1}, "lutFile": "flat.cube"})");
    ASSERT_TRUE(kept.grade);
    EXPECT_EQ(kept.grade->lutFile, "flat.cube");
    EXPECT_EQ(kept.grade->hasLut, true);
}

TEST(SessionReader, MalformedFlatGradeParamsFailTheDocument)
{
    EXPECT_EQ(failureText(withClips(R"({"id": "a", "gradeParams": {"exposure": "x"}})")),
        "The value at \u201Ctimelines[0].clips[0].gradeParams.exposure\u201D is \"x\", not a number.");
    EXPECT_EQ(failureText(withClips(R"({"id": "a", "hasLut": 1})")),
        "The value at \u201Ctimelines[0].clips[0].hasLut\u201D is 1, not true or false.");
}

TEST(SessionReader, FlatGradeKeysFoldIntoTheGrade)
{
    EXPECT_FALSE(onlyClip(R"({"id": "a", "lutName": "look.cube", "lutStrength": 0.5})").grade);
    EXPECT_FALSE(onlyClip(R"({"id": "a", "hasLut": false, "lutName": "look.cube"})").grade);

    const auto withHasLut = onlyClip(R"({"id": "a", "hasLut": true, "lutName": "look.cube", "lutStrength": 0.5})");
    ASSERT_TRUE(withHasLut.grade);
    EXPECT_EQ(*withHasLut.grade, (EditorJobV2::ClipGrade{true, std::nullopt, std::nullopt, "look.cube", 0.5, std::nullopt}));

    const auto objectOnly = onlyClip(R"({"id": "a", "grade": {"lutFile": "obj.cube", "lutStrength": 0.3}})");
    EXPECT_EQ(*objectOnly.grade, (EditorJobV2::ClipGrade{false, std::nullopt, "obj.cube", std::nullopt, 0.3, std::nullopt}));

    const auto flatWins = onlyClip(R"({"id": "a", "lutFile": "flat.cube", "grade": {"lutFile": "obj.cube", "hasLut": false}})");
    EXPECT_EQ(flatWins.grade->lutFile, "flat.cube");
    EXPECT_EQ(flatWins.grade->hasLut, false);

    const auto flatWithoutObjectHasLut = onlyClip(R"({"id": "a", "lutFile": "flat.cube", "grade": {"lutFile": "obj.cube"}})");
    EXPECT_EQ(flatWithoutObjectHasLut.grade->hasLut, true);

    const auto inlineData = onlyClip(R"({"id": "a", "lutData": "LUT_3D_SIZE 2"})");
    EXPECT_EQ(inlineData.grade->hasLut, true);
    EXPECT_EQ(inlineData.grade->lutData, "LUT_3D_SIZE 2");

    const auto paramsOnly = onlyClip(R"({"id": "a", "gradeParams": {"tempAdj": 4}, "grade": {"gradeParams": {"tint": 1}}})");
    EXPECT_EQ(paramsOnly.grade->hasLut, false);
    EXPECT_EQ(paramsOnly.grade->gradeParams->temperature, 4.0);
    EXPECT_FALSE(paramsOnly.grade->gradeParams->tint);
}

TEST(SessionReader, EmptySourcesAreRebuiltFromClips)
{
    const auto session = read(withClips(R"({"id": "a", "sourceId": "s9", "name": "Beach.mov", "type": "video"})"));
    ASSERT_EQ(session.sources.size(), 1u);
    EXPECT_EQ(session.sources[0], (EditSession::Source{"s9", "Beach.mov", std::string("video")}));
}

TEST(SessionReader, ReadsNoTimingDefaults)
{
    const auto clip = onlyClip(R"({"id": "a"})");
    EXPECT_FALSE(clip.startTime);
    EXPECT_FALSE(clip.duration);
    EXPECT_FALSE(clip.speed);
    EXPECT_FALSE(clip.track);
}

TEST(ActiveTimeline, FirstMatchElseFirstTimeline)
{
    EditSession session;
    EXPECT_FALSE(session.activeTimeline());
    EXPECT_EQ(session.findActiveTimeline(), nullptr);
    session.timelines = {EditSession::Timeline{"a", "A", 0.0, 100.0, {}, {}, {}, {}},
        EditSession::Timeline{"b", "B1", 0.0, 100.0, {}, {}, {}, {}},
        EditSession::Timeline{"b", "B2", 0.0, 100.0, {}, {}, {}, {}}};
    EXPECT_EQ(session.activeTimeline()->name, "A");
    session.project = EditSession::Project{};
    EXPECT_EQ(session.activeTimelineIndex(), 0u);
    session.project->activeTimelineId = "b";
    EXPECT_EQ(session.activeTimeline()->name, "B1");
    EXPECT_EQ(session.activeTimelineIndex(), 1u);
    EXPECT_EQ(session.findActiveTimeline(), &session.timelines[1]) << "the timeline itself, not a copy";
    session.project->activeTimelineId = "missing";
    EXPECT_EQ(session.activeTimeline()->name, "A");
    EXPECT_EQ(session.findActiveTimeline(), &session.timelines[0]);
}
