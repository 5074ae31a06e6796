#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The user's standard folders on a Linux desktop. Read from the environment and the
// XDG user-dirs configuration on every call; nothing is cached.
namespace velmora::UserFolders {

// $HOME when set and not empty, else the home folder of the process's user in the password
// database; none when neither is known.
std::optional<std::filesystem::path> home();

// The user's videos folder: $XDG_VIDEOS_DIR when set, else the XDG_VIDEOS_DIR line of
// $XDG_CONFIG_HOME/user-dirs.dirs (default ~/.config/user-dirs.dirs), with "$HOME" expanded.
// None when neither names a folder, or when it names the home folder itself (the xdg-user-dirs
// way of saying "no videos folder"). The folder need not exist yet.
std::optional<std::filesystem::path> videos();

// The path with a leading "~" or "~/…" replaced by the home folder and "~user/…" by that
// user's home folder; other paths, and a "~" whose home is unknown, are returned unchanged.
std::string expandingTilde(std::string_view path);

} // namespace velmora::UserFolders
