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

} // namespace MediaFolderPath

} // namespace velmora
