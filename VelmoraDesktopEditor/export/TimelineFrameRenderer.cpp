#include "export/TimelineFrameRenderer.h"

#include <algorithm>
#include <cmath>

#include "export/ClipOpacity.h"
#include "export/ClipSelection.h"
#include "export/SourceFrameDecoding.h"
#include "export/SourceTiming.h"
#include "export/TextOverlay.h"
#include "export/TimelineExportState.h"
#include "grading/BasicGrade.h"
#include "grading/LutApplication.h"
#include "grading/MoodGrade.h"
#include "platform/foundation/NumberText.h"
#include "platform/foundation/StringText.h"
#include "platform/image/Resample.h"
#include "platform/media/PixelBufferImage.h"

namespace velmora::Exporter {

namespace {

constexpr double kRampSpeedTolerance = 0.01;

std::string normalizedType(const std::optional<std::string>& type)
{
    return type ? StringText::lowercased(StringText::trimmed(*type)) : std::string();
}

// Whether the clip holds the frame at t of `frameDuration`: the frame's centre lies in the
// clip's span. Clip boundaries so fall on the nearest frame boundary: abutting clips share
// no frame and leave none empty, whatever their times, and a gap stays black to its edges.
bool holdsFrame(const EditorJobV2::Clip& clip, double t, double frameDuration)
{
    if (!clip.duration || !(*clip.duration > 0)) {
        return false;
    }
    const double start = clip.startTime.value_or(0);
    const double centre = t + frameDuration / 2;
    return start <= centre && centre < start + *clip.duration;
}

bool usesRamp(const EditorJobV2::Clip& clip)
{
    if (!clip.speedKeyframes || clip.speedKeyframes->size() < 2) {
        return false;
    }
    return std::any_of(clip.speedKeyframes->begin(), clip.speedKeyframes->end(), [](const auto& keyframe) {
        return std::fabs(effectiveClipSpeed(keyframe.speed) - 1.0) > kRampSpeedTolerance;
    });
}

Image blackFrame(const IntRect& rect)
{
    return Image::constant(Color{0, 0, 0, 1}).croppedTo(rect);
}

} // namespace

std::string clipLutKey(const EditorJobV2::Clip& clip)
{
    if (clip.id) {
        return *clip.id;
    }
    return clip.sourceId.value_or("") + "|" + keyNumber(clip.startTime.value_or(0));
}

std::string clipReaderKey(const EditorJobV2::Clip& clip, double inPoint, double sourceEnd)
{
    return clip.sourceId.value_or("") + "|" + keyNumber(clip.startTime.value_or(0)) + "|" + keyNumber(inPoint) +
           "|" + keyNumber(sourceEnd) + "|" + NumberText::integer(clip.track.value_or(0)) + "|" +
           clip.id.value_or("");
}

std::optional<std::size_t> activeVisualClip(const std::vector<EditorJobV2::Clip>& clips, double t,
                                            double frameDuration, bool includeImages)
{
    std::optional<std::size_t> best;
    for (std::size_t i = 0; i < clips.size(); ++i) {
        const EditorJobV2::Clip& clip = clips[i];
        const std::string type = normalizedType(clip.type);
        if (!(type == "video" || (type == "image" && includeImages)) || !holdsFrame(clip, t, frameDuration)) {
            continue;
        }
        if (!best) {
            best = i;
            continue;
        }
        const EditorJobV2::Clip& current = clips[*best];
        const int lane = clip.track.value_or(1);
        const int bestLane = current.track.value_or(1);
        if (lane < bestLane ||
            (lane == bestLane && clip.startTime.value_or(0) > current.startTime.value_or(0))) {
            best = i;
        }
    }
    return best;
}

double remapSourceOffset(double local, const EditorJobV2::Clip& clip)
{
    const double d = std::max(clip.duration.value_or(0), 0.0);
    const double length = std::clamp(local, 0.0, d);
    static const std::vector<EditorJobV2::SpeedKeyframe> kNoKeyframes;
    const std::vector<EditorJobV2::SpeedKeyframe>& keyframes =
        clip.speedKeyframes ? *clip.speedKeyframes : kNoKeyframes;
    if (keyframes.size() < 2) {
        return length * effectiveClipSpeed(clip.speed);
    }

    double maxTime = keyframes.front().time;
    for (const auto& keyframe : keyframes) {
        maxTime = std::max(maxTime, keyframe.time);
    }
    double scale = 1;
    if (d > 0 && d > 2.0) {
        if (maxTime > 0 && maxTime <= 1.01) {
            scale = d; // fractions of the clip
        } else if (maxTime > 20 && maxTime <= 100) {
            scale = d / 100; // percent of the clip
        }
    }

    struct Point {
        double time;
        double speed;
    };
    std::vector<Point> points;
    points.reserve(keyframes.size());
    for (const auto& keyframe : keyframes) {
        points.push_back({keyframe.time * scale, effectiveClipSpeed(keyframe.speed)});
    }
    std::stable_sort(points.begin(), points.end(), [](const Point& a, const Point& b) { return a.time < b.time; });

    double offset = 0;
    if (points.front().time > 0) {
        const double lead = std::min(points.front().time, length);
        if (lead > 0) {
            offset = lead * points.front().speed;
        }
    }
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        const double ta = std::max(points[i].time, 0.0);
        const double tb = std::max(points[i + 1].time, ta);
        if (length <= ta) {
            break;
        }
        const double segment = std::min(tb, length) - ta;
        if (segment > 0) {
            const double span = std::max(tb - ta, 0.000001);
            const double va = points[i].speed;
            const double vb = points[i + 1].speed;
            offset += segment * (va + va + (segment / span) * (vb - va)) * 0.5;
        }
        if (length <= tb) {
            break;
        }
    }
    if (points.back().time < length) {
        offset += (length - points.back().time) * points.back().speed;
    }
    return offset;
}

