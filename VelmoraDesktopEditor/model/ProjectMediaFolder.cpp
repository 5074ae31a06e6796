#include "model/ProjectMediaFolder.h"

#include <set>
#include <vector>

#include "model/MediaResolver.h"
#include "model/UserFolders.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/StringText.h"

namespace velmora::ProjectMediaFolder {

namespace fs = std::filesystem;

namespace {

fs::path absolutePath(const fs::path& path)
{
    std::error_code ec;
    fs::path result = path.is_absolute() ? path : fs::absolute(path, ec);
    return MediaFolderPath::standardized(ec ? path : result);
}

fs::path projectFolder(const fs::path& sessionFile)
{
    return absolutePath(sessionFile).parent_path();
}

// At least one media file, found without listing the whole tree.
bool holdsMedia(const fs::path& folder)
{
    return MediaResolver::detail::holdsMediaFile(folder);
}

} // namespace

std::string sanitizedName(const std::optional<std::string>& projectName)
{
    std::string name = StringText::trimmed(projectName.value_or("Untitled"));
    for (char& c : name) {
        if (c == '/') {
            c = '-';
        }
    }
    return name.empty() ? "Untitled" : name;
}

fs::path url(const std::optional<fs::path>& sessionFile, const std::optional<std::string>& projectName)
{
    const std::string folderName = sanitizedName(projectName) + "_media";
    if (sessionFile) {
        return projectFolder(*sessionFile) / folderName;
    }
    fs::path base;
    if (const auto videos = UserFolders::videos()) {
        base = *videos;
    } else if (const auto home = UserFolders::home()) {
        base = *home;
    } else {
        std::error_code ec;
        base = fs::temp_directory_path(ec);
        if (ec) {
            base = "/tmp";
        }
    }
    return absolutePath(base) / "Velmora Desktop" / folderName;
}

fs::path ensureExists(const fs::path& folder)
{
    std::error_code ignored;
    fs::create_directories(folder, ignored);
    return folder;
}

bool hasMediaFiles(const fs::path& folder)
{
    return holdsMedia(folder);
}

fs::path resolveForSession(const std::optional<fs::path>& sessionFile, const std::optional<std::string>& savedMediaPath,
                           const std::optional<std::string>& projectName)
{
    std::vector<fs::path> candidates;
    const std::optional<fs::path> base = sessionFile ? std::optional(projectFolder(*sessionFile)) : std::nullopt;
    if (const auto saved = MediaFolderPath::resolvedURL(savedMediaPath, base)) {
        candidates.push_back(*saved);
    }
    if (sessionFile) {
        const fs::path folder = projectFolder(*sessionFile);
        candidates.push_back(url(sessionFile, projectName));
        candidates.push_back(folder);
        candidates.push_back(folder / "media");
    }
    std::set<fs::path> visited;
    for (const auto& candidate : candidates) {
        const fs::path standardized = absolutePath(candidate);
        if (!visited.insert(standardized).second) {
            continue;
        }
        if (holdsMedia(standardized)) {
            return standardized;
        }
    }
    return absolutePath(ensureExists(url(sessionFile, projectName)));
}

} // namespace velmora::ProjectMediaFolder
