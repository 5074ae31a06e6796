#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace velmora {

// The media files under a folder, recursively, in a fixed depth-first order (entries of each
// folder by name, byte order; a subfolder's files where the subfolder comes). A file counts when
// its extension, lower-cased, is one of the 18 media extensions and it is a regular file or a
// link to one. Hidden entries (names starting with ".") are skipped with everything below
// them; links to folders are not followed; folders that cannot be read are skipped.
// When the recursive pass finds nothing, the folder's direct contents are listed instead, hidden
// files included. Throws a FileError (domain "file") when that direct listing fails.
std::vector<std::filesystem::path> listMediaFiles(const std::filesystem::path& folder);

namespace MediaResolver::detail {

// listMediaFiles stopping once `limit` files are found (0: no limit).
std::vector<std::filesystem::path> listMediaFiles(const std::filesystem::path& folder, std::size_t limit);

// How many listings of a media folder (listMediaFiles, which sourceFileMap and the public listing
// go through; holdsMediaFile's walk is not counted) the process has made so far, on any thread.
std::uint64_t folderListingCount();

// Whether listMediaFiles finds any file (false where it throws), answered in the file system's
// order at the first media file met, without listing and sorting whole folders.
bool holdsMediaFile(const std::filesystem::path& folder);

} // namespace MediaResolver::detail

} // namespace velmora
