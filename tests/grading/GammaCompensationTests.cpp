#include <gtest/gtest.h>

#include <cmath>

#include "grading/GammaCompensation.h"
#include "grading/GradeKernels.h"
#include "GradingTestSupport.h"

namespace velmora {
namespace {

using namespace velmora::testing;
using namespace velmora::Exporter;

TEST(GammaModes, TableOfModes)
{
    const auto rec709a = resolveGammaMode("rec709a");
    EXPECT_EQ(rec709a.gammaPower, 2.2 / 1.961);
    EXPECT_DOUBLE_EQ(*rec709a.gammaPower, 1.1218765935747068);
    EXPECT_EQ(rec709a.gammaLevel, 1.961);
    EXPECT_EQ(rec709a.transferCV, "ITU_R_709_2");
    EXPECT_EQ(rec709a.transferAV, "ITU_R_709_2");

    EXPECT_DOUBLE_EQ(*resolveGammaMode("g20").gammaPower, 0.9090909090909091);
    EXPECT_EQ(resolveGammaMode("g20").gammaLevel, 2.0);
    EXPECT_DOUBLE_EQ(*resolveGammaMode("g24").gammaPower, 1.0909090909090908);
    EXPECT_EQ(resolveGammaMode("g24").gammaLevel, 2.4);

    const auto g22 = resolveGammaMode("g22");
    EXPECT_FALSE(g22.gammaPower);
    EXPECT_EQ(g22.gammaLevel, 2.2);

    const auto srgb = resolveGammaMode("srgb");
    EXPECT_FALSE(srgb.gammaPower);
    EXPECT_FALSE(srgb.gammaLevel);
    EXPECT_EQ(srgb.transferCV, "IEC_sRGB");
    EXPECT_EQ(srgb.transferAV, "IEC61966-2-1");
}

TEST(GammaModes, UnknownNamesAreExactMatchesOnly)
{
    const GammaModeResolution plain{std::nullopt, "ITU_R_709_2", "ITU_R_709_2", std::nullopt};
    for (const char* mode : {"rec709", "REC709A", " g22", "", "g22 ", "sRGB"}) {
        EXPECT_EQ(resolveGammaMode(mode), plain) << mode;
    }
}

TEST(GammaCompensation, AppliesOnlyMeaningfulPowers)
{
    const Image in = rowImage({{0.25f, 0.5f, 1, 1}, {-0.25f, 0, 2, 0.5f}});
    for (std::optional<double> p : {std::optional<double>{}, std::optional<double>{1.00005},
                                    std::optional<double>{0.0}, std::optional<double>{-1.0},
                                    std::optional<double>{NAN}, std::optional<double>{INFINITY}}) {
        EXPECT_TRUE(applyGammaCompensation(in, p).isIdenticalTo(in));
    }
    const Image out = applyGammaCompensation(in, 2.0);
    EXPECT_COLOR_NEAR(out.pixel(0, 0), 0.0625f, 0.25f, 1.0f, 1e-6);
    EXPECT_COLOR_NEAR(out.pixel(1, 0), -0.0625f, 0.0f, 4.0f, 1e-6);
    EXPECT_EQ(out.pixel(1, 0).a, 0.5f);
    const Image slight = applyGammaCompensation(in, 1.0002);
    EXPECT_FALSE(slight.isIdenticalTo(in));
    EXPECT_NEAR(slight.pixel(0, 0).r, std::pow(0.25, 1.0002), 1e-6);
}

TEST(GammaCompensation, Rec709aPowerOnMidGrey)
{
    const Image out = applyGammaCompensation(singlePixel(0.5f, 0.18f, 0.9f), resolveGammaMode("rec709a").gammaPower);
    const double p = 2.2 / 1.961;
    EXPECT_COLOR_NEAR(out.pixel(0, 0), std::pow(0.5, p), std::pow(0.18, p), std::pow(0.9, p), 2e-6);
}

// Saturation towards 0.2125/0.7154/0.0721 luma, then brightness, then contrast about 0.5.
Color controls(Color c, double contrast, double saturation, double brightness)
{
    const double y = 0.2125 * c.r + 0.7154 * c.g + 0.0721 * c.b;
    auto f = [&](double v) { return ((y + (v - y) * saturation) + brightness - 0.5) * contrast + 0.5; };
    return {float(f(c.r)), float(f(c.g)), float(f(c.b)), c.a};
}

TEST(LookAdjust, NeutralReturnsTheInputItself)
{
    const Image in = singlePixel(0.3f, 0.6f, 0.9f);
    EXPECT_TRUE(applyLookAdjust(in, 1, 1, 0).isIdenticalTo(in));
    EXPECT_TRUE(applyLookAdjust(in, 1.00005, 0.99995, 0.00005).isIdenticalTo(in));
}

TEST(LookAdjust, ValuesAreClampedToTheirRanges)
{
    const Color c{0.3f, 0.6f, 0.9f, 1};
    const Image in = singlePixel(c.r, c.g, c.b);
    const Color lowContrast = controls(c, 0.1, 1, 0);
    EXPECT_COLOR_NEAR(applyLookAdjust(in, 0, 1, 0).pixel(0, 0), lowContrast.r, lowContrast.g, lowContrast.b, 1e-6);
    const double y = 0.2125 * 0.3 + 0.7154 * 0.6 + 0.0721 * 0.9;
    EXPECT_COLOR_NEAR(applyLookAdjust(in, 1, -1, 0).pixel(0, 0), y, y, y, 1e-6);
    EXPECT_COLOR_NEAR(applyLookAdjust(in, 1, 1, 2).pixel(0, 0), 1.3f, 1.6f, 1.9f, 1e-6);
    const Color all = controls(c, 1.2, 1.5, -0.1);
    EXPECT_COLOR_NEAR(applyLookAdjust(in, 1.2, 1.5, -0.1).pixel(0, 0), all.r, all.g, all.b, 1e-6);
    const Color high = controls(c, 4, 4, -1);
    EXPECT_COLOR_NEAR(applyLookAdjust(in, 9, 9, -9).pixel(0, 0), high.r, high.g, high.b, 1e-5);
}

// The temperature/tint gain with luminance preservation, written out in double.
Color tempTint(Color c, double temp, double tint)
{
    const double before = 0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b;
    const double t = temp * 0.6, i = tint * 0.6;
    double r = c.r * (1 + t) * (1 - 0.5 * i), g = c.g * (1 + i), b = c.b * (1 - t) * (1 - 0.5 * i);
    const double after = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    if (after > 1e-6) {
        r *= before / after;
        g *= before / after;
        b *= before / after;
    }
    return {float(std::max(r, 0.0)), float(std::max(g, 0.0)), float(std::max(b, 0.0)), c.a};
}

TEST(TempTint, NegligibleValuesReturnTheInputItself)
{
    const Image in = singlePixel(0.4f, 0.5f, 0.6f);
    EXPECT_TRUE(applyTempTintImage(in, 0.00005, 0.00005).isIdenticalTo(in));
    EXPECT_TRUE(applyTempTintImage(in, 0.00005, -0.00009).isIdenticalTo(in));
}

TEST(TempTint, KernelPreservesLumaAndDoesNotClampItsInputs)
{
    const Color c{0.5f, 0.4f, 0.3f, 0.75f};
    for (auto [temp, tint] : {std::pair{0.3, 0.0}, std::pair{0.0, -0.4}, std::pair{2.0, 0.5}, std::pair{-0.7, 0.9}}) {
        const Color e = tempTint(c, temp, tint);
        const Color out = applyTempTintImage(singlePixel(c.r, c.g, c.b, c.a), temp, tint).pixel(0, 0);
        EXPECT_COLOR_NEAR(out, e.r, e.g, e.b, 1e-6);
        EXPECT_EQ(out.a, 0.75f);
    }
    const Color grey = applyTempTintImage(singlePixel(0.4f, 0.4f, 0.4f), 0.8, -0.6).pixel(0, 0);
    EXPECT_NEAR(0.2126 * grey.r + 0.7152 * grey.g + 0.0722 * grey.b, 0.4, 1e-6);
}

TEST(TempTint, FallbackMatrixClampsAndDoesNotPreserveLuma)
{
    Exporter::ScopedKernelsUnavailable noKernels;
    const Color out = applyTempTintImage(singlePixel(0.5f, 0.4f, 0.3f), 2.0, 0).pixel(0, 0);
    EXPECT_COLOR_NEAR(out, 0.5f * 1.6f, 0.4f, 0.3f * 0.4f, 1e-6);
    const Color tinted = applyTempTintImage(singlePixel(0.4f, 0.4f, 0.4f), 0.0, 0.5).pixel(0, 0);
    EXPECT_COLOR_NEAR(tinted, 0.4f * 0.85f, 0.4f * 1.3f, 0.4f * 0.85f, 1e-6);
}

TEST(CompTint, GainsFollowTheClampedTint)
{
    const Image in = singlePixel(0.5f, 0.5f, 0.5f, 0.5f);
    EXPECT_TRUE(applyCompTintImage(in, 0.00009).isIdenticalTo(in));
    EXPECT_COLOR_NEAR(applyCompTintImage(in, 1).pixel(0, 0), 0.325f, 0.85f, 0.325f, 1e-6);
    EXPECT_COLOR_NEAR(applyCompTintImage(in, -1).pixel(0, 0), 0.675f, 0.15f, 0.675f, 1e-6);
    EXPECT_COLOR_NEAR(applyCompTintImage(in, 5).pixel(0, 0), 0.325f, 0.85f, 0.325f, 1e-6);
    EXPECT_EQ(applyCompTintImage(in, 5).pixel(0, 0).a, 0.5f);
}

} // namespace
} // namespace velmora
