#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "platform/image/Lanes.h"

// Lane values of 32 bytes are passed by value only inside code that is inlined into AVX2
// functions, so the note about their calling convention without AVX does not apply.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

// Vector power, logarithm and exponential for the per-pixel colour steps: all lanes at once,
// branch-free, within a few units in the last place of the C library's float functions over the
// range pixels take. The colour steps call these instead of std::pow, which is scalar and several
// times slower per component. Templates over the lane types of Lanes.h (F4, F8).
namespace velmora::fastmath {

using lanes::F4;
using lanes::I4;

template <class VF>
using IntOf = typename lanes::Traits<VF>::Int;

template <class VF>
VELMORA_LANES_INLINE IntOf<VF> asInt(const VF& v)
{
    IntOf<VF> i;
    std::memcpy(&i, &v, sizeof i);
    return i;
}

template <class VF>
VELMORA_LANES_INLINE VF asFloat(const IntOf<VF>& i)
{
    VF v;
    std::memcpy(&v, &i, sizeof v);
    return v;
}

// log2 of positive normal numbers. Other inputs give unspecified finite values; callers mask them.
// The mantissa is centred on 1 and ln(1 + x) is evaluated by the classic single-precision
// minimax polynomial (within about one unit in the last place, no division).
template <class VF>
VELMORA_LANES_INLINE VF log2Positive(const VF& x)
{
    using VI = IntOf<VF>;
    const VI bits = asInt(x);
    VI e = ((bits >> 23) & 0xff) - 127;
    VF m = asFloat<VF>((bits & 0x007fffff) | 0x3f800000); // [1, 2)
    // m in [sqrt(1/2), sqrt(2)) keeps x = m - 1 within +-0.2929.
    const VI big = m > 1.41421356f;
    m = big ? m * 0.5f : m;
    e = e - big; // `big` lanes are -1
    const VF z = m - 1.0f;
    const VF z2 = z * z;
    const VF z4 = z2 * z2;
    // The polynomial in Estrin's form: the same terms with a short dependency chain, which is
    // what limits a chain of colour steps more than the number of operations.
    const VF a0 = 3.3333331174e-1f - 2.4999993993e-1f * z;
    const VF a1 = 2.0000714765e-1f - 1.6668057665e-1f * z;
    const VF a2 = 1.4249322787e-1f - 1.2420140846e-1f * z;
    const VF a3 = 1.1676998740e-1f - 1.1514610310e-1f * z;
    const VF b0 = a0 + a1 * z2;
    const VF b1 = a2 + a3 * z2;
    const VF p = (b0 + b1 * z4) + 7.0376836292e-2f * (z4 * z4);
    const VF ln = z + (z * z2 * p - 0.5f * z2);
    return __builtin_convertvector(e, VF) + ln * 1.44269504088896341f;
}

// 2^y; below -126 gives 0, at or above 128 gives +inf, NaN gives NaN.
template <class VF>
VELMORA_LANES_INLINE VF exp2(const VF& y)
{
    using VI = IntOf<VF>;
    const VI nan = y != y;
    const VI under = y < -126.0f;
    const VI over = y >= 128.0f;
    VF yc = y > -126.0f ? y : lanes::splat<VF>(-126.0f);
    yc = yc < 127.0f ? yc : lanes::splat<VF>(127.0f);
    // Round to nearest by the 1.5 * 2^23 trick, exact for |yc| <= 127.
    const VF rounded = (yc + 12582912.0f) - 12582912.0f;
    const VF f = yc - rounded; // [-0.5, 0.5]
    const VI n = __builtin_convertvector(rounded, VI);
    // 2^f on [-0.5, 0.5] by the classic single-precision minimax polynomial (relative error
    // below 2e-7), in Estrin's form.
    const VF f2 = f * f;
    const VF lo = (1.0f + 6.931472028550421e-1f * f) + (2.402264791363012e-1f + 5.550332471162809e-2f * f) * f2;
    const VF hi = (9.618437357674640e-3f + 1.339887440266574e-3f * f) + 1.535336188319500e-4f * f2;
    const VF p = lo + hi * (f2 * f2);
    const VF scale = asFloat<VF>((n + 127) << 23);
    VF r = p * scale;
    r = under ? lanes::splat<VF>(0.0f) : r;
    r = over ? lanes::splat<VF>(std::numeric_limits<float>::infinity()) : r;
    return nan ? y : r;
}

// x^p per lane with the C library's results for the cases pixels meet: x > 0 normal;
// x = 0 (and subnormal x) gives 0 for p > 0, 1 for p = 0, +inf for p < 0; x < 0 gives NaN unless
// p = 0; x = +inf gives +inf for p > 0, 0 for p < 0; NaN x gives NaN (1 when p = 0).
template <class VF>
VELMORA_LANES_INLINE VF pow(const VF& x, const VF& p)
{
    const VF inf = lanes::splat<VF>(std::numeric_limits<float>::infinity());
    const VF zero = lanes::splat<VF>(0.0f);
    VF r = exp2(p * log2Positive(x));
    const VF atZero = p > 0.0f ? zero : inf;
    // 0 <= x < FLT_MIN as one comparison of a value that fails it for x < 0 and NaN: GCC turns a
    // vector & of two comparisons on 16 lanes into work lane by lane.
    r = (x >= 0.0f ? x : lanes::splat<VF>(1.0f)) < std::numeric_limits<float>::min() ? atZero : r;
    r = x == inf ? (p > 0.0f ? inf : zero) : r;
    r = x < 0.0f ? lanes::splat<VF>(std::numeric_limits<float>::quiet_NaN()) : r;
    r = x != x ? x : r;
    return p == 0.0f ? lanes::splat<VF>(1.0f) : r;
}

// x^p for x >= 0 (or NaN, taken as 0) and p > 0: the case of the colour formulas, which raise
// max(c, 0) to fixed positive exponents. Skips the checks that only other inputs need.
template <class VF>
VELMORA_LANES_INLINE VF powNonNegative(const VF& x, const VF& p)
{
    const VF inf = lanes::splat<VF>(std::numeric_limits<float>::infinity());
    const VF r = exp2(p * log2Positive(x));
    const auto normal = x >= std::numeric_limits<float>::min();
    return x == inf ? inf : (normal ? r : lanes::splat<VF>(0.0f));
}

// sign(x) * |x|^p per lane (the gamma of negative values); NaN stays NaN.
template <class VF>
VELMORA_LANES_INLINE VF signedPow(const VF& x, const VF& p)
{
    const auto negative = x < 0.0f;
    const VF magnitude = negative ? -x : x;
    const VF r = pow(magnitude, p);
    return negative ? -r : r;
}

inline float pow(float x, float p)
{
    return pow(lanes::splat<F4>(x), lanes::splat<F4>(p))[0];
}

inline float signedPow(float x, float p)
{
    return signedPow(lanes::splat<F4>(x), lanes::splat<F4>(p))[0];
}

} // namespace velmora::fastmath

#pragma GCC diagnostic pop
