#pragma once

#include <filesystem>
#include <string>
#include <vector>
#include <string_view>

// Text rules shared by the media and LUT lookups: how names typed into projects are compared
// with names found on disk. Text is UTF-8; comparisons are canonical-equivalence aware (a name
// stored composed matches a file name stored decomposed), as users expect of file names.
namespace velmora::NameMatching {

// Only 7-bit ASCII bytes: such a name is equal to another ASCII name exactly when their bytes are.
bool isAscii(std::string_view text);

// Equal as written, up to Unicode canonical equivalence.
bool equalsExactly(std::string_view a, std::string_view b);

// Equal ignoring letter case (Unicode case folding), up to canonical equivalence.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// True when `needle` occurs in `haystack` ignoring letter case; an empty needle never occurs.
bool containsIgnoringCase(std::string_view haystack, std::string_view needle);

// Plain ASCII case-insensitive equality, for the LUT picker's non-localised comparisons.
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

// Number of characters (Unicode code points after composition).
std::size_t characterCount(std::string_view text);

// The fuzzy-matching key of a name: lower-cased, every " (audio)" removed, and only Unicode
// letters and numbers kept ("DJI_0042.MP4" gives "dji0042mp4"). Returned as UTF-32 so that
// callers can count and compare characters from the end.
std::u32string nameKey(std::string_view name);

// Sorts files by their last path component, ascending, ignoring letter case under the
// collation of the user's language (English when the process runs in the C locale); the sort
// is stable, so equal names keep their order.
void stableSortByFileName(std::vector<std::filesystem::path>& files);

} // namespace velmora::NameMatching
