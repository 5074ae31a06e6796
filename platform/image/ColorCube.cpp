#include "platform/image/ColorCube.h"

#include <cstring>
#include <stdexcept>

#include "platform/image/LaneLoop.h"

// Lane kernels here are inlined into the AVX2 and baseline loops of LaneLoop.h (see Lanes.h).
#pragma GCC diagnostic ignored "-Wpsabi"

namespace velmora {

namespace {

typedef float v4sf __attribute__((vector_size(16)));

inline v4sf load4(const float* p)
{
    v4sf v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Position of a component on the lattice: the lower index and the fraction towards the next.
// Written so that NaN and values below 0 land on 0 and values above 1 on the last cell's end.
inline void locate(float v, float scale, int last, int& index, float& frac)
{
    const float x = (v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f) * scale;
    int i = static_cast<int>(x);
    if (i > last) {
        i = last;
    }
    index = i;
    frac = x - static_cast<float>(i);
}

typedef float v8sf __attribute__((vector_size(32)));

// Shuffles of the 8x8 transpose in ColorCube::Lanes (each acts within and across 128-bit halves
// as the AVX unpack and permute instructions do).
VELMORA_LANES_INLINE v8sf unpackLo(const v8sf& a, const v8sf& b)
{
    return __builtin_shufflevector(a, b, 0, 8, 1, 9, 4, 12, 5, 13);
}
VELMORA_LANES_INLINE v8sf unpackHi(const v8sf& a, const v8sf& b)
{
    return __builtin_shufflevector(a, b, 2, 10, 3, 11, 6, 14, 7, 15);
}
VELMORA_LANES_INLINE v8sf pairLo(const v8sf& a, const v8sf& b)
{
    return __builtin_shufflevector(a, b, 0, 1, 8, 9, 4, 5, 12, 13);
}
VELMORA_LANES_INLINE v8sf pairHi(const v8sf& a, const v8sf& b)
{
    return __builtin_shufflevector(a, b, 2, 3, 10, 11, 6, 7, 14, 15);
}
VELMORA_LANES_INLINE v8sf lowHalves(const v8sf& a, const v8sf& b)
{
    return __builtin_shufflevector(a, b, 0, 1, 2, 3, 8, 9, 10, 11);
}
VELMORA_LANES_INLINE v8sf highHalves(const v8sf& a, const v8sf& b)
{
    return __builtin_shufflevector(a, b, 4, 5, 6, 7, 12, 13, 14, 15);
}

VELMORA_LANES_INLINE v8sf load8(const float* p)
{
    v8sf v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

} // namespace

struct ColorCube::Lanes {
    const float* entries;
    float scale;
    int last;
    int n;

    template <class V>
    VELMORA_LANES_INLINE void locate(const V& v, typename lanes::Traits<V>::Int& index, V& frac) const
    {
        using I = typename lanes::Traits<V>::Int;
        const V zero = lanes::splat<V>(0.0f);
        const V one = lanes::splat<V>(1.0f);
        // NaN and negatives land on 0, values above 1 on the last cell's end.
        const V x = lanes::select(v > 0.0f, lanes::select(v < 1.0f, v, one), zero) * scale;
        I i = __builtin_convertvector(x, I);
        i = i > last ? I{} + last : i;
        index = i;
        frac = x - __builtin_convertvector(i, V);
    }

    // Green and blue interpolated on both red neighbours at once: the result holds the colour at
    // red index i in its low half and at i + 1 in its high half.
    VELMORA_LANES_INLINE static v8sf corner(const float* c, std::ptrdiff_t dg, std::ptrdiff_t db,
                                            float wg, float wb)
    {
        const v8sf p00 = load8(c);
        const v8sf p10 = load8(c + dg);
        const v8sf p01 = load8(c + db);
        const v8sf p11 = load8(c + db + dg);
        const v8sf q0 = p00 + (p10 - p00) * wg;
        const v8sf q1 = p01 + (p11 - p01) * wg;
        return q0 + (q1 - q0) * wb;
    }

    template <class V>
    VELMORA_LANES_INLINE void operator()(V& r, V& g, V& b, V&, std::size_t) const
    {
        using I = typename lanes::Traits<V>::Int;
        I ir, ig, ib;
        V fr, fg, fb;
        locate(r, ir, fr);
        locate(g, ig, fg);
        locate(b, ib, fb);
        // Red is the fastest index, so the entry after (i, j, k) is (i + 1, j, k): one 32-byte
        // load brings both red neighbours.
        const I offset = (ir + (ig + ib * n) * n) * 4;
        const std::ptrdiff_t dg = static_cast<std::ptrdiff_t>(n) * 4;
        const std::ptrdiff_t db = dg * n;
        constexpr std::size_t width = lanes::Traits<V>::width;
        alignas(64) int offsets[width];
        std::memcpy(offsets, &offset, sizeof offsets);
        if constexpr (width >= 8) {
            alignas(64) float frs[width];
            alignas(64) float outR[width], outG[width], outB[width];
            lanes::store(frs, fr);
            for (std::size_t group = 0; group < width; group += 8) {
                v8sf q[8];
                for (std::size_t lane = 0; lane < 8; ++lane) {
                    const std::size_t k = group + lane;
                    q[lane] = corner(entries + offsets[k], dg, db, fg[k], fb[k]);
                }
                // Transpose so that each component's low and high halves become lane vectors,
                // then interpolate red for eight pixels at once.
                const v8sf t0 = unpackLo(q[0], q[1]), t1 = unpackHi(q[0], q[1]);
                const v8sf t2 = unpackLo(q[2], q[3]), t3 = unpackHi(q[2], q[3]);
                const v8sf t4 = unpackLo(q[4], q[5]), t5 = unpackHi(q[4], q[5]);
                const v8sf t6 = unpackLo(q[6], q[7]), t7 = unpackHi(q[6], q[7]);
                const v8sf ur = pairLo(t0, t2), ug = pairHi(t0, t2), ub = pairLo(t1, t3);
                const v8sf vr = pairLo(t4, t6), vg = pairHi(t4, t6), vb = pairLo(t5, t7);
                const v8sf fr8 = load8(frs + group);
                const v8sf rLo = lowHalves(ur, vr), rHi = highHalves(ur, vr);
                const v8sf gLo = lowHalves(ug, vg), gHi = highHalves(ug, vg);
                const v8sf bLo = lowHalves(ub, vb), bHi = highHalves(ub, vb);
                const v8sf r8 = rLo + (rHi - rLo) * fr8;
                const v8sf g8 = gLo + (gHi - gLo) * fr8;
                const v8sf b8 = bLo + (bHi - bLo) * fr8;
                std::memcpy(outR + group, &r8, sizeof r8);
                std::memcpy(outG + group, &g8, sizeof g8);
                std::memcpy(outB + group, &b8, sizeof b8);
            }
            r = lanes::load<V>(outR);
            g = lanes::load<V>(outG);
            b = lanes::load<V>(outB);
        } else {
            alignas(32) float outR[width], outG[width], outB[width];
            for (std::size_t lane = 0; lane < width; ++lane) {
                const v8sf q = corner(entries + offsets[lane], dg, db, fg[lane], fb[lane]);
                const float wr = fr[lane];
                outR[lane] = q[0] + (q[4] - q[0]) * wr;
                outG[lane] = q[1] + (q[5] - q[1]) * wr;
                outB[lane] = q[2] + (q[6] - q[2]) * wr;
            }
            r = lanes::load<V>(outR);
            g = lanes::load<V>(outG);
            b = lanes::load<V>(outB);
        }
    }
};

namespace {

struct CubeStep {
    std::shared_ptr<const ColorCube> cube;
    void applyPlanar(const PlanarSpan& span) const { cube->apply(span); }
};

} // namespace

ColorCube::ColorCube(int dimension, std::vector<float> entries)
    : n_(dimension), scale_(static_cast<float>(dimension - 1)), entries_(std::move(entries))
{
    if (dimension < 2 || dimension > 1024) {
        throw std::invalid_argument("colour cube dimension out of range");
    }
    const std::size_t n = static_cast<std::size_t>(dimension);
    if (entries_.size() != n * n * n * 4) {
        throw std::invalid_argument("colour cube entry count does not match its dimension");
    }
}

namespace {

// The scalar trilinear lookup shared by the interleaved path and large planar cubes.
struct ScalarLookup {
    const float* lattice;
    float scale;
    int last;
    std::ptrdiff_t dg; // floats between green neighbours
    std::ptrdiff_t db; // floats between blue neighbours

    v4sf sample(float r, float g, float b) const
    {
        int ir, ig, ib;
        float fr, fg, fb;
        locate(r, scale, last, ir, fr);
        locate(g, scale, last, ig, fg);
        locate(b, scale, last, ib, fb);
        const float* c = lattice + ir * 4 + ig * dg + ib * db;
        const v4sf c000 = load4(c);
        const v4sf c100 = load4(c + 4);
        const v4sf c010 = load4(c + dg);
        const v4sf c110 = load4(c + dg + 4);
        const v4sf c001 = load4(c + db);
        const v4sf c101 = load4(c + db + 4);
        const v4sf c011 = load4(c + db + dg);
        const v4sf c111 = load4(c + db + dg + 4);
        const v4sf c00 = c000 + (c100 - c000) * fr;
        const v4sf c10 = c010 + (c110 - c010) * fr;
        const v4sf c01 = c001 + (c101 - c001) * fr;
        const v4sf c11 = c011 + (c111 - c011) * fr;
        const v4sf c0 = c00 + (c10 - c00) * fg;
        const v4sf c1 = c01 + (c11 - c01) * fg;
        return c0 + (c1 - c0) * fb;
    }
};

} // namespace

void ColorCube::apply(float* rgba, std::size_t count) const
{
    const std::ptrdiff_t dg = static_cast<std::ptrdiff_t>(n_) * 4;
    const ScalarLookup lookup{entries_.data(), scale_, n_ - 2, dg, dg * n_};
    for (std::size_t p = 0; p < count; ++p) {
        float* px = rgba + p * 4;
        const v4sf out = lookup.sample(px[0], px[1], px[2]);
        px[0] = out[0];
        px[1] = out[1];
        px[2] = out[2];
    }
}

void ColorCube::apply(const PlanarSpan& span) const
{
    if (n_ <= maxLaneDimension) {
        lanes::forEachLaneUpTo8(Lanes{entries_.data(), scale_, n_ - 2, n_}, span);
        return;
    }
    const std::ptrdiff_t dg = static_cast<std::ptrdiff_t>(n_) * 4;
    const ScalarLookup lookup{entries_.data(), scale_, n_ - 2, dg, dg * n_};
    for (std::size_t p = 0; p < span.count; ++p) {
        const v4sf out = lookup.sample(span.r[p], span.g[p], span.b[p]);
        span.r[p] = out[0];
        span.g[p] = out[1];
        span.b[p] = out[2];
    }
}

Color ColorCube::apply(const Color& c) const
{
    float px[4] = {c.r, c.g, c.b, c.a};
    apply(px, 1);
    return {px[0], px[1], px[2], px[3]};
}

Image colorCube(const Image& image, std::shared_ptr<const ColorCube> cube)
{
    if (!cube) {
        return image;
    }
    return image.appending(PixelOp::makePlanar(CubeStep{std::move(cube)}));
}

} // namespace velmora
