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
