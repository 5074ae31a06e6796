#include "model/MediaFolderPath.h"

#include <algorithm>
#include <string_view>
#include <system_error>

#include "model/UserFolders.h"
#include "platform/foundation/StringText.h"
#include "platform/foundation/Utf8.h"

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

namespace {

fs::path absoluteStandardized(const fs::path& path)
{
    std::error_code ec;
    const fs::path absolute = path.is_absolute() ? path : fs::absolute(path, ec);
    return standardized(ec ? path : absolute);
}

// The folder a recorded path names, lexically (nothing is looked at): trimmed, "~" expanded, a
// relative path taken from `baseFolder`; none for a blank path or a relative one without a base.
std::optional<fs::path> readBack(const std::string& path, const std::optional<fs::path>& baseFolder)
{
    const std::string trimmedPath = StringText::trimmed(path);
    if (trimmedPath.empty()) {
        return std::nullopt;
    }
    fs::path folder(UserFolders::expandingTilde(trimmedPath));
    if (folder.is_relative()) {
        // Never the working directory: it may hold another project's like-named folder.
        if (!baseFolder) {
            return std::nullopt;
        }
        folder = *baseFolder / folder;
    }
    return absoluteStandardized(folder);
}

// The text with "./" before a relative path that starts with white space and "/." after one that
// ends with it, so that the trimming of readBack leaves the folder's name whole (an absolute path
// starts with its separator).
std::string guardedFromTrimming(std::string text)
{
    const std::string_view kept = StringText::trimmedView(text);
    if (kept.size() == text.size()) {
        return text;
    }
    // A name of white space only is guarded at both ends.
    const bool leading = kept.empty() || kept.data() != text.data();
    const bool trailing = kept.empty() || kept.data() + kept.size() != text.data() + text.size();
    if (leading) {
        text.insert(0, "./");
    }
    if (trailing) {
        text += "/.";
    }
    return text;
}

} // namespace

std::optional<fs::path> resolvedURL(const std::optional<std::string>& path, const std::optional<fs::path>& baseFolder)
{
    if (!path) {
        return std::nullopt;
    }
    std::optional<fs::path> folder = readBack(*path, baseFolder);
    std::error_code ec;
    if (!folder || !fs::is_directory(*folder, ec)) {
        return std::nullopt;
    }
    return folder;
}

std::optional<std::string> storedText(const fs::path& folder, const std::optional<fs::path>& documentFile)
{
    const fs::path target = absoluteStandardized(folder);
    const std::optional<fs::path> base =
        documentFile ? std::optional(absoluteStandardized(*documentFile).parent_path()) : std::nullopt;
    const auto readsBack = [&](const std::string& text) {
        return Utf8::isValid(text) && readBack(text, base) == target;
    };
    // An absolute path as it is given (as documents have always held it), else its standard form.
    for (const std::string& given : {folder.is_absolute() ? folder.string() : target.string(), target.string()}) {
        if (std::string absolute = guardedFromTrimming(given); readsBack(absolute)) {
            return absolute;
        }
    }
    if (!base) {
        return std::nullopt;
    }
    const fs::path relative = target.lexically_relative(*base);
    const bool below = !relative.empty() && std::none_of(relative.begin(), relative.end(),
                                                         [](const fs::path& part) { return part == ".."; });
    if (std::string text = guardedFromTrimming(relative.string()); below && readsBack(text)) {
        return text;
    }
    return std::nullopt;
}

} // namespace MediaFolderPath

} // namespace velmora
