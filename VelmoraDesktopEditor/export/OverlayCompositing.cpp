#include "export/OverlayCompositing.h"

#include <algorithm>
#include <cmath>

#include "platform/dispatch/ConcurrentPerform.h"
#include "platform/foundation/StringText.h"
#include "platform/image/Composite.h"

namespace velmora::Exporter {

namespace {

bool contains(const IntRect& outer, const IntRect& inner)
{
    return inner.x >= outer.x && inner.y >= outer.y
        && inner.x + inner.width <= outer.x + outer.width
        && inner.y + inner.height <= outer.y + outer.height;
}

IntRect toIntRect(const Rect& r)
{
    return {static_cast<long long>(r.x), static_cast<long long>(r.y),
            static_cast<long long>(r.width), static_cast<long long>(r.height)};
}

template <OverlayBlendMode mode>
inline float blendChannel(float cb, float cs)
{
    if constexpr (mode == OverlayBlendMode::multiply) {
        return cb * cs;
    } else if constexpr (mode == OverlayBlendMode::screen) {
        return cb + cs - cb * cs;
    } else if constexpr (mode == OverlayBlendMode::overlay) {
        return cb <= 0.5f ? 2 * cs * cb : 1 - 2 * (1 - cs) * (1 - cb);
    } else if constexpr (mode == OverlayBlendMode::difference) {
        return std::fabs(cb - cs);
    } else if constexpr (mode == OverlayBlendMode::lighten) {
        return std::max(cb, cs);
    } else if constexpr (mode == OverlayBlendMode::darken) {
        return std::min(cb, cs);
    } else {
        return cs;
    }
}

// `dst` and `src` hold `count` straight-alpha pixels; the result is written to `dst`.
template <OverlayBlendMode mode>
void blendSpan(float* dst, const float* src, long long count)
{
    for (long long i = 0; i < count; ++i, dst += 4, src += 4) {
        const float as = src[3];
        if (!(as > 0)) {
            continue;
        }
        const float ab = dst[3];
        const float ao = as + ab * (1 - as);
        const float inv = ao > 0 ? 1 / ao : 0;
        const float onlySource = as * (1 - ab);
        const float onlyBackdrop = ab * (1 - as);
        const float both = as * ab;
        for (int c = 0; c < 3; ++c) {
            const float cb = dst[c];
            const float cs = src[c];
            dst[c] = (cs * onlySource + cb * onlyBackdrop + both * blendChannel<mode>(cb, cs)) * inv;
        }
        dst[3] = ao;
    }
}

using SpanFn = void (*)(float*, const float*, long long);

SpanFn spanFunction(OverlayBlendMode mode)
{
    switch (mode) {
    case OverlayBlendMode::multiply: return &blendSpan<OverlayBlendMode::multiply>;
    case OverlayBlendMode::screen: return &blendSpan<OverlayBlendMode::screen>;
    case OverlayBlendMode::overlay: return &blendSpan<OverlayBlendMode::overlay>;
    case OverlayBlendMode::difference: return &blendSpan<OverlayBlendMode::difference>;
    case OverlayBlendMode::lighten: return &blendSpan<OverlayBlendMode::lighten>;
    case OverlayBlendMode::darken: return &blendSpan<OverlayBlendMode::darken>;
    case OverlayBlendMode::normal: break;
    }
    return &blendSpan<OverlayBlendMode::normal>;
}

} // namespace

OverlayBlendMode overlayBlendMode(const std::optional<std::string>& blendMode)
{
    const std::string name = StringText::lowercased(blendMode.value_or("normal"));
    if (name == "multiply") {
        return OverlayBlendMode::multiply;
    }
    if (name == "screen") {
        return OverlayBlendMode::screen;
    }
    if (name == "overlay") {
        return OverlayBlendMode::overlay;
    }
    if (name == "difference") {
        return OverlayBlendMode::difference;
    }
    if (name == "lighten") {
        return OverlayBlendMode::lighten;
    }
    if (name == "darken") {
        return OverlayBlendMode::darken;
    }
    return OverlayBlendMode::normal;
}

void compositeOverlay(Image& composite, const Image& overlay, OverlayBlendMode mode,
                      const IntRect& outputRect)
{
    if (!overlay.hasPixels()) {
        return;
    }
    const IntRect overlayExtent = toIntRect(overlay.extent());
    const IntRect target = intersection(overlayExtent, outputRect);
    if (target.isEmpty()) {
        return;
    }
    if (!composite.hasPixels() || !contains(toIntRect(composite.extent()), target)) {
        composite = sourceOver(composite, Image::constant({0, 0, 0, 0}), outputRect);
    }
    composite.makeWritable();

    // Storage rows run top down; y-up row y of an image lies at storage row top - 1 - y.
    const long long compositeTop = composite.originY() + composite.height();
    const long long overlayTop = overlay.originY() + overlay.height();
    float* base = composite.mutableRow(0);
    const std::ptrdiff_t stride = composite.rowStride();
    const SpanFn span = spanFunction(mode);
    const long long firstY = target.y + target.height - 1; // topmost y-up row
    const long long dx = target.x - composite.originX();
    const long long sx = target.x - overlay.originX();

    // Chunks of at least ~64k pixels: smaller ones cost more to hand out than to blend.
    const std::size_t minRows = static_cast<std::size_t>(std::max<long long>(16, 65536 / target.width));
    concurrentPerform(static_cast<std::size_t>(target.height), minRows,
                      [&](std::size_t begin, std::size_t end) {
                          for (std::size_t i = begin; i < end; ++i) {
                              const long long y = firstY - static_cast<long long>(i);
                              float* dst = base + (compositeTop - 1 - y) * stride + dx * 4;
                              const float* src = overlay.row(static_cast<int>(overlayTop - 1 - y)) + sx * 4;
                              span(dst, src, target.width);
                          }
                      });
}

} // namespace velmora::Exporter
