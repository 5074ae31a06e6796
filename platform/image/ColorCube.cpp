#include "platform/image/ColorCube.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
// GCC 12 reports the deliberately undefined pass-through values inside the AVX-512 intrinsics
// as possibly uninitialised once they are inlined.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#include <new>
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
    static constexpr bool keepsAlpha = true;
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

void ColorCube::AlignedFree::operator()(float* p) const
{
    ::operator delete[](p, std::align_val_t{64});
}

const float* ColorCube::blockedLattice() const
{
    std::call_once(blockedOnce_, [this] {
        const std::size_t n = static_cast<std::size_t>(n_);
        const std::size_t m = n - 1;
        blocked_.reset(static_cast<float*>(::operator new[](m * m * n * 32 * sizeof(float), std::align_val_t{64})));
        float* out = blocked_.get();
        const std::size_t green = n * 4;
        const std::size_t blue = n * n * 4;
        for (std::size_t k = 0; k < n; ++k) {
            for (std::size_t j = 0; j < m; ++j) {
                for (std::size_t i = 0; i < m; ++i) {
                    const float* c00 = entries_.data() + ((k * n + j) * n + i) * 4;
                    const float* corners[4] = {c00, c00 + 4, c00 + green, c00 + green + 4};
                    for (std::size_t channel = 0; channel < 3; ++channel) {
                        for (std::size_t corner = 0; corner < 4; ++corner) {
                            const float near = corners[corner][channel];
                            out[channel * 4 + corner] = near;
                            // The top plane has nothing above: a blue of 1 looks it up with fraction 0.
                            out[16 + channel * 4 + corner] = k < m ? corners[corner][blue + channel] - near : 0.0f;
                        }
                    }
                    std::fill(out + 12, out + 16, 0.0f);
                    std::fill(out + 28, out + 32, 0.0f);
                    out += 32;
                }
            }
        }
    });
    return blocked_.get();
}

