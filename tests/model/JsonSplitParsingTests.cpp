#include <gtest/gtest.h>

#include <string>

#include "model/JsonSplitParsing.h"

using namespace velmora;
using json = nlohmann::json;

namespace {

// `count` records whose strings hold brackets, braces, commas, quotes and backslashes.
std::string records(int count, const std::string& extra = {})
{
    std::string text = "[";
    for (int i = 0; i < count; ++i) {
        text += i ? ",\n  " : "\n  ";
        text += R"({"id": "c)" + std::to_string(i) + R"(", "name": "a [b] {c}, \"d\" \\", "start": )" +
                std::to_string(i * 0.25) + R"(, "tags": [1, -2, 3e2, true, null])";
        text += i == count / 2 ? extra : "";
        text += "}";
    }
    return text + "\n]";
}

// Over a megabyte: a project's clips in its first timeline, one of them holding a long array of
// its own, and its sources.
std::string largeDocument(const std::string& brokenClip = {})
{
    std::string inner = "[";
    for (int i = 0; i < 1100; ++i)
        inner += (i ? ", \"" : "\"") + std::string(240, static_cast<char>('a' + i % 26)) + "\"";
    inner += "]";
    return R"({"timelines": [{"name": "t", "clips": )" + records(6000, R"(, "keys": )" + inner + brokenClip) +
           R"(}], "sources": )" + records(1500) + R"(, "\"odd\" [key]": {"[": "]"}})";
}

} // namespace

TEST(JsonSplitParsing, GivesTheTreeOfOneParseOrNoneWhereThatFails)
{
    const std::string document = largeDocument();
    ASSERT_GE(document.size(), JsonSplitParsing::minimumSplitBytes);
    const std::optional<json> tree = JsonSplitParsing::tryParse(document);
    ASSERT_TRUE(tree);
    EXPECT_EQ(*tree, json::parse(document));
    EXPECT_EQ(tree->at("timelines").at(0).at("clips").size(), 6000u);

    // The later of two equal keys wins, as in one parse.
    const std::string repeated = R"({"clips": )" + records(12000) + R"(, "clips": [1]})";
    ASSERT_GE(repeated.size(), JsonSplitParsing::minimumSplitBytes);
    EXPECT_EQ(JsonSplitParsing::tryParse(repeated), json::parse(repeated));

    // Text that is not JSON, inside a long array or around it.
    EXPECT_FALSE(JsonSplitParsing::tryParse(largeDocument(R"(, "bad": })")));
    EXPECT_FALSE(JsonSplitParsing::tryParse(largeDocument(R"(, "bad": [1,,2])")));
    std::string trailingComma = records(12000);
    trailingComma.insert(trailingComma.size() - 1, ",");
    ASSERT_GE(trailingComma.size(), JsonSplitParsing::minimumSplitBytes);
    EXPECT_FALSE(JsonSplitParsing::tryParse(R"({"clips": )" + trailingComma + "}"));
    EXPECT_FALSE(JsonSplitParsing::tryParse(document + " x"));
    EXPECT_FALSE(JsonSplitParsing::tryParse(document.substr(0, document.size() / 2) + "\""));
}
