#pragma once

#include <memory>

#include "platform/ui/FileRevealer.h"

namespace velmora {

// Reveals through the freedesktop file-manager interface (org.freedesktop.FileManager1
// ShowItems on the session bus), else opens the file's folder with the desktop's launcher
// (xdg-open on PATH). A desktop with neither cannot show the file: the caller's `unavailable`
// runs, and one line goes to the log, the first time only. The file manager's answer is awaited
// in the event loop, never on the calling thread; its failure (or no answer within
// kFileManagerTimeoutMs) opens the folder then. Main thread only.
class DesktopFileRevealer final : public FileRevealer {
public:
    static constexpr int kFileManagerTimeoutMs = 3000;

    void reveal(const std::filesystem::path& file, Unavailable unavailable) override;

private:
    // The missing file manager has been logged. Shared with the answers still awaited, which may
    // arrive after this object is gone.
    std::shared_ptr<bool> noted_ = std::make_shared<bool>(false);
};

} // namespace velmora
