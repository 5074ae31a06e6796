#pragma once

#include <optional>
#include <string>

#include "platform/image/Geometry.h"
#include "platform/image/Image.h"

// Compositing of text overlays over an exported frame.
namespace velmora::Exporter {

// How an overlay combines with the picture under it. Separable blend modes on straight alpha:
// result alpha = as + ab (1 - as); premultiplied colour = cs as (1 - ab) + cb ab (1 - as)
// + as ab B(cb, cs), with B = cs (normal), cb cs (multiply), cb + cs - cb cs (screen),
// cb <= 0.5 ? 2 cs cb : 1 - 2 (1 - cs)(1 - cb) (overlay), |cb - cs| (difference),
// max (lighten), min (darken).
enum class OverlayBlendMode { normal, multiply, screen, overlay, difference, lighten, darken };

// The mode a clip's `blendMode` names, compared in lower case; missing or unknown is normal.
OverlayBlendMode overlayBlendMode(const std::optional<std::string>& blendMode);

// Blends `overlay` into `composite` in place, over the pixels where the overlay lies inside
// `outputRect`: one pass over those rows only, split across cores. A composite without pixels,
// or one that does not cover that part of `outputRect`, is first made into pixels over
// `outputRect` (transparent where it had none). An empty overlay changes nothing.
void compositeOverlay(Image& composite, const Image& overlay, OverlayBlendMode mode,
                      const IntRect& outputRect);

} // namespace velmora::Exporter
