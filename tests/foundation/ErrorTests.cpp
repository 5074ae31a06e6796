#include "platform/foundation/Error.h"

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
