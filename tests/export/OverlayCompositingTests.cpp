#include <gtest/gtest.h>

#include "export/OverlayCompositing.h"
#include "platform/image/Image.h"

namespace velmora::Exporter {
namespace {

void expectColor(const Color& actual, const Color& expected, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.r, expected.r, tolerance);
    EXPECT_NEAR(actual.g, expected.g, tolerance);
    EXPECT_NEAR(actual.b, expected.b, tolerance);
    EXPECT_NEAR(actual.a, expected.a, tolerance);
}

TEST(OverlayBlendModeNames, ClipBlendModesCompareInLowerCase)
{
    EXPECT_EQ(overlayBlendMode(std::nullopt), OverlayBlendMode::normal);
    EXPECT_EQ(overlayBlendMode("normal"), OverlayBlendMode::normal);
    EXPECT_EQ(overlayBlendMode("MULTIPLY"), OverlayBlendMode::multiply);
    EXPECT_EQ(overlayBlendMode("Screen"), OverlayBlendMode::screen);
    EXPECT_EQ(overlayBlendMode("overlay"), OverlayBlendMode::overlay);
    EXPECT_EQ(overlayBlendMode("difference"), OverlayBlendMode::difference);
    EXPECT_EQ(overlayBlendMode("lighten"), OverlayBlendMode::lighten);
    EXPECT_EQ(overlayBlendMode("darken"), OverlayBlendMode::darken);
    EXPECT_EQ(overlayBlendMode("hard-light"), OverlayBlendMode::normal);
    EXPECT_EQ(overlayBlendMode(" multiply"), OverlayBlendMode::normal);
}

struct ModeCase {
    OverlayBlendMode mode;
    Color expected;
};

TEST(CompositeOverlay, EachModeOverAnOpaqueBackdrop)
{
    // Overlay (0.9, 0.2, 0.6) over backdrop (0.4, 0.7, 0.5), both opaque.
    const ModeCase cases[] = {
        {OverlayBlendMode::normal, {0.9f, 0.2f, 0.6f, 1}},
        {OverlayBlendMode::multiply, {0.36f, 0.14f, 0.3f, 1}},
        {OverlayBlendMode::screen, {0.94f, 0.76f, 0.8f, 1}},
        {OverlayBlendMode::overlay, {0.72f, 1 - 2 * 0.8f * 0.3f, 0.6f, 1}},
        {OverlayBlendMode::difference, {0.5f, 0.5f, 0.1f, 1}},
        {OverlayBlendMode::lighten, {0.9f, 0.7f, 0.6f, 1}},
        {OverlayBlendMode::darken, {0.4f, 0.2f, 0.5f, 1}},
    };
    for (const ModeCase& c : cases) {
        Image frame = Image::filled(8, 6, {0.4f, 0.7f, 0.5f, 1});
        const Image overlay = Image::filled(2, 2, {0.9f, 0.2f, 0.6f, 1}, 3, 2);
        compositeOverlay(frame, overlay, c.mode, {0, 0, 8, 6});
        expectColor(frame.pixel(3, 2), c.expected);
        expectColor(frame.pixel(4, 3), c.expected);
        expectColor(frame.pixel(2, 2), {0.4f, 0.7f, 0.5f, 1});
        expectColor(frame.pixel(3, 4), {0.4f, 0.7f, 0.5f, 1});
    }
}

TEST(CompositeOverlay, PartialAlphaOnBothSides)
{
    // as = 0.5, ab = 0.5: ao = 0.75; multiply: (cs*0.25 + cb*0.25 + 0.25*cs*cb) / 0.75.
    Image frame = Image::filled(1, 1, {0.4f, 0.4f, 0.4f, 0.5f});
    compositeOverlay(frame, Image::filled(1, 1, {1, 0, 0.5f, 0.5f}), OverlayBlendMode::multiply,
                     {0, 0, 1, 1});
    const float r = (1 * 0.25f + 0.4f * 0.25f + 0.25f * 0.4f) / 0.75f;
    const float g = (0 + 0.4f * 0.25f + 0) / 0.75f;
    const float b = (0.5f * 0.25f + 0.4f * 0.25f + 0.25f * 0.2f) / 0.75f;
    expectColor(frame.pixel(0, 0), {r, g, b, 0.75f});
}

TEST(CompositeOverlay, TransparentOverlayPixelsLeaveTheFrameUntouched)
{
    Image frame = Image::filled(4, 4, {0.25f, 0.5f, 0.75f, 1});
    Image overlay = Image::filled(4, 4, {1, 1, 1, 0});
    overlay.mutableRow(0)[3] = 1; // top-left pixel only
    compositeOverlay(frame, overlay, OverlayBlendMode::difference, {0, 0, 4, 4});
    expectColor(frame.pixel(0, 3), {0.75f, 0.5f, 0.25f, 1});
    expectColor(frame.pixel(1, 3), {0.25f, 0.5f, 0.75f, 1});
    expectColor(frame.pixel(0, 0), {0.25f, 0.5f, 0.75f, 1});
}

TEST(CompositeOverlay, OnlyThePartInsideTheOutputRectangleIsBlended)
{
    Image frame = Image::filled(10, 10, {0, 0, 0, 1});
    const Image overlay = Image::filled(6, 6, {1, 1, 1, 1}, 7, -2);
    compositeOverlay(frame, overlay, OverlayBlendMode::normal, {0, 0, 10, 10});
    EXPECT_EQ(frame.extent(), (Rect{0, 0, 10, 10}));
    expectColor(frame.pixel(9, 0), {1, 1, 1, 1});
    expectColor(frame.pixel(7, 3), {1, 1, 1, 1});
    expectColor(frame.pixel(6, 3), {0, 0, 0, 1});
    expectColor(frame.pixel(7, 4), {0, 0, 0, 1});
}

TEST(CompositeOverlay, TheFramesSharedPixelsAreNotChanged)
{
    const Image original = Image::filled(4, 4, {0, 0, 0, 1});
    Image frame = original;
    compositeOverlay(frame, Image::filled(1, 1, {1, 1, 1, 1}, 1, 1), OverlayBlendMode::normal,
                     {0, 0, 4, 4});
    expectColor(frame.pixel(1, 1), {1, 1, 1, 1});
    expectColor(original.pixel(1, 1), {0, 0, 0, 1});
}

TEST(CompositeOverlay, AConstantOrEmptyFrameBecomesPixelsOfTheOutputSize)
{
    Image black = Image::constant({0, 0, 0, 1});
    compositeOverlay(black, Image::filled(2, 2, {1, 0, 0, 1}, 1, 1), OverlayBlendMode::screen,
                     {0, 0, 5, 4});
    ASSERT_TRUE(black.hasPixels());
    EXPECT_EQ(black.extent(), (Rect{0, 0, 5, 4}));
    expectColor(black.pixel(2, 2), {1, 0, 0, 1});
    expectColor(black.pixel(4, 3), {0, 0, 0, 1});

    Image empty;
    compositeOverlay(empty, Image::filled(1, 1, {0, 1, 0, 0.5f}), OverlayBlendMode::normal,
                     {0, 0, 3, 3});
    EXPECT_EQ(empty.extent(), (Rect{0, 0, 3, 3}));
    expectColor(empty.pixel(0, 0), {0, 1, 0, 0.5f});
    EXPECT_EQ(empty.pixel(1, 1).a, 0);
}

TEST(CompositeOverlay, AnEmptyOverlayOrOneOutsideTheFrameChangesNothing)
{
    Image frame = Image::filled(4, 4, {0.5f, 0.5f, 0.5f, 1});
    const Image before = frame;
    compositeOverlay(frame, Image(), OverlayBlendMode::normal, {0, 0, 4, 4});
    compositeOverlay(frame, Image::filled(2, 2, {1, 1, 1, 1}, 10, 10), OverlayBlendMode::normal,
                     {0, 0, 4, 4});
    EXPECT_TRUE(frame.isIdenticalTo(before));
}

TEST(CompositeOverlay, TallOverlaysBlendEveryRow)
{
    Image frame = Image::filled(3, 500, {0, 0, 0, 1});
    compositeOverlay(frame, Image::filled(1, 500, {1, 1, 1, 0.5f}, 1, 0), OverlayBlendMode::normal,
                     {0, 0, 3, 500});
    for (int y = 0; y < 500; ++y) {
        ASSERT_NEAR(frame.pixel(1, y).r, 0.5f, 1e-6f) << y;
        ASSERT_EQ(frame.pixel(0, y).r, 0.0f) << y;
    }
}

} // namespace
} // namespace velmora::Exporter
