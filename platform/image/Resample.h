#pragma once

#include "platform/image/Geometry.h"
#include "platform/image/Image.h"

namespace velmora {

// Geometry operations. Pixel images keep whole-pixel extents: a transformed image covers the
// smallest whole-pixel rectangle holding the transformed extent.
//
// Sampling: each destination pixel takes the source colour at the inverse-transformed position
// of its centre, interpolated bilinearly between the four nearest source pixel centres
// (premultiplied by alpha, so transparent pixels do not darken their neighbours). Positions
// outside the source extent give transparent black; positions inside but beyond the outermost
// pixel centres repeat the edge pixel, so a scaled opaque frame has no dark fringe.

// The image transformed by `transform`. A pure whole-pixel translation moves the extent without
// touching pixels. A constant image is returned as it is; a non-invertible transform gives the
// empty image.
Image affineTransform(const Image& image, const AffineTransform& transform);

// The pixels of the transformed image inside `area` only (the transform and crop in one pass,
// without making the pixels outside `area`). Same result as crop(affineTransform(...), area).
Image affineTransformCropped(const Image& image, const AffineTransform& transform,
                             const IntRect& area);

// The part of the image inside `rect`, widened outward to whole pixels. Shares pixels.
Image crop(const Image& image, const Rect& rect);
Image crop(const Image& image, const IntRect& rect);

// The image moved by (dx, dy). Whole-pixel moves share pixels; others resample.
Image translate(const Image& image, double dx, double dy);

} // namespace velmora
