#include "platform/media/internal/YuvConvert.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <utility>
#include <vector>

#include "platform/dispatch/ConcurrentPerform.h"
#include "platform/image/Lanes.h"
#include "platform/image/PixelOp.h"

// Lane values wider than 16 bytes are passed by value only inside functions compiled for AVX.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace velmora::yuv {

namespace {

struct Coefficients {
    float kr;
    float kg;
    float kb;
    // R'G'B' from Y' and centred, unit-scaled Cb, Cr.
    float crToR;
    float cbToG;
    float crToG;
    float cbToB;
    // Cb, Cr from R'G'B' and Y'.
    float cbScale; // 1 / (2 (1 - kb))
    float crScale; // 1 / (2 (1 - kr))
};

Coefficients coefficientsOf(Matrix matrix)
{
    float kr = 0.2126f;
    float kb = 0.0722f;
    switch (matrix) {
    case Matrix::bt709: break;
    case Matrix::bt601: kr = 0.299f; kb = 0.114f; break;
    case Matrix::bt2020: kr = 0.2627f; kb = 0.0593f; break;
    case Matrix::smpte240: kr = 0.212f; kb = 0.087f; break;
    }
    const float kg = 1.0f - kr - kb;
    return {kr,
            kg,
            kb,
            2.0f * (1.0f - kr),
            2.0f * kb * (1.0f - kb) / kg,
            2.0f * kr * (1.0f - kr) / kg,
            2.0f * (1.0f - kb),
            1.0f / (2.0f * (1.0f - kb)),
            1.0f / (2.0f * (1.0f - kr))};
}

// Code value = offset + scale × normalised value (Y' in 0..1, Cb and Cr in -0.5..0.5).
struct Levels {
    float yOffset;
    float yScale;
    float cOffset;
    float cScale;
    float maxCode;
};

Levels levelsOf(int bitDepth, bool fullRange)
{
    const float unit = std::ldexp(1.0f, bitDepth - 8);
    const float maxCode = std::ldexp(1.0f, bitDepth) - 1.0f;
    const float half = std::ldexp(1.0f, bitDepth - 1);
    if (fullRange) {
        return {0.0f, maxCode, half, maxCode, maxCode};
    }
    return {16.0f * unit, 219.0f * unit, half, 224.0f * unit, maxCode};
}

inline float finiteOrZero(float v)
{
    return v == v ? v : 0.0f; // NaN never reaches a code value
}

inline unsigned toCode(float v, float maxCode)
{
    // +0.5 then truncation rounds half up for the non-negative values left after the clamp.
    const float clamped = std::min(std::max(v + 0.5f, 0.0f), maxCode);
    return static_cast<unsigned>(clamped);
}

template <typename T>
void readRows(const Planes& p, const Levels& l, const Coefficients& c, float* base, std::ptrdiff_t floatStride,
              int firstRow, int endRow)
{
    const float yMul = 1.0f / l.yScale;
    const float cMul = 1.0f / l.cScale;
    for (int r = firstRow; r < endRow; ++r) {
        const T* ys = reinterpret_cast<const T*>(p.data[0] + p.stride[0] * r);
        const int cr = r >> p.chromaShiftY;
        const T* us = nullptr;
        const T* vs = nullptr;
        int step = 1;
        if (!p.gray) {
            if (p.interleavedChroma) {
                us = reinterpret_cast<const T*>(p.data[1] + p.stride[1] * cr);
                vs = us + 1;
                step = 2;
            } else {
                us = reinterpret_cast<const T*>(p.data[1] + p.stride[1] * cr);
                vs = reinterpret_cast<const T*>(p.data[2] + p.stride[2] * cr);
            }
        }
        float* out = base + floatStride * r;
        for (int x = 0; x < p.width; ++x) {
            const float y = (static_cast<float>(ys[x]) - l.yOffset) * yMul;
            float u = 0;
            float v = 0;
            if (us) {
                const int cx = (x >> p.chromaShiftX) * step;
                u = (static_cast<float>(us[cx]) - l.cOffset) * cMul;
                v = (static_cast<float>(vs[cx]) - l.cOffset) * cMul;
            }
            out[4 * x + 0] = y + c.crToR * v;
            out[4 * x + 1] = y - c.cbToG * u - c.crToG * v;
            out[4 * x + 2] = y + c.cbToB * u;
            out[4 * x + 3] = 1.0f;
        }
    }
}

// ---- reading 4:2:0 / 4:2:2 Y'CbCr on lanes ----------------------------------------------------
//
// The common layouts (chroma halved horizontally, Cb and Cr interleaved or in two planes, 8 or
// 16-bit samples) are read W pixels at a time: W luma samples and the W/2 chroma pairs under them
// are widened to float, each chroma value doubled over its two pixels, and R'G'B' computed with
// the arithmetic of readRows (same operations in the same order, so the same floats where the
// compiler fuses nothing) into planar spans, which the image layer's transpose interleaves.

struct ReadConstants {
    float yOffset, yMul, cOffset, cMul, crToR, cbToG, crToG, cbToB;
};

template <class T, std::size_t W>
using SampleLanes [[gnu::vector_size(sizeof(T) * W)]] = T;

template <std::size_t W>
using FloatLanes [[gnu::vector_size(sizeof(float) * W)]] = float;

template <class V, std::size_t... I>
VELMORA_LANES_INLINE V evenPairs(const V& c, std::index_sequence<I...>)
{
    return __builtin_shufflevector(c, c, (I & ~std::size_t{1})...);
}

template <class V, std::size_t... I>
VELMORA_LANES_INLINE V oddPairs(const V& c, std::index_sequence<I...>)
{
    return __builtin_shufflevector(c, c, (I | std::size_t{1})...);
}

template <class H, std::size_t... I>
VELMORA_LANES_INLINE auto doubled(const H& c, std::index_sequence<I...>)
{
    return __builtin_shufflevector(c, c, (I >> 1)...);
}

// Pixels [x, x + W) of a row; x even.
template <class T, bool Interleaved, std::size_t W>
VELMORA_LANES_INLINE void readLanes(const T* ys, const T* us, const T* vs, int x, const ReadConstants& k, float* r,
                                    float* g, float* b)
{
    using S = SampleLanes<T, W>;
    using F = FloatLanes<W>;
    constexpr auto lanes = std::make_index_sequence<W>();
    S luma;
    std::memcpy(&luma, ys + x, sizeof luma);
    S cb;
    S cr;
    if constexpr (Interleaved) {
        S pairs;
        std::memcpy(&pairs, us + x, sizeof pairs); // W / 2 pairs of Cb, Cr
        cb = evenPairs(pairs, lanes);
        cr = oddPairs(pairs, lanes);
    } else {
        using H = SampleLanes<T, W / 2>;
        H halfCb;
        H halfCr;
        std::memcpy(&halfCb, us + x / 2, sizeof halfCb);
        std::memcpy(&halfCr, vs + x / 2, sizeof halfCr);
        cb = doubled(halfCb, lanes);
        cr = doubled(halfCr, lanes);
    }
    const F y = (__builtin_convertvector(luma, F) - k.yOffset) * k.yMul;
    const F u = (__builtin_convertvector(cb, F) - k.cOffset) * k.cMul;
    const F v = (__builtin_convertvector(cr, F) - k.cOffset) * k.cMul;
    const F red = y + k.crToR * v;
    const F green = y - k.cbToG * u - k.crToG * v;
    const F blue = y + k.cbToB * u;
    std::memcpy(r, &red, sizeof red);
    std::memcpy(g, &green, sizeof green);
    std::memcpy(b, &blue, sizeof blue);
}

// Pixels [x, end) one at a time, as readRows does.
template <class T, bool Interleaved>
VELMORA_LANES_INLINE void readOneByOne(const T* ys, const T* us, const T* vs, int x, int end, const ReadConstants& k,
                                       float* r, float* g, float* b)
{
    for (; x < end; ++x, ++r, ++g, ++b) {
        const int c = x >> 1;
        const float y = (static_cast<float>(ys[x]) - k.yOffset) * k.yMul;
        const float u = (static_cast<float>(Interleaved ? us[2 * c] : us[c]) - k.cOffset) * k.cMul;
        const float v = (static_cast<float>(Interleaved ? us[2 * c + 1] : vs[c]) - k.cOffset) * k.cMul;
        *r = y + k.crToR * v;
        *g = y - k.cbToG * u - k.crToG * v;
        *b = y + k.cbToB * u;
    }
}

template <class T, bool Interleaved, std::size_t W>
VELMORA_LANES_INLINE void readSpan(const T* ys, const T* us, const T* vs, int x, int count, const ReadConstants& k,
                                   const PlanarSpan& span)
{
    int i = 0;
    for (; i + static_cast<int>(W) <= count; i += static_cast<int>(W)) {
        readLanes<T, Interleaved, W>(ys, us, vs, x + i, k, span.r + i, span.g + i, span.b + i);
    }
    readOneByOne<T, Interleaved>(ys, us, vs, x + i, x + count, k, span.r + i, span.g + i, span.b + i);
}

template <class T, bool Interleaved>
[[gnu::target("avx512f,avx512bw,avx512dq,avx512vl,avx2,fma")]] [[gnu::noinline]] void
readSpanAvx512(const T* ys, const T* us, const T* vs, int x, int count, const ReadConstants& k, const PlanarSpan& span)
{
    readSpan<T, Interleaved, 16>(ys, us, vs, x, count, k, span);
}

template <class T, bool Interleaved>
[[gnu::target("avx2,fma")]] [[gnu::noinline]] void
readSpanAvx2(const T* ys, const T* us, const T* vs, int x, int count, const ReadConstants& k, const PlanarSpan& span)
{
    readSpan<T, Interleaved, 8>(ys, us, vs, x, count, k, span);
}

template <class T, bool Interleaved>
[[gnu::noinline]] void readSpanBaseline(const T* ys, const T* us, const T* vs, int x, int count,
                                        const ReadConstants& k, const PlanarSpan& span)
{
    readSpan<T, Interleaved, 4>(ys, us, vs, x, count, k, span);
}

// Rows [firstRow, endRow) of a layout with chroma halved horizontally, in spans of
// maxSpanPixels: computed planar, then interleaved into the image (with cache-bypassing stores
// for a frame too large to stay in the caches).
template <class T, bool Interleaved>
void readRowsOnLanes(const Planes& p, const Levels& l, const Coefficients& c, float* base, std::ptrdiff_t floatStride,
                     bool streaming, int firstRow, int endRow)
{
    const ReadConstants k{l.yOffset, 1.0f / l.yScale, l.cOffset, 1.0f / l.cScale, c.crToR, c.cbToG, c.crToG, c.cbToB};
    alignas(64) float planes[4][maxSpanPixels];
    std::fill(std::begin(planes[3]), std::end(planes[3]), 1.0f);
    const bool avx512 = lanes::haveAvx512();
    const bool avx2 = lanes::haveAvx2();
    for (int r = firstRow; r < endRow; ++r) {
        const T* ys = reinterpret_cast<const T*>(p.data[0] + p.stride[0] * r);
        const int chromaRow = r >> p.chromaShiftY;
        const T* us = reinterpret_cast<const T*>(p.data[1] + p.stride[1] * chromaRow);
        const T* vs = Interleaved ? nullptr : reinterpret_cast<const T*>(p.data[2] + p.stride[2] * chromaRow);
        float* out = base + floatStride * r;
        for (int x = 0; x < p.width; x += static_cast<int>(maxSpanPixels)) {
            PlanarSpan span{planes[0], planes[1], planes[2], planes[3]};
            span.count = std::min<std::size_t>(maxSpanPixels, static_cast<std::size_t>(p.width - x));
            span.paddedCount = span.count;
            const int count = static_cast<int>(span.count);
            if (avx512) {
                readSpanAvx512<T, Interleaved>(ys, us, vs, x, count, k, span);
            } else if (avx2) {
                readSpanAvx2<T, Interleaved>(ys, us, vs, x, count, k, span);
            } else {
                readSpanBaseline<T, Interleaved>(ys, us, vs, x, count, k, span);
            }
            streaming ? interleaveStreaming(span, out + 4 * x) : interleave(span, out + 4 * x);
        }
    }
    if (streaming) {
        finishStreaming();
    }
}

// Row source for fromImage/imageToBgra: the float RGBA row of the image that lands on output row
// r (top first) of an output of width × height, black outside the image.
class RowSource {
public:
    RowSource(const Image& image, int width, int height) : image_(image), width_(width)
    {
        if (image.hasPixels()) {
            rowOffset_ = image.originY() + image.height() - height;
            direct_ = !image.hasPendingOps() && image.originX() <= 0 &&
                      image.originX() + image.width() >= width && rowOffset_ >= 0 &&
                      rowOffset_ + height <= image.height();
        }
    }

