#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include <sys/file.h>

namespace velmora {

// The names a writer gives the file it fills before the file takes its place: a fixed prefix and
// ending around a random tag of a fixed length drawn from one alphabet, e.g.
// ".cut.tavlek.saving-" + 12 lower-case hex digits, or ".cut.partial-" + 8 upper-case hex digits
// + ".mp4". One naming belongs to one target, so matching it never touches another target's files.
struct ScratchNaming {
    std::string prefix;
    std::string ending;
    std::size_t tagLength = 0;
    // Distinct characters; the view must outlive the naming (a literal).
    std::string_view alphabet;

    std::string randomName() const;
    // The whole name follows the pattern: prefix, exactly tagLength alphabet characters, ending.
    bool matches(std::string_view name) const;

    // The target's name as it stands in a scratch name that adds `added` bytes around it, so
    // that the whole stays within the longest name a folder holds (255 bytes): the name itself
    // where it fits, else its first bytes (whole characters of a UTF-8 name, so that the scratch
    // name is UTF-8 too), "~" and 16 hex digits of its digest, which keep the scratch names of two
    // long targets apart. Any name the file system holds can be written.
    static std::string fittedName(std::string_view name, std::size_t added);
};

// Takes an advisory lock as flock(fd, operation) does: 0, or -1 with errno set. A lock
// interrupted by a signal (EINTR) is asked again.
using ScratchLock = std::function<int(int fd, int operation)>;

// A scratch file created for one writer and marked as in use by an exclusive advisory lock
// (flock) from its creation until this object goes. The kernel drops the lock of a process that
// dies, so a scratch file whose lock can be taken belongs to no running writer
// (removeStaleScratchFiles). Holds two descriptors: the one the file was created with, open for
// writing, and the one holding the lock, so that closing the first (and checking that close) does
// not drop the lock. Destroying it closes both and leaves the file where it is.
class ClaimedScratchFile {
public:
    // Creates a new file in `folder` under a fresh name of `naming` (mode 0666 less the umask) and
    // locks it with `lock`. Throws a FileError (domain "file") built from `action`,
    // `reportedPath` and the failing call's error; a file it created but could not lock is
    // removed first.
    ClaimedScratchFile(const std::filesystem::path& folder, const ScratchNaming& naming, std::string_view action,
                       const std::filesystem::path& reportedPath, const ScratchLock& lock = ::flock);
    ~ClaimedScratchFile();
    ClaimedScratchFile(const ClaimedScratchFile&) = delete;
    ClaimedScratchFile& operator=(const ClaimedScratchFile&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Open for writing until closeWriteDescriptor(); -1 after.
    int writeDescriptor() const { return writeFd_; }
    // Closes the writing descriptor and answers close()'s own result (0, or -1 with errno set: a
    // deferred write error shows up here). The lock stays.
    int closeWriteDescriptor();
    // Writes all of `bytes` through the writing descriptor, then closes it (the lock stays).
    // Throws a FileError built from `action`, this file's path and the failing call's error.
    void writeAllAndClose(std::string_view bytes, std::string_view action);

private:
    std::filesystem::path path_;
    int writeFd_ = -1;
    int lockFd_ = -1;
};

// Removes from `folder` the regular files named by `naming` whose lock can be taken, that is those
// that earlier writers (killed, or gone without cleaning up) left behind. A file is unlinked while
// this call holds its lock; a writer that created it a moment ago sees, once it gets the lock,
// that its file has no link any more and starts over under a new name. Never fails: a file that
// cannot be opened or locked stays.
void removeStaleScratchFiles(const std::filesystem::path& folder, const ScratchNaming& naming);

// The same for the regular files whose names `matches` accepts: for writers that share a folder
// but not a naming (the partial movies of every output in it).
void removeStaleScratchFiles(const std::filesystem::path& folder,
                             const std::function<bool(std::string_view name)>& matches);

// Removes the file of every ClaimedScratchFile alive in this process, whoever holds it: for a
// process that is about to end without unwinding the writers that hold them, whose files would
// otherwise stay until a later writer's removeStaleScratchFiles. Never fails. Any thread.
void removeEveryClaimedScratchFile();

} // namespace velmora
