#pragma once

#include <cmath>

#include "grading/GradeMath.h"

// The mood looks: recipe per mood number, the six mood sliders, and the HSL helpers of the
// "kodak_vision" look. Templates on the precision: the mood kernel runs them in float, the
// fallback cube builder in double (same constants, branch order and clamps).
namespace velmora::grademath {

template <class T>
inline T lerpAngle(T a, T b, T t)
{
    T d = b - a;
    if (d > T(0.5)) {
        d = d - T(1);
    }
    if (d < T(-0.5)) {
        d = d + T(1);
    }
    return a + d * t;
}

template <class T>
struct Hsl {
    T h;
    T s;
    T l;
};

template <class T>
inline Hsl<T> rgb2hsl(const Rgb<T>& c)
{
    const T mx = std::fmax(c.r, std::fmax(c.g, c.b));
    const T mn = std::fmin(c.r, std::fmin(c.g, c.b));
    const T l = (mx + mn) / T(2);
    const T d = mx - mn;
    T h = T(0);
    T s = T(0);
    if (d > T(0.000001)) {
        s = d / (T(1) - std::fabs(T(2) * l - T(1)));
        if (mx == c.r) {
            h = (c.g - c.b) / d + (c.g < c.b ? T(6) : T(0));
        } else if (mx == c.g) {
            h = (c.b - c.r) / d + T(2);
        } else {
            h = (c.r - c.g) / d + T(4);
        }
        h = h / T(6);
    }
    return {h, s, l};
}

template <class T>
inline T hue2rgb(T p, T q, T t)
{
    if (t < T(0)) {
        t = t + T(1);
    }
    if (t > T(1)) {
        t = t - T(1);
    }
    if (t < T(1) / T(6)) {
        return p + (q - p) * T(6) * t;
    }
    if (t < T(1) / T(2)) {
        return q;
    }
    if (t < T(2) / T(3)) {
        return p + (q - p) * (T(2) / T(3) - t) * T(6);
    }
    return p;
}

template <class T>
inline Rgb<T> hsl2rgb(T h, T s, T l)
{
    if (s < T(0.000001)) {
        return {l, l, l};
    }
    const T q = l < T(0.5) ? l * (T(1) + s) : l + s - l * s;
    const T p = T(2) * l - q;
    return {hue2rgb(p, q, h + T(1) / T(3)), hue2rgb(p, q, h), hue2rgb(p, q, h - T(1) / T(3))};
}

// The look of mood number `mood` (already rounded to a whole number) on colour `in`.
template <class T>
inline Rgb<T> applyMoodImpl(const Rgb<T>& in, int mood)
{
    const T r = in.r;
    const T g = in.g;
    const T b = in.b;
    Rgb<T> c = in;
    T m = T(0); // the luma of the recipe's last mix step

    // Recipe steps (see the mood table): each acts on the current c.
    auto scale = [&](T x, T y, T z) { c = {r * x, g * y, b * z}; };
    auto mult = [&](T x, T y, T z) { c = {c.r * x, c.g * y, c.b * z}; };
    auto lin = [&](T k, T o) { c = {c.r * k + o, c.g * k + o, c.b * k + o}; };
    auto mixL601 = [&](T k) {
        m = L601(c);
        c = mix(m, c, k);
    };
    auto mixL709 = [&](T k) {
        m = L709(c);
        c = mix(m, c, k);
    };
    auto spread = [&](T x, T y, T z) { c = {m + (c.r - m) * x, m + (c.g - m) * y, m + (c.b - m) * z}; };
    auto powAll = [&](T e) { c = powClamped(c, e, e, e); };
    auto pow3 = [&](T x, T y, T z) { c = powClamped(c, x, y, z); };
    auto curve = [&] {
        c = {c.r * c.r * (T(3) - T(2) * c.r), c.g * c.g * (T(3) - T(2) * c.g),
             c.b * c.b * (T(3) - T(2) * c.b)};
    };
    auto contrast = [&](T k) {
        c = {(c.r - T(0.5)) * k + T(0.5), (c.g - T(0.5)) * k + T(0.5), (c.b - T(0.5)) * k + T(0.5)};
    };
    auto soft = [&](T k) {
        c = {c.r * ((T(1) + k) - k * c.r), c.g * ((T(1) + k) - k * c.g), c.b * ((T(1) + k) - k * c.b)};
    };

    switch (mood) {
    case 0:
        return in;
    case 50: {
        const T y = L709(c);
        const T lo = (T(1) - smoothstep(T(0.2), T(0.7), y)) * T(0.5);
        c = {c.r + T(-0.3) * lo, c.g + T(0.1) * lo, c.b + T(0.3) * lo};
        const T hi = smoothstep(T(0.3), T(0.8), y) * T(0.5);
        c = {c.r + T(0.3) * hi, c.g + T(0.1) * hi, c.b + T(-0.2) * hi};
        const Rgb<T> s{c.r * c.r * (T(3) - T(2) * c.r), c.g * c.g * (T(3) - T(2) * c.g),
                       c.b * c.b * (T(3) - T(2) * c.b)};
        return clamp01v(mix(c, s, T(0.3)));
    }
    case 51: {
        Hsl<T> hsl = rgb2hsl(c);
        T h = hsl.h;
        if (h < T(0.055) || h > T(0.94)) {
            h = lerpAngle(h, T(0.07), T(0.5));
        }
        if (h > T(0.19) && h < T(0.44)) {
            h = lerpAngle(h, T(0.16), T(0.3));
        }
        const T l = hsl.l * T(0.95) + T(0.02);
        const T s = hsl.s * (T(1.1) + sinT(l * T(3.14)) * T(0.1));
        return hsl2rgb(h, s, l);
    }
    case 52: {
        const T y = L601(c);
        const T v = (y * T(0.9) + T(0.1) - T(0.5)) * T(1.1) + T(0.5);
        return {v, v, v};
    }
    case 1: scale(T(0.97), T(1.02), T(1.03)); mult(T(0.95), T(1), T(1)); break;
    case 2: lin(T(1.05), T(0.01)); curve(); mixL709(T(1.15)); mult(T(1.02), T(1), T(0.98)); break;
    case 3:
        scale(T(1.08), T(1.03), T(0.92));
        if (r < T(0.6)) c.r = c.r + T(0.02);
        if (g < T(0.6)) c.g = c.g + T(0.01);
        break;
    case 4:
        c = {r * T(1.05) + T(0.04), g * T(1.03), b * T(0.95)};
        c.r = powClamped1(c.r, T(0.97));
        c.b = powClamped1(c.b, T(1.02));
        break;
    case 5: scale(T(0.95), T(0.97), T(1.02)); mixL601(T(0.92)); break;
    case 6:
        scale(T(1.04), T(1.05), T(1.06)); mixL601(T(1.14));
        if (r > T(0.3) && r < T(0.7)) c.r = r * T(1.08);
        break;
    case 7:
        scale(T(1.1), T(1.06), T(0.96));
        c.r = powClamped1(c.r, T(0.94));
        c.g = powClamped1(c.g, T(0.96));
        if (r > T(0.6)) c.r = r * T(1.05);
        break;
    case 8: lin(T(0.98), T(0.03)); pow3(T(1.08), T(1.07), T(1.06)); mixL601(T(0.93)); break;
    case 9: scale(T(1.06), T(1.05), T(0.98)); mixL601(T(1.12)); break;
    case 10: c = {r * T(1.05) - T(0.01), g * T(1.03), b * T(0.95)}; mixL601(T(0.95)); break;
    case 11: lin(T(0.98), T(0.05)); mixL709(T(0.75)); mult(T(1.05), T(0.95), T(1.01)); break;
    case 12: scale(T(1.02), T(1.03), T(1.04)); mixL601(T(1.08)); powAll(T(1.02)); lin(T(0.98), T(0.02)); break;
    case 13: scale(T(1.04), T(1.01), T(0.96)); soft(T(0.1)); break;
    case 14: scale(T(1.05), T(1.02), T(0.95)); soft(T(0.15)); break;
    case 15: scale(T(1.05), T(1.08), T(1.1)); mixL601(T(1.15)); c.b = powClamped1(c.b, T(0.97)); break;
    case 16:
        scale(T(1.05), T(1.03), T(0.97));
        if (b < T(0.5)) c.r = c.r + T(0.03) * (T(1) - b);
        powAll(T(0.99));
        break;
    case 17:
        m = T(0.25) * r + T(0.6) * g + T(0.15) * b;
        c = mix(m, c, T(0.65));
        contrast(T(1.15));
        lin(T(1), T(0.01));
        break;
    case 18: scale(T(1.08), T(0.95), T(0.9)); mixL601(T(0.8)); break;
    case 19:
        scale(T(1.04), T(1.03), T(0.95));
        if (r < T(0.6)) c.r = c.r + T(0.02);
        powAll(T(1.03));
        break;
    case 20: {
        scale(T(0.9), T(1.02), T(1.1));
        const T y = L709(c);
        const T k = T(1) - smoothstep(T(0), T(0.5), y);
        c.g = c.g + T(0.1) * k;
        c.b = c.b + T(0.15) * k;
        powAll(T(0.95));
        break;
    }
    case 21: scale(T(1.08), T(1.05), T(1.03)); mixL601(T(1.15)); pow3(T(0.95), T(1.0), T(1.05)); break;
    case 22: scale(T(1.03), T(1.03), T(1.03)); contrast(T(1.1)); mixL601(T(1.08)); break;
    case 23: lin(T(1.03), T(0.03)); mixL601(T(0.85)); powAll(T(1.03)); break;
    case 24: scale(T(1.08), T(1.06), T(1.04)); c.r = powClamped1(c.r, T(0.96)); mixL601(T(1.18)); break;
    case 25: scale(T(1.1), T(1.08), T(1.06)); c.r = powClamped1(c.r, T(0.94)); mixL601(T(1.22)); break;
    case 26: scale(T(1.05), T(0.99), T(0.97)); soft(T(0.4)); break;
    case 27: {
        curve();
        lin(T(1.1), T(0.05));
        m = L601(c);
        c = {m + (c.r - m) * T(1.2), m + (c.g - m) * T(1.2), m + (c.b - m) * T(1.2)};
        const T cg = c.g;
        c.r = c.r * T(1.02) - cg * T(0.02);
        c.b = c.b * T(1.02) - cg * T(0.02);
        break;
    }
    case 28: scale(T(1.05), T(1.06), T(1.07)); powAll(T(0.97)); break;
    case 29: scale(T(1.12), T(1.08), T(0.94)); c.r = powClamped1(c.r, T(0.92)); break;
    case 30: scale(T(1.06), T(1.07), T(1.05)); mixL601(T(1.18)); break;
    case 31: scale(T(1.08), T(1.06), T(1.04)); mixL601(T(1.2)); contrast(T(1.05)); break;
    case 32: scale(T(1.02), T(1.03), T(1.04)); mixL601(T(1.08)); break;
    case 33: scale(T(1.04), T(1.02), T(0.99)); powAll(T(0.98)); break;
    case 34: scale(T(1.00), T(1.01), T(1.01)); mixL601(T(1.02)); powAll(T(1.01)); break;
    case 35:
        scale(T(1.03), T(1.01), T(0.99)); mixL601(T(1.04));
        spread(T(1.04), T(1.03), T(1.02)); pow3(T(1.01), T(1.02), T(1.03));
        break;
    case 36:
        scale(T(1.08), T(1.02), T(0.96)); mixL601(T(1.12));
        spread(T(1.12), T(1.08), T(1.05)); pow3(T(1.05), T(1.03), T(1.02));
        c.r = c.r * T(0.98) + T(0.02);
        c.g = c.g * T(0.98) + T(0.01);
        break;
    case 37:
        scale(T(1.01), T(1.02), T(1.03)); mixL601(T(1.08));
        spread(T(1.08), T(1.10), T(1.12)); pow3(T(1.02), T(1.02), T(1.03));
        break;
    case 38:
        scale(T(1.02), T(1.04), T(1.05)); mixL601(T(1.15));
        spread(T(1.15), T(1.18), T(1.20)); pow3(T(1.01), T(1.01), T(1.02));
        break;
    case 39:
        scale(T(1.02), T(1.03), T(1.00)); mixL601(T(1.06));
        spread(T(1.06), T(1.08), T(1.04)); pow3(T(0.98), T(0.98), T(1.00));
        break;
    case 40:
        scale(T(1.00), T(1.02), T(1.01)); mixL601(T(1.04));
        spread(T(1.04), T(1.06), T(1.05)); pow3(T(0.96), T(0.96), T(0.97));
        c = {c.r * T(0.95) + m * T(0.05), c.g * T(0.95) + m * T(0.05), c.b * T(0.95) + m * T(0.05)};
        break;
    case 41:
        scale(T(1.05), T(1.02), T(0.98));
        m = L601(c);
        spread(T(1.14), T(1.12), T(1.08)); pow3(T(1.03), T(1.02), T(1.00));
        break;
    case 42:
        scale(T(1.10), T(1.03), T(0.92));
        m = L601(c);
        spread(T(1.15), T(1.10), T(1.08));
        if (c.r > T(0.7)) c.r = T(0.7) + (c.r - T(0.7)) * T(1.3);
        if (c.g > T(0.7)) c.g = T(0.7) + (c.g - T(0.7)) * T(1.2);
        if (c.b > T(0.7)) c.b = T(0.7) + (c.b - T(0.7)) * T(1.1);
        pow3(T(1.02), T(1.03), T(1.05));
        break;
    case 43:
        scale(T(1.02), T(1.04), T(1.06));
        m = L601(c);
        spread(T(1.16), T(1.18), T(1.20)); pow3(T(1.01), T(1.01), T(1.02));
        break;
    default:
        break;
    }
    return clamp01v(c);
}

// The six mood sliders, in their fixed order, on the mooded colour.
template <class T>
inline Rgb<T> applyMoodControlsImpl(Rgb<T> c, T moodContrast, T moodSaturation, T moodWarmth,
                                    T moodTealOrange, T moodShadowLift, T moodHighlightRolloff)
{
    if (std::fabs(moodContrast) > T(0.0005)) {
        const T k = T(1) + moodContrast * T(0.6);
        c = clampBelowZero(Rgb<T>{(c.r - T(0.5)) * k + T(0.5), (c.g - T(0.5)) * k + T(0.5),
                                  (c.b - T(0.5)) * k + T(0.5)});
    }
    if (std::fabs(moodSaturation) > T(0.0005)) {
        const T y = L709(c);
        c = clampBelowZero(mix(y, c, T(1) + moodSaturation));
    }
    if (std::fabs(moodWarmth) > T(0.0005)) {
        c = applyTempTintColor(c, moodWarmth, T(0));
    }
    if (std::fabs(moodTealOrange) > T(0.0005)) {
        const T y = L709(c);
        const T amt = clampT(moodTealOrange, T(-1), T(1)) * T(0.25);
        const T lo = amt * (T(1) - smoothstep(T(0.2), T(0.7), y)) * T(0.6);
        c = {c.r + T(-0.3) * lo, c.g + T(0.1) * lo, c.b + T(0.3) * lo};
        const T hi = amt * smoothstep(T(0.3), T(0.8), y) * T(0.6);
        c = {c.r + T(0.3) * hi, c.g + T(0.1) * hi, c.b + T(-0.2) * hi};
        c = clamp01v(c);
    }
    if (std::fabs(moodShadowLift) > T(0.0005)) {
        const T y = L709(c);
        const T k = T(1) - smoothstep(T(0.02), T(0.55), y);
        const T lift = moodShadowLift * T(0.12) * k;
        c = clampBelowZero(Rgb<T>{c.r + lift, c.g + lift, c.b + lift});
    }
    if (moodHighlightRolloff > T(0.0005)) {
        const T a = clampT(moodHighlightRolloff, T(0), T(1));
        const T knee = mix(T(0.92), T(0.65), a);
        const T L = L709(c);
        if (L > knee) {
            const T t = L - knee;
            const T L2 = knee + t / (T(1) + t * (T(2) + T(10) * a));
            if (L > T(0.000001)) {
                c = scaled(c, L2 / L);
            }
        }
        c = clamp01v(c);
    }
    return clamp01v(c);
}

} // namespace velmora::grademath
