// Browser project import: the browser editor's own project file, read leniently. Numbers may
// arrive as text, identifiers as numbers, flags as anything; a value that cannot be read leaves
// its field absent, and the import never fails.

#include <cmath>
#include <limits>

#include <nlohmann/json.hpp>

#include "model/EditSession.h"
#include "model/CanvasSizeLimit.h"
#include "model/FrameRateLimit.h"
#include "model/JsonDecoding.h"
#include "platform/foundation/IsoDate.h"
#include "platform/foundation/NumberText.h"
#include "platform/foundation/StringText.h"

namespace velmora {

namespace {

using json = nlohmann::json;

constexpr char browserProjectTool[] = "browser-tavlek";
constexpr double defaultPixelsPerSecond = 100.0;

// The flat per-clip grade keys a browser clip may carry beside (or instead of) "gradeParams".
constexpr const char* flatGradeKeys[] = {"exposure", "contrast", "highlights", "shadows", "saturation", "vibrance",
    "temperature", "tint", "sharpness", "vignetteStrength", "moodKey"};

const json* member(const json& object, const char* key)
{
    if (!object.is_object()) {
        return nullptr;
    }
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

bool isArrayOfObjects(const json* value)
{
    if (!value || !value->is_array()) {
        return false;
    }
    for (const auto& element : *value) {
        if (!element.is_object()) {
            return false;
        }
    }
    return true;
}

const std::string* textMember(const json& object, const char* key)
{
    const json* value = member(object, key);
    return (value && value->is_string()) ? &value->get_ref<const std::string&>() : nullptr;
}

std::optional<int> intMember(const json& object, const char* key)
{
    const auto value = EditSession::intValue(member(object, key));
    if (!value || *value < std::numeric_limits<int>::min() || *value > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return static_cast<int>(*value);
}

std::optional<double> doubleMember(const json& object, const char* key)
{
    return EditSession::doubleValue(member(object, key));
}

std::optional<std::string> stringMember(const json& object, const char* key)
{
    return EditSession::webString(member(object, key));
}

// Every grade parameter is a single value, so a nested array or object decodes the same way
// whatever it holds; copying only its kind keeps a hostile, deeply nested file from exhausting
// the stack (copying JSON recurses).
json shallowCopy(const json& value)
{
    if (value.is_object()) {
        return json::object();
    }
    if (value.is_array()) {
        return json::array();
    }
    return value;
}

std::string withoutAudioSuffix(const std::string& name)
{
    return StringText::lowercased(StringText::trimmed(StringText::removingAllIgnoringCase(name, " (Audio)")));
}

std::int64_t browserVersion(const json& object)
{
    const std::string* text = textMember(object, "version");
    if (!text) {
        return 1;
    }
    std::string firstPiece;
    std::size_t start = 0;
    while (start <= text->size()) {
        const std::size_t dot = std::min(text->find('.', start), text->size());
        if (dot > start) {
            firstPiece = text->substr(start, dot - start);
            break;
        }
        start = dot + 1;
    }
    return NumberText::parseInteger(firstPiece).value_or(1);
}

std::optional<EditSession::Project> browserProject(const json& object)
{
    const json* state = member(object, "state");
    if (!state || !state->is_object()) {
        return std::nullopt;
    }
    EditSession::Project project;
    const json* settings = member(*state, "projectSettings");
    const std::string* projectName = textMember(*state, "projectName");
    if (settings && settings->is_object() && !settings->empty()) {
        if (const std::string* name = textMember(*settings, "name")) {
            project.name = *name;
        } else if (projectName) {
            project.name = *projectName;
        }
        project.width = intMember(*settings, "width");
        project.height = intMember(*settings, "height");
        CanvasSizeLimit::check(project.width, {"state", "projectSettings", "width"});
        CanvasSizeLimit::check(project.height, {"state", "projectSettings", "height"});
        project.fps = doubleMember(*settings, "fps");
        const char* fpsKey = "fps";
        if (!project.fps) {
            project.fps = doubleMember(*settings, "frameRate");
            fpsKey = "frameRate";
        }
        FrameRateLimit::check(project.fps, {"state", "projectSettings", fpsKey});
    } else if (projectName) {
        project.name = *projectName;
    }
    if (const std::string* active = textMember(*state, "activeTimelineId")) {
        project.activeTimelineId = *active;
    }
    return project;
}

} // namespace

bool EditSession::isWebTavlekPayload(const nlohmann::json& object)
{
    if (!object.is_object()) {
        return false;
    }
    const bool hasTimelines = object.contains("timelines");
    return hasTimelines && (object.contains("library") || object.contains("state"));
}

EditSession EditSession::fromWebTavlek(const nlohmann::json& object)
{
    EditSession session;
    session.tool = browserProjectTool;
    session.version = browserVersion(object);
    session.createdAt = IsoDate::now();
    session.project = browserProject(object);

    std::map<std::string, std::string> libraryByName;
    if (const json* library = member(object, "library"); isArrayOfObjects(library)) {
        for (const auto& item : *library) {
            auto id = stringMember(item, "id");
            if (!id || id->empty()) {
                continue;
            }
            std::string fileName = stringMember(item, "name").value_or(*id);
            const std::string type = normalizedClipType(stringMember(item, "type"), fileName);
            session.sources.emplace_back(*id, fileName, type);
            libraryByName[StringText::lowercased(fileName)] = *id;
            if (std::string key = withoutAudioSuffix(fileName); !key.empty()) {
                libraryByName[key] = *id;
            }
        }
    }

    if (const json* timelines = member(object, "timelines"); isArrayOfObjects(timelines)) {
        for (const auto& item : *timelines) {
            auto id = stringMember(item, "id");
            if (!id) {
                continue;
            }
            Timeline timeline;
            timeline.id = *id;
            timeline.name = stringMember(item, "name").value_or("Timeline");
            timeline.duration = doubleMember(item, "duration");
            timeline.pixelsPerSecond = doubleMember(item, "pixelsPerSecond").value_or(defaultPixelsPerSecond);
            if (const json* clips = member(item, "clips"); isArrayOfObjects(clips)) {
                for (const auto& clipObject : *clips) {
                    if (auto clip = clipFromWebDict(clipObject, libraryByName)) {
                        timeline.clips.push_back(std::move(*clip));
                    }
                }
            }
            session.timelines.push_back(std::move(timeline));
        }
    }

    session.rebuildSourcesFromClipsIfNeeded();
    // Browser projects may repeat a clip id; edits address clips by id, so later repeats get
    // fresh ids (the first keeps its own).
    session.normalizeClipIds();
    session.normalizeAllClipTiming();
    session.ensureDefaultTimelineIfNeeded();
    return session;
}

std::optional<EditSession::Clip> EditSession::clipFromWebDict(const nlohmann::json& object,
    const std::map<std::string, std::string>& libraryByName)
{
    auto id = stringMember(object, "id");
    if (!id) {
        id = stringMember(object, "timelineId");
    }
    if (!id) {
        return std::nullopt;
    }
    Clip clip(*id);
    clip.type = stringMember(object, "type");
    clip.name = stringMember(object, "name");
    clip.groupId = stringMember(object, "groupId");
    clip.track = intMember(object, "track");
    clip.startTime = doubleMember(object, "startTime");
    clip.duration = doubleMember(object, "duration");
    clip.inPoint = doubleMember(object, "inPoint");
    clip.outPoint = doubleMember(object, "outPoint");
    clip.speed = doubleMember(object, "speed").value_or(1.0);
    clip.fadeIn = doubleMember(object, "fadeIn");
    clip.fadeOut = doubleMember(object, "fadeOut");
    clip.opacity = doubleMember(object, "opacity");
    clip.scale = doubleMember(object, "scale");
    clip.posX = doubleMember(object, "posX");
    clip.posY = doubleMember(object, "posY");
    clip.rotation = doubleMember(object, "rotation");
    clip.audioLevel = doubleMember(object, "audioLevel");
    clip.framerate = doubleMember(object, "framerate");
    if (!clip.framerate) {
        clip.framerate = doubleMember(object, "_originalFramerate");
    }

    if (auto sourceId = stringMember(object, "sourceId"); sourceId && !sourceId->empty()) {
        clip.sourceId = std::move(sourceId);
    } else if (clip.name) {
        auto found = libraryByName.find(withoutAudioSuffix(*clip.name));
        if (found == libraryByName.end()) {
            found = libraryByName.find(StringText::lowercased(*clip.name));
        }
        if (found != libraryByName.end()) {
            clip.sourceId = found->second;
        }
    }

    const json* gradeParams = member(object, "gradeParams");
    const json* hasLut = member(object, "hasLut");
    if (gradeParams && gradeParams->is_object()) {
        clip.grade = clipGradeFromWebDict(object, gradeParams);
    } else if ((hasLut && hasLut->is_boolean() && hasLut->get<bool>()) || object.contains("lutFile")
        || object.contains("lutData")) {
        clip.grade = clipGradeFromWebDict(object, nullptr);
    }
    return clip;
}

EditorJobV2::ClipGrade EditSession::clipGradeFromWebDict(const nlohmann::json& object, const nlohmann::json* gradeParams)
{
    json params = json::object();
    if (gradeParams && gradeParams->is_object()) {
        for (const auto& [key, value] : gradeParams->items()) {
            params[key] = shallowCopy(value);
        }
    }
    for (const char* key : flatGradeKeys) {
        if (!params.contains(key)) {
            if (const json* value = member(object, key)) {
                params[key] = shallowCopy(*value);
            }
        }
    }
    EditorJobV2::ClipGrade grade;
    if (!params.empty()) {
        // Parameters that do not read are dropped, also where the project is read for all its
        // failures.
        const JsonDecoding::ThrowingFailures dropped;
        try {
            grade.gradeParams = EditorJobV2::ClipGrade::GradeParams::decode(KeyedContainer(params, {}));
        } catch (const DecodingError&) {
            grade.gradeParams.reset();
        }
    }
    const json* hasLut = member(object, "hasLut");
    if (hasLut && hasLut->is_boolean()) {
        grade.hasLut = hasLut->get<bool>();
    } else {
        grade.hasLut = object.contains("lutData") || object.contains("lutFile");
    }
    grade.lutData = stringMember(object, "lutData");
    grade.lutFile = stringMember(object, "lutFile");
    grade.lutName = stringMember(object, "lutName");
    grade.lutStrength = doubleMember(object, "lutStrength");
    return grade;
}

std::optional<std::string> EditSession::webString(const nlohmann::json* value)
{
    if (!value) {
        return std::nullopt;
    }
    if (value->is_string()) {
        std::string text = StringText::trimmed(value->get_ref<const std::string&>());
        if (text.empty()) {
            return std::nullopt;
        }
        return text;
    }
    if (value->is_number_unsigned()) {
        return std::to_string(value->get<std::uint64_t>());
    }
    if (value->is_number_integer()) {
        return NumberText::integer(value->get<std::int64_t>());
    }
    if (value->is_number_float()) {
        return NumberText::shortest(value->get<double>());
    }
    return std::nullopt;
}

std::optional<std::int64_t> EditSession::intValue(const nlohmann::json* value)
{
    if (!value) {
        return std::nullopt;
    }
    if (value->is_number_unsigned()) {
        const auto v = value->get<std::uint64_t>();
        if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(v);
    }
    if (value->is_number_integer()) {
        return value->get<std::int64_t>();
    }
    if (value->is_number_float()) {
        const double v = std::trunc(value->get<double>());
        // [-2^63, 2^63): the range a 64-bit integer holds, compared exactly.
        if (!std::isfinite(v) || v < -9223372036854775808.0 || v >= 9223372036854775808.0) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(v);
    }
    if (value->is_string()) {
        return NumberText::parseInteger(value->get_ref<const std::string&>());
    }
    return std::nullopt;
}

std::optional<double> EditSession::doubleValue(const nlohmann::json* value)
{
    if (!value) {
        return std::nullopt;
    }
    if (value->is_number()) {
        return value->get<double>();
    }
    if (value->is_string()) {
        return NumberText::parseDouble(value->get_ref<const std::string&>());
    }
    return std::nullopt;
}

} // namespace velmora