    // True when row() points into the image itself (then rows stay valid together).
    bool isDirect() const { return direct_; }

    // Valid until the next call on this thread unless isDirect().
    const float* row(int r) const
    {
        thread_local std::vector<float> composed;
        thread_local std::vector<float> rendered;
        if (image_.isConstant()) {
            fill(composed, image_.constantColor());
            return composed.data();
        }
        if (!image_.hasPixels()) {
            fill(composed, Color{0, 0, 0, 0});
            return composed.data();
        }
        const int i = r + rowOffset_;
        if (i < 0 || i >= image_.height()) {
            fill(composed, Color{0, 0, 0, 0});
            return composed.data();
        }
        const float* source = nullptr;
        if (image_.hasPendingOps()) {
            rendered.resize(static_cast<std::size_t>(image_.width()) * 4);
            image_.renderRows(i, 1, rendered.data(), image_.width() * 4);
            source = rendered.data();
        } else {
            source = image_.row(i);
        }
        const int ox = image_.originX();
        if (direct_) {
            // Every output row lies inside the image: point into it.
            return source + static_cast<std::ptrdiff_t>(-ox) * 4;
        }
        fill(composed, Color{0, 0, 0, 0});
        const int x0 = std::max(0, ox);
        const int x1 = std::min(width_, ox + image_.width());
        if (x1 > x0) {
            std::copy(source + static_cast<std::ptrdiff_t>(x0 - ox) * 4, source + static_cast<std::ptrdiff_t>(x1 - ox) * 4,
                      composed.data() + static_cast<std::ptrdiff_t>(x0) * 4);
        }
        return composed.data();
    }

private:
    void fill(std::vector<float>& row, const Color& color) const
    {
        row.resize(static_cast<std::size_t>(width_) * 4);
        for (int x = 0; x < width_; ++x) {
            row[4 * x + 0] = color.r;
            row[4 * x + 1] = color.g;
            row[4 * x + 2] = color.b;
            row[4 * x + 3] = color.a;
        }
    }

