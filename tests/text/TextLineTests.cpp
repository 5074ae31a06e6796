#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/text/TextFont.h"
#include "platform/text/TextLine.h"
#include "support/TextTestSupport.h"

namespace velmora {
namespace {

// Arial's design metrics (units per em 2048), which Liberation Sans shares: ascender 1854,
// descender 434, line gap 67; advances H 1479, e 1139, l 455, o 1139.
constexpr double kAscent = 1854.0 / 2048.0;
constexpr double kDescent = 434.0 / 2048.0;
constexpr double kLeading = 67.0 / 2048.0;
constexpr double kHelloAdvance = (1479.0 + 1139.0 + 455.0 + 455.0 + 1139.0) / 2048.0;

TextLine arialLine(const char* text, double size, double spacing = 0)
{
    return TextLine::make(text, resolveTextFont("Arial", size), spacing);
}

TEST(TextLineMetrics, ArialLineHasArialsTypographicMetrics)
{
    const TextLine line = arialLine("Hello", 100);
    ASSERT_FALSE(line.isEmpty());
    EXPECT_NEAR(line.ascent(), 100 * kAscent, 0.02);
    EXPECT_NEAR(line.descent(), 100 * kDescent, 0.02);
    EXPECT_NEAR(line.leading(), 100 * kLeading, 0.02);
    EXPECT_NEAR(line.height(), 100 * (kAscent + kDescent + kLeading), 0.05);
    EXPECT_NEAR(line.width(), 100 * kHelloAdvance, 0.02);
}

TEST(TextLineMetrics, FractionalSizesScaleEveryMetricLinearly)
{
    const TextLine reference = arialLine("Hello, world", 100);
    const TextLine small = arialLine("Hello, world", 66.666666);
    const double k = 0.66666666;
    EXPECT_NEAR(small.width(), reference.width() * k, 1e-6);
    EXPECT_NEAR(small.ascent(), reference.ascent() * k, 1e-6);
    EXPECT_NEAR(small.descent(), reference.descent() * k, 1e-6);
    EXPECT_NEAR(small.inkBounds().height, reference.inkBounds().height * k, 1e-6);
}

TEST(TextLineMetrics, LetterSpacingIsAddedAfterEveryCharacter)
{
    const TextLine plain = arialLine("Hello", 50);
    const TextLine spaced = arialLine("Hello", 50, 10);
    EXPECT_NEAR(spaced.width() - plain.width(), 5 * 10.0, 0.02);
    const TextLine tight = arialLine("Hello", 50, -2);
    EXPECT_NEAR(plain.width() - tight.width(), 5 * 2.0, 0.02);
}

TEST(TextLineMetrics, InkBoundsOfACapitalSitOnTheBaseline)
{
    const TextLine line = arialLine("H", 100);
    const Rect ink = line.inkBounds();
    EXPECT_NEAR(ink.y, 0, 0.05);
    // Cap height of Liberation Sans: 1409 units (the shapes differ from Arial's; the advances do not).
    EXPECT_NEAR(ink.maxY(), 100 * 1409.0 / 2048.0, 0.05);
    EXPECT_GT(ink.x, 0);
    EXPECT_LT(ink.maxX(), line.width());
}

TEST(TextLineMetrics, TrailingBlanksCountInTheAdvanceButNotInTheInk)
{
    const TextLine bare = arialLine("H", 100);
    const TextLine padded = arialLine("H  ", 100);
    EXPECT_GT(padded.width(), bare.width() + 50);
    EXPECT_NEAR(padded.inkBounds().width, bare.inkBounds().width, 1e-6);
}

TEST(TextLineMetrics, EmptyTextAndUnusableSizesGiveTheEmptyLine)
{
    for (const TextLine& line : {arialLine("", 100), arialLine("H", 0), arialLine("H", -5),
                                 arialLine("H", std::numeric_limits<double>::infinity()),
                                 arialLine("H", std::nan(""))}) {
        EXPECT_TRUE(line.isEmpty());
        EXPECT_EQ(line.width(), 0);
        EXPECT_EQ(line.height(), 0);
        EXPECT_TRUE(line.inkBounds().isEmpty());
    }
}

TEST(TextLineMetrics, ABlankLineHasMetricsButNoInk)
{
    const TextLine line = arialLine("   ", 40);
    EXPECT_FALSE(line.isEmpty());
    EXPECT_GT(line.width(), 0);
    EXPECT_NEAR(line.ascent(), 40 * kAscent, 0.02);
    EXPECT_TRUE(line.inkBounds().isEmpty());
}

TEST(TextLineMetrics, CharactersMissingFromTheFontAreStillDrawn)
{
    const TextLine line = arialLine("\xE2\x88\x9E", 100); // U+221E, in DejaVu Sans
    EXPECT_FALSE(line.inkBounds().isEmpty());
}

TEST(TextLineMetrics, CopiesShareOneShaping)
{
    const TextLine a = arialLine("Hi", 20);
    const TextLine b = a;
    EXPECT_TRUE(a.isSameLine(b));
    EXPECT_FALSE(a.isSameLine(arialLine("Hi", 20)));
}

} // namespace
} // namespace velmora
