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

// Conversion LUTs tried, in this order, when a project asks for the default one.
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

// Whether text can serve as .cube text: it names a LUT size, and a 3D size, when it reads as a
// number, is above 2. A lenient first look, for where LUT files are listed and found and where a
// document keeps a text it may grade by: whether a text grades is the cube reader's answer
// (LutResolving::unusableReason). Copies nothing.
bool isUsableCubeText(std::string_view text);

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

// The .cube text behind a reference: inline text as is (trimmed), else the whole text of the
// first candidate file that holds usable cube text; the empty text when nothing is usable.
// A reference that is absolute or climbs with ".." is only looked up by its file name.
std::string resolveCubeText(const std::optional<std::string>& reference,
                            const std::optional<std::filesystem::path>& mediaFolder,
                            const std::optional<std::filesystem::path>& sessionFile);

// A LUT file name for a source, by its file name ("_D" log recordings, DJI cameras), or "None".
std::string suggestedLutForSource(const std::string& fileName, const std::optional<std::filesystem::path>& mediaFolder,
                                  const std::optional<std::filesystem::path>& sessionFile);

// The project LUT's text: nothing for "None", else the reference's text, falling back to the
// first available conversion LUT when the reference resolves to nothing usable.
std::string resolveProjectOrDefault(const std::optional<std::string>& reference,
                                    const std::optional<std::filesystem::path>& mediaFolder,
                                    const std::optional<std::filesystem::path>& sessionFile);

// The LUT an export applies: the reference's text when usable, else (also for "None") the
// first available conversion LUT, else the empty text.
std::string resolveForExport(const std::optional<std::string>& reference,
                             const std::optional<std::filesystem::path>& mediaFolder,
                             const std::optional<std::filesystem::path>& sessionFile);

// The application's resources folder: $VELMORA_RESOURCES_DIR when set (set but empty: none),
// else "resources" beside the executable, else "../share/velmora/resources" from it; none when
// none of them is a folder.
std::optional<std::filesystem::path> applicationResourcesFolder();

namespace detail {

// The first default conversion LUT that resolves, else the first listed LUT that does.
std::optional<std::string> firstAvailableConversionLUT(const std::optional<std::filesystem::path>& mediaFolder,
                                                       const std::optional<std::filesystem::path>& sessionFile);

// The files resolveCubeText visits for a file reference, in order (duplicates removed).
std::vector<std::filesystem::path> candidateFiles(const std::string& trimmedReference,
                                                  const std::optional<std::filesystem::path>& mediaFolder,
                                                  const std::optional<std::filesystem::path>& sessionFile);

} // namespace detail

} // namespace velmora::ProjectLUTResolver
