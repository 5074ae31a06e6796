#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "model/EditSession.h"

using namespace velmora;
using json = nlohmann::json;

namespace {

EditSession import(const char* text)
{
    return EditSession::fromWebTavlek(json::parse(text));
}

// One timeline holding the given clip objects, with a small library.
EditSession importClips(const std::string& clips)
{
    const std::string text = R"JSON({"library": [{"id": "lib1", "name": "Clip01 (Audio).WAV", "type": "audio"},
                                                 {"id": "lib2", "name": "Beach.MOV"}],
                                    "timelines": [{"id": "t", "clips": [)JSON"
        + clips + "]}]}";
    return EditSession::fromWebTavlek(json::parse(text));
}

EditSession::Clip onlyClip(const std::string& clip)
{
    return importClips(clip).timelines.at(0).clips.at(0);
}

} // namespace

TEST(BrowserPayload, NeedsTimelinesWithLibraryOrState)
{
    EXPECT_TRUE(EditSession::isWebTavlekPayload(json::parse(R"({"state": {}, "timelines": []})")));
    EXPECT_TRUE(EditSession::isWebTavlekPayload(json::parse(R"({"library": 5, "timelines": null})")));
    EXPECT_FALSE(EditSession::isWebTavlekPayload(json::parse(R"({"library": []})")));
    EXPECT_FALSE(EditSession::isWebTavlekPayload(json::parse(R"({"state": {"timelines": []}})")));
    EXPECT_FALSE(EditSession::isWebTavlekPayload(json::parse(R"({"timelines": [], "tool": "x"})")));
    EXPECT_FALSE(EditSession::isWebTavlekPayload(json::parse(R"([1])")));
}

TEST(BrowserImport, RealLookingProject)
{
    const auto session = import(R"JSON({
      "version": "2.4.1",
      "state": {"projectName": "Old name", "activeTimelineId": "tl_main",
                "projectSettings": {"name": "Coast Trip", "width": "3840", "height": 2160, "fps": "29.97"}},
      "library": [{"id": "m1", "name": "DJI_0042.MP4", "type": "video"},
                  {"id": 12},
                  {"id": "", "name": "skipped.mov"},
                  {"id": "m3", "name": "music.mp3"}],
      "timelines": [{"id": "tl_main", "name": "Main", "duration": "12.5", "pixelsPerSecond": 64,
                     "markers": [{"id": "x", "time": 1}], "lockedTracks": ["video-1"],
                     "clips": [{"id": "c1", "type": "video", "name": "DJI_0042.MP4", "track": 1, "startTime": 0,
                                "duration": 5, "inPoint": 2, "speed": 1, "opacity": 1, "audioLevel": "0.8",
                                "_originalFramerate": 29.97},
                               {"timelineId": "c2", "name": "music.mp3", "track": "1", "startTime": 0, "duration": 5}]},
                    {"name": "no id"}]})JSON");
    EXPECT_EQ(session.tool, "browser-tavlek");
    EXPECT_EQ(session.version, 2);
    ASSERT_TRUE(session.createdAt);
    EXPECT_EQ(session.createdAt->back(), 'Z');
    EXPECT_EQ(*session.project, (EditSession::Project{"Coast Trip", 3840, 2160, 29.97, std::string("tl_main")}));
    EXPECT_FALSE(session.grade);
    EXPECT_FALSE(session.mediaFolder);
    ASSERT_EQ(session.sources.size(), 3u);
    EXPECT_EQ(session.sources[0], (EditSession::Source{"m1", "DJI_0042.MP4", std::string("video")}));
    EXPECT_EQ(session.sources[1], (EditSession::Source{"12", "12", std::string("video")}));
    EXPECT_EQ(session.sources[2], (EditSession::Source{"m3", "music.mp3", std::string("audio")}));
    ASSERT_EQ(session.timelines.size(), 1u);
    const auto& timeline = session.timelines[0];
    EXPECT_EQ(timeline.name, "Main");
    EXPECT_EQ(timeline.pixelsPerSecond, 64.0);
    EXPECT_EQ(timeline.duration, 5.0);
    EXPECT_TRUE(timeline.markers.empty());
    EXPECT_TRUE(timeline.lockedTracks.empty());
    ASSERT_EQ(timeline.clips.size(), 2u);
    const auto& video = timeline.clips[0];
    EXPECT_EQ(video.sourceId, "m1");
    EXPECT_EQ(video.audioLevel, 0.8);
    EXPECT_EQ(video.framerate, 29.97);
    EXPECT_EQ(video.outPoint, 7.0);
    const auto& music = timeline.clips[1];
    EXPECT_EQ(music.id, "c2");
    EXPECT_EQ(music.sourceId, "m3");
    EXPECT_EQ(music.track, 1);
    EXPECT_EQ(music.speed, 1.0);
}

