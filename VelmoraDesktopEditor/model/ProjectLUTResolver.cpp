#include "model/ProjectLUTResolver.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <unordered_set>

#include "model/NameMatching.h"
#include "platform/foundation/StringText.h"
#include "platform/foundation/Utf8.h"

namespace velmora::ProjectLUTResolver {

namespace fs = std::filesystem;

namespace {

using OptionalFolder = std::optional<fs::path>;

constexpr std::array<std::string_view, 6> cameraLogLUTs = {
    "DJI OSMO Pocket 4 D-Log to Rec.709 V1.0.cube",
    "DJI OSMO Pocket 4 D-Log to Rec.709 vivid V1.0.cube",
    "D-Log to Rec.709.cube",
    "dlog-m+to+rec709.cube",
    "dlog_to_rec709.cube",
    "DJI D-Cinelike to Rec 709 V2.cube",
};

// The last component of a slash-separated path, trailing slashes ignored; empty for "" or "/".
std::string lastPathComponent(std::string_view path)
{
    while (!path.empty() && path.back() == '/') {
        path.remove_suffix(1);
    }
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string withoutPathExtension(const std::string& name)
{
    return fs::path(name).stem().string();
}

std::string lowercasedAscii(std::string_view text)
{
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return result;
}

fs::path absoluteFolder(const fs::path& folder)
{
    std::error_code ec;
    fs::path absolute = folder.is_absolute() ? folder : fs::absolute(folder, ec);
    if (ec) {
        absolute = folder;
    }
    fs::path normal = absolute.lexically_normal();
    while (!normal.has_filename() && normal.has_relative_path()) {
        normal = normal.parent_path();
    }
    return normal;
}

// A relative path that stays inside the folder it is joined to.
bool staysInside(const fs::path& relative)
{
    if (relative.empty() || relative.has_root_path()) {
        return false;
    }
    return std::none_of(relative.begin(), relative.end(), [](const fs::path& part) { return part == ".."; });
}

bool isDirectory(const fs::path& folder)
{
    std::error_code ec;
    return fs::is_directory(folder, ec);
}

// The .cube file names directly in a folder, hidden files skipped, in name order; those found
// before a stop was requested. A name that is not UTF-8 text is not offered: a project stores the
// chosen name as JSON text, which could only hold another name (the picker's "look\uFFFD.cube"),
// and the file would read as missing.
std::vector<std::string> cubeFileNames(const fs::path& folder, const std::stop_token& stop)
{
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(folder, fs::directory_options::none, ec);
    if (ec) {
        return names;
    }
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec || stop.stop_requested()) {
            break;
        }
        const std::string name = it->path().filename().string();
        if (name.empty() || name.front() == '.' || !Utf8::isValid(name)) {
            continue;
        }
        if (lowercasedAscii(it->path().extension().string()) != ".cube") {
            continue;
        }
        std::error_code statusError;
        if (!fs::is_regular_file(it->path(), statusError)) {
            continue;
        }
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

bool isExplicitNoLut(const std::optional<std::string>& reference)
{
    return reference && StringText::trimmed(*reference) == noLutSentinel;
}

namespace detail {

std::vector<fs::path> candidateFiles(const std::string& trimmedReference, const OptionalFolder& mediaFolder,
                                     const OptionalFolder& sessionFile)
{
    const fs::path reference(trimmedReference);
    const bool referenceStaysInside = staysInside(reference);
    const std::string name = lastPathComponent(trimmedReference);
    const bool nameUsable = !name.empty() && name != "." && name != "..";

    std::vector<fs::path> candidates;
    const auto addReference = [&](const fs::path& folder) {
        if (referenceStaysInside) {
            candidates.push_back(folder / reference);
        }
    };
    const auto addName = [&](const fs::path& folder) {
        if (nameUsable) {
            candidates.push_back(folder / name);
        }
    };

    if (mediaFolder) {
        const fs::path media = absoluteFolder(*mediaFolder);
        addReference(media);
        addName(media);
        addName(media / "luts");
        addName(media / "LUTs");
        fs::path folder = media;
        for (int level = 0; level < 5; ++level) {
            addName(folder / "luts");
            addName(folder / "LUTs");
            const fs::path parent = folder.parent_path();
            if (parent == folder || parent.empty()) {
                break;
            }
            folder = parent;
        }
    }
    if (sessionFile) {
        const fs::path projectFolder = absoluteFolder(sessionFile->parent_path().empty() ? fs::path(".")
                                                                                          : sessionFile->parent_path());
        addReference(projectFolder);
        addName(projectFolder);
        addName(projectFolder / "luts");
    }
    if (const auto resources = applicationResourcesFolder()) {
        addName(*resources);
        addName(*resources / "luts");
    }

    std::vector<fs::path> unique;
    std::set<fs::path> seen;
    for (auto& candidate : candidates) {
        if (seen.insert(candidate.lexically_normal()).second) {
            unique.push_back(std::move(candidate));
        }
    }
    return unique;
}

} // namespace detail

std::vector<std::string> availableLUTNames(const OptionalFolder& mediaFolder, const OptionalFolder& sessionFile,
                                           std::stop_token stop)
{
    std::vector<fs::path> folders;
    if (const auto resources = applicationResourcesFolder()) {
        folders.push_back(*resources);
        folders.push_back(*resources / "luts");
    }
    const auto addExisting = [&](const fs::path& folder) {
        if (isDirectory(folder)) {
            folders.push_back(folder);
        }
    };
    if (mediaFolder) {
        addExisting(*mediaFolder);
        addExisting(*mediaFolder / "luts");
        addExisting(*mediaFolder / "LUTs");
    }
    if (sessionFile) {
        const fs::path projectFolder = sessionFile->parent_path().empty() ? fs::path(".") : sessionFile->parent_path();
        addExisting(projectFolder);
        addExisting(projectFolder / "luts");
    }

    std::vector<std::string> names{std::string(noLutSentinel)};
    // "None" is no file's name (it has no ".cube"), so it needs no place among those seen.
    std::unordered_set<std::string> seen;
    for (const auto& folder : folders) {
        if (stop.stop_requested()) {
            break;
        }
        for (auto& name : cubeFileNames(folder, stop)) {
            if (seen.insert(name).second) {
                names.push_back(std::move(name));
            }
        }
    }
    return names;
}

std::vector<std::string> pickerOptions(const OptionalFolder& mediaFolder, const OptionalFolder& sessionFile,
                                       const std::optional<std::string>& clipLutRaw)
{
    return pickerOptions(availableLUTNames(mediaFolder, sessionFile), clipLutRaw);
}

std::vector<std::string> pickerOptions(std::vector<std::string> availableNames,
                                       const std::optional<std::string>& clipLutRaw)
{
    std::vector<std::string> options = std::move(availableNames);
    const std::string match = matchLUTInPickerList(clipLutRaw, options);
    if (match != noLutSentinel && std::find(options.begin(), options.end(), match) == options.end()) {
        options.push_back(match);
    }
    return options;
}

std::string matchLUTInPickerList(const std::optional<std::string>& reference, const std::vector<std::string>& list)
{
    const std::string trimmedReference = reference ? StringText::trimmed(*reference) : std::string();
    if (trimmedReference.empty() || trimmedReference == noLutSentinel) {
        return std::string(noLutSentinel);
    }
    if (trimmedReference == embeddedLutLabel) {
        return std::string(embeddedLutLabel);
    }
    if (std::find(list.begin(), list.end(), trimmedReference) != list.end()) {
        return trimmedReference;
    }
    const std::string stem = withoutPathExtension(lastPathComponent(trimmedReference));
    const bool endsInCube = StringText::hasSuffix(lowercasedAscii(trimmedReference), ".cube");
    const std::string withCube = trimmedReference + ".cube";
    for (const auto& entry : list) {
        if (entry == noLutSentinel) {
            continue;
        }
        if (entry == trimmedReference
            || NameMatching::equalsIgnoringCase(withoutPathExtension(lastPathComponent(entry)), stem)
            || NameMatching::equalsIgnoringCase(entry, trimmedReference)
            || (!endsInCube && NameMatching::equalsIgnoringCase(withCube, entry))) {
            return entry;
        }
    }
    return trimmedReference;
}

std::string suggestedLutForSource(const std::string& fileName, const OptionalFolder& mediaFolder,
                                  const OptionalFolder& sessionFile)
{
    const std::vector<std::string> names = availableLUTNames(mediaFolder, sessionFile);
    const std::set<std::string> available(names.begin(), names.end());
    const std::string lower = StringText::lowercased(fileName);
    const bool isLogRecording = StringText::hasSuffix(lower, "_d.mp4") || StringText::hasSuffix(lower, "_d.mov")
        || lower.find("_d.") != std::string::npos || lower.find("d-log") != std::string::npos
        || lower.find("dlog") != std::string::npos;
    const bool isDJI = lower.find("dji") != std::string::npos;

    if (isLogRecording && isDJI) {
        for (const auto name : cameraLogLUTs) {
            if (available.count(std::string(name)) != 0) {
                return std::string(name);
            }
        }
    }
    for (const auto name : defaultConversionLUTs) {
        if (available.count(std::string(name)) != 0) {
            return std::string(name);
        }
    }
    return std::string(noLutSentinel);
}

std::optional<fs::path> applicationResourcesFolder()
{
    if (const char* configured = std::getenv("VELMORA_RESOURCES_DIR")) {
        if (configured[0] == '\0' || !isDirectory(configured)) {
            return std::nullopt;
        }
        return absoluteFolder(configured);
    }
    std::error_code ec;
    const fs::path executable = fs::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return std::nullopt;
    }
    for (const fs::path& candidate :
         {executable.parent_path() / "resources", executable.parent_path() / ".." / "share" / "velmora" / "resources"}) {
        if (isDirectory(candidate)) {
            return candidate.lexically_normal();
        }
    }
    return std::nullopt;
}

} // namespace velmora::ProjectLUTResolver
