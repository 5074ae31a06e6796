#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Locale-independent number text. Every number the editor reads from or writes to a file or
// shows to the user goes through here or through std::from_chars / std::to_chars directly.
namespace velmora::NumberText {

// The shortest decimal text that reads back to exactly `value`. Plain notation for decimal
// exponents from -4 to 15 ("2.5", "7", "0.0001", "-120.25"), otherwise scientific notation with a
// signed exponent of at least two digits ("1e+16", "1.5e-05"). Integral values carry no fraction
// ("7", not "7.0"). Non-finite values give "nan", "inf" or "-inf".
std::string shortest(double value);

// Decimal text of an integer ("-42").
std::string integer(std::int64_t value);

// The whole text as a base-10 integer with an optional leading '+' or '-', no blanks, within the
// 64-bit range; otherwise nothing.
std::optional<std::int64_t> parseInteger(std::string_view text);

// The whole text as a finite floating-point number in the C locale ("0.5", "-2", "1e3", "+.5");
// an optional leading '+' is accepted. Blanks, "inf", "nan", hexadecimal and out-of-range values
// give nothing.
std::optional<double> parseDouble(std::string_view text);

} // namespace velmora::NumberText
