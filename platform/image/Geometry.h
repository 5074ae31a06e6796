#pragma once

#include <algorithm>
#include <cmath>
#include <limits>

namespace velmora {

// A straight-alpha float RGBA colour.
struct Color {
    float r = 0;
    float g = 0;
    float b = 0;
    float a = 0;

    bool operator==(const Color&) const = default;
};

// A rectangle in the y-up image space: (x, y) is the bottom-left corner.
// The infinite rectangle (extent of constant images) has x = y = -inf and width = height = +inf.
struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    static Rect infinite()
    {
        constexpr double inf = std::numeric_limits<double>::infinity();
        return {-inf, -inf, inf, inf};
    }
    bool isInfinite() const { return std::isinf(width) || std::isinf(height); }
    bool isEmpty() const { return !(width > 0) || !(height > 0); }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }

    bool operator==(const Rect&) const = default;
};

// A rectangle of whole pixels in the y-up image space.
struct IntRect {
    long long x = 0;
    long long y = 0;
    long long width = 0;
    long long height = 0;

    bool isEmpty() const { return width <= 0 || height <= 0; }
    bool operator==(const IntRect&) const = default;
};

// The smallest whole-pixel rectangle holding `r` (outward to integers). An empty or non-finite
// rectangle gives an empty one.
inline IntRect integralRect(const Rect& r)
{
    if (r.isEmpty() || r.isInfinite() || !std::isfinite(r.x) || !std::isfinite(r.y)) {
        return {};
    }
    const double x0 = std::floor(r.x);
    const double y0 = std::floor(r.y);
    const double x1 = std::ceil(r.x + r.width);
    const double y1 = std::ceil(r.y + r.height);
    return {static_cast<long long>(x0), static_cast<long long>(y0),
            static_cast<long long>(x1 - x0), static_cast<long long>(y1 - y0)};
}

inline IntRect intersection(const IntRect& a, const IntRect& b)
{
    const long long x0 = std::max(a.x, b.x);
    const long long y0 = std::max(a.y, b.y);
    const long long x1 = std::min(a.x + a.width, b.x + b.width);
    const long long y1 = std::min(a.y + a.height, b.y + b.height);
    if (x1 <= x0 || y1 <= y0) {
        return {};
    }
    return {x0, y0, x1 - x0, y1 - y0};
}

// A 2D affine transform in the platform's convention:
// x' = a x + c y + tx, y' = b x + d y + ty.
struct AffineTransform {
    double a = 1;
    double b = 0;
    double c = 0;
    double d = 1;
    double tx = 0;
    double ty = 0;

    static AffineTransform identity() { return {}; }
    static AffineTransform translation(double x, double y) { return {1, 0, 0, 1, x, y}; }
    static AffineTransform scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }

    // First this, then `next`.
    AffineTransform concatenating(const AffineTransform& next) const
    {
        return {a * next.a + b * next.c,  a * next.b + b * next.d,
                c * next.a + d * next.c,  c * next.b + d * next.d,
                tx * next.a + ty * next.c + next.tx, tx * next.b + ty * next.d + next.ty};
    }
    double determinant() const { return a * d - b * c; }
    bool isInvertible() const
    {
        const double det = determinant();
        return std::isfinite(det) && det != 0;
    }
    // Requires isInvertible().
    AffineTransform inverted() const
    {
        const double det = determinant();
        return {d / det, -b / det, -c / det, a / det,
                (c * ty - d * tx) / det, (b * tx - a * ty) / det};
    }
    void apply(double x, double y, double& ox, double& oy) const
    {
        ox = a * x + c * y + tx;
        oy = b * x + d * y + ty;
    }
    // The bounding box of the transformed rectangle.
    Rect apply(const Rect& r) const
    {
        double xs[4];
        double ys[4];
        apply(r.x, r.y, xs[0], ys[0]);
        apply(r.x + r.width, r.y, xs[1], ys[1]);
        apply(r.x, r.y + r.height, xs[2], ys[2]);
        apply(r.x + r.width, r.y + r.height, xs[3], ys[3]);
        const double x0 = *std::min_element(xs, xs + 4);
        const double x1 = *std::max_element(xs, xs + 4);
        const double y0 = *std::min_element(ys, ys + 4);
        const double y1 = *std::max_element(ys, ys + 4);
        return {x0, y0, x1 - x0, y1 - y0};
    }
    bool operator==(const AffineTransform&) const = default;
};

} // namespace velmora
