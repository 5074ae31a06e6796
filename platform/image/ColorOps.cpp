#include "platform/image/ColorOps.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "platform/image/FastMath.h"
#include "platform/image/LaneLoop.h"

// Lane kernels here are inlined into the AVX2 and baseline loops of LaneLoop.h (see Lanes.h).
#pragma GCC diagnostic ignored "-Wpsabi"

namespace velmora {

namespace {

struct MatrixKernel {
    ColorMatrix m;
    template <class V>
    VELMORA_LANES_INLINE void operator()(V& r, V& g, V& b, V& a, std::size_t) const
    {
        const V r0 = r, g0 = g, b0 = b, a0 = a;
        r = m.r[0] * r0 + m.r[1] * g0 + m.r[2] * b0 + m.r[3] * a0 + m.bias[0];
        g = m.g[0] * r0 + m.g[1] * g0 + m.g[2] * b0 + m.g[3] * a0 + m.bias[1];
        b = m.b[0] * r0 + m.b[1] * g0 + m.b[2] * b0 + m.b[3] * a0 + m.bias[2];
        a = m.a[0] * r0 + m.a[1] * g0 + m.a[2] * b0 + m.a[3] * a0 + m.bias[3];
    }
};

// A diagonal matrix: each component scaled alone (a NaN in one stays in it).
struct GainsKernel {
    static constexpr bool keepsAlpha = true;
    float r0, g1, b2;
    template <class V>
    VELMORA_LANES_INLINE void operator()(V& r, V& g, V& b, V&, std::size_t) const
    {
        r = r * r0;
        g = g * g1;
        b = b * b2;
    }
};

bool isPlainGains(const ColorMatrix& m)
{
    return m.r[1] == 0 && m.r[2] == 0 && m.r[3] == 0 && m.g[0] == 0 && m.g[2] == 0 && m.g[3] == 0 &&
           m.b[0] == 0 && m.b[1] == 0 && m.b[3] == 0 && m.a[0] == 0 && m.a[1] == 0 && m.a[2] == 0 &&
           m.a[3] == 1 && m.bias[0] == 0 && m.bias[1] == 0 && m.bias[2] == 0 && m.bias[3] == 0;
}

// Saturation, brightness and contrast folded into one multiply-add per component:
// ((y + (c - y) s + b) - 0.5) k + 0.5 = c (s k) + (y (1 - s) k + (b - 0.5) k + 0.5).
struct ControlsKernel {
    static constexpr bool keepsAlpha = true;
    float gain;     // s k
    float lumaGain; // (1 - s) k
    float offset;   // (b - 0.5) k + 0.5

    ControlsKernel(double saturation, double brightness, double contrast)
        : gain(static_cast<float>(saturation * contrast)),
          lumaGain(static_cast<float>((1 - saturation) * contrast)),
          offset(static_cast<float>((brightness - 0.5) * contrast + 0.5))
    {
    }

