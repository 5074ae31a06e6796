#include "platform/image/SpatialFilters.h"

#include <algorithm>
#include <cmath>

#include "platform/dispatch/ConcurrentPerform.h"

namespace velmora {

namespace {

struct VignetteStep {
    double cx, cy;      // centre
    double invHalfDiag; // 1 / half diagonal
    float intensity;
    float invRadius2;   // 1 / radius^2
    void applyPlanar(const PlanarSpan& span) const
    {
        if (!span.where) {
            return;
        }
        const double dy = (span.where->y - cy) * invHalfDiag;
        for (std::size_t i = 0; i < span.count; ++i) {
            const double dx = (span.where->x + static_cast<double>(i) - cx) * invHalfDiag;
            const float d2 = static_cast<float>(dx * dx + dy * dy);
            const float v = std::clamp(1.0f - intensity * d2 * invRadius2 * 0.5f, 0.0f, 1.0f);
            span.r[i] *= v;
            span.g[i] *= v;
            span.b[i] *= v;
        }
    }
};

inline float luma(const float* p)
{
    return 0.2126f * p[0] + 0.7152f * p[1] + 0.0722f * p[2];
}

} // namespace

Image vignetteEffect(const Image& image, double intensity, double radius)
{
    if (!image.hasPixels()) {
        return image;
    }
    const Rect e = image.extent();
    const double halfDiag = 0.5 * std::hypot(e.width, e.height);
    const double r = radius > 1e-6 ? radius : 1e-6;
    VignetteStep step{e.x + e.width / 2, e.y + e.height / 2, 1.0 / halfDiag,
                      static_cast<float>(intensity), static_cast<float>(1.0 / (r * r))};
    return image.appending(PixelOp::makePlanar(step, true));
}

Image noiseReduction(const Image& image, double noiseLevel, double sharpness)
{
    if (!image.hasPixels()) {
        return image;
    }
    const Image src = image.rendered();
    const int w = src.width();
    const int h = src.height();
    const float* base = src.row(0);
    const std::ptrdiff_t stride = src.rowStride();
    Image out = Image::allocate(w, h, src.originX(), src.originY());
    out.tags = image.tags;
    float* obase = out.mutableRow(0);
    const std::ptrdiff_t ostride = out.rowStride();
    const float level = static_cast<float>(noiseLevel);
    const float sharp = static_cast<float>(sharpness);
    concurrentPerform(static_cast<std::size_t>(h), 8, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            const int y = static_cast<int>(i);
            const float* rows[3] = {base + std::max(0, y - 1) * stride, base + y * stride,
                                    base + std::min(h - 1, y + 1) * stride};
            float* dst = obase + y * ostride;
            for (int x = 0; x < w; ++x) {
                const int xs[3] = {std::max(0, x - 1), x, std::min(w - 1, x + 1)};
                const float* centre = rows[1] + x * 4;
                const float lc = luma(centre);
                float sel[3] = {0, 0, 0};
                float all[3] = {0, 0, 0};
                int count = 0;
                for (const float* r : rows) {
                    for (int xx : xs) {
                        const float* p = r + xx * 4;
                        for (int k = 0; k < 3; ++k) {
                            all[k] += p[k];
                        }
                        if (p == centre || std::fabs(luma(p) - lc) <= level) {
                            for (int k = 0; k < 3; ++k) {
                                sel[k] += p[k];
                            }
                            ++count;
                        }
                    }
                }
                float* o = dst + x * 4;
                for (int k = 0; k < 3; ++k) {
                    const float smooth = sel[k] / static_cast<float>(count);
                    o[k] = smooth + sharp * (smooth - all[k] / 9.0f);
                }
                o[3] = centre[3];
            }
        }
    });
    return out;
}

} // namespace velmora
