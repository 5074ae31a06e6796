#pragma once

#include <string>

namespace velmora {

// printf-style formatting under the C locale (point as the decimal separator), whatever locale
// the application runs under: QApplication adopts the user's locale for the C library. Any
// length.
[[gnu::format(printf, 1, 2)]] std::string cLocaleFormat(const char* format, ...);

} // namespace velmora