    const Image& image_;
    int width_;
    int rowOffset_ = 0;
    bool direct_ = false;
};

// Writes chroma rows [firstChromaRow, endChromaRow) and their luma rows. Chroma blocks are two
// pixels wide (every output layout subsamples horizontally) and, for 4:2:0, two rows high; a
// block cut short by an odd edge averages the pixels it has.
template <typename T, bool TwoRows>
void writeBlockRows(const Planes& p, const RowSource& source, const Levels& l, const Coefficients& c,
                    int firstChromaRow, int endChromaRow)
{
    const int shift = p.storeShift;
    const int pairs = p.width / 2;
    const bool oddWidth = (p.width & 1) != 0;
    const float yOff = l.yOffset + 0.5f;
    const float cOff = l.cOffset + 0.5f;
    const float maxCode = l.maxCode;
    const int step = p.interleavedChroma ? 2 : 1;
    auto code = [&](float v, float offset, float scale) {
        const float x = std::min(std::max(v * scale + offset, 0.0f), maxCode);
        return static_cast<T>(static_cast<unsigned>(x) << shift);
    };
    auto luma = [&](float r, float g, float b) { return c.kr * r + c.kg * g + c.kb * b; };
    thread_local std::vector<float> firstRow;
    for (int cr = firstChromaRow; cr < endChromaRow; ++cr) {
        const int r0 = TwoRows ? 2 * cr : cr;
        const bool second = TwoRows && r0 + 1 < p.height;
        const float* a = source.row(r0);
        if (second && !source.isDirect()) {
            // A composed row lives in a per-thread buffer that the next row() call reuses.
            firstRow.assign(a, a + static_cast<std::ptrdiff_t>(p.width) * 4);
            a = firstRow.data();
        }
        const float* b = second ? source.row(r0 + 1) : a;
        T* ya = reinterpret_cast<T*>(p.data[0] + p.stride[0] * r0);
        T* yb = second ? reinterpret_cast<T*>(p.data[0] + p.stride[0] * (r0 + 1)) : nullptr;
        T* us = reinterpret_cast<T*>(p.data[1] + p.stride[1] * cr);
        T* vs = p.interleavedChroma ? us + 1 : reinterpret_cast<T*>(p.data[2] + p.stride[2] * cr);
        for (int i = 0; i < pairs; ++i) {
            const float* pa = a + 8 * i;
            const float* pb = b + 8 * i;
            const float ra0 = finiteOrZero(pa[0]), ga0 = finiteOrZero(pa[1]), ba0 = finiteOrZero(pa[2]);
            const float ra1 = finiteOrZero(pa[4]), ga1 = finiteOrZero(pa[5]), ba1 = finiteOrZero(pa[6]);
            const float rb0 = finiteOrZero(pb[0]), gb0 = finiteOrZero(pb[1]), bb0 = finiteOrZero(pb[2]);
            const float rb1 = finiteOrZero(pb[4]), gb1 = finiteOrZero(pb[5]), bb1 = finiteOrZero(pb[6]);
            ya[2 * i] = code(luma(ra0, ga0, ba0), yOff, l.yScale);
            ya[2 * i + 1] = code(luma(ra1, ga1, ba1), yOff, l.yScale);
            if (yb) {
                yb[2 * i] = code(luma(rb0, gb0, bb0), yOff, l.yScale);
                yb[2 * i + 1] = code(luma(rb1, gb1, bb1), yOff, l.yScale);
            }
            // b repeats a when the block has one row, so a quarter of the sum is its average.
            const float rr = 0.25f * (ra0 + ra1 + rb0 + rb1);
            const float gg = 0.25f * (ga0 + ga1 + gb0 + gb1);
            const float bb = 0.25f * (ba0 + ba1 + bb0 + bb1);
            const float y = luma(rr, gg, bb);
            us[i * step] = code((bb - y) * c.cbScale, cOff, l.cScale);
            vs[i * step] = code((rr - y) * c.crScale, cOff, l.cScale);
        }
        if (oddWidth) {
            const int x = p.width - 1;
            const float* pa = a + 4 * x;
            const float* pb = b + 4 * x;
            const float ra = finiteOrZero(pa[0]), ga = finiteOrZero(pa[1]), ba = finiteOrZero(pa[2]);
            const float rb = finiteOrZero(pb[0]), gb = finiteOrZero(pb[1]), bb = finiteOrZero(pb[2]);
            ya[x] = code(luma(ra, ga, ba), yOff, l.yScale);
            if (yb) {
                yb[x] = code(luma(rb, gb, bb), yOff, l.yScale);
            }
            const float rr = 0.5f * (ra + rb);
            const float gg = 0.5f * (ga + gb);
            const float bl = 0.5f * (ba + bb);
            const float y = luma(rr, gg, bl);
            us[pairs * step] = code((bl - y) * c.cbScale, cOff, l.cScale);
            vs[pairs * step] = code((rr - y) * c.crScale, cOff, l.cScale);
        }
    }
}

std::size_t minRowsPerChunk(int width)
{
    return std::max<std::size_t>(1, 32768 / static_cast<std::size_t>(std::max(1, width)));
}

} // namespace

