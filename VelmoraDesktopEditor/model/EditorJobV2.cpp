#include "model/EditorJobV2.h"

#include <unordered_set>

#include "model/BitrateLimit.h"
#include "model/CanvasSizeLimit.h"
#include "model/FrameRateLimit.h"
#include "model/JsonDecoding.h"

namespace velmora {

using GradeParams = EditorJobV2::ClipGrade::GradeParams;

GradeParams GradeParams::decode(const KeyedContainer& c)
{
    GradeParams p;
    p.exposure = c.decodeIfPresent<double>("exposure", "exposureAdj");
    p.contrast = c.decodeIfPresent<double>("contrast", "contrastAdj");
    p.highlights = c.decodeIfPresent<double>("highlights", "highlightsAdj");
    p.shadows = c.decodeIfPresent<double>("shadows", "shadowsAdj");
    p.saturation = c.decodeIfPresent<double>("saturation", "saturationAdj");
    p.vibrance = c.decodeIfPresent<double>("vibrance", "vibranceAdj");
    p.temperature = c.decodeIfPresent<double>("temperature", "tempAdj");
    p.tint = c.decodeIfPresent<double>("tint", "tintAdj");
    // Each of the two pairs names one amount twice; either key fills both fields, and when both
    // keys are present each field keeps its own.
    p.sharpness = c.decodeIfPresent<double>("sharpness", "sharpen");
    p.sharpen = c.decodeIfPresent<double>("sharpen");
    if (!p.sharpen) {
        p.sharpen = p.sharpness;
    }
    p.vignetteStrength = c.decodeIfPresent<double>("vignetteStrength", "vignette");
    p.vignette = c.decodeIfPresent<double>("vignette");
    if (!p.vignette) {
        p.vignette = p.vignetteStrength;
    }
    p.debanding = c.decodeIfPresent<double>("debanding");
    p.moodKey = c.decodeIfPresent<std::string>("moodKey");
    p.isMoodEnabled = c.decodeIfPresent<FlexibleBool>("isMoodEnabled");
    p.moodEnabled = c.decodeIfPresent<FlexibleBool>("moodEnabled");
    p.moodIntensity = c.decodeIfPresent<double>("moodIntensity");
    p.moodAmount = c.decodeIfPresent<double>("moodAmount");
    p.moodContrast = c.decodeIfPresent<double>("moodContrast");
    p.moodSaturation = c.decodeIfPresent<double>("moodSaturation");
    p.moodWarmth = c.decodeIfPresent<double>("moodWarmth");
    p.moodTealOrange = c.decodeIfPresent<double>("moodTealOrange");
    p.moodShadowLift = c.decodeIfPresent<double>("moodShadowLift");
    p.moodHighlightRolloff = c.decodeIfPresent<double>("moodHighlightRolloff");
    return p;
}

EditorJobV2::ClipGrade EditorJobV2::ClipGrade::decode(const KeyedContainer& c)
{
    ClipGrade g;
    g.hasLut = c.decodeIfPresent<bool>("hasLut");
    g.lutData = c.decodeIfPresent<std::string>("lutData");
    g.lutFile = c.decodeIfPresent<std::string>("lutFile");
    g.lutName = c.decodeIfPresent<std::string>("lutName");
    g.lutStrength = c.decodeIfPresent<double>("lutStrength");
    g.gradeParams = c.decodeIfPresent<GradeParams>("gradeParams");
    return g;
}

EditorJobV2::Project EditorJobV2::Project::decode(const KeyedContainer& c)
{
    Project p;
    p.name = c.decodeIfPresent<std::string>("name");
    p.width = CanvasSizeLimit::decodeSide(c, "width");
    p.height = CanvasSizeLimit::decodeSide(c, "height");
    p.fps = FrameRateLimit::decodeFps(c, "fps");
    p.activeTimelineId = c.decodeIfPresent<std::string>("activeTimelineId");
    return p;
}

EditorJobV2::Grade EditorJobV2::Grade::decode(const KeyedContainer& c)
{
    return Grade{c.decode<std::string>("lutCube")};
}

EditorJobV2::Output EditorJobV2::Output::decode(const KeyedContainer& c)
{
    Output o;
    o.fps = FrameRateLimit::decodeFps(c, "fps");
    o.fpsNum = c.decodeIfPresent<std::int64_t>("fpsNum");
    o.fpsDen = c.decodeIfPresent<std::int64_t>("fpsDen");
    FrameRateLimit::checkFpsFraction(c, "fpsNum", o.fpsNum, o.fpsDen);
    o.width = CanvasSizeLimit::decodeSide(c, "width");
    o.height = CanvasSizeLimit::decodeSide(c, "height");
    o.targetBitrate = BitrateLimit::decodeBitrate(c, "targetBitrate");
    o.container = c.decodeIfPresent<std::string>("container");
    return o;
}

EditorJobV2::Render EditorJobV2::Render::decode(const KeyedContainer& c)
{
    Render r;
    r.includeFilmFX = c.decodeIfPresent<bool>("includeFilmFX");
    r.includeMasks = c.decodeIfPresent<bool>("includeMasks");
    r.includeText = c.decodeIfPresent<bool>("includeText");
    r.includeLowerThirds = c.decodeIfPresent<bool>("includeLowerThirds");
    r.includeImages = c.decodeIfPresent<bool>("includeImages");
    r.includeSpeedRamps = c.decodeIfPresent<bool>("includeSpeedRamps");
    return r;
}

EditorJobV2::Source EditorJobV2::Source::decode(const KeyedContainer& c)
{
    Source s;
    s.id = c.decode<std::string>("id");
    s.fileName = c.decode<std::string>("fileName");
    s.type = c.decodeIfPresent<std::string>("type");
    return s;
}

EditorJobV2::SpeedKeyframe EditorJobV2::SpeedKeyframe::decode(const KeyedContainer& c)
{
    SpeedKeyframe k;
    k.time = c.decode<double>("time");
    k.speed = c.decode<double>("speed");
    k.interpolation = c.decodeIfPresent<std::string>("interpolation");
    return k;
}

namespace {

void readPictureFields(const KeyedContainer& c, EditorJobV2::TransformKeyframe& k)
{
    k.posX = c.decodeIfPresent<double>("posX", "x");
    k.posY = c.decodeIfPresent<double>("posY", "y");
    k.scale = c.decodeIfPresent<double>("scale", "s");
    k.rotation = c.decodeIfPresent<double>("rotation", "r");
    k.opacity = c.decodeIfPresent<double>("opacity", "o");
}

} // namespace

EditorJobV2::TransformKeyframe EditorJobV2::TransformKeyframe::decode(const KeyedContainer& c)
{
    TransformKeyframe k;
    k.time = c.decodeIfPresent<double>("time", "t");
    readPictureFields(c, k);
    if (!k.posX && !k.posY && !k.scale && !k.rotation && !k.opacity && c.contains("value")) {
        JsonDecoding::readField([&] { readPictureFields(c.nestedContainer("value"), k); });
    }
    k.interpolation = c.decodeIfPresent<std::string>("interpolation", "curve");
    return k;
}

EditorJobV2::TextData EditorJobV2::TextData::decode(const KeyedContainer& c)
{
    TextData t;
    t.textContent = c.decodeIfPresent<std::string>("textContent");
    t.fontFamily = c.decodeIfPresent<std::string>("fontFamily");
    t.fontSize = c.decodeIfPresent<double>("fontSize");
    t.letterSpacing = c.decodeIfPresent<double>("letterSpacing");
    t.color = c.decodeIfPresent<std::string>("color");
    t.outlineColor = c.decodeIfPresent<std::string>("outlineColor");
    t.outlineWidth = c.decodeIfPresent<double>("outlineWidth");
    t.lineHeight = c.decodeIfPresent<double>("lineHeight");
    t.transformKeyframes = c.decodeIfPresent<std::vector<TransformKeyframe>>("transformKeyframes");
    return t;
}

EditorJobV2::LowerThird EditorJobV2::LowerThird::decode(const KeyedContainer& c)
{
    LowerThird l;
    l.ltStyle = c.decodeIfPresent<std::string>("ltStyle");
    l.ltBarColor = c.decodeIfPresent<std::string>("ltBarColor");
    l.ltBarOpacity = c.decodeIfPresent<double>("ltBarOpacity");
    l.ltBarHeight = c.decodeIfPresent<double>("ltBarHeight");
    l.ltBarPos = c.decodeIfPresent<std::string>("ltBarPos");
    l.ltBarYOffset = c.decodeIfPresent<double>("ltBarYOffset");
    l.ltAccentColor = c.decodeIfPresent<std::string>("ltAccentColor");
    l.ltAccentWidth = c.decodeIfPresent<double>("ltAccentWidth");
    l.ltSubText = c.decodeIfPresent<std::string>("ltSubText");
    l.ltSubOffsetX = c.decodeIfPresent<double>("ltSubOffsetX");
    l.ltSubSize = c.decodeIfPresent<double>("ltSubSize");
    l.ltSubColor = c.decodeIfPresent<std::string>("ltSubColor");
    l.ltSubFont = c.decodeIfPresent<std::string>("ltSubFont");
    l.ltTextShadow = c.decodeIfPresent<bool>("ltTextShadow");
    l.ltOverallOpacity = c.decodeIfPresent<double>("ltOverallOpacity");
    l.ltCreditsMode = c.decodeIfPresent<std::string>("ltCreditsMode");
    l.ltRollLines = c.decodeIfPresent<std::vector<std::string>>("ltRollLines");
    l.ltRollFont = c.decodeIfPresent<std::string>("ltRollFont");
    l.ltRollFontSize = c.decodeIfPresent<double>("ltRollFontSize");
    l.ltRollColor = c.decodeIfPresent<std::string>("ltRollColor");
    l.ltCrawlYOffset = c.decodeIfPresent<double>("ltCrawlYOffset");
    l.ltCrawlBarColor = c.decodeIfPresent<std::string>("ltCrawlBarColor");
    l.ltCrawlBarOpacity = c.decodeIfPresent<double>("ltCrawlBarOpacity");
    l.ltCrawlFont = c.decodeIfPresent<std::string>("ltCrawlFont");
    l.ltCrawlFontSize = c.decodeIfPresent<double>("ltCrawlFontSize");
    l.ltCrawlColor = c.decodeIfPresent<std::string>("ltCrawlColor");
    l.ltCrawlText = c.decodeIfPresent<std::string>("ltCrawlText");
    return l;
}

EditorJobV2::Clip EditorJobV2::Clip::decode(const KeyedContainer& c)
{
    Clip k;
    k.id = c.decodeIfPresent<std::string>("id");
    k.type = c.decodeIfPresent<std::string>("type");
    k.name = c.decodeIfPresent<std::string>("name");
    k.groupId = FlexibleJSON::string(c, "groupId");
    k.sourceId = FlexibleJSON::string(c, "sourceId");
    k.track = c.decodeIfPresent<int>("track");
    k.startTime = c.decodeIfPresent<double>("startTime");
    k.duration = c.decodeIfPresent<double>("duration");
    k.inPoint = c.decodeIfPresent<double>("inPoint");
    k.outPoint = c.decodeIfPresent<double>("outPoint");
    k.speed = c.decodeIfPresent<double>("speed");
    k.speedKeyframes = c.decodeIfPresent<std::vector<SpeedKeyframe>>("speedKeyframes");
    k.opacity = c.decodeIfPresent<double>("opacity");
    k.scale = c.decodeIfPresent<double>("scale");
    k.posX = c.decodeIfPresent<double>("posX");
    k.posY = c.decodeIfPresent<double>("posY");
    k.rotation = c.decodeIfPresent<double>("rotation");
    k.fadeIn = c.decodeIfPresent<double>("fadeIn");
    k.fadeOut = c.decodeIfPresent<double>("fadeOut");
    k.blendMode = c.decodeIfPresent<std::string>("blendMode");
    k.isLowerThird = c.decodeIfPresent<bool>("isLowerThird");
    k.text = c.decodeIfPresent<TextData>("text");
    k.lowerThird = c.decodeIfPresent<LowerThird>("lowerThird");
    k.gradeParams = c.decodeIfPresent<ClipGrade::GradeParams>("gradeParams");
    k.grade = c.decodeIfPresent<ClipGrade>("grade");
    return k;
}

EditorJobV2::Timeline EditorJobV2::Timeline::decode(const KeyedContainer& c)
{
    Timeline t;
    t.id = c.decode<std::string>("id");
    t.name = c.decodeIfPresent<std::string>("name");
    t.duration = c.decodeIfPresent<double>("duration");
    t.pixelsPerSecond = c.decodeIfPresent<double>("pixelsPerSecond");
    t.lockedTracks = c.decodeIfPresent<std::vector<std::string>>("lockedTracks");
    t.mutedTracks = c.decodeIfPresent<std::vector<std::string>>("mutedTracks");
    t.clips = c.decode<std::vector<Clip>>("clips");
    return t;
}

EditorJobV2 EditorJobV2::decode(const KeyedContainer& c)
{
    EditorJobV2 job;
    job.tool = c.decode<std::string>("tool");
    job.version = c.decode<std::int64_t>("version");
    job.createdAt = c.decodeIfPresent<std::string>("createdAt");
    job.project = c.decodeIfPresent<Project>("project");
    job.grade = c.decode<Grade>("grade");
    job.output = c.decodeIfPresent<Output>("output");
    job.render = c.decodeIfPresent<Render>("render");
    job.sources = c.decode<std::vector<Source>>("sources");
    job.timelines = c.decode<std::vector<Timeline>>("timelines");
    return job;
}

EditorJobV2 EditorJobV2::fromJSON(std::string_view bytes)
{
    const nlohmann::json document = JsonDecoding::parse(bytes);
    return decode(KeyedContainer::root(document));
}

void EditorJobV2::giveClipIds()
{
    const auto hasId = [](const Clip& clip) { return clip.id && !clip.id->empty(); };
    std::unordered_set<std::string> taken;
    for (const Timeline& timeline : timelines) {
        for (const Clip& clip : timeline.clips) {
            if (hasId(clip)) {
                taken.insert(*clip.id);
            }
        }
    }
    for (std::size_t t = 0; t < timelines.size(); ++t) {
        std::vector<Clip>& clips = timelines[t].clips;
        for (std::size_t c = 0; c < clips.size(); ++c) {
            if (hasId(clips[c])) {
                continue;
            }
            const std::string place = "clip_" + std::to_string(t) + "_" + std::to_string(c);
            std::string id = place;
            for (std::size_t n = 2; taken.contains(id); ++n) {
                id = place + "_" + std::to_string(n);
            }
            taken.insert(id);
            clips[c].id = std::move(id);
        }
    }
}

} // namespace velmora