TEST(BrowserImport, VersionText)
{
    EXPECT_EQ(import(R"({"version": "2.5.1", "state": {}, "timelines": []})").version, 2);
    EXPECT_EQ(import(R"({"version": "v2", "state": {}, "timelines": []})").version, 1);
    EXPECT_EQ(import(R"({"version": 3, "state": {}, "timelines": []})").version, 1);
    EXPECT_EQ(import(R"({"version": ".7", "state": {}, "timelines": []})").version, 7);
    EXPECT_EQ(import(R"({"version": "", "state": {}, "timelines": []})").version, 1);
    EXPECT_EQ(import(R"({"state": {}, "timelines": []})").version, 1);
}

TEST(BrowserImport, ProjectSettingsFallbacks)
{
    const auto abc = import(R"({"state": {"projectSettings": {"fps": "abc", "frameRate": 25}}, "timelines": []})");
    EXPECT_EQ(abc.project->fps, 25.0);
    EXPECT_FALSE(abc.project->name);
    const auto both = import(R"({"state": {"projectSettings": {"fps": 30, "frameRate": 25}}, "timelines": []})");
    EXPECT_EQ(both.project->fps, 30.0);
    const auto emptySettings = import(R"({"state": {"projectSettings": {}, "projectName": "PN"}, "timelines": []})");
    EXPECT_EQ(emptySettings.project->name, "PN");
    const auto nameNotText = import(R"({"state": {"projectSettings": {"name": 5}, "projectName": " PN "}, "timelines": []})");
    EXPECT_EQ(nameNotText.project->name, " PN ");
    const auto emptyName = import(R"({"state": {"projectSettings": {"name": ""}, "projectName": "PN"}, "timelines": []})");
    EXPECT_EQ(emptyName.project->name, "");
    const auto noState = import(R"({"library": [], "timelines": [{"id": "t1"}]})");
    EXPECT_EQ(noState.project->name, "Desktop Project");
    EXPECT_EQ(noState.project->fps, 59.94);
    EXPECT_EQ(noState.project->activeTimelineId, "t1");
    EXPECT_EQ(noState.timelines.at(0).name, "Timeline");
    EXPECT_EQ(noState.timelines.at(0).pixelsPerSecond, 100.0);
}

TEST(BrowserImport, NameLookupIgnoresAudioSuffixAndCase)
{
    EXPECT_EQ(onlyClip(R"({"id": "a", "name": "CLIP01.wav"})").sourceId, "lib1");
    EXPECT_EQ(onlyClip(R"J({"id": "a", "name": "clip01 (AUDIO).wav"})J").sourceId, "lib1");
    EXPECT_EQ(onlyClip(R"J({"id": "a", "name": "beach.mov (Audio)"})J").sourceId, "lib2");
    EXPECT_EQ(onlyClip(R"({"id": "a", "sourceId": "", "name": "other.mov"})").sourceId, std::nullopt);
    EXPECT_EQ(onlyClip(R"({"id": "a", "sourceId": 44, "name": "Beach.MOV"})").sourceId, "44");
    EXPECT_EQ(onlyClip(R"({"id": "a"})").sourceId, std::nullopt);
}

TEST(BrowserImport, ClipIdentifiers)
{
    const auto session = importClips(R"({"timelineId": 9}, {"name": "no id"}, {"id": " ", "timelineId": "x"}, {"id": 2.5})");
    ASSERT_EQ(session.timelines[0].clips.size(), 3u);
    EXPECT_EQ(session.timelines[0].clips[0].id, "9");
    EXPECT_EQ(session.timelines[0].clips[1].id, "x");
    EXPECT_EQ(session.timelines[0].clips[2].id, "2.5");
}

