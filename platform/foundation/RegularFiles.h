#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Media, LUT, job and project files are read only when they are regular files or links to one.
// Anything else is refused by name before it is opened the ordinary way: opening a named pipe
// for reading waits for a writer that may never come, and a device or a socket may never end.
namespace velmora::RegularFiles {

// Whether `path` names a regular file once symbolic links are followed. Any thread.
bool isRegularFile(const std::filesystem::path& path);

// What a file of `mode` (a stat st_mode) is when it is not a regular file, for a message:
// "a folder", "a named pipe", "a socket", "a device" or "a special file"; none for a regular
// file.
std::optional<std::string_view> otherKind(unsigned mode);

// otherKind of what `path` names, links followed; none for a regular file or a path that cannot
// be looked at (missing, say). Any thread.
std::optional<std::string_view> otherKindAt(const std::filesystem::path& path);

// The reason given for a file that is not a regular file, in the system's manner: "Is a named
// pipe, not a file".
std::string notAFileReason(std::string_view kind);

// Why `path` cannot be read, in the system's words ("Permission denied", "Input/output error",
// "No such file or directory") or notAFileReason's; none when it is a regular file that gives
// its first byte (or is empty). Opens without waiting on a pipe and reads at most one byte.
// Any thread.
std::optional<std::string> unreadableReason(const std::filesystem::path& path);

} // namespace velmora::RegularFiles
