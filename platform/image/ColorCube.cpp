#include "platform/image/ColorCube.h"

#include <cstring>
#include <stdexcept>

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

struct CubeStep {
    std::shared_ptr<const ColorCube> cube;
    void apply(float* rgba, std::size_t n, const SpanPosition*) const { cube->apply(rgba, n); }
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

void ColorCube::apply(float* rgba, std::size_t count) const
{
    const float* lattice = entries_.data();
    const int last = n_ - 2;
    const std::ptrdiff_t dg = static_cast<std::ptrdiff_t>(n_) * 4;
    const std::ptrdiff_t db = dg * n_;
    for (std::size_t p = 0; p < count; ++p) {
        float* px = rgba + p * 4;
        int ir, ig, ib;
        float fr, fg, fb;
        locate(px[0], scale_, last, ir, fr);
        locate(px[1], scale_, last, ig, fg);
        locate(px[2], scale_, last, ib, fb);
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
        const v4sf out = c0 + (c1 - c0) * fb;
        px[0] = out[0];
        px[1] = out[1];
        px[2] = out[2];
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
    return image.appending(PixelOp::make(CubeStep{std::move(cube)}));
}

} // namespace velmora
