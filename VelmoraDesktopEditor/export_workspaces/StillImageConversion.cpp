#include "export_workspaces/StillImageConversion.h"

#include <cmath>
#include <cstdint>

#include "platform/dispatch/ConcurrentPerform.h"

namespace velmora {

namespace {

std::uint8_t codeValue(float value)
{
    // NaN fails both comparisons and ends at 0.
    if (!(value > 0.0f))
        return 0;
    if (value >= 1.0f)
        return 255;
    return static_cast<std::uint8_t>(std::lround(value * 255.0f));
}

} // namespace

QImage stillImageToQImage(const Image& image)
{
    if (!image.hasPixels() || image.width() <= 0 || image.height() <= 0)
        return {};
    const int width = image.width();
    QImage picture(width, image.height(), QImage::Format_RGBA8888);
    if (picture.isNull())
        return {};
    // The first read renders any pending steps once, before the rows are shared out; bits()
    // detaches here, on one thread, so the workers only write.
    (void)image.row(0);
    std::uint8_t* bits = picture.bits();
    const qsizetype bytesPerLine = picture.bytesPerLine();
    concurrentPerform(static_cast<std::size_t>(image.height()), 16, [&](std::size_t begin, std::size_t end) {
        for (std::size_t y = begin; y < end; ++y) {
            const float* source = image.row(static_cast<int>(y));
            std::uint8_t* target = bits + static_cast<qsizetype>(y) * bytesPerLine;
            for (int i = 0; i < width * 4; ++i)
                target[i] = codeValue(source[i]);
        }
    });
    return picture;
}

} // namespace velmora
