#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "platform/text/TextCanvas.h"
#include "platform/text/TextFont.h"
#include "support/TextTestSupport.h"

namespace velmora {
namespace {

using test::alphaBounds;
using test::rowAlphaSum;

constexpr Color kRed{1, 0, 0, 1};
constexpr Color kWhite{1, 1, 1, 1};
constexpr Color kBlack{0, 0, 0, 1};

void expectColor(const Color& actual, const Color& expected, float tolerance = 0.002f)
{
    EXPECT_NEAR(actual.r, expected.r, tolerance);
    EXPECT_NEAR(actual.g, expected.g, tolerance);
    EXPECT_NEAR(actual.b, expected.b, tolerance);
    EXPECT_NEAR(actual.a, expected.a, tolerance);
}

TEST(TextCanvasRects, AWholePixelRectangleFillsExactlyItsPixels)
{
    TextCanvas canvas(100, 100);
    canvas.fillRect({10, 20, 30, 40}, kRed);
    const Image image = canvas.render();
    ASSERT_TRUE(image.hasPixels());
    // The image covers the rectangle and at most the antialiasing margin around it.
    EXPECT_LE(image.originX(), 10);
    EXPECT_GE(image.originX() + image.width(), 40);
    EXPECT_EQ(alphaBounds(image), (Rect{10, 20, 30, 40}));
    expectColor(image.pixel(10, 20), kRed);
    expectColor(image.pixel(39, 59), kRed);
    EXPECT_EQ(image.pixel(40, 30).a, 0);
    EXPECT_EQ(image.pixel(20, 60).a, 0);
}

TEST(TextCanvasRects, FractionalEdgesAreAntialiased)
{
    TextCanvas canvas(100, 100);
    canvas.fillRect({10.5, 20, 30, 40}, kRed);
    const Image image = canvas.render();
    expectColor(image.pixel(10, 30), {1, 0, 0, 0.5f}, 0.01f);
    expectColor(image.pixel(40, 30), {1, 0, 0, 0.5f}, 0.01f);
    expectColor(image.pixel(11, 30), kRed);
}

TEST(TextCanvasRects, CoordinatesAreYUpFromTheBottomLeft)
{
    TextCanvas canvas(50, 80);
    canvas.fillRect({0, 0, 5, 3}, kRed);
    const Image image = canvas.render();
    EXPECT_EQ(image.originY(), 0);
    // Storage runs top down, so the rectangle is in the image's last rows.
    EXPECT_NEAR(image.row(image.height() - 1)[3], 1.0f, 1e-6f);
}

TEST(TextCanvasState, TransformsApplyInUserSpaceAndRestore)
{
    TextCanvas canvas(100, 100);
    canvas.saveState();
    canvas.translateBy(50, 50);
    canvas.rotateBy(std::numbers::pi / 2); // counter-clockwise
    canvas.fillRect({0, 0, 10, 2}, kRed);
    canvas.restoreState();
    canvas.fillRect({0, 0, 1, 1}, kRed);
    const Image image = canvas.render();
    // (0..10, 0..2) rotated a quarter turn lies over x -2..0, y 0..10, then moves by (50, 50).
    EXPECT_NEAR(image.pixel(49, 55).a, 1, 1e-3);
    EXPECT_NEAR(image.pixel(48, 50).a, 1, 1e-3);
    EXPECT_NEAR(image.pixel(47, 55).a, 0, 1e-3);
    EXPECT_NEAR(image.pixel(50, 55).a, 0, 1e-3);
    EXPECT_NEAR(image.pixel(49, 60).a, 0, 1e-3);
    EXPECT_NEAR(image.pixel(0, 0).a, 1, 1e-3);
}

TEST(TextCanvasState, ScaleAndAlphaMultiply)
{
    TextCanvas canvas(100, 100);
    canvas.scaleBy(2, 3);
    canvas.setAlpha(0.5);
    canvas.fillRect({5, 5, 10, 10}, {0, 0, 1, 0.5f});
    const Image image = canvas.render();
    EXPECT_EQ(alphaBounds(image), (Rect{10, 15, 20, 30}));
    expectColor(image.pixel(20, 30), {0, 0, 1, 0.25f});
}

TEST(TextCanvasState, AlphaIsLimitedAndRestoreWithoutSaveIsHarmless)
{
    TextCanvas canvas(10, 10);
    canvas.restoreState();
    canvas.setAlpha(3);
    EXPECT_EQ(canvas.alpha(), 1);
    canvas.setAlpha(-1);
    EXPECT_EQ(canvas.alpha(), 0);
    canvas.fillRect({0, 0, 10, 10}, kRed);
    EXPECT_FALSE(canvas.render().hasPixels());
}

TEST(TextCanvasCoverage, NothingVisibleGivesTheEmptyImage)
{
    TextCanvas canvas(100, 100);
    EXPECT_FALSE(canvas.render().hasPixels());
    canvas.fillRect({200, 200, 10, 10}, kRed);                 // outside the frame
    canvas.fillRect({10, 10, 10, 10}, {1, 0, 0, 0});           // transparent
    canvas.drawTextLine(TextLine(), 10, 10, kWhite);           // empty line
    canvas.translateBy(std::numeric_limits<double>::infinity(), 0);
    canvas.fillRect({10, 10, 10, 10}, kRed);                   // unusable transform
    EXPECT_TRUE(canvas.coveredArea().isEmpty());
    EXPECT_FALSE(canvas.render().hasPixels());
}

TEST(TextCanvasCoverage, DrawingIsClippedToTheFrame)
{
    TextCanvas canvas(100, 50);
    canvas.fillRect({-20, 40, 200, 30}, kRed);
    const Image image = canvas.render();
    EXPECT_EQ(image.extent(), (Rect{0, 39, 100, 11}));
    EXPECT_EQ(alphaBounds(image), (Rect{0, 40, 100, 10}));
}

TEST(TextCanvasCoverage, TallDrawingsHaveNoSeamsBetweenPaintBands)
{
    // A bar turned by 45 degrees: every row away from its ends crosses it over 40 * sqrt(2).
    TextCanvas canvas(1200, 1200);
    canvas.translateBy(600, 600);
    canvas.rotateBy(std::numbers::pi / 4);
    canvas.fillRect({-20, -700, 40, 1400}, kRed);
    const Image image = canvas.render();
    ASSERT_GT(image.height(), 1000);
    for (int y = 150; y < 1050; ++y) {
        ASSERT_NEAR(rowAlphaSum(image, y), 40 * std::numbers::sqrt2, 0.02) << "row " << y;
    }
}

TEST(TextCanvasText, GlyphInkLandsWhereTheLineSays)
{
    const TextLine line = TextLine::make("Hxg", resolveTextFont("Arial", 80), 0);
    TextCanvas canvas(400, 300);
    canvas.drawTextLine(line, 50.25, 100.5, kWhite);
    const Image image = canvas.render();
    const Rect ink = line.inkBounds();
    const Rect drawn = alphaBounds(image, 0.02f);
    EXPECT_NEAR(drawn.x, std::floor(50.25 + ink.x), 1);
    EXPECT_NEAR(drawn.y, std::floor(100.5 + ink.y), 1);
    EXPECT_NEAR(drawn.maxX(), std::ceil(50.25 + ink.maxX()), 1);
    EXPECT_NEAR(drawn.maxY(), std::ceil(100.5 + ink.maxY()), 1);
    // The descender of "g" goes below the baseline; the fill colour is kept exactly.
    EXPECT_LT(drawn.y, 100);
    expectColor(image.pixel(int(50.25 + ink.x + 4), 120), kWhite);
}

TEST(TextCanvasText, AStrokeWidensEachSideByHalfItsWidth)
{
    // Across the stem of an "I", coverage grows by the stroke width: half on each side.
    const TextLine line = TextLine::make("I", resolveTextFont("Arial", 200), 0);
    for (double width : {1.5, 4.0}) {
        TextCanvas plain(300, 300);
        plain.drawTextLine(line, 100, 50, kWhite);
        TextCanvas outlined(300, 300);
        outlined.drawTextLine(line, 100, 50, kWhite, TextStroke{kBlack, width});
        const double grown = rowAlphaSum(outlined.render(), 120) - rowAlphaSum(plain.render(), 120);
        EXPECT_NEAR(grown, width, 0.03) << width;
    }
}

TEST(TextCanvasText, APreparedStrokeOutlineDrawsLikeAFreshStroke)
{
    const TextLine line = TextLine::make("Sg", resolveTextFont("Arial", 120), 0);
    const TextLine prepared = line.withStrokeOutline(5);
    EXPECT_TRUE(prepared.hasStrokeOutline(5));
    EXPECT_FALSE(prepared.hasStrokeOutline(4));
    EXPECT_FALSE(line.hasStrokeOutline(5));
    EXPECT_FALSE(line.withStrokeOutline(0).hasStrokeOutline(0));
    EXPECT_EQ(prepared.width(), line.width());

    TextCanvas fresh(300, 200);
    fresh.drawTextLine(line, 40, 60, kWhite, TextStroke{kBlack, 5});
    TextCanvas reused(300, 200);
    reused.drawTextLine(prepared, 40, 60, kWhite, TextStroke{kBlack, 5});
    const Image a = fresh.render();
    const Image b = reused.render();
    ASSERT_EQ(a.extent(), b.extent());
    for (int y = a.originY(); y < a.originY() + a.height(); y += 3) {
        ASSERT_NEAR(rowAlphaSum(a, y), rowAlphaSum(b, y), 0.05) << y;
    }
}

TEST(TextCanvasText, TheStrokeIsDrawnOverTheFill)
{
    const TextLine line = TextLine::make("I", resolveTextFont("Arial", 200), 0);
    TextCanvas canvas(300, 300);
    canvas.drawTextLine(line, 100, 50, kWhite, TextStroke{kBlack, 6});
    const Image image = canvas.render();
    const Rect drawn = alphaBounds(image, 0.5f);
    // The left edge of the stem is black (stroke), its middle white (fill).
    const Color edge = image.pixel(int(drawn.x) + 1, 120);
    const Color middle = image.pixel(int(drawn.x + drawn.width / 2), 120);
    EXPECT_LT(edge.r, 0.05f);
    EXPECT_GT(middle.r, 0.95f);
}

TEST(TextCanvasCache, TheSameDrawingReturnsTheLastRenderingWithoutPainting)
{
    const TextLine line = TextLine::make("Title", resolveTextFont("Arial", 40), 0);
    TextCanvas canvas(300, 200);
    const auto draw = [&](double alpha) {
        canvas.reset();
        canvas.translateBy(100, 100);
        canvas.setAlpha(alpha);
        canvas.drawTextLine(line, 0, 0, kWhite);
        return canvas.render();
    };
    const Image first = draw(1);
    const Image again = draw(1);
    EXPECT_TRUE(again.isIdenticalTo(first));
    const Image faded = draw(0.5);
    EXPECT_FALSE(faded.isIdenticalTo(first));
    EXPECT_NEAR(test::maxAlpha(faded), 0.5f, 0.002f);
    // The earlier rendering is untouched by the new one.
    EXPECT_NEAR(test::maxAlpha(first), 1.0f, 0.002f);
}

} // namespace
} // namespace velmora
