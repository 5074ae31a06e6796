#include "platform/foundation/JsonWriting.h"

#include <cerrno>
#include <cmath>
#include <random>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/foundation/Error.h"
#include "platform/foundation/FileError.h"
#include "platform/foundation/Utf8.h"

namespace velmora::JsonWriting {

namespace fs = std::filesystem;

namespace {

std::string childPath(const std::string& parent, const std::string& key)
{
    return parent.empty() ? key : parent + "." + key;
}

void checkText(const std::string& text, const std::string& path, bool isKey)
{
    if (!Utf8::isValid(text)) {
        const std::string where = path.empty() ? "the top level" : "“" + path + "”";
        throw Error(std::string(errorDomain), invalidTextCode,
                    std::string("Cannot write JSON: the ") + (isKey ? "key" : "text") + " at " + where
                        + " is not valid UTF-8.");
    }
}

// Walks the whole value before anything is written, so that a refused value never leaves
// half a document behind.
void checkWritable(const nlohmann::json& value, const std::string& path)
{
    switch (value.type()) {
    case nlohmann::json::value_t::object:
        for (const auto& [key, child] : value.items()) {
            const std::string keyPath = childPath(path, key);
            checkText(key, keyPath, true);
            checkWritable(child, keyPath);
        }
        break;
    case nlohmann::json::value_t::array: {
        std::size_t index = 0;
        for (const auto& child : value) {
            checkWritable(child, path + "[" + std::to_string(index++) + "]");
        }
        break;
    }
    case nlohmann::json::value_t::string:
        checkText(value.get_ref<const std::string&>(), path, false);
        break;
    case nlohmann::json::value_t::number_float: {
        const double number = value.get<double>();
        if (!std::isfinite(number)) {
            const std::string which = std::isnan(number) ? "NaN" : (number > 0 ? "infinity" : "-infinity");
            const std::string where = path.empty() ? "the top level" : "“" + path + "”";
            throw Error(std::string(errorDomain), nonFiniteNumberCode,
                        "Cannot write JSON: the number at " + where + " is " + which
                            + ", which JSON cannot hold.");
        }
        break;
    }
    default:
        break;
    }
}

// Owns a POSIX file descriptor.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    // Closes now and reports the close's own failure (a deferred write error shows up here).
    int close()
    {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

[[noreturn]] void throwFileError(int errorNumber, const fs::path& path)
{
    throw FileError::fromErrno(errorNumber, "Could not save", path);
}

std::string randomSuffix()
{
    static constexpr char digits[] = "0123456789abcdef";
    std::random_device device;
    std::uniform_int_distribution<int> pick(0, 15);
    std::string suffix;
    for (int i = 0; i < 12; ++i) {
        suffix += digits[pick(device)];
    }
    return suffix;
}

// The file a save replaces: the target itself, or, for a symbolic link, the file it names.
fs::path resolvedTarget(const fs::path& target)
{
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        const fs::path linked = fs::canonical(target, ec);
        if (!ec) {
            return linked;
        }
    }
    return target;
}

constexpr std::string_view kSavingMarker = ".saving-";
constexpr std::size_t kSuffixLength = 12;

std::string temporaryPrefix(const fs::path& target)
{
    return "." + target.filename().string() + std::string(kSavingMarker);
}

bool isTemporaryName(const std::string& name, const std::string& prefix)
{
    if (name.size() != prefix.size() + kSuffixLength || !name.starts_with(prefix)) {
        return false;
    }
    return name.find_first_not_of("0123456789abcdef", prefix.size()) == std::string::npos;
}

// Removes the temporary files that earlier saves of `target` left when they were killed between
// writing and renaming. A save holds an exclusive lock on its temporary file from creating it
// to renaming it, and the kernel drops the lock of a killed process, so a temporary file whose
// lock can be taken belongs to no running save. It is unlinked while still locked; a save that
// created it a moment ago sees, once it gets the lock, that its file has no link any more and
// starts over with a new name.
void removeStaleTemporaries(const fs::path& folder, const fs::path& target)
{
    const std::string prefix = temporaryPrefix(target);
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& leftover = it->path();
        if (!isTemporaryName(leftover.filename().string(), prefix)) {
            continue;
        }
        const int fd = ::open(leftover.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        FileDescriptor file(fd);
        struct stat info {};
        if (::flock(file.get(), LOCK_EX | LOCK_NB) == 0 && ::fstat(file.get(), &info) == 0 && S_ISREG(info.st_mode)) {
            (void)::unlink(leftover.c_str());
        }
    }
}

// Locks a temporary file just created for a save, marking it in use. Answers the locked
// descriptor, or -1 when another save's clean-up removed the file before the lock was taken.
int claimTemporary(const fs::path& temporary)
{
    const int fd = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    struct stat info {};
    if (::flock(fd, LOCK_EX) != 0 || ::fstat(fd, &info) != 0 || info.st_nlink == 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

std::string prettySortedText(const nlohmann::json& value)
{
    checkWritable(value, "");
    return value.dump(2, ' ', false, nlohmann::json::error_handler_t::strict);
}

void saveFileAtomically(const fs::path& requestedTarget, std::string_view bytes)
{
    const fs::path target = resolvedTarget(requestedTarget);
    if (target.filename().empty()) {
        throwFileError(EISDIR, target);
    }
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");

    struct stat existing {};
    const bool replacing = ::stat(target.c_str(), &existing) == 0;
    if (replacing && S_ISDIR(existing.st_mode)) {
        throwFileError(EISDIR, target);
    }

    removeStaleTemporaries(folder, target);

    fs::path temporary;
    int fd = -1;
    int lockFd = -1;
    for (int attempt = 0; attempt < 100 && lockFd < 0; ++attempt) {
        temporary = folder / (temporaryPrefix(target) + randomSuffix());
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno != EEXIST) {
                throwFileError(errno, target);
            }
            continue;
        }
        lockFd = claimTemporary(temporary);
        if (lockFd < 0) {
            ::close(fd); // removed by another save's clean-up before the lock was ours
            fd = -1;
        }
    }
    if (lockFd < 0) {
        throwFileError(EEXIST, target);
    }
    FileDescriptor file(fd);
    // Held until the rename, on a descriptor of its own, so closing the written file (whose
    // result is checked) does not drop it.
    const FileDescriptor lock(lockFd);

    const auto fail = [&](int errorNumber) {
        if (file.get() >= 0) {
            file.close();
        }
        ::unlink(temporary.c_str());
        throwFileError(errorNumber, target);
    };

    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(file.get(), bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(errno);
        }
        written += static_cast<std::size_t>(n);
    }
    if (replacing) {
        // Best effort: a file the user made read-only for others stays so; failure only
        // leaves the default permissions of a new file.
        (void)::fchmod(file.get(), existing.st_mode & 07777);
    }
    if (::fsync(file.get()) != 0) {
        fail(errno);
    }
    if (file.close() != 0) {
        fail(errno);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        fail(errno);
    }
    // Makes the rename itself durable; the new file is complete whatever happens here.
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        (void)::fsync(folderFd);
        ::close(folderFd);
    }
}

} // namespace velmora::JsonWriting
