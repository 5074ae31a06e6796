#include "platform/image/ColorOps.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/image/FastMath.h"

namespace velmora {

namespace {

struct MatrixStep {
    ColorMatrix m;
    void apply(float* px, std::size_t n, const SpanPosition*) const
    {
        for (std::size_t i = 0; i < n; ++i, px += 4) {
            const float r = px[0], g = px[1], b = px[2], a = px[3];
            px[0] = m.r[0] * r + m.r[1] * g + m.r[2] * b + m.r[3] * a + m.bias[0];
            px[1] = m.g[0] * r + m.g[1] * g + m.g[2] * b + m.g[3] * a + m.bias[1];
            px[2] = m.b[0] * r + m.b[1] * g + m.b[2] * b + m.b[3] * a + m.bias[2];
            px[3] = m.a[0] * r + m.a[1] * g + m.a[2] * b + m.a[3] * a + m.bias[3];
        }
    }
};

struct ControlsStep {
    float saturation;
    float brightness;
    float contrast;
    void apply(float* px, std::size_t n, const SpanPosition*) const
    {
        for (std::size_t i = 0; i < n; ++i, px += 4) {
            const float y = 0.2125f * px[0] + 0.7154f * px[1] + 0.0721f * px[2];
            for (int k = 0; k < 3; ++k) {
                float c = y + (px[k] - y) * saturation;
                c += brightness;
                px[k] = (c - 0.5f) * contrast + 0.5f;
            }
        }
    }
};

struct GammaStep {
    float power;
    void apply(float* px, std::size_t n, const SpanPosition*) const
    {
        const fastmath::v4sf p = fastmath::splat(power);
        for (std::size_t i = 0; i < n; ++i, px += 4) {
            fastmath::v4sf c;
            std::memcpy(&c, px, sizeof c);
            const float alpha = px[3];
            c = fastmath::signedPow(c, p);
            std::memcpy(px, &c, sizeof c);
            px[3] = alpha;
        }
    }
};

// Spans are at most a few hundred pixels (see Image); longer calls are cut into pieces.
constexpr std::size_t mixChunk = 256;

struct MixStep {
    std::vector<PixelOp> steps;
    float amount;
    void apply(float* px, std::size_t n, const SpanPosition* where) const
    {
        alignas(64) float original[mixChunk * 4];
        for (std::size_t begin = 0; begin < n; begin += mixChunk) {
            const std::size_t m = std::min(mixChunk, n - begin);
            float* span = px + begin * 4;
            std::memcpy(original, span, m * 4 * sizeof(float));
            SpanPosition here;
            const SpanPosition* at = nullptr;
            if (where) {
                here = {where->x + static_cast<double>(begin), where->y};
                at = &here;
            }
            for (const PixelOp& op : steps) {
                op.run(span, m, at);
            }
            const float keep = 1.0f - amount;
            for (std::size_t i = 0; i < m * 4; ++i) {
                span[i] = original[i] * keep + span[i] * amount;
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
    return image.appending(PixelOp::make(MatrixStep{matrix}));
}

Image colorControls(const Image& image, double saturation, double brightness, double contrast)
{
    return image.appending(PixelOp::make(ControlsStep{static_cast<float>(saturation),
                                                      static_cast<float>(brightness),
                                                      static_cast<float>(contrast)}));
}

Image gammaAdjust(const Image& image, double power)
{
    return image.appending(PixelOp::make(GammaStep{static_cast<float>(power)}));
}

Image mixingSteps(const Image& image, std::vector<PixelOp> steps, double amount)
{
    bool positional = false;
    for (const PixelOp& op : steps) {
        positional = positional || op.positional;
    }
    return image.appending(
        PixelOp::make(MixStep{std::move(steps), static_cast<float>(amount)}, positional));
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
