#include "grading/BasicGrade.h"

#include <algorithm>
#include <cmath>

#include "grading/GradeKernels.h"
#include "grading/GradingCaches.h"
#include "grading/LutApplication.h"
#include "platform/dispatch/ConcurrentPerform.h"
#include "platform/foundation/FiniteNumbers.h"
#include "platform/image/LaneLoop.h"
#include "platform/image/Resample.h"
#include "platform/image/SpatialFilters.h"

// Lane kernels here are inlined into the AVX2 and baseline loops of LaneLoop.h (see Lanes.h).
#pragma GCC diagnostic ignored "-Wpsabi"

namespace velmora::Exporter {

namespace {

struct BasicGradeStep {
    BasicGradeUniforms u;
    void applyPlanar(const PlanarSpan& span) const
    {
        alignas(64) float gray[maxSpanPixels];
        lanes::forEachLane(BasicGradeExposureLanes{u.plan}, span);
        lanes::forEachLane(BasicGradeContrastLanes{u.plan, gray}, span);
        lanes::forEachLane(BasicGradeFinishLanes{u, gray, span.where}, span);
    }
};

struct VignetteKernelStep {
    VignetteGeometry geometry;
    float strength;
    void applyPlanar(const PlanarSpan& span) const
    {
        if (span.where) {
            lanes::forEachLane(VignetteLanes{&geometry, strength, span.where}, span);
        }
    }
};

} // namespace

std::string basicCubeKey(double exposure, double contrast, double highlights, double shadows,
                         double saturation, double vibrance, double temperature, double tint)
{
    return "e=" + formatSixDecimals(exposure) + "|c=" + formatSixDecimals(contrast) +
           "|hi=" + formatSixDecimals(highlights) + "|sh=" + formatSixDecimals(shadows) +
           "|sat=" + formatSixDecimals(saturation) + "|vib=" + formatSixDecimals(vibrance) +
           "|t=" + formatSixDecimals(temperature) + "|ti=" + formatSixDecimals(tint);
}

CubeLUT buildBasicGradeCube(int size, double exposure, double contrast, double highlights,
                            double shadows, double saturation, double vibrance,
                            double temperature, double tint)
{
    const int n = std::clamp(size, 2, 65);
    const double e = std::pow(2.0, exposure);
    const std::size_t nn = static_cast<std::size_t>(n);
    std::vector<float> values(nn * nn * nn * 4);
    concurrentPerform(nn, 1, [&](std::size_t begin, std::size_t end) {
        const double d = static_cast<double>(n - 1);
        for (std::size_t k = begin; k < end; ++k) {
            for (std::size_t j = 0; j < nn; ++j) {
                for (std::size_t i = 0; i < nn; ++i) {
                    grademath::Rgb<double> c{e * static_cast<double>(i) / d,
                                             e * static_cast<double>(j) / d,
                                             e * static_cast<double>(k) / d};
                    c = basicGradeColor(c, contrast, highlights, shadows, saturation, vibrance,
                                        temperature, tint);
                    const grademath::Rgb<double> out = grademath::clamp01v(
                        grademath::Rgb<double>{softCeiling(c.r), softCeiling(c.g), softCeiling(c.b)});
                    float* px = values.data() + ((k * nn + j) * nn + i) * 4;
                    px[0] = static_cast<float>(out.r);
                    px[1] = static_cast<float>(out.g);
                    px[2] = static_cast<float>(out.b);
                    px[3] = 1.0f;
                }
            }
        }
    });
    return CubeLUT::fromFloats(n, values);
}

Image applyBasicGradeFallbackCube(const Image& image, double exposure, double contrast,
                                  double highlights, double shadows, double saturation,
                                  double vibrance, double temperature, double tint)
{
    const std::string key = basicCubeKey(exposure, contrast, highlights, shadows, saturation,
                                         vibrance, temperature, tint);
    CachedCubeRef entry = basicCubeCache().lookup(key).value_or(nullptr);
    if (!entry) {
        auto built = std::make_shared<CachedCube>();
        built->cube = buildBasicGradeCube(33, exposure, contrast, highlights, shadows, saturation,
                                          vibrance, temperature, tint);
        built->filter = makeCubeFilter(built->cube);
        entry = built;
        basicCubeCache().store(key, entry);
    }
    return entry->filter.outputImage(image).value_or(image);
}

Image applyBasicGradeImage(const Image& image,
                           const std::optional<EditorJobV2::ClipGrade::GradeParams>& params,
                           int /*outW*/, int /*outH*/)
{
    if (!params) {
        return image;
    }
    const double exposure = finiteOr(params->exposure, 0.0);
    const double contrast = finiteOr(params->contrast, 0.0);
    const double highlights = finiteOr(params->highlights, 0.0);
    const double shadows = finiteOr(params->shadows, 0.0);
    const double saturation = finiteOr(params->saturation, 0.0);
    const double vibrance = finiteOr(params->vibrance, 0.0);
    const double temperature = finiteOr(params->temperature, 0.0);
    const double tint = finiteOr(params->tint, 0.0);
    const double vignette = finiteOr(params->vignette, finiteOr(params->vignetteStrength, 0.0));
    const double debanding = finiteOr(params->debanding, 0.0);

    if (std::fabs(exposure) < 0.0005 && std::fabs(contrast) < 0.0005 &&
        std::fabs(highlights) < 0.0005 && std::fabs(shadows) < 0.0005 &&
        std::fabs(saturation) < 0.0005 && std::fabs(vibrance) < 0.0005 &&
        std::fabs(temperature) < 0.0001 && std::fabs(tint) < 0.0001 &&
        std::fabs(vignette) < 0.0005 && std::fabs(debanding) < 0.0005) {
        return image;
    }

    if (basicGradeKernel()) {
        BasicGradeUniforms u(exposure, contrast, highlights, shadows, saturation, vibrance,
                             temperature, tint, vignette, debanding, image.extent());
        return image.appending(PixelOp::makePlanar(BasicGradeStep{u}, u.usesPosition()));
    }

    Image result = applyBasicGradeFallbackCube(image, exposure, contrast, highlights, shadows,
                                               saturation, vibrance, temperature, tint);
    if (std::fabs(vignette) > 0.0005) {
        result = vignetteEffect(result, std::clamp(vignette * 2.2, 0.0, 2.0), 1.0);
    }
    if (std::fabs(debanding) > 0.0005) {
        result = noiseReduction(result, std::clamp(debanding * 0.01, 0.0, 0.02), 0.2);
    }
    return result;
}

Image applyVignetteImage(const Image& image, double strength)
{
    if (!vignetteKernel() || !image.hasPixels()) {
        return image;
    }
    return image.appending(PixelOp::makePlanar(
        VignetteKernelStep{VignetteGeometry(image.extent()), static_cast<float>(strength)}, true));
}

Image fitToOutput(const Image& image, int outW, int outH)
{
    const IntRect e = integralRect(image.extent());
    if (e.width <= 0 || e.height <= 0) {
        return image;
    }
    const double w = static_cast<double>(e.width);
    const double h = static_cast<double>(e.height);
    const double k = std::max(outW / w, outH / h);
    const IntRect e2 = integralRect(Rect{0, 0, w * k, h * k});
    const double x = std::floor(static_cast<double>(e2.x) + (static_cast<double>(e2.width) - outW) / 2);
    const double y = std::floor(static_cast<double>(e2.y) + (static_cast<double>(e2.height) - outH) / 2);
    const AffineTransform transform =
        AffineTransform::translation(-static_cast<double>(e.x), -static_cast<double>(e.y))
            .concatenating(AffineTransform::scale(k, k))
            .concatenating(AffineTransform::translation(-x, -y));
    return affineTransformCropped(image, transform, IntRect{0, 0, outW, outH});
}

} // namespace velmora::Exporter
