#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace velmora {

// Folder paths typed by the user or saved in a project.
namespace MediaFolderPath {

// The folder path as one spelling: "." and ".." resolved lexically, no trailing separator.
std::filesystem::path standardized(const std::filesystem::path& folder);

// The trimmed path with "~" expanded, made absolute and standardized, when it names an existing
// directory; otherwise none. A relative path is taken as relative to `baseFolder` (the folder
// holding the file that stores it), and gives none without one.
std::optional<std::filesystem::path> resolvedURL(const std::optional<std::string>& path,
                                                 const std::optional<std::filesystem::path>& baseFolder = std::nullopt);

// The text a document saved as `documentFile` records for the media folder `folder`, such that
// resolvedURL with the document's folder as base reads it back as that folder: its absolute path,
// as documents have always recorded it, when that is UTF-8 text; else, for a folder that is the
// document's own folder or lies below it, its path relative to the document's folder ("Trip_media",
// "."), when that is UTF-8. A name that begins or ends with white space, which a read trims, is
// kept whole by "./" before it or "/." after it ("/shoot/ media /."). None otherwise: JSON holds UTF-8 text only, and no spelling of the
// folder would read back. Looks at no disk.
std::optional<std::string> storedText(const std::filesystem::path& folder,
                                      const std::optional<std::filesystem::path>& documentFile);

} // namespace MediaFolderPath

} // namespace velmora