double clipSourceTime(const EditorJobV2::Clip& clip, double t, double inPoint, double sourceEnd,
                      std::optional<double> assetDuration)
{
    const double local = t - clip.startTime.value_or(0);
    const double offset = usesRamp(clip) ? remapSourceOffset(local, clip) : local * effectiveClipSpeed(clip.speed);
    double time = std::min(inPoint + offset, sourceEnd);
    time = std::max(time, inPoint);
    if (assetDuration && std::isfinite(*assetDuration) && *assetDuration > 0.05) {
        time = std::min(time, *assetDuration - 0.03);
    }
    return std::max(time, inPoint);
}

TimelineFrameRenderer::TimelineFrameRenderer(TimelineRenderSetup setup)
    : setup_(std::move(setup)), outputRect_{0, 0, setup_.width, setup_.height},
      readers_(setup_.width, setup_.height, setup_.frameDuration, setup_.readerFaults)
{
    AssetDurationMap durations;
    for (const auto& [id, source] : setup_.sources) {
        if (source.duration) {
            durations[id] = *source.duration;
        }
    }
    const std::vector<double> inPoints = effectiveExportInPoints(setup_.clips, durations);
    plans_.resize(setup_.clips.size());
    clipCubes_.resize(setup_.clips.size());
    for (std::size_t i = 0; i < setup_.clips.size(); ++i) {
        const EditorJobV2::Clip& clip = setup_.clips[i];
        ClipPlan& plan = plans_[i];
        plan.start = clip.startTime.value_or(0);
        plan.duration = clip.duration.value_or(0);
        plan.present = clip.duration && *clip.duration > 0;
        plan.stream = canUseFastStreamExport(clip);
        plan.exactImage = clip.type && *clip.type == "image";
        std::optional<double> assetDuration;
        if (clip.sourceId) {
            const auto found = setup_.sources.find(*clip.sourceId);
            if (found != setup_.sources.end()) {
                plan.source = &found->second;
                assetDuration = found->second.duration;
            }
        }
        plan.inPoint = inPoints[i];
        plan.sourceEnd = effectiveSourceOutPoint(plan.inPoint, clip.outPoint, plan.duration, clip.speed.value_or(1),
                                                 assetDuration);
        plan.readerKey = clipReaderKey(clip, plan.inPoint, plan.sourceEnd);
        const auto lut = setup_.clipLutTexts.find(clipLutKey(clip));
        if (lut != setup_.clipLutTexts.end()) {
            plan.lutText = &lut->second;
        }
        plan.lutStrength = clip.grade && clip.grade->lutStrength ? *clip.grade->lutStrength : 1.0;
    }
    if (setup_.overlays.text || setup_.overlays.lowerThirds) {
        textRenderer_ = std::make_unique<TextOverlayRenderer>(setup_.width, setup_.height);
    }
}

TimelineFrameRenderer::~TimelineFrameRenderer() = default;

