#include <gtest/gtest.h>

#include "platform/text/TextFont.h"
#include "support/TextTestSupport.h"

namespace velmora {
namespace {

TEST(TextFontResolution, ArialIsDrawnWithTheMetricCompatibleLiberationSans)
{
    const TextFont font = resolveTextFont("Arial", 100);
    EXPECT_EQ(font.family, "Liberation Sans");
    EXPECT_EQ(font.weight, 400);
    EXPECT_FALSE(font.italic);
    EXPECT_FALSE(font.isFallback);
    EXPECT_EQ(font.pixelSize, 100);
}

TEST(TextFontResolution, FamilyNamesIgnoreLetterCaseAndSurroundingBlanks)
{
    EXPECT_EQ(resolveTextFont("  arial ", 10).family, "Liberation Sans");
    EXPECT_EQ(resolveTextFont("LIBERATION SERIF", 10).family, "Liberation Serif");
    EXPECT_FALSE(resolveTextFont("liberation serif", 10).isFallback);
}

TEST(TextFontResolution, OtherCommonFamiliesMapToTheirMetricTwins)
{
    EXPECT_EQ(resolveTextFont("Helvetica", 10).family, "Liberation Sans");
    EXPECT_EQ(resolveTextFont("Times New Roman", 10).family, "Liberation Serif");
    EXPECT_EQ(resolveTextFont("Courier New", 10).family, "Liberation Mono");
}

TEST(TextFontResolution, InstalledFamiliesAreUsedAsTheyAre)
{
    const TextFont font = resolveTextFont("DejaVu Sans", 24);
    EXPECT_EQ(font.family, "DejaVu Sans");
    EXPECT_FALSE(font.isFallback);
}

TEST(TextFontResolution, AStyleAfterTheFamilySetsWeightAndSlant)
{
    const TextFont bold = resolveTextFont("Arial Bold", 50);
    EXPECT_EQ(bold.family, "Liberation Sans");
    EXPECT_EQ(bold.weight, 700);
    EXPECT_FALSE(bold.italic);

    const TextFont postScript = resolveTextFont("Arial-BoldItalicMT", 50);
    EXPECT_EQ(postScript.family, "Liberation Sans");
    EXPECT_EQ(postScript.weight, 700);
    EXPECT_TRUE(postScript.italic);
    EXPECT_FALSE(postScript.isFallback);

    const TextFont black = resolveTextFont("DejaVu Sans Black", 50);
    EXPECT_EQ(black.family, "DejaVu Sans");
    EXPECT_EQ(black.weight, 900);
}

TEST(TextFontResolution, AnUnknownFamilyFallsBackToTheHeavySystemFontOfTheSameSize)
{
    const TextFont font = resolveTextFont("NoSuchFontFamilyXyz", 72.5);
    EXPECT_TRUE(font.isFallback);
    EXPECT_EQ(font.family, systemFontFamily());
    EXPECT_FALSE(font.family.empty());
    EXPECT_EQ(font.weight, 800);
    EXPECT_EQ(font.pixelSize, 72.5);
}

TEST(TextFontResolution, AnUnknownStyleWordOrAnEmptyNameFallsBack)
{
    EXPECT_TRUE(resolveTextFont("Arial Wobbly", 10).isFallback);
    EXPECT_TRUE(resolveTextFont("", 10).isFallback);
    EXPECT_TRUE(resolveTextFont("   ", 10).isFallback);
}

} // namespace
} // namespace velmora
