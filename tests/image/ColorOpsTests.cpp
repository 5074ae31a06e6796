#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "platform/image/ColorCube.h"
#include "platform/image/ColorOps.h"
#include "platform/image/Lanes.h"

namespace velmora {
namespace {

// A row of `n` pixels whose colours sweep the range [-0.5, 1.5] with a varying alpha.
Image sweep(int n)
{
    Image image = Image::allocate(n, 1);
    float* row = image.mutableRow(0);
    for (int i = 0; i < n; ++i) {
        const float t = n > 1 ? static_cast<float>(i) / static_cast<float>(n - 1) : 0.5f;
        row[i * 4 + 0] = -0.5f + 2 * t;
        row[i * 4 + 1] = t * t;
        row[i * 4 + 2] = 1 - t;
        row[i * 4 + 3] = 0.25f + 0.5f * t;
    }
    return image;
}

// 20 pixels on lattice points of an n-point cube: pixel x at (x mod n, 7x mod n, 13x mod n).
Image rowImage(int n)
{
    Image image = Image::allocate(20, 1);
    float* row = image.mutableRow(0);
    const float last = static_cast<float>(n - 1);
    for (int x = 0; x < 20; ++x) {
        row[x * 4 + 0] = static_cast<float>(x % n) / last;
        row[x * 4 + 1] = static_cast<float>((x * 7) % n) / last;
        row[x * 4 + 2] = static_cast<float>((x * 13) % n) / last;
        row[x * 4 + 3] = 1;
    }
    return image;
}

TEST(ColorMatrix, MultipliesAndBiasesAllFourComponents)
{
    ColorMatrix m;
    m.r[0] = 0.5f;
    m.r[1] = 0.25f;
    m.g[3] = 1;
    m.g[1] = 0;
    m.a[3] = 0.5f;
    m.bias[2] = 0.1f;
    const Image in = sweep(3);
    const Image out = colorMatrix(in, m);
    for (int x = 0; x < 3; ++x) {
        const Color c = in.pixel(x, 0);
        const Color o = out.pixel(x, 0);
        EXPECT_FLOAT_EQ(o.r, 0.5f * c.r + 0.25f * c.g);
        EXPECT_FLOAT_EQ(o.g, c.a);
        EXPECT_FLOAT_EQ(o.b, c.b + 0.1f);
        EXPECT_FLOAT_EQ(o.a, 0.5f * c.a);
    }
}

TEST(ColorControls, SaturationThenBrightnessThenContrast)
{
    const Image in = sweep(9);
    const Image out = colorControls(in, 1.4, 0.05, 0.8);
    for (int x = 0; x < 9; ++x) {
        const Color c = in.pixel(x, 0);
        const double y = 0.2125 * c.r + 0.7154 * c.g + 0.0721 * c.b;
        auto f = [&](double v) { return ((y + (v - y) * 1.4) + 0.05 - 0.5) * 0.8 + 0.5; };
        const Color o = out.pixel(x, 0);
        EXPECT_NEAR(o.r, f(c.r), 1e-6);
        EXPECT_NEAR(o.g, f(c.g), 1e-6);
        EXPECT_NEAR(o.b, f(c.b), 1e-6);
        EXPECT_EQ(o.a, c.a);
    }
}

TEST(GammaAdjust, SignedPowerKeepsAlpha)
{
    const Image in = sweep(33);
    for (double p : {0.5, 1.1218765935747068, 2.2, -1.5}) {
        const Image out = gammaAdjust(in, p);
        for (int x = 0; x < 33; ++x) {
            const Color c = in.pixel(x, 0);
            const Color o = out.pixel(x, 0);
            auto g = [&](double v) { return v < 0 ? -std::pow(-v, p) : std::pow(v, p); };
            for (auto [got, v] : {std::pair{o.r, c.r}, std::pair{o.g, c.g}, std::pair{o.b, c.b}}) {
                const double want = g(v);
                if (std::isinf(want)) {
                    EXPECT_TRUE(std::isinf(got));
                } else {
                    EXPECT_NEAR(got, want, 2e-6 * std::max(1.0, std::fabs(want))) << p << " " << v;
                }
            }
            EXPECT_EQ(o.a, c.a);
        }
    }
}

TEST(GammaAdjust, NaNBecomesZeroForPositivePowers)
{
    Image in = Image::filled(1, 1, {NAN, 0.25f, 0, 1});
    const Color o = gammaAdjust(in, 2).pixel(0, 0);
    EXPECT_EQ(o.r, 0.0f);
    EXPECT_FLOAT_EQ(o.g, 0.0625f);
    EXPECT_EQ(o.b, 0.0f);
}

TEST(Dissolve, FusesWhenTheTargetDerivesFromTheSource)
{
    const Image in = sweep(5);
    const Image target = gammaAdjust(in, 2);
    const Image mixed = dissolve(in, target, 0.25);
    EXPECT_EQ(mixed.pendingOps().size(), 1u);
    for (int x = 0; x < 5; ++x) {
        const Color a = in.pixel(x, 0);
        const Color b = target.pixel(x, 0);
        const Color m = mixed.pixel(x, 0);
        EXPECT_NEAR(m.r, a.r * 0.75f + b.r * 0.25f, 1e-6);
        EXPECT_NEAR(m.g, a.g * 0.75f + b.g * 0.25f, 1e-6);
        EXPECT_NEAR(m.a, a.a, 1e-6);
    }
}

TEST(Dissolve, UnrelatedImagesBlendOverTheUnionOfExtents)
{
    const Image a = Image::filled(2, 1, {1, 0, 0, 1}, 0, 0);
    const Image b = Image::filled(2, 1, {0, 1, 0, 1}, 1, 0);
    const Image m = dissolve(a, b, 0.5);
    EXPECT_EQ(m.extent(), (Rect{0, 0, 3, 1}));
    EXPECT_EQ(m.pixel(0, 0), (Color{0.5f, 0, 0, 0.5f}));
    EXPECT_EQ(m.pixel(1, 0), (Color{0.5f, 0.5f, 0, 1}));
    EXPECT_EQ(m.pixel(2, 0), (Color{0, 0.5f, 0, 0.5f}));
    EXPECT_EQ(dissolve(Image::constant({1, 1, 1, 1}), Image::constant({0, 0, 0, 1}), 0.25).constantColor(),
              (Color{0.75f, 0.75f, 0.75f, 1}));
}

TEST(ConstantImages, ColourStepsApplyToTheColour)
{
    const Image c = gammaAdjust(colorControls(Image::constant({0.5f, 0.5f, 0.5f, 1}), 1, 0.25, 1), 2);
    EXPECT_TRUE(c.isConstant());
    EXPECT_NEAR(c.constantColor().r, 0.5625, 1e-6);
}

// Every span length around the lane widths, on both lane loops, against the one-pixel form.
TEST(LaneLoops, BothWidthsAgreeWithTheScalarReferenceAtEveryLength)
{
    std::vector<float> lattice;
    const int n = 5;
    for (int b = 0; b < n; ++b) {
        for (int g = 0; g < n; ++g) {
            for (int r = 0; r < n; ++r) {
                lattice.insert(lattice.end(), {std::sqrt(r / 4.0f), g / 4.0f * b / 4.0f, 1 - r / 4.0f, 1});
            }
        }
    }
    const auto cube = std::make_shared<const ColorCube>(n, lattice);
    for (int width : {1, 3, 4, 7, 8, 9, 15, 16, 17, 255, 256, 257, 300}) {
        const Image in = sweep(width);
        for (bool baseline : {false, true}) {
            std::optional<lanes::ScopedBaselineLanes> force;
            if (baseline) {
                force.emplace();
            }
            const Image out = colorCube(gammaAdjust(in, 0.8), cube).rendered();
            for (int x = 0; x < width; ++x) {
                const Color c = in.pixel(x, 0);
                auto g = [](float v) { return v < 0 ? -std::pow(-v, 0.8f) : std::pow(v, 0.8f); };
                const Color want = cube->apply(Color{g(c.r), g(c.g), g(c.b), c.a});
                const Color got = out.pixel(x, 0);
                EXPECT_NEAR(got.r, want.r, 2e-6) << width << " " << x;
                EXPECT_NEAR(got.g, want.g, 2e-6) << width << " " << x;
                EXPECT_NEAR(got.b, want.b, 2e-6) << width << " " << x;
                EXPECT_EQ(got.a, c.a);
            }
        }
    }
}

// Random lattices of the sizes at the ends of each planar path (16 lanes from a regrouped lattice
// up to 65 points, 8 lanes above), against the one-pixel lookup: rows straddling the lane
// widths, inputs outside [0, 1], NaN, infinities and exact lattice points.
TEST(ColorCubeApply, PlanarPathsAgreeWithTheOnePixelLookup)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_real_distribution<float> input(-0.2f, 1.2f);
    for (const int n : {2, 17, 33, 65, 66}) {
        std::vector<float> lattice(static_cast<std::size_t>(n * n * n) * 4);
        for (float& v : lattice) {
            v = unit(rng);
        }
        const auto cube = std::make_shared<const ColorCube>(n, lattice);
        for (const int width : {15, 16, 17, 40, 257}) {
            Image in = Image::allocate(width, 1);
            float* row = in.mutableRow(0);
            for (int i = 0; i < width; ++i) {
                for (int c = 0; c < 3; ++c) {
                    row[i * 4 + c] = input(rng);
                }
                row[i * 4 + 3] = 0.5f;
            }
            const float special[] = {NAN, INFINITY, -INFINITY, 0.0f, 1.0f, 1.0f / static_cast<float>(n - 1)};
            for (int i = 0; i < std::min(width, 6); ++i) {
                row[i * 4 + i % 3] = special[i];
            }
            const Image out = colorCube(in, cube).rendered();
            for (int x = 0; x < width; ++x) {
                const Color c = in.pixel(x, 0);
                const Color want = cube->apply(c);
                const Color got = out.pixel(x, 0);
                SCOPED_TRACE(::testing::Message() << n << " " << width << " " << x);
                EXPECT_NEAR(got.r, want.r, 1e-6);
                EXPECT_NEAR(got.g, want.g, 1e-6);
                EXPECT_NEAR(got.b, want.b, 1e-6);
                EXPECT_EQ(got.a, 0.5f);
            }
        }
        // A lattice colour comes out exactly: on every path inside the lattice, and on the
        // 16-lane path (the first 16 pixels, with AVX-512) on its top faces too.
        const Image corners = colorCube(rowImage(n), cube).rendered();
        const std::size_t top = static_cast<std::size_t>(n - 1);
        for (int x = 0; x < 20; ++x) {
            const Color c = corners.pixel(x, 0);
            const std::size_t i = static_cast<std::size_t>(x % n);
            const std::size_t j = static_cast<std::size_t>((x * 7) % n);
            const std::size_t k = static_cast<std::size_t>((x * 13) % n);
            if ((i == top || j == top || k == top) && !(x < 16 && n <= 65 && lanes::haveAvx512())) {
                continue;
            }
            const float* entry = lattice.data() + ((k * n + j) * n + i) * 4;
            EXPECT_EQ(c.r, entry[0]) << n << " " << x;
            EXPECT_EQ(c.g, entry[1]) << n << " " << x;
            EXPECT_EQ(c.b, entry[2]) << n << " " << x;
        }
    }
}

TEST(ColorCubeApply, RejectsBadLattices)
{
    EXPECT_THROW(ColorCube(1, std::vector<float>(4)), std::invalid_argument);
    EXPECT_THROW(ColorCube(2, std::vector<float>(31)), std::invalid_argument);
}

TEST(ColorCubeApply, NaNAndOutOfRangeInputsUseTheClampedCorner)
{
    std::vector<float> lattice;
    for (int b = 0; b < 2; ++b) {
        for (int g = 0; g < 2; ++g) {
            for (int r = 0; r < 2; ++r) {
                lattice.insert(lattice.end(), {float(r), float(g) * 0.5f, float(b) * 0.25f, 1});
            }
        }
    }
    const auto cube = std::make_shared<const ColorCube>(2, lattice);
    const Image out = colorCube(Image::filled(9, 1, {NAN, 7, -INFINITY, 0.5f}), cube);
    EXPECT_EQ(out.pixel(8, 0), (Color{0, 0.5f, 0, 0.5f}));
}

} // namespace
} // namespace velmora
