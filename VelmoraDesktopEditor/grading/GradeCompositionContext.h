#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "grading/GradeCompositionBlueprint.h"
#include "grading/PreviewFrameGrader.h"
#include "model/EditSession.h"
#include "platform/image/Geometry.h"
#include "platform/image/Image.h"
#include "platform/media/Composition.h"
#include "platform/media/MediaTime.h"
#include "platform/media/VideoComposition.h"

namespace velmora {

// The composition's video track as the grade composition sees it: which track, and the size of
// its pictures before the transform.
struct GradeCompositionVideoTrack {
    int trackID = -1;
    double naturalWidth = 0;
    double naturalHeight = 0;
};

// A video composition that grades every frame: what a player item renders its picture with.
// One instruction covers the whole composition, with one layer for the video track. Its handler
// takes the picture the layer makes at a composition time and returns the graded frame at the
// render size; it reads only its own copies and the preview grader's caches, and throws
// velmora::Error ("grade", 1) for a picture without a finite, non-empty extent.
using GradeVideoComposition = VideoComposition;

// Grading during playback: the blueprint of a session and the transform that orients the
// preview's video track. Built on the main thread from the session and rebuilt after grade
// changes; the per-frame handler holds copies, never the session.
class GradeCompositionContext {
public:
    GradeCompositionContext(const EditSession& session, const AffineTransform& preferredTransform);

    const GradeCompositionBlueprint blueprint;
    const AffineTransform preferredTransform;

    // Sets the player item's video composition (`to`) to one that grades each frame with the
    // grade of the clip visible at its time.
    static void attachGradeComposition(std::optional<GradeVideoComposition>& to, const Composition& composition,
                                       const GradeCompositionVideoTrack& videoTrack,
                                       const AffineTransform& transform, const MediaTime& frameDuration,
                                       const GradeCompositionContext& context);

    // The composition's render size: the track's natural size under `transform`, each side
    // positive and at least 2 (the canvas when a side is not finite), scaled down to 1920 on the
    // longer side with the fraction dropped.
    static PreviewFrameGrader::PixelSize renderSize(double naturalWidth, double naturalHeight,
                                                    const AffineTransform& transform,
                                                    const GradeCompositionBlueprint& blueprint);

    // One frame of the handler: the picture fitted to cover the project's canvas (centred, the
    // overflow cut off, as the paused still shows it), brought to the render size, and graded
    // with the clip visible at `compositionSeconds` (no LUT, mood or basic grade between clips;
    // the project LUT never applies). Throws velmora::Error ("grade", 1) for a picture without
    // a finite, non-empty extent.
    static Image gradeFrame(const Image& sourceImage, double compositionSeconds, int renderWidth, int renderHeight,
                            const GradeCompositionBlueprint& blueprint);
};

} // namespace velmora
