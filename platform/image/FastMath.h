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
// branch-free, within a few units in the last place over the range pixels take (the tests bound
// them against double precision). The colour steps call these instead of std::pow, which is
// scalar and several times slower per component. Templates over the lane types of Lanes.h.
//
// A power is computed as x^p = x * 2^((p - 1) log2 x): for the exponents of the colour steps,
// all near 1, the exponential's argument stays small, so the rounding of the logarithm and of
// the product barely reaches the result (about 2 units in the last place for x in [2^-16, 4],
// against 17 for 2^(p log2 x)).
//
// On 16 lanes built with GCC, the exponent and mantissa come from vgetexpps/vgetmantps and the
// scaling by 2^n from vscalefps (AVX-512 F, only ever inlined into the AVX-512 loops of
// LaneLoop.h); the other widths and Clang's build take them apart with integer operations. Both
// evaluate the same polynomials on the same reduced arguments.
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

namespace detail {

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define VELMORA_FASTMATH_AVX512_ASM 1
template <class VF>
inline constexpr bool useAvx512 = std::is_same_v<VF, lanes::F16>;

VELMORA_LANES_INLINE lanes::F16 getexp(const lanes::F16& x)
{
    lanes::F16 r;
    asm("vgetexpps %1, %0" : "=v"(r) : "v"(x));
    return r;
}

// The mantissa in [1, 2).
VELMORA_LANES_INLINE lanes::F16 getmant(const lanes::F16& x)
{
    lanes::F16 r;
    asm("vgetmantps $0, %1, %0" : "=v"(r) : "v"(x));
    return r;
}

// y - floor(y), in [0, 1]; 0 for infinities.
VELMORA_LANES_INLINE lanes::F16 fractionAboveFloor(const lanes::F16& y)
{
    lanes::F16 r;
    asm("vreduceps $1, %1, %0" : "=v"(r) : "v"(y));
    return r;
}

// a * 2^floor(b), with the processor's overflow, gradual underflow and NaN rules.
VELMORA_LANES_INLINE lanes::F16 scaleByPowerOfTwo(const lanes::F16& a, const lanes::F16& b)
{
    lanes::F16 r;
    asm("vscalefps %2, %1, %0" : "=v"(r) : "v"(a), "v"(b));
    return r;
}
#else
template <class VF>
inline constexpr bool useAvx512 = false;
#endif

// log2(1 + z) for z in [0, 1]: minimax polynomial of degree 8, absolute error below 4.7e-8
// (plus rounding). Exactly 0 at z = 0.
template <class VF>
VELMORA_LANES_INLINE VF log2OnePlus(const VF& z)
{
    VF q = lanes::splat<VF>(-0.0093091787283393213f);
    q = q * z + 0.052059058570769721f;
    q = q * z - 0.13752143878231328f;
    q = q * z + 0.24186484854158561f;
    q = q * z - 0.34730111679591574f;
    q = q * z + 0.47868370632558151f;
    q = q * z - 0.72116580664085761f;
    q = q * z + 1.4426898812006956f;
    return q * z;
}

// 2^f for f in [0, 1]: minimax polynomial of degree 6, relative error below 3e-9 (plus
// rounding). Exactly 1 at f = 0.
template <class VF>
VELMORA_LANES_INLINE VF exp2Fraction(const VF& f)
{
    VF p = lanes::splat<VF>(0.00021794659542089573f);
    p = p * f + 0.0012414923587432308f;
    p = p * f + 0.0096811694021322593f;
    p = p * f + 0.05548248635753188f;
    p = p * f + 0.24022989854057361f;
    p = p * f + 0.69314700386659466f;
    return p * f + 1.0f;
}

// x = 2^k m with k whole and m in [1, 2), for positive normal finite x.
template <class VF>
VELMORA_LANES_INLINE void split(const VF& x, VF& k, VF& m)
{
#ifdef VELMORA_FASTMATH_AVX512_ASM
    if constexpr (useAvx512<VF>) {
        k = getexp(x);
        m = getmant(x);
        return;
    }
#endif
    const IntOf<VF> bits = asInt(x);
    k = __builtin_convertvector((bits >> 23) - 127, VF);
    m = asFloat<VF>((bits & 0x007fffff) | 0x3f800000);
}

// 2^y for finite or infinite y (NaN unspecified): below -149 gives 0, gradual underflow
// between, +inf from 128 up.
template <class VF>
VELMORA_LANES_INLINE VF exp2Finite(const VF& y)
{
#ifdef VELMORA_FASTMATH_AVX512_ASM
    if constexpr (useAvx512<VF>) {
        return scaleByPowerOfTwo(exp2Fraction(fractionAboveFloor(y)), y);
    }
#endif
    using VI = IntOf<VF>;
    // Beyond these bounds the result is 0 or +inf anyway; within them the conversion is exact.
    const VF yc = lanes::vmin(lanes::vmax(y, lanes::splat<VF>(-151.0f)), lanes::splat<VF>(129.0f));
    const VF whole = lanes::vfloor(yc);
    const VI n = __builtin_convertvector(whole, VI);
    // 2^n as two normal factors, so that one rounding gives gradual underflow or +inf.
    const VI n1 = n >> 1;
    const VF s1 = asFloat<VF>((n1 + 127) << 23);
    const VF s2 = asFloat<VF>((n - n1 + 127) << 23);
    return exp2Fraction(yc - whole) * s1 * s2;
}

// 2^(q log2 x), the core of both powers below, for x >= FLT_MIN (other lanes give unspecified
// values; callers mask them). +inf is taken as the largest float, so that the result stays
// nonzero there. q k and q log2(m) are added, not q (k + log2(m)): the sum would round away bits
// of log2(m) that the product keeps.
template <class VF>
VELMORA_LANES_INLINE VF exp2OfScaledLog2(const VF& x, const VF& q)
{
    VF k;
    VF m;
    split(lanes::vmin(x, lanes::splat<VF>(std::numeric_limits<float>::max())), k, m);
    return exp2Finite(q * k + q * log2OnePlus(m - 1.0f));
}

} // namespace detail

