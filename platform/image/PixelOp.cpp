#include "platform/image/PixelOp.h"

#include <cstdint>
#include <cstring>
#include <immintrin.h>

#include "platform/image/Lanes.h"

namespace velmora {

namespace {

typedef float F4 __attribute__((vector_size(16)));

inline F4 load4(const float* p)
{
    F4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store4(float* p, const F4& v)
{
    std::memcpy(p, &v, sizeof v);
}

// 4x4 transpose: rows a, b, c, d in, columns out.
inline void transpose(F4& a, F4& b, F4& c, F4& d)
{
    const F4 t0 = __builtin_shufflevector(a, b, 0, 4, 1, 5);
    const F4 t1 = __builtin_shufflevector(c, d, 0, 4, 1, 5);
    const F4 t2 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
    const F4 t3 = __builtin_shufflevector(c, d, 2, 6, 3, 7);
    a = __builtin_shufflevector(t0, t1, 0, 1, 4, 5);
    b = __builtin_shufflevector(t0, t1, 2, 3, 6, 7);
    c = __builtin_shufflevector(t2, t3, 0, 1, 4, 5);
    d = __builtin_shufflevector(t2, t3, 2, 3, 6, 7);
}

// 16 pixels at a time on AVX-512: a two-source permute gathers eight pixels' reds and greens (or
// blues and alphas) into one register, a second joins the halves of two such. Eight shuffles per
// 16 pixels each way, against 32 four-lane shuffles. Returns the pixels done (a multiple of 16).
[[gnu::target("avx512f")]] std::size_t deinterleave16(const float* rgba, const PlanarSpan& span)
{
    const __m512i lo = _mm512_setr_epi32(0, 4, 8, 12, 16, 20, 24, 28, 1, 5, 9, 13, 17, 21, 25, 29);
    const __m512i hi = _mm512_setr_epi32(2, 6, 10, 14, 18, 22, 26, 30, 3, 7, 11, 15, 19, 23, 27, 31);
    const __m512i lowHalves = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 16, 17, 18, 19, 20, 21, 22, 23);
    const __m512i highHalves = _mm512_setr_epi32(8, 9, 10, 11, 12, 13, 14, 15, 24, 25, 26, 27, 28, 29, 30, 31);
    std::size_t i = 0;
    for (; i + 16 <= span.count; i += 16) {
        const float* p = rgba + i * 4;
        const __m512 p0 = _mm512_loadu_ps(p);
        const __m512 p1 = _mm512_loadu_ps(p + 16);
        const __m512 p2 = _mm512_loadu_ps(p + 32);
        const __m512 p3 = _mm512_loadu_ps(p + 48);
        const __m512 rg0 = _mm512_permutex2var_ps(p0, lo, p1); // r0..r7 g0..g7
        const __m512 ba0 = _mm512_permutex2var_ps(p0, hi, p1);
        const __m512 rg1 = _mm512_permutex2var_ps(p2, lo, p3); // r8..r15 g8..g15
        const __m512 ba1 = _mm512_permutex2var_ps(p2, hi, p3);
        _mm512_storeu_ps(span.r + i, _mm512_permutex2var_ps(rg0, lowHalves, rg1));
        _mm512_storeu_ps(span.g + i, _mm512_permutex2var_ps(rg0, highHalves, rg1));
        _mm512_storeu_ps(span.b + i, _mm512_permutex2var_ps(ba0, lowHalves, ba1));
        _mm512_storeu_ps(span.a + i, _mm512_permutex2var_ps(ba0, highHalves, ba1));
    }
    return i;
}

// The inverse of deinterleave16, with cache-bypassing stores when `streaming` (rgba then
// 64-byte aligned).
[[gnu::target("avx512f")]] std::size_t interleave16(const PlanarSpan& span, float* rgba, bool streaming)
{
    const __m512i first = _mm512_setr_epi32(0, 8, 16, 24, 1, 9, 17, 25, 2, 10, 18, 26, 3, 11, 19, 27);
    const __m512i second = _mm512_setr_epi32(4, 12, 20, 28, 5, 13, 21, 29, 6, 14, 22, 30, 7, 15, 23, 31);
    const __m512i lowHalves = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 16, 17, 18, 19, 20, 21, 22, 23);
    const __m512i highHalves = _mm512_setr_epi32(8, 9, 10, 11, 12, 13, 14, 15, 24, 25, 26, 27, 28, 29, 30, 31);
    std::size_t i = 0;
    for (; i + 16 <= span.count; i += 16) {
        const __m512 r = _mm512_loadu_ps(span.r + i);
        const __m512 g = _mm512_loadu_ps(span.g + i);
        const __m512 b = _mm512_loadu_ps(span.b + i);
        const __m512 a = _mm512_loadu_ps(span.a + i);
        const __m512 rg0 = _mm512_permutex2var_ps(r, lowHalves, g); // r0..r7 g0..g7
        const __m512 rg1 = _mm512_permutex2var_ps(r, highHalves, g);
        const __m512 ba0 = _mm512_permutex2var_ps(b, lowHalves, a);
        const __m512 ba1 = _mm512_permutex2var_ps(b, highHalves, a);
        const __m512 p0 = _mm512_permutex2var_ps(rg0, first, ba0);
        const __m512 p1 = _mm512_permutex2var_ps(rg0, second, ba0);
        const __m512 p2 = _mm512_permutex2var_ps(rg1, first, ba1);
        const __m512 p3 = _mm512_permutex2var_ps(rg1, second, ba1);
        float* p = rgba + i * 4;
        if (streaming) {
            _mm512_stream_ps(p, p0);
            _mm512_stream_ps(p + 16, p1);
            _mm512_stream_ps(p + 32, p2);
            _mm512_stream_ps(p + 48, p3);
        } else {
            _mm512_storeu_ps(p, p0);
            _mm512_storeu_ps(p + 16, p1);
            _mm512_storeu_ps(p + 32, p2);
            _mm512_storeu_ps(p + 48, p3);
        }
    }
    return i;
}

} // namespace

