#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "export/ExportResult.h"
#include "export/FrameTiming.h"
#include "grading/CubeLUT.h"
#include "model/Job.h"
#include "platform/media/Asset.h"

// The single-video match-grade export: one input movie re-encoded as 10-bit HEVC through one
// conversion LUT and the export workspace's look compensation, tint and gamma, its first audio
// track re-encoded as AAC.
namespace velmora::Exporter {

// A run of source frames: `count` frames from source frame `first`, on the source's own grid of
// `sourceFps` frames per second.
struct SourceFrameRange {
    std::int64_t first = 0;
    std::int64_t count = 0;
    double sourceFps = 0;

    bool operator==(const SourceFrameRange&) const = default;
};

// The source frames a single-video job's range shows, as the timeline's frame rule answers for a
// timeline of one clip holding the range (in point sourceInSeconds, at least 0) on the grid of
// `timing`: from the first source frame starting at or after the in point, as many as the
// timeline counts for the range's length (timelineFramesTotal), fewer where the file's video ends
// first. None for a still or a job without a range in order; no frames (count 0) for a range
// whose first frame would start at or past the end of the video.
std::optional<SourceFrameRange> singleVideoFrames(const Job& job, const Asset& asset, const FrameTiming& timing);

// How long the caller waits for a single-video export by default, in seconds.
inline constexpr double singleVideoWaitLimitSeconds = 3600;

// What a caller or a test changes about a single-video export.
struct SingleVideoExportOptions {
    // The input's first audio track goes into the movie; false writes a movie without sound.
    bool sourceAudio = true;
    // The most frames the movie gets: the first ones of the source range; none for all of them.
    std::optional<std::int64_t> frameLimit;
    // How long the calling thread waits for the movie, in seconds.
    double waitLimitSeconds = singleVideoWaitLimitSeconds;
    // Asked from the calling thread while it waits; true stops the export, which then fails with
    // Error("export", 248, "Export cancelled.") and leaves no partial movie. Empty: never.
    std::function<bool()> isCancelled;
};

// Renders `inputURL` through the job's grade into `outputURL` (replaced when it exists) and
// returns when the movie is complete, or throws. Blocks the calling thread, which must not be
// the main thread; decoding, grading and encoding run on the serial queues "export.video" and
// "export.audio", their shared state on "export.state".
//
// The LUT: singleVideoCube's (the override, else the job's own, looked up through
// `mediaFolderURL`); one named that cannot be used is refused before anything is written.
// Frames: those of singleVideoFrames for the range `sourceInSeconds`…`sourceOutSeconds` (the whole
// input when they are absent or not in order), each decoded frame stamped with the next frame
// time of the resolved rate from zero; the sound from the first frame's start starts at zero.
// Size: the source's display size, scaled down to `output.maxWidth` (even sides) when smaller.
// Bit rate: `bitrateOverrideBps`, else the job's `output.targetBitrate`, else 150 Mb/s scaled
// from 2160p59.94 by pixel count and rate, within 20–200 Mb/s.
//
// Errors: Error("export", n) without a message: 1 no video track, 2 the reader refuses the
// 10-bit output, 3 the writer refuses the video input, 4 the writer does not start, 5 the video
// reader does not start (or fails without an error of its own), 50 the audio reader does not
// start, 6 / 61 a frame or audio append fails, 62 the audio reader fails, 7 the movie was not
// completed (also when the wait runs out); 9, with a message, a range that starts after the
// video's last frame, refused before anything is written. Errors of the file system, the readers
// and the writer pass through unchanged in place of these codes; an output that is the input
// file itself is refused (media, writeFailed) before anything is removed.
ExportResult exportSingleVideo(const Job& job, const std::optional<std::filesystem::path>& lutOverrideURL,
                               const std::filesystem::path& inputURL,
                               const std::optional<std::filesystem::path>& mediaFolderURL,
                               const std::filesystem::path& outputURL, std::optional<std::int64_t> bitrateOverrideBps,
                               const std::string& gammaMode, double compContrast, double compSaturation,
                               double compBrightness, double compTint, const SingleVideoExportOptions& options = {});

// The cube a single-video job grades with, on its export and its preview alike: the LUT override
// when one is chosen (LutResolving::forOverrideFile), else the job's `grade.lutCube` as
// LutResolving::forJobReference answers it, a file looked up through `mediaFolder`. None for a
// job without a LUT ("None" or blank). A LUT named but giving no cube is refused before anything
// is written, as a missing source is, with Error("export", 8) saying which LUT and how to give
// one: a LUT override that cannot be used (LutResolving::overrideRefusal), the job's inline text
// that is not usable (saying why), or the job's LUT file that is not usable or not found
// ("Missing LUT file:" and its name).
std::optional<CubeLUT> singleVideoCube(const std::optional<std::filesystem::path>& lutOverrideURL, const Job& job,
                                       const std::optional<std::filesystem::path>& mediaFolder);

// The cube of a LUT reference, never an error: none for "None"; usable .cube text parsed; any
// other text resolved as a LUT file name through `mediaFolder` and parsed when usable; none
// when nothing usable is found or the text does not parse.
std::optional<CubeLUT> singleVideoCubeLoader(const std::string& lutText,
                                             const std::optional<std::filesystem::path>& mediaFolder);

// The movie's frame size for a video track: its display size (rotation applied); when
// `maxWidth` is at least 1 and below that width, both sides scaled by maxWidth / width,
// rounded and made even (at least 2).
std::pair<int, int> singleVideoOutputSize(const AssetTrack& track, std::optional<std::int64_t> maxWidth);

// 150,000,000 × (width × height / 3840 × 2160) × (fps / 59.94), within 20–200 Mb/s, truncated.
std::int64_t singleVideoAutomaticBitrate(int width, int height, double fps);

} // namespace velmora::Exporter
