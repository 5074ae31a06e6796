#pragma once

#include <string_view>

namespace velmora::Utf8 {

// True when the bytes are well-formed UTF-8: shortest forms only, no surrogates, nothing above
// U+10FFFF. The empty text is valid.
bool isValid(std::string_view bytes);

} // namespace velmora::Utf8