Matrix matrixFromTag(const std::string& tag)
{
    if (tag == "ITU_R_601_4") return Matrix::bt601;
    if (tag == "ITU_R_2020") return Matrix::bt2020;
    if (tag == "SMPTE_240M_1995") return Matrix::smpte240;
    return Matrix::bt709;
}

Image toImage(const Planes& planes)
{
    Image image = Image::allocate(planes.width, planes.height);
    float* base = image.mutableRow(0);
    const std::ptrdiff_t stride = image.rowStride();
    const Levels levels = levelsOf(planes.bitDepth, planes.fullRange);
    const Coefficients coefficients = coefficientsOf(planes.matrix);
    // Frames beyond this size do not stay in the caches: their pixels bypass them.
    constexpr std::size_t kStreamingBytes = std::size_t{16} << 20;
    const bool streaming =
        static_cast<std::size_t>(planes.width) * static_cast<std::size_t>(planes.height) * 16 > kStreamingBytes;
    const bool onLanes = !planes.gray && planes.chromaShiftX == 1;
    concurrentPerform(static_cast<std::size_t>(planes.height), minRowsPerChunk(planes.width),
                      [&](std::size_t begin, std::size_t end) {
                          const int b = static_cast<int>(begin);
                          const int e = static_cast<int>(end);
                          if (onLanes && planes.bytesPerSample == 1) {
                              planes.interleavedChroma
                                  ? readRowsOnLanes<std::uint8_t, true>(planes, levels, coefficients, base, stride,
                                                                        streaming, b, e)
                                  : readRowsOnLanes<std::uint8_t, false>(planes, levels, coefficients, base, stride,
                                                                         streaming, b, e);
                          } else if (onLanes) {
                              planes.interleavedChroma
                                  ? readRowsOnLanes<std::uint16_t, true>(planes, levels, coefficients, base, stride,
                                                                         streaming, b, e)
                                  : readRowsOnLanes<std::uint16_t, false>(planes, levels, coefficients, base, stride,
                                                                          streaming, b, e);
                          } else if (planes.bytesPerSample == 1) {
                              readRows<std::uint8_t>(planes, levels, coefficients, base, stride, b, e);
                          } else {
                              readRows<std::uint16_t>(planes, levels, coefficients, base, stride, b, e);
                          }
                      });
    return image;
}

