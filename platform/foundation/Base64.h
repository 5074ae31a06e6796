#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::Base64 {

// Standard base64 (RFC 4648 alphabet) with '=' padding and no line breaks.
std::string encode(const std::vector<std::uint8_t>& bytes);

// Strict decoding: the text's length must be a multiple of 4, '=' may only pad the end, and no
// other character (blanks and line breaks included) is allowed. Anything else gives nothing.
std::optional<std::vector<std::uint8_t>> decode(std::string_view text);

} // namespace velmora::Base64
