#include "grading/GradeCompositionContext.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/foundation/Error.h"
#include "platform/image/Resample.h"

namespace velmora {

namespace {

// Playback is graded at most at this size on the longer side.
constexpr double maximumRenderEdge = 1920.0;
constexpr double minimumRenderSide = 2.0;

int wholeSide(double value)
{
    // Sides here are finite and at least 2; the bound keeps an absurd track size from
    // overflowing the conversion.
    return static_cast<int>(std::min(value, static_cast<double>(std::numeric_limits<int>::max())));
}

} // namespace

GradeCompositionContext::GradeCompositionContext(const EditSession& session,
                                                 const AffineTransform& preferredTransform_)
    : blueprint(GradeCompositionBlueprint::make(session)), preferredTransform(preferredTransform_)
{
}

PreviewFrameGrader::PixelSize GradeCompositionContext::renderSize(double naturalWidth, double naturalHeight,
                                                                  const AffineTransform& transform,
                                                                  const GradeCompositionBlueprint& blueprint)
{
    double w = std::numeric_limits<double>::quiet_NaN();
    double h = w;
    if (std::isfinite(naturalWidth) && std::isfinite(naturalHeight)) {
        const Rect box = transform.apply(Rect{0, 0, naturalWidth, naturalHeight});
        w = std::fabs(box.width);
        h = std::fabs(box.height);
    }
    if (!std::isfinite(w) || !std::isfinite(h)) {
        w = blueprint.outW;
        h = blueprint.outH;
    }
    w = std::max(w, minimumRenderSide);
    h = std::max(h, minimumRenderSide);
    const double longer = std::max(w, h);
    if (longer > maximumRenderEdge) {
        // Multiplied before dividing, so the longer side comes out exactly at the maximum.
        w = std::max(minimumRenderSide, std::floor(w * maximumRenderEdge / longer));
        h = std::max(minimumRenderSide, std::floor(h * maximumRenderEdge / longer));
    } else {
        // A rotated size can come out a hair off a whole pixel.
        w = std::round(w);
        h = std::round(h);
    }
    return {wholeSide(w), wholeSide(h)};
}

Image GradeCompositionContext::gradeFrame(const Image& sourceImage, double compositionSeconds, int renderWidth,
                                          int renderHeight, const GradeCompositionBlueprint& blueprint)
{
    const Rect extent = sourceImage.extent();
    if (sourceImage.isEmpty() || extent.isEmpty() || !std::isfinite(extent.width) ||
        !std::isfinite(extent.height)) {
        throw Error("grade", 1, "The frame to grade has no picture.");
    }
    const int rw = std::max(renderWidth, 1);
    const int rh = std::max(renderHeight, 1);
    const double canvasW = std::max(blueprint.outW, 1);
    const double canvasH = std::max(blueprint.outH, 1);

    // Cover the canvas with the picture (centred, overflow cut), then bring the canvas to the
    // render size: one resampling pass for both.
    const double k = std::max(canvasW / extent.width, canvasH / extent.height);
    const AffineTransform toRender =
        AffineTransform::translation(-extent.x, -extent.y)
            .concatenating(AffineTransform::scale(k, k))
            .concatenating(AffineTransform::translation((canvasW - extent.width * k) / 2,
                                                        (canvasH - extent.height * k) / 2))
            .concatenating(AffineTransform::scale(rw / canvasW, rh / canvasH));
    const Image fitted = affineTransformCropped(sourceImage, toRender, IntRect{0, 0, rw, rh});

    return PreviewFrameGrader::grade(fitted, blueprint.grade(compositionSeconds), blueprint.projectLutCube, rw, rh,
                                     std::nullopt, std::nullopt);
}

void GradeCompositionContext::attachGradeComposition(std::optional<GradeVideoComposition>& to,
                                                     const Composition& composition,
                                                     const GradeCompositionVideoTrack& videoTrack,
                                                     const AffineTransform& transform, const MediaTime& frameDuration,
                                                     const GradeCompositionContext& context)
{
    const PreviewFrameGrader::PixelSize size =
        renderSize(videoTrack.naturalWidth, videoTrack.naturalHeight, transform, context.blueprint);

    GradeVideoComposition video;
    video.renderWidth = size.w;
    video.renderHeight = size.h;
    video.frameDuration = frameDuration;
    GradeVideoComposition::Instruction instruction;
    instruction.timeRange = MediaTimeRange(MediaTime::zero(), composition.duration());
    instruction.layerInstructions.push_back({videoTrack.trackID, transform});
    video.instructions.push_back(std::move(instruction));
    // The handler owns a copy of the blueprint: it outlives neither more nor less than the
    // player item, whatever becomes of the context or the session.
    video.handler = [blueprint = context.blueprint, size](const Image& sourceImage, const MediaTime& compositionTime) {
        return gradeFrame(sourceImage, compositionTime.seconds(), size.w, size.h, blueprint);
    };
    to = std::move(video);
}

} // namespace velmora
