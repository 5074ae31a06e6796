#include <gtest/gtest.h>

#include "model/EditSession.h"
#include "model/EditorJobV2.h"
#include "model/Job.h"
#include "model/JsonDecoding.h"

using namespace velmora;

namespace {

const char* const minimalJob = R"({"tool": "x", "version": 2, "grade": {"lutCube": ""}, "sources": [], "timelines": []})";

std::string failureText(const std::string& json)
{
    try {
        EditorJobV2::fromJSON(json);
    } catch (const DecodingError& error) {
        return EditSession::decodingErrorDescription(error);
    }
    return "no failure";
}

std::string jobWithClip(const std::string& clip)
{
    return R"({"tool": "velmora-editor-desktop-export", "version": 2, "grade": {"lutCube": ""}, "sources": [],
        "timelines": [{"id": "t", "clips": [)" + clip + "]}]}";
}

EditorJobV2::Clip onlyClip(const std::string& clip)
{
    return EditorJobV2::fromJSON(jobWithClip(clip)).timelines.at(0).clips.at(0);
}

EditorJobV2::TransformKeyframe keyframe(const std::string& json)
{
    return onlyClip(R"({"text": {"transformKeyframes": [)" + json + "]}}").text->transformKeyframes->at(0);
}

// A timeline job with no clips and the given "output" object.
std::string withOutput(const std::string& output)
{
    return R"({"tool": "x", "version": 2, "grade": {"lutCube": ""}, "sources": [], "timelines": [],
              "output": )" + output + "}";
}

} // namespace

