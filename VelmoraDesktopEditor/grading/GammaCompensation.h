#pragma once

#include <optional>
#include <string>

#include "platform/image/Image.h"

namespace velmora::Exporter {

// What a gamma mode name stands for.
struct GammaModeResolution {
    // Exponent for applyGammaCompensation; absent means no compensation.
    std::optional<double> gammaPower;
    // Transfer function stamped on exported frames ("ITU_R_709_2" or "IEC_sRGB").
    std::string transferCV;
    // Transfer function named in the movie writer's colour properties ("ITU_R_709_2" or
    // "IEC61966-2-1").
    std::string transferAV;
    // Gamma level stamped on exported frames; absent means none.
    std::optional<double> gammaLevel;

    bool operator==(const GammaModeResolution&) const = default;
};

// "rec709a", "g20", "g22", "g24", "srgb", compared exactly; anything else (including "rec709"
// and "") resolves as plain BT.709 with no compensation and no level.
GammaModeResolution resolveGammaMode(const std::string& mode);

// c -> sign(c) |c|^gammaPower on the colour components when the power is present, finite,
// above 0 and at least 0.0001 away from 1; otherwise the input itself.
Image applyGammaCompensation(const Image& image, std::optional<double> gammaPower);

// Look adjustment (contrast clamped to [0.1, 4], saturation to [0, 4], brightness to [-1, 1]);
// the input itself when all three are within 0.0001 of neutral (1, 1, 0). A NaN value counts
// as neutral.
Image applyLookAdjust(const Image& image, double contrast, double saturation, double brightness);

// Temperature/tint gain with luminance preservation (kernel applyTempTint, unclamped values);
// without the kernel, a colour matrix of clamped gains that does not preserve luminance. The
// input itself when both are below 0.0001 in magnitude.
Image applyTempTintImage(const Image& image, double temp, double tint);

// Green-magenta compensation: t = tint clamped to [-1, 1]; gains (1 - 0.35 t, 1 + 0.7 t,
// 1 - 0.35 t). The input itself when |tint| < 0.0001.
Image applyCompTintImage(const Image& image, double tint);

} // namespace velmora::Exporter
