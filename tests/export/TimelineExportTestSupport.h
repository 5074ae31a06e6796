#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "export/TimelineExport.h"
#include "model/EditorJobV2.h"
#include "platform/media/PixelBuffer.h"

// Jobs, media and output readers for the timeline export's tests.
namespace velmora::test {

using Clip = EditorJobV2::Clip;

constexpr int kWidth = 160;
constexpr int kHeight = 96;

Clip videoClip(const std::string& id, const std::string& sourceId, int lane, double start, double duration,
               double inPoint = 0, std::optional<double> speed = std::nullopt);
Clip imageClip(const std::string& id, const std::string& sourceId, int lane, double start, double duration);
Clip audioClip(const std::string& id, const std::string& sourceId, int lane, double start, double duration,
               double inPoint = 0);
EditorJobV2::Source source(const std::string& id, const std::string& fileName);

// A job of one timeline "t1" with these sources and clips, 160 × 96 at `fps`, no LUT.
EditorJobV2 makeJob(std::vector<EditorJobV2::Source> sources, std::vector<Clip> clips, double fps = 25,
                    int width = kWidth, int height = kHeight);

// A frame-stamp clip (the frame number as luma bars) of `frames` frames at fpsNum / fpsDen.
void makeStampClip(const std::filesystem::path& path, int frames, int fpsNum = 25, int fpsDen = 1,
                   bool withAudio = false, double toneFrequency = 440);
// A clip of one flat grey: luma code `luma` (8-bit, video range), neutral chroma.
void makeFlatClip(const std::filesystem::path& path, int luma, int frames, int fpsNum = 25);

struct ExportOptions {
    Exporter::EditorVideoCodec codec = Exporter::EditorVideoCodec::h264;
    std::optional<std::int64_t> bitrate = 2000000;
    std::string gammaMode = "rec709";
    double compContrast = 1;
    double compSaturation = 1;
    double compBrightness = 0;
    double compTint = 0;
    std::optional<std::filesystem::path> lutOverride;
    Exporter::TimelineProgressCallback progress;
    Exporter::CancellationCallback isCancelled;
    Exporter::TimelineExportFaults faults;
};

ExportResult exportJob(const EditorJobV2& job, const std::filesystem::path& mediaFolder,
                       const std::filesystem::path& output, const ExportOptions& options = {});

// Every frame of the movie's video, decoded in `format`.
std::vector<PixelBuffer> decodeFrames(const std::filesystem::path& movie, PixelFormat format = PixelFormat::p010);
// The movie's sound as interleaved 48 kHz stereo float samples; empty without an audio track.
std::vector<float> decodeAudio(const std::filesystem::path& movie);
// The frame stamp of every frame; -1 where a frame shows no stamp.
std::vector<int> frameStamps(const std::filesystem::path& movie);
std::vector<int> frameStamps(const std::vector<PixelBuffer>& frames);
// The mean luma of a 4:2:0 or 4:2:2 frame as an 8-bit video-range code value.
double meanLuma(const PixelBuffer& frame);
// The luma of one pixel as an 8-bit video-range code value.
double lumaAt(const PixelBuffer& frame, int x, int y);

// The files in a folder (names), hidden ones included.
std::vector<std::string> folderContents(const std::filesystem::path& folder);

// A LUT_3D_SIZE 3 cube text whose entries are the lattice colour times `gain`: every colour
// comes out scaled by `gain`.
std::string scaledCube(double gain);
// A LUT_3D_SIZE 3 cube text mapping each component c to offset + gain · c.
std::string affineCube(double gain, double offset);
// scaledCube without its final line break.
std::string trimmedCube(double gain);

} // namespace velmora::test
