#pragma once

#include <cmath>

#include "platform/image/FastMath.h"
#include "platform/image/Lanes.h"

// Lane values of 32 bytes are passed only inside code inlined into AVX2 functions (Lanes.h).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

// Building blocks of the grade formulas, written once for every precision and width: the kernels
// compute in float (one pixel, or 4 or 8 pixels per lane vector), their processor twins (which
// fill the fallback colour cubes) in double. V is the component type, S = Scalar<V> the type of
// constants and step parameters. Constants are written S(literal) so that each precision rounds
// them the way its own arithmetic would. Data-dependent choices are select(), never branches.
namespace velmora::grademath {

using lanes::select;
using lanes::vabs;
using lanes::vmax;
using lanes::vmin;

template <class V>
using Scalar = typename lanes::Traits<V>::Scalar;

template <class V>
struct Rgb {
    V r;
    V g;
    V b;
};

template <class V>
VELMORA_LANES_INLINE V L709(const Rgb<V>& c)
{
    using S = Scalar<V>;
    return S(0.2126) * c.r + S(0.7152) * c.g + S(0.0722) * c.b;
}

template <class V>
VELMORA_LANES_INLINE V L601(const Rgb<V>& c)
{
    using S = Scalar<V>;
    return S(0.299) * c.r + S(0.587) * c.g + S(0.114) * c.b;
}

// Clamps with NaN mapped to the lower bound, so that a NaN from a cube entry or a formula never
// survives a clamp step. (On lanes a max and a min: the larger-of test keeps its first argument
// only when it compares greater, so NaN takes the bound.)
template <class V>
VELMORA_LANES_INLINE V clampT(const V& x, Scalar<V> lo, Scalar<V> hi)
{
    const V l = lanes::splat<V>(lo);
    const V h = lanes::splat<V>(hi);
    return vmin(vmax(x, l), h);
}

// min(x, 1) for values known to be neither NaN nor below 0: the upper half of clamp01 where the
// lower half cannot act.
template <class V>
VELMORA_LANES_INLINE V minOne(const V& x)
{
    return vmin(x, lanes::splat<V>(Scalar<V>(1)));
}

template <class V>
VELMORA_LANES_INLINE V maxZero(const V& x)
{
    return vmax(x, lanes::splat<V>(Scalar<V>(0)));
}

template <class V>
VELMORA_LANES_INLINE V smoothstep(Scalar<V> e0, Scalar<V> e1, const V& x)
{
    using S = Scalar<V>;
    // The edges are constants: (x - e0) / (e1 - e0) as one multiply-add by folded constants.
    const S scale = S(1) / (e1 - e0);
    const V u = clampT<V>(x * scale - e0 * scale, S(0), S(1));
    return u * u * (S(3) - S(2) * u);
}

// x + (y - x) k for any mix of scalars and lanes.
template <class X, class Y, class K>
VELMORA_LANES_INLINE auto mix(const X& x, const Y& y, const K& k)
{
    return x + (y - x) * k;
}

template <class V, class K>
VELMORA_LANES_INLINE Rgb<V> mixToward(const V& gray, const Rgb<V>& c, const K& k)
{
    return {gray + (c.r - gray) * k, gray + (c.g - gray) * k, gray + (c.b - gray) * k};
}

template <class V, class K>
VELMORA_LANES_INLINE Rgb<V> mixRgb(const Rgb<V>& x, const Rgb<V>& y, const K& k)
{
    return {x.r + (y.r - x.r) * k, x.g + (y.g - x.g) * k, x.b + (y.b - x.b) * k};
}

template <class V>
VELMORA_LANES_INLINE Rgb<V> clampBelowZero(const Rgb<V>& c)
{
    return {maxZero(c.r), maxZero(c.g), maxZero(c.b)};
}

template <class V>
VELMORA_LANES_INLINE Rgb<V> clamp01v(const Rgb<V>& c)
{
    using S = Scalar<V>;
    return {clampT<V>(c.r, S(0), S(1)), clampT<V>(c.g, S(0), S(1)), clampT<V>(c.b, S(0), S(1))};
}

template <class V, class K>
VELMORA_LANES_INLINE Rgb<V> scaled(const Rgb<V>& c, const K& k)
{
    return {c.r * k, c.g * k, c.b * k};
}

// max(x, 0) raised to e (e > 0). The float power takes NaN and values below 0 as 0 itself.
template <class V>
VELMORA_LANES_INLINE V powClamped1(const V& x, Scalar<V> e)
{
    if constexpr (std::is_same_v<V, double>) {
        return std::pow(maxZero(x), e);
    } else if constexpr (std::is_same_v<V, float>) {
        return fastmath::powNonNegative(lanes::splat<lanes::F4>(x), lanes::splat<lanes::F4>(e))[0];
    } else {
        return fastmath::powNonNegative(x, lanes::splat<V>(e));
    }
}

template <class V>
VELMORA_LANES_INLINE Rgb<V> powClamped(const Rgb<V>& c, Scalar<V> er, Scalar<V> eg, Scalar<V> eb)
{
    if constexpr (std::is_same_v<V, float>) {
        // One vector call for the three components.
        const lanes::F4 p = fastmath::powNonNegative(lanes::F4{c.r, c.g, c.b, 1.0f}, lanes::F4{er, eg, eb, 1.0f});
        return {p[0], p[1], p[2]};
    } else {
        return {powClamped1(c.r, er), powClamped1(c.g, eg), powClamped1(c.b, eb)};
    }
}

// The temperature/tint gain with luminance preservation: positive temp warms (red up, blue
// down), positive tint moves towards green; the result is clamped below at 0, not above.
template <class V>
VELMORA_LANES_INLINE Rgb<V> applyTempTintColor(const Rgb<V>& c, Scalar<V> temp, Scalar<V> tint)
{
    using S = Scalar<V>;
    if (std::fabs(temp) < S(0.0001) && std::fabs(tint) < S(0.0001)) {
        return c;
    }
    const V lumaBefore = L709(c);
    const S t = temp * S(0.6);
    S gR = S(1) + t;
    S gB = S(1) - t;
    S gG = S(1);
    const S i = tint * S(0.6);
    gG = gG * (S(1) + i);
    gR = gR * (S(1) - S(0.5) * i);
    gB = gB * (S(1) - S(0.5) * i);
    Rgb<V> out{c.r * gR, c.g * gG, c.b * gB};
    const V lumaAfter = L709(out);
    const V ratio = lanes::vdiv(lumaBefore, lumaAfter);
    const auto preserve = lumaAfter > S(0.000001);
    out = {select(preserve, out.r * ratio, out.r), select(preserve, out.g * ratio, out.g),
           select(preserve, out.b * ratio, out.b)};
    return clampBelowZero(out);
}

} // namespace velmora::grademath

#pragma GCC diagnostic pop