TEST(EditorJobV2Decoding, BrowserExportJob)
{
    const auto job = EditorJobV2::fromJSON(R"({
      "tool": "velmora-editor-desktop-export", "version": 2, "createdAt": "2026-02-01T10:00:00Z",
      "project": {"name": "Coast", "width": 1920, "height": 1080, "fps": 30, "activeTimelineId": "main"},
      "grade": {"lutCube": "TITLE \"x\"\nLUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n"},
      "output": {"fps": 30, "fpsNum": 30000, "fpsDen": 1001, "width": 3840, "height": 2160,
                 "targetBitrate": 80000000, "container": "mp4"},
      "render": {"includeFilmFX": false, "includeMasks": true, "includeText": true, "includeLowerThirds": false,
                 "includeImages": true, "includeSpeedRamps": false},
      "sources": [{"id": "s1", "fileName": "DJI_0042.MP4", "type": "video"}, {"id": "s2", "fileName": "song.mp3"}],
      "mediaFolder": "/tmp/x", "sessionId": "abc", "returnedAt": "now",
      "timelines": [{"id": "main", "name": "Main", "duration": 20, "pixelsPerSecond": 64,
        "lockedTracks": ["audio-2"], "mutedTracks": [], "markers": [{"id": "m", "time": 1}],
        "clips": [
          {"id": "c1", "type": "video", "name": "DJI_0042.MP4", "sourceId": "s1", "groupId": 7, "track": 1,
           "startTime": 0, "duration": 5, "inPoint": 1, "outPoint": 6, "speed": 1.5,
           "speedKeyframes": [{"time": 0, "speed": 1}, {"time": 2, "speed": 2, "interpolation": "ease"}],
           "opacity": 0.9, "scale": 1.1, "posX": 0.1, "posY": -0.1, "rotation": 5, "fadeIn": 0.5, "fadeOut": 1,
           "blendMode": "Screen", "audioLevel": 0.5,
           "gradeParams": {"exposureAdj": 0.2},
           "grade": {"hasLut": true, "lutFile": "D-Log to Rec.709", "lutStrength": 0.8,
                     "gradeParams": {"contrast": 0.1, "moodEnabled": "yes", "moodKey": "warm"}}},
          {"id": "c2", "type": "text", "isLowerThird": true, "startTime": 1, "duration": 3,
           "text": {"textContent": "Hello", "fontFamily": "DejaVu Sans", "fontSize": 48, "letterSpacing": 1,
                    "color": "#ffffff", "outlineColor": "#000000", "outlineWidth": 2, "lineHeight": 1.2,
                    "transformKeyframes": [{"t": 0, "x": 0.5, "curve": "linear"}]},
           "lowerThird": {"ltStyle": "bar", "ltTextShadow": true, "ltRollLines": ["a", "b"], "ltBarOpacity": 0.6,
                          "ltCrawlText": "news"}},
          {"id": "c3", "type": "audio", "name": "song.mp3", "sourceId": 2.5, "track": 2}
        ]}]})");
    EXPECT_EQ(job.tool, "velmora-editor-desktop-export");
    EXPECT_EQ(job.version, 2);
    EXPECT_EQ(job.createdAt, "2026-02-01T10:00:00Z");
    EXPECT_EQ(job.project->fps, 30.0);
    EXPECT_EQ(job.project->activeTimelineId, "main");
    EXPECT_EQ(job.output->fpsNum, 30000);
    EXPECT_EQ(job.output->fpsDen, 1001);
    EXPECT_EQ(job.output->targetBitrate, 80000000);
    EXPECT_EQ(job.output->container, "mp4");
    EXPECT_EQ(job.render->includeMasks, true);
    EXPECT_EQ(job.render->includeSpeedRamps, false);
    ASSERT_EQ(job.sources.size(), 2u);
    EXPECT_FALSE(job.sources[1].type);
    const auto& timeline = job.timelines.at(0);
    EXPECT_EQ(timeline.lockedTracks, std::vector<std::string>{"audio-2"});
    EXPECT_EQ(timeline.mutedTracks, std::vector<std::string>{});
    const auto& c1 = timeline.clips.at(0);
    EXPECT_EQ(c1.groupId, "7");
    EXPECT_EQ(c1.speed, 1.5);
    ASSERT_EQ(c1.speedKeyframes->size(), 2u);
    EXPECT_EQ(c1.speedKeyframes->at(1), (EditorJobV2::SpeedKeyframe{2, 2, std::string("ease")}));
    EXPECT_EQ(c1.blendMode, "Screen");
    EXPECT_EQ(c1.gradeParams->exposure, 0.2);
    EXPECT_EQ(c1.grade->lutFile, "D-Log to Rec.709");
    EXPECT_EQ(c1.grade->gradeParams->moodEnabled, FlexibleBool{true});
    const auto& c2 = timeline.clips.at(1);
    EXPECT_EQ(c2.isLowerThird, true);
    EXPECT_EQ(c2.text->textContent, "Hello");
    EXPECT_EQ(c2.text->lineHeight, 1.2);
    EXPECT_EQ(c2.text->transformKeyframes->at(0).posX, 0.5);
    EXPECT_EQ(c2.text->transformKeyframes->at(0).interpolation, "linear");
    EXPECT_EQ(c2.lowerThird->ltTextShadow, true);
    EXPECT_EQ(c2.lowerThird->ltRollLines, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(c2.lowerThird->ltCrawlText, "news");
    EXPECT_EQ(timeline.clips.at(2).sourceId, "2.5");
    EXPECT_EQ(timeline.clips.at(2).track, 2);
}

