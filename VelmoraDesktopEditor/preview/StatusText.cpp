#include "preview/StatusText.h"

#include <charconv>
#include <cmath>

#include "model/UnreadableMedia.h"
#include "platform/foundation/ShownText.h"

namespace velmora::StatusText {

std::string fixed(double value, int decimals)
{
    // Enough for any double in fixed notation with a handful of decimals.
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc{}) {
        return std::isnan(value) ? "nan" : (value < 0 ? "-inf" : "inf");
    }
    return std::string(buffer, result.ptr);
}

std::string signedFixed(double value, int decimals)
{
    std::string text = fixed(value, decimals);
    if (text.empty() || text.front() != '-') {
        text.insert(text.begin(), '+');
    }
    return text;
}

std::string joinedNames(const std::vector<std::string>& names, std::size_t shown)
{
    std::string joined;
    for (std::size_t i = 0; i < names.size() && i < shown; ++i) {
        joined += (i > 0 ? ", " : "") + shownText(names[i]);
    }
    return joined;
}

std::string unreadableMedia(const std::vector<std::string>& names, const std::string& reason)
{
    return UnreadableMedia::text(names, reason);
}

std::string missingLuts(const std::vector<std::string>& names)
{
    return names.size() == 1 ? "LUT " + shownText(names.front()) + " not found"
                             : "LUTs not found: " + joinedNames(names, 5);
}

std::string unusableLuts(const std::vector<std::string>& names)
{
    return names.size() == 1 ? "LUT " + shownText(names.front()) + " is not usable"
                             : "LUTs not usable: " + joinedNames(names, 5);
}

} // namespace velmora::StatusText
