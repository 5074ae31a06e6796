#include <gtest/gtest.h>

#include "platform/image/ColorOps.h"
#include "platform/image/Resample.h"

namespace velmora {
namespace {

// Red = x + 0.5 and green = y + 0.5 at every pixel centre (a linear ramp that bilinear
// interpolation reproduces exactly).
Image ramp(int w, int h, int ox = 0, int oy = 0)
{
    Image image = Image::allocate(w, h, ox, oy);
    for (int i = 0; i < h; ++i) {
        float* row = image.mutableRow(i);
        for (int x = 0; x < w; ++x) {
            row[x * 4 + 0] = static_cast<float>(ox + x) + 0.5f;
            row[x * 4 + 1] = static_cast<float>(oy + h - 1 - i) + 0.5f;
            row[x * 4 + 2] = 0;
            row[x * 4 + 3] = 1;
        }
    }
    return image;
}

TEST(AffineTransform, ScaleSamplesBilinearlyAtPixelCentres)
{
    const Image out = affineTransform(ramp(10, 10), AffineTransform::scale(2, 2));
    EXPECT_EQ(out.extent(), (Rect{0, 0, 20, 20}));
    // Centre (5.5, 7.5) maps to (2.75, 3.75) in the source.
    EXPECT_NEAR(out.pixel(5, 7).r, 2.75, 1e-5);
    EXPECT_NEAR(out.pixel(5, 7).g, 3.75, 1e-5);
    // Beyond the outermost source centres the edge repeats, with no fade to transparent.
    EXPECT_NEAR(out.pixel(0, 0).r, 0.5, 1e-6);
    EXPECT_EQ(out.pixel(0, 0).a, 1.0f);
    EXPECT_NEAR(out.pixel(19, 19).r, 9.5, 1e-6);
}

TEST(AffineTransform, WholePixelTranslationSharesPixels)
{
    const Image in = ramp(4, 3);
    const Image out = affineTransform(in, AffineTransform::translation(5, -2));
    EXPECT_EQ(out.extent(), (Rect{5, -2, 4, 3}));
    EXPECT_EQ(out.row(0), in.row(0));
    EXPECT_EQ(translate(in, 1, 1).row(1), in.row(1));
}

TEST(AffineTransform, FractionalTranslationWidensToWholePixels)
{
    const Image out = translate(ramp(4, 1), 0.5, 0);
    EXPECT_EQ(out.extent(), (Rect{0, 0, 5, 1}));
    EXPECT_NEAR(out.pixel(1, 0).r, 1.0, 1e-6);
    // The last column's centre lies outside the moved extent: transparent.
    EXPECT_EQ(out.pixel(4, 0).a, 0.0f);
}

TEST(AffineTransform, RotationByAQuarterTurn)
{
    const AffineTransform quarter{0, 1, -1, 0, 0, 0}; // (x, y) -> (-y, x)
    const Image out = affineTransform(ramp(4, 2), quarter);
    EXPECT_EQ(out.extent(), (Rect{-2, 0, 2, 4}));
    // Destination centre (-1.5, 2.5) comes from source (2.5, 1.5).
    EXPECT_NEAR(out.pixel(-2, 2).r, 2.5, 1e-5);
    EXPECT_NEAR(out.pixel(-2, 2).g, 1.5, 1e-5);
}

TEST(AffineTransform, TransparentPixelsDoNotDarkenNeighbours)
{
    Image in = Image::allocate(2, 1);
    float* row = in.mutableRow(0);
    const float px[8] = {1, 1, 1, 1, 0, 0, 0, 0};
    std::copy(px, px + 8, row);
    const Image out = affineTransform(in, AffineTransform::scale(4, 1));
    // Centre 4.5 samples the source at 1.125: 62.5 % of the way to the transparent pixel. The
    // colour stays white; only the coverage falls.
    const Color c = out.pixel(4, 0);
    EXPECT_NEAR(c.r, 1.0, 1e-6);
    EXPECT_NEAR(c.a, 0.375, 1e-6);
}

TEST(AffineTransform, DegenerateTransformsAndConstants)
{
    EXPECT_TRUE(affineTransform(ramp(2, 2), AffineTransform::scale(0, 1)).isEmpty());
    const Image red = Image::constant({1, 0, 0, 1});
    EXPECT_TRUE(affineTransform(red, AffineTransform::scale(2, 2)).isIdenticalTo(red));
}

TEST(AffineTransformCropped, OnlyTheAreaIsMade)
{
    const Image out = affineTransformCropped(ramp(100, 100), AffineTransform::scale(3, 3), IntRect{10, 20, 5, 4});
    EXPECT_EQ(out.extent(), (Rect{10, 20, 5, 4}));
    EXPECT_NEAR(out.pixel(12, 21).r, 12.5 / 3, 1e-5);
    EXPECT_NEAR(out.pixel(12, 21).g, 21.5 / 3, 1e-5);
}

TEST(Crop, WidensFractionalRectanglesAndKeepsPendingSteps)
{
    const Image stepped = gammaAdjust(ramp(10, 10), 1.0);
    const Image c = crop(stepped, Rect{1.5, 2.25, 3.0, 1.5});
    EXPECT_EQ(c.extent(), (Rect{1, 2, 4, 2}));
    EXPECT_TRUE(c.hasPendingOps());
    EXPECT_NEAR(c.pixel(1, 2).r, 1.5, 1e-6);
    EXPECT_TRUE(crop(stepped, Rect::infinite()).isIdenticalTo(stepped));
}

} // namespace
} // namespace velmora
