#include "platform/image/PixelOp.h"

#include <cstdint>
#include <cstring>
#include <xmmintrin.h>

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

} // namespace

void deinterleave(const float* rgba, const PlanarSpan& span)
{
    std::size_t i = 0;
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

// Interleaves four pixels at a time with `store` writing each 16-byte group, then the tail.
template <class Store>
inline void interleaveWith(const PlanarSpan& span, float* rgba, Store store)
{
    std::size_t i = 0;
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
    interleaveWith(span, rgba, [](float* p, const F4& v) { store4(p, v); });
}

void runPixelOps(const std::vector<PixelOp>& ops, const PlanarSpan& span)
{
    alignas(64) float scratch[maxSpanPixels * 4];
    for (const PixelOp& op : ops) {
        if (op.isPlanar()) {
            op.planarFn(op.state.get(), span);
            continue;
        }
        interleave(span, scratch);
        op.fn(op.state.get(), scratch, span.count, span.where);
        deinterleave(scratch, span);
    }
}

void interleaveStreaming(const PlanarSpan& span, float* rgba)
{
    if (reinterpret_cast<std::uintptr_t>(rgba) % 16 != 0) {
        interleave(span, rgba);
        return;
    }
    interleaveWith(span, rgba, [](float* p, const F4& v) { _mm_stream_ps(p, v); });
}

void finishStreaming()
{
    _mm_sfence();
}

} // namespace velmora
