#include <gtest/gtest.h>

#include "platform/image/Composite.h"
#include "platform/image/SpatialFilters.h"

namespace velmora {
namespace {

TEST(SourceOver, StraightAlphaPorterDuff)
{
    const Image fg = Image::filled(1, 1, {1, 0, 0, 0.5f});
    const Image bg = Image::filled(1, 1, {0, 0, 1, 0.5f});
    const Color c = sourceOver(fg, bg).pixel(0, 0);
    EXPECT_NEAR(c.a, 0.75, 1e-6);
    EXPECT_NEAR(c.r, 0.5 / 0.75, 1e-6);
    EXPECT_NEAR(c.b, 0.25 / 0.75, 1e-6);
}

TEST(SourceOver, ConstantBackgroundFillsTheArea)
{
    const Image frame = Image::filled(2, 2, {1, 1, 1, 1}, 1, 1);
    const Image out = sourceOver(frame, Image::constant({0, 0, 0, 1}), IntRect{0, 0, 4, 4});
    EXPECT_EQ(out.extent(), (Rect{0, 0, 4, 4}));
    EXPECT_EQ(out.pixel(0, 0), (Color{0, 0, 0, 1}));
    EXPECT_EQ(out.pixel(1, 1), (Color{1, 1, 1, 1}));
    EXPECT_EQ(out.pixel(3, 3), (Color{0, 0, 0, 1}));
    // Without an area, the union of finite extents.
    EXPECT_EQ(sourceOver(frame, Image::constant({0, 0, 0, 1})).extent(), (Rect{1, 1, 2, 2}));
    EXPECT_TRUE(sourceOver(Image::constant({1, 0, 0, 0.5f}), Image::constant({0, 0, 1, 1})).isConstant());
}

TEST(Blend, MultiplyAndScreenOverAnOpaqueBackdrop)
{
    const Image fg = Image::filled(1, 1, {0.5f, 0.5f, 0.5f, 1});
    const Image bg = Image::filled(1, 1, {0.5f, 1, 0, 1});
    const Color m = blend(fg, bg, BlendMode::multiply, IntRect{0, 0, 1, 1}).pixel(0, 0);
    EXPECT_NEAR(m.r, 0.25, 1e-6);
    EXPECT_NEAR(m.g, 0.5, 1e-6);
    EXPECT_NEAR(m.b, 0.0, 1e-6);
    const Color s = blend(fg, bg, BlendMode::screen, IntRect{0, 0, 1, 1}).pixel(0, 0);
    EXPECT_NEAR(s.r, 0.75, 1e-6);
    EXPECT_NEAR(s.g, 1.0, 1e-6);
    EXPECT_NEAR(s.b, 0.5, 1e-6);
}

TEST(VignetteEffect, DarkensTowardsTheCornersOnly)
{
    const Image out = vignetteEffect(Image::filled(21, 11, {1, 1, 1, 1}), 2.0, 1.0);
    EXPECT_NEAR(out.pixel(10, 5).r, 1.0, 1e-6);
    // Corner centre (0.5, 0.5): squared distance over the squared half diagonal is 125 / 140.5.
    EXPECT_NEAR(out.pixel(0, 0).r, 1 - 2 * (125 / 140.5) / 2, 1e-6);
    EXPECT_EQ(out.pixel(0, 0).a, 1.0f);
    EXPECT_NEAR(vignetteEffect(Image::filled(21, 11, {1, 1, 1, 1}), 0.0, 1.0).pixel(0, 0).r, 1.0, 1e-6);
}

TEST(NoiseReduction, SmoothsSmallDifferencesAndKeepsEdges)
{
    Image in = Image::filled(5, 5, {0.5f, 0.5f, 0.5f, 1});
    float* row = in.mutableRow(2);
    row[2 * 4 + 0] = row[2 * 4 + 1] = row[2 * 4 + 2] = 0.51f;
    const Image smoothed = noiseReduction(in, 0.02, 0);
    EXPECT_NEAR(smoothed.pixel(2, 2).r, (8 * 0.5 + 0.51) / 9, 1e-6);
    const Image edge = noiseReduction(in, 0.001, 0);
    EXPECT_NEAR(edge.pixel(2, 2).r, 0.51, 1e-6);
}

} // namespace
} // namespace velmora
