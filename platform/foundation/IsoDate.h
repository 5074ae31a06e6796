#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::IsoDate {

// ISO 8601 text of a moment in UTC with whole seconds and the suffix "Z",
// e.g. "2026-03-04T05:06:07Z". Fractions of a second are dropped (rounded toward the past).
std::string format(std::chrono::system_clock::time_point time);

// format() of the current time.
std::string now();

// Reads "YYYY-MM-DDTHH:MM:SS" with an optional fraction of a second and a zone of "Z" or
// "+HH:MM" / "-HH:MM" (also "+HHMM"). Anything else, or a field out of range, gives nothing.
std::optional<std::chrono::system_clock::time_point> parse(std::string_view text);

} // namespace velmora::IsoDate
