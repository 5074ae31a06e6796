#include <gtest/gtest.h>

#include <cmath>

#include "grading/BasicGrade.h"
#include "grading/GradeKernels.h"
#include "grading/GradingCaches.h"
#include "GradingTestSupport.h"

namespace velmora {
namespace {

using namespace velmora::testing;
using namespace velmora::Exporter;
using Params = EditorJobV2::ClipGrade::GradeParams;

double L709(double r, double g, double b)
{
    return 0.2126 * r + 0.7152 * g + 0.0722 * b;
}

double ss(double e0, double e1, double x)
{
    const double u = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return u * u * (3 - 2 * u);
}

double softCeiling(double v)
{
    const double p = std::max(v, 0.0);
    return p / (1 + std::max(p - 1, 0.0) * 0.85);
}

Color grade(const Params& p, Color in)
{
    return applyBasicGradeImage(singlePixel(in.r, in.g, in.b, in.a), p, 1920, 1080).pixel(0, 0);
}

TEST(BasicGradeNeutral, ThresholdsReturnTheInputItself)
{
    const Image in = singlePixel(0.2f, 0.4f, 0.6f);
    EXPECT_TRUE(applyBasicGradeImage(in, std::nullopt, 10, 10).isIdenticalTo(in));
    Params p;
    EXPECT_TRUE(applyBasicGradeImage(in, p, 10, 10).isIdenticalTo(in));
    p.tint = 0.00005;
    p.exposure = 0.0004;
    p.vignette = -0.0004;
    p.sharpness = 3;
    EXPECT_TRUE(applyBasicGradeImage(in, p, 10, 10).isIdenticalTo(in));
    p.tint = 0.0002;
    EXPECT_FALSE(applyBasicGradeImage(in, p, 10, 10).isIdenticalTo(in));
}

TEST(BasicGradeSliders, Exposure)
{
    Params p;
    p.exposure = 0.5;
    const double k = std::pow(2.0, 0.5);
    EXPECT_COLOR_NEAR(grade(p, {0.2f, 0.4f, 0.6f, 1}), 0.2 * k, 0.4 * k, 0.6 * k, 1e-6);
    p.exposure = -1;
    EXPECT_COLOR_NEAR(grade(p, {0.2f, 0.4f, 0.6f, 1}), 0.1, 0.2, 0.3, 1e-6);
}

TEST(BasicGradeSliders, HighlightsAndShadowsScaleByLuma)
{
    const Color c{0.8f, 0.85f, 0.9f, 1};
    const double luma = L709(0.8, 0.85, 0.9);
    Params p;
    p.highlights = 0.3;
    double l2 = luma + ss(0.6, 1.0, luma) * 0.3 * (1 - luma);
    EXPECT_COLOR_NEAR(grade(p, c), softCeiling(0.8 * l2 / luma), softCeiling(0.85 * l2 / luma), softCeiling(0.9 * l2 / luma), 1e-6);
    p.highlights = 3; // acts as 1
    l2 = luma + ss(0.6, 1.0, luma) * 1.0 * (1 - luma);
    EXPECT_COLOR_NEAR(grade(p, c), softCeiling(0.8 * l2 / luma), softCeiling(0.85 * l2 / luma), softCeiling(0.9 * l2 / luma), 1e-6);
    p.highlights = -0.35;
    l2 = luma * (1 - 0.35 * ss(0.6, 1.0, luma));
    EXPECT_COLOR_NEAR(grade(p, c), 0.8 * l2 / luma, 0.85 * l2 / luma, 0.9 * l2 / luma, 1e-6);

    const Color dark{0.1f, 0.15f, 0.05f, 1};
    const double dl = L709(0.1, 0.15, 0.05);
    Params s;
    s.shadows = 0.35;
    double d2 = dl + (1 - ss(0, 0.45, dl)) * 0.35 * (0.18 - dl);
    EXPECT_COLOR_NEAR(grade(s, dark), 0.1 * d2 / dl, 0.15 * d2 / dl, 0.05 * d2 / dl, 1e-6);
    s.shadows = -2; // acts as -1
    d2 = dl * (1 - (1 - ss(0, 0.45, dl)));
    EXPECT_COLOR_NEAR(grade(s, dark), 0.1 * d2 / dl, 0.15 * d2 / dl, 0.05 * d2 / dl, 1e-6);
}

TEST(BasicGradeSliders, NearBlackIsLeftToTheLaterSteps)
{
    Params p;
    p.highlights = 1;
    p.shadows = 1;
    p.contrast = 0.35;
    EXPECT_COLOR_NEAR(grade(p, {0.0004f, 0.0005f, 0.0003f, 1}), 0.0004, 0.0005, 0.0003, 1e-9);
}

TEST(BasicGradeSliders, ContrastActsOnLuminanceOnly)
{
    const double L = L709(0.3, 0.4, 0.5);
    Params p;
    p.contrast = 0.2;
    double L2 = (L - 0.5) * 1.3 + 0.5;
    EXPECT_COLOR_NEAR(grade(p, {0.3f, 0.4f, 0.5f, 1}), 0.3 * L2 / L, 0.4 * L2 / L, 0.5 * L2 / L, 1e-6);
    // Below -0.667 luminance inverts about 0.5 before the clamp at 0.
    p.contrast = -1;
    L2 = (L - 0.5) * -0.5 + 0.5;
    EXPECT_COLOR_NEAR(grade(p, {0.3f, 0.4f, 0.5f, 1}), 0.3 * L2 / L, 0.4 * L2 / L, 0.5 * L2 / L, 1e-6);
}

TEST(BasicGradeSliders, TemperatureAndTintPreserveLuma)
{
    Params p;
    p.temperature = 0.25;
    p.tint = -0.3;
    const Color out = grade(p, {0.4f, 0.5f, 0.3f, 1});
    EXPECT_NEAR(L709(out.r, out.g, out.b), L709(0.4, 0.5, 0.3), 1e-6);
    EXPECT_GT(out.r, 0.4f);
    EXPECT_LT(out.g, 0.5f);
}

TEST(BasicGradeSliders, SaturationAndVibranceMixAboutOneGrey)
{
    const double gray = L709(0.6, 0.4, 0.2);
    Params p;
    p.saturation = -1;
    EXPECT_COLOR_NEAR(grade(p, {0.6f, 0.4f, 0.2f, 1}), gray, gray, gray, 1e-6);
    p.saturation = 0.5;
    EXPECT_COLOR_NEAR(grade(p, {0.6f, 0.4f, 0.2f, 1}), gray + (0.6 - gray) * 1.5, gray + (0.4 - gray) * 1.5, gray + (0.2 - gray) * 1.5, 1e-6);

    Params v;
    v.vibrance = 0.8;
    const double sat = (0.6 - 0.2) / 0.6, k = 1 + 0.8 * (1 - sat);
    EXPECT_COLOR_NEAR(grade(v, {0.6f, 0.4f, 0.2f, 1}), gray + (0.6 - gray) * k, gray + (0.4 - gray) * k, gray + (0.2 - gray) * k, 1e-6);
    // A grey pixel has no saturation for vibrance to boost.
    EXPECT_COLOR_NEAR(grade(v, {0.5f, 0.5f, 0.5f, 1}), 0.5, 0.5, 0.5, 1e-6);
}

TEST(BasicGradeSliders, SoftCeilingCompressesOnTheKernelAndClipsOnTheCube)
{
    Params p;
    p.exposure = 1; // 0.75 -> 1.5
    EXPECT_COLOR_NEAR(grade(p, {0.75f, 0.75f, 0.75f, 0.5f}), 1.5 / 1.425, 1.5 / 1.425, 1.5 / 1.425, 1e-6);
    EXPECT_EQ(grade(p, {0.75f, 0.75f, 0.75f, 0.5f}).a, 0.5f);
    ScopedKernelsUnavailable noKernels;
    EXPECT_COLOR_NEAR(grade(p, {0.75f, 0.75f, 0.75f, 1}), 1.0, 1.0, 1.0, 1e-6);
}

TEST(BasicGradeCube, AgreesWithTheKernelInRange)
{
    Params p;
    p.exposure = 0.2;
    p.contrast = 0.1;
    p.highlights = -0.2;
    p.shadows = 0.15;
    p.saturation = 0.3;
    p.vibrance = -0.2;
    p.temperature = 0.1;
    p.tint = 0.05;
    for (Color c : {Color{0.1f, 0.2f, 0.3f, 1}, Color{0.5f, 0.5f, 0.5f, 1}, Color{0.7f, 0.3f, 0.1f, 1}, Color{0.0f, 0.0f, 0.0f, 1}}) {
        const Color kernel = grade(p, c);
        ScopedKernelsUnavailable noKernels;
        const Color cube = grade(p, c);
        EXPECT_COLOR_NEAR(cube, kernel.r, kernel.g, kernel.b, 5e-3);
    }
}

TEST(BasicGradeCube, KeyAndCacheUse)
{
    basicCubeCache().removeAll();
    EXPECT_EQ(basicCubeKey(0.25, -0.1, 0, 0, 1, 0, 0.0000004, -0.3),
              "e=0.250000|c=-0.100000|hi=0.000000|sh=0.000000|sat=1.000000|vib=0.000000|t=0.000000|ti=-0.300000");
    const Image in = singlePixel(0.3f, 0.3f, 0.3f);
    applyBasicGradeFallbackCube(in, 0.1, 0, 0, 0, 0, 0, 0, 0);
    applyBasicGradeFallbackCube(in, 0.1000001, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(basicCubeCache().keyOrder().size(), 1u);
    // The fallback cube alone has no neutral test.
    applyBasicGradeFallbackCube(in, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(basicCubeCache().size(), 2u);
    basicCubeCache().removeAll();
}

TEST(BasicGradeCube, LatticeAndSizeClamp)
{
    const CubeLUT cube = buildBasicGradeCube(2, 1, 0, 0, 0, 0, 0, 0, 0);
    const std::vector<float> f = cube.floats();
    ASSERT_EQ(cube.size, 2);
    // Corner (1, 0, 0) doubles to 2: soft ceiling 2 / 1.85, then clamped to 1.
    EXPECT_EQ(f[4], 1.0f);
    EXPECT_EQ(f[5], 0.0f);
    EXPECT_EQ(f[7], 1.0f);
    EXPECT_EQ(buildBasicGradeCube(-5, 0, 0, 0, 0, 0, 0, 0, 0).size, 2);
    EXPECT_EQ(buildBasicGradeCube(99, 0, 0, 0, 0, 0, 0, 0, 0).size, 65);
}

TEST(BasicGradeVignette, FieldPreferenceAndSign)
{
    Params a;
    a.vignette = 0.4;
    a.vignetteStrength = 0.9;
    Params b;
    b.vignette = 0.4;
    Params c;
    c.vignetteStrength = 0.9;
    Params d;
    d.vignette = 0.9;
    const Image frame = Image::filled(40, 20, {0.5f, 0.5f, 0.5f, 1});
    auto corner = [&](const Params& p) { return applyBasicGradeImage(frame, p, 40, 20).pixel(12, 5).r; };
    EXPECT_EQ(corner(a), corner(b));
    EXPECT_EQ(corner(c), corner(d));
    EXPECT_NE(corner(a), corner(c));
    Params negative;
    negative.vignette = -0.5;
    EXPECT_EQ(corner(negative), 0.5f);
}

TEST(BasicGradeVignette, GeometryIsCircularInPixels)
{
    Params p;
    p.vignette = 0.3;
    const Image frame = Image::filled(41, 21, {0.5f, 0.5f, 0.5f, 1}, 100, 200);
    const Image out = applyBasicGradeImage(frame, p, 0, 0);
    // The centre pixel's centre is the extent's centre.
    EXPECT_NEAR(out.pixel(120, 210).r, 0.5, 1e-7);
    // Corner (100.5, 200.5): uv = (0.5/41, 0.5/21) - 0.5, x scaled by 41/21.
    const double px = (0.5 / 41 - 0.5) * 41.0 / 21.0, py = 0.5 / 21 - 0.5;
    const double v = std::clamp(1 - (px * px + py * py) * 0.3 * 2.2, 0.0, 1.0);
    EXPECT_NEAR(out.pixel(100, 200).r, 0.5 * v, 1e-6);
    // Ten pixels left of the centre and ten above darken alike.
    EXPECT_NEAR(out.pixel(110, 210).r, out.pixel(120, 220).r, 1e-6);
}

TEST(BasicGradeVignette, KernelWithoutThreshold)
{
    const VignetteGeometry g(Rect{0, 0, 10, 10});
    EXPECT_EQ(applyVignette({1, 1, 1, 0.5f}, {5, 5}, g, 0.0001f).r, 1.0f);
    const Color c = applyVignette({1, 1, 1, 0.5f}, {0, 0}, g, 0.0001f);
    EXPECT_NEAR(c.r, 1 - 0.5 * 0.0001 * 2.2, 1e-7);
    EXPECT_EQ(c.a, 0.5f);
    const Image out = applyVignetteImage(Image::filled(10, 10, {1, 1, 1, 1}), 1.0);
    EXPECT_NEAR(out.pixel(0, 0).r, 1 - 2 * 0.45 * 0.45 * 2.2, 1e-6);
}

TEST(BasicGradeDither, SmallSignedNoiseOnlyWhenPositive)
{
    Params p;
    p.debanding = 1;
    const Image frame = Image::filled(64, 4, {0.5f, 0.5f, 0.5f, 1});
    const Image out = applyBasicGradeImage(frame, p, 64, 4);
    float lo = 1, hi = 0;
    for (int x = 0; x < 64; ++x) {
        const Color c = out.pixel(x, 1);
        EXPECT_LE(std::fabs(c.r - 0.5f), 0.5f / 255 + 1e-6);
        EXPECT_EQ(c.r, c.g);
        lo = std::min(lo, c.r);
        hi = std::max(hi, c.r);
    }
    EXPECT_LT(lo, 0.5f);
    EXPECT_GT(hi, 0.5f);
    p.debanding = -1;
    p.exposure = 0.001;
    const Image none = applyBasicGradeImage(frame, p, 64, 4);
    EXPECT_NEAR(none.pixel(3, 1).r, 0.5 * std::pow(2.0, 0.001), 1e-6);
}

TEST(BasicGradeFallback, StockVignetteAndNoiseReduction)
{
    ScopedKernelsUnavailable noKernels;
    const Image frame = Image::filled(30, 30, {0.5f, 0.5f, 0.5f, 1});
    Params p;
    p.vignette = -0.5; // intensity clamp(-1.1, 0, 2) = 0: no darkening
    EXPECT_NEAR(applyBasicGradeImage(frame, p, 30, 30).pixel(0, 0).r, 0.5, 2e-6);
    p.vignette = 0.5;
    const Image out = applyBasicGradeImage(frame, p, 30, 30);
    EXPECT_LT(out.pixel(0, 0).r, 0.45f);
    EXPECT_NEAR(out.pixel(15, 15).r, 0.5, 1e-3);
    Params d;
    d.debanding = -1; // noise level 0, sharpness 0.2 on a flat frame: unchanged
    EXPECT_NEAR(applyBasicGradeImage(frame, d, 30, 30).pixel(7, 7).r, 0.5, 2e-6);
}

Image coordinates(int w, int h, int ox = 0, int oy = 0)
{
    Image image = Image::allocate(w, h, ox, oy);
    for (int i = 0; i < h; ++i) {
        float* row = image.mutableRow(i);
        for (int x = 0; x < w; ++x) {
            row[x * 4 + 0] = static_cast<float>(x);
            row[x * 4 + 1] = static_cast<float>(h - 1 - i);
            row[x * 4 + 2] = 0;
            row[x * 4 + 3] = 1;
        }
    }
    return image;
}

TEST(FitToOutput, LandscapeIntoPortraitKeepsTheCentralColumns)
{
    const Image out = fitToOutput(coordinates(1920, 1080), 1080, 1920);
    EXPECT_EQ(out.extent(), (Rect{0, 0, 1080, 1920}));
    const double k = 1920.0 / 1080.0;
    // ceil(1920 k) = 3414, x = floor((3414 - 1080) / 2) = 1167.
    EXPECT_NEAR(out.pixel(0, 700).r, (1167 + 0.5) / k - 0.5, 1e-3);
    EXPECT_NEAR(out.pixel(1079, 700).r, (1167 + 1079.5) / k - 0.5, 1e-3);
    EXPECT_NEAR(out.pixel(10, 700).g, (700.5) / k - 0.5, 1e-3);
}

TEST(FitToOutput, OffsetSquareIntoWideFrameCropsRows)
{
    const Image out = fitToOutput(coordinates(100, 100, 50, 50), 200, 100);
    EXPECT_EQ(out.extent(), (Rect{0, 0, 200, 100}));
    // Scaled by 2 to 200 x 200; 50 rows cut from the bottom and from the top.
    EXPECT_NEAR(out.pixel(0, 0).g, (50 + 0.5) / 2 - 0.5, 1e-4);
    EXPECT_NEAR(out.pixel(0, 99).g, (149 + 0.5) / 2 - 0.5, 1e-4);
    EXPECT_NEAR(out.pixel(199, 0).r, 99.0, 1e-4);
}

TEST(FitToOutput, OddSizes)
{
    const Image out = fitToOutput(coordinates(101, 51), 64, 64);
    EXPECT_EQ(out.extent(), (Rect{0, 0, 64, 64}));
    const double k = 64.0 / 51.0;
    // ceil(101 k) = 127, x = floor(63 / 2) = 31; height exactly 64, y = 0.
    EXPECT_NEAR(out.pixel(0, 0).r, (31 + 0.5) / k - 0.5, 1e-4);
    EXPECT_NEAR(out.pixel(0, 63).g, std::min(50.0, (63.5) / k - 0.5), 1e-4);
    const Image down = fitToOutput(coordinates(7, 5), 3, 3);
    EXPECT_EQ(down.extent(), (Rect{0, 0, 3, 3}));
}

TEST(FitToOutput, SameSizeSharesPixelsAndEmptyPassesThrough)
{
    const Image in = coordinates(16, 9, 4, -2);
    const Image out = fitToOutput(in, 16, 9);
    EXPECT_EQ(out.extent(), (Rect{0, 0, 16, 9}));
    EXPECT_EQ(out.row(0), in.row(0));
    const Image empty;
    EXPECT_TRUE(fitToOutput(empty, 10, 10).isIdenticalTo(empty));
    const Image constant = Image::constant({1, 0, 0, 1});
    EXPECT_TRUE(fitToOutput(constant, 10, 10).isIdenticalTo(constant));
}

} // namespace
} // namespace velmora
