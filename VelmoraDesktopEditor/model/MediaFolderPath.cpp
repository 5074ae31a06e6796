#include "model/MediaFolderPath.h"

#include <system_error>

#include "model/UserFolders.h"
#include "platform/foundation/StringText.h"

namespace velmora {

namespace fs = std::filesystem;

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
