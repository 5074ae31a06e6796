#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

// Interprets LUT references: "None", the "(Embedded LUT)" picker label, inline .cube text, or a
// .cube file name or relative path looked up in the media folder (and its "luts"/"LUTs"
// subfolders and those of up to four folders above it), the project folder and the
// application's resources. Stateless: every call looks at the disk again; nothing throws.
// Runs on any thread.
namespace velmora::ProjectLUTResolver {

inline constexpr std::string_view noLutSentinel = "None";
inline constexpr std::string_view embeddedLutLabel = "(Embedded LUT)";

// Conversion LUTs suggested for a source, in this order, after a camera's own log LUTs.
inline constexpr std::array<std::string_view, 6> defaultConversionLUTs = {
    "DJI OSMO Pocket 4 D-Log to Rec.709 V1.0.cube",
    "D-Log to Rec.709.cube",
    "dlog_to_rec709.cube",
    "D-Log to Quadrel.cube",
    "dlog-m+to+rec709.cube",
    "DJI D-Cinelike to Rec 709 V2.cube",
};

// Candidate files larger than this are never read: a LUT of that size is not a LUT.
inline constexpr std::uintmax_t maximumCubeFileBytes = 64ull * 1024 * 1024;

// True when the trimmed reference is exactly "None" (letter case counts).
bool isExplicitNoLut(const std::optional<std::string>& reference);

// "None" followed by the .cube files found (each name once, where it first appears, in folder
// order): the application's resources and their "luts", the media folder, its "luts" and "LUTs",
// the project folder and its "luts". Hidden files and names that are not UTF-8 text (which no
// project can store) are skipped. A folder can hold tens of
// thousands of files: a stop requested through `stop` ends the listing at the next file, with
// the names found so far, which the caller is to drop.
std::vector<std::string> availableLUTNames(const std::optional<std::filesystem::path>& mediaFolder,
                                           const std::optional<std::filesystem::path>& sessionFile,
                                           std::stop_token stop = {});

// availableLUTNames with the clip's own reference appended when it matches no listed file.
std::vector<std::string> pickerOptions(const std::optional<std::filesystem::path>& mediaFolder,
                                       const std::optional<std::filesystem::path>& sessionFile,
                                       const std::optional<std::string>& clipLutRaw);
// The same over names listed before (availableLUTNames' list): looks at no folder.
std::vector<std::string> pickerOptions(std::vector<std::string> availableNames,
                                       const std::optional<std::string>& clipLutRaw);

// The picker entry that shows a stored reference, or the trimmed reference itself.
std::string matchLUTInPickerList(const std::optional<std::string>& reference, const std::vector<std::string>& list);

// A LUT file name for a source, by its file name ("_D" log recordings, DJI cameras), or "None".
std::string suggestedLutForSource(const std::string& fileName, const std::optional<std::filesystem::path>& mediaFolder,
                                  const std::optional<std::filesystem::path>& sessionFile);

// The application's resources folder: $VELMORA_RESOURCES_DIR when set (set but empty: none),
// else "resources" beside the executable, else "../share/velmora/resources" from it; none when
// none of them is a folder.
std::optional<std::filesystem::path> applicationResourcesFolder();

namespace detail {

// The files a file reference is looked for in (LutResolving::lookUpFile), in order (duplicates
// removed). A reference that is absolute or climbs with ".." is only looked for by its file name.
std::vector<std::filesystem::path> candidateFiles(const std::string& trimmedReference,
                                                  const std::optional<std::filesystem::path>& mediaFolder,
                                                  const std::optional<std::filesystem::path>& sessionFile);

} // namespace detail

} // namespace velmora::ProjectLUTResolver
