#include <gtest/gtest.h>

#include <clocale>
#include <optional>
#include <cmath>
#include <string>

#include "grading/CubeLUT.h"
#include "model/CubeText.h"
#include "platform/foundation/Error.h"

namespace velmora {
namespace {

using Exporter::parseCube;

// size-2 lattice in red-fastest order: entry n has (n&1, (n>>1)&1, (n>>2)&1) scaled by 0.5.
std::string eightEntries(const char* separator = "\n")
{
    std::string text;
    for (int n = 0; n < 8; ++n) {
        text += std::to_string((n & 1) * 0.5) + " " + std::to_string(((n >> 1) & 1) * 0.5) + " " +
                std::to_string(((n >> 2) & 1) * 0.5) + separator;
    }
    return text;
}

// The code parseCube refuses the text with (0 when it reads), checking that the refusal the LUT
// lookup asks for (CubeText::refusal, which keeps no entries) is that same one, in the same words.
int failureCode(const std::string& text)
{
    const std::optional<CubeText::Refusal> refusal = CubeText::refusal(text);
    try {
        parseCube(text);
    } catch (const Error& e) {
        EXPECT_EQ(e.domain(), "cube");
        EXPECT_TRUE(refusal);
        if (refusal) {
            EXPECT_EQ(e.code(), refusal->code);
            EXPECT_EQ(e.message(), "The LUT cannot be read: " + refusal->reason);
        }
        return e.code();
    }
    EXPECT_FALSE(refusal);
    return 0;
}

std::string reason(const std::string& text)
{
    const std::optional<CubeText::Refusal> refusal = CubeText::refusal(text);
    return refusal ? refusal->reason : std::string("reads");
}

TEST(CubeParsing, SizeTwoGivesEightEntriesWithAlphaOne)
{
    const CubeLUT cube = parseCube("LUT_3D_SIZE 2\n" + eightEntries());
    EXPECT_EQ(cube.size, 2);
    ASSERT_EQ(cube.data.size(), 128u);
    const std::vector<float> f = cube.floats();
    for (int n = 0; n < 8; ++n) {
        EXPECT_EQ(f[n * 4 + 0], (n & 1) * 0.5f);
        EXPECT_EQ(f[n * 4 + 1], ((n >> 1) & 1) * 0.5f);
        EXPECT_EQ(f[n * 4 + 2], ((n >> 2) & 1) * 0.5f);
        EXPECT_EQ(f[n * 4 + 3], 1.0f);
    }
}

TEST(CubeParsing, KeywordsAreCaseInsensitivePrefixes)
{
    std::string text = "lut_3d_size 17\n";
    for (int i = 0; i < 17 * 17 * 17; ++i) {
        text += "0 0 0\n";
    }
    EXPECT_EQ(parseCube(text).size, 17);
}

TEST(CubeParsing, CommentsTitlesAndDomainsChangeNothing)
{
    const CubeLUT plain = parseCube("LUT_3D_SIZE 2\n" + eightEntries());
    const std::string decorated = "   # indented comment 1 2 3\ntitle \"lower case\"\nDOMAIN_MIN 0 0 0\n"
                                  "DOMAIN_MAX 2 2 2\nLUT_3D_SIZE 2\n" +
                                  eightEntries();
    EXPECT_EQ(parseCube(decorated), plain);
}

TEST(CubeParsing, SizeMustBeAnIntegerOfAtLeastTwo)
{
    EXPECT_EQ(failureCode("LUT_3D_SIZE 33.0\n" + eightEntries()), 1);
    EXPECT_EQ(failureCode("LUT_3D_SIZE 1\n0 0 0\n"), 1);
    EXPECT_EQ(failureCode("LUT_3D_SIZE -4\n" + eightEntries()), 1);
    EXPECT_EQ(failureCode("LUT_3D_SIZE\n" + eightEntries()), 1);
    EXPECT_EQ(failureCode(eightEntries()), 1);
    EXPECT_EQ(failureCode(""), 1);
    EXPECT_EQ(parseCube("LUT_3D_SIZE +2\n" + eightEntries()).size, 2);
}

TEST(CubeParsing, LastSizeLineDecides)
{
    EXPECT_EQ(failureCode("LUT_3D_SIZE 2\n" + eightEntries() + "LUT_3D_SIZE big\n"), 1);
    // A bare size line is ignored and does not clear an earlier size.
    EXPECT_EQ(parseCube("LUT_3D_SIZE 2\nLUT_3D_SIZE\n" + eightEntries()).size, 2);
}

TEST(CubeParsing, EntryCountMustReachSizeCubed)
{
    std::string seven = eightEntries();
    seven.erase(seven.rfind('\n', seven.size() - 2) + 1);
    EXPECT_EQ(failureCode("LUT_3D_SIZE 2\n" + seven), 2);
    const CubeLUT nine = parseCube("LUT_3D_SIZE 2\n" + eightEntries() + "9 9 9\n");
    EXPECT_EQ(nine.data.size(), 128u);
    EXPECT_EQ(nine.floats()[28], 0.5f);
    EXPECT_EQ(failureCode("LUT_3D_SIZE 3\n" + eightEntries()), 2);
}

TEST(CubeParsing, TruncatedFileFailsWithCodeTwo)
{
    const std::string full = "LUT_3D_SIZE 2\n" + eightEntries();
    EXPECT_EQ(failureCode(full.substr(0, full.size() - 10)), 2);
}

TEST(CubeParsing, HugeSizesAreRefusedWithoutOverflow)
{
    EXPECT_EQ(failureCode("LUT_3D_SIZE 2097152\n" + eightEntries()), 2);
    EXPECT_EQ(failureCode("LUT_3D_SIZE 9223372036854775807\n" + eightEntries()), 2);
    EXPECT_EQ(failureCode("LUT_3D_SIZE 9223372036854775808\n" + eightEntries()), 1);
}

TEST(CubeParsing, EntryLineForms)
{
    const std::string body = "LUT_3D_SIZE 2\n"
                             "0.1 0.2 0.3 0.4\n"        // fourth number ignored
                             "0.5 0.6 0.7 # remark\n"   // trailing remark ignored
                             "0.1,0.2,0.3\n"            // commas do not separate
                             "0.1 red 0.3\n"            // a word is not a number
                             "0.1 0.2\n"                // two numbers are not an entry
                             "0,5 0 0\n"                // decimal comma is not a number
                             "+1 -0 1e-1\n"
                             "\t0x1p-1\t 0 0\n"
                             "1 1 1\n1 1 1\n1 1 1\n1 1 1\n";
    const std::vector<float> f = parseCube(body).floats();
    EXPECT_FLOAT_EQ(f[0], 0.1f);
    EXPECT_FLOAT_EQ(f[2], 0.3f);
    EXPECT_EQ(f[3], 1.0f);
    EXPECT_FLOAT_EQ(f[4], 0.5f);
    EXPECT_FLOAT_EQ(f[6], 0.7f);
    EXPECT_EQ(f[8], 1.0f);
    EXPECT_FLOAT_EQ(f[10], 0.1f);
    EXPECT_EQ(f[12], 0.5f);
    EXPECT_EQ(f[16], 1.0f);
}

TEST(CubeParsing, EntriesBeforeTheSizeLineCount)
{
    EXPECT_EQ(parseCube(eightEntries() + "LUT_3D_SIZE 2\n"), parseCube("LUT_3D_SIZE 2\n" + eightEntries()));
}

TEST(CubeParsing, EveryLineTerminatorSplitsLines)
{
    const CubeLUT lf = parseCube("LUT_3D_SIZE 2\n" + eightEntries("\n"));
    EXPECT_EQ(parseCube("LUT_3D_SIZE 2\r" + eightEntries("\r")), lf);
    EXPECT_EQ(parseCube("LUT_3D_SIZE 2\r\n" + eightEntries("\r\n")), lf);
    EXPECT_EQ(parseCube("LUT_3D_SIZE 2\xC2\x85" + eightEntries("\xC2\x85")), lf);
    EXPECT_EQ(parseCube("LUT_3D_SIZE 2\xE2\x80\xA8" + eightEntries("\xE2\x80\xA8")), lf);
    EXPECT_EQ(parseCube("LUT_3D_SIZE 2\xE2\x80\xA9" + eightEntries("\xE2\x80\xA9")), lf);
}

TEST(CubeParsing, LeadingByteOrderMarkIsSkipped)
{
    EXPECT_EQ(parseCube("\xEF\xBB\xBFLUT_3D_SIZE 2\n" + eightEntries()), parseCube("LUT_3D_SIZE 2\n" + eightEntries()));
}

// A refusal counts entries without converting their numbers: each token is taken exactly where
// the reader that keeps the table takes it (failureCode holds the two to one answer).
TEST(CubeParsing, CountingTakesTheTokensReadingTakes)
{
    const struct {
        const char* token;
        int code;
    } cases[] = {
        {"1", 0}, {"-0", 0}, {"01", 0}, {"1.", 0}, {".5", 0}, {"-.5", 0}, {"+1", 0}, {"1e5", 0}, {"1E-5", 0},
        {"1e999", 0}, {"0x1p3", 0}, {"inf", 0}, {"-NaN", 0}, {"1e", 2}, {"1e+", 2}, {"-", 2}, {".", 2},
        {"--1", 2}, {"1..2", 2}, {"1.5e-3x", 2}, {"1,5", 2}, {"e5", 2}, {"0x", 2},
    };
    for (const auto& [token, code] : cases) {
        SCOPED_TRACE(token);
        // The first entry's red is the token; the table holds exactly its eight entries.
        const std::string entries = eightEntries();
        EXPECT_EQ(failureCode("LUT_3D_SIZE 2\n" + std::string(token) + entries.substr(entries.find(' '))), code);
    }
}

TEST(CubeParsing, OneDimensionalTablesHaveNoSize)
{
    EXPECT_EQ(failureCode("LUT_1D_SIZE 2\n0 0 0\n1 1 1\n"), 1);
}

// Every refusal says in words what the text lacks: a LUT shown to the user as not usable, or an
// export that stops on it, never goes without a reason.
TEST(CubeParsing, EveryRefusalSaysWhy)
{
    EXPECT_EQ(reason(eightEntries()), "it names no LUT_3D_SIZE");
    EXPECT_EQ(reason("LUT_3D_SIZE banana\n" + eightEntries()), "LUT_3D_SIZE banana (needs a whole number)");
    EXPECT_EQ(reason("LUT_3D_SIZE 2\nLUT_3D_SIZE 1\n" + eightEntries()), "LUT_3D_SIZE 1 (needs 2 or more)");
    EXPECT_EQ(reason("LUT_3D_SIZE 17\n" + eightEntries()), "it holds fewer entries than its LUT_3D_SIZE needs");
    // A size token is quoted short and as valid UTF-8, whatever the file holds.
    EXPECT_EQ(reason("LUT_3D_SIZE " + std::string(40, '7') + "x\xff\n"),
              "LUT_3D_SIZE " + std::string(16, '7') + "\u2026" + std::string(14, '7') + "x\\xFF (needs a whole number)");
    EXPECT_EQ(reason("LUT_3D_SIZE 1\xff\n"), "LUT_3D_SIZE 1\\xFF (needs a whole number)");
}

TEST(CubeParsing, NumbersIgnoreTheProcessLocale)
{
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    const bool switched = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr ||
                          std::setlocale(LC_NUMERIC, "fr_FR.UTF-8") != nullptr;
    const CubeLUT cube = parseCube("LUT_3D_SIZE 2\n" + eightEntries());
    int code = 0;
    try {
        parseCube("LUT_3D_SIZE 2\n0,5 0 0\n" + eightEntries().substr(12));
    } catch (const Error& e) {
        code = e.code();
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(cube.floats()[4], 0.5f) << (switched ? "under a comma locale" : "C locale only");
    EXPECT_EQ(code, 2);
}

TEST(CubeParsing, SpecialFloatFormsAreAccepted)
{
    std::string text = "LUT_3D_SIZE 2\nnan inf -infinity\n";
    for (int i = 0; i < 7; ++i) {
        text += "0 0 0\n";
    }
    const std::vector<float> f = parseCube(text).floats();
    EXPECT_TRUE(std::isnan(f[0]));
    EXPECT_TRUE(std::isinf(f[1]) && f[1] > 0);
    EXPECT_TRUE(std::isinf(f[2]) && f[2] < 0);
}

} // namespace
} // namespace velmora
