#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Numbers in the engine's status texts, formatted in the C locale whatever the user's locale
// (the application runs with the user's LC_NUMERIC, so printf-style formatting would not do).
namespace velmora::StatusText {

// As "%.<decimals>f": "12.50" for 12.5 with two decimals.
std::string fixed(double value, int decimals);
// As "%+.<decimals>f": "+0.50", "-0.50".
std::string signedFixed(double value, int decimals);

// The first `shown` names joined by ", ", each as it is shown (shownText); so are the names in
// the texts below.
std::string joinedNames(const std::vector<std::string>& names, std::size_t shown);
// What the status line says of media files that cannot be read: "Cannot read b.mp4 (Permission
// denied)", naming the first five.
std::string unreadableMedia(const std::vector<std::string>& names, const std::string& reason);
// What the status line says of LUTs that clips name and that grade nothing: "LUT look.cube not
// found", or "LUTs not found: a.cube, b.cube" naming the first five.
std::string missingLuts(const std::vector<std::string>& names);
// "LUT swap_rb2.cube is not usable", or "LUTs not usable: " and the names as above: LUT files
// that are there but hold no usable .cube text.
std::string unusableLuts(const std::vector<std::string>& names);

} // namespace velmora::StatusText
