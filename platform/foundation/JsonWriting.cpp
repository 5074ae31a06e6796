#include "platform/foundation/JsonWriting.h"

#include <cerrno>
#include <cmath>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/foundation/Error.h"
#include "platform/foundation/FileError.h"
#include "platform/foundation/ScratchFile.h"
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
        // A key that is not UTF-8 is part of the path: its bad bytes are quoted escaped.
        const std::string where = path.empty() ? "the top level" : "“" + Utf8::escapingInvalid(path) + "”";
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
            // A key that is not UTF-8 is part of the path: its bad bytes are quoted escaped.
        const std::string where = path.empty() ? "the top level" : "“" + Utf8::escapingInvalid(path) + "”";
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

[[noreturn]] void throwFileError(int errorNumber, const fs::path& path)
{
    throw FileError::fromErrno(errorNumber, "Could not save", path);
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

// A save writes ".<name>.saving-<12 hex digits>" beside its target. Saves killed between writing
// and renaming leave theirs behind; the next save of the same target removes them.
ScratchNaming temporaryNaming(const fs::path& target)
{
    constexpr std::string_view mark = ".saving-";
    constexpr std::size_t tagLength = 12;
    return ScratchNaming{"." + ScratchNaming::fittedName(target.filename().string(), 1 + mark.size() + tagLength) +
                             std::string(mark),
                         "", tagLength, "0123456789abcdef"};
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

    const ScratchNaming naming = temporaryNaming(target);
    removeStaleScratchFiles(folder, naming);
    // Locked until the rename, so that no other save takes it for a leftover.
    ClaimedScratchFile file(folder, naming, "Could not save", target);
    const fs::path& temporary = file.path();

    const auto fail = [&](int errorNumber) {
        file.closeWriteDescriptor();
        ::unlink(temporary.c_str());
        throwFileError(errorNumber, target);
    };

    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(file.writeDescriptor(), bytes.data() + written, bytes.size() - written);
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
        (void)::fchmod(file.writeDescriptor(), existing.st_mode & 07777);
    }
    if (::fsync(file.writeDescriptor()) != 0) {
        fail(errno);
    }
    if (file.closeWriteDescriptor() != 0) {
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
