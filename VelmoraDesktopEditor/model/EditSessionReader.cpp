// The session reader: EditSession and its records from a project document or a bare session
// document, with the few lenient places that older and foreign documents need.

#include "model/CanvasSizeLimit.h"
#include "model/EditSession.h"
#include "model/FrameRateLimit.h"
#include "model/JsonDecoding.h"
#include "platform/foundation/Uuid.h"

namespace velmora {

template <>
struct JsonDecodable<EditSession::Project> {
    static EditSession::Project decode(const KeyedContainer& c)
    {
        EditSession::Project p;
        p.name = c.decodeIfPresent<std::string>("name");
        p.width = CanvasSizeLimit::decodeSide(c, "width");
        p.height = CanvasSizeLimit::decodeSide(c, "height");
        p.fps = FrameRateLimit::decodeFps(c, "fps");
        p.activeTimelineId = c.decodeIfPresent<std::string>("activeTimelineId");
        return p;
    }
};

template <>
struct JsonDecodable<EditSession::ProjectGrade> {
    static EditSession::ProjectGrade decode(const KeyedContainer& c)
    {
        return EditSession::ProjectGrade{c.decodeIfPresent<std::string>("lutCube")};
    }
};

template <>
struct JsonDecodable<EditSession::Source> {
    static EditSession::Source decode(const KeyedContainer& c)
    {
        EditSession::Source s;
        // Source ids are strict strings (unlike clip ids); "sourceKey" is an older name.
        auto id = c.decodeIfPresent<std::string>("id", "sourceKey");
        s.id = id ? std::move(*id) : "src_" + Uuid::randomText().substr(0, 8);
        s.fileName = c.decodeIfPresent<std::string>("fileName").value_or("media.mov");
        s.type = c.decodeIfPresent<std::string>("type");
        s.width = c.decodeIfPresent<int>("width");
        s.height = c.decodeIfPresent<int>("height");
        s.framerate = c.decodeIfPresent<double>("framerate");
        if (auto thumbnail = c.decodeIfPresent<std::vector<std::uint8_t>>("thumbnailData")) {
            s.thumbnailData = SharedBytes(std::move(*thumbnail));
        }
        return s;
    }
};

EditSession::Marker EditSession::decodeMarker(const KeyedContainer& c)
{
    Marker m;
    m.id = c.decode<std::string>("id");
    m.time = c.decode<double>("time");
    m.label = c.decodeIfPresent<std::string>("label");
    return m;
}

template <>
struct JsonDecodable<EditSession::Marker> {
    static EditSession::Marker decode(const KeyedContainer& c) { return EditSession::decodeMarker(c); }
};

namespace {

// The clip's grade from the "grade" object and the flat grade keys beside it. The flat keys
// win field by field; a clip with neither an object nor a flat key that implies a LUT or
// parameters has no grade.
std::optional<EditorJobV2::ClipGrade> foldClipGrade(const KeyedContainer& c)
{
    using ClipGrade = EditorJobV2::ClipGrade;
    std::optional<ClipGrade> object;
    if (const nlohmann::json* value = c.value("grade"); value && !value->is_null()) {
        // A malformed grade object is dropped rather than failing the document, also where the
        // document is read for all its failures.
        const JsonDecoding::ThrowingFailures dropped;
        try {
            object = JsonValueReader<ClipGrade>::read(*value, CodingPlace(c.codingPath(), "grade"));
        } catch (const DecodingError&) {
            object.reset();
        }
    }
    const auto hasLut = c.decodeIfPresent<bool>("hasLut");
    auto lutData = c.decodeIfPresent<std::string>("lutData");
    auto lutFile = c.decodeIfPresent<std::string>("lutFile");
    auto lutName = c.decodeIfPresent<std::string>("lutName");
    const auto lutStrength = c.decodeIfPresent<double>("lutStrength");
    auto gradeParams = c.decodeIfPresent<ClipGrade::GradeParams>("gradeParams");

    if (!object && hasLut != true && !lutData && !lutFile && !gradeParams) {
        return std::nullopt;
    }
    ClipGrade grade;
    grade.lutData = object ? object->lutData : std::nullopt;
    if (lutData)
        grade.lutData = std::move(*lutData);
    grade.lutFile = lutFile ? lutFile : (object ? object->lutFile : std::nullopt);
    grade.lutName = lutName ? lutName : (object ? object->lutName : std::nullopt);
    grade.lutStrength = lutStrength ? lutStrength : (object ? object->lutStrength : std::nullopt);
    grade.gradeParams = gradeParams ? gradeParams : (object ? object->gradeParams : std::nullopt);
    if (hasLut) {
        grade.hasLut = hasLut;
    } else if (object && object->hasLut) {
        grade.hasLut = object->hasLut;
    } else {
        grade.hasLut = lutData.has_value() || lutFile.has_value();
    }
    return grade;
}

} // namespace

template <>
struct JsonDecodable<EditSession::Clip> {
    static EditSession::Clip decode(const KeyedContainer& c)
    {
        EditSession::Clip clip;
        auto id = EditSession::decodeFlexibleString(c, "id");
        clip.id = id ? std::move(*id) : Uuid::randomText();
        clip.type = c.decodeIfPresent<std::string>("type");
        clip.name = c.decodeIfPresent<std::string>("name");
        clip.sourceId = EditSession::decodeFlexibleString(c, "sourceId");
        clip.groupId = EditSession::decodeFlexibleString(c, "groupId");
        clip.track = c.decodeIfPresent<int>("track");
        clip.startTime = c.decodeIfPresent<double>("startTime");
        clip.duration = c.decodeIfPresent<double>("duration");
        clip.inPoint = c.decodeIfPresent<double>("inPoint");
        clip.outPoint = c.decodeIfPresent<double>("outPoint");
        clip.speed = c.decodeIfPresent<double>("speed");
        clip.fadeIn = c.decodeIfPresent<double>("fadeIn");
        clip.fadeOut = c.decodeIfPresent<double>("fadeOut");
        clip.audioLevel = c.decodeIfPresent<double>("audioLevel");
        clip.opacity = c.decodeIfPresent<double>("opacity");
        clip.scale = c.decodeIfPresent<double>("scale");
        clip.posX = c.decodeIfPresent<double>("posX");
        clip.posY = c.decodeIfPresent<double>("posY");
        clip.rotation = c.decodeIfPresent<double>("rotation");
        clip.framerate = c.decodeIfPresent<double>("framerate");
        clip.grade = foldClipGrade(c);
        return clip;
    }
};

template <>
struct JsonDecodable<EditSession::Timeline> {
    static EditSession::Timeline decode(const KeyedContainer& c)
    {
        EditSession::Timeline t;
        auto id = EditSession::decodeFlexibleString(c, "id");
        t.id = id ? std::move(*id) : Uuid::randomText();
        t.name = c.decodeIfPresent<std::string>("name");
        t.duration = c.decodeIfPresent<double>("duration");
        t.pixelsPerSecond = c.decodeIfPresent<double>("pixelsPerSecond");
        t.clips = c.decodeArrayOrEmpty<EditSession::Clip>("clips");
        t.markers = c.decodeArrayOrEmpty<EditSession::Marker>("markers");
        t.lockedTracks = c.decodeArrayOrEmpty<std::string>("lockedTracks");
        t.mutedTracks = c.decodeArrayOrEmpty<std::string>("mutedTracks");
        return t;
    }
};

EditSession EditSession::decode(const KeyedContainer& c)
{
    EditSession session;
    session.tool = c.decodeIfPresent<std::string>("tool");
    session.version = c.decodeIfPresent<std::int64_t>("version");
    session.createdAt = c.decodeIfPresent<std::string>("createdAt");
    session.project = c.decodeIfPresent<Project>("project");
    session.grade = c.decodeIfPresent<ProjectGrade>("grade");
    session.mediaFolder = c.decodeIfPresent<std::string>("mediaFolder");
    session.sessionId = c.decodeIfPresent<std::string>("sessionId");
    session.sources = c.decodeArrayOrEmpty<Source>("sources");
    session.timelines = c.decodeArrayOrEmpty<Timeline>("timelines");
    if (session.sources.empty()) {
        session.syncSourcesFromTimelines();
    }
    return session;
}

EditSession EditSession::fromJSON(std::string_view bytes)
{
    const nlohmann::json document = JsonDecoding::parse(bytes);
    return decode(KeyedContainer::root(document));
}

std::optional<std::string> EditSession::decodeFlexibleString(const KeyedContainer& container, std::string_view key)
{
    return FlexibleJSON::string(container, key);
}

std::string EditSession::decodingErrorDescription(const DecodingError& error)
{
    // Said to the person who wrote or handed over the file: the field as they would write its
    // path, what it holds, and what belongs there.
    const std::string field = error.fieldText();
    if (error.kind() == DecodingError::Kind::keyNotFound) {
        return "The value at \u201C" + (field.empty() ? "" : field + ".") + error.missingKey() + "\u201D is missing.";
    }
    const std::string expected = error.expected();
    if (expected.empty()) {
        // Words of their own (a size or rate out of range, text that is not JSON).
        return field.empty() ? error.reason() : error.reason() + " (at " + field + ")";
    }
    const std::string where = field.empty() ? std::string("the top level") : "\u201C" + field + "\u201D";
    const std::string found = error.found().empty() ? std::string() : " " + error.found() + ",";
    return "The value at " + where + " is" + found + " not " + expected + ".";
}

} // namespace velmora
