#include "platform/image/Composite.h"

#include <algorithm>

#include "platform/dispatch/ConcurrentPerform.h"

namespace velmora {

namespace {

IntRect pixelRect(const Image& image)
{
    return {image.originX(), image.originY(), image.width(), image.height()};
}

IntRect unite(const IntRect& a, const IntRect& b)
{
    if (a.isEmpty()) {
        return b;
    }
    if (b.isEmpty()) {
        return a;
    }
    const long long x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
    const long long x1 = std::max(a.x + a.width, b.x + b.width);
    const long long y1 = std::max(a.y + a.height, b.y + b.height);
    return {x0, y0, x1 - x0, y1 - y0};
}

// Row access to an image over an area: a pointer to the row's pixels that fall inside the image,
// with the columns they cover, or the constant colour.
struct RowSource {
    const Image& image;
    bool constant;
    Color color;

    explicit RowSource(const Image& im) : image(im), constant(im.isConstant()), color(im.constantColor()) {}

    // Colour at extent (x, y); transparent outside.
    void fetch(long long x, long long y, float out[4]) const
    {
        if (constant) {
            out[0] = color.r;
            out[1] = color.g;
            out[2] = color.b;
            out[3] = color.a;
            return;
        }
        if (!image.hasPixels() || x < image.originX() || y < image.originY() ||
            x >= image.originX() + static_cast<long long>(image.width()) ||
            y >= image.originY() + static_cast<long long>(image.height())) {
            out[0] = out[1] = out[2] = out[3] = 0;
            return;
        }
        const float* p = image.row(static_cast<int>(image.originY() + image.height() - 1 - y)) +
                         (x - image.originX()) * 4;
        out[0] = p[0];
        out[1] = p[1];
        out[2] = p[2];
        out[3] = p[3];
    }
};

inline float blendChannel(BlendMode mode, float f, float b)
{
    switch (mode) {
    case BlendMode::multiply:
        return f * b;
    case BlendMode::screen:
        return f + b - f * b;
    case BlendMode::normal:
        break;
    }
    return f;
}

Image composite(const Image& foreground, const Image& background, BlendMode mode,
                const IntRect& area)
{
    if (area.isEmpty()) {
        return {};
    }
    const Image fg = foreground.rendered();
    const Image bg = background.rendered();
    if (fg.hasPixels()) {
        (void)fg.row(0);
    }
    if (bg.hasPixels()) {
        (void)bg.row(0);
    }
    Image out = Image::allocate(static_cast<int>(area.width), static_cast<int>(area.height),
                                static_cast<int>(area.x), static_cast<int>(area.y));
    out.tags = background.hasPixels() ? background.tags : foreground.tags;
    float* base = out.mutableRow(0);
    const std::ptrdiff_t stride = out.rowStride();
    const RowSource f(fg);
    const RowSource b(bg);
    concurrentPerform(static_cast<std::size_t>(area.height), 8, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            float* dst = base + static_cast<std::ptrdiff_t>(i) * stride;
            const long long y = area.y + area.height - 1 - static_cast<long long>(i);
            for (long long x = 0; x < area.width; ++x) {
                float cf[4], cb[4];
                f.fetch(area.x + x, y, cf);
                b.fetch(area.x + x, y, cb);
                const float af = cf[3];
                const float ab = cb[3];
                const float a = af + ab * (1 - af);
                float* px = dst + x * 4;
                for (int k = 0; k < 3; ++k) {
                    // Where the background is absent the blend mode has nothing to act on.
                    const float src = ab > 0 ? blendChannel(mode, cf[k], cb[k]) * ab + cf[k] * (1 - ab)
                                             : cf[k];
                    px[k] = a > 0 ? (src * af + cb[k] * ab * (1 - af)) / a : 0.0f;
                }
                px[3] = a;
            }
        }
    });
    return out;
}

} // namespace

Image sourceOver(const Image& foreground, const Image& background, const IntRect& area)
{
    return composite(foreground, background, BlendMode::normal, area);
}

Image sourceOver(const Image& foreground, const Image& background)
{
    if (foreground.isConstant() && background.isConstant()) {
        const Color f = foreground.constantColor();
        const Color b = background.constantColor();
        const float a = f.a + b.a * (1 - f.a);
        auto mixc = [&](float cf, float cb) { return a > 0 ? (cf * f.a + cb * b.a * (1 - f.a)) / a : 0.0f; };
        return Image::constant({mixc(f.r, b.r), mixc(f.g, b.g), mixc(f.b, b.b), a});
    }
    IntRect area;
    if (foreground.hasPixels()) {
        area = unite(area, pixelRect(foreground));
    }
    if (background.hasPixels()) {
        area = unite(area, pixelRect(background));
    }
    if (area.isEmpty()) {
        return foreground.isConstant() ? foreground : background;
    }
    return composite(foreground, background, BlendMode::normal, area);
}

Image blend(const Image& foreground, const Image& background, BlendMode mode, const IntRect& area)
{
    return composite(foreground, background, mode, area);
}

} // namespace velmora
