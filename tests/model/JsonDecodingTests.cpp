#include <gtest/gtest.h>

#include "model/EditSession.h"
#include "model/JsonDecoding.h"

using namespace velmora;

namespace {

struct Probe {
    std::optional<int> count;
    std::optional<std::int64_t> big;
    std::optional<double> ratio;
    std::optional<std::string> text;
    std::optional<std::vector<std::string>> names;
    std::optional<std::vector<std::uint8_t>> data;

    static Probe decode(const KeyedContainer& c)
    {
        Probe p;
        p.count = c.decodeIfPresent<int>("count");
        p.big = c.decodeIfPresent<std::int64_t>("big");
        p.ratio = c.decodeIfPresent<double>("ratio");
        p.text = c.decodeIfPresent<std::string>("text");
        p.names = c.decodeIfPresent<std::vector<std::string>>("names");
        p.data = c.decodeIfPresent<std::vector<std::uint8_t>>("data");
        return p;
    }
};

Probe probe(const std::string& json)
{
    const auto document = JsonDecoding::parse(json);
    return Probe::decode(KeyedContainer::root(document));
}

DecodingError failure(const std::string& json)
{
    try {
        probe(json);
    } catch (const DecodingError& error) {
        return error;
    }
    ADD_FAILURE() << "no failure for " << json;
    return DecodingError(DecodingError::Kind::dataCorrupted, {}, {}, "none");
}

std::optional<std::string> flexible(const std::string& valueJson)
{
    const auto document = JsonDecoding::parse(R"({"v": )" + valueJson + "}");
    return FlexibleJSON::string(KeyedContainer::root(document), "v");
}

} // namespace

TEST(StrictJsonReader, IntegersNeedIntegralValues)
{
    EXPECT_EQ(probe(R"({"count": 5})").count, 5);
    EXPECT_EQ(probe(R"({"count": 5.0})").count, 5);
    EXPECT_EQ(probe(R"({"count": -2147483648})").count, INT32_MIN);
    EXPECT_EQ(probe(R"({"big": 9223372036854775807})").big, INT64_MAX);
    EXPECT_EQ(probe(R"({"big": -9.2233720368547758e18})").big, INT64_MIN);

    const auto fraction = failure(R"({"count": 5.5})");
    EXPECT_EQ(fraction.kind(), DecodingError::Kind::dataCorrupted);
    EXPECT_EQ(fraction.debugDescription(), "Parsed JSON number <5.5> does not fit in Int. (at count)");
    EXPECT_EQ(failure(R"({"count": 2147483648})").kind(), DecodingError::Kind::dataCorrupted);
    // Said in plain words: a fraction is no whole number, a whole number past the range names it.
    EXPECT_EQ(EditSession::decodingErrorDescription(fraction), "The value at \u201Ccount\u201D is 5.5, not a whole number.");
    EXPECT_EQ(EditSession::decodingErrorDescription(failure(R"({"count": 2147483648})")),
              "The value at \u201Ccount\u201D is 2147483648, not a whole number from -2147483648 to 2147483647.");
    EXPECT_EQ(failure(R"({"big": 9223372036854775808})").kind(), DecodingError::Kind::dataCorrupted);
    EXPECT_EQ(failure(R"({"big": 1e300})").kind(), DecodingError::Kind::dataCorrupted);
    EXPECT_EQ(failure(R"({"count": "5"})").kind(), DecodingError::Kind::typeMismatch);
    EXPECT_EQ(failure(R"({"count": true})").expectedType(), "Int");
}

TEST(StrictJsonReader, FloatsTakeAnyNumber)
{
    EXPECT_EQ(probe(R"({"ratio": 3})").ratio, 3.0);
    EXPECT_EQ(probe(R"({"ratio": 18446744073709551615})").ratio, 18446744073709551615.0);
    EXPECT_EQ(probe(R"({"ratio": -0.25e-2})").ratio, -0.0025);
    EXPECT_EQ(failure(R"({"ratio": "3"})").expectedType(), "Double");
}

TEST(StrictJsonReader, NullAndAbsentOptionalsAreAbsent)
{
    const auto p = probe(R"({"count": null, "text": null, "unknown": [1, 2]})");
    EXPECT_FALSE(p.count);
    EXPECT_FALSE(p.text);
    EXPECT_FALSE(p.big);
}

TEST(StrictJsonReader, ArrayElementsCarryIndexInThePath)
{
    EXPECT_EQ(probe(R"({"names": ["a", "b"]})").names, (std::vector<std::string>{"a", "b"}));
    const auto wrong = failure(R"({"names": ["a", 2]})");
    EXPECT_EQ(wrong.kind(), DecodingError::Kind::typeMismatch);
    EXPECT_EQ(wrong.pathText(), "names.Index 1");
    EXPECT_EQ(wrong.expectedType(), "String");
    const auto null = failure(R"({"names": [null]})");
    EXPECT_EQ(null.kind(), DecodingError::Kind::valueNotFound);
    EXPECT_EQ(null.pathText(), "names.Index 0");
    EXPECT_EQ(failure(R"({"names": "a"})").expectedType(), "Array<Any>");
}

