#pragma once

#include <cmath>

#include "platform/image/FastMath.h"

// Building blocks of the grade formulas, written once for both precisions: the per-pixel kernels
// compute in float, their processor twins (which fill the fallback colour cubes) in double.
// Constants are written as T(literal) so that each precision rounds them the way its own
// arithmetic would.
namespace velmora::grademath {

template <class T>
struct Rgb {
    T r;
    T g;
    T b;
};

template <class T>
inline T L709(const Rgb<T>& c)
{
    return T(0.2126) * c.r + T(0.7152) * c.g + T(0.0722) * c.b;
}

template <class T>
inline T L601(const Rgb<T>& c)
{
    return T(0.299) * c.r + T(0.587) * c.g + T(0.114) * c.b;
}

// Clamps with NaN mapped to the lower bound, so that a NaN from a cube entry or a formula never
// survives a clamp step.
template <class T>
inline T clampT(T x, T lo, T hi)
{
    return x > lo ? (x < hi ? x : hi) : lo;
}

template <class T>
inline T maxZero(T x)
{
    return x > T(0) ? x : T(0);
}

template <class T>
inline T smoothstep(T e0, T e1, T x)
{
    const T u = clampT((x - e0) / (e1 - e0), T(0), T(1));
    return u * u * (T(3) - T(2) * u);
}

template <class T>
inline T mix(T x, T y, T k)
{
    return x + (y - x) * k;
}

template <class T>
inline Rgb<T> mix(T x, const Rgb<T>& y, T k)
{
    return {x + (y.r - x) * k, x + (y.g - x) * k, x + (y.b - x) * k};
}

template <class T>
inline Rgb<T> mix(const Rgb<T>& x, const Rgb<T>& y, T k)
{
    return {x.r + (y.r - x.r) * k, x.g + (y.g - x.g) * k, x.b + (y.b - x.b) * k};
}

template <class T>
inline Rgb<T> clampBelowZero(const Rgb<T>& c)
{
    return {maxZero(c.r), maxZero(c.g), maxZero(c.b)};
}

template <class T>
inline Rgb<T> clamp01v(const Rgb<T>& c)
{
    return {clampT(c.r, T(0), T(1)), clampT(c.g, T(0), T(1)), clampT(c.b, T(0), T(1))};
}

template <class T>
inline Rgb<T> scaled(const Rgb<T>& c, T k)
{
    return {c.r * k, c.g * k, c.b * k};
}

// max(c, 0) raised to (er, eg, eb) per component.
inline Rgb<float> powClamped(const Rgb<float>& c, float er, float eg, float eb)
{
    const fastmath::v4sf x{maxZero(c.r), maxZero(c.g), maxZero(c.b), 1.0f};
    const fastmath::v4sf p = fastmath::pow(x, fastmath::v4sf{er, eg, eb, 1.0f});
    return {p[0], p[1], p[2]};
}

inline Rgb<double> powClamped(const Rgb<double>& c, double er, double eg, double eb)
{
    return {std::pow(maxZero(c.r), er), std::pow(maxZero(c.g), eg), std::pow(maxZero(c.b), eb)};
}

inline float powClamped1(float x, float e)
{
    return fastmath::pow(maxZero(x), e);
}

inline double powClamped1(double x, double e)
{
    return std::pow(maxZero(x), e);
}

inline float sinT(float x)
{
    return std::sin(x);
}

inline double sinT(double x)
{
    return std::sin(x);
}

// The temperature/tint gain with luminance preservation: positive temp warms (red up, blue
// down), positive tint moves towards green; the result is clamped below at 0, not above.
template <class T>
inline Rgb<T> applyTempTintColor(const Rgb<T>& c, T temp, T tint)
{
    if (std::fabs(temp) < T(0.0001) && std::fabs(tint) < T(0.0001)) {
        return c;
    }
    const T lumaBefore = L709(c);
    const T t = temp * T(0.6);
    T gR = T(1) + t;
    T gB = T(1) - t;
    T gG = T(1);
    const T i = tint * T(0.6);
    gG = gG * (T(1) + i);
    gR = gR * (T(1) - T(0.5) * i);
    gB = gB * (T(1) - T(0.5) * i);
    Rgb<T> out{c.r * gR, c.g * gG, c.b * gB};
    const T lumaAfter = L709(out);
    if (lumaAfter > T(0.000001)) {
        out = scaled(out, lumaBefore / lumaAfter);
    }
    return clampBelowZero(out);
}

} // namespace velmora::grademath
