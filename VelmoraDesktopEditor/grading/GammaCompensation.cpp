#include "grading/GammaCompensation.h"

#include <cmath>

#include "grading/GradeKernels.h"
#include "grading/LutApplication.h"
#include "platform/image/ColorOps.h"
#include "platform/image/LaneLoop.h"

// Lane kernels here are inlined into the AVX2 and baseline loops of LaneLoop.h (see Lanes.h).
#pragma GCC diagnostic ignored "-Wpsabi"

namespace velmora::Exporter {

namespace {

double clampOr(double value, double lo, double hi, double ifNaN)
{
    if (std::isnan(value)) {
        return ifNaN;
    }
    return value < lo ? lo : (value > hi ? hi : value);
}

struct TempTintStep {
    TempTintLanes kernel;
    void applyPlanar(const PlanarSpan& span) const { lanes::forEachLane(kernel, span); }
};

Image gains(const Image& image, float r, float g, float b)
{
    ColorMatrix m;
    m.r[0] = r;
    m.g[1] = g;
    m.b[2] = b;
    return colorMatrix(image, m);
}

} // namespace

GammaModeResolution resolveGammaMode(const std::string& mode)
{
    const std::string bt709 = itu709;
    if (mode == "rec709a") {
        return {2.2 / 1.961, bt709, bt709, 1.961};
    }
    if (mode == "g20") {
        return {2.0 / 2.2, bt709, bt709, 2.0};
    }
    if (mode == "g22") {
        return {std::nullopt, bt709, bt709, 2.2};
    }
    if (mode == "g24") {
        return {2.4 / 2.2, bt709, bt709, 2.4};
    }
    if (mode == "srgb") {
        return {std::nullopt, transferSRGB, "IEC61966-2-1", std::nullopt};
    }
    return {std::nullopt, bt709, bt709, std::nullopt};
}

Image applyGammaCompensation(const Image& image, std::optional<double> gammaPower)
{
    if (!gammaPower || !std::isfinite(*gammaPower) || *gammaPower <= 0 ||
        std::fabs(*gammaPower - 1.0) < 0.0001) {
        return image;
    }
    return gammaAdjust(image, *gammaPower);
}

Image applyLookAdjust(const Image& image, double contrast, double saturation, double brightness)
{
    const double c = clampOr(contrast, 0.1, 4.0, 1.0);
    const double s = clampOr(saturation, 0.0, 4.0, 1.0);
    const double b = clampOr(brightness, -1.0, 1.0, 0.0);
    if (std::fabs(c - 1) < 0.0001 && std::fabs(s - 1) < 0.0001 && std::fabs(b) < 0.0001) {
        return image;
    }
    return colorControls(image, s, b, c);
}

Image applyTempTintImage(const Image& image, double temp, double tint)
{
    // NaN compares false below, so it would reach the gains; treat it as no change instead.
    if (std::isnan(temp) || std::isnan(tint) || (std::fabs(temp) < 0.0001 && std::fabs(tint) < 0.0001)) {
        return image;
    }
    if (tempTintKernel()) {
        return image.appending(PixelOp::makePlanar(
            TempTintStep{{static_cast<float>(temp), static_cast<float>(tint)}}));
    }
    const double t = std::clamp(temp, -1.0, 1.0) * 0.6;
    const double i = std::clamp(tint, -1.0, 1.0) * 0.6;
    const double gR = (1 + t) * (1 - 0.5 * i);
    const double gG = 1 + i;
    const double gB = (1 - t) * (1 - 0.5 * i);
    return gains(image, static_cast<float>(gR), static_cast<float>(gG), static_cast<float>(gB));
}

Image applyCompTintImage(const Image& image, double tint)
{
    if (std::isnan(tint) || std::fabs(tint) < 0.0001) {
        return image;
    }
    const double t = std::clamp(tint, -1.0, 1.0);
    const double k = 1 - 0.35 * t;
    return gains(image, static_cast<float>(k), static_cast<float>(1 + 0.7 * t), static_cast<float>(k));
}

} // namespace velmora::Exporter
