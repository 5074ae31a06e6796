#include <gtest/gtest.h>

#include "platform/image/Image.h"
#include "platform/image/ImagePool.h"

namespace velmora {
namespace {

struct AddState {
    float amount;
    void apply(float* rgba, std::size_t n, const SpanPosition*) const
    {
        for (std::size_t i = 0; i < n; ++i) {
            rgba[i * 4] += amount;
        }
    }
};

struct StampX {
    void apply(float* rgba, std::size_t n, const SpanPosition* where) const
    {
        for (std::size_t i = 0; i < n; ++i) {
            rgba[i * 4 + 1] = where ? static_cast<float>(where->x + i) : -1.0f;
            rgba[i * 4 + 2] = where ? static_cast<float>(where->y) : -1.0f;
        }
    }
};

// Pixel (x, y) gets red = x + 1000 y, alpha 1.
Image coordinateImage(int w, int h, int ox = 0, int oy = 0)
{
    Image image = Image::allocate(w, h, ox, oy);
    for (int i = 0; i < h; ++i) {
        float* row = image.mutableRow(i);
        const int y = oy + h - 1 - i;
        for (int x = 0; x < w; ++x) {
            row[x * 4 + 0] = static_cast<float>(ox + x + 1000 * y);
            row[x * 4 + 1] = 0;
            row[x * 4 + 2] = 0;
            row[x * 4 + 3] = 1;
        }
    }
    return image;
}

TEST(ImageKinds, EmptyConstantAndPixels)
{
    Image empty;
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_TRUE(empty.extent().isEmpty());

    Image red = Image::constant({1, 0, 0, 1});
    EXPECT_TRUE(red.extent().isInfinite());
    EXPECT_EQ(red.pixel(-12345, 999999), (Color{1, 0, 0, 1}));

    Image px = Image::allocate(3, 2, 10, 20);
    EXPECT_EQ(px.extent(), (Rect{10, 20, 3, 2}));
    EXPECT_EQ(px.rowStride(), 12);
    EXPECT_THROW(Image::allocate(-1, 2), std::invalid_argument);
    EXPECT_THROW(Image::allocate(1 << 16, 1 << 16), std::invalid_argument);
}

TEST(ImageKinds, TopRowIsHighestY)
{
    Image image = coordinateImage(4, 3, 5, 7);
    EXPECT_EQ(image.row(0)[0], 5 + 1000 * 9);
    EXPECT_EQ(image.row(2)[0], 5 + 1000 * 7);
    EXPECT_EQ(image.pixel(6, 8).r, 6 + 1000 * 8);
    EXPECT_EQ(image.pixel(4, 8), Color{});
    EXPECT_EQ(image.pixel(9, 8), Color{});
}

TEST(ImageSharing, CopiesShareAndDetachOnWrite)
{
    Image a = coordinateImage(4, 4);
    Image b = a;
    EXPECT_TRUE(b.isIdenticalTo(a));
    b.mutableRow(0)[0] = -1;
    EXPECT_FALSE(b.isIdenticalTo(a));
    EXPECT_EQ(a.row(0)[0], 3000);
    EXPECT_EQ(b.row(0)[0], -1);
}

TEST(ImageSharing, CropSharesPixelsAndKeepsExtentCoordinates)
{
    Image a = coordinateImage(10, 10);
    Image c = a.croppedTo({2, 3, 4, 5});
    EXPECT_EQ(c.extent(), (Rect{2, 3, 4, 5}));
    EXPECT_EQ(c.pixel(2, 3).r, 2 + 3000);
    EXPECT_EQ(c.pixel(5, 7).r, 5 + 7000);
    EXPECT_EQ(c.row(0), a.row(2) + 8);
    EXPECT_TRUE(a.croppedTo({20, 20, 3, 3}).isEmpty());
    Image partial = a.croppedTo({-5, 8, 7, 10});
    EXPECT_EQ(partial.extent(), (Rect{0, 8, 2, 2}));
}

TEST(ImageSharing, ConstantCropIsFilled)
{
    Image c = Image::constant({0.25f, 0.5f, 0.75f, 1}).croppedTo({-2, -3, 4, 5});
    ASSERT_TRUE(c.hasPixels());
    EXPECT_EQ(c.extent(), (Rect{-2, -3, 4, 5}));
    EXPECT_EQ(c.pixel(1, 1), (Color{0.25f, 0.5f, 0.75f, 1}));
}

TEST(ImagePendingSteps, RunOnFirstReadAndShareTheRendering)
{
    Image a = coordinateImage(600, 3);
    Image b = a.appending(PixelOp::make(AddState{0.5f})).appending(PixelOp::make(AddState{0.25f}));
    EXPECT_EQ(b.pendingOps().size(), 2u);
    EXPECT_EQ(a.row(0)[0], 2000);
    EXPECT_FLOAT_EQ(b.row(0)[0], 2000.75f);
    EXPECT_FLOAT_EQ(b.pixel(599, 0).r, 599.75f);
    Image copy = b;
    EXPECT_EQ(copy.row(1), b.row(1));
    Image r = b.rendered();
    EXPECT_FALSE(r.hasPendingOps());
    EXPECT_EQ(r.row(2), b.row(2));
}

TEST(ImagePendingSteps, PositionsAreExtentCentres)
{
    Image a = coordinateImage(300, 2, 10, 20).appending(PixelOp::make(StampX{}, true));
    EXPECT_FLOAT_EQ(a.pixel(10, 21).g, 10.5f);
    EXPECT_FLOAT_EQ(a.pixel(10, 21).b, 21.5f);
    EXPECT_FLOAT_EQ(a.pixel(309, 20).g, 309.5f);
    EXPECT_FLOAT_EQ(a.pixel(309, 20).b, 20.5f);
    // Cropping keeps positions; translating renders first so they stay where they were made.
    Image c = a.croppedTo({300, 20, 5, 1});
    EXPECT_FLOAT_EQ(c.pixel(302, 20).g, 302.5f);
    Image t = a.translatedBy(-10, -20);
    EXPECT_FLOAT_EQ(t.pixel(0, 1).g, 10.5f);
}

TEST(ImagePendingSteps, ConstantAppliesAtOnce)
{
    Image c = Image::constant({1, 0, 0, 1}).appending(PixelOp::make(AddState{1}));
    EXPECT_FALSE(c.hasPendingOps());
    EXPECT_EQ(c.constantColor().r, 2);
    Image s = Image::constant({1, 0, 0, 1}).appending(PixelOp::make(StampX{}, true));
    EXPECT_EQ(s.constantColor().g, -1);
}

TEST(ImagePendingSteps, RenderRowsStreamsWithoutKeeping)
{
    Image a = coordinateImage(5, 4).appending(PixelOp::make(AddState{1}));
    std::vector<float> rows(2 * 5 * 4);
    a.renderRows(1, 2, rows.data(), 20);
    EXPECT_EQ(rows[0], 2001);
    EXPECT_EQ(rows[20], 1001);
    EXPECT_THROW(a.renderRows(3, 2, rows.data(), 20), std::out_of_range);
}

TEST(ImagePendingSteps, MutableRowRendersAndDetaches)
{
    Image a = coordinateImage(5, 4);
    Image b = a.appending(PixelOp::make(AddState{1}));
    b.mutableRow(0)[0] += 1;
    EXPECT_FALSE(b.hasPendingOps());
    EXPECT_EQ(b.row(0)[0], 3002);
    EXPECT_EQ(a.row(0)[0], 3000);
}

TEST(ImagePool, ReleasedBuffersAreReused)
{
    const float* first = nullptr;
    {
        Image a = Image::allocate(123, 45);
        first = a.row(0);
    }
    Image b = Image::allocate(123, 45);
    EXPECT_EQ(b.row(0), first);
}

} // namespace
} // namespace velmora
