#include "platform/media/internal/YuvConvert.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/dispatch/ConcurrentPerform.h"

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

// Row source for fromImage/imageToBgra: the float RGBA row of the image that lands on output row
// r (top first) of an output of width × height, black outside the image.
class RowSource {
public:
    RowSource(const Image& image, int width, int height) : image_(image), width_(width), height_(height)
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
    int height_;
    int rowOffset_ = 0;
    bool direct_ = false;
};

template <typename T>
void writeChromaRows(const Planes& p, const RowSource& source, const Levels& l, const Coefficients& c,
                     int firstChromaRow, int endChromaRow)
{
    const int blockH = 1 << p.chromaShiftY;
    const int blockW = 1 << p.chromaShiftX;
    const int chromaWidth = (p.width + blockW - 1) >> p.chromaShiftX;
    const int shift = p.storeShift;
    for (int cr = firstChromaRow; cr < endChromaRow; ++cr) {
        const int r0 = cr * blockH;
        const int rows = std::min(blockH, p.height - r0);
        // A composed row lives in a per-thread buffer that the next row() call reuses, so the
        // first row of a block is kept aside while the second is fetched.
        const float* in[2] = {nullptr, nullptr};
        thread_local std::vector<float> firstRow;
        for (int k = 0; k < rows; ++k) {
            const float* row = source.row(r0 + k);
            if (k == 0 && rows > 1 && !source.isDirect()) {
                firstRow.assign(row, row + static_cast<std::ptrdiff_t>(p.width) * 4);
                row = firstRow.data();
            }
            in[k] = row;
            T* ys = reinterpret_cast<T*>(p.data[0] + p.stride[0] * (r0 + k));
            for (int x = 0; x < p.width; ++x) {
                const float rr = finiteOrZero(row[4 * x + 0]);
                const float gg = finiteOrZero(row[4 * x + 1]);
                const float bb = finiteOrZero(row[4 * x + 2]);
                const float y = c.kr * rr + c.kg * gg + c.kb * bb;
                ys[x] = static_cast<T>(toCode(l.yOffset + l.yScale * y, l.maxCode) << shift);
            }
        }
        T* us = nullptr;
        T* vs = nullptr;
        int step = 1;
        if (p.interleavedChroma) {
            us = reinterpret_cast<T*>(p.data[1] + p.stride[1] * cr);
            vs = us + 1;
            step = 2;
        } else {
            us = reinterpret_cast<T*>(p.data[1] + p.stride[1] * cr);
            vs = reinterpret_cast<T*>(p.data[2] + p.stride[2] * cr);
        }
        for (int cx = 0; cx < chromaWidth; ++cx) {
            const int x0 = cx * blockW;
            const int cols = std::min(blockW, p.width - x0);
            float rr = 0;
            float gg = 0;
            float bb = 0;
            for (int k = 0; k < rows; ++k) {
                for (int j = 0; j < cols; ++j) {
                    const float* px = in[k] + 4 * (x0 + j);
                    rr += finiteOrZero(px[0]);
                    gg += finiteOrZero(px[1]);
                    bb += finiteOrZero(px[2]);
                }
            }
            const float n = 1.0f / static_cast<float>(rows * cols);
            rr *= n;
            gg *= n;
            bb *= n;
            const float y = c.kr * rr + c.kg * gg + c.kb * bb;
            const float u = (bb - y) * c.cbScale;
            const float v = (rr - y) * c.crScale;
            us[cx * step] = static_cast<T>(toCode(l.cOffset + l.cScale * u, l.maxCode) << shift);
            vs[cx * step] = static_cast<T>(toCode(l.cOffset + l.cScale * v, l.maxCode) << shift);
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
    concurrentPerform(static_cast<std::size_t>(planes.height), minRowsPerChunk(planes.width),
                      [&](std::size_t begin, std::size_t end) {
                          if (planes.bytesPerSample == 1) {
                              readRows<std::uint8_t>(planes, levels, coefficients, base, stride,
                                                     static_cast<int>(begin), static_cast<int>(end));
                          } else {
                              readRows<std::uint16_t>(planes, levels, coefficients, base, stride,
                                                      static_cast<int>(begin), static_cast<int>(end));
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
                          if (planes.bytesPerSample == 1) {
                              writeChromaRows<std::uint8_t>(planes, source, levels, coefficients,
                                                            static_cast<int>(begin), static_cast<int>(end));
                          } else {
                              writeChromaRows<std::uint16_t>(planes, source, levels, coefficients,
                                                             static_cast<int>(begin), static_cast<int>(end));
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
