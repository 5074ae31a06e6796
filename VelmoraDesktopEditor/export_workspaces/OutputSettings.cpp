#include "export_workspaces/OutputSettings.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "export_workspaces/CLocaleFormat.h"
#include "platform/foundation/StringText.h"

namespace velmora::OutputSettings {

const CompensationSlider& slider(Compensation which)
{
    return compensationSliders[static_cast<std::size_t>(which)];
}

double clampedValue(Compensation which, double value)
{
    const CompensationSlider& range = slider(which);
    if (std::isnan(value))
        return range.neutral;
    return std::clamp(value, range.minimum, range.maximum);
}

std::string valueText(Compensation which, double value)
{
    // Adding +0.0 turns -0.0 into +0.0, so a neutral tint never reads "-0.000".
    return cLocaleFormat(slider(which).format, value + 0.0);
}

std::optional<std::int64_t> bitrateOverrideBps(std::string_view text)
{
    std::string number = StringText::trimmed(text);
    if (number.empty() || number.find('\0') != std::string::npos)
        return std::nullopt;
    std::replace(number.begin(), number.end(), ',', '.');

    char* end = nullptr;
    const double megabits = strtod_l(number.c_str(), &end, cLocale());
    if (end != number.c_str() + number.size())
        return std::nullopt;
    if (!std::isfinite(megabits) || !(megabits > 0))
        return std::nullopt;
    const double bits = megabits * 1'000'000.0;
    // 2^63 is the first value a signed 64-bit integer cannot hold.
    if (!(bits < 9223372036854775808.0))
        return std::nullopt;
    return static_cast<std::int64_t>(bits);
}

} // namespace velmora::OutputSettings
