#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "model/EditSession.h"

namespace velmora {

// The media files under a folder, recursively, in a fixed depth-first order (entries of each
// folder by name, byte order; a subfolder's files where the subfolder comes). A file counts when
// its extension, lower-cased, is one of the 18 media extensions and it is a regular file or a
// link to one. Hidden entries (names starting with ".") are skipped with everything below
// them; links to folders are not followed; folders that cannot be read are skipped.
// When the recursive pass finds nothing, the folder's direct contents are listed instead, hidden
// files included. Throws a FileError (domain "file") when that direct listing fails.
std::vector<std::filesystem::path> listMediaFiles(const std::filesystem::path& folder);

// Finds the media file of each source of a session by name in a media folder on the local disk.
// Stateless: every call lists the folder again. Runs on any thread; reads the session only.
namespace MediaResolver {

// Errors of the resolver.
inline constexpr std::string_view errorDomain = "preview";
inline constexpr int noMediaFilesCode = 11;
inline constexpr int folderNotFoundCode = 12;

// Source id to media file.
using SourceFileMap = std::map<std::string, std::filesystem::path>;

// Decides which file belongs to each source: by name (exact, case, extension, containment,
// fuzzy), by the names of the active timeline's clips, then by handing the remaining video
// files out in file-name order. Throws "preview" 12 when the folder is missing, 11 when it holds
// no media file, or the listing's FileError.
SourceFileMap sourceFileMap(const EditSession& session, const std::filesystem::path& mediaFolder);

// File names of the sources without a file: sorted when the map could be built, else every
// source's name in session order.
std::vector<std::string> unresolvedSourceLabels(const EditSession& session, const std::filesystem::path& mediaFolder);

// Whether the active timeline's pictures can be shown: some visual clip has its media.
bool canBuildPreview(const EditSession& session, const std::filesystem::path& mediaFolder);

// Both answers above from one resolution of the sources, which lists the folder and matches
// every source's name (opening a project asks for both before its preview is built).
struct PreviewReadiness {
    std::vector<std::string> unresolvedSourceLabels;
    bool canBuildPreview = false;
};
PreviewReadiness previewReadiness(const EditSession& session, const std::filesystem::path& mediaFolder);
// The same answers from the session's map of files already made by sourceFileMap for the folder
// (none: it threw); looks at no file.
PreviewReadiness previewReadiness(const EditSession& session, const SourceFileMap* files);

// The regular file (or link to one) of one source, with fallbacks to a plain name lookup and to
// the folder joined with the file name (only for a relative file name that stays inside the
// folder).
std::optional<std::filesystem::path> urlForSource(const EditSession::Source& source, const EditSession& session,
                                                  const std::filesystem::path& mediaFolder);

// Duration in seconds of the file a clip name resolves to; none when nothing resolves, the file
// cannot be probed, or its duration is not finite and above 0.05 s.
std::optional<double> sourceDurationSeconds(const std::optional<std::string>& clipName,
                                            const std::filesystem::path& mediaFolder);

// Why a media file cannot be read, in the system's words ("Permission denied", "Input/output
// error" for one that opens but fails its first read) or as "Is a named pipe, not a file";
// none when it can (RegularFiles::unreadableReason). Any thread.
std::optional<std::string> unreadableReason(const std::filesystem::path& file);

// A test of whether a file can be read, answering as unreadableReason does. Its owners take one
// injected (tests may run as a user whom permissions do not bind); empty means unreadableReason.
using ReadabilityCheck = std::function<std::optional<std::string>(const std::filesystem::path& file)>;

// The steps behind the operations above; exposed for their tests.
namespace detail {

using UsedSet = std::set<std::filesystem::path>;

// Throws "preview" 12 unless the folder exists and is a directory.
void validateMediaFolder(const std::filesystem::path& folder);

std::optional<std::filesystem::path> resolveName(std::string_view name,
                                                 const std::vector<std::filesystem::path>& files,
                                                 const UsedSet& used, bool exactOnly);

std::optional<std::filesystem::path> fuzzyMatch(std::string_view wanted,
                                                const std::vector<std::filesystem::path>& files,
                                                const UsedSet& used);

void assignByOrderedVideoFiles(const std::vector<EditSession::Source>& unmapped, SourceFileMap& map,
                               const std::vector<std::filesystem::path>& files,
                               const EditSession::Timeline* timeline);

// listMediaFiles stopping once `limit` files are found (0: no limit).
std::vector<std::filesystem::path> listMediaFiles(const std::filesystem::path& folder, std::size_t limit);

// How many listings of a media folder (listMediaFiles, which sourceFileMap and the public listing
// go through; holdsMediaFile's walk is not counted) the process has made so far, on any thread.
std::uint64_t folderListingCount();

// Whether listMediaFiles finds any file (false where it throws), answered in the file system's
// order at the first media file met, without listing and sorting whole folders.
bool holdsMediaFile(const std::filesystem::path& folder);

} // namespace detail

} // namespace MediaResolver

// Folder paths typed by the user or saved in a project.
namespace MediaFolderPath {

// The folder path as one spelling: "." and ".." resolved lexically, no trailing separator.
std::filesystem::path standardized(const std::filesystem::path& folder);

// The trimmed path with "~" expanded, made absolute and standardized, when it names an existing
// directory; otherwise none. A relative path is taken as relative to `baseFolder` (the folder
// holding the file that stores it), and gives none without one.
std::optional<std::filesystem::path> resolvedURL(const std::optional<std::string>& path,
                                                 const std::optional<std::filesystem::path>& baseFolder = std::nullopt);

} // namespace MediaFolderPath

} // namespace velmora
