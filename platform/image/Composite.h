#pragma once

#include "platform/image/Image.h"

namespace velmora {

// Porter-Duff source-over on straight alpha:
// a = af + ab (1 - af); c = (cf af + cb ab (1 - af)) / a (0 where a = 0).
//
// sourceOver(fg, bg): over the union of the finite extents (a constant image counts only where
// the other has pixels; two constants give a constant). Pixels outside an image are transparent.
Image sourceOver(const Image& foreground, const Image& background);

// The same, computed over `area` only (a constant background fills all of it). The usual way to
// put a frame on a coloured canvas of the output size.
Image sourceOver(const Image& foreground, const Image& background, const IntRect& area);

// Blend modes for overlays, each followed by source-over with the foreground's alpha:
// multiply (cf * cb) and screen (cf + cb - cf * cb), per colour component.
enum class BlendMode { normal, multiply, screen };
Image blend(const Image& foreground, const Image& background, BlendMode mode, const IntRect& area);

} // namespace velmora
