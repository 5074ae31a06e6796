#pragma once

#include <memory>
#include <optional>
#include <string>

#include "grading/CubeLUT.h"
#include "platform/image/ColorCube.h"
#include "platform/image/Image.h"

namespace velmora::Exporter {

// The colour-cube filter of one CubeLUT: the cube prepared once for applying. Unlike a filter
// object that holds its input image, this one takes the image as an argument, so one filter may
// be shared between threads (the cached filters of the grading caches and of the preview grader)
// without any locking.
class CubeFilter {
public:
    CubeFilter() = default;
    explicit CubeFilter(std::shared_ptr<const ColorCube> cube) : cube_(std::move(cube)) {}

    // The filter's output for `input`: the cube applied in whatever values the image holds (no
    // colour space is involved), or nothing when the filter was made from an unusable cube.
    std::optional<Image> outputImage(const Image& input) const;

    bool isUsable() const { return static_cast<bool>(cube_); }
    const std::shared_ptr<const ColorCube>& cube() const { return cube_; }

private:
    std::shared_ptr<const ColorCube> cube_;
};

// A filter for `cube` with dimension = its size. A cube whose data does not hold 16 * size^3
// bytes, or whose size is below 2 or impractically large, gives a filter that yields no image.
CubeFilter makeCubeFilter(const CubeLUT& cube);

// The cube at a strength: s = strength clamped to [0, 1]; s <= 0.0001 returns the input itself;
// s >= 0.9999 returns the filter's output; between, input * (1 - s) + output * s. A filter that
// yields no image counts as returning the input. `cube` is carried for the caller's
// convenience; only `filter` is used.
Image applyCubeLUTImage(const Image& image, const CubeLUT& cube, const CubeFilter& filter,
                        double strength);

// The colour space of the system's own drawn bitmaps (overlays): 8-bit RGBA, premultiplied alpha
// last, sRGB.
struct ColorSpace {
    std::string name;
};
const ColorSpace& csExport();

// Returns its argument unchanged (no colour space is attached, nothing is converted).
Image tagCIImage(const Image& image);

// Frame metadata values (the platform's attachment values, kept as text).
inline constexpr const char* colorRangeVideo = "VideoRange";
inline constexpr const char* itu709 = "ITU_R_709_2";
inline constexpr const char* transferSRGB = "IEC_sRGB";

// Fills in missing colour metadata of a decoded frame, in this order and only where absent:
// colour range "VideoRange", YCbCr matrix, primaries and transfer function BT.709-2.
void tagPixelBufferDecode(ImageTags& attachments);

// Stamps an output frame: primaries BT.709-2, transfer `transfer`, matrix BT.709-2, range
// "VideoRange" (always written, replacing what was there), then the gamma level only when it
// is present, finite and above 0 (otherwise the gamma level is left as it was).
void tagPixelBufferExport(ImageTags& attachments, const std::string& transfer,
                          std::optional<double> gammaLevel);

} // namespace velmora::Exporter
