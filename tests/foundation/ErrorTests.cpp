#include "platform/foundation/Error.h"
#include "platform/foundation/ShownText.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(Error, CarriesDomainCodeAndMessage)
{
    const Error error("EditSession", 2, "Could not read project");
    EXPECT_EQ(error.domain(), "EditSession");
    EXPECT_EQ(error.code(), 2);
    EXPECT_EQ(error.localizedDescription(), "Could not read project");
    EXPECT_EQ(error.fullDescription(), "Error Domain=EditSession Code=2 \"Could not read project\"");
    EXPECT_STREQ(error.what(), "Error Domain=EditSession Code=2 \"Could not read project\"");
}

// Wherever an error is shown, it has words: one that came without a message is shown by its
// domain and code; its own message stays as it came.
TEST(Error, WithoutAMessageIsShownByItsDomainAndCode)
{
    const Error error("cube", 2, "");
    EXPECT_EQ(error.message(), "");
    EXPECT_EQ(error.localizedDescription(), "Failed with cube error 2 (no description)");
    EXPECT_EQ(error.fullDescription(), "Error Domain=cube Code=2 \"Failed with cube error 2 (no description)\"");
    EXPECT_STREQ(error.what(), "Error Domain=cube Code=2 \"Failed with cube error 2 (no description)\"");
}

// However much of its input a failure quotes, what is shown of it is cut in the middle past
// 1,000 bytes, where a character starts, so that laying it out never holds up the window.
TEST(Error, ShowsALongMessageCutInTheMiddle)
{
    const std::string message = "Could not load: " + std::string(2'000'000, '1') + " \u00E9t\u00E9";
    const Error error("EditSession", 2, message);
    EXPECT_EQ(error.message(), message);
    const std::string shown = error.localizedDescription();
    EXPECT_EQ(shown, message.substr(0, 500) + "\u2026" + std::string(494, '1') + " \u00E9t\u00E9");
    EXPECT_EQ(error.fullDescription(), "Error Domain=EditSession Code=2 \"" + shown + "\"");
    EXPECT_EQ(shownText(message), shown);
    // A cut through a character moves to where it starts.
    const std::string accents = std::string(499, 'a') + "\u00E9" + std::string(1000, 'b') + "\u00E9";
    EXPECT_EQ(shownText(accents), std::string(499, 'a') + "\u2026" + std::string(498, 'b') + "\u00E9");
    EXPECT_EQ(shownText(std::string(1000, 'c')), std::string(1000, 'c'));
}

TEST(Error, IsCaughtAsRuntimeError)
{
    try {
        throw Error("export", 7, "Export timed out");
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("Code=7"), std::string::npos);
        return;
    }
    FAIL() << "not caught";
}

} // namespace
} // namespace velmora