void fromImage(const Image& image, const Planes& planes)
{
    const RowSource source(image, planes.width, planes.height);
    const Levels levels = levelsOf(planes.bitDepth - planes.storeShift, planes.fullRange);
    const Coefficients coefficients = coefficientsOf(planes.matrix);
    const int chromaRows = (planes.height + (1 << planes.chromaShiftY) - 1) >> planes.chromaShiftY;
    concurrentPerform(static_cast<std::size_t>(chromaRows), minRowsPerChunk(planes.width),
                      [&](std::size_t begin, std::size_t end) {
                          const int b = static_cast<int>(begin);
                          const int e = static_cast<int>(end);
                          const bool twoRows = planes.chromaShiftY == 1;
                          if (planes.bytesPerSample == 1) {
                              twoRows ? writeBlockRows<std::uint8_t, true>(planes, source, levels, coefficients, b, e)
                                      : writeBlockRows<std::uint8_t, false>(planes, source, levels, coefficients, b, e);
                          } else {
                              twoRows ? writeBlockRows<std::uint16_t, true>(planes, source, levels, coefficients, b, e)
                                      : writeBlockRows<std::uint16_t, false>(planes, source, levels, coefficients, b, e);
                          }
                      });
}

Image bgraToImage(const std::uint8_t* data, std::ptrdiff_t stride, int width, int height)
{
    Image image = Image::allocate(width, height);
    float* base = image.mutableRow(0);
    const std::ptrdiff_t floatStride = image.rowStride();
    concurrentPerform(static_cast<std::size_t>(height), minRowsPerChunk(width), [&](std::size_t begin, std::size_t end) {
        constexpr float scale = 1.0f / 255.0f;
        for (std::size_t r = begin; r < end; ++r) {
            const std::uint8_t* in = data + stride * static_cast<std::ptrdiff_t>(r);
            float* out = base + floatStride * static_cast<std::ptrdiff_t>(r);
            for (int x = 0; x < width; ++x) {
                out[4 * x + 0] = in[4 * x + 2] * scale;
                out[4 * x + 1] = in[4 * x + 1] * scale;
                out[4 * x + 2] = in[4 * x + 0] * scale;
                out[4 * x + 3] = in[4 * x + 3] * scale;
            }
        }
    });
    return image;
}

void imageToBgra(const Image& image, std::uint8_t* data, std::ptrdiff_t stride, int width, int height)
{
    const RowSource source(image, width, height);
    concurrentPerform(static_cast<std::size_t>(height), minRowsPerChunk(width), [&](std::size_t begin, std::size_t end) {
        for (std::size_t r = begin; r < end; ++r) {
            const float* in = source.row(static_cast<int>(r));
            std::uint8_t* out = data + stride * static_cast<std::ptrdiff_t>(r);
            for (int x = 0; x < width; ++x) {
                out[4 * x + 0] = static_cast<std::uint8_t>(toCode(255.0f * finiteOrZero(in[4 * x + 2]), 255.0f));
                out[4 * x + 1] = static_cast<std::uint8_t>(toCode(255.0f * finiteOrZero(in[4 * x + 1]), 255.0f));
                out[4 * x + 2] = static_cast<std::uint8_t>(toCode(255.0f * finiteOrZero(in[4 * x + 0]), 255.0f));
                out[4 * x + 3] = static_cast<std::uint8_t>(toCode(255.0f * finiteOrZero(in[4 * x + 3]), 255.0f));
            }
        }
    });
}

} // namespace velmora::yuv
