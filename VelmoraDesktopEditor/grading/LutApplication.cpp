#include "grading/LutApplication.h"

#include <algorithm>
#include <cmath>

#include "platform/image/ColorOps.h"

namespace velmora::Exporter {

namespace {

// Larger lattices are not in use and would cost gigabytes.
constexpr std::int64_t maxFilterSize = 256;

} // namespace

std::optional<Image> CubeFilter::outputImage(const Image& input) const
{
    if (!cube_) {
        return std::nullopt;
    }
    return colorCube(input, cube_);
}

CubeFilter makeCubeFilter(const CubeLUT& cube)
{
    const std::int64_t n = cube.size;
    if (n < 2 || n > maxFilterSize) {
        return {};
    }
    const std::size_t expected = static_cast<std::size_t>(n * n * n) * 4 * sizeof(float);
    if (cube.data.size() != expected) {
        return {};
    }
    return CubeFilter(std::make_shared<const ColorCube>(static_cast<int>(n), cube.floats()));
}

Image applyCubeLUTImage(const Image& image, const CubeLUT& /*cube*/, const CubeFilter& filter,
                        double strength)
{
    const double s = std::clamp(std::isnan(strength) ? 0.0 : strength, 0.0, 1.0);
    if (s <= 0.0001) {
        return image;
    }
    const Image full = filter.outputImage(image).value_or(image);
    if (s >= 0.9999) {
        return full;
    }
    return dissolve(image, full, s);
}

const ColorSpace& csExport()
{
    static const ColorSpace space{"sRGB"};
    return space;
}

Image tagCIImage(const Image& image)
{
    return image;
}

void tagPixelBufferDecode(ImageTags& attachments)
{
    if (attachments.colorRange.empty()) {
        attachments.colorRange = colorRangeVideo;
    }
    if (attachments.yCbCrMatrix.empty()) {
        attachments.yCbCrMatrix = itu709;
    }
    if (attachments.colorPrimaries.empty()) {
        attachments.colorPrimaries = itu709;
    }
    if (attachments.transferFunction.empty()) {
        attachments.transferFunction = itu709;
    }
}

void tagPixelBufferExport(ImageTags& attachments, const std::string& transfer,
                          std::optional<double> gammaLevel)
{
    attachments.colorPrimaries = itu709;
    attachments.transferFunction = transfer;
    attachments.yCbCrMatrix = itu709;
    attachments.colorRange = colorRangeVideo;
    if (gammaLevel && std::isfinite(*gammaLevel) && *gammaLevel > 0) {
        attachments.gammaLevel = gammaLevel;
    }
}

} // namespace velmora::Exporter
