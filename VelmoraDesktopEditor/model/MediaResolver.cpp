#include "model/MediaResolver.h"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <unordered_map>

#include <fcntl.h>
#include <unistd.h>

#include "model/DesktopJobTool.h"
#include "model/MediaFileKind.h"
#include "model/MediaNameLookup.h"
#include "platform/foundation/Digest.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FileError.h"
#include "platform/foundation/NumberText.h"
#include "platform/foundation/RegularFiles.h"
#include "platform/foundation/ShownText.h"
#include "platform/foundation/StringText.h"
#include "platform/media/Asset.h"

namespace velmora {

namespace fs = std::filesystem;

using namespace MediaNameLookup;

namespace {

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

// Whether a file of kind `file` may be given to a name of kind `wanted`: a name without a media
// extension takes any file; a movie, a sound or a still only a file of its own kind (a movie's
// picture in place of a sound file or a still would be plainly wrong).
bool fitsKind(MediaFileKind wanted, MediaFileKind file)
{
    return wanted == MediaFileKind::other || wanted == file;
}

// The kind of file a source or clip name asks for; a linked sound's " (Audio)" does not count.
MediaFileKind nameKind(std::string_view name)
{
    const std::string trimmedName = StringText::trimmed(name);
    return MediaFileNames::kind(StringText::trimmed(StringText::removingAllIgnoringCase(trimmedName, " (Audio)")));
}

// The kind of file a source may be given: its name's, else its declared type's ("audio" or
// "sound", "video", "image"), else any. A source named as a movie stays a movie whatever its
// type says: the sound linked to a movie is read from the movie itself.
MediaFileKind sourceKind(const EditSession::Source& source)
{
    if (const MediaFileKind named = nameKind(source.fileName); named != MediaFileKind::other) {
        return named;
    }
    const std::string declared = StringText::lowercased(StringText::trimmed(source.type.value_or("")));
    if (declared == "audio" || declared == "sound") {
        return MediaFileKind::sound;
    }
    if (declared == "video") {
        return MediaFileKind::movie;
    }
    if (declared == "image") {
        return MediaFileKind::still;
    }
    return MediaFileKind::other;
}

// The source's own file: a listed file of its name (exactly, else but for letter case, as the
// lookup's first steps compare), the first that no other source has yet, else the first of
// them, shared: two sources naming one file both read it, and same-named files in two folders
// go one to each source in listing order. None when no file has its name.
FileIndex ownFileIndex(std::string_view name, const FileNames& index, const std::function<bool(std::size_t)>& isUsed)
{
    const std::string trimmedName = StringText::trimmed(name);
    if (trimmedName.empty()) {
        return std::nullopt;
    }
    const std::string base = StringText::trimmed(StringText::removingAllIgnoringCase(trimmedName, " (Audio)"));
    const std::size_t count = index.names.size();
    if (const std::size_t first = std::min(index.firstExactly(trimmedName), index.firstExactly(base)); first < count) {
        if (!isUsed(first)) {
            return first;
        }
        for (std::size_t i = first + 1; i < count; ++i) {
            const std::string& fileName = index.names[i];
            if (!isUsed(i)
                && (NameMatching::equalsExactly(fileName, trimmedName) || NameMatching::equalsExactly(fileName, base))) {
                return i;
            }
        }
        return first;
    }
    FileIndex first;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& fileName = index.names[i];
        if (NameMatching::equalsIgnoringCase(fileName, trimmedName) || NameMatching::equalsIgnoringCase(fileName, base)) {
            if (!isUsed(i)) {
                return i;
            }
            if (!first) {
                first = i;
            }
        }
    }
    return first;
}

// The kinds of the listed files, by index.
std::vector<MediaFileKind> kindsOf(const FileNames& names)
{
    std::vector<MediaFileKind> kinds;
    kinds.reserve(names.names.size());
    for (const std::string& name : names.names) {
        kinds.push_back(MediaFileNames::kind(name));
    }
    return kinds;
}

// Whether `file` is the source's own file found by its name (exactly or but for letter case),
// rather than a file the later steps put in its place.
bool isOwnFile(const EditSession::Source& source, const fs::path& file)
{
    // Mostly a source's file bears its name exactly: said without building a lookup for it.
    if (const std::string name = StringText::trimmed(source.fileName); !name.empty() && file.filename().native() == name) {
        return true;
    }
    const std::vector<fs::path> single{file};
    const FileNames name(single);
    return resolveIndexedName(source.fileName, name, [](std::size_t) { return false; }, true).has_value();
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

namespace MediaResolver::detail {

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
    const FileNames names(files);
    const MediaFileKind wanted = nameKind(name);
    const auto taken = [&, inUse = usedIn(used, files)](std::size_t i) {
        return inUse(i) || !fitsKind(wanted, MediaFileNames::kind(names.names[i]));
    };
    return pathOf(resolveIndexedName(name, names, taken, exactOnly), files);
}

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
        if (MediaFileNames::isCameraMovie(file.filename().native()) && !isUsed(used, file)) {
            pool.push_back(file);
        }
    }
    NameMatching::stableSortByFileName(pool);
    if (pool.empty() || unmapped.empty()) {
        return;
    }
    for (const auto& source : unmapped) {
        // The pool holds movies only.
        if (map.count(source.id) != 0 || !fitsKind(sourceKind(source), MediaFileKind::movie)) {
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
    const std::vector<MediaFileKind> kinds = kindsOf(names);
    // The file of each source by its index in the listing, and how many sources each file has,
    // kept in step: every lookup asks whether a file is taken, thousands of times for a project
    // of thousands of sources. The ids are the session's own strings.
    std::unordered_map<std::string_view, std::size_t> fileOf;
    std::vector<std::size_t> holders(files.size(), 0);
    const auto isUsed = [&holders](std::size_t i) { return holders[i] != 0; };
    // Taken for a name of kind `wanted`: used, or a file of another kind.
    const auto takenFor = [&isUsed, &kinds](MediaFileKind wanted) {
        return [&isUsed, &kinds, wanted](std::size_t i) { return isUsed(i) || !fitsKind(wanted, kinds[i]); };
    };
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
    std::unordered_map<std::string_view, const EditSession::Source*> sourceOf;
    for (const auto& source : session.sources) {
        sourceOf.try_emplace(source.id, &source);
    }
    for (const auto& source : session.sources) {
        const auto taken = takenFor(sourceKind(source));
        FileIndex found = ownFileIndex(source.fileName, names, isUsed);
        if (!found) {
            found = resolveIndexedName(source.fileName, names, taken, browserExport);
        }
        if (!found && !browserExport) {
            if (timeline) {
                for (const auto& clip : timeline->clips) {
                    if (clip.sourceId == source.id && clip.name) {
                        found = resolveIndexedName(*clip.name, names, taken, false);
                        if (found) {
                            break;
                        }
                    }
                }
            }
            if (!found) {
                found = fuzzyIndex(source.fileName, files, taken);
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
            // The kind is the source's: a clip's name says nothing of what its file holds.
            const auto source = sourceOf.find(*clip.sourceId);
            const auto taken = takenFor(source == sourceOf.end() ? nameKind(*clip.name) : sourceKind(*source->second));
            if (const FileIndex found = resolveIndexedName(*clip.name, names, taken, false)) {
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

ResolutionInputs resolutionInputs(const EditSession& session)
{
    ResolutionInputs inputs;
    inputs.browserExport = isBrowserExport(session);
    Digest::Builder digest;
    for (const auto& source : session.sources) {
        digest.add(std::string_view(source.id));
        digest.add(std::string_view(source.fileName));
        digest.add(source.type);
    }
    inputs.sources = session.sources.size();
    if (const EditSession::Timeline* timeline = session.findActiveTimeline()) {
        for (const auto& clip : timeline->clips) {
            digest.add(clip.sourceId);
            digest.add(clip.name);
        }
        inputs.clips = timeline->clips.size();
    }
    inputs.digest = digest.value();
    return inputs;
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
        const auto file = map ? map->find(source.id) : SourceFileMap::const_iterator();
        if (!map || file == map->end() || !isOwnFile(source, file->second)) {
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

std::vector<StandIn> standIns(const EditSession& session, const SourceFileMap& files)
{
    std::vector<StandIn> found;
    for (const auto& source : session.sources) {
        if (const auto file = files.find(source.id); file != files.end() && !isOwnFile(source, file->second)) {
            found.push_back({source.fileName, file->second});
        }
    }
    return found;
}

std::string standInText(const std::vector<StandIn>& standIns)
{
    constexpr std::size_t named = 3;
    std::string text;
    for (std::size_t i = 0; i < standIns.size() && i < named; ++i) {
        text += (i == 0 ? "" : " · ") + shownText(standIns[i].sourceName) + " not found — "
              + standIns[i].file.filename().string() + " shown in its place";
    }
    if (standIns.size() > named) {
        text += " · " + NumberText::integer(static_cast<std::int64_t>(standIns.size() - named)) + " more shown by another file";
    }
    return text;
}

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
    if (files) {
        readiness.standIns = standIns(session, *files);
        readiness.files = *files;
    }
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
        // Only the source's own name: a file the map does not give it would be a stand-in
        // that nothing names.
        if (auto found = detail::resolveName(source.fileName, files, {}, true)) {
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
    return fileDurationSeconds(*file);
}

std::optional<double> fileDurationSeconds(const fs::path& file)
{
    try {
        return fileDurationSeconds(*Asset::open(file));
    } catch (const Error&) {
        return std::nullopt;
    }
}

std::optional<double> fileDurationSeconds(const Asset& header)
{
    const double seconds = header.durationSeconds();
    if (!std::isfinite(seconds) || seconds <= 0.05) {
        return std::nullopt;
    }
    return seconds;
}

} // namespace MediaResolver

} // namespace velmora
