#include "platform/image/Resample.h"

#include <algorithm>
#include <cmath>

#include "platform/dispatch/ConcurrentPerform.h"

namespace velmora {

namespace {

bool isWhole(double v)
{
    return std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e9;
}

// Resamples `src` (no pending steps) into `out` (already allocated over the destination area).
void resampleInto(const Image& src, const AffineTransform& inverse, Image& out)
{
    const float* base = src.row(0);
    const std::ptrdiff_t stride = src.rowStride();
    const int sw = src.width();
    const int sh = src.height();
    const double sx0 = src.originX();
    const double sy0 = src.originY();
    const int ow = out.width();
    const int oh = out.height();
    float* obase = out.mutableRow(0);
    const std::ptrdiff_t ostride = out.rowStride();
    const double ox0 = out.originX();
    const double oy0 = out.originY();

    concurrentPerform(static_cast<std::size_t>(oh), 4, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            float* dst = obase + static_cast<std::ptrdiff_t>(i) * ostride;
            const double cy = oy0 + (oh - 1 - static_cast<double>(i)) + 0.5;
            for (int x = 0; x < ow; ++x) {
                const double cx = ox0 + x + 0.5;
                double sxp, syp;
                inverse.apply(cx, cy, sxp, syp);
                float* px = dst + x * 4;
                if (!(sxp >= sx0 && sxp < sx0 + sw && syp >= sy0 && syp < sy0 + sh)) {
                    px[0] = px[1] = px[2] = px[3] = 0;
                    continue;
                }
                // Continuous pixel index (column from the left, row from the bottom).
                const double u = std::clamp(sxp - sx0 - 0.5, 0.0, static_cast<double>(sw - 1));
                const double v = std::clamp(syp - sy0 - 0.5, 0.0, static_cast<double>(sh - 1));
                const int u0 = std::min(static_cast<int>(u), std::max(0, sw - 2));
                const int v0 = std::min(static_cast<int>(v), std::max(0, sh - 2));
                const int u1 = std::min(u0 + 1, sw - 1);
                const int v1 = std::min(v0 + 1, sh - 1);
                const float fu = static_cast<float>(u - u0);
                const float fv = static_cast<float>(v - v0);
                const float* r0 = base + static_cast<std::ptrdiff_t>(sh - 1 - v0) * stride;
                const float* r1 = base + static_cast<std::ptrdiff_t>(sh - 1 - v1) * stride;
                const float* p[4] = {r0 + u0 * 4, r0 + u1 * 4, r1 + u0 * 4, r1 + u1 * 4};
                const float w[4] = {(1 - fu) * (1 - fv), fu * (1 - fv), (1 - fu) * fv, fu * fv};
                float acc[3] = {0, 0, 0};
                float alpha = 0;
                bool opaque = true;
                for (int k = 0; k < 4; ++k) {
                    opaque = opaque && p[k][3] == 1.0f;
                }
                if (opaque) {
                    for (int k = 0; k < 4; ++k) {
                        acc[0] += w[k] * p[k][0];
                        acc[1] += w[k] * p[k][1];
                        acc[2] += w[k] * p[k][2];
                    }
                    px[0] = acc[0];
                    px[1] = acc[1];
                    px[2] = acc[2];
                    px[3] = 1.0f;
                    continue;
                }
                for (int k = 0; k < 4; ++k) {
                    const float wa = w[k] * p[k][3];
                    acc[0] += wa * p[k][0];
                    acc[1] += wa * p[k][1];
                    acc[2] += wa * p[k][2];
                    alpha += wa;
                }
                if (alpha > 0) {
                    px[0] = acc[0] / alpha;
                    px[1] = acc[1] / alpha;
                    px[2] = acc[2] / alpha;
                } else {
                    px[0] = px[1] = px[2] = 0;
                }
                px[3] = alpha;
            }
        }
    });
}

} // namespace

Image affineTransformCropped(const Image& image, const AffineTransform& transform,
                             const IntRect& area)
{
    if (!image.hasPixels()) {
        return image.isConstant() ? image.croppedTo(area) : Image{};
    }
    if (!transform.isInvertible()) {
        return {};
    }
    const IntRect covered = integralRect(transform.apply(image.extent()));
    const IntRect dest = intersection(covered, area);
    if (dest.isEmpty()) {
        return {};
    }
    if (transform.a == 1 && transform.b == 0 && transform.c == 0 && transform.d == 1 &&
        isWhole(transform.tx) && isWhole(transform.ty)) {
        return image.translatedBy(static_cast<int>(transform.tx), static_cast<int>(transform.ty))
            .croppedTo(dest);
    }
    const Image src = image.rendered();
    Image out = Image::allocate(static_cast<int>(dest.width), static_cast<int>(dest.height),
                                static_cast<int>(dest.x), static_cast<int>(dest.y));
    out.tags = image.tags;
    resampleInto(src, transform.inverted(), out);
    return out;
}

Image affineTransform(const Image& image, const AffineTransform& transform)
{
    if (!image.hasPixels()) {
        return image;
    }
    if (!transform.isInvertible()) {
        return {};
    }
    const IntRect covered = integralRect(transform.apply(image.extent()));
    return affineTransformCropped(image, transform, covered);
}

Image crop(const Image& image, const IntRect& rect)
{
    return image.croppedTo(rect);
}

Image crop(const Image& image, const Rect& rect)
{
    if (rect.isInfinite()) {
        return image;
    }
    return image.croppedTo(integralRect(rect));
}

Image translate(const Image& image, double dx, double dy)
{
    if (isWhole(dx) && isWhole(dy)) {
        return image.translatedBy(static_cast<int>(dx), static_cast<int>(dy));
    }
    return affineTransform(image, AffineTransform::translation(dx, dy));
}

} // namespace velmora
