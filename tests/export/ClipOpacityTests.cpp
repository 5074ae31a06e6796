#include <gtest/gtest.h>

#include "export/ClipOpacity.h"

namespace velmora::Exporter {
namespace {

EditorJobV2::Clip clip(double start, double duration)
{
    EditorJobV2::Clip c;
    c.startTime = start;
    c.duration = duration;
    return c;
}

TEST(ClipVisualOpacity, LimitsTheOpacity)
{
    EditorJobV2::Clip c = clip(0, 4);
    c.opacity = 1.5;
    EXPECT_EQ(clipVisualOpacity(c, 1), 1.0);
    c.opacity = -0.2;
    EXPECT_EQ(clipVisualOpacity(c, 1), 0.0);
    c.opacity = 0.4;
    EXPECT_DOUBLE_EQ(clipVisualOpacity(c, 1), 0.4);
    c.opacity.reset();
    EXPECT_EQ(clipVisualOpacity(c, 1), 1.0);
}

TEST(ClipVisualOpacity, FadesInLinearly)
{
    EditorJobV2::Clip c = clip(10, 5);
    c.fadeIn = 1;
    EXPECT_DOUBLE_EQ(clipVisualOpacity(c, 10.25), 0.25);
    EXPECT_DOUBLE_EQ(clipVisualOpacity(c, 11), 1.0);
    EXPECT_DOUBLE_EQ(clipVisualOpacity(c, 12), 1.0);
    EXPECT_DOUBLE_EQ(clipVisualOpacity(c, 9), 0.0);
}

TEST(ClipVisualOpacity, FadesOfAtMostTwoHundredthsDoNothing)
{
    EditorJobV2::Clip c = clip(0, 4);
    c.fadeIn = 0.02;
    c.fadeOut = 0.02;
    EXPECT_EQ(clipVisualOpacity(c, 0.001), 1.0);
    EXPECT_EQ(clipVisualOpacity(c, 3.999), 1.0);
}

TEST(ClipVisualOpacity, FadesOutLinearly)
{
    EditorJobV2::Clip c = clip(0, 4);
    c.fadeOut = 2;
    EXPECT_DOUBLE_EQ(clipVisualOpacity(c, 3), 0.5);
    EXPECT_DOUBLE_EQ(clipVisualOpacity(c, 4), 0.0);
    EXPECT_DOUBLE_EQ(clipVisualOpacity(c, 1.5), 1.0);
}

TEST(ClipVisualOpacity, OverlappingFadesMultiply)
{
    EditorJobV2::Clip c = clip(0, 1);
    c.fadeIn = 1;
    c.fadeOut = 1;
    c.opacity = 0.8;
    EXPECT_DOUBLE_EQ(clipVisualOpacity(c, 0.5), 0.8 * 0.5 * 0.5);
}

TEST(ClipVisualOpacity, ATinyDurationCountsAsAThousandth)
{
    EditorJobV2::Clip c = clip(0, 0);
    c.fadeOut = 0.5;
    EXPECT_DOUBLE_EQ(clipVisualOpacity(c, 0.0005), (0.001 - 0.0005) / 0.5);
}

TEST(ApplyingVisualOpacity, FullAlphaKeepsTheImage)
{
    const Image image = Image::filled(4, 2, Color{0.8f, 0.6f, 0.4f, 1});
    EXPECT_TRUE(applyingVisualOpacity(image, 0.99995, 4, 2).isIdenticalTo(image));
}

TEST(ApplyingVisualOpacity, HalfAlphaHalvesThePictureOverBlack)
{
    const Image out = applyingVisualOpacity(Image::filled(4, 2, Color{0.8f, 0.6f, 0.4f, 1}), 0.5, 4, 2);
    EXPECT_EQ(out.extent(), (Rect{0, 0, 4, 2}));
    const Color c = out.pixel(3, 1);
    EXPECT_FLOAT_EQ(c.r, 0.4f);
    EXPECT_FLOAT_EQ(c.g, 0.3f);
    EXPECT_FLOAT_EQ(c.b, 0.2f);
    EXPECT_FLOAT_EQ(c.a, 1.0f);
}

TEST(ApplyingVisualOpacity, NearZeroGivesOpaqueBlackOfTheRenderSize)
{
    const Image out = applyingVisualOpacity(Image::filled(4, 2, Color{1, 1, 1, 1}), 0.0005, 6, 3);
    EXPECT_EQ(out.extent(), (Rect{0, 0, 6, 3}));
    EXPECT_EQ(out.pixel(5, 2), (Color{0, 0, 0, 1}));
}

TEST(ApplyingVisualOpacity, BlackShowsWhereThePictureDoesNotReach)
{
    const Image out = applyingVisualOpacity(Image::filled(2, 2, Color{0.8f, 0.8f, 0.8f, 1}), 0.5, 4, 2);
    EXPECT_EQ(out.extent(), (Rect{0, 0, 4, 2}));
    EXPECT_FLOAT_EQ(out.pixel(0, 0).r, 0.4f);
    EXPECT_EQ(out.pixel(3, 0), (Color{0, 0, 0, 1}));
}

} // namespace
} // namespace velmora::Exporter