TEST(BrowserImport, DuplicateClipIdsAreMadeUnique)
{
    const auto session = importClips(R"({"id": "a", "startTime": 0}, {"id": "a", "startTime": 1})");
    EXPECT_EQ(session.timelines[0].clips[0].id, "a");
    EXPECT_NE(session.timelines[0].clips[1].id, "a");
    EXPECT_EQ(session.timelines[0].clips[1].id.substr(0, 2), "a_");
}

TEST(BrowserImport, LenientNumbers)
{
    EXPECT_EQ(onlyClip(R"({"id": "a"})").speed, 1.0);
    EXPECT_EQ(onlyClip(R"({"id": "a", "speed": "0.5"})").speed, 0.5);
    EXPECT_EQ(onlyClip(R"({"id": "a", "speed": " 0.5"})").speed, 1.0);
    EXPECT_EQ(onlyClip(R"({"id": "a", "speed": "nan"})").speed, 1.0);
    EXPECT_EQ(onlyClip(R"({"id": "a", "track": "2"})").track, 2);
    EXPECT_EQ(onlyClip(R"({"id": "a", "track": 2.9})").track, 2);
    EXPECT_EQ(onlyClip(R"({"id": "a", "track": -2.9})").track, -2);
    EXPECT_EQ(onlyClip(R"({"id": "a", "track": "2.0"})").track, std::nullopt);
    EXPECT_EQ(onlyClip(R"({"id": "a", "track": 1e30})").track, std::nullopt);
    EXPECT_EQ(onlyClip(R"({"id": "a", "track": 9999999999})").track, std::nullopt);
    EXPECT_EQ(onlyClip(R"({"id": "a", "startTime": true})").startTime, std::nullopt);
    EXPECT_EQ(onlyClip(R"({"id": "a", "framerate": 25, "_originalFramerate": 30})").framerate, 25.0);
}

TEST(LenientReaders, TextIntegerAndNumber)
{
    const json values = json::parse(R"({"t": "  x  ", "blank": " ", "i": 12, "f": 2.5, "whole": 3.0, "b": true, "n": null,
        "big": 18446744073709551615, "plus": "+7", "neg": "-3", "o": {}})");
    auto at = [&](const char* key) { return &values.at(key); };
    EXPECT_EQ(EditSession::webString(at("t")), "x");
    EXPECT_EQ(EditSession::webString(at("blank")), std::nullopt);
    EXPECT_EQ(EditSession::webString(at("i")), "12");
    EXPECT_EQ(EditSession::webString(at("f")), "2.5");
    EXPECT_EQ(EditSession::webString(at("whole")), "3");
    EXPECT_EQ(EditSession::webString(at("b")), std::nullopt);
    EXPECT_EQ(EditSession::webString(at("n")), std::nullopt);
    EXPECT_EQ(EditSession::webString(nullptr), std::nullopt);
    EXPECT_EQ(EditSession::intValue(at("plus")), 7);
    EXPECT_EQ(EditSession::intValue(at("neg")), -3);
    EXPECT_EQ(EditSession::intValue(at("f")), 2);
    EXPECT_EQ(EditSession::intValue(at("big")), std::nullopt);
    EXPECT_EQ(EditSession::intValue(at("b")), std::nullopt);
    EXPECT_EQ(EditSession::intValue(at("t")), std::nullopt);
    EXPECT_EQ(EditSession::doubleValue(at("i")), 12.0);
    EXPECT_EQ(EditSession::doubleValue(at("neg")), -3.0);
    EXPECT_EQ(EditSession::doubleValue(at("o")), std::nullopt);
    EXPECT_EQ(EditSession::doubleValue(at("b")), std::nullopt);
}

