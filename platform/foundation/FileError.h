#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/foundation/Error.h"

namespace velmora::FileError {

// Errors that come from the file system: domain "file", the errno value as code, and a message
// naming the file by its last path component with the system's own reason, e.g.
// "Could not save “cut.tavlek”: Permission denied."
inline constexpr std::string_view domain = "file";

// A file as messages name it: its last path component (the folder's, for a path ending in a
// separator), with bytes that are not UTF-8 written as \xE9 (Utf8::escapingInvalid).
std::string shownName(const std::filesystem::path& path);

Error make(const std::error_code& error, std::string_view action, const std::filesystem::path& path);
Error fromErrno(int errorNumber, std::string_view action, const std::filesystem::path& path);
// The same for a path that names something other than a regular file, of the kind
// RegularFiles::otherKind gives (code EINVAL): "Could not read “job.json”: Is a named pipe, not a
// file."
Error notAFile(std::string_view kind, std::string_view action, const std::filesystem::path& path);

} // namespace velmora::FileError
