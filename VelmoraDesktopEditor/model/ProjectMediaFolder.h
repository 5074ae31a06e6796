#pragma once

#include <filesystem>
#include <optional>
#include <string>

// Where a project's media files live: by default a folder named after the project beside the
// project file ("<name>_media"), or, for a project not yet saved, under the user's videos
// folder. Stateless; nothing here reports an error.
namespace velmora::ProjectMediaFolder {

// The name used in folder names: trimmed, "/" replaced by "-", "Untitled" when empty or absent.
std::string sanitizedName(const std::optional<std::string>& projectName);

// The default media folder, as an absolute path; nothing is created. Beside the project file
// when there is one; else <videos>/Velmora Desktop/, else <home>/Velmora Desktop/, else
// <temporary folder>/Velmora Desktop/.
std::filesystem::path url(const std::optional<std::filesystem::path>& sessionFile,
                          const std::optional<std::string>& projectName);

// Creates the folder and any missing parents; the folder is returned whether or not that worked
// (later file operations on it report the problem).
std::filesystem::path ensureExists(const std::filesystem::path& folder);

// True when the folder's media listing succeeds and finds at least one file.
bool hasMediaFiles(const std::filesystem::path& folder);

// The media folder for an opened project: the first of the saved media path (a relative one
// taken from the project file's folder, never from the working directory), the default folder
// beside the project file, the project file's folder and its "media" subfolder that holds media;
// else the default folder, created. Returned standardized.
std::filesystem::path resolveForSession(const std::optional<std::filesystem::path>& sessionFile,
                                        const std::optional<std::string>& savedMediaPath,
                                        const std::optional<std::string>& projectName);

} // namespace velmora::ProjectMediaFolder