TEST(BrowserImport, GradeFromFlatKeysAndGradeParams)
{
    EXPECT_FALSE(onlyClip(R"({"id": "a", "exposure": 0.3, "hasLut": false})").grade);
    EXPECT_FALSE(onlyClip(R"({"id": "a", "exposure": 0.3, "hasLut": 1})").grade);

    const auto emptyParams = onlyClip(R"({"id": "a", "exposure": 0.3, "hasLut": false, "gradeParams": {}})");
    ASSERT_TRUE(emptyParams.grade);
    EXPECT_EQ(emptyParams.grade->hasLut, false);
    EXPECT_EQ(emptyParams.grade->gradeParams->exposure, 0.3);

    const auto paramsWin = onlyClip(R"({"id": "a", "exposure": 0.9, "gradeParams": {"exposure": 0.1, "tempAdj": 4}})");
    EXPECT_EQ(paramsWin.grade->gradeParams->exposure, 0.1);
    EXPECT_EQ(paramsWin.grade->gradeParams->temperature, 4.0);

    const auto lutOnly = onlyClip(R"({"id": "a", "lutFile": " Look.cube ", "lutStrength": "0.5", "lutName": 7})");
    ASSERT_TRUE(lutOnly.grade);
    EXPECT_EQ(*lutOnly.grade, (EditorJobV2::ClipGrade{true, std::nullopt, std::string("Look.cube"), std::string("7"), 0.5,
                                  std::nullopt}));

    const auto nullLut = onlyClip(R"({"id": "a", "lutData": null})");
    EXPECT_EQ(nullLut.grade->hasLut, true);
    EXPECT_FALSE(nullLut.grade->lutData);

    const auto hasLutTrue = onlyClip(R"({"id": "a", "hasLut": true, "moodKey": "warm", "isMoodEnabled": "yes"})");
    EXPECT_EQ(hasLutTrue.grade->hasLut, true);
    EXPECT_EQ(hasLutTrue.grade->gradeParams->moodKey, "warm");
    EXPECT_FALSE(hasLutTrue.grade->gradeParams->isMoodEnabled); // only the eleven flat keys are taken

    const auto broken = onlyClip(R"({"id": "a", "gradeParams": {"exposure": "bright"}, "hasLut": false})");
    ASSERT_TRUE(broken.grade);
    EXPECT_FALSE(broken.grade->gradeParams);

    const auto lenientSwitch = onlyClip(R"({"id": "a", "gradeParams": {"isMoodEnabled": "Y"}})");
    EXPECT_EQ(lenientSwitch.grade->gradeParams->isMoodEnabled, FlexibleBool{true});
}

TEST(BrowserImport, WrongShapesAreAbsent)
{
    const auto session = import(R"({"library": {"id": "x"}, "state": [], "timelines": [{"id": "t", "clips": [1, {"id": "c"}]}]})");
    EXPECT_EQ(session.project->name, "Desktop Project");
    ASSERT_EQ(session.timelines.size(), 1u);
    EXPECT_TRUE(session.timelines[0].clips.empty());
    EXPECT_TRUE(session.sources.empty());

    const auto mixedTimelines = import(R"({"library": [], "timelines": [{"id": "t"}, 3]})");
    ASSERT_EQ(mixedTimelines.timelines.size(), 1u);
    EXPECT_EQ(mixedTimelines.timelines[0].name, "Timeline 1");
}

TEST(BrowserImport, SourcesRebuiltFromClipsWithoutLibrary)
{
    const auto session = import(R"J({"state": {}, "timelines": [{"id": "t", "clips": [
        {"id": "c", "sourceId": "s7", "name": "Surf.mov (Audio)", "type": "audio"}]}]})J");
    ASSERT_EQ(session.sources.size(), 1u);
    EXPECT_EQ(session.sources[0], (EditSession::Source{"s7", "Surf.mov", std::string("video")}));
}

TEST(BrowserImport, DeeplyNestedGradeValuesDoNotExhaustTheStack)
{
    const std::size_t depth = 200000;
    const std::string nested = std::string(depth, '[') + std::string(depth, ']');
    const auto session = importClips(R"({"id": "a", "gradeParams": {"exposure": )" + nested + R"(, "moodKey": )" + nested
        + R"(}, "contrast": )" + nested + "}");
    const auto& clip = session.timelines.at(0).clips.at(0);
    ASSERT_TRUE(clip.grade);
    EXPECT_FALSE(clip.grade->gradeParams);
}