// Thousands of records are read side by side: in order all the same, and failing where reading
// them in order first fails.
TEST(StrictJsonReader, ALongArrayOfRecordsFailsAtItsFirstBadRecord)
{
    nlohmann::json records = nlohmann::json::array();
    for (int i = 0; i < 3000; ++i)
        records.push_back({{"count", i}});
    const auto read = [&records] {
        const nlohmann::json document = {{"records", records}};
        return KeyedContainer::root(document).decode<std::vector<Probe>>("records");
    };
    const std::vector<Probe> probes = read();
    ASSERT_EQ(probes.size(), 3000u);
    EXPECT_EQ(probes[2999].count, 2999);
    records[2500]["count"] = "x";
    records[2000] = nullptr;
    records[1200]["count"] = 1.5;
    try {
        read();
        ADD_FAILURE() << "no failure";
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.kind(), DecodingError::Kind::dataCorrupted);
        EXPECT_EQ(error.pathText(), "records.Index 1200.count");
    }
}

TEST(StrictJsonReader, DataIsBase64)
{
    EXPECT_EQ(probe(R"({"data": "AAEC"})").data, (std::vector<std::uint8_t>{0, 1, 2}));
    const auto bad = failure(R"({"data": "AAE"})");
    EXPECT_EQ(bad.kind(), DecodingError::Kind::dataCorrupted);
    EXPECT_EQ(failure(R"({"data": 5})").expectedType(), "String");
}

TEST(StrictJsonReader, InvalidJsonIsDataCorrupted)
{
    for (const char* text : {"", "   ", "{", "{\"a\": }", "[1,]", "\xFF", "{\"a\": 1e999}", "[-1E+400]"}) {
        try {
            JsonDecoding::parse(text);
            ADD_FAILURE() << "parsed: " << text;
        } catch (const DecodingError& error) {
            EXPECT_EQ(error.kind(), DecodingError::Kind::dataCorrupted);
            EXPECT_TRUE(error.codingPath().empty());
            EXPECT_EQ(error.debugDescription().rfind("The given data was not valid JSON (", 0), 0u) << error.debugDescription();
        }
    }
}

TEST(StrictJsonReader, BytesThatAreNotUtf8AreQuotedEscaped)
{
    try {
        JsonDecoding::parse("{\"name\": \"caf\xE9\"}");
        FAIL() << "parsed text that is not UTF-8";
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.debugDescription(),
                  "The given data was not valid JSON (parse error at line 1, column 15: syntax error while parsing "
                  "value - invalid string: ill-formed UTF-8 byte; last read: '\"caf\\xE9\"').");
    }
}

TEST(StrictJsonReader, TopLevelMustBeAnObject)
{
    const auto document = JsonDecoding::parse("[1]");
    try {
        KeyedContainer::root(document);
        FAIL();
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.kind(), DecodingError::Kind::typeMismatch);
        EXPECT_EQ(error.expectedType(), "Dictionary<String, Any>");
        EXPECT_EQ(EditSession::decodingErrorDescription(error), "The value at the top level is [1], not an object.");
    }
}

TEST(FlexibleJsonString, ReadsStringsAndNumbersOnly)
{
    EXPECT_EQ(flexible("\"abc\""), "abc");
    EXPECT_EQ(flexible("\"\""), "");
    EXPECT_EQ(flexible("7"), "7");
    EXPECT_EQ(flexible("17.0"), "17");
    EXPECT_EQ(flexible("2.5"), "2.5");
    EXPECT_EQ(flexible("-3"), "-3");
    EXPECT_EQ(flexible("1e20"), "1e+20");
    EXPECT_EQ(flexible("true"), std::nullopt);
    EXPECT_EQ(flexible("null"), std::nullopt);
    EXPECT_EQ(flexible("[1]"), std::nullopt);
    EXPECT_EQ(flexible("{}"), std::nullopt);
}

TEST(DecodingErrorDescription, RendersEachKind)
{
    const DecodingError mismatch(DecodingError::Kind::typeMismatch, {"timelines", "Index 0", "clips", "Index 1", "type"},
        "String", "x");
    EXPECT_EQ(EditSession::decodingErrorDescription(mismatch), "The value at \u201Ctimelines[0].clips[1].type\u201D is not text.");
    const DecodingError missingValue(DecodingError::Kind::valueNotFound, {"grade", "lutCube"}, "String", "x");
    EXPECT_EQ(EditSession::decodingErrorDescription(missingValue), "The value at \u201Cgrade.lutCube\u201D is not text.");
    const DecodingError missingKey(DecodingError::Kind::keyNotFound, {"timelines", "Index 0"}, "id", "x");
    EXPECT_EQ(EditSession::decodingErrorDescription(missingKey), "The value at \u201Ctimelines[0].id\u201D is missing.");
    const DecodingError rootKey(DecodingError::Kind::keyNotFound, {}, "tool", "x");
    EXPECT_EQ(EditSession::decodingErrorDescription(rootKey), "The value at \u201Ctool\u201D is missing.");
    const DecodingError corrupted(DecodingError::Kind::dataCorrupted, {}, {}, "The given data was not valid JSON (x).");
    EXPECT_EQ(EditSession::decodingErrorDescription(corrupted), "The given data was not valid JSON (x).");
}
