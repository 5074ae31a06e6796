#pragma once

#include <filesystem>

namespace velmora {

// What an export produced: the movie file (the caller's output path) and the frame rate and
// frame size it was written at.
struct ExportResult {
    std::filesystem::path outputURL;
    double fps = 0;
    int width = 0;
    int height = 0;

    bool operator==(const ExportResult&) const = default;
};

} // namespace velmora
