#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <set>
#include <utility>
#include <vector>

#include "platform/foundation/Base64.h"
#include "platform/foundation/IsoDate.h"
#include "platform/foundation/NumberText.h"
#include "platform/foundation/StringText.h"
#include "platform/foundation/Uuid.h"

using namespace velmora;

TEST(Uuid, IsUpperCaseVersion4Text)
{
    const std::regex shape("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$");
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string text = Uuid::randomText();
        EXPECT_TRUE(std::regex_match(text, shape)) << text;
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST(IsoDate, FormatsUtcWithWholeSecondsAndZ)
{
    using namespace std::chrono;
    const sys_days day = year{2026} / March / 4;
    const auto time = day + hours{5} + minutes{6} + seconds{7} + milliseconds{999};
    EXPECT_EQ(IsoDate::format(time), "2026-03-04T05:06:07Z");
    EXPECT_EQ(IsoDate::format(system_clock::time_point{}), "1970-01-01T00:00:00Z");
}

TEST(IsoDate, ParsesZuluOffsetsAndFractions)
{
    using namespace std::chrono;
    const auto base = sys_days{year{2024} / February / 29} + hours{23} + minutes{59} + seconds{58};
    EXPECT_EQ(IsoDate::parse("2024-02-29T23:59:58Z"), base);
    EXPECT_EQ(IsoDate::parse("2024-02-29T23:59:58.500Z"), base + milliseconds{500});
    EXPECT_EQ(IsoDate::parse("2024-03-01T01:59:58+02:00"), base);
    EXPECT_EQ(IsoDate::parse("2024-02-29T18:59:58-0500"), base);
    EXPECT_FALSE(IsoDate::parse("2023-02-29T00:00:00Z"));
    EXPECT_FALSE(IsoDate::parse("2024-02-29 23:59:58Z"));
    EXPECT_FALSE(IsoDate::parse("2024-02-29T23:59:58"));
    EXPECT_FALSE(IsoDate::parse("2024-02-29T23:59:58Zjunk"));
    const auto now = IsoDate::now();
    EXPECT_EQ(IsoDate::format(*IsoDate::parse(now)), now);
}

TEST(NumberText, ShortestRoundTripText)
{
    EXPECT_EQ(NumberText::shortest(2.5), "2.5");
    EXPECT_EQ(NumberText::shortest(7.0), "7");
    EXPECT_EQ(NumberText::shortest(-120.25), "-120.25");
    EXPECT_EQ(NumberText::shortest(0.1), "0.1");
    EXPECT_EQ(NumberText::shortest(0.0001), "0.0001");
    EXPECT_EQ(NumberText::shortest(1.5e-5), "1.5e-05");
    EXPECT_EQ(NumberText::shortest(1e16), "1e+16");
    EXPECT_EQ(NumberText::shortest(1234567890123456.0), "1234567890123456");
    EXPECT_EQ(NumberText::shortest(59.94), "59.94");
    EXPECT_EQ(NumberText::shortest(0.0), "0");
    EXPECT_EQ(NumberText::shortest(-0.0), "-0");
    EXPECT_EQ(NumberText::shortest(1.0 / 3.0), "0.3333333333333333");
    for (const double v : {0.1 + 0.2, 1e-300, 123.456, 29.97002997002997}) {
        EXPECT_EQ(*NumberText::parseDouble(NumberText::shortest(v)), v);
    }
}

TEST(NumberText, ParsesWholeTextOnly)
{
    EXPECT_EQ(NumberText::parseInteger("42"), 42);
    EXPECT_EQ(NumberText::parseInteger("+7"), 7);
    EXPECT_EQ(NumberText::parseInteger("-9223372036854775808"), INT64_MIN);
    EXPECT_FALSE(NumberText::parseInteger("9223372036854775808"));
    EXPECT_FALSE(NumberText::parseInteger(" 1"));
    EXPECT_FALSE(NumberText::parseInteger("2.0"));
    EXPECT_FALSE(NumberText::parseInteger("+-1"));
    EXPECT_FALSE(NumberText::parseInteger(""));
    EXPECT_EQ(NumberText::parseDouble("0.5"), 0.5);
    EXPECT_EQ(NumberText::parseDouble("+.5"), 0.5);
    EXPECT_EQ(NumberText::parseDouble("1e3"), 1000.0);
    EXPECT_EQ(NumberText::parseDouble("-2"), -2.0);
    EXPECT_FALSE(NumberText::parseDouble(" 0.5"));
    EXPECT_FALSE(NumberText::parseDouble("0,5"));
    EXPECT_FALSE(NumberText::parseDouble("inf"));
    EXPECT_FALSE(NumberText::parseDouble("nan"));
    EXPECT_FALSE(NumberText::parseDouble("1e999"));
    EXPECT_FALSE(NumberText::parseDouble("abc"));
}

TEST(Base64, RoundTripsAndRefusesMalformedText)
{
    const std::vector<std::uint8_t> bytes{0x00, 0xFF, 0x10, 'a', 'b'};
    EXPECT_EQ(Base64::encode(bytes), "AP8QYWI=");
    EXPECT_EQ(Base64::decode("AP8QYWI="), bytes);
    EXPECT_EQ(Base64::encode({'M'}), "TQ==");
    EXPECT_EQ(Base64::decode("TQ=="), (std::vector<std::uint8_t>{'M'}));
    EXPECT_EQ(Base64::decode(""), std::vector<std::uint8_t>{});
    EXPECT_FALSE(Base64::decode("TQ="));
    EXPECT_FALSE(Base64::decode("T=Q="));
    EXPECT_FALSE(Base64::decode("TQ==TQ=="));
    EXPECT_FALSE(Base64::decode("TQ= ="));
    EXPECT_FALSE(Base64::decode("AP8Q\nYWI="));
}

TEST(StringText, TrimsUnicodeWhitespaceAndLowercases)
{
    EXPECT_EQ(StringText::trimmed("  \t Sound\r\n"), "Sound");
    EXPECT_EQ(StringText::trimmed("\xC2\xA0" "clip" "\xE3\x80\x80"), "clip");
    EXPECT_EQ(StringText::trimmed(" a b "), "a b");
    EXPECT_EQ(StringText::trimmed(" \n "), "");
    // The end is read backwards: a trailing character is white space only where reading forwards
    // decodes it whole; bytes that are not UTF-8 are kept, and so is what stands before them.
    for (const auto& [text, kept] : std::vector<std::pair<std::string, std::string>>{
             {"look \xE2\x80\xA8\xC2\x85", "look"},
             {"look\xE2\x80", "look\xE2\x80"},
             {"look\xA8 ", "look\xA8"},
             {"look \x80\x80\x80\x80", "look \x80\x80\x80\x80"},
             {"look\xF0\xE2\x80\xA8", "look\xF0"},
             {"\xE2\x80\xA8", ""},
             // Whatever ends the text: ASCII or not, white space or not, whole or cut short.
             {"\xC3\xA9t\xC3\xA9 \n", "\xC3\xA9t\xC3\xA9"},
             {"clip\xE3\x80\x80 \t", "clip"},
             {"clip \xC2\xA0\xC2", "clip \xC2\xA0\xC2"},
         }) {
        EXPECT_EQ(StringText::trimmedView(text), kept);
        EXPECT_EQ(StringText::trimmed(text), kept);
    }
    EXPECT_EQ(StringText::lowercased("VIDEO Ä Ω Ж"), "video ä ω ж");
    EXPECT_EQ(StringText::lowercased("\xFF" "AB"), "\xFF" "ab");
    EXPECT_TRUE(StringText::containsIgnoringCase("Take (AUDIO)", " (audio)"));
    EXPECT_EQ(StringText::removingAllIgnoringCase("A (Audio) B (audio)", " (audio)"), "A B");
}
