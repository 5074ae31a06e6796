#pragma once

#include <locale.h>

#include <string>

namespace velmora {

// The C locale, for the C library's *_l functions (strtod_l); made once, never freed.
locale_t cLocale();

// printf-style formatting under the C locale (point as the decimal separator), whatever locale
// the application runs under: QApplication adopts the user's locale for the C library. Any
// length.
[[gnu::format(printf, 1, 2)]] std::string cLocaleFormat(const char* format, ...);

} // namespace velmora