void deinterleave(const float* rgba, const PlanarSpan& span)
{
    std::size_t i = lanes::haveAvx512() ? deinterleave16(rgba, span) : 0;
    for (; i + 4 <= span.count; i += 4) {
        F4 p0 = load4(rgba + i * 4);
        F4 p1 = load4(rgba + i * 4 + 4);
        F4 p2 = load4(rgba + i * 4 + 8);
        F4 p3 = load4(rgba + i * 4 + 12);
        transpose(p0, p1, p2, p3);
        store4(span.r + i, p0);
        store4(span.g + i, p1);
        store4(span.b + i, p2);
        store4(span.a + i, p3);
    }
    for (; i < span.count; ++i) {
        span.r[i] = rgba[i * 4 + 0];
        span.g[i] = rgba[i * 4 + 1];
        span.b[i] = rgba[i * 4 + 2];
        span.a[i] = rgba[i * 4 + 3];
    }
    for (std::size_t i = span.count; i < span.paddedCount; ++i) {
        span.r[i] = span.g[i] = span.b[i] = span.a[i] = 0.0f;
    }
}

namespace {

// Interleaves pixels from `i` on, four at a time with `store` writing each 16-byte group, then
// the tail.
template <class Store>
inline void interleaveWith(const PlanarSpan& span, float* rgba, std::size_t i, Store store)
{
    for (; i + 4 <= span.count; i += 4) {
        F4 r = load4(span.r + i);
        F4 g = load4(span.g + i);
        F4 b = load4(span.b + i);
        F4 a = load4(span.a + i);
        transpose(r, g, b, a);
        store(rgba + i * 4, r);
        store(rgba + i * 4 + 4, g);
        store(rgba + i * 4 + 8, b);
        store(rgba + i * 4 + 12, a);
    }
    for (; i < span.count; ++i) {
        rgba[i * 4 + 0] = span.r[i];
        rgba[i * 4 + 1] = span.g[i];
        rgba[i * 4 + 2] = span.b[i];
        rgba[i * 4 + 3] = span.a[i];
    }
}

} // namespace

void interleave(const PlanarSpan& span, float* rgba)
{
    const std::size_t done = lanes::haveAvx512() ? interleave16(span, rgba, false) : 0;
    interleaveWith(span, rgba, done, [](float* p, const F4& v) { store4(p, v); });
}

void runPixelOps(const std::vector<PixelOp>& ops, const PlanarSpan& span,
                 void (*beforeStep)(void* context, std::size_t step), void* context)
{
    alignas(64) float scratch[maxSpanPixels * 4];
    for (std::size_t k = 0; k < ops.size(); ++k) {
        const PixelOp& op = ops[k];
        if (beforeStep) {
            beforeStep(context, k);
        }
        if (op.isPlanar()) {
            op.planarFn(op.state.get(), span);
        } else {
            interleave(span, scratch);
            op.fn(op.state.get(), scratch, span.count, span.where);
            deinterleave(scratch, span);
        }
    }
}

void interleaveStreaming(const PlanarSpan& span, float* rgba)
{
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(rgba);
    if (address % 16 != 0) {
        interleave(span, rgba);
        return;
    }
    const std::size_t done = lanes::haveAvx512() && address % 64 == 0 ? interleave16(span, rgba, true) : 0;
    interleaveWith(span, rgba, done, [](float* p, const F4& v) { _mm_stream_ps(p, v); });
}

void finishStreaming()
{
    _mm_sfence();
}

} // namespace velmora
