#include "inspectors/ImageConversion.h"

#include <algorithm>
#include <cmath>

#include "platform/dispatch/ConcurrentPerform.h"

namespace velmora {
namespace {

uchar toCode(float value)
{
    // NaN fails the comparison and becomes 0.
    const float clamped = value > 0.0f ? std::min(value, 1.0f) : 0.0f;
    return static_cast<uchar>(clamped * 255.0f + 0.5f);
}

} // namespace

QImage toQImage(const Image& image)
{
    if (!image.hasPixels() || image.width() < 1 || image.height() < 1)
        return {};
    const Image pixels = image.rendered();
    QImage result(pixels.width(), pixels.height(), QImage::Format_RGBA8888);
    if (result.isNull())
        return {};
    const int width = pixels.width();
    // Taken once here: scanLine() may detach and must not run on several threads.
    uchar* const bits = result.bits();
    const qsizetype bytesPerLine = result.bytesPerLine();
    concurrentPerform(static_cast<std::size_t>(pixels.height()), 16, [&](std::size_t begin, std::size_t end) {
        for (std::size_t y = begin; y < end; ++y) {
            const float* source = pixels.row(static_cast<int>(y));
            uchar* target = bits + static_cast<qsizetype>(y) * bytesPerLine;
            for (int i = 0; i < width * 4; ++i)
                target[i] = toCode(source[i]);
        }
    });
    return result;
}

} // namespace velmora
