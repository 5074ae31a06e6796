#pragma once

#include <filesystem>
#include <string>

namespace velmora::test {

// A fresh, empty folder under the build tree's test-tmp folder, removed when the
// object goes out of scope. Each instance gets its own folder, so tests may run in parallel.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

struct CommandResult {
    int exitCode = -1;
    std::string output; // stdout and stderr together
};

// Runs a shell command and returns its exit code and combined output.
CommandResult runCommand(const std::string& command);

// Quotes a string for use as one word of a POSIX shell command.
std::string shellQuote(const std::string& text);

// Writes text to a file, replacing it.
void writeTextFile(const std::filesystem::path& path, const std::string& text);
std::string readTextFile(const std::filesystem::path& path);

} // namespace velmora::test
