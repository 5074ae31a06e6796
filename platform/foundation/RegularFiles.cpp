#include "platform/foundation/RegularFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace velmora::RegularFiles {

bool isRegularFile(const std::filesystem::path& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::optional<std::string_view> otherKind(unsigned mode)
{
    if (S_ISREG(mode)) {
        return std::nullopt;
    }
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISFIFO(mode)) {
        return "a named pipe";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    return "a special file";
}

std::optional<std::string_view> otherKindAt(const std::filesystem::path& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? otherKind(status.st_mode) : std::nullopt;
}

std::string notAFileReason(std::string_view kind)
{
    return "Is " + std::string(kind) + ", not a file";
}

std::optional<std::string> unreadableReason(const std::filesystem::path& path)
{
    const auto systemReason = [](int error) { return std::error_code(error, std::generic_category()).message(); };
    // Not blocking: a pipe opens at once instead of waiting for a writer, and is refused below.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        return systemReason(errno);
    }
    struct Closer {
        int descriptor;
        ~Closer() { ::close(descriptor); }
    } closer{descriptor};
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        return systemReason(errno);
    }
    if (const std::optional<std::string_view> kind = otherKind(status.st_mode)) {
        return notAFileReason(*kind);
    }
    // Some files open and then fail every read (a link to a process's memory, a file on a
    // failing disk): the first byte tells them from a file that reads.
    char byte = 0;
    ssize_t count = 0;
    do {
        count = ::pread(descriptor, &byte, 1, 0);
    } while (count < 0 && errno == EINTR);
    if (count < 0) {
        return systemReason(errno);
    }
    return std::nullopt;
}

} // namespace velmora::RegularFiles
