#pragma once

#include "platform/image/Image.h"

namespace velmora {

// A radial darkening centred on the image's extent (the stock vignette of the platform's image
// framework, as this editor uses it): with d the distance of a pixel centre from the extent's
// centre divided by half the extent's diagonal, the colour is multiplied by
// clamp(1 - intensity * (d / radius)^2 / 2, 0, 1). intensity 0 changes nothing; at intensity 2
// and radius 1 the corners go black. Alpha is kept. A deferred, position-dependent step; an
// image without a finite extent is returned as it is.
Image vignetteEffect(const Image& image, double intensity, double radius);

// Edge-preserving smoothing followed by a light sharpening (the stock noise reduction as this
// editor uses it): each colour component becomes the mean of the 3x3 neighbours whose luma is
// within `noiseLevel` of the centre's (the centre always counts), then the result is sharpened
// by `sharpness` * (smoothed - mean of all nine). Edge pixels repeat outward. Alpha is kept.
// Runs at once (it reads neighbours).
Image noiseReduction(const Image& image, double noiseLevel, double sharpness);

} // namespace velmora
