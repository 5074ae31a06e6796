#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

// Vector power, logarithm and exponential for the per-pixel colour steps: four lanes at once
// with SSE2 (the baseline of every x86-64 machine), branch-free, within a few units in the last
// place of the C library's float functions over the range pixels take. The colour steps call
// these instead of std::pow, which is scalar and several times slower per component.
namespace velmora::fastmath {

typedef float v4sf __attribute__((vector_size(16)));
typedef std::int32_t v4si __attribute__((vector_size(16)));

inline v4sf splat(float x)
{
    return v4sf{x, x, x, x};
}

inline v4si asInt(v4sf v)
{
    v4si i;
    std::memcpy(&i, &v, sizeof i);
    return i;
}

inline v4sf asFloat(v4si i)
{
    v4sf v;
    std::memcpy(&v, &i, sizeof v);
    return v;
}

// log2 of positive normal numbers. Other inputs give unspecified finite values; callers mask them.
inline v4sf log2Positive(v4sf x)
{
    const v4si bits = asInt(x);
    v4si e = ((bits >> 23) & 0xff) - 127;
    v4sf m = asFloat((bits & 0x007fffff) | 0x3f800000); // [1, 2)
    // Centre the mantissa on 1 so that t stays small: m in [sqrt(1/2), sqrt(2)).
    const v4si big = m > splat(1.41421356f);
    m = big ? m * 0.5f : m;
    e = e - big; // `big` lanes are -1
    const v4sf t = (m - 1.0f) / (m + 1.0f);
    const v4sf t2 = t * t;
    // 2/ln2 * atanh(t) series: |t| <= 0.1716, the next term is below 1e-9.
    v4sf poly = splat(2.0f / 9.0f);
    poly = poly * t2 + 2.0f / 7.0f;
    poly = poly * t2 + 2.0f / 5.0f;
    poly = poly * t2 + 2.0f / 3.0f;
    poly = poly * t2 + 2.0f;
    const v4sf lnm = poly * t;
    return __builtin_convertvector(e, v4sf) + lnm * 1.44269504088896341f;
}

// 2^y; below -126 gives 0, at or above 128 gives +inf, NaN gives NaN.
inline v4sf exp2(v4sf y)
{
    const v4si nan = y != y;
    const v4si under = y < splat(-126.0f);
    const v4si over = y >= splat(128.0f);
    v4sf yc = y > splat(-126.0f) ? y : splat(-126.0f);
    yc = yc < splat(127.0f) ? yc : splat(127.0f);
    // Round to nearest by the 1.5 * 2^23 trick, exact for |yc| <= 127.
    const v4sf shifter = splat(12582912.0f);
    const v4sf rounded = (yc + shifter) - shifter;
    const v4sf f = yc - rounded; // [-0.5, 0.5]
    const v4si n = __builtin_convertvector(rounded, v4si);
    // e^(f ln2), degree 7: truncation error below 6e-9 relative.
    const v4sf z = f * 0.693147180559945309f;
    v4sf p = splat(1.0f / 5040.0f);
    p = p * z + 1.0f / 720.0f;
    p = p * z + 1.0f / 120.0f;
    p = p * z + 1.0f / 24.0f;
    p = p * z + 1.0f / 6.0f;
    p = p * z + 0.5f;
    p = p * z + 1.0f;
    p = p * z + 1.0f;
    const v4sf scale = asFloat((n + 127) << 23);
    v4sf r = p * scale;
    r = under ? splat(0.0f) : r;
    r = over ? splat(std::numeric_limits<float>::infinity()) : r;
    return nan ? y : r;
}

// x^p per lane with the C library's results for the cases pixels meet: x > 0 normal;
// x = 0 (and subnormal x) gives 0 for p > 0, 1 for p = 0, +inf for p < 0; x < 0 gives NaN unless
// p = 0; x = +inf gives +inf for p > 0, 0 for p < 0; NaN x gives NaN (1 when p = 0).
inline v4sf pow(v4sf x, v4sf p)
{
    const v4sf inf = splat(std::numeric_limits<float>::infinity());
    const v4sf minNormal = splat(std::numeric_limits<float>::min());
    const v4sf general = exp2(p * log2Positive(x));
    v4sf r = general;
    const v4si tiny = (x < minNormal) & (x >= splat(0.0f));
    const v4sf atZero = p > splat(0.0f) ? splat(0.0f) : inf;
    r = tiny ? atZero : r;
    r = x == inf ? (p > splat(0.0f) ? inf : splat(0.0f)) : r;
    r = x < splat(0.0f) ? splat(std::numeric_limits<float>::quiet_NaN()) : r;
    r = x != x ? x : r;
    return p == splat(0.0f) ? splat(1.0f) : r;
}

// sign(x) * |x|^p per lane (the gamma of negative values); NaN stays NaN.
inline v4sf signedPow(v4sf x, v4sf p)
{
    const v4si negative = x < splat(0.0f);
    const v4sf magnitude = negative ? -x : x;
    const v4sf r = pow(magnitude, p);
    return negative ? -r : r;
}

inline float pow(float x, float p)
{
    return pow(splat(x), splat(p))[0];
}

inline float signedPow(float x, float p)
{
    return signedPow(splat(x), splat(p))[0];
}

} // namespace velmora::fastmath
