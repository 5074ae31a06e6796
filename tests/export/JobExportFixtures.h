#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/image/Geometry.h"
#include "platform/media/PixelBuffer.h"
#include "support/CubeTexts.h"

// Job files, LUTs and movie readers for the tests of job routing, the single-video export, the
// fast single-clip path and the job preview still.
namespace velmora::test {

// Writes `json` as the text of a job file.
void writeJobFile(const std::filesystem::path& path, const nlohmann::json& json);

// A clip of one flat colour (8-bit video-range luma `luma`, neutral chroma) of `frames` frames.
void makeFlatVideo(const std::filesystem::path& path, int luma, int frames, int width = 64, int height = 48,
                   int fps = 25);

// Every frame of the movie's first video track, decoded as 10-bit 4:2:0.
std::vector<PixelBuffer> decodedFrames(const std::filesystem::path& movie);
// The frame stamp of every decoded frame (-1 where none reads).
std::vector<int> decodedStamps(const std::filesystem::path& movie);
// The mean R'G'B' of a decoded frame (BT.709 video range), each 0 … 1.
Color meanColor(const PixelBuffer& frame);

// A single-video job: version 1, the LUT reference and the given output fields.
nlohmann::json singleVideoJob(const std::string& lutCube, const nlohmann::json& output = nlohmann::json::object());

// A timeline job ("velmora-editor-desktop-export", version 2, the job LUT `lutCube`) of one
// timeline "t1" holding `clips`, one source "s1" named `fileName` and a 160 × 96 project at
// 25 fps. Clips as a vector: a braced list of one clip is then an array of one under every
// compiler.
nlohmann::json timelineJob(const std::vector<nlohmann::json>& clips, const std::string& fileName = "a.mp4",
                           const std::string& lutCube = "None");

// Files in `folder` whose names start with `prefix`.
std::vector<std::filesystem::path> filesWithPrefix(const std::filesystem::path& folder, const std::string& prefix);

// Points TMPDIR at a folder while it lives (the process's temporary folder), then restores it.
class ScopedTemporaryFolder {
public:
    explicit ScopedTemporaryFolder(const std::filesystem::path& folder);
    ~ScopedTemporaryFolder();
    ScopedTemporaryFolder(const ScopedTemporaryFolder&) = delete;
    ScopedTemporaryFolder& operator=(const ScopedTemporaryFolder&) = delete;

private:
    std::optional<std::string> previous_;
};

} // namespace velmora::test
