#include <gtest/gtest.h>

#include <type_traits>

#include "platform/foundation/SharedValue.h"

using namespace velmora;

// A value becomes shared, or a copy of its own, only where the call says so.
static_assert(!std::is_convertible_v<std::vector<std::uint8_t>, SharedBytes>);
static_assert(!std::is_convertible_v<SharedBytes, const std::vector<std::uint8_t>&>);
static_assert(!std::is_convertible_v<std::filesystem::path, SharedPath>);
static_assert(!std::is_convertible_v<SharedPath, const std::filesystem::path&>);

TEST(SharedValue, CopiesShareOneValueAndOnlyCopyTakesItOut)
{
    const SharedBytes none;
    EXPECT_TRUE(none->empty());
    EXPECT_EQ(none, SharedBytes());

    const SharedBytes bytes(std::vector<std::uint8_t>{1, 2, 3});
    const SharedBytes copy = bytes;
    EXPECT_EQ(&copy.get(), &bytes.get());
    std::vector<std::uint8_t> own = bytes.copy();
    EXPECT_NE(own.data(), bytes->data());
    EXPECT_EQ(SharedBytes(std::move(own)), bytes); // equal values in two objects

    const SharedPath path(std::filesystem::path("/media/a.mov"));
    EXPECT_EQ(path->filename(), "a.mov");
    EXPECT_EQ(path, std::filesystem::path("/media/a.mov"));
    EXPECT_FALSE(path == SharedPath(std::filesystem::path("/media/b.mov")));
}
