#include "model/EditSession.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "model/ClipSpeed.h"
#include "model/DesktopJobTool.h"
#include "model/LutResolution.h"
#include "model/ProjectLUTResolver.h"
#include "platform/foundation/FrameRates.h"
#include "platform/foundation/IsoDate.h"
#include "platform/foundation/JsonWriting.h"
#include "platform/foundation/StringText.h"
#include "platform/foundation/Utf8.h"
#include "platform/foundation/Uuid.h"

namespace velmora {

using nlohmann::json;

namespace {

// Defaults the writers substitute for absent values, so that readers always find these keys.
constexpr int defaultWidth = 1920;
constexpr int defaultHeight = 1080;
constexpr double defaultPixelsPerSecond = 100;
constexpr std::int64_t defaultVersion = 2;

json optionalString(const std::optional<std::string>& value)
{
    return value ? json(*value) : json(nullptr);
}

// The clip's source end: the stored out-point when it lies past the in-point and beyond the
// end its timing gives, else that end (in + duration × the clip's effective speed).
double writtenOutPoint(const EditSession::Clip& clip)
{
    const double in = clip.inPoint.value_or(0);
    const double duration = clip.duration.value_or(0);
    const double speed = effectiveClipSpeed(clip.speed);
    const double end = in + duration * speed;
    const double held = clip.outPoint.value_or(0);
    if (held > in + 0.0001) {
        return std::max(held, end);
    }
    return end;
}

json gradeParamsObject(const EditorJobV2::ClipGrade::GradeParams& params)
{
    json object = json::object();
    const auto number = [&](const char* key, const std::optional<double>& value) {
        if (value) {
            object[key] = *value;
        }
    };
    number("exposure", params.exposure);
    number("contrast", params.contrast);
    number("highlights", params.highlights);
    number("shadows", params.shadows);
    number("saturation", params.saturation);
    number("vibrance", params.vibrance);
    number("temperature", params.temperature);
    number("tint", params.tint);
    if (params.moodKey) {
        object["moodKey"] = *params.moodKey;
    }
    const bool moodOn = (params.isMoodEnabled && params.isMoodEnabled->value)
        || (params.moodEnabled && params.moodEnabled->value);
    if (moodOn) {
        object["isMoodEnabled"] = 1;
    }
    number("moodAmount", params.moodIntensity ? params.moodIntensity : params.moodAmount);
    number("moodContrast", params.moodContrast);
    number("moodSaturation", params.moodSaturation);
    number("moodWarmth", params.moodWarmth);
    number("moodTealOrange", params.moodTealOrange);
    number("moodShadowLift", params.moodShadowLift);
    number("moodHighlightRolloff", params.moodHighlightRolloff);
    return object;
}

json clipGradeObject(const EditorJobV2::ClipGrade& grade)
{
    json object = json::object();
    // Usable inline text grades the clip before any file it also names (the grader's order), so a
    // grade holding both is written with both, and reads back graded by the same text and naming
    // the same file: a saved document keeps what it held. A grade without hasLut is graded by its
    // inline text alone (the LUT answer's rule), so it is written switched on exactly when it holds
    // text: it reopens graded alike, or refused by the same name where the text cannot grade
    // (kept, never dropped). Only a file beside text that cannot grade then grades in its place.
    const bool holdsText = grade.lutData && !StringText::trimmedView(grade.lutData->str()).empty();
    object["hasLut"] = grade.hasLut.value_or(holdsText);
    object["lutStrength"] = grade.lutStrength.value_or(1.0);
    const bool hasData = grade.lutData && !grade.lutData->empty();
    // "(Embedded LUT)" only labels the picker entry of a LUT carried in lutData; writing the
    // label beside the data would name a file that does not exist.
    const bool fileIsEmbeddedLabel =
        grade.lutFile && StringText::trimmed(*grade.lutFile) == ProjectLUTResolver::embeddedLutLabel;
    if (grade.lutFile && !grade.lutFile->empty() && !(fileIsEmbeddedLabel && hasData)) {
        object["lutFile"] = *grade.lutFile;
    }
    if (hasData) {
        object["lutData"] = grade.lutData->str();
    }
    if (grade.lutName) {
        object["lutName"] = *grade.lutName;
    }
    if (grade.gradeParams) {
        object["gradeParams"] = gradeParamsObject(*grade.gradeParams);
    }
    return object;
}

json clipObject(const EditSession::Clip& clip)
{
    json object = {
        {"id", clip.id},
        // A clip without a type was read as the kind its name gives (voice.wav is audio): write
        // that kind, so the clip reopens as what it was.
        {"type", clip.type ? *clip.type : EditSession::normalizedClipType(clip.type, clip.name)},
        {"name", clip.name.value_or("")},
        {"groupId", optionalString(clip.groupId)},
        {"sourceId", optionalString(clip.sourceId)},
        {"track", clip.track.value_or(1)},
        {"startTime", clip.startTime.value_or(0.0)},
        {"duration", clip.duration.value_or(0.0)},
        {"inPoint", clip.inPoint.value_or(0.0)},
        {"outPoint", writtenOutPoint(clip)},
        {"speed", clip.speed.value_or(1.0)},
        {"opacity", clip.opacity.value_or(1.0)},
        {"fadeIn", clip.fadeIn.value_or(0.0)},
        {"fadeOut", clip.fadeOut.value_or(0.0)},
        {"audioLevel", clip.audioLevel.value_or(1.0)},
    };
    if (clip.grade) {
        object["grade"] = clipGradeObject(*clip.grade);
    }
    return object;
}

json timelineObject(const EditSession::Timeline& timeline)
{
    json markers = json::array();
    for (const auto& marker : timeline.markers) {
        markers.push_back({{"id", marker.id}, {"time", marker.time}, {"label", marker.label.value_or("")}});
    }
    json clips = json::array();
    for (const auto& clip : timeline.clips) {
        clips.push_back(clipObject(clip));
    }
    return {
        {"id", timeline.id},
        {"name", timeline.name.value_or(timeline.id)},
        {"duration", timeline.duration.value_or(0.0)},
        {"pixelsPerSecond", timeline.pixelsPerSecond.value_or(defaultPixelsPerSecond)},
        {"lockedTracks", timeline.lockedTracks},
        {"mutedTracks", timeline.mutedTracks},
        {"markers", std::move(markers)},
        {"clips", std::move(clips)},
    };
}

json projectObject(const EditSession& session)
{
    const EditSession::Project project = session.project.value_or(EditSession::Project());
    std::string activeTimelineId = "t1";
    if (project.activeTimelineId) {
        activeTimelineId = *project.activeTimelineId;
    } else if (!session.timelines.empty()) {
        activeTimelineId = session.timelines.front().id;
    }
    return {
        {"name", project.name.value_or("project")},
        {"width", project.width.value_or(defaultWidth)},
        {"height", project.height.value_or(defaultHeight)},
        {"fps", project.fps.value_or(defaultFrameRate)},
        {"activeTimelineId", activeTimelineId},
    };
}

void writeJsonFile(const std::filesystem::path& url, const json& payload)
{
    JsonWriting::saveFileAtomically(url, JsonWriting::prettySortedText(payload));
}

} // namespace

json EditSession::timelineJobPayload(const std::string& tool) const
{
    return timelineJobPayload(tool, json::object());
}

json EditSession::timelineJobPayload(const std::string& tool, const json& extraFields) const
{
    json timelinesArray = json::array();
    for (const auto& timeline : timelines) {
        timelinesArray.push_back(timelineObject(timeline));
    }
    json payload = {
        {"tool", tool},
        {"version", version.value_or(defaultVersion)},
        {"project", projectObject(*this)},
        {"timelines", std::move(timelinesArray)},
        {"grade", {{"lutCube", grade && grade->lutCube ? *grade->lutCube : std::string()}}},
    };
    if (mediaFolder) {
        payload["mediaFolder"] = *mediaFolder;
    }
    if (extraFields.is_object()) {
        for (const auto& [key, value] : extraFields.items()) {
            payload[key] = value;
        }
    }
    return payload;
}

json EditSession::sourcesPayload(const std::map<std::string, std::filesystem::path>* shownFiles) const
{
    json array = json::array();
    for (const auto& source : sources) {
        std::string fileName = source.fileName;
        if (shownFiles) {
            // A file whose name is not UTF-8 text (one shown in place of a missing file) cannot be
            // named in JSON: the job keeps the source's own name, and the routes handed the
            // answers read the file from them.
            if (const auto shown = shownFiles->find(source.id);
                shown != shownFiles->end() && Utf8::isValid(shown->second.filename().native())) {
                fileName = shown->second.filename().string();
            }
        }
        array.push_back({{"id", source.id}, {"fileName", fileName}, {"type", source.type.value_or("video")}});
    }
    return array;
}

json EditSession::renderFlagsPayload() const
{
    bool text = false;
    bool images = false;
    if (const Timeline* timeline = findActiveTimeline()) {
        for (const auto& clip : timeline->clips) {
            text = text || (clip.type && *clip.type == "text");
            images = images || normalizedClipType(clip.type, clip.name) == "image";
        }
    }
    return {
        {"includeFilmFX", false}, {"includeMasks", false},       {"includeText", text},
        {"includeLowerThirds", text}, {"includeImages", images}, {"includeSpeedRamps", true},
    };
}

json EditSession::exportOutputDictionary(const std::optional<Project>& project)
{
    const Project settings = project.value_or(Project());
    // The rate the project runs at: a stated rate that is no rate (0, negative) is not handed on,
    // or the export would time its frames by it.
    const double fps = projectFrameRate(settings.fps);
    const RateTimebase timebase = rateTimebase(fps);
    return {
        {"width", settings.width.value_or(defaultWidth)},
        {"height", settings.height.value_or(defaultHeight)},
        {"fps", fps},
        {"fpsNum", timebase.timescale},
        {"fpsDen", timebase.step},
        {"container", "mp4"},
    };
}

std::string EditSession::renderJobText(const std::map<std::string, std::filesystem::path>* shownFiles) const
{
    const json extra = {
        {"createdAt", createdAt.value_or(IsoDate::now())},
        {"output", exportOutputDictionary(project)},
        {"render", renderFlagsPayload()},
        {"sources", sourcesPayload(shownFiles)},
    };
    return JsonWriting::prettySortedText(timelineJobPayload(DesktopJobTool::browserExport, extra));
}

void EditSession::writeRenderJob(const std::filesystem::path& url) const
{
    JsonWriting::saveFileAtomically(url, renderJobText());
}

void EditSession::saveReturnCopy(const std::filesystem::path& url, const std::optional<std::string>& mediaFolderPath)
{
    if (mediaFolderPath && !mediaFolderPath->empty()) {
        mediaFolder = *mediaFolderPath;
    }
    syncSourcesFromTimelines();
    normalizeAllClipTiming();
    const std::string now = IsoDate::now();
    const json extra = {
        {"returnedAt", now},
        {"sessionId", sessionId.value_or(Uuid::randomText())},
        {"createdAt", createdAt.value_or(now)},
        {"sources", sourcesPayload()},
    };
    writeJsonFile(url, timelineJobPayload(DesktopJobTool::editReturn, extra));
}

void EditSession::saveProject(const std::filesystem::path& url, const std::optional<std::string>& mediaFolderPath)
{
    if (!tool || tool->empty()) {
        tool = DesktopJobTool::editSession;
    }
    if (!version) {
        version = defaultVersion;
    }
    if (!sessionId) {
        sessionId = Uuid::randomText();
    }
    if (!createdAt) {
        createdAt = IsoDate::now();
    }
    if (mediaFolderPath && !mediaFolderPath->empty()) {
        mediaFolder = *mediaFolderPath;
    }
    normalizeAllClipTiming();
    syncSourcesFromTimelines();
    const json extra = {{"createdAt", *createdAt}, {"sources", sourcesPayload()}};
    writeJsonFile(url, timelineJobPayload(DesktopJobTool::editSession, extra));
}

} // namespace velmora
