#include "model/MediaResolver.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <memory>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

#include "model/DesktopJobTool.h"
#include "model/NameMatching.h"
#include "model/UserFolders.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FileError.h"
#include "platform/foundation/RegularFiles.h"
#include "platform/foundation/StringText.h"
#include "platform/media/Asset.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

constexpr std::array<std::string_view, 18> mediaExtensions = {
    "mp4", "mov", "m4v", "mxf", "avi", "mkv", "wav", "aac", "m4a",
    "mp3", "jpg", "jpeg", "png", "tiff", "tif", "heic", "heif", "bmp",
};
constexpr std::array<std::string_view, 6> candidateExtensions = {"mp4", "mov", "m4v", "MP4", "MOV", "M4V"};
constexpr std::array<std::string_view, 4> videoExtensions = {"mp4", "mov", "m4v", "mxf"};

// The extension of a file name, lower-cased, as std::filesystem::path::extension gives it
// (after the last dot, a leading dot not counting) without the dot.
std::string lowercasedExtension(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || name == "..") {
        return {};
    }
    std::string extension(name.substr(dot + 1));
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return extension;
}

template <std::size_t N>
bool nameHasExtensionIn(std::string_view name, const std::array<std::string_view, N>& extensions)
{
    const std::string extension = lowercasedExtension(name);
    return std::find(extensions.begin(), extensions.end(), extension) != extensions.end();
}

template <std::size_t N>
bool hasExtensionIn(const fs::path& file, const std::array<std::string_view, N>& extensions)
{
    return nameHasExtensionIn(file.filename().native(), extensions);
}

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
        } else if (nameHasExtensionIn(entry.name, mediaExtensions) && isRegularFileOrLinkToOne(folder, entry)) {
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
                         : nameHasExtensionIn(entry.name, mediaExtensions) && isRegularFileOrLinkToOne(folder, entry)) {
            return true;
        }
    }
    return false;
}

std::string lastPathComponent(const fs::path& folder)
{
    const fs::path standardized = MediaFolderPath::standardized(folder);
    const std::string name = standardized.filename().string();
    return name.empty() ? standardized.string() : name;
}

bool isBrowserExport(const EditSession& session)
{
    return session.tool && *session.tool == DesktopJobTool::browserExport;
}

bool isUsed(const MediaResolver::detail::UsedSet& used, const fs::path& file)
{
    return used.count(file) != 0;
}

MediaResolver::detail::UsedSet usedFiles(const MediaResolver::SourceFileMap& map)
{
    MediaResolver::detail::UsedSet used;
    for (const auto& [id, file] : map) {
        used.insert(file);
    }
    return used;
}

// The listed files' names, read once per lookup of a whole project: the first file of each
// plain-ASCII name by that name, and where the others are. Two ASCII names are equal exactly
// when their bytes are, so an ASCII name is found without comparing it with every file.
struct FileNames {
    explicit FileNames(const std::vector<fs::path>& files) : files(files)
    {
        names.reserve(files.size());
        for (std::size_t i = 0; i < files.size(); ++i) {
            names.push_back(files[i].filename().string());
            if (NameMatching::isAscii(names.back())) {
                firstAscii.emplace(names.back(), i);
            } else {
                nonAscii.push_back(i);
            }
        }
    }

    // The index of the first file whose name equals `name` exactly (see
    // NameMatching::equalsExactly), the file count for none.
    std::size_t firstExactly(std::string_view name) const
    {
        if (!NameMatching::isAscii(name)) {
            for (std::size_t i = 0; i < names.size(); ++i) {
                if (NameMatching::equalsExactly(names[i], name)) {
                    return i;
                }
            }
            return names.size();
        }
        std::size_t first = names.size();
        if (const auto found = firstAscii.find(std::string(name)); found != firstAscii.end()) {
            first = found->second;
        }
        for (const std::size_t i : nonAscii) {
            if (i >= first) {
                break;
            }
            if (NameMatching::equalsExactly(names[i], name)) {
                return i;
            }
        }
        return first;
    }

    const std::vector<fs::path>& files;
    std::vector<std::string> names;
    std::unordered_map<std::string, std::size_t> firstAscii;
    std::vector<std::size_t> nonAscii;
};

