#pragma once

#include <filesystem>
#include <string>

namespace velmora {

// The whole file as bytes. Throws a FileError (domain "file", the errno value as code) with
// the system's reason when the file cannot be opened or read, or when the path is a folder or
// anything else but a regular file (a named pipe is refused without waiting for a writer).
std::string readFileContents(const std::filesystem::path& path);

} // namespace velmora
