#pragma once

#include "model/EditorJobV2.h"
#include "platform/image/Image.h"

// A clip's opacity and fades in the exported movie: its picture fades to and from black.
namespace velmora::Exporter {

// The clip's alpha at timeline time `timelineTime` (seconds), 0 ... 1: its opacity (missing 1)
// limited to 0 ... 1, times a linear fade-in over `fadeIn` and a linear fade-out over `fadeOut`
// (each only when longer than 0.02 s; on a clip shorter than both they overlap). A duration
// below 0.001 s counts as 0.001 s.
double clipVisualOpacity(const EditorJobV2::Clip& clip, double timelineTime);

// `image` at `alpha` over opaque black, cropped to (0, 0, width, height): the image itself from
// 0.9999 up, plain black of that size at 0.001 and below, otherwise each colour scaled by the
// pixel's alpha times `alpha` (a deferred per-pixel step, no new frame).
Image applyingVisualOpacity(const Image& image, double alpha, double renderWidth, double renderHeight);

} // namespace velmora::Exporter