// A lookup's answer: the index of a listed file, or none.
using FileIndex = std::optional<std::size_t>;

// The first file whose name passes `matches` decides the lookup: it is the answer unless it is
// already used (`isUsed` of its index), in which case there is no answer at all.
template <typename IsUsed, typename Matches>
std::optional<FileIndex> firstNameDecides(const FileNames& index, const IsUsed& isUsed, Matches matches)
{
    for (std::size_t i = 0; i < index.names.size(); ++i) {
        if (matches(index.names[i])) {
            return isUsed(i) ? FileIndex() : FileIndex(i);
        }
    }
    return std::nullopt;
}

// The fuzzy match of MediaResolver::detail::fuzzyMatch, by index.
template <typename IsUsed>
FileIndex fuzzyIndex(std::string_view wanted, const std::vector<fs::path>& files, const IsUsed& isUsed)
{
    static constexpr std::size_t tailLength = 14;
    const std::u32string key = NameMatching::nameKey(wanted);
    if (key.size() < 8) {
        return std::nullopt;
    }
    const auto lastCharacters = [](const std::u32string& text) {
        return text.size() <= tailLength ? text : text.substr(text.size() - tailLength);
    };
    const std::u32string tail = lastCharacters(key);

    FileIndex best;
    std::size_t bestScore = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (isUsed(i)) {
            continue;
        }
        const std::u32string fileKey = NameMatching::nameKey(files[i].filename().string());
        if (fileKey == key) {
            return i;
        }
        if (fileKey.empty()) {
            continue;
        }
        if (fileKey.find(tail) == std::u32string::npos && tail.find(lastCharacters(fileKey)) == std::u32string::npos) {
            continue;
        }
        std::size_t score = 0;
        while (score < key.size() && score < fileKey.size()
               && key[key.size() - 1 - score] == fileKey[fileKey.size() - 1 - score]) {
            ++score;
        }
        if (!best || score > bestScore) {
            best = i;
            bestScore = score;
        }
    }
    return best;
}

// The file a name resolves to (MediaResolver::detail::resolveName), by index; `isUsed` says
// whether the file of an index already belongs to a source.
template <typename IsUsed>
FileIndex resolveIndexedName(std::string_view name, const FileNames& index, const IsUsed& isUsed, bool exactOnly)
{
    const std::vector<fs::path>& files = index.files;
    const std::string trimmedName = StringText::trimmed(name);
    if (trimmedName.empty()) {
        return std::nullopt;
    }
    const std::string base = StringText::trimmed(StringText::removingAllIgnoringCase(trimmedName, " (Audio)"));

    if (const std::size_t first = std::min(index.firstExactly(trimmedName), index.firstExactly(base));
        first < files.size()) {
        return isUsed(first) ? FileIndex() : FileIndex(first);
    }
    if (auto decided = firstNameDecides(index, isUsed, [&](const std::string& fileName) {
            return NameMatching::equalsIgnoringCase(fileName, trimmedName)
                || NameMatching::equalsIgnoringCase(fileName, base);
        })) {
        return *decided;
    }
    if (exactOnly) {
        return std::nullopt;
    }
    if (base.find('.') == std::string::npos) {
        for (const auto extension : candidateExtensions) {
            const std::string wanted = base + "." + std::string(extension);
            if (auto decided = firstNameDecides(index, isUsed, [&](const std::string& fileName) {
                    return NameMatching::equalsIgnoringCase(fileName, wanted);
                })) {
                return *decided;
            }
        }
    }
    if (!files.empty() && NameMatching::characterCount(base) >= 4) {
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (isUsed(i)) {
                continue;
            }
            const std::string stem = files[i].stem().string();
            if (NameMatching::containsIgnoringCase(index.names[i], base) || NameMatching::containsIgnoringCase(base, stem)) {
                return i;
            }
        }
    }
    return fuzzyIndex(base, files, isUsed);
}

// Whether a listed file belongs to a source of `used`, by index.
auto usedIn(const MediaResolver::detail::UsedSet& used, const std::vector<fs::path>& files)
{
    return [&used, &files](std::size_t i) { return used.count(files[i]) != 0; };
}

