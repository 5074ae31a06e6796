#pragma once

#include <filesystem>
#include <optional>
#include <string>

// Reading the files a user hands to the export engine: job files and LUT override files.
namespace velmora::Exporter {

// The whole file. Throws a FileError (domain "file") naming the file when it cannot be opened
// or read (a folder included).
std::string readJobFileBytes(const std::filesystem::path& path);

// The file's text when it can be read and is well-formed UTF-8; none otherwise. Throws a
// FileError naming the file only when the path names something other than a regular file (a
// named pipe, a folder, a device), which is never a LUT.
std::optional<std::string> readUtf8TextFile(const std::filesystem::path& path);

} // namespace velmora::Exporter
