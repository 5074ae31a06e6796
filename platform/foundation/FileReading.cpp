#include "platform/foundation/FileReading.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/foundation/FileError.h"
#include "platform/foundation/RegularFiles.h"

namespace velmora {

std::string readFileContents(const std::filesystem::path& path)
{
    // Not blocking: a named pipe opens at once instead of waiting for a writer, and is refused
    // below with everything else that is not a regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        throw FileError::fromErrno(errno, "Could not open", path);
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        throw FileError::fromErrno(errno, "Could not read", path);
    }
    if (S_ISDIR(info.st_mode)) {
        throw FileError::fromErrno(EISDIR, "Could not read", path);
    }
    if (const std::optional<std::string_view> kind = RegularFiles::otherKind(info.st_mode)) {
        throw FileError::notAFile(*kind, "Could not read", path);
    }
    std::string bytes;
    // Read into place: growing the text as it comes copies a document of megabytes several times.
    if (info.st_size > 0) {
        bytes.reserve(static_cast<std::size_t>(info.st_size));
    }
    char buffer[1 << 16];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw FileError::fromErrno(errno, "Could not read", path);
        }
        if (count == 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
    return bytes;
}

} // namespace velmora
