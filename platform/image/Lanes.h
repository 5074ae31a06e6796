#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

// Lane values of 32 bytes are passed by value only inside code that is inlined into AVX2
// functions, so the note about their calling convention without AVX does not apply.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

// Lane types for per-pixel colour code that runs on several pixels at once.
//
// The colour formulas of the grading steps are written once as templates over a component type
// V: V = float or double for one pixel (the kernels' reference form and the processor twins that
// fill fallback cubes), V = a GCC vector of floats for 4 or 8 pixels at a time. Everything a
// formula needs (arithmetic, comparisons, select, abs, min, max, floor) works alike on all of
// them, so data-dependent branches are written as select(mask, a, b) and run branch-free on
// lanes. Parameters of a step stay scalars (type S): their threshold tests are ordinary ifs.
namespace velmora::lanes {

typedef float F4 __attribute__((vector_size(16)));
typedef std::int32_t I4 __attribute__((vector_size(16)));
typedef float F8 __attribute__((vector_size(32)));
typedef std::int32_t I8 __attribute__((vector_size(32)));
typedef float F16 __attribute__((vector_size(64)));
typedef std::int32_t I16 __attribute__((vector_size(64)));


template <class V>
struct Traits {
    using Scalar = V;
    static constexpr std::size_t width = 1;
};
template <>
struct Traits<F4> {
    using Scalar = float;
    using Int = I4;
    static constexpr std::size_t width = 4;
};
template <>
struct Traits<F8> {
    using Scalar = float;
    using Int = I8;
    static constexpr std::size_t width = 8;
};

template <>
struct Traits<F16> {
    using Scalar = float;
    using Int = I16;
    static constexpr std::size_t width = 16;
};

template <class V>
inline constexpr bool isVector = Traits<V>::width > 1;

#define VELMORA_LANES_INLINE [[gnu::always_inline]] inline

// mask ? a : b per lane (a plain conditional for scalars).
template <class M, class V>
VELMORA_LANES_INLINE V select(const M& mask, const V& a, const V& b)
{
    return mask ? a : b;
}

template <class V>
VELMORA_LANES_INLINE V splat(typename Traits<V>::Scalar x)
{
    if constexpr (isVector<V>) {
        V v = {};
        return v + x;
    } else {
        return x;
    }
}

// |x|; NaN stays NaN.
template <class V>
VELMORA_LANES_INLINE V vabs(const V& x)
{
    if constexpr (isVector<V>) {
        using I = typename Traits<V>::Int;
        I bits;
        std::memcpy(&bits, &x, sizeof bits);
        bits &= 0x7fffffff;
        V out;
        std::memcpy(&out, &bits, sizeof out);
        return out;
    } else {
        return std::fabs(x);
    }
}

namespace detail {

// True when some lane compares true with t: vcmpps predicate `predicate` (0x1e: greater, 0x11:
// less, both ordered) on 16 lanes; `x > t` or `x < t` on fewer. Where no cheap test exists
// (Clang's build) the answer is true.
template <int predicate, class V>
VELMORA_LANES_INLINE bool anyCompare(const V& x, typename Traits<V>::Scalar t)
{
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
    if constexpr (std::is_same_v<V, F16>) {
        // Only ever inlined into the AVX-512 loops of LaneLoop.h.
        unsigned short mask;
        asm("vcmpps %3, %2, %1, %0" : "=k"(mask) : "v"(x), "v"(splat<V>(t)), "i"(predicate));
        return mask != 0;
    } else if constexpr (std::is_same_v<V, F8> || std::is_same_v<V, F4>) {
        const auto hit = predicate == 0x1e ? x > t : x < t;
        int mask;
        if constexpr (std::is_same_v<V, F8>) {
            asm("vmovmskps %1, %0" : "=r"(mask) : "x"(hit));
        } else {
            asm("movmskps %1, %0" : "=r"(mask) : "x"(hit));
        }
        return mask != 0;
    }
#endif
    if constexpr (isVector<V>) {
        return true;
    } else {
        return predicate == 0x1e ? x > t : x < t;
    }
}

} // namespace detail

// True when some lane has x > t (anyLess: x < t). Lets a kernel skip work that leaves every lane
// as it is (a step that changes only values beyond a threshold), provided the skipped formula
// gives exactly its input there, so that a pixel's result never depends on its neighbours.
// Where no cheap test exists (Clang's build) the answer is true and the work is done.
template <class V>
VELMORA_LANES_INLINE bool anyGreater(const V& x, typename Traits<V>::Scalar t)
{
    return detail::anyCompare<0x1e>(x, t);
}

template <class V>
VELMORA_LANES_INLINE bool anyLess(const V& x, typename Traits<V>::Scalar t)
{
    return detail::anyCompare<0x11>(x, t);
}

// Larger / smaller of two values (the second when equal); with a NaN, the second argument.
// These are the rules of the processor's max and min instructions, which GCC does not choose for
// a vector select by itself (it compares and blends: two operations).
template <class V>
VELMORA_LANES_INLINE V vmax(const V& a, const V& b)
{
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
    if constexpr (std::is_same_v<V, F16> || std::is_same_v<V, F8>) {
        // Only ever inlined into the AVX-512 and AVX2 loops of LaneLoop.h.
        V r;
        asm("vmaxps %2, %1, %0" : "=v"(r) : "v"(a), "v"(b));
        return r;
    } else if constexpr (std::is_same_v<V, F4>) {
        V r = a;
        asm("maxps %1, %0" : "+x"(r) : "x"(b));
        return r;
    }
#endif
    return select(a > b, a, b);
}

template <class V>
VELMORA_LANES_INLINE V vmin(const V& a, const V& b)
{
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
    if constexpr (std::is_same_v<V, F16> || std::is_same_v<V, F8>) {
        V r;
        asm("vminps %2, %1, %0" : "=v"(r) : "v"(a), "v"(b));
        return r;
    } else if constexpr (std::is_same_v<V, F4>) {
        V r = a;
        asm("minps %1, %0" : "+x"(r) : "x"(b));
        return r;
    }
#endif
    return select(a < b, a, b);
}

// Two lane values as one: every operation is applied to both halves in turn, so that two
// pixels' independent chains of operations come out interleaved. A kernel whose formula is one
// long chain of dependent operations (a grading step) runs on pairs (see LaneLoop.h), which
// lets the processor overlap them within the reach of its reordering. Covers what such kernels
// use: arithmetic with lane values and float scalars, comparisons into masks, select, vmax,
// vmin, splat, anyGreater.
template <class V>
struct Pair {
    V lo;
    V hi;
};

template <class M>
struct PairMask {
    M lo;
    M hi;
};

template <class V>
struct Traits<Pair<V>> {
    using Scalar = typename Traits<V>::Scalar;
    static constexpr std::size_t width = 2 * Traits<V>::width;
};

#define VELMORA_LANES_PAIR_ARITHMETIC(op)                                                          \
    template <class V>                                                                             \
    VELMORA_LANES_INLINE Pair<V> operator op(const Pair<V>& a, const Pair<V>& b)                   \
    {                                                                                              \
        return {a.lo op b.lo, a.hi op b.hi};                                                       \
    }                                                                                              \
    template <class V>                                                                             \
    VELMORA_LANES_INLINE Pair<V> operator op(const Pair<V>& a, typename Traits<V>::Scalar b)       \
    {                                                                                              \
        return {a.lo op b, a.hi op b};                                                             \
    }                                                                                              \
    template <class V>                                                                             \
    VELMORA_LANES_INLINE Pair<V> operator op(typename Traits<V>::Scalar a, const Pair<V>& b)       \
    {                                                                                              \
        return {a op b.lo, a op b.hi};                                                             \
    }
VELMORA_LANES_PAIR_ARITHMETIC(+)
VELMORA_LANES_PAIR_ARITHMETIC(-)
VELMORA_LANES_PAIR_ARITHMETIC(*)
VELMORA_LANES_PAIR_ARITHMETIC(/)
#undef VELMORA_LANES_PAIR_ARITHMETIC

#define VELMORA_LANES_PAIR_COMPARISON(op)                                                          \
    template <class V>                                                                             \
    VELMORA_LANES_INLINE auto operator op(const Pair<V>& a, const Pair<V>& b)                      \
    {                                                                                              \
        return PairMask<decltype(a.lo op b.lo)>{a.lo op b.lo, a.hi op b.hi};                       \
    }                                                                                              \
    template <class V>                                                                             \
    VELMORA_LANES_INLINE auto operator op(const Pair<V>& a, typename Traits<V>::Scalar b)          \
    {                                                                                              \
        return PairMask<decltype(a.lo op b)>{a.lo op b, a.hi op b};                                \
    }
VELMORA_LANES_PAIR_COMPARISON(<)
VELMORA_LANES_PAIR_COMPARISON(>)
VELMORA_LANES_PAIR_COMPARISON(<=)
VELMORA_LANES_PAIR_COMPARISON(>=)
VELMORA_LANES_PAIR_COMPARISON(==)
VELMORA_LANES_PAIR_COMPARISON(!=)
#undef VELMORA_LANES_PAIR_COMPARISON

template <class V>
VELMORA_LANES_INLINE Pair<V> operator-(const Pair<V>& a)
{
    return {-a.lo, -a.hi};
}

template <class M, class V>
VELMORA_LANES_INLINE Pair<V> select(const PairMask<M>& mask, const Pair<V>& a, const Pair<V>& b)
{
    return {select(mask.lo, a.lo, b.lo), select(mask.hi, a.hi, b.hi)};
}

template <class V>
VELMORA_LANES_INLINE Pair<V> vmax(const Pair<V>& a, const Pair<V>& b)
{
    return {vmax(a.lo, b.lo), vmax(a.hi, b.hi)};
}

template <class V>
VELMORA_LANES_INLINE Pair<V> vmin(const Pair<V>& a, const Pair<V>& b)
{
    return {vmin(a.lo, b.lo), vmin(a.hi, b.hi)};
}

template <class V>
VELMORA_LANES_INLINE bool anyGreater(const Pair<V>& x, typename Traits<V>::Scalar t)
{
    return anyGreater(x.lo, t) || anyGreater(x.hi, t);
}

template <class V>
VELMORA_LANES_INLINE bool anyLess(const Pair<V>& x, typename Traits<V>::Scalar t)
{
    return anyLess(x.lo, t) || anyLess(x.hi, t);
}

template <class V>
VELMORA_LANES_INLINE Pair<V> vabs(const Pair<V>& x)
{
    return {vabs(x.lo), vabs(x.hi)};
}

template <class V>
VELMORA_LANES_INLINE V vfloor(const V& x)
{
    if constexpr (isVector<V>) {
        using I = typename Traits<V>::Int;
        // Exact for |x| < 2^31; pixel math stays far below.
        const V t = __builtin_convertvector(__builtin_convertvector(x, I), V);
        return select(t > x, t - 1.0f, t);
    } else {
        return std::floor(x);
    }
}

// a / b per lane, for divisions by pixel values where every lane whose result is used has a
// normal divisor (|b| >= FLT_MIN). On 8 and 16 lanes (GCC on x86-64) from the
// processor's reciprocal estimate, refined by a Newton step and a correction of the quotient:
// within about one unit in the last place, at a fraction of a vector division's cost. Lanes
// with a zero, subnormal or infinite divisor give NaN (callers select them away, or, for an
// infinite divisor, divide an infinite value too); scalars and 4 lanes divide exactly, and so
// does Clang's build.
template <class V>
VELMORA_LANES_INLINE V vdiv(const V& a, const V& b)
{
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
    if constexpr (std::is_same_v<V, F16> || std::is_same_v<V, F8>) {
        // Only ever inlined into the AVX-512 (16 lanes) and AVX2 (8 lanes) loops of LaneLoop.h.
        V estimate;
        if constexpr (std::is_same_v<V, F16>) {
            asm("vrcp14ps %1, %0" : "=v"(estimate) : "v"(b));
        } else {
            asm("vrcpps %1, %0" : "=x"(estimate) : "x"(b));
        }
        const V reciprocal = estimate + estimate * (1.0f - b * estimate);
        const V quotient = a * reciprocal;
        return quotient + (a - b * quotient) * reciprocal;
    }
#endif
    return a / b;
}

template <class V>
VELMORA_LANES_INLINE Pair<V> vsin(const Pair<V>& x);

template <class V>
VELMORA_LANES_INLINE V vsin(const V& x)
{
    if constexpr (isVector<V>) {
        V out;
        for (std::size_t i = 0; i < Traits<V>::width; ++i) {
            out[i] = std::sin(x[i]);
        }
        return out;
    } else {
        return std::sin(x);
    }
}

template <class V>
VELMORA_LANES_INLINE Pair<V> vsin(const Pair<V>& x)
{
    return {vsin(x.lo), vsin(x.hi)};
}

template <class V>
VELMORA_LANES_INLINE V load(const float* p)
{
    if constexpr (isVector<V>) {
        V v;
        std::memcpy(&v, p, sizeof v);
        return v;
    } else {
        return *p;
    }
}

template <class V>
VELMORA_LANES_INLINE void store(float* p, const V& v)
{
    if constexpr (isVector<V>) {
        std::memcpy(p, &v, sizeof v);
    } else {
        *p = v;
    }
}

// True when the CPU runs 256-bit AVX2 code with FMA (checked once) and no
// ScopedBaselineLanes is alive.
bool haveAvx2();
// True when the CPU runs 512-bit AVX-512 (F, DQ, VL) code and no ScopedBaselineLanes is alive.
bool haveAvx512();

// While an instance lives, lane loops use the SSE2 baseline even on AVX2 machines, so tests can
// compare the two. Process-wide; instances may nest.
class ScopedBaselineLanes {
public:
    ScopedBaselineLanes();
    ~ScopedBaselineLanes();
    ScopedBaselineLanes(const ScopedBaselineLanes&) = delete;
    ScopedBaselineLanes& operator=(const ScopedBaselineLanes&) = delete;
};

} // namespace velmora::lanes

#pragma GCC diagnostic pop
