#pragma once

#include <array>
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
#include "model/MediaFolderListing.h"
#include "model/MediaFolderPath.h"

namespace velmora {

class Asset;

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
// files out in file-name order. A source is given only a file of its kind: its name's (movie,
// sound or still), else its declared type's, else any; a clip's name never sets it. A source
// whose own file is there reads it, even when another source names the same file (same-named
// files in two folders go one to each, in listing order). The one place where the editor
// decides which file a source reads: the monitor, the export sheet and the 10-bit workspace
// hand its answer on (ResolvedMedia). Throws "preview" 12 when the folder is missing, 11 when it
// holds no media file, or the listing's FileError.
SourceFileMap sourceFileMap(const EditSession& session, const std::filesystem::path& mediaFolder);

// What sourceFileMap's answer depends on besides the folder's contents: whether the session is
// a browser export, each source's id, file name and type, and the active timeline's clips'
// source ids and names. Sessions with equal inputs get equal maps from one folder, so a map made
// for one holds for the other (a trim or a move changes none of them). Kept as counts and a
// 128-bit digest of those fields rather than a copy of them: it is taken for tens of thousands of
// clips while a project opens, and compared whenever a route asks for the map.
struct ResolutionInputs {
    bool browserExport = false;
    std::size_t sources = 0;
    std::size_t clips = 0;
    std::array<std::uint64_t, 2> digest{};

    bool operator==(const ResolutionInputs&) const = default;
};
ResolutionInputs resolutionInputs(const EditSession& session);

// A source shown by a file of another name: a file the lookup put in its place because its own
// is missing (a relink of camera originals, or a plainly wrong picture: either way the user is
// told). Letter case alone does not make another name.
struct StandIn {
    std::string sourceName;
    std::filesystem::path file;
};

// The sources of `files` (sourceFileMap's answer for the session) shown by a stand-in, in
// session order.
std::vector<StandIn> standIns(const EditSession& session, const SourceFileMap& files);

// What the status line says of stand-ins: "g25.mp4 not found — g23976.mp4 shown in its place",
// for the first three, each name as it is shown (shownText), then how many more.
std::string standInText(const std::vector<StandIn>& standIns);

// File names of the sources without their own file (none, or a stand-in): sorted when the map could be built, else every
// source's name in session order.
std::vector<std::string> unresolvedSourceLabels(const EditSession& session, const std::filesystem::path& mediaFolder);

// Whether the active timeline's pictures can be shown: some visual clip has its media.
bool canBuildPreview(const EditSession& session, const std::filesystem::path& mediaFolder);

// Both answers above from one resolution of the sources, which lists the folder and matches
// every source's name (opening a project asks for both before its preview is built).
struct PreviewReadiness {
    std::vector<std::string> unresolvedSourceLabels;
    bool canBuildPreview = false;
    // The sources shown by another file, and the map they come from (empty when it could not
    // be built).
    std::vector<StandIn> standIns;
    SourceFileMap files;
};
PreviewReadiness previewReadiness(const EditSession& session, const std::filesystem::path& mediaFolder);
// The same answers from the session's map of files already made by sourceFileMap for the folder
// (none: it threw); looks at no file.
PreviewReadiness previewReadiness(const EditSession& session, const SourceFileMap* files);

// The regular file (or link to one) of one source: its file in the source map, else a file of its
// own name (exactly or but for letter case), else the folder joined with the file name (only for
// a relative file name that stays inside the folder).
std::optional<std::filesystem::path> urlForSource(const EditSession::Source& source, const EditSession& session,
                                                  const std::filesystem::path& mediaFolder);

// Duration in seconds of the file a clip name resolves to; none when nothing resolves, the file
// cannot be probed, or its duration is not finite and above 0.05 s.
std::optional<double> sourceDurationSeconds(const std::optional<std::string>& clipName,
                                            const std::filesystem::path& mediaFolder);
// Duration in seconds of one file; none when it cannot be probed or its duration is not finite
// and above 0.05 s.
std::optional<double> fileDurationSeconds(const std::filesystem::path& file);
// The same of a file whose header was read already.
std::optional<double> fileDurationSeconds(const Asset& header);

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

} // namespace detail

} // namespace MediaResolver

} // namespace velmora
