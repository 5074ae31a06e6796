#include "model/UserFolders.h"

#include <cstdlib>
#include <fstream>
#include <vector>

#include <pwd.h>
#include <unistd.h>

#include "platform/foundation/StringText.h"

namespace velmora::UserFolders {

namespace fs = std::filesystem;

namespace {

std::optional<fs::path> homeFromPasswordDatabase(const char* userName)
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry {};
    passwd* found = nullptr;
    const int status = userName ? ::getpwnam_r(userName, &entry, buffer.data(), buffer.size(), &found)
                                : ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found);
    if (status != 0 || found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] == '\0') {
        return std::nullopt;
    }
    return fs::path(found->pw_dir);
}

// A value of user-dirs.dirs: "$HOME/Videos" or an absolute path, in double quotes, with
// backslash escapes.
std::optional<fs::path> parseUserDirValue(std::string_view value, const fs::path& homeFolder)
{
    std::string text = StringText::trimmed(value);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        text = text.substr(1, text.size() - 2);
    }
    std::string unescaped;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            ++i;
        }
        unescaped += text[i];
    }
    if (StringText::hasPrefix(unescaped, "$HOME")) {
        const std::string rest = unescaped.substr(5);
        if (!rest.empty() && rest.front() != '/') {
            return std::nullopt;
        }
        return fs::path(homeFolder.string() + rest);
    }
    if (!unescaped.empty() && unescaped.front() == '/') {
        return fs::path(unescaped);
    }
    return std::nullopt;
}

bool isSameFolder(const fs::path& a, const fs::path& b)
{
    return a.lexically_normal().string() == b.lexically_normal().string()
        || (a.lexically_normal() / "").string() == (b.lexically_normal() / "").string();
}

} // namespace

std::optional<fs::path> home()
{
    if (const char* value = std::getenv("HOME"); value && value[0] != '\0') {
        return fs::path(value);
    }
    return homeFromPasswordDatabase(nullptr);
}

std::optional<fs::path> videos()
{
    const auto homeFolder = home();
    std::optional<fs::path> folder;
    if (const char* value = std::getenv("XDG_VIDEOS_DIR"); value && value[0] != '\0') {
        if (homeFolder) {
            folder = parseUserDirValue(value, *homeFolder);
        } else if (value[0] == '/') {
            folder = fs::path(value);
        }
    } else if (homeFolder) {
        fs::path configHome = *homeFolder / ".config";
        if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/') {
            configHome = config;
        }
        std::ifstream file(configHome / "user-dirs.dirs");
        std::string line;
        while (std::getline(file, line)) {
            const std::string entry = StringText::trimmed(line);
            static constexpr std::string_view key = "XDG_VIDEOS_DIR=";
            if (StringText::hasPrefix(entry, key)) {
                folder = parseUserDirValue(std::string_view(entry).substr(key.size()), *homeFolder);
            }
        }
    }
    if (!folder || (homeFolder && isSameFolder(*folder, *homeFolder))) {
        return std::nullopt;
    }
    return folder;
}

std::string expandingTilde(std::string_view path)
{
    if (path.empty() || path.front() != '~') {
        return std::string(path);
    }
    const std::size_t slash = path.find('/');
    const std::string_view userName = path.substr(1, slash == std::string_view::npos ? std::string_view::npos : slash - 1);
    const std::string_view rest = slash == std::string_view::npos ? std::string_view() : path.substr(slash);
    const auto folder = userName.empty() ? home() : homeFromPasswordDatabase(std::string(userName).c_str());
    if (!folder) {
        return std::string(path);
    }
    std::string base = folder->string();
    if (!rest.empty()) {
        while (!base.empty() && base.back() == '/') {
            base.pop_back();
        }
    }
    return base + std::string(rest);
}

} // namespace velmora::UserFolders