// log2 of positive normal finite numbers, with an absolute error below 2e-7 plus half a unit in
// the last place of the result (the measure that matters for powers; close to 1 from below the
// relative error is larger). Other inputs give unspecified values; callers mask them.
template <class VF>
VELMORA_LANES_INLINE VF log2Positive(const VF& x)
{
    VF k;
    VF m;
    detail::split(x, k, m);
    return k + detail::log2OnePlus(m - 1.0f);
}

// 2^y, within 2 units in the last place; gradual underflow below -126, 0 below -149, +inf at or
// above 128, NaN gives NaN.
template <class VF>
VELMORA_LANES_INLINE VF exp2(const VF& y)
{
    const VF r = detail::exp2Finite(y);
    return y != y ? y : r;
}

// x^p for x >= 0 (NaN taken as 0) and p > 0: the case of the colour formulas, which raise
// max(c, 0) to fixed positive exponents. x below FLT_MIN (subnormal or 0) gives 0, +inf gives
// +inf.
template <class VF>
VELMORA_LANES_INLINE VF powNonNegative(const VF& x, const VF& p)
{
    // x^(p - 1) stays nonzero at +inf, so x times it stays +inf.
    const VF r = x * detail::exp2OfScaledLog2(x, p - 1.0f);
    return x >= std::numeric_limits<float>::min() ? r : lanes::splat<VF>(0.0f);
}

// Pairs (Lanes.h) half by half: one power is short enough a chain that the two overlap.
template <class VF>
VELMORA_LANES_INLINE lanes::Pair<VF> powNonNegative(const lanes::Pair<VF>& x, const lanes::Pair<VF>& p)
{
    return {powNonNegative(x.lo, p.lo), powNonNegative(x.hi, p.hi)};
}

// x^p per lane with the C library's results for the cases pixels meet: x > 0 normal;
// x = 0 (and subnormal x) gives 0 for p > 0, 1 for p = 0, +inf for p < 0; x < 0 gives NaN unless
// p = 0; x = +inf gives +inf for p > 0, 0 for p < 0; NaN x gives NaN (1 when p = 0).
template <class VF>
VELMORA_LANES_INLINE VF pow(const VF& x, const VF& p)
{
    const VF inf = lanes::splat<VF>(std::numeric_limits<float>::infinity());
    const VF zero = lanes::splat<VF>(0.0f);
    const auto positive = p > 0.0f;
    // Negative powers as 2^(p log2 x): x * x^(p - 1) could overflow where x^p does not.
    VF r = detail::exp2OfScaledLog2(x, positive ? p - 1.0f : p);
    r = positive ? x * r : r;
    const VF atZero = positive ? zero : inf;
    // 0 <= x < FLT_MIN as one comparison of a value that fails it for x < 0 and NaN: GCC turns a
    // vector & of two comparisons on 16 lanes into work lane by lane.
    r = (x >= 0.0f ? x : lanes::splat<VF>(1.0f)) < std::numeric_limits<float>::min() ? atZero : r;
    r = x == inf ? (positive ? inf : zero) : r;
    r = x < 0.0f ? lanes::splat<VF>(std::numeric_limits<float>::quiet_NaN()) : r;
    r = x != x ? x : r;
    return p == 0.0f ? lanes::splat<VF>(1.0f) : r;
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