std::optional<fs::path> pathOf(const FileIndex& found, const std::vector<fs::path>& files)
{
    return found ? std::optional<fs::path>(files[*found]) : std::nullopt;
}

// A file name that cannot leave the folder it is joined to.
bool isContainedRelativePath(const fs::path& relative)
{
    if (relative.empty() || relative.is_absolute() || relative.has_root_name() || relative.has_root_directory()) {
        return false;
    }
    return std::none_of(relative.begin(), relative.end(), [](const fs::path& part) { return part == ".."; });
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
        if (nameHasExtensionIn(entry.name, mediaExtensions) && isRegularFileOrLinkToOne(root, entry)) {
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
        if (nameHasExtensionIn(entry.name, mediaExtensions) && isRegularFileOrLinkToOne(root, entry)) {
            return true;
        }
    }
    return false;
}

void validateMediaFolder(const fs::path& folder)
{
    std::error_code ec;
    if (!fs::is_directory(MediaFolderPath::standardized(folder), ec)) {
        throw Error(std::string(errorDomain), folderNotFoundCode,
                    "Media folder not found (“" + lastPathComponent(folder)
                        + "”). Click **Media Folder…** and pick the folder with your MP4 files — not a browser "
                          "label like “edit1”.");
    }
}

std::optional<fs::path> resolveName(std::string_view name, const std::vector<fs::path>& files, const UsedSet& used,
                                    bool exactOnly)
{
    return pathOf(resolveIndexedName(name, FileNames(files), usedIn(used, files), exactOnly), files);
}

} // namespace MediaResolver::detail

namespace MediaResolver::detail {


std::optional<fs::path> fuzzyMatch(std::string_view wanted, const std::vector<fs::path>& files, const UsedSet& used)
{
    return pathOf(fuzzyIndex(wanted, files, usedIn(used, files)), files);
}

void assignByOrderedVideoFiles(const std::vector<EditSession::Source>& unmapped, SourceFileMap& map,
                               const std::vector<fs::path>& files, const EditSession::Timeline* timeline)
{
    const UsedSet used = usedFiles(map);
    std::vector<fs::path> pool;
    for (const auto& file : files) {
        if (hasExtensionIn(file, videoExtensions) && !isUsed(used, file)) {
            pool.push_back(file);
        }
    }
    NameMatching::stableSortByFileName(pool);
    if (pool.empty() || unmapped.empty()) {
        return;
    }
    for (const auto& source : unmapped) {
        if (map.count(source.id) != 0) {
            continue;
        }
        if (timeline) {
            for (const auto& clip : timeline->clips) {
                if (map.count(source.id) != 0) {
                    break;
                }
                if (clip.sourceId != source.id || !clip.name) {
                    continue;
                }
                for (auto it = pool.begin(); it != pool.end(); ++it) {
                    const std::vector<fs::path> single{*it};
                    if (fuzzyMatch(*clip.name, single, {}) == *it) {
                        map[source.id] = *it;
                        pool.erase(it);
                        break;
                    }
                }
            }
        }
        if (map.count(source.id) == 0 && !pool.empty()) {
            map[source.id] = pool.front();
            pool.erase(pool.begin());
        }
    }
}

} // namespace MediaResolver::detail

