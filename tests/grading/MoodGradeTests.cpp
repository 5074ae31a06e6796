#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "grading/ClipGradeCatalog.h"
#include "grading/GradeKernels.h"
#include "grading/GradingCaches.h"
#include "grading/MoodGrade.h"
#include "GradingTestSupport.h"

namespace velmora {
namespace {

using namespace velmora::testing;
using namespace velmora::Exporter;
using Params = EditorJobV2::ClipGrade::GradeParams;

Params moodParams(const std::string& key, std::optional<double> amount = std::nullopt)
{
    Params p;
    p.moodKey = key;
    p.isMoodEnabled = FlexibleBool{true};
    p.moodAmount = amount;
    return p;
}

double c01(double v)
{
    return std::clamp(v, 0.0, 1.0);
}

double ss(double e0, double e1, double x)
{
    const double u = c01((x - e0) / (e1 - e0));
    return u * u * (3 - 2 * u);
}

Color graded(const Image& image)
{
    return image.pixel(0, 0);
}

TEST(MoodKeys, LookupTrimsAndLowerCases)
{
    EXPECT_EQ(moodTypeForKey(std::string("  Kodak_Portra \n")), 13);
    EXPECT_EQ(moodTypeForKey(std::string("none")), 0);
    EXPECT_EQ(moodTypeForKey(std::string("")), 0);
    EXPECT_EQ(moodTypeForKey(std::nullopt), 0);
    EXPECT_EQ(moodTypeForKey(std::string("kodak_vision")), 51);
    EXPECT_EQ(moodTypeForKey(std::string("kodak_vision_2")), 4);
    EXPECT_EQ(moodTypeForKey(std::string("teal_orange")), 50);
    EXPECT_EQ(moodTypeForKey(std::string("faded_noir")), 52);
    EXPECT_EQ(moodTypeForKey(std::string("cinestill_50d")), 43);
    EXPECT_EQ(moodTypeForKey(std::string("kodak portra")), 0);
}

TEST(MoodKeys, EveryCatalogueKeyHasItsOwnNumber)
{
    std::vector<double> numbers;
    for (const auto& group : ClipGradeCatalog::moodGroups()) {
        for (const auto& option : group.items) {
            const double n = moodTypeForKey(option.key);
            EXPECT_GT(n, 0.5) << option.key;
            numbers.push_back(n);
        }
    }
    std::sort(numbers.begin(), numbers.end());
    EXPECT_EQ(std::unique(numbers.begin(), numbers.end()), numbers.end());
    EXPECT_EQ(numbers.size(), 46u);
}

TEST(MoodSwitch, OffOrUnknownPassesTheInputItself)
{
    const Image in = singlePixel(0.3f, 0.5f, 0.7f);
    EXPECT_TRUE(applyMoodImage(in, std::nullopt).isIdenticalTo(in));
    Params p = moodParams("golden_hour");
    p.isMoodEnabled.reset();
    p.moodEnabled = FlexibleBool{false};
    p.moodContrast = 0.8;
    EXPECT_TRUE(applyMoodImage(in, p).isIdenticalTo(in));
    EXPECT_TRUE(applyMoodImage(in, moodParams("no_such_look")).isIdenticalTo(in));
    EXPECT_TRUE(applyMoodImage(in, moodParams("   ")).isIdenticalTo(in));
    EXPECT_TRUE(applyMoodImage(in, moodParams("golden_hour", 0.0004)).isIdenticalTo(in));
    Params onlyIs = moodParams("golden_hour");
    EXPECT_FALSE(applyMoodImage(in, onlyIs).isIdenticalTo(in));
    Params onlyOther = moodParams("golden_hour");
    onlyOther.isMoodEnabled.reset();
    onlyOther.moodEnabled = FlexibleBool{true};
    EXPECT_FALSE(applyMoodImage(in, onlyOther).isIdenticalTo(in));
}

TEST(MoodAmount, IntensityWinsOverAmountAndIsClamped)
{
    // fuji_eterna on grey 0.5: scale (0.97, 1.02, 1.03) then red x 0.95.
    const Image in = singlePixel(0.5f, 0.5f, 0.5f);
    const double r = 0.5 * 0.97 * 0.95, g = 0.51, b = 0.515;
    auto at = [&](double a) { return Color{float(0.5 + (r - 0.5) * a), float(0.5 + (g - 0.5) * a), float(0.5 + (b - 0.5) * a), 1}; };
    Params p = moodParams("fuji_eterna", 0.9);
    p.moodIntensity = 0.3;
    Color e = at(0.3);
    EXPECT_COLOR_NEAR(graded(applyMoodImage(in, p)), e.r, e.g, e.b, 1e-6);
    e = at(0.9);
    EXPECT_COLOR_NEAR(graded(applyMoodImage(in, moodParams("fuji_eterna", 0.9))), e.r, e.g, e.b, 1e-6);
    e = at(1.0);
    EXPECT_COLOR_NEAR(graded(applyMoodImage(in, moodParams("fuji_eterna"))), e.r, e.g, e.b, 1e-6);
    EXPECT_COLOR_NEAR(graded(applyMoodImage(in, moodParams("fuji_eterna", 1.7))), e.r, e.g, e.b, 1e-6);
}

// Recipes written out from the mood table for one input colour each.
struct RecipeCase {
    const char* key;
    Color in;
    double r, g, b;
};

std::vector<RecipeCase> recipeCases()
{
    std::vector<RecipeCase> cases;
    // golden_hour: scale (1.08, 1.03, 0.92); +0.02 red when r < 0.6; +0.01 green when g < 0.6.
    cases.push_back({"golden_hour", {0.5f, 0.7f, 0.2f, 1}, 0.5 * 1.08 + 0.02, 0.7 * 1.03, 0.2 * 0.92});
    // kodak_vision_2: red 1.05 r + 0.04 then ^0.97, green 1.03 g, blue 0.95 b then ^1.02.
    cases.push_back({"kodak_vision_2", {0.4f, 0.5f, 0.6f, 1}, std::pow(0.46, 0.97), 0.515, std::pow(0.57, 1.02)});
    {
        // sony_venice: scale, mixL601 1.14, then red from the input when 0.3 < r < 0.7.
        const double r = 0.5 * 1.04, g = 0.3 * 1.05, b = 0.2 * 1.06;
        const double m = 0.299 * r + 0.587 * g + 0.114 * b;
        cases.push_back({"sony_venice", {0.5f, 0.3f, 0.2f, 1}, 0.5 * 1.08, m + (g - m) * 1.14, m + (b - m) * 1.14});
    }
    {
        // bleach_bypass: custom luma, mix 0.65, contrast 1.15, +0.01.
        const double m = 0.25 * 0.6 + 0.6 * 0.4 + 0.15 * 0.3;
        auto f = [&](double v) { return ((m + (v - m) * 0.65) - 0.5) * 1.15 + 0.5 + 0.01; };
        cases.push_back({"bleach_bypass", {0.6f, 0.4f, 0.3f, 1}, f(0.6), f(0.4), f(0.3)});
    }
    {
        // midnight_teal with a negative red: the power raises 0, not the negative value.
        const double r = -0.2 * 0.9, g = 0.1 * 1.02, b = 0.2 * 1.1;
        const double y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
        const double k = 1 - ss(0, 0.5, y);
        cases.push_back({"midnight_teal", {-0.2f, 0.1f, 0.2f, 1}, std::pow(std::max(r, 0.0), 0.95),
                         std::pow(g + 0.1 * k, 0.95), std::pow(b + 0.15 * k, 0.95)});
    }
    {
        // arri_alexa_logc: curve, lin (1.1, 0.05), spread 1.2 about L601, red/blue cross-talk.
        auto curve = [](double v) { return v * v * (3 - 2 * v); };
        double r = curve(0.3) * 1.1 + 0.05, g = curve(0.5) * 1.1 + 0.05, b = curve(0.7) * 1.1 + 0.05;
        const double m = 0.299 * r + 0.587 * g + 0.114 * b;
        r = m + (r - m) * 1.2;
        g = m + (g - m) * 1.2;
        b = m + (b - m) * 1.2;
        cases.push_back({"arri_alexa_logc", {0.3f, 0.5f, 0.7f, 1}, r * 1.02 - g * 0.02, g, b * 1.02 - g * 0.02});
    }
    {
        // kodak_5219: scale, mixL601 1.12, spread about the pre-mix luma, powers, offsets.
        const double r0 = 0.5 * 1.08, g0 = 0.4 * 1.02, b0 = 0.3 * 0.96;
        const double m = 0.299 * r0 + 0.587 * g0 + 0.114 * b0;
        double r = m + (r0 - m) * 1.12, g = m + (g0 - m) * 1.12, b = m + (b0 - m) * 1.12;
        r = m + (r - m) * 1.12;
        g = m + (g - m) * 1.08;
        b = m + (b - m) * 1.05;
        r = std::pow(r, 1.05);
        g = std::pow(g, 1.03);
        b = std::pow(b, 1.02);
        cases.push_back({"kodak_5219", {0.5f, 0.4f, 0.3f, 1}, r * 0.98 + 0.02, g * 0.98 + 0.01, b});
    }
    {
        // fuji_astia: ends with c * 0.95 + m * 0.05 using the pre-mix luma.
        const double r0 = 0.6, g0 = 0.5 * 1.02, b0 = 0.4 * 1.01;
        const double m = 0.299 * r0 + 0.587 * g0 + 0.114 * b0;
        double r = m + (r0 - m) * 1.04, g = m + (g0 - m) * 1.04, b = m + (b0 - m) * 1.04;
        r = std::pow(m + (r - m) * 1.04, 0.96);
        g = std::pow(m + (g - m) * 1.06, 0.96);
        b = std::pow(m + (b - m) * 1.05, 0.97);
        cases.push_back({"fuji_astia", {0.6f, 0.5f, 0.4f, 1}, r * 0.95 + m * 0.05, g * 0.95 + m * 0.05, b * 0.95 + m * 0.05});
    }
    {
        // cinestill_800t: spread about the luma of the scaled colour, knee above 0.7.
        const double r0 = 0.8 * 1.10, g0 = 0.6 * 1.03, b0 = 0.4 * 0.92;
        const double m = 0.299 * r0 + 0.587 * g0 + 0.114 * b0;
        double r = m + (r0 - m) * 1.15, g = m + (g0 - m) * 1.10, b = m + (b0 - m) * 1.08;
        if (r > 0.7) r = 0.7 + (r - 0.7) * 1.3;
        if (g > 0.7) g = 0.7 + (g - 0.7) * 1.2;
        if (b > 0.7) b = 0.7 + (b - 0.7) * 1.1;
        cases.push_back({"cinestill_800t", {0.8f, 0.6f, 0.4f, 1}, c01(std::pow(r, 1.02)), std::pow(g, 1.03), std::pow(b, 1.05)});
    }
    {
        // teal_orange: shadow and highlight pushes from the same luma, 30 % s-curve.
        const double r0 = 0.3, g0 = 0.4, b0 = 0.5;
        const double y = 0.2126 * r0 + 0.7152 * g0 + 0.0722 * b0;
        const double lo = (1 - ss(0.2, 0.7, y)) * 0.5, hi = ss(0.3, 0.8, y) * 0.5;
        auto s = [](double v) { return v + (v * v * (3 - 2 * v) - v) * 0.3; };
        cases.push_back({"teal_orange", {0.3f, 0.4f, 0.5f, 1}, s(r0 - 0.3 * lo + 0.3 * hi),
                         s(g0 + 0.1 * lo + 0.1 * hi), s(b0 + 0.3 * lo - 0.2 * hi)});
    }
    // kodak_vision on pure red: h 0 -> 0.035, l 0.495, s 1 * (1.1 + 0.1 sin(0.495 * 3.14)).
    {
        const double l = 0.495, s = 1.1 + 0.1 * std::sin(0.495 * 3.14), h = 0.035;
        const double q = l * (1 + s), p = 2 * l - q;
        cases.push_back({"kodak_vision", {1, 0, 0, 1}, c01(q), c01(p + (q - p) * 6 * h), c01(p)});
    }
    // faded_noir: black becomes 0.06, white 1.05 clamped to 1.
    cases.push_back({"faded_noir", {0, 0, 0, 1}, 0.06, 0.06, 0.06});
    cases.push_back({"faded_noir", {1, 1, 1, 1}, 1, 1, 1});
    // An input above 1 leaves the mood clamped.
    cases.push_back({"fuji_eterna", {1.5f, 0.5f, 0.5f, 1}, 1.0, 0.51, 0.515});
    return cases;
}

TEST(MoodRecipes, KernelMatchesTheWrittenOutRecipes)
{
    for (const RecipeCase& c : recipeCases()) {
        const Color out = graded(applyMoodImage(singlePixel(c.in.r, c.in.g, c.in.b), moodParams(c.key)));
        SCOPED_TRACE(c.key);
        EXPECT_COLOR_NEAR(out, c01(c.r), c01(c.g), c01(c.b), 2e-5);
    }
}

TEST(MoodRecipes, CubePathMatchesWithinInterpolation)
{
    ScopedKernelsUnavailable noKernels;
    for (const RecipeCase& c : recipeCases()) {
        const Color out = graded(applyMoodImage(singlePixel(c.in.r, c.in.g, c.in.b), moodParams(c.key)));
        // Inputs outside [0, 1] are clamped by the cube lookup first.
        if (c.in.r < 0 || c.in.r > 1) {
            continue;
        }
        SCOPED_TRACE(c.key);
        EXPECT_COLOR_NEAR(out, c01(c.r), c01(c.g), c01(c.b), 1.5e-2);
    }
}

TEST(MoodRecipes, KernelAndCubeAgreeOnLatticeColoursForEveryMood)
{
    const Color samples[] = {{0, 0, 0, 1}, {1, 1, 1, 1}, {0.25f, 0.5f, 0.75f, 1}, {0.875f, 0.125f, 0.375f, 1},
                             {0.5f, 0.5f, 0.5f, 1}, {0.0625f, 0.9375f, 0.3125f, 1}};
    Params sliders = moodParams("x", 0.8);
    sliders.moodContrast = 0.3;
    sliders.moodSaturation = -0.2;
    sliders.moodWarmth = 0.4;
    sliders.moodTealOrange = 0.5;
    sliders.moodShadowLift = 0.3;
    sliders.moodHighlightRolloff = 0.6;
    for (const auto& group : ClipGradeCatalog::moodGroups()) {
        for (const auto& option : group.items) {
            for (const Params& base : {moodParams(option.key), [&] { Params p = sliders; p.moodKey = option.key; return p; }()}) {
                for (const Color& s : samples) {
                    const Image in = singlePixel(s.r, s.g, s.b);
                    const Color kernel = graded(applyMoodImage(in, base));
                    ScopedKernelsUnavailable noKernels;
                    const Color cube = graded(applyMoodImage(in, base));
                    SCOPED_TRACE(option.key);
                    EXPECT_COLOR_NEAR(cube, kernel.r, kernel.g, kernel.b, 1e-4);
                }
            }
        }
    }
}

Color moodSlidersOnGrey(double contrast, double saturation, double warmth, double tealOrange, double shadowLift, double rolloff, Color in)
{
    Params p = moodParams("fuji_eterna");
    p.moodContrast = contrast;
    p.moodSaturation = saturation;
    p.moodWarmth = warmth;
    p.moodTealOrange = tealOrange;
    p.moodShadowLift = shadowLift;
    p.moodHighlightRolloff = rolloff;
    // The sliders act on the look of fuji_eterna at amount 1.
    return graded(applyMoodImage(singlePixel(in.r, in.g, in.b), p));
}

TEST(MoodSliders, EachSliderFollowsItsFormula)
{
    const Color in{0.5f, 0.5f, 0.5f, 1};
    // fuji_eterna on grey 0.5 gives m = (0.46075, 0.51, 0.515).
    const double r = 0.46075, g = 0.51, b = 0.515;
    const double L709 = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    {
        const double k = 1 + 0.5 * 0.6;
        EXPECT_COLOR_NEAR(moodSlidersOnGrey(0.5, 0, 0, 0, 0, 0, in), (r - 0.5) * k + 0.5, (g - 0.5) * k + 0.5, (b - 0.5) * k + 0.5, 2e-6);
    }
    {
        const double k = 1 - 0.4;
        EXPECT_COLOR_NEAR(moodSlidersOnGrey(0, -0.4, 0, 0, 0, 0, in), L709 + (r - L709) * k, L709 + (g - L709) * k, L709 + (b - L709) * k, 2e-6);
    }
    {
        const double t = 0.3 * 0.6;
        double rr = r * (1 + t), gg = g, bb = b * (1 - t);
        const double scale = L709 / (0.2126 * rr + 0.7152 * gg + 0.0722 * bb);
        EXPECT_COLOR_NEAR(moodSlidersOnGrey(0, 0, 0.3, 0, 0, 0, in), rr * scale, gg * scale, bb * scale, 2e-6);
    }
    {
        const double amt = 0.8 * 0.25;
        const double lo = amt * (1 - ss(0.2, 0.7, L709)) * 0.6, hi = amt * ss(0.3, 0.8, L709) * 0.6;
        EXPECT_COLOR_NEAR(moodSlidersOnGrey(0, 0, 0, 0.8, 0, 0, in), r - 0.3 * lo + 0.3 * hi, g + 0.1 * lo + 0.1 * hi, b + 0.3 * lo - 0.2 * hi, 2e-6);
    }
    {
        const double lift = -0.5 * 0.12 * (1 - ss(0.02, 0.55, L709));
        EXPECT_COLOR_NEAR(moodSlidersOnGrey(0, 0, 0, 0, -0.5, 0, in), r + lift, g + lift, b + lift, 2e-6);
    }
    {
        // Roll-off on a bright colour: luma above the knee is compressed.
        const Color bright{0.95f, 0.95f, 0.95f, 1};
        const double br = 0.95 * 0.97 * 0.95, bg = 0.95 * 1.02, bb = std::min(0.95 * 1.03, 1.0);
        const double L = 0.2126 * br + 0.7152 * bg + 0.0722 * bb;
        const double a = 0.5, knee = 0.92 + (0.65 - 0.92) * a, t = L - knee;
        const double k = (knee + t / (1 + t * (2 + 10 * a))) / L;
        EXPECT_COLOR_NEAR(moodSlidersOnGrey(0, 0, 0, 0, 0, 0.5, bright), br * k, bg * k, bb * k, 2e-6);
        // A negative roll-off does nothing.
        EXPECT_COLOR_NEAR(moodSlidersOnGrey(0, 0, 0, 0, 0, -0.5, bright), br, bg, bb, 2e-6);
    }
}

TEST(MoodSliders, ValuesBeyondTheRangeAreClamped)
{
    const Color in{0.5f, 0.5f, 0.5f, 1};
    const Color at1 = moodSlidersOnGrey(1, 0, 0, 0, 0, 0, in);
    const Color at25 = moodSlidersOnGrey(2.5, 0, 0, 0, 0, 0, in);
    EXPECT_COLOR_NEAR(at25, at1.r, at1.g, at1.b, 0);
    const Color atm1 = moodSlidersOnGrey(0, 0, -1, 0, 0, 0, in);
    const Color atm3 = moodSlidersOnGrey(0, 0, -3, 0, 0, 0, in);
    EXPECT_COLOR_NEAR(atm3, atm1.r, atm1.g, atm1.b, 0);
}

class MoodCubeCache : public ::testing::Test {
protected:
    void SetUp() override { moodCubeCache().removeAll(); }
    void TearDown() override { moodCubeCache().removeAll(); }
};

TEST_F(MoodCubeCache, KeyHoldsSixDecimals)
{
    EXPECT_EQ(moodCubeKey(3, 1, 0.2, -0.5, 0.2000001, 0, 1.0 / 3, 0.25),
              "m=3|a=1.000000|c=0.200000|s=-0.500000|w=0.200000|to=0.000000|sl=0.333333|hr=0.250000");
}

TEST_F(MoodCubeCache, RoundsTheMoodAndBuildsEachCubeOnce)
{
    const Image in = singlePixel(0.5f, 0.5f, 0.5f);
    EXPECT_TRUE(applyMoodFallbackCube(in, -0.4, 1, 0, 0, 0, 0, 0, 0).isIdenticalTo(in));
    EXPECT_TRUE(applyMoodFallbackCube(in, 3, 0.0004, 0, 0, 0, 0, 0, 0).isIdenticalTo(in));
    EXPECT_EQ(moodCubeCache().size(), 0u);
    const Color rounded = graded(applyMoodFallbackCube(in, 2.5, 1, 0, 0, 0.2, 0, 0, 0));
    const Color three = graded(applyMoodFallbackCube(in, 3, 1, 0, 0, 0.2000001, 0, 0, 0));
    EXPECT_EQ(rounded, three);
    EXPECT_EQ(moodCubeCache().keyOrder(), std::vector<std::string>{moodCubeKey(3, 1, 0, 0, 0.2, 0, 0, 0)});
    const CachedCubeRef first = *moodCubeCache().lookup(moodCubeKey(3, 1, 0, 0, 0.2, 0, 0, 0));
    EXPECT_EQ(first->cube.size, 33);
    EXPECT_EQ(first->cube.data.size(), 574992u);
}

TEST(MoodCube, MatchesTheLookOnItsLattice)
{
    const CubeLUT cube = buildMoodCube(5, 52, 1, 0, 0, 0, 0, 0, 0);
    ASSERT_EQ(cube.size, 5);
    const std::vector<float> f = cube.floats();
    // Black becomes 0.06 grey; white 1.05, clamped.
    EXPECT_NEAR(f[0], 0.06, 1e-7);
    EXPECT_EQ(f[124 * 4], 1.0f);
    EXPECT_EQ(f[124 * 4 + 3], 1.0f);
    EXPECT_EQ(buildMoodCube(1, 1, 1, 0, 0, 0, 0, 0, 0).size, 2);
    EXPECT_EQ(buildMoodCube(100, 1, 1, 0, 0, 0, 0, 0, 0).size, 65);
    // No mood: the identity lattice.
    const std::vector<float> id = buildMoodCube(3, 0, 1, 0, 0, 0, 0, 0, 0).floats();
    EXPECT_EQ(id[(1 + 3 * 2) * 4 + 0], 0.5f);
    EXPECT_EQ(id[(1 + 3 * 2) * 4 + 1], 1.0f);
}

TEST(MoodFallbackImage, StockFilterApproximations)
{
    const Image in = singlePixel(0.4f, 0.5f, 0.6f);
    EXPECT_TRUE(applyMoodFallbackImage(in, 9, 0.0001).isIdenticalTo(in));
    // Any other mood: look adjust (1 + 0.05 a, 1 + 0.08 a, 0) dissolved at a.
    const double a = 0.5, y = 0.2125 * 0.4 + 0.7154 * 0.5 + 0.0721 * 0.6;
    auto look = [&](double v) { return ((y + (v - y) * (1 + 0.08 * a)) - 0.5) * (1 + 0.05 * a) + 0.5; };
    auto mixed = [&](double v) { return v * (1 - a) + look(v) * a; };
    EXPECT_COLOR_NEAR(graded(applyMoodFallbackImage(in, 30, a)), mixed(0.4), mixed(0.5), mixed(0.6), 1e-6);
    EXPECT_FALSE(applyMoodFallbackImage(in, 50, 1).isIdenticalTo(in));
}

} // namespace
} // namespace velmora
