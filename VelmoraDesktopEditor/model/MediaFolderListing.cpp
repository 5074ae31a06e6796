#include "model/MediaFolderListing.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include <dirent.h>
#include <sys/stat.h>

#include "model/MediaFileKind.h"
#include "model/MediaFolderPath.h"
#include "platform/foundation/FileError.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

// One entry of a folder as its listing gives it: its name, and its type where the file system
// says (a DT_ value of readdir; DT_UNKNOWN where it does not).
struct FolderEntry {
    std::string name;
    unsigned char type = DT_UNKNOWN;
};

// The folder's entries but "." and "..", in the file system's order. Read with readdir rather
// than std::filesystem, which makes a path of every entry (a media folder can hold tens of
// thousands); the folder is closed on return. Throws nothing; `ec` reports failure to open the
// folder, and a failure while reading it ends the entries there.
std::vector<FolderEntry> folderEntries(const fs::path& folder, std::error_code& ec)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) {
        ec = std::error_code(errno, std::generic_category());
        return {};
    }
    std::vector<FolderEntry> entries;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            entries.push_back({std::string(name), entry->d_type});
        }
    }
    return entries;
}

// folderEntries sorted by name (byte order), so that every listing of the same folder has the
// same order whatever order the file system keeps.
std::vector<FolderEntry> sortedEntries(const fs::path& folder, std::error_code& ec)
{
    std::vector<FolderEntry> entries = folderEntries(folder, ec);
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return entries;
}

// A folder, and not a link to one; none where the file system cannot say.
std::optional<bool> isFolder(const fs::path& folder, const FolderEntry& entry)
{
    if (entry.type != DT_UNKNOWN) {
        return entry.type == DT_DIR;
    }
    struct stat status {};
    if (::lstat((folder / entry.name).c_str(), &status) != 0) {
        return std::nullopt;
    }
    return S_ISDIR(status.st_mode);
}

// A regular file, or a link to one. The entry's type comes from the listing where the file
// system gives it, so only links (and file systems that give no type) cost a status call.
bool isRegularFileOrLinkToOne(const fs::path& folder, const FolderEntry& entry)
{
    if (entry.type != DT_UNKNOWN && entry.type != DT_LNK) {
        return entry.type == DT_REG;
    }
    struct stat status {};
    return ::stat((folder / entry.name).c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// Counted for folderListingCount().
std::atomic<std::uint64_t> folderListings{0};

bool isFull(const std::vector<fs::path>& found, std::size_t limit)
{
    return limit != 0 && found.size() >= limit;
}

void collectRecursively(const fs::path& folder, std::vector<fs::path>& found, std::size_t limit)
{
    std::error_code ec;
    for (const FolderEntry& entry : sortedEntries(folder, ec)) {
        if (isFull(found, limit)) {
            return;
        }
        if (entry.name.empty() || entry.name.front() == '.') {
            continue;
        }
        const std::optional<bool> isDirectory = isFolder(folder, entry);
        if (!isDirectory) {
            continue;
        }
        if (*isDirectory) {
            collectRecursively(folder / entry.name, found, limit);
        } else if (MediaFileNames::isMediaFile(entry.name) && isRegularFileOrLinkToOne(folder, entry)) {
            found.push_back(folder / entry.name);
        }
    }
}

// A media file anywhere below `folder`, as collectRecursively finds them, in the file system's
// order.
bool anyMediaFileBelow(const fs::path& folder)
{
    std::error_code ec;
    for (const FolderEntry& entry : folderEntries(folder, ec)) {
        if (entry.name.empty() || entry.name.front() == '.') {
            continue;
        }
        const std::optional<bool> isDirectory = isFolder(folder, entry);
        if (!isDirectory) {
            continue;
        }
        if (*isDirectory ? anyMediaFileBelow(folder / entry.name)
                         : MediaFileNames::isMediaFile(entry.name) && isRegularFileOrLinkToOne(folder, entry)) {
            return true;
        }
    }
    return false;
}

} // namespace

std::vector<fs::path> listMediaFiles(const fs::path& folder)
{
    return MediaResolver::detail::listMediaFiles(folder, 0);
}

namespace MediaResolver::detail {

std::vector<fs::path> listMediaFiles(const fs::path& folder, std::size_t limit)
{
    folderListings.fetch_add(1, std::memory_order_relaxed);
    const fs::path root = MediaFolderPath::standardized(folder);
    std::vector<fs::path> found;
    std::error_code ec;
    fs::directory_iterator probe(root, fs::directory_options::none, ec);
    if (!ec) {
        collectRecursively(root, found, limit);
    }
    if (!found.empty()) {
        return found;
    }
    std::error_code listError;
    const auto entries = sortedEntries(root, listError);
    if (listError) {
        throw FileError::make(listError, "Could not list the folder", root);
    }
    for (const FolderEntry& entry : entries) {
        if (isFull(found, limit)) {
            break;
        }
        if (MediaFileNames::isMediaFile(entry.name) && isRegularFileOrLinkToOne(root, entry)) {
            found.push_back(root / entry.name);
        }
    }
    return found;
}

std::uint64_t folderListingCount()
{
    return folderListings.load(std::memory_order_relaxed);
}

bool holdsMediaFile(const fs::path& folder)
{
    const fs::path root = MediaFolderPath::standardized(folder);
    if (anyMediaFileBelow(root)) {
        return true;
    }
    // The direct listing listMediaFiles falls back on, hidden files included.
    std::error_code ec;
    for (const FolderEntry& entry : folderEntries(root, ec)) {
        if (MediaFileNames::isMediaFile(entry.name) && isRegularFileOrLinkToOne(root, entry)) {
            return true;
        }
    }
    return false;
}

} // namespace MediaResolver::detail

} // namespace velmora
