#pragma once

#include <filesystem>
#include <functional>

namespace velmora {

// Shows a file selected in the desktop's file manager ("Show in Folder"). Injected, so tests
// record the call instead of opening a window.
class FileRevealer {
public:
    // Called on the main thread, at most once per reveal and possibly after reveal returned,
    // when nothing on this desktop can show the file: the caller tells the user.
    using Unavailable = std::function<void()>;

    virtual ~FileRevealer() = default;
    virtual void reveal(const std::filesystem::path& file, Unavailable unavailable) = 0;
};

} // namespace velmora