// Trilinear interpolation of 16 pixels at a time from the regrouped lattice. Per pixel: its
// cell's near line plus the difference line times the blue fraction, then for two pixels at
// once the products with the red and green weights ((1 - fr)(1 - fg), fr (1 - fg), (1 - fr) fg,
// fr fg) summed per colour; one more round of shuffles and adds completes the sums of four pixels.
// Lattice colours come out exactly: the weights are exact at the cell's corners, and a blue on
// the lattice has fraction 0 (a blue of 1 takes the top plane's cells). `count` is a multiple of
// 16.
[[gnu::target("avx512f")]] void ColorCube::applyBlocked16(const PlanarSpan& span, std::size_t count) const
{
    const float* const lattice = blockedLattice();
    const std::size_t m = static_cast<std::size_t>(n_ - 1);
    const __m512 zero = _mm512_setzero_ps();
    const __m512 one = _mm512_set1_ps(1.0f);
    const __m512 scale = _mm512_set1_ps(scale_);
    // Red and green index cells below N - 1; blue also the top plane.
    const __m512i last[3] = {_mm512_set1_epi32(n_ - 2), _mm512_set1_epi32(n_ - 2), _mm512_set1_epi32(n_ - 1)};
    const __m512 cellFloats = _mm512_set1_ps(32.0f);
    const __m512 rowFloats = _mm512_set1_ps(static_cast<float>(m * 32));
    const __m512 planeFloats = _mm512_set1_ps(static_cast<float>(m * m * 32));
    alignas(64) std::int32_t offsets[16];
    alignas(64) float blue[16];
    // Block q of weights[h] holds the weights of red and green for pixels 4 q + 2 h and
    // 4 q + 2 h + 1 as (w00, w10) of both; weights[2 + h] as (w01, w11).
    alignas(64) float weights[4][16];
    for (std::size_t p = 0; p < count; p += 16) {
        // Lattice position: NaN and values below 0 land on 0 (the larger-of test gives its second
        // argument for NaN), values above 1 on the last cell's end.
        __m512 cell[3];
        __m512 frac[3];
        const float* planes[3] = {span.r + p, span.g + p, span.b + p};
#pragma GCC unroll 3
        for (int c = 0; c < 3; ++c) {
            const __m512 x = _mm512_mul_ps(_mm512_min_ps(_mm512_max_ps(_mm512_loadu_ps(planes[c]), zero), one), scale);
            cell[c] = _mm512_cvtepi32_ps(_mm512_min_epi32(_mm512_cvttps_epi32(x), last[c]));
            frac[c] = _mm512_sub_ps(x, cell[c]);
        }
        // Offsets are below 2^24 floats, so float arithmetic gives them exactly.
        const __m512 offset = _mm512_fmadd_ps(cell[2], planeFloats,
                                              _mm512_fmadd_ps(cell[1], rowFloats, _mm512_mul_ps(cell[0], cellFloats)));
        _mm512_store_si512(offsets, _mm512_cvttps_epi32(offset));
        _mm512_store_ps(blue, frac[2]);
        const __m512 r0 = _mm512_sub_ps(one, frac[0]);
        const __m512 g0 = _mm512_sub_ps(one, frac[1]);
        const __m512 w00 = _mm512_mul_ps(r0, g0);
        const __m512 w10 = _mm512_mul_ps(frac[0], g0);
        const __m512 w01 = _mm512_mul_ps(r0, frac[1]);
        const __m512 w11 = _mm512_mul_ps(frac[0], frac[1]);
        _mm512_store_ps(weights[0], _mm512_unpacklo_ps(w00, w10));
        _mm512_store_ps(weights[1], _mm512_unpackhi_ps(w00, w10));
        _mm512_store_ps(weights[2], _mm512_unpacklo_ps(w01, w11));
        _mm512_store_ps(weights[3], _mm512_unpackhi_ps(w01, w11));
        // Read back through memory: broadcasts from memory cost no shuffle (the compiler would
        // otherwise keep them in registers and extract every value with one).
        asm("" : "+m"(offsets), "+m"(blue), "+m"(weights));
        __m512 sums[4];
#pragma GCC unroll 4
        for (int q = 0; q < 4; ++q) {
            __m512 pairs[2];
#pragma GCC unroll 2
            for (int h = 0; h < 2; ++h) {
                const int a = 4 * q + 2 * h;
                const float* cellA = lattice + offsets[a];
                const float* cellB = lattice + offsets[a + 1];
                // R00 R10 R01 R11 | G... | B... | 0, blended along blue.
                const __m512 colourA = _mm512_fmadd_ps(_mm512_load_ps(cellA + 16), _mm512_set1_ps(blue[a]),
                                                       _mm512_load_ps(cellA));
                const __m512 colourB = _mm512_fmadd_ps(_mm512_load_ps(cellB + 16), _mm512_set1_ps(blue[a + 1]),
                                                       _mm512_load_ps(cellB));
                // (x00 x10 of A, of B) times (w00 w10 of A, of B), plus the same for 01 and 11.
                const __m512 nearGreen = _mm512_shuffle_ps(colourA, colourB, 0x44);
                const __m512 farGreen = _mm512_shuffle_ps(colourA, colourB, 0xEE);
                pairs[h] = _mm512_fmadd_ps(farGreen, _mm512_broadcast_f32x4(_mm_load_ps(&weights[2 + h][q * 4])),
                                           _mm512_mul_ps(nearGreen, _mm512_broadcast_f32x4(_mm_load_ps(&weights[h][q * 4]))));
            }
            // Block c: colour c of pixels 4 q .. 4 q + 3.
            sums[q] = _mm512_add_ps(_mm512_shuffle_ps(pairs[0], pairs[1], 0x88), _mm512_shuffle_ps(pairs[0], pairs[1], 0xDD));
        }
        const __m512i redGreenLow = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 16, 17, 18, 19, 20, 21, 22, 23);
        const __m512i blueLow = _mm512_setr_epi32(8, 9, 10, 11, 8, 9, 10, 11, 24, 25, 26, 27, 24, 25, 26, 27);
        const __m512 rg01 = _mm512_permutex2var_ps(sums[0], redGreenLow, sums[1]); // R0 G0 R1 G1 (blocks)
        const __m512 rg23 = _mm512_permutex2var_ps(sums[2], redGreenLow, sums[3]);
        const __m512 b01 = _mm512_permutex2var_ps(sums[0], blueLow, sums[1]);
        const __m512 b23 = _mm512_permutex2var_ps(sums[2], blueLow, sums[3]);
        const __m512i evenBlocks = _mm512_setr_epi32(0, 1, 2, 3, 8, 9, 10, 11, 16, 17, 18, 19, 24, 25, 26, 27);
        const __m512i oddBlocks = _mm512_setr_epi32(4, 5, 6, 7, 12, 13, 14, 15, 20, 21, 22, 23, 28, 29, 30, 31);
        _mm512_storeu_ps(span.r + p, _mm512_permutex2var_ps(rg01, evenBlocks, rg23));
        _mm512_storeu_ps(span.g + p, _mm512_permutex2var_ps(rg01, oddBlocks, rg23));
        _mm512_storeu_ps(span.b + p, _mm512_permutex2var_ps(b01, evenBlocks, b23));
    }
}

void ColorCube::apply(const PlanarSpan& span) const
{
    if (n_ <= maxBlockedDimension && lanes::haveAvx512()) {
        const std::size_t whole = span.paddedCount / 16 * 16;
        applyBlocked16(span, whole);
        if (whole == span.paddedCount) {
            return;
        }
        const PlanarSpan rest{span.r + whole, span.g + whole, span.b + whole, span.a + whole,
                              span.count > whole ? span.count - whole : 0, span.paddedCount - whole, span.where};
        lanes::forEachLaneUpTo8(Lanes{entries_.data(), scale_, n_ - 2, n_}, rest);
        return;
    }
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
