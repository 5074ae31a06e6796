#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <vector>
#include <optional>
#include <string>

#include "editing/TimelineFrameMap.h"
#include "model/EditorJobV2.h"
#include "model/Job.h"
#include "platform/media/Asset.h"
#include "platform/media/OutputSettings.h"

namespace velmora::Exporter {

// The frame rate and exact time base of an export: frame n is stamped at n · step / timescale
// seconds; fps is the rate used for all other arithmetic (returned unrounded).
struct FrameTiming {
    double fps = 30;
    std::int32_t timescale = 30;
    std::int64_t step = 1;

    bool operator==(const FrameTiming&) const = default;
};

// The export rate for an asset: a job rate above 0 as given; otherwise the asset's first video
// track's nominal rate, with the rates next to the NTSC ones moved onto them (nearNtscRate:
// 59.7–60.2 gives 59.94, 29.8–30.2 gives 29.97, 23.8–24.2 gives 23.976) and any other rate the
// track's own (exactFrameRate: 12.5 stays 12.5); 30 with no asset, no video track or no usable
// rate.
double chooseFps(const Asset* asset, std::optional<double> jobFps);

// A rate on its time base (rateTimebase). A rate without a time base of its own (not a finite
// number above 0, or too large for the 32-bit timescale) is timed, and returned, as 30.
FrameTiming fpsToTimebase(double fps);

// The frame timing of a timeline job (or a preview): fpsNum / fpsDen when both are at least 1
// (and fpsNum below 2^31), else chooseFps with the output's fps when an asset is given, else the
// output's fps, 30 without one (a rate that is not above 0 and finite counts as none).
FrameTiming resolveFps(const Asset* asset, const std::optional<EditorJobV2::Output>& output);
// The same rules for a single-video job.
FrameTiming resolveFps(const Asset& asset, const std::optional<Job::Output>& output);

// Refuses a rate that an export cannot run at (FrameRateLimit: not finite, or above 240 fps)
// with Error("export", 213, FrameRateLimit::refusalText). Exports call it on the rates of their
// job and on the rate they resolved, before anything is written.
void requireExportableFps(double fps);

// The file type of a movie: MPEG-4 when the output path's extension (any case) is mp4 or m4v,
// QuickTime when it is mov; for any other name MPEG-4 when `container` (any case) is "mp4" or
// "m4v", QuickTime otherwise.
FileType movieFileType(const std::filesystem::path& outputURL, const std::optional<std::string>& container);
// The container of a single-video export.
FileType singleVideoFileType(const std::filesystem::path& outputURL, const Job& job);

// The rate a source track's frames lie at: one rule with the monitor's (editing/TimelineFrameMap.h).
using velmora::trackFrameRate;

// The frame rule of a job's timeline on an export's grid: its clips (image clips as pictures when
// `includeImages`) and what is known of its sources' video. Every export route asks it which
// source frame an output frame shows.
TimelineFrameMap timelineFrameMap(const std::vector<EditorJobV2::Clip>& clips, const FrameTiming& timing,
                                  std::map<std::string, SourceVideo> sources, bool includeImages = false);

// The rate a preview still is snapped with: the first video track's trackFrameRate, else the job
// output's rate as resolveFps gives it without an asset, at least 1.
double previewFrameRate(const Asset* asset, const std::optional<EditorJobV2::Output>& output);

} // namespace velmora::Exporter
