#pragma once

#include <vector>

#include "platform/image/Image.h"

namespace velmora {

// Per-pixel colour operations. Each returns a new image with a deferred step (see Image); none
// clamps unless it says so, and every one keeps the source alpha unless it says otherwise.
// Images are straight-alpha; no colour management is applied (values are used as they are).

// out = (R·c + bias.r, G·c + bias.g, B·c + bias.b, A·c + bias.a) with c = (r, g, b, a).
// A diagonal matrix (plain gains, no bias, alpha kept) scales each component on its own, so a
// NaN in one component does not spread to the others through a zero coefficient.
struct ColorMatrix {
    float r[4] = {1, 0, 0, 0};
    float g[4] = {0, 1, 0, 0};
    float b[4] = {0, 0, 1, 0};
    float a[4] = {0, 0, 0, 1};
    float bias[4] = {0, 0, 0, 0};
};
Image colorMatrix(const Image& image, const ColorMatrix& matrix);

// Saturation mixes towards the luma y = 0.2125 r + 0.7154 g + 0.0721 b (c = y + (c - y) * s),
// then brightness is added, then contrast scales about 0.5 ((c - 0.5) * k + 0.5). No clamp.
Image colorControls(const Image& image, double saturation, double brightness, double contrast);

// Each colour component c becomes sign(c) * |c|^power (NaN becomes 0 for powers above 0).
Image gammaAdjust(const Image& image, double power);

// from * (1 - t) + to * t per pixel, all four components. Over the union of the two extents,
// a pixel outside one image counting as transparent black. When `to` is `from` with steps
// appended (the usual "apply an effect at a strength"), the blend is one deferred step.
Image dissolve(const Image& from, const Image& to, double t);

// `image` with `steps` run on a copy of each pixel and the result mixed back at `amount`:
// c * (1 - amount) + steps(c) * amount, all four components. One deferred step.
Image mixingSteps(const Image& image, std::vector<PixelOp> steps, double amount);

} // namespace velmora
