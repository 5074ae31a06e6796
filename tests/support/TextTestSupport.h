#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "platform/image/Image.h"
#include "platform/text/TextEngine.h"

// fontconfig keeps (and partly loses) what it allocates while parsing its configuration, the
// first time Qt loads the font database; that is not ours to free. Weak, so that a test
// executable may define its own list.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

namespace velmora::test {

// Text is laid out by Qt, which these tests run on its offscreen platform: no display needed.
struct OffscreenTextEnvironment : ::testing::Environment {
    void SetUp() override { velmora::ensureTextEngine(); }
};

inline const bool offscreenTextRegistered = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::testing::AddGlobalTestEnvironment(new OffscreenTextEnvironment);
    return true;
}();

// The y-up bounding box of the pixels whose alpha is above `threshold` (empty when none),
// in extent space.
inline Rect alphaBounds(const Image& image, float threshold = 0.0f)
{
    if (!image.hasPixels()) {
        return {};
    }
    int minX = std::numeric_limits<int>::max();
    int minY = std::numeric_limits<int>::max();
    int maxX = std::numeric_limits<int>::min();
    int maxY = std::numeric_limits<int>::min();
    for (int r = 0; r < image.height(); ++r) {
        const float* row = image.row(r);
        const int y = image.originY() + image.height() - 1 - r;
        for (int i = 0; i < image.width(); ++i) {
            if (row[i * 4 + 3] > threshold) {
                const int x = image.originX() + i;
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
        }
    }
    if (minX > maxX) {
        return {};
    }
    return {double(minX), double(minY), double(maxX - minX + 1), double(maxY - minY + 1)};
}

// Sum of the alpha of y-up row `y` over the image's pixels (0 outside).
inline double rowAlphaSum(const Image& image, int y)
{
    if (!image.hasPixels() || y < image.originY() || y >= image.originY() + image.height()) {
        return 0;
    }
    const float* row = image.row(image.originY() + image.height() - 1 - y);
    double sum = 0;
    for (int i = 0; i < image.width(); ++i) {
        sum += row[i * 4 + 3];
    }
    return sum;
}

// Sum of the alpha of y-up column `x`.
inline double columnAlphaSum(const Image& image, int x)
{
    double sum = 0;
    for (int y = image.originY(); y < image.originY() + image.height(); ++y) {
        sum += image.pixel(x, y).a;
    }
    return sum;
}

inline float maxAlpha(const Image& image)
{
    float m = 0;
    for (int r = 0; r < image.height(); ++r) {
        const float* row = image.row(r);
        for (int i = 0; i < image.width(); ++i) {
            m = std::max(m, row[i * 4 + 3]);
        }
    }
    return m;
}

} // namespace velmora::test
