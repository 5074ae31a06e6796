#include "export/TimelineFrameRenderer.h"

#include <algorithm>
#include <cmath>

#include "export/ClipOpacity.h"
#include "export/ClipSelection.h"
#include "export/FrameTiming.h"
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

// Whether a text clip is drawn on `frame`: on the frames its span covers as the frame rule counts
// them for pictures (TimelineFrameMap::framesOf), so a title and the picture under it change on
// the same frame.
bool drawsOnFrame(const EditorJobV2::Clip& clip, const FrameGrid& grid, std::int64_t frame)
{
    if (!clip.duration || !(*clip.duration > 0)) {
        return false;
    }
    const auto [first, end] = TimelineFrameMap::framesOf(grid, clip.startTime.value_or(0), *clip.duration);
    return first <= frame && frame < end;
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

TimelineFrameMap renderFrameMap(const TimelineRenderSetup& setup)
{
    std::map<std::string, SourceVideo> sources;
    for (const auto& [id, source] : setup.sources) {
        if (source.asset) {
            sources.emplace(id, SourceVideo::of(*source.asset));
        }
    }
    return timelineFrameMap(setup.clips, FrameTiming{setup.frameDuration > 0 ? 1 / setup.frameDuration : 30,
                                                     setup.timescale, setup.step},
                            std::move(sources), setup.overlays.images);
}

TimelineFrameRenderer::TimelineFrameRenderer(TimelineRenderSetup setup, TimelineFrameMap frameMap)
    : setup_(std::move(setup)), frameMap_(std::move(frameMap)), outputRect_{0, 0, setup_.width, setup_.height},
      readers_(setup_.width, setup_.height, setup_.frameDuration, setup_.readerFaults)
{
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
        // The clip's own in point, as the monitor shows it: a piece that follows a piece of the
        // same source shows its own frames, not the ones after its neighbour's end.
        plan.inPoint = frameMap_.clips()[i].inPoint;
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
    const auto& clips = setup_.clips;

    if (textRenderer_) {
        for (std::size_t i = 0; i < clips.size(); ++i) {
            if (clips[i].type && *clips[i].type == "text" && drawsOnFrame(clips[i], frameMap_.grid(), frame)) {
                source.textClips.push_back(i);
            }
        }
    }

    // A frame past the end of its clip's file is a gap, black like any other.
    const ShownFrame shown = frameMap_.frame(frame);
    source.baseClip = shown.clip;
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
    const double sourceTime = shown.sourceTime;
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
