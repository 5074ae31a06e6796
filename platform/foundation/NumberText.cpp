#include "platform/foundation/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace velmora::NumberText {

namespace {

// The text after one leading '+' (from_chars takes none); nothing when that leaves no text or
// a minus follows the plus.
std::optional<std::string_view> withoutLeadingPlus(std::string_view text)
{
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return std::nullopt;
        }
    }
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

} // namespace

std::string shortest(double value)
{
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    std::string scientific(buffer, result.ptr);

    // scientific is "[-]d[.ddd]e±XX": split it into sign, significant digits and exponent.
    std::string sign;
    std::size_t pos = 0;
    if (scientific[0] == '-') {
        sign = "-";
        pos = 1;
    }
    const std::size_t ePos = scientific.find('e');
    std::string digits;
    for (std::size_t i = pos; i < ePos; ++i) {
        if (scientific[i] != '.') {
            digits.push_back(scientific[i]);
        }
    }
    const int exponent = std::atoi(scientific.c_str() + ePos + 1);
    if (exponent < -4 || exponent >= 16) {
        return scientific;
    }
    if (digits == "0") {
        return sign + "0";
    }
    std::string text = sign;
    if (exponent >= 0) {
        const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= integerDigits) {
            text += digits;
            text.append(integerDigits - digits.size(), '0');
        } else {
            text += digits.substr(0, integerDigits);
            text += '.';
            text += digits.substr(integerDigits);
        }
    } else {
        text += "0.";
        text.append(static_cast<std::size_t>(-exponent - 1), '0');
        text += digits;
    }
    return text;
}

std::string integer(std::int64_t value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::optional<std::int64_t> parseInteger(std::string_view text)
{
    const std::optional<std::string_view> digits = withoutLeadingPlus(text);
    if (!digits) {
        return std::nullopt;
    }
    text = *digits;
    std::int64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (result.ec != std::errc{} || result.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> parseDouble(std::string_view text)
{
    const std::optional<std::string_view> digits = withoutLeadingPlus(text);
    if (!digits) {
        return std::nullopt;
    }
    text = *digits;
    // from_chars also reads "inf", "nan" and needs no locale; only finite decimal text counts.
    for (const char c : text) {
        const bool allowed = (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+';
        if (!allowed) {
            return std::nullopt;
        }
    }
    double value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (result.ec != std::errc{} || result.ptr != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

} // namespace velmora::NumberText
