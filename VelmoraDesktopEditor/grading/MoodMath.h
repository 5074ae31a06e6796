#pragma once

#include <cmath>

#include "grading/GradeMath.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

// The mood looks: the recipe of each mood number, the six mood sliders, and the HSL helpers of
// the "kodak_vision" look. Templates over the component type (see GradeMath.h): the mood kernel
// runs them in float lanes, the fallback cube builder in double, with the same constants, order
// of operations and clamps.
namespace velmora::grademath {

template <class V>
VELMORA_LANES_INLINE V lerpAngle(const V& a, Scalar<V> b, Scalar<V> t)
{
    using S = Scalar<V>;
    V d = b - a;
    d = select(d > S(0.5), d - S(1), d);
    d = select(d < S(-0.5), d + S(1), d);
    return a + d * t;
}

template <class V>
struct Hsl {
    V h;
    V s;
    V l;
};

template <class V>
VELMORA_LANES_INLINE Hsl<V> rgb2hsl(const Rgb<V>& c)
{
    using S = Scalar<V>;
    const V mx = vmax(c.r, vmax(c.g, c.b));
    const V mn = vmin(c.r, vmin(c.g, c.b));
    const V l = (mx + mn) / S(2);
    const V d = mx - mn;
    const auto chroma = d > S(0.000001);
    const V zero = lanes::splat<V>(S(0));
    // Every candidate is computed; lanes without chroma take 0 and drop the divisions by d.
    const V s = d / (S(1) - vabs(S(2) * l - S(1)));
    const V hr = (c.g - c.b) / d + select(c.g < c.b, lanes::splat<V>(S(6)), zero);
    const V hg = (c.b - c.r) / d + S(2);
    const V hb = (c.r - c.g) / d + S(4);
    const V h = select(mx == c.r, hr, select(mx == c.g, hg, hb)) / S(6);
    return {select(chroma, h, zero), select(chroma, s, zero), l};
}

template <class V>
VELMORA_LANES_INLINE V hue2rgb(const V& p, const V& q, const V& tIn)
{
    using S = Scalar<V>;
    V t = select(tIn < S(0), tIn + S(1), tIn);
    t = select(t > S(1), t - S(1), t);
    const V rising = p + (q - p) * S(6) * t;
    const V falling = p + (q - p) * (S(2) / S(3) - t) * S(6);
    return select(t < S(1) / S(6), rising, select(t < S(1) / S(2), q, select(t < S(2) / S(3), falling, p)));
}

template <class V>
VELMORA_LANES_INLINE Rgb<V> hsl2rgb(const V& h, const V& s, const V& l)
{
    using S = Scalar<V>;
    const V q = select(l < S(0.5), l * (S(1) + s), l + s - l * s);
    const V p = S(2) * l - q;
    const auto grey = s < S(0.000001);
    return {select(grey, l, hue2rgb(p, q, h + S(1) / S(3))), select(grey, l, hue2rgb(p, q, h)),
            select(grey, l, hue2rgb(p, q, h - S(1) / S(3)))};
}

// Recipe steps of the mood table, each on the current colour c (in: the recipe's input).
namespace recipe {

template <class V>
VELMORA_LANES_INLINE void scale(Rgb<V>& c, const Rgb<V>& in, Scalar<V> x, Scalar<V> y, Scalar<V> z)
{
    c = {in.r * x, in.g * y, in.b * z};
}

template <class V>
VELMORA_LANES_INLINE void mult(Rgb<V>& c, Scalar<V> x, Scalar<V> y, Scalar<V> z)
{
    c = {c.r * x, c.g * y, c.b * z};
}

template <class V>
VELMORA_LANES_INLINE void lin(Rgb<V>& c, Scalar<V> k, Scalar<V> o)
{
    c = {c.r * k + o, c.g * k + o, c.b * k + o};
}

// mixL601 / mixL709: m = the luma; c = mix(m, c, k). m stays for later spread steps.
template <class V>
VELMORA_LANES_INLINE void mixL601(Rgb<V>& c, V& m, Scalar<V> k)
{
    m = L601(c);
    c = mixToward(m, c, k);
}

template <class V>
VELMORA_LANES_INLINE void mixL709(Rgb<V>& c, V& m, Scalar<V> k)
{
    m = L709(c);
    c = mixToward(m, c, k);
}

template <class V>
VELMORA_LANES_INLINE void spread(Rgb<V>& c, const V& m, Scalar<V> x, Scalar<V> y, Scalar<V> z)
{
    c = {m + (c.r - m) * x, m + (c.g - m) * y, m + (c.b - m) * z};
}

// scale (sx, sy, sz) of the input, mixL601 (k) and spread (x, y, z) about the same luma, as one
// step: mix and spread both scale the distance from m, so their factors multiply, and the scale
// folds into the luma's weights and the colour's factors: c = in s f + m (1 - f) per component,
// f = k x (y, z), m = L601(in s).
template <class V>
VELMORA_LANES_INLINE void scaleMixSpreadL601(Rgb<V>& c, const Rgb<V>& in, V& m, Scalar<V> sx, Scalar<V> sy,
                                             Scalar<V> sz, Scalar<V> k, Scalar<V> x, Scalar<V> y, Scalar<V> z)
{
    using S = Scalar<V>;
    m = S(0.299) * sx * in.r + S(0.587) * sy * in.g + S(0.114) * sz * in.b;
    const S fr = k * x;
    const S fg = k * y;
    const S fb = k * z;
    c = {in.r * (sx * fr) + m * (S(1) - fr), in.g * (sy * fg) + m * (S(1) - fg), in.b * (sz * fb) + m * (S(1) - fb)};
}

// scale (sx, sy, sz) of the input followed by mixL601 (k), as scaleMixSpreadL601 without spread.
template <class V>
VELMORA_LANES_INLINE void scaleMixL601(Rgb<V>& c, const Rgb<V>& in, V& m, Scalar<V> sx, Scalar<V> sy, Scalar<V> sz,
                                       Scalar<V> k)
{
    using S = Scalar<V>;
    scaleMixSpreadL601(c, in, m, sx, sy, sz, k, S(1), S(1), S(1));
}

template <class V>
VELMORA_LANES_INLINE V curveOf(const V& v)
{
    using S = Scalar<V>;
    return v * v * (S(3) - S(2) * v);
}

template <class V>
VELMORA_LANES_INLINE void curve(Rgb<V>& c)
{
    c = {curveOf(c.r), curveOf(c.g), curveOf(c.b)};
}

template <class V>
VELMORA_LANES_INLINE void contrast(Rgb<V>& c, Scalar<V> k)
{
    using S = Scalar<V>;
    c = {(c.r - S(0.5)) * k + S(0.5), (c.g - S(0.5)) * k + S(0.5), (c.b - S(0.5)) * k + S(0.5)};
}

template <class V>
VELMORA_LANES_INLINE void soft(Rgb<V>& c, Scalar<V> k)
{
    using S = Scalar<V>;
    c = {c.r * ((S(1) + k) - k * c.r), c.g * ((S(1) + k) - k * c.g), c.b * ((S(1) + k) - k * c.b)};
}

} // namespace recipe

// The end of the looks whose last steps raise every component to a power (of max(c, 0), so never
// below 0 nor NaN) and at most add offsets of at least 0: clamp01v where only its upper half
// can act.
template <class V>
VELMORA_LANES_INLINE Rgb<V> clampPowered(const Rgb<V>& c)
{
    return {minOne(c.r), minOne(c.g), minOne(c.b)};
}

// Whether the look of `mood` always ends in [0, 1] (NaN included): every recipe but the HSL one
// (51) and the luma one (52) ends with clamp01v; 0 is the input itself.
inline bool moodLookEndsInRange(int mood)
{
    return mood != 0 && mood != 51 && mood != 52;
}

// The look of mood number `mood` (already rounded to a whole number) on colour `in`.
template <class V>
VELMORA_LANES_INLINE Rgb<V> applyMoodImpl(const Rgb<V>& in, int mood)
{
    using S = Scalar<V>;
    const V r = in.r;
    const V g = in.g;
    const V b = in.b;
    Rgb<V> c = in;
    V m = lanes::splat<V>(S(0)); // the luma of the recipe's last mix step

    switch (mood) {
    case 0:
        return in;
    case 50: {
        const V y = L709(c);
        const V lo = (S(1) - smoothstep(S(0.2), S(0.7), y)) * S(0.5);
        c = {c.r + S(-0.3) * lo, c.g + S(0.1) * lo, c.b + S(0.3) * lo};
        const V hi = smoothstep(S(0.3), S(0.8), y) * S(0.5);
        c = {c.r + S(0.3) * hi, c.g + S(0.1) * hi, c.b + S(-0.2) * hi};
        const Rgb<V> curved{recipe::curveOf(c.r), recipe::curveOf(c.g), recipe::curveOf(c.b)};
        return clamp01v(mixRgb(c, curved, S(0.3)));
    }
    case 51: {
        const Hsl<V> hsl = rgb2hsl(c);
        V h = hsl.h;
        // Two-sided tests as one comparison of a value that fails or passes the second test for
        // lanes that the first decides (same outcome, NaN included): GCC turns a vector & or |
        // of two comparisons on 16 lanes into work lane by lane.
        const V one = lanes::splat<V>(S(1));
        h = select(select(h < S(0.055), one, h) > S(0.94), lerpAngle(h, S(0.07), S(0.5)), h);
        h = select(select(h > S(0.19), h, one) < S(0.44), lerpAngle(h, S(0.16), S(0.3)), h);
        const V l = hsl.l * S(0.95) + S(0.02);
        const V s = hsl.s * (S(1.1) + lanes::vsin(l * S(3.14)) * S(0.1));
        return hsl2rgb(h, s, l);
    }
    case 52: {
        const V y = L601(c);
        const V v = (y * S(0.9) + S(0.1) - S(0.5)) * S(1.1) + S(0.5);
        return {v, v, v};
    }
    case 1:
        recipe::scale(c, in, S(0.97), S(1.02), S(1.03));
        recipe::mult(c, S(0.95), S(1), S(1));
        break;
    case 2:
        recipe::lin(c, S(1.05), S(0.01));
        recipe::curve(c);
        recipe::mixL709(c, m, S(1.15));
        recipe::mult(c, S(1.02), S(1), S(0.98));
        break;
    case 3:
        recipe::scale(c, in, S(1.08), S(1.03), S(0.92));
        c.r = select(r < S(0.6), c.r + S(0.02), c.r);
        c.g = select(g < S(0.6), c.g + S(0.01), c.g);
        break;
    case 4:
        c = {r * S(1.05) + S(0.04), g * S(1.03), b * S(0.95)};
        c.r = powClamped1(c.r, S(0.97));
        c.b = powClamped1(c.b, S(1.02));
        break;
    case 5: recipe::scaleMixL601(c, in, m, S(0.95), S(0.97), S(1.02), S(0.92)); break;
    case 6:
        recipe::scaleMixL601(c, in, m, S(1.04), S(1.05), S(1.06), S(1.14));
        // 0.3 < r < 0.7 as one comparison (see case 51).
        c.r = select(select(r < S(0.7), r, lanes::splat<V>(S(0))) > S(0.3), r * S(1.08), c.r);
        break;
    case 7:
        recipe::scale(c, in, S(1.1), S(1.06), S(0.96));
        c.r = powClamped1(c.r, S(0.94));
        c.g = powClamped1(c.g, S(0.96));
        c.r = select(r > S(0.6), r * S(1.05), c.r);
        break;
    case 8:
        recipe::lin(c, S(0.98), S(0.03));
        c = powClamped(c, S(1.08), S(1.07), S(1.06));
        recipe::mixL601(c, m, S(0.93));
        break;
    case 9: recipe::scaleMixL601(c, in, m, S(1.06), S(1.05), S(0.98), S(1.12)); break;
    case 10:
        c = {r * S(1.05) - S(0.01), g * S(1.03), b * S(0.95)};
        recipe::mixL601(c, m, S(0.95));
        break;
    case 11:
        recipe::lin(c, S(0.98), S(0.05));
        recipe::mixL709(c, m, S(0.75));
        recipe::mult(c, S(1.05), S(0.95), S(1.01));
        break;
    case 12:
        recipe::scaleMixL601(c, in, m, S(1.02), S(1.03), S(1.04), S(1.08));
        c = powClamped(c, S(1.02), S(1.02), S(1.02));
        recipe::lin(c, S(0.98), S(0.02));
        return clampPowered(c);
    case 13: recipe::scale(c, in, S(1.04), S(1.01), S(0.96)); recipe::soft(c, S(0.1)); break;
    case 14: recipe::scale(c, in, S(1.05), S(1.02), S(0.95)); recipe::soft(c, S(0.15)); break;
    case 15:
        recipe::scaleMixL601(c, in, m, S(1.05), S(1.08), S(1.1), S(1.15));
        c.b = powClamped1(c.b, S(0.97));
        break;
    case 16:
        recipe::scale(c, in, S(1.05), S(1.03), S(0.97));
        c.r = select(b < S(0.5), c.r + S(0.03) * (S(1) - b), c.r);
        c = powClamped(c, S(0.99), S(0.99), S(0.99));
        return clampPowered(c);
    case 17:
        m = S(0.25) * r + S(0.6) * g + S(0.15) * b;
        c = mixToward(m, c, S(0.65));
        recipe::contrast(c, S(1.15));
        recipe::lin(c, S(1), S(0.01));
        break;
    case 18: recipe::scaleMixL601(c, in, m, S(1.08), S(0.95), S(0.9), S(0.8)); break;
    case 19:
        recipe::scale(c, in, S(1.04), S(1.03), S(0.95));
        c.r = select(r < S(0.6), c.r + S(0.02), c.r);
        c = powClamped(c, S(1.03), S(1.03), S(1.03));
        return clampPowered(c);
    case 20: {
        recipe::scale(c, in, S(0.9), S(1.02), S(1.1));
        const V y = L709(c);
        const V k = S(1) - smoothstep(S(0), S(0.5), y);
        c.g = c.g + S(0.1) * k;
        c.b = c.b + S(0.15) * k;
        c = powClamped(c, S(0.95), S(0.95), S(0.95));
        return clampPowered(c);
    }
    case 21:
        recipe::scaleMixL601(c, in, m, S(1.08), S(1.05), S(1.03), S(1.15));
        c = powClamped(c, S(0.95), S(1.0), S(1.05));
        return clampPowered(c);
    case 22:
        recipe::scale(c, in, S(1.03), S(1.03), S(1.03));
        recipe::contrast(c, S(1.1));
        recipe::mixL601(c, m, S(1.08));
        break;
    case 23:
        recipe::lin(c, S(1.03), S(0.03));
        recipe::mixL601(c, m, S(0.85));
        c = powClamped(c, S(1.03), S(1.03), S(1.03));
        return clampPowered(c);
    case 24:
        recipe::scale(c, in, S(1.08), S(1.06), S(1.04));
        c.r = powClamped1(c.r, S(0.96));
        recipe::mixL601(c, m, S(1.18));
        break;
    case 25:
        recipe::scale(c, in, S(1.1), S(1.08), S(1.06));
        c.r = powClamped1(c.r, S(0.94));
        recipe::mixL601(c, m, S(1.22));
        break;
    case 26: recipe::scale(c, in, S(1.05), S(0.99), S(0.97)); recipe::soft(c, S(0.4)); break;
    case 27: {
        recipe::curve(c);
        recipe::lin(c, S(1.1), S(0.05));
        m = L601(c);
        c = {m + (c.r - m) * S(1.2), m + (c.g - m) * S(1.2), m + (c.b - m) * S(1.2)};
        const V cg = c.g;
        c.r = c.r * S(1.02) - cg * S(0.02);
        c.b = c.b * S(1.02) - cg * S(0.02);
        break;
    }
    case 28:
        recipe::scale(c, in, S(1.05), S(1.06), S(1.07));
        c = powClamped(c, S(0.97), S(0.97), S(0.97));
        return clampPowered(c);
    case 29:
        recipe::scale(c, in, S(1.12), S(1.08), S(0.94));
        c.r = powClamped1(c.r, S(0.92));
        break;
    case 30: recipe::scaleMixL601(c, in, m, S(1.06), S(1.07), S(1.05), S(1.18)); break;
    case 31:
        recipe::scaleMixL601(c, in, m, S(1.08), S(1.06), S(1.04), S(1.2));
        recipe::contrast(c, S(1.05));
        break;
    case 32: recipe::scaleMixL601(c, in, m, S(1.02), S(1.03), S(1.04), S(1.08)); break;
    case 33:
        recipe::scale(c, in, S(1.04), S(1.02), S(0.99));
        c = powClamped(c, S(0.98), S(0.98), S(0.98));
        return clampPowered(c);
    case 34:
        recipe::scaleMixL601(c, in, m, S(1.00), S(1.01), S(1.01), S(1.02));
        c = powClamped(c, S(1.01), S(1.01), S(1.01));
        return clampPowered(c);
    case 35:
        recipe::scaleMixSpreadL601(c, in, m, S(1.03), S(1.01), S(0.99), S(1.04), S(1.04), S(1.03), S(1.02));
        c = powClamped(c, S(1.01), S(1.02), S(1.03));
        return clampPowered(c);
    case 36:
        recipe::scaleMixSpreadL601(c, in, m, S(1.08), S(1.02), S(0.96), S(1.12), S(1.12), S(1.08), S(1.05));
        c = powClamped(c, S(1.05), S(1.03), S(1.02));
        c.r = c.r * S(0.98) + S(0.02);
        c.g = c.g * S(0.98) + S(0.01);
        return clampPowered(c);
    case 37:
        recipe::scaleMixSpreadL601(c, in, m, S(1.01), S(1.02), S(1.03), S(1.08), S(1.08), S(1.10), S(1.12));
        c = powClamped(c, S(1.02), S(1.02), S(1.03));
        return clampPowered(c);
    case 38:
        recipe::scaleMixSpreadL601(c, in, m, S(1.02), S(1.04), S(1.05), S(1.15), S(1.15), S(1.18), S(1.20));
        c = powClamped(c, S(1.01), S(1.01), S(1.02));
        return clampPowered(c);
    case 39:
        recipe::scaleMixSpreadL601(c, in, m, S(1.02), S(1.03), S(1.00), S(1.06), S(1.06), S(1.08), S(1.04));
        c = powClamped(c, S(0.98), S(0.98), S(1.00));
        return clampPowered(c);
    case 40:
        recipe::scaleMixSpreadL601(c, in, m, S(1.00), S(1.02), S(1.01), S(1.04), S(1.04), S(1.06), S(1.05));
        c = powClamped(c, S(0.96), S(0.96), S(0.97));
        c = {c.r * S(0.95) + m * S(0.05), c.g * S(0.95) + m * S(0.05), c.b * S(0.95) + m * S(0.05)};
        break;
    case 41:
        recipe::scale(c, in, S(1.05), S(1.02), S(0.98));
        m = L601(c);
        recipe::spread(c, m, S(1.14), S(1.12), S(1.08));
        c = powClamped(c, S(1.03), S(1.02), S(1.00));
        return clampPowered(c);
    case 42:
        recipe::scale(c, in, S(1.10), S(1.03), S(0.92));
        m = L601(c);
        recipe::spread(c, m, S(1.15), S(1.10), S(1.08));
        c.r = select(c.r > S(0.7), S(0.7) + (c.r - S(0.7)) * S(1.3), c.r);
        c.g = select(c.g > S(0.7), S(0.7) + (c.g - S(0.7)) * S(1.2), c.g);
        c.b = select(c.b > S(0.7), S(0.7) + (c.b - S(0.7)) * S(1.1), c.b);
        c = powClamped(c, S(1.02), S(1.03), S(1.05));
        return clampPowered(c);
    case 43:
        recipe::scale(c, in, S(1.02), S(1.04), S(1.06));
        m = L601(c);
        recipe::spread(c, m, S(1.16), S(1.18), S(1.20));
        c = powClamped(c, S(1.01), S(1.01), S(1.02));
        return clampPowered(c);
    default:
        break;
    }
    return clamp01v(c);
}

// The six mood sliders, one function each (in their fixed order below); each applies only when
// its value passes the threshold tested by applyMoodControlsImpl.
template <class V>
VELMORA_LANES_INLINE Rgb<V> moodContrastStep(const Rgb<V>& c, Scalar<V> moodContrast)
{
    using S = Scalar<V>;
    const S k = S(1) + moodContrast * S(0.6);
    return clampBelowZero(Rgb<V>{(c.r - S(0.5)) * k + S(0.5), (c.g - S(0.5)) * k + S(0.5),
                                 (c.b - S(0.5)) * k + S(0.5)});
}

template <class V>
VELMORA_LANES_INLINE Rgb<V> moodSaturationStep(const Rgb<V>& c, Scalar<V> moodSaturation)
{
    using S = Scalar<V>;
    const V y = L709(c);
    return clampBelowZero(mixToward(y, c, S(1) + moodSaturation));
}

template <class V>
VELMORA_LANES_INLINE Rgb<V> moodTealOrangeStep(const Rgb<V>& in, Scalar<V> moodTealOrange)
{
    using S = Scalar<V>;
    const V y = L709(in);
    const S amt = clampT<S>(moodTealOrange, S(-1), S(1)) * S(0.25);
    const V lo = amt * (S(1) - smoothstep(S(0.2), S(0.7), y)) * S(0.6);
    Rgb<V> c{in.r + S(-0.3) * lo, in.g + S(0.1) * lo, in.b + S(0.3) * lo};
    const V hi = amt * smoothstep(S(0.3), S(0.8), y) * S(0.6);
    c = {c.r + S(0.3) * hi, c.g + S(0.1) * hi, c.b + S(-0.2) * hi};
    return clamp01v(c);
}

template <class V>
VELMORA_LANES_INLINE Rgb<V> moodShadowLiftStep(const Rgb<V>& c, Scalar<V> moodShadowLift)
{
    using S = Scalar<V>;
    const V y = L709(c);
    const V k = S(1) - smoothstep(S(0.02), S(0.55), y);
    const V lift = moodShadowLift * S(0.12) * k;
    return clampBelowZero(Rgb<V>{c.r + lift, c.g + lift, c.b + lift});
}

template <class V>
VELMORA_LANES_INLINE Rgb<V> moodRolloffStep(const Rgb<V>& c, Scalar<V> moodHighlightRolloff)
{
    using S = Scalar<V>;
    const S a = clampT<S>(moodHighlightRolloff, S(0), S(1));
    const S knee = mix(S(0.92), S(0.65), a);
    const V L = L709(c);
    const V t = L - knee;
    const V L2 = knee + lanes::vdiv(t, S(1) + t * (S(2) + S(10) * a));
    // L above the knee and above 1e-6 as one comparison (see case 51 of applyMoodImpl).
    const V k = select(L > std::fmax(knee, S(0.000001)), lanes::vdiv(L2, L), lanes::splat<V>(S(1)));
    return clamp01v(scaled(c, k));
}

// Which slider steps a set of slider values runs (the thresholds of the controls).
struct MoodSliderSteps {
    bool contrast = false;
    bool saturation = false;
    bool warmth = false;
    bool tealOrange = false;
    bool shadowLift = false;
    bool rolloff = false;