    template <class V>
    VELMORA_LANES_INLINE void operator()(V& r, V& g, V& b, V&, std::size_t) const
    {
        const V y = 0.2125f * r + 0.7154f * g + 0.0721f * b;
        const V shared = y * lumaGain + offset;
        r = r * gain + shared;
        g = g * gain + shared;
        b = b * gain + shared;
    }
};

struct GammaKernel {
    static constexpr bool keepsAlpha = true;
    float power;
    template <class V>
    VELMORA_LANES_INLINE static V positivePower(const V& c, const V& p)
    {
        // Powers above 0 (every gamma in use): NaN comes out as 0. The magnitude and the sign
        // as bits: one operation each way.
        using I = fastmath::IntOf<V>;
        const I bits = fastmath::asInt(c);
        const I sign = bits & std::numeric_limits<std::int32_t>::min();
        const V r = fastmath::powNonNegative(fastmath::asFloat<V>(bits & 0x7fffffff), p);
        return fastmath::asFloat<V>(fastmath::asInt(r) | sign);
    }
    template <class V>
    VELMORA_LANES_INLINE void operator()(V& r, V& g, V& b, V&, std::size_t) const
    {
        const V p = lanes::splat<V>(power);
        if (power > 0) {
            r = positivePower(r, p);
            g = positivePower(g, p);
            b = positivePower(b, p);
        } else {
            r = fastmath::signedPow(r, p);
            g = fastmath::signedPow(g, p);
            b = fastmath::signedPow(b, p);
        }
    }
};

template <class Kernel>
struct LaneStep {
    Kernel kernel;
    void applyPlanar(const PlanarSpan& span) const { lanes::forEachLane(kernel, span); }
};

template <class Kernel>
PixelOp laneOp(Kernel kernel, bool positional = false)
{
    return PixelOp::makePlanar(LaneStep<Kernel>{kernel}, positional);
}

struct MixStep {
    std::vector<PixelOp> steps;
    float amount;
    void applyPlanar(const PlanarSpan& span) const
    {
        alignas(64) float original[4][maxSpanPixels];
        const std::size_t n = span.paddedCount;
        float* planes[4] = {span.r, span.g, span.b, span.a};
        for (int k = 0; k < 4; ++k) {
            std::memcpy(original[k], planes[k], n * sizeof(float));
        }
        runPixelOps(steps, span);
        const float keep = 1.0f - amount;
        for (int k = 0; k < 4; ++k) {
            float* p = planes[k];
            const float* o = original[k];
            for (std::size_t i = 0; i < n; ++i) {
                p[i] = o[i] * keep + p[i] * amount;
            }
        }
    }
};

Color mix(const Color& a, const Color& b, float t)
{
    const float k = 1.0f - t;
    return {a.r * k + b.r * t, a.g * k + b.g * t, a.b * k + b.b * t, a.a * k + b.a * t};
}

} // namespace

Image colorMatrix(const Image& image, const ColorMatrix& matrix)
{
    if (isPlainGains(matrix)) {
        return image.appending(laneOp(GainsKernel{matrix.r[0], matrix.g[1], matrix.b[2]}));
    }
    return image.appending(laneOp(MatrixKernel{matrix}));
}

Image colorControls(const Image& image, double saturation, double brightness, double contrast)
{
    return image.appending(laneOp(ControlsKernel(saturation, brightness, contrast)));
}

Image gammaAdjust(const Image& image, double power)
{
    return image.appending(laneOp(GammaKernel{static_cast<float>(power)}));
}

Image mixingSteps(const Image& image, std::vector<PixelOp> steps, double amount)
{
    bool positional = false;
    for (const PixelOp& op : steps) {
        positional = positional || op.positional;
    }
    return image.appending(
        PixelOp::makePlanar(MixStep{std::move(steps), static_cast<float>(amount)}, positional));
}

Image dissolve(const Image& from, const Image& to, double t)
{
    if (auto extra = to.stepsAfter(from)) {
        return mixingSteps(from, std::move(*extra), t);
    }
    const float tf = static_cast<float>(t);
    if (from.isEmpty() && to.isEmpty()) {
        return {};
    }
    if (from.isConstant() && to.isConstant()) {
        return Image::constant(mix(from.constantColor(), to.constantColor(), tf));
    }
    // Union of the finite extents; a constant image covers all of it.
    IntRect area;
    bool first = true;
    for (const Image* im : {&from, &to}) {
        if (!im->hasPixels()) {
            continue;
        }
        const IntRect r{im->originX(), im->originY(), im->width(), im->height()};
        if (first) {
            area = r;
            first = false;
        } else {
            const long long x0 = std::min(area.x, r.x), y0 = std::min(area.y, r.y);
            const long long x1 = std::max(area.x + area.width, r.x + r.width);
            const long long y1 = std::max(area.y + area.height, r.y + r.height);
            area = {x0, y0, x1 - x0, y1 - y0};
        }
    }
    const Image a = from.isConstant() ? from.croppedTo(area) : from.rendered();
    const Image b = to.isConstant() ? to.croppedTo(area) : to.rendered();
    Image out = Image::allocate(static_cast<int>(area.width), static_cast<int>(area.height),
                                static_cast<int>(area.x), static_cast<int>(area.y));
    out.tags = from.tags;
    for (int i = 0; i < out.height(); ++i) {
        float* dst = out.mutableRow(i);
        const int y = out.originY() + out.height() - 1 - i;
        for (int x = 0; x < out.width(); ++x) {
            const Color c = mix(a.pixel(out.originX() + x, y), b.pixel(out.originX() + x, y), tf);
            dst[x * 4 + 0] = c.r;
            dst[x * 4 + 1] = c.g;
            dst[x * 4 + 2] = c.b;
            dst[x * 4 + 3] = c.a;
        }
    }
    return out;
}

} // namespace velmora