FrameSource TimelineFrameRenderer::readFrame(std::int64_t frame)
{
    FrameSource source;
    source.index = frame;
    source.time = static_cast<double>(frame * setup_.step) / static_cast<double>(setup_.timescale);
    const double t = source.time;
    const auto& clips = setup_.clips;

    if (textRenderer_) {
        for (std::size_t i = 0; i < clips.size(); ++i) {
            if (clips[i].type && *clips[i].type == "text" && holdsFrame(clips[i], t, setup_.frameDuration)) {
                source.textClips.push_back(i);
            }
        }
    }

    source.baseClip = activeVisualClip(clips, t, setup_.frameDuration, setup_.overlays.images);
    if (!source.baseClip) {
        readers_.closeAll();
        return source;
    }
    const std::size_t index = *source.baseClip;
    const EditorJobV2::Clip& clip = clips[index];
    const ClipPlan& plan = plans_[index];
    if (!clip.sourceId) {
        return source;
    }
    static const ExportSource kNoSource;
    const ExportSource& media = plan.source ? *plan.source : kNoSource;
    const double sourceTime = clipSourceTime(clip, t, plan.inPoint, plan.sourceEnd, media.duration);
    const bool readable = media.asset && media.videoTrack;
    // A still picture is the same at every time whatever the clip's type says: the generator,
    // which decodes it once, rather than a reader decoding the whole picture for every frame.
    const bool still = media.asset && media.asset->isStillImage();
    if (plan.stream && readable && !still) {
        source.picture = readers_.streamPicture(media, plan.readerKey, plan.inPoint, plan.sourceEnd, sourceTime);
    } else if (plan.exactImage || !readable || still) {
        source.picture = readers_.generatorPicture(media, sourceTime);
    } else {
        source.picture = readers_.seekPicture(media, plan.readerKey, plan.inPoint, plan.sourceEnd, sourceTime);
    }
    return source;
}

std::shared_ptr<const CachedCube> TimelineFrameRenderer::cubeFor(const std::string& text)
{
    const auto found = cubeCache_.find(text);
    if (found != cubeCache_.end()) {
        return found->second;
    }
    CachedCubeRef cached = makeCachedCube(text);
    cubeCache_.emplace(text, cached);
    return cached;
}

Image TimelineFrameRenderer::basePicture(const FrameSource& source) const
{
    const SourcePicture& picture = source.picture;
    if (!picture.image.isEmpty()) {
        return picture.image;
    }
    return blackFrame(outputRect_);
}

Image TimelineFrameRenderer::composeFrame(const FrameSource& source)
{
    Image image = basePicture(source);
    const EditorJobV2::Clip* base = source.baseClip ? &setup_.clips[*source.baseClip] : nullptr;
    const ClipPlan* plan = source.baseClip ? &plans_[*source.baseClip] : nullptr;

    if (plan && plan->lutText) {
        std::shared_ptr<const CachedCube>& cube = clipCubes_[*source.baseClip];
        if (!cube) {
            cube = cubeFor(*plan->lutText);
        }
        image = applyCubeLUTImage(image, cube->cube, cube->filter, plan->lutStrength);
    } else if (setup_.globalLut) {
        image = applyCubeLUTImage(image, setup_.globalLut->cube, setup_.globalLut->filter, 1.0);
    }
    if (base && base->effectiveGradeParams()) {
        image = applyMoodImage(image, base->effectiveGradeParams());
        image = applyBasicGradeImage(image, base->effectiveGradeParams(), setup_.width, setup_.height);
    }
    if (base) {
        image = applyingVisualOpacity(image, clipVisualOpacity(*base, source.time), setup_.width, setup_.height);
    }
    image = crop(image, outputRect_);

    if (textRenderer_ && !source.textClips.empty()) {
        std::vector<const EditorJobV2::Clip*> active;
        active.reserve(source.textClips.size());
        for (std::size_t index : source.textClips) {
            active.push_back(&setup_.clips[index]);
        }
        for (const EditorJobV2::Clip* clip :
             textOverlayClips(active, setup_.overlays.text, setup_.overlays.lowerThirds)) {
            textRenderer_->drawTextOverlay(image, *clip, source.time);
        }
        image = crop(image, outputRect_);
    }

    image = applyLookAdjust(image, setup_.compContrast, setup_.compSaturation, setup_.compBrightness);
    image = applyCompTintImage(image, setup_.compTint);
    return applyGammaCompensation(image, setup_.gamma.gammaPower);
}

PixelBuffer TimelineFrameRenderer::renderFrame(const FrameSource& source, PixelBufferPool& pool)
{
    const Image image = composeFrame(source);
    PixelBuffer buffer;
    if (!(setup_.refusePixelBuffer && setup_.refusePixelBuffer(source.index))) {
        try {
            buffer = pool.createPixelBuffer();
        } catch (const std::exception&) {
            buffer = PixelBuffer();
        }
    }
    if (!buffer) {
        throw exportError(TimelineExportCode::pixelBufferAllocation, "Failed to allocate pixel buffer");
    }
    tagPixelBufferExport(buffer.attachments(), setup_.gamma.transferCV, setup_.gamma.gammaLevel);
    renderImageToPixelBuffer(image, buffer);
    return buffer;
}

} // namespace velmora::Exporter
