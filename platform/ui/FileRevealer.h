#pragma once

#include <filesystem>

namespace velmora {

// Shows a file selected in the desktop's file manager ("Show in Folder"). Injected, so tests
// record the call instead of opening a window.
class FileRevealer {
public:
    virtual ~FileRevealer() = default;
    virtual void reveal(const std::filesystem::path& file) = 0;
};

} // namespace velmora