TEST(EditorJobV2Decoding, SmallestDocumentAndItsRequiredKeys)
{
    const auto job = EditorJobV2::fromJSON(minimalJob);
    EXPECT_EQ(job.tool, "x");
    EXPECT_EQ(job.grade.lutCube, "");
    EXPECT_FALSE(job.project);
    EXPECT_FALSE(job.output);
    EXPECT_FALSE(job.render);
    EXPECT_EQ(failureText(R"({"version": 2, "grade": {"lutCube": ""}, "sources": [], "timelines": []})"), "The value at \u201Ctool\u201D is missing.");
    EXPECT_EQ(failureText(R"({"tool": "x", "grade": {"lutCube": ""}, "sources": [], "timelines": []})"), "The value at \u201Cversion\u201D is missing.");
    EXPECT_EQ(failureText(R"({"tool": "x", "version": 2, "sources": [], "timelines": []})"), "The value at \u201Cgrade\u201D is missing.");
    EXPECT_EQ(failureText(R"({"tool": "x", "version": 2, "grade": {}, "sources": [], "timelines": []})"),
        "The value at \u201Cgrade.lutCube\u201D is missing.");
    EXPECT_EQ(failureText(R"({"tool": "x", "version": 2, "grade": {"lutCube": ""}, "timelines": []})"), "The value at \u201Csources\u201D is missing.");
    EXPECT_EQ(failureText(R"({"tool": "x", "version": 2, "grade": {"lutCube": ""}, "sources": []})"), "The value at \u201Ctimelines\u201D is missing.");
    EXPECT_EQ(failureText(R"({"tool": null, "version": 2, "grade": {"lutCube": ""}, "sources": [], "timelines": []})"),
        "The value at \u201Ctool\u201D is null, not text.");
    EXPECT_EQ(failureText(R"({"tool": "x", "version": 2, "grade": {"lutCube": ""}, "sources": [{"id": "s"}], "timelines": []})"),
        "The value at \u201Csources[0].fileName\u201D is missing.");
}

TEST(EditorJobV2Decoding, TimelineAndClipRules)
{
    EXPECT_EQ(failureText(jobWithClip("").replace(jobWithClip("").find("\"id\": \"t\", "), 11, "")),
        "The value at \u201Ctimelines[0].id\u201D is missing.");
    EXPECT_EQ(failureText(R"({"tool": "x", "version": 2, "grade": {"lutCube": ""}, "sources": [], "timelines": [{"id": "t"}]})"),
        "The value at \u201Ctimelines[0].clips\u201D is missing.");
    EXPECT_EQ(onlyClip("{}"), EditorJobV2::Clip{});
    EXPECT_EQ(onlyClip(R"({"groupId": true})").groupId, std::nullopt);
    EXPECT_EQ(failureText(jobWithClip(R"({"id": 7})")), "The value at \u201Ctimelines[0].clips[0].id\u201D is 7, not text.");
    EXPECT_EQ(failureText(jobWithClip(R"({"grade": {"hasLut": 1}})")),
        "The value at \u201Ctimelines[0].clips[0].grade.hasLut\u201D is 1, not true or false.");
    EXPECT_EQ(failureText(jobWithClip(R"({"isLowerThird": "true"})")),
        "The value at \u201Ctimelines[0].clips[0].isLowerThird\u201D is \"true\", not true or false.");
    EXPECT_EQ(failureText(jobWithClip(R"({"speedKeyframes": [{"time": 1}]})")),
        "The value at \u201Ctimelines[0].clips[0].speedKeyframes[0].speed\u201D is missing.");
    EXPECT_EQ(failureText(jobWithClip(R"({"lowerThird": {"ltTextShadow": 1}})")),
        "The value at \u201Ctimelines[0].clips[0].lowerThird.ltTextShadow\u201D is 1, not true or false.");
    // Keys in another case and keys the records do not hold are ignored.
    const auto ignored = onlyClip(R"({"LutData": 5, "audioLevel": "loud", "grade": {"LutFile": 3}})");
    EXPECT_EQ(ignored.grade, EditorJobV2::ClipGrade{});
}

