#pragma once

#include "platform/ui/FileRevealer.h"

namespace velmora {

// Reveals through the freedesktop file-manager interface (org.freedesktop.FileManager1
// ShowItems on the session bus), and opens the file's folder when no file manager answers.
class DesktopFileRevealer final : public FileRevealer {
public:
    void reveal(const std::filesystem::path& file) override;
};

} // namespace velmora
