#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora::Utf8 {

// True when the bytes are well-formed UTF-8: shortest forms only, no surrogates, nothing above
// U+10FFFF. The empty text is valid.
bool isValid(std::string_view bytes);

// The length of the well-formed sequence that starts at bytes[i] (1 for ASCII, up to 4), or 0
// when none starts there. `i` must be below bytes.size().
std::size_t sequenceLength(std::string_view bytes, std::size_t i);

// The text with every byte that is not part of a well-formed sequence written as \x and two
// upper-case hexadecimal digits ("caf\xE9"); well-formed sequences, and backslashes, are kept as
// they are. For messages that quote bytes of unknown encoding: their text is always valid UTF-8.
std::string escapingInvalid(std::string_view bytes);

} // namespace velmora::Utf8