    template <class S>
    MoodSliderSteps(S moodContrast, S moodSaturation, S moodWarmth, S moodTealOrange,
                    S moodShadowLift, S moodHighlightRolloff)
        : contrast(std::fabs(moodContrast) > S(0.0005)), saturation(std::fabs(moodSaturation) > S(0.0005)),
          warmth(std::fabs(moodWarmth) > S(0.0005)), tealOrange(std::fabs(moodTealOrange) > S(0.0005)),
          shadowLift(std::fabs(moodShadowLift) > S(0.0005)), rolloff(moodHighlightRolloff > S(0.0005))
    {
    }
};

// The six mood sliders, in their fixed order, on the mooded colour.
template <class V>
VELMORA_LANES_INLINE Rgb<V> applyMoodControlsImpl(const Rgb<V>& in, Scalar<V> moodContrast,
                                                  Scalar<V> moodSaturation, Scalar<V> moodWarmth,
                                                  Scalar<V> moodTealOrange, Scalar<V> moodShadowLift,
                                                  Scalar<V> moodHighlightRolloff)
{
    using S = Scalar<V>;
    const MoodSliderSteps steps(moodContrast, moodSaturation, moodWarmth, moodTealOrange,
                                moodShadowLift, moodHighlightRolloff);
    Rgb<V> c = in;
    if (steps.contrast) {
        c = moodContrastStep(c, moodContrast);
    }
    if (steps.saturation) {
        c = moodSaturationStep(c, moodSaturation);
    }
    if (steps.warmth) {
        c = applyTempTintColor(c, moodWarmth, S(0));
    }
    if (steps.tealOrange) {
        c = moodTealOrangeStep(c, moodTealOrange);
    }
    if (steps.shadowLift) {
        c = moodShadowLiftStep(c, moodShadowLift);
    }
    if (steps.rolloff) {
        c = moodRolloffStep(c, moodHighlightRolloff);
    }
    return clamp01v(c);
}

} // namespace velmora::grademath

#pragma GCC diagnostic pop
