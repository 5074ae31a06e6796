#pragma once

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <string>

#include "platform/image/Image.h"

namespace velmora::stills {

// `.cube` text of size n whose entry at lattice point (r, g, b) is f(r, g, b), red fastest.
inline std::string cubeText(int n, const std::function<Color(float, float, float)>& f)
{
    std::string text = "TITLE \"test\"\nLUT_3D_SIZE " + std::to_string(n) + "\n";
    const auto put = [&text](float v) {
        char buffer[32];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
        text.append(buffer, result.ptr);
    };
    for (int k = 0; k < n; ++k) {
        for (int j = 0; j < n; ++j) {
            for (int i = 0; i < n; ++i) {
                const Color c = f(i / float(n - 1), j / float(n - 1), k / float(n - 1));
                put(c.r);
                text += ' ';
                put(c.g);
                text += ' ';
                put(c.b);
                text += '\n';
            }
        }
    }
    return text;
}

// A cube that trilinear interpolation reproduces exactly: a warm, lifted affine map.
inline std::string warmCubeText()
{
    return cubeText(3, [](float r, float g, float b) {
        return Color{0.8f * r + 0.15f, 0.9f * g + 0.05f, 0.7f * b + 0.02f, 1};
    });
}

inline Color warmCube(const Color& c)
{
    return {0.8f * c.r + 0.15f, 0.9f * c.g + 0.05f, 0.7f * c.b + 0.02f, c.a};
}

// width x height pixels at the origin; pixel (x, y) in y-up extent space gets f(x, y).
inline Image patternImage(int width, int height, const std::function<Color(int, int)>& f)
{
    Image image = Image::allocate(width, height);
    for (int row = 0; row < height; ++row) {
        float* p = image.mutableRow(row);
        const int y = height - 1 - row;
        for (int x = 0; x < width; ++x) {
            const Color c = f(x, y);
            p[4 * x + 0] = c.r;
            p[4 * x + 1] = c.g;
            p[4 * x + 2] = c.b;
            p[4 * x + 3] = c.a;
        }
    }
    return image;
}

// The largest difference of any colour component between two images of the same extent; a
// large number when the extents differ.
inline double maxDifference(const Image& a, const Image& b)
{
    if (!(a.extent() == b.extent()) || !a.hasPixels()) {
        return 1e9;
    }
    double worst = 0;
    for (int row = 0; row < a.height(); ++row) {
        const float* pa = a.row(row);
        const float* pb = b.row(row);
        for (int i = 0; i < 4 * a.width(); ++i) {
            const double d = std::abs(static_cast<double>(pa[i]) - pb[i]);
            if (std::isnan(d)) {
                return 1e9;
            }
            worst = std::max(worst, d);
        }
    }
    return worst;
}

} // namespace velmora::stills