TEST(EditorJobV2Decoding, TransformKeyframeAliasesAndNestedValue)
{
    const auto nested = keyframe(R"({"t": 1, "value": {"x": 0.25, "o": 0.5}})");
    EXPECT_EQ(nested.time, 1.0);
    EXPECT_EQ(nested.posX, 0.25);
    EXPECT_EQ(nested.opacity, 0.5);
    EXPECT_FALSE(nested.posY);

    const auto topWins = keyframe(R"({"posY": 3, "value": {"x": 0.25}})");
    EXPECT_EQ(topWins.posY, 3.0);
    EXPECT_FALSE(topWins.posX);

    const auto longKeys = keyframe(R"({"time": 2, "t": 9, "scale": 2, "s": 3, "rotation": 45, "interpolation": "hold", "curve": "x"})");
    EXPECT_EQ(longKeys.time, 2.0);
    EXPECT_EQ(longKeys.scale, 2.0);
    EXPECT_EQ(longKeys.rotation, 45.0);
    EXPECT_EQ(longKeys.interpolation, "hold");

    const auto timeNotFromValue = keyframe(R"({"value": {"time": 4, "r": 10, "y": 1}})");
    EXPECT_FALSE(timeNotFromValue.time);
    EXPECT_EQ(timeNotFromValue.rotation, 10.0);
    EXPECT_EQ(timeNotFromValue.posY, 1.0);

    EXPECT_EQ(failureText(jobWithClip(R"({"text": {"transformKeyframes": [{"value": 3}]}})")),
        "The value at \u201Ctimelines[0].clips[0].text.transformKeyframes[0].value\u201D is 3, not an object.");
    EXPECT_THROW(EditorJobV2::fromJSON(jobWithClip(R"({"text": {"transformKeyframes": [{"value": null}]}})")), DecodingError);
    EXPECT_THROW(EditorJobV2::fromJSON(jobWithClip(R"({"text": {"transformKeyframes": [{"posX": "1", "x": 2}]}})")),
        DecodingError);
    EXPECT_EQ(keyframe(R"({"o": 1, "value": 3})").opacity, 1.0);
}

TEST(SingleVideoJobDecoding, SmallestAndFullJobs)
{
    const auto smallest = Job::fromJSON(R"({"version": 1, "grade": {"lutCube": ""}})");
    EXPECT_EQ(smallest.version, 1);
    EXPECT_EQ(smallest.grade.lutCube, "");
    EXPECT_FALSE(smallest.output);
    EXPECT_FALSE(smallest.sourceInSeconds);
    EXPECT_FALSE(smallest.sourceOutSeconds);

    const auto full = Job::fromJSON(R"({"sourceInSeconds": 1.5, "sourceOutSeconds": 7, "version": 1,
        "output": {"fps": 29.97, "fpsNum": 30000, "fpsDen": 1001, "maxWidth": 3840, "targetBitrate": 120000000,
                   "container": "mov"},
        "grade": {"lutCube": "D-Log to Rec.709.cube"}, "tool": "ignored"})");
    EXPECT_EQ(full.sourceInSeconds, 1.5);
    EXPECT_EQ(full.sourceOutSeconds, 7.0);
    EXPECT_EQ(full.output, (Job::Output{29.97, 30000, 1001, 3840, 120000000, std::string("mov")}));
    EXPECT_EQ(full.grade.lutCube, "D-Log to Rec.709.cube");
}

TEST(SingleVideoJobDecoding, Failures)
{
    EXPECT_THROW(Job::fromJSON(R"({"grade": {"lutCube": ""}})"), DecodingError);
    EXPECT_THROW(Job::fromJSON(R"({"version": 1})"), DecodingError);
    EXPECT_THROW(Job::fromJSON(R"({"version": 1, "grade": {}})"), DecodingError);
    EXPECT_THROW(Job::fromJSON(R"({"version": 1, "grade": {"lutCube": ""}, "output": {"maxWidth": "4k"}})"), DecodingError);
    EXPECT_THROW(Job::fromJSON(R"({"version": 1.5, "grade": {"lutCube": ""}})"), DecodingError);
    EXPECT_THROW(Job::fromJSON("not json"), DecodingError);
    EXPECT_THROW(Job::fromJSON(R"({"version": 1, "grade": {"lutCube": ""}, "sourceInSeconds": 1e999})"), DecodingError);
    EXPECT_THROW(EditorJobV2::fromJSON(jobWithClip(R"({"startTime": -2e308})")), DecodingError);
}

