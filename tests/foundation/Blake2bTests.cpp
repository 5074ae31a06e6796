#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/Blake2b.h"

namespace velmora {
namespace {

std::string hexOf(const std::array<std::uint8_t, 64>& digest, std::size_t bytes)
{
    Blake2b::Value head{};
    std::string text;
    for (std::size_t at = 0; at < bytes; at += head.size()) {
        std::copy_n(digest.begin() + static_cast<std::ptrdiff_t>(at), head.size(), head.begin());
        text += Blake2b::hex(head);
    }
    return text.substr(0, bytes * 2);
}

std::string bytesUpTo256Twice()
{
    std::string bytes;
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 256; ++i) {
            bytes += static_cast<char>(i);
        }
    }
    return bytes;
}

// The reference implementation's digests: empty, shorter than a block, one block exactly, one
// byte past it, several blocks; and RFC 7693's 512-bit digest of "abc".
TEST(Blake2b, GivesTheReferenceDigests)
{
    const std::vector<std::pair<std::string, std::string>> known = {
        {"", "0e5751c026e543b2e8ab2eb06099daa1d1e5df47778f7787faab45cdf12fe3a8"},
        {"abc", "bddd813c634239723171ef3fee98579b94964e3bb1cb3e427262c8c068d52319"},
        {std::string(128, 'a'), "ae2aa48507885c4c950fb809b2076f959cde9f8ea6da260d9a3587df33dac450"},
        {std::string(129, 'a'), "2f64744a6de0d2c0b56e64cf6e29a5aaa255010d415d51c75ccc82f73dccd865"},
        {bytesUpTo256Twice(), "540b20132d8aeae54057cb69c24f95d26a1c472cc700dd450defe9bb796d4f14"},
    };
    for (const auto& [bytes, digest] : known) {
        SCOPED_TRACE(bytes.size());
        EXPECT_EQ(Blake2b::hex(Blake2b::of(bytes)), digest);
        // Added piece by piece, across block ends, the same.
        for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{128}, std::size_t{200}}) {
            Blake2b::Hasher hasher;
            for (std::size_t at = 0; at < bytes.size(); at += piece) {
                hasher.add(std::string_view(bytes).substr(at, piece));
            }
            EXPECT_EQ(hexOf(hasher.finish(), 32), digest) << piece;
        }
    }
    Blake2b::Hasher wide(64);
    wide.add("abc");
    EXPECT_EQ(hexOf(wide.finish(), 64), "ba80a53f981c4d0d6a2797b69f12f6e94c212f14685ac4b74b12bb6fdbffa2d17d87c5392aab792dc"
                                        "252d5de4533cc9518d38aa8dbf1925ab92386edd4009923");
}

} // namespace
} // namespace velmora