namespace MediaResolver {

SourceFileMap sourceFileMap(const EditSession& session, const fs::path& mediaFolder)
{
    detail::validateMediaFolder(mediaFolder);
    const std::vector<fs::path> files = listMediaFiles(mediaFolder);
    if (files.empty()) {
        throw Error(std::string(errorDomain), noMediaFilesCode,
                    "No video/audio files in “" + lastPathComponent(mediaFolder)
                        + "”. Choose the folder that contains your DJI MP4 files.");
    }
    const bool browserExport = isBrowserExport(session);
    const EditSession::Timeline* timeline = session.findActiveTimeline();

    const FileNames names(files);
    // The file of each source by its index in the listing, and how many sources each file has,
    // kept in step: every lookup asks whether a file is taken, thousands of times for a project
    // of thousands of sources. The ids are the session's own strings.
    std::unordered_map<std::string_view, std::size_t> fileOf;
    std::vector<std::size_t> holders(files.size(), 0);
    const auto isUsed = [&holders](std::size_t i) { return holders[i] != 0; };
    const auto assign = [&fileOf, &holders](std::string_view sourceId, std::size_t file) {
        const auto [entry, added] = fileOf.try_emplace(sourceId, file);
        if (!added) {
            --holders[entry->second];
            entry->second = file;
        }
        ++holders[file];
    };
    const auto mapOfFiles = [&fileOf, &files] {
        SourceFileMap map;
        for (const auto& [id, file] : fileOf) {
            map.emplace(std::string(id), files[file]);
        }
        return map;
    };
    for (const auto& source : session.sources) {
        FileIndex found = resolveIndexedName(source.fileName, names, isUsed, browserExport);
        if (!found && !browserExport) {
            if (timeline) {
                for (const auto& clip : timeline->clips) {
                    if (clip.sourceId == source.id && clip.name) {
                        found = resolveIndexedName(*clip.name, names, isUsed, false);
                        if (found) {
                            break;
                        }
                    }
                }
            }
            if (!found) {
                found = fuzzyIndex(source.fileName, files, isUsed);
            }
        }
        if (found) {
            assign(source.id, *found);
        }
    }
    if (browserExport) {
        return mapOfFiles();
    }

    if (timeline) {
        for (const auto& clip : timeline->clips) {
            if (!clip.sourceId || fileOf.contains(*clip.sourceId) || !clip.name) {
                continue;
            }
            if (const FileIndex found = resolveIndexedName(*clip.name, names, isUsed, false)) {
                assign(*clip.sourceId, *found);
            }
        }
    }

    std::vector<EditSession::Source> unmapped;
    for (const auto& source : session.sources) {
        if (!fileOf.contains(source.id)) {
            unmapped.push_back(source);
        }
    }
    SourceFileMap map = mapOfFiles();
    if (!unmapped.empty()) {
        detail::assignByOrderedVideoFiles(unmapped, map, files, timeline);
    }
    return map;
}

namespace {

// The map of sources to files, or none when the folder cannot give one.
std::optional<SourceFileMap> trySourceFileMap(const EditSession& session, const fs::path& mediaFolder)
{
    try {
        return sourceFileMap(session, mediaFolder);
    } catch (const Error&) {
        return std::nullopt;
    }
}

std::vector<std::string> unresolvedLabels(const EditSession& session, const SourceFileMap* map)
{
    std::vector<std::string> labels;
    for (const auto& source : session.sources) {
        if (!map || map->count(source.id) == 0) {
            labels.push_back(source.fileName);
        }
    }
    if (map) {
        std::sort(labels.begin(), labels.end());
    }
    return labels;
}

// Whether some visual clip of the active timeline has its file in `map`, or none has media to
// show; a timeline without clips needs only a folder that holds media.
bool picturesResolve(const EditSession& session, const SourceFileMap& map)
{
    const EditSession::Timeline* timeline = session.findActiveTimeline();
    if (timeline && !timeline->clips.empty()) {
        bool anyVisual = false;
        for (const auto& clip : timeline->clips) {
            const std::string kind = EditSession::normalizedClipType(clip.type, clip.name);
            if (kind != "video" && kind != "image") {
                continue;
            }
            anyVisual = true;
            if (clip.sourceId && map.count(*clip.sourceId) != 0) {
                return true;
            }
        }
        return !anyVisual;
    }
    return true;
}

// `resolve` gives the map of sources to files when it is needed, none when it cannot be built.
template <typename Resolve>
bool previewBuildable(const EditSession& session, const fs::path& mediaFolder, Resolve&& resolve)
{
    std::error_code ec;
    if (!fs::is_directory(MediaFolderPath::standardized(mediaFolder), ec)) {
        return false;
    }
    const EditSession::Timeline* timeline = session.findActiveTimeline();
    if (timeline && !timeline->clips.empty()) {
        const std::optional<SourceFileMap>& map = resolve();
        return map && picturesResolve(session, *map);
    }
    return detail::holdsMediaFile(mediaFolder);
}

} // namespace

std::vector<std::string> unresolvedSourceLabels(const EditSession& session, const fs::path& mediaFolder)
{
    const std::optional<SourceFileMap> map = trySourceFileMap(session, mediaFolder);
    return unresolvedLabels(session, map ? &*map : nullptr);
}

bool canBuildPreview(const EditSession& session, const fs::path& mediaFolder)
{
    std::optional<SourceFileMap> map;
    return previewBuildable(session, mediaFolder, [&]() -> const std::optional<SourceFileMap>& {
        map = trySourceFileMap(session, mediaFolder);
        return map;
    });
}

PreviewReadiness previewReadiness(const EditSession& session, const fs::path& mediaFolder)
{
    const std::optional<SourceFileMap> map = trySourceFileMap(session, mediaFolder);
    return previewReadiness(session, map ? &*map : nullptr);
}

PreviewReadiness previewReadiness(const EditSession& session, const SourceFileMap* files)
{
    // A map made means the folder is there and holds media (sourceFileMap throws otherwise), all
    // that a timeline without clips needs.
    PreviewReadiness readiness;
    readiness.unresolvedSourceLabels = unresolvedLabels(session, files);
    readiness.canBuildPreview = files && picturesResolve(session, *files);
    return readiness;
}

std::optional<fs::path> urlForSource(const EditSession::Source& source, const EditSession& session,
                                     const fs::path& mediaFolder)
{
    try {
        const SourceFileMap map = sourceFileMap(session, mediaFolder);
        if (const auto it = map.find(source.id); it != map.end()) {
            if (RegularFiles::isRegularFile(it->second)) {
                return it->second;
            }
        }
    } catch (const Error&) {
    }
    try {
        const auto files = listMediaFiles(mediaFolder);
        if (auto found = detail::resolveName(source.fileName, files, {}, false)) {
            return found;
        }
    } catch (const Error&) {
    }
    const fs::path relative(source.fileName);
    if (isContainedRelativePath(relative)) {
        const fs::path joined = mediaFolder / relative;
        if (RegularFiles::isRegularFile(joined)) {
            return joined;
        }
    }
    return std::nullopt;
}

std::optional<std::string> unreadableReason(const fs::path& file)
{
    return RegularFiles::unreadableReason(file);
}

std::optional<double> sourceDurationSeconds(const std::optional<std::string>& clipName, const fs::path& mediaFolder)
{
    std::vector<fs::path> files;
    try {
        files = listMediaFiles(mediaFolder);
    } catch (const Error&) {
        return std::nullopt;
    }
    const std::string name = clipName ? StringText::trimmed(*clipName) : std::string();
    if (name.empty()) {
        return std::nullopt;
    }
    const auto file = detail::resolveName(name, files, {}, false);
    if (!file) {
        return std::nullopt;
    }
    double seconds = 0;
    try {
        seconds = Asset::open(*file)->durationSeconds();
    } catch (const Error&) {
        return std::nullopt;
    }
    if (!std::isfinite(seconds) || seconds <= 0.05) {
        return std::nullopt;
    }
    return seconds;
}

} // namespace MediaResolver

namespace MediaFolderPath {

fs::path standardized(const fs::path& folder)
{
    fs::path normal = folder.lexically_normal();
    while (!normal.has_filename() && normal.has_relative_path()) {
        normal = normal.parent_path();
    }
    return normal;
}

std::optional<fs::path> resolvedURL(const std::optional<std::string>& path, const std::optional<fs::path>& baseFolder)
{
    if (!path) {
        return std::nullopt;
    }
    const std::string trimmedPath = StringText::trimmed(*path);
    if (trimmedPath.empty()) {
        return std::nullopt;
    }
    fs::path folder(UserFolders::expandingTilde(trimmedPath));
    std::error_code ec;
    if (folder.is_relative()) {
        // Never the working directory: it may hold another project's like-named folder.
        if (!baseFolder) {
            return std::nullopt;
        }
        folder = fs::absolute(*baseFolder / folder, ec);
        if (ec) {
            return std::nullopt;
        }
    }
    folder = MediaFolderPath::standardized(folder);
    if (!fs::is_directory(folder, ec)) {
        return std::nullopt;
    }
    return folder;
}

} // namespace MediaFolderPath

} // namespace velmora
