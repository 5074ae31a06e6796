#include <gtest/gtest.h>

#include "export/LowerThirdBar.h"
#include "platform/text/TextCanvas.h"
#include "support/TextTestSupport.h"

namespace velmora::Exporter {
namespace {

constexpr Color kGrey{0.5f, 0.5f, 0.5f, 1};

void expectColor(const Color& actual, const Color& expected, float tolerance = 1e-6f)
{
    EXPECT_NEAR(actual.r, expected.r, tolerance);
    EXPECT_NEAR(actual.g, expected.g, tolerance);
    EXPECT_NEAR(actual.b, expected.b, tolerance);
    EXPECT_NEAR(actual.a, expected.a, tolerance);
}

void expectRect(const Rect& actual, const Rect& expected)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-9);
    EXPECT_NEAR(actual.y, expected.y, 1e-9);
    EXPECT_NEAR(actual.width, expected.width, 1e-9);
    EXPECT_NEAR(actual.height, expected.height, 1e-9);
}

TEST(ParseHexColor, SixDigitsWithOrWithoutHashInAnyCase)
{
    const Color expected{1, 128 / 255.0f, 0, 1};
    expectColor(parseHexColor("#FF8000", kGrey), expected);
    expectColor(parseHexColor("  #ff8000\n", kGrey), expected);
    expectColor(parseHexColor("ff8000", kGrey), expected);
}

TEST(ParseHexColor, OtherLengthsGiveTheDefault)
{
    for (const char* text : {"#FF800", "#FF80000", "#F80", "#FF800080", "", "#", "  "}) {
        expectColor(parseHexColor(text, kGrey), kGrey);
    }
    expectColor(parseHexColor(std::nullopt, kGrey), kGrey);
}

TEST(ParseHexColor, APairThatIsNotHexGivesFullIntensityForThatChannel)
{
    expectColor(parseHexColor("#ZZ8000", kGrey), {1, 128 / 255.0f, 0, 1});
    expectColor(parseHexColor("#00+f00", kGrey), {0, 1, 0, 1});
    // Six characters, two of them outside ASCII: only the pairs holding them fail.
    expectColor(parseHexColor("\xC3\xA9" "a0010", kGrey), {1, 0, 16 / 255.0f, 1});
}

TEST(LowerThirdAnchor, DefaultsSitAtTheLeftAboveTheBar)
{
    const OverlayAnchor none = lowerThirdAnchor(std::nullopt, 1080);
    EXPECT_EQ(none.x, 0);
    EXPECT_EQ(none.y, 0);

    const OverlayAnchor anchor = lowerThirdAnchor(EditorJobV2::LowerThird{}, 1080);
    EXPECT_DOUBLE_EQ(anchor.x, -0.3);
    EXPECT_NEAR(anchor.y, 1 - (108.0 + 50) / 1080 + 0.032 - 0.5, 1e-12); // 0.3857...
    EXPECT_NEAR(anchor.y, 0.385703703703, 1e-9);
}

TEST(LowerThirdAnchor, PositionsAndOffsets)
{
    EditorJobV2::LowerThird lt;
    lt.ltBarPos = "bottom-right";
    EXPECT_DOUBLE_EQ(lowerThirdAnchor(lt, 1080).x, 0.3);
    lt.ltBarPos = "center";
    EXPECT_DOUBLE_EQ(lowerThirdAnchor(lt, 1080).x, 0);
    lt.ltBarPos = "Right"; // case-sensitive
    EXPECT_DOUBLE_EQ(lowerThirdAnchor(lt, 1080).x, -0.3);

    lt.ltBarPos = "bottom-full";
    const OverlayAnchor full = lowerThirdAnchor(lt, 1080);
    EXPECT_DOUBLE_EQ(full.x, -0.3);
    EXPECT_NEAR(full.y, 1 - (108.0 + 30) / 1080 + 0.032 - 0.5, 1e-12);

    EditorJobV2::LowerThird raised;
    raised.ltBarHeight = 0.2;
    raised.ltBarYOffset = 0.1;
    EXPECT_NEAR(lowerThirdAnchor(raised, 2160).y,
                1 - (432.0 + 50 + 216) / 2160 + 0.32 * 0.2 - 0.5, 1e-12);
}

TEST(LowerThirdBarRect, DefaultBarAt1080)
{
    expectRect(lowerThirdBarRect(EditorJobV2::LowerThird{}, 1920, 1080), {38.4, 24, 883.2, 108});
}

