#pragma once

#include <cstddef>

#include "platform/image/Lanes.h"
#include "platform/image/PixelOp.h"

// Lane values of 32 bytes are passed by value only inside code that is inlined into AVX2
// functions, so the note about their calling convention without AVX does not apply.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

// Runs a lane kernel over a planar span, 8 pixels at a time with AVX2 and FMA where the CPU has
// them and 4 at a time with SSE2 otherwise (chosen once per process). The AVX2 loop lets the
// compiler fuse multiplications and additions, so its results may differ from the baseline's in
// the last bits.
//
// A kernel is a struct with
//   template <class V> VELMORA_LANES_INLINE void operator()(V& r, V& g, V& b, V& a,
//                                                          std::size_t index) const
// where `index` is the first pixel's index in the span (for positions). It must be written with
// the lane helpers of Lanes.h so that it compiles for both widths; it is inlined into the loop
// compiled for each instruction set. A kernel that neither reads nor writes alpha says so with
//   static constexpr bool keepsAlpha = true;
// and the loop leaves the alpha plane alone (its `a` is then unspecified). A kernel that also
// declares
//   static constexpr bool paired = true;
// runs on Pair<V> (two lane values at once, see Lanes.h) wherever a span has room for both, so
// the processor overlaps two pixels' chains of dependent operations.
// GCC compiles the lane loops with multiplications and additions fused across statements
// (this project builds with -std=c++20, under which GCC fuses none by default); Clang fuses those
// within one expression by default and has no such function attribute.
#if defined(__clang__)
#define VELMORA_LANES_FUSED
#else
#define VELMORA_LANES_FUSED [[gnu::optimize("fp-contract=fast")]]
#endif

namespace velmora::lanes {

template <class V, class Kernel>
VELMORA_LANES_INLINE void runLanes(const Kernel& kernelIn, const PlanarSpan& spanIn, std::size_t begin,
                                   std::size_t end)
{
    constexpr std::size_t w = Traits<V>::width;
    // Copies the pixel stores cannot alias, so that what the kernel derives from its parameters
    // is computed once, outside the loop, and the plane addresses stay in registers.
    const Kernel kernel = kernelIn;
    const PlanarSpan span = spanIn;
    constexpr bool keepsAlpha = requires { requires Kernel::keepsAlpha; };
    std::size_t i = begin;
    if constexpr (requires { requires Kernel::paired; }) {
        static_assert(keepsAlpha, "paired kernels keep alpha");
        for (; i + 2 * w <= end; i += 2 * w) {
            Pair<V> r{load<V>(span.r + i), load<V>(span.r + i + w)};
            Pair<V> g{load<V>(span.g + i), load<V>(span.g + i + w)};
            Pair<V> b{load<V>(span.b + i), load<V>(span.b + i + w)};
            Pair<V> a{};
            kernel(r, g, b, a, i);
            store(span.r + i, r.lo);
            store(span.r + i + w, r.hi);
            store(span.g + i, g.lo);
            store(span.g + i + w, g.hi);
            store(span.b + i, b.lo);
            store(span.b + i + w, b.hi);
        }
    }
    for (; i + w <= end; i += w) {
        V r = load<V>(span.r + i);
        V g = load<V>(span.g + i);
        V b = load<V>(span.b + i);
        V a = keepsAlpha ? V{} : load<V>(span.a + i);
        kernel(r, g, b, a, i);
        store(span.r + i, r);
        store(span.g + i, g);
        store(span.b + i, b);
        if constexpr (!keepsAlpha) {
            store(span.a + i, a);
        }
    }
}

template <class Kernel>
[[gnu::target("avx2,fma")]] VELMORA_LANES_FUSED [[gnu::noinline]] void
runLanesAvx2(const Kernel& kernel, const PlanarSpan& span)
{
    runLanes<F8>(kernel, span, 0, span.paddedCount);
}

// 16 pixels per step; spans are padded to 8, so a last half step may remain.
template <class Kernel>
[[gnu::target("avx512f,avx512dq,avx512vl,avx2,fma")]] VELMORA_LANES_FUSED [[gnu::noinline]] void
runLanesAvx512(const Kernel& kernel, const PlanarSpan& span)
{
    const std::size_t whole = span.paddedCount / 16 * 16;
    runLanes<F16>(kernel, span, 0, whole);
    runLanes<F8>(kernel, span, whole, span.paddedCount);
}

template <class Kernel>
[[gnu::noinline]] void runLanesBaseline(const Kernel& kernel, const PlanarSpan& span)
{
    runLanes<F4>(kernel, span, 0, span.paddedCount);
}

template <class Kernel>
void forEachLane(const Kernel& kernel, const PlanarSpan& span)
{
    if (haveAvx512()) {
        runLanesAvx512(kernel, span);
    } else if (haveAvx2()) {
        runLanesAvx2(kernel, span);
    } else {
        runLanesBaseline(kernel, span);
    }
}

// forEachLane at most 8 pixels at a time: for kernels whose work goes lane by lane in groups
// of 8 anyway (the colour cube's lookups), where 16-lane registers only add moves between halves.
template <class Kernel>
void forEachLaneUpTo8(const Kernel& kernel, const PlanarSpan& span)
{
    if (haveAvx2()) {
        runLanesAvx2(kernel, span);
    } else {
        runLanesBaseline(kernel, span);
    }
}

} // namespace velmora::lanes

#pragma GCC diagnostic pop
