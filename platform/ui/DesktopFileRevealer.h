#pragma once

#include "platform/ui/FileRevealer.h"

namespace velmora {

// Reveals through the freedesktop file-manager interface (org.freedesktop.FileManager1
// ShowItems on the session bus), else opens the file's folder with the desktop's launcher
// (xdg-open on PATH). A desktop with neither gets nothing to act on: one line in the log, the
// first time only. Main thread only.
class DesktopFileRevealer final : public FileRevealer {
public:
    void reveal(const std::filesystem::path& file) override;

private:
    bool noted_ = false; // the missing file manager has been logged
};

} // namespace velmora