TEST(LowerThirdBarRect, PositionsAndOffsets)
{
    EditorJobV2::LowerThird lt;
    lt.ltBarPos = "bottom-right";
    expectRect(lowerThirdBarRect(lt, 1920, 1080), {998.4, 24, 883.2, 108});
    lt.ltBarPos = "bottom-full";
    expectRect(lowerThirdBarRect(lt, 1920, 1080), {0, 24, 1920, 108});
    lt.ltBarPos = "center";
    expectRect(lowerThirdBarRect(lt, 1920, 1080), {38.4, 24, 883.2, 108});
    lt.ltBarPos = std::nullopt;
    lt.ltBarHeight = 0.05;
    lt.ltBarYOffset = 0.1;
    expectRect(lowerThirdBarRect(lt, 1280, 720), {25.6, 96, 588.8, 36});
}

TEST(LowerThirdBarRect, CrawlBarIsAFullWidthStripSizedFromTheCrawlFont)
{
    EditorJobV2::LowerThird lt;
    lt.ltCreditsMode = "crawl";
    expectRect(lowerThirdBarRect(lt, 1920, 1080), {0, 20, 1920, 63});
    expectRect(lowerThirdBarRect(lt, 3840, 2160), {0, 40, 3840, 126});
    lt.ltCrawlFontSize = 48;
    lt.ltCrawlYOffset = 0.5;
    expectRect(lowerThirdBarRect(lt, 1920, 1080), {0, 20 + 540, 1920, 84});
    lt.ltCreditsMode = "Crawl"; // not a crawl
    expectRect(lowerThirdBarRect(lt, 1920, 1080), {38.4, 24, 883.2, 108});
}

Image drawBar(const EditorJobV2::LowerThird& lt, double alpha, int w = 1920, int h = 1080)
{
    TextCanvas canvas(w, h);
    drawLowerThirdBar(canvas, lt, w, h, alpha);
    return canvas.render();
}

TEST(DrawLowerThirdBar, DefaultBarIsBlackAtThreeQuartersOfAlpha)
{
    const Image bar = drawBar(EditorJobV2::LowerThird{}, 0.8);
    ASSERT_TRUE(bar.hasPixels());
    expectColor(bar.pixel(39, 24), {0, 0, 0, 0.6f}, 1e-4f);
    expectColor(bar.pixel(920, 131), {0, 0, 0, 0.6f}, 1e-4f);
    // Fractional left and right edges at 38.4 and 921.6.
    EXPECT_NEAR(bar.pixel(38, 50).a, 0.6f * 0.6f, 0.01f);
    EXPECT_EQ(bar.pixel(37, 50).a, 0);
    EXPECT_EQ(bar.pixel(500, 23).a, 0);
    EXPECT_EQ(bar.pixel(500, 132).a, 0);
    EXPECT_EQ(test::alphaBounds(bar), (Rect{38, 24, 884, 108}));
}

TEST(DrawLowerThirdBar, ColourAndOpacityFromTheRecord)
{
    EditorJobV2::LowerThird lt;
    lt.ltBarColor = "#336699";
    lt.ltBarOpacity = 0.5;
    expectColor(drawBar(lt, 1).pixel(100, 50), {0.2f, 0.4f, 0.6f, 0.5f}, 1e-4f);

    lt.ltBarOpacity = 1.5; // at least 1: alpha unchanged
    expectColor(drawBar(lt, 0.7).pixel(100, 50), {0.2f, 0.4f, 0.6f, 0.7f}, 1e-4f);

    lt.ltBarOpacity = -0.2;
    EXPECT_FALSE(drawBar(lt, 1).hasPixels());
    lt.ltBarOpacity = 1;
    EXPECT_FALSE(drawBar(lt, 0.001).hasPixels());
}

TEST(DrawLowerThirdBar, CrawlUsesTheCrawlColourAndOpacity)
{
    EditorJobV2::LowerThird lt;
    lt.ltCreditsMode = "crawl";
    lt.ltBarColor = "#FFFFFF"; // not used by a crawl
    const Image bar = drawBar(lt, 1);
    EXPECT_EQ(test::alphaBounds(bar), (Rect{0, 20, 1920, 63}));
    expectColor(bar.pixel(10, 50), {0, 0, 0, 0.88f}, 1e-4f);
    lt.ltCrawlBarColor = "#00FF00";
    lt.ltCrawlBarOpacity = 0.25;
    expectColor(drawBar(lt, 1).pixel(10, 50), {0, 1, 0, 0.25f}, 1e-4f);
}

TEST(DrawLowerThirdBar, DrawsInTheCanvasTransformAndAlpha)
{
    TextCanvas canvas(1920, 1080);
    canvas.translateBy(100, 10);
    canvas.setAlpha(0.5);
    drawLowerThirdBar(canvas, EditorJobV2::LowerThird{}, 1920, 1080, 1);
    const Image bar = canvas.render();
    EXPECT_EQ(test::alphaBounds(bar, 0.3f), (Rect{139, 34, 882, 108}));
    EXPECT_NEAR(bar.pixel(500, 80).a, 0.375f, 1e-4f);
}

} // namespace
} // namespace velmora::Exporter