TEST(JobFrameRateLimit, RatesAbove240AreRefusedWithTheirPath)
{
    const std::string limit =
        " fps is not supported: a frame rate must be a finite number of at most 240 frames per second.";
    EXPECT_EQ(failureText(withOutput(R"({"fps": 1e9})")), "The frame rate 1000000000" + limit + " (at output.fps)");
    EXPECT_EQ(failureText(withOutput(R"({"fpsNum": 1000, "fpsDen": 1})")),
              "The frame rate 1000" + limit + " (at output.fpsNum)");
    // 240 is allowed; a fraction not used for timing (a denominator of 0) is not judged; 0 and
    // below leave the rate to the source.
    EXPECT_EQ(EditorJobV2::fromJSON(withOutput(R"({"fps": 240, "fpsNum": 240000, "fpsDen": 1001})")).output->fps, 240.0);
    EXPECT_NO_THROW(EditorJobV2::fromJSON(withOutput(R"({"fpsNum": 1000000, "fpsDen": 0, "fps": -1})")));

    const auto singleVideo = [](const std::string& output) {
        try {
            Job::fromJSON(R"({"version": 1, "grade": {"lutCube": ""}, "output": )" + output + "}");
        } catch (const DecodingError& error) {
            return EditSession::decodingErrorDescription(error);
        }
        return std::string("no failure");
    };
    EXPECT_EQ(singleVideo(R"({"fps": 480})"), "The frame rate 480" + limit + " (at output.fps)");
    EXPECT_EQ(singleVideo(R"({"fpsNum": 481, "fpsDen": 2})"), "The frame rate 240.5" + limit + " (at output.fpsNum)");
    EXPECT_EQ(singleVideo(R"({"fps": 59.94, "fpsNum": 60000, "fpsDen": 1001})"), "no failure");
}

TEST(JobBitrateLimit, TargetsOutside1To10GbpsAreRefusedWithTheirPath)
{
    const std::string limit =
        " b/s is not supported: a bit rate must be a whole number of 1 to 10000000000 bits per second.";
    EXPECT_EQ(failureText(withOutput(R"({"targetBitrate": 1000000000000000000})")),
              "The bit rate 1000000000000000000" + limit + " (at output.targetBitrate)");
    EXPECT_EQ(failureText(withOutput(R"({"targetBitrate": 0})")), "The bit rate 0" + limit + " (at output.targetBitrate)");
    // The bounds themselves: 10 Gb/s and 1 b/s are read, one bit past either is not.
    EXPECT_EQ(EditorJobV2::fromJSON(withOutput(R"({"targetBitrate": 10000000000})")).output->targetBitrate,
              10'000'000'000);
    EXPECT_EQ(failureText(withOutput(R"({"targetBitrate": 10000000001})")),
              "The bit rate 10000000001" + limit + " (at output.targetBitrate)");
    EXPECT_EQ(EditorJobV2::fromJSON(withOutput(R"({"targetBitrate": 1})")).output->targetBitrate, 1);
    for (const char* rate : {"10000000000", "1"}) {
        const std::string text = R"({"version": 1, "grade": {"lutCube": ""}, "output": {"targetBitrate": )" +
                                 std::string(rate) + "}}";
        EXPECT_EQ(Job::fromJSON(text).output->targetBitrate, std::stoll(rate));
    }
    try {
        Job::fromJSON(R"({"version": 1, "grade": {"lutCube": ""}, "output": {"targetBitrate": -5}})");
        ADD_FAILURE() << "a negative bit rate was read";
    } catch (const DecodingError& error) {
        EXPECT_EQ(EditSession::decodingErrorDescription(error), "The bit rate -5" + limit + " (at output.targetBitrate)");
    }
}

TEST(EditorJobV2Clip, GradeSettingsOfTheGradeWinOverTheClipsOwn)
{
    const auto exposure = [](const EditorJobV2::Clip& clip) {
        const auto& params = clip.effectiveGradeParams();
        return params ? params->exposure : std::nullopt;
    };
    EXPECT_EQ(exposure(onlyClip(R"({"gradeParams": {"exposure": 0.5}})")), 0.5);
    EXPECT_EQ(exposure(onlyClip(R"({"gradeParams": {"exposure": 0.5}, "grade": {"hasLut": true}})")), 0.5);
    EXPECT_EQ(exposure(onlyClip(R"({"gradeParams": {"exposure": 0.5}, "grade": {"gradeParams": {"exposure": -1}}})")),
              -1.0);
    EXPECT_FALSE(onlyClip(R"({"grade": {}})").effectiveGradeParams());
}

