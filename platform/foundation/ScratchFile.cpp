#include "platform/foundation/ScratchFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <random>
#include <set>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/foundation/Digest.h"
#include "platform/foundation/FileError.h"
#include "platform/foundation/Utf8.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

void closeIfOpen(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// Locks a file just created for a writer. Answers the locked descriptor; -1 with `error` 0 when
// another writer's clean-up removed the file before the lock was taken (the caller tries another
// name); -1 with `error` set to the failing call's errno otherwise.
int claimCreated(const fs::path& created, const ScratchLock& lock, int& error)
{
    error = 0;
    const int fd = ::open(created.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno == ENOENT ? 0 : errno;
        return -1;
    }
    int locked = lock(fd, LOCK_EX);
    while (locked != 0 && errno == EINTR) {
        locked = lock(fd, LOCK_EX);
    }
    struct stat info {};
    if (locked != 0 || ::fstat(fd, &info) != 0) {
        error = errno;
        ::close(fd);
        return -1;
    }
    if (info.st_nlink == 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Every claim alive in the process, for removeEveryClaimedScratchFile. Never destroyed: claims
// may still go while the process's statics do.
struct LiveClaims {
    std::mutex mutex;
    std::set<const ClaimedScratchFile*> claims; // guarded by mutex
};

LiveClaims& liveClaims()
{
    static auto* const live = new LiveClaims;
    return *live;
}

} // namespace

std::string ScratchNaming::randomName() const
{
    std::random_device device;
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string name = prefix;
    for (std::size_t i = 0; i < tagLength; ++i) {
        name += alphabet[pick(device)];
    }
    return name + ending;
}

std::string ScratchNaming::fittedName(std::string_view name, std::size_t added)
{
    constexpr std::size_t longestName = 255;
    constexpr std::size_t digestDigits = 16;
    if (name.size() + added <= longestName) {
        return std::string(name);
    }
    std::size_t kept = longestName - std::min(longestName, added + 1 + digestDigits);
    char digits[digestDigits + 1] = {};
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(Digest::of(name)[0]));
    // A UTF-8 name is cut where a character starts, so that the scratch name is UTF-8 as well and
    // reads in messages as it is written (PartialMovie::namingOutput finds it there). Any other is
    // cut between bytes: a name is bytes to the file system.
    if (Utf8::isValid(name)) {
        while (kept > 0 && (static_cast<unsigned char>(name[kept]) & 0xC0) == 0x80) {
            --kept;
        }
    }
    return std::string(name.substr(0, kept)) + "~" + digits;
}

bool ScratchNaming::matches(std::string_view name) const
{
    if (name.size() != prefix.size() + tagLength + ending.size() || !name.starts_with(prefix) ||
        !name.ends_with(ending)) {
        return false;
    }
    const std::string_view tag = name.substr(prefix.size(), tagLength);
    return tag.find_first_not_of(alphabet) == std::string_view::npos;
}

ClaimedScratchFile::ClaimedScratchFile(const fs::path& folder, const ScratchNaming& naming, std::string_view action,
                                       const fs::path& reportedPath, const ScratchLock& lock)
{
    for (int attempt = 0; attempt < 100 && lockFd_ < 0; ++attempt) {
        path_ = folder / naming.randomName();
        writeFd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (writeFd_ < 0) {
            if (errno != EEXIST) {
                throw FileError::fromErrno(errno, action, reportedPath);
            }
            continue;
        }
        int error = 0;
        lockFd_ = claimCreated(path_, lock, error);
        if (lockFd_ < 0) {
            closeIfOpen(writeFd_);
            if (error != 0) {
                // The file is ours and unlocked: nothing may be left behind for it.
                (void)::unlink(path_.c_str());
                throw FileError::fromErrno(error, action, reportedPath);
            }
            // Otherwise another writer's clean-up removed it before the lock was ours.
        }
    }
    if (lockFd_ < 0) {
        throw FileError::fromErrno(EEXIST, action, reportedPath);
    }
    try {
        LiveClaims& live = liveClaims();
        std::lock_guard registering(live.mutex);
        live.claims.insert(this);
    } catch (...) {
        // No destructor runs for a constructor that throws: nothing may be left behind.
        closeIfOpen(writeFd_);
        (void)::unlink(path_.c_str());
        closeIfOpen(lockFd_);
        throw;
    }
}

ClaimedScratchFile::~ClaimedScratchFile()
{
    {
        LiveClaims& live = liveClaims();
        std::lock_guard lock(live.mutex);
        live.claims.erase(this);
    }
    closeIfOpen(writeFd_);
    closeIfOpen(lockFd_);
}

int ClaimedScratchFile::closeWriteDescriptor()
{
    if (writeFd_ < 0) {
        return 0;
    }
    const int result = ::close(writeFd_);
    writeFd_ = -1;
    return result;
}

void ClaimedScratchFile::writeAllAndClose(std::string_view bytes, std::string_view action)
{
    for (std::size_t written = 0; written < bytes.size();) {
        const ssize_t n = ::write(writeFd_, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno != EINTR) {
            throw FileError::fromErrno(errno, action, path_);
        }
        if (n == 0) {
            // Nothing written and no error: asking again would loop for ever.
            throw FileError::fromErrno(EIO, action, path_);
        }
        written += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    if (closeWriteDescriptor() != 0) {
        throw FileError::fromErrno(errno, action, path_);
    }
}

void removeStaleScratchFiles(const fs::path& folder, const ScratchNaming& naming)
{
    removeStaleScratchFiles(folder, [&naming](std::string_view name) { return naming.matches(name); });
}

void removeStaleScratchFiles(const fs::path& folder, const std::function<bool(std::string_view name)>& matches)
{
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& leftover = it->path();
        if (!matches(leftover.filename().string())) {
            continue;
        }
        int fd = ::open(leftover.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        int locked = ::flock(fd, LOCK_EX | LOCK_NB);
        while (locked != 0 && errno == EINTR) {
            locked = ::flock(fd, LOCK_EX | LOCK_NB);
        }
        struct stat info {};
        if (locked == 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
            (void)::unlink(leftover.c_str());
        }
        closeIfOpen(fd);
    }
}

void removeEveryClaimedScratchFile()
{
    LiveClaims& live = liveClaims();
    std::lock_guard lock(live.mutex);
    for (const ClaimedScratchFile* claim : live.claims) {
        // A claim whose file already took its place (renamed) has nothing left to remove.
        (void)::unlink(claim->path().c_str());
    }
}

} // namespace velmora
