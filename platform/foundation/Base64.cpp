#include "platform/foundation/Base64.h"

namespace velmora::Base64 {

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int sextet(char c)
{
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

} // namespace

std::string encode(const std::vector<std::uint8_t>& bytes)
{
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t n = (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        text.push_back(alphabet[(n >> 18) & 63]);
        text.push_back(alphabet[(n >> 12) & 63]);
        text.push_back(alphabet[(n >> 6) & 63]);
        text.push_back(alphabet[n & 63]);
    }
    const std::size_t rest = bytes.size() - i;
    if (rest == 1) {
        const std::uint32_t n = std::uint32_t{bytes[i]} << 16;
        text.push_back(alphabet[(n >> 18) & 63]);
        text.push_back(alphabet[(n >> 12) & 63]);
        text += "==";
    } else if (rest == 2) {
        const std::uint32_t n = (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8);
        text.push_back(alphabet[(n >> 18) & 63]);
        text.push_back(alphabet[(n >> 12) & 63]);
        text.push_back(alphabet[(n >> 6) & 63]);
        text.push_back('=');
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> decode(std::string_view text)
{
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int values[4];
        int padding = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text[i + static_cast<std::size_t>(k)];
            if (c == '=') {
                // Padding only in the last two places of the last group, and nothing after it.
                if (!last || k < 2) {
                    return std::nullopt;
                }
                ++padding;
                values[k] = 0;
                continue;
            }
            if (padding > 0) {
                return std::nullopt;
            }
            values[k] = sextet(c);
            if (values[k] < 0) {
                return std::nullopt;
            }
        }
        const std::uint32_t n = (static_cast<std::uint32_t>(values[0]) << 18) | (static_cast<std::uint32_t>(values[1]) << 12)
            | (static_cast<std::uint32_t>(values[2]) << 6) | static_cast<std::uint32_t>(values[3]);
        bytes.push_back(static_cast<std::uint8_t>(n >> 16));
        if (padding < 2) {
            bytes.push_back(static_cast<std::uint8_t>(n >> 8));
        }
        if (padding < 1) {
            bytes.push_back(static_cast<std::uint8_t>(n));
        }
    }
    return bytes;
}

} // namespace velmora::Base64
