#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "export/ExportResult.h"
#include "export/TimelineExportState.h"
#include "model/ResolvedMedia.h"

// The export entry of the "10-bit Export" workspace: a job file of either kind goes to the
// renderer that makes its movie.
namespace velmora::Exporter {

// Codes of job routing (domain "export"), with the messages the workspace shows.
namespace JobRoutingCode {
inline constexpr int noMediaFolder = 200;
inline constexpr int noInputVideo = 201;
} // namespace JobRoutingCode

// Renders the job at `jobURL` into `outputURL` and returns when the movie is written, or throws.
// (The export operation of the design, named for its first argument: `export` is a C++ keyword.)
//
// The job's kind is the one DesktopJobReading::kindOf reads (a file that is not JSON, a top
// level that is not an object or a "tool" that is not text is refused first, naming the file).
// A timeline job (a "tool" of the desktop job tools, or a non-empty "timelines" array) needs
// `mediaFolderURL` (else Error("export", 200, "Choose Media Folder containing your source
// clips.")) and is rendered by the fast single-clip path when its timeline is one plain video
// clip, otherwise by the timeline export (HEVC 10-bit). Any other object is a single-video job:
// it needs `inputURL` (else Error("export", 201, "Choose Input Video.")) and is rendered by the
// single-video export. Both checks come before the whole job is read.
//
// `timelineProgress` hears the timeline export's reports, or the single report 1 of 1 frames
// "Done (fast single-clip)" after a fast-path movie; a single-video job reports nothing. Reports
// arrive on the export's own threads, never on the main thread.
//
// `isCancelled` may be asked from any of the export's threads while it runs; once it answers true
// the export stops, removes its partial movie (an older file at `outputURL` stays as it was) and
// throws Error("export", 248, "Export cancelled."). Empty: never cancelled.
//
// `resolvedMedia`, when it was resolved in `mediaFolderURL`, gives a timeline job's source files
// (resolveTimelineSourceFiles): both renderers read exactly those files.
//
// Blocks the calling thread (not the main thread) for the whole export. A job that does not
// decode is refused naming the file, every field it cannot read and its value
// (DesktopJobReading); errors of reading the job file and of the renderers pass through
// unchanged.
ExportResult exportJob(const std::filesystem::path& jobURL, const std::optional<std::filesystem::path>& lutOverrideURL,
                       const std::optional<std::filesystem::path>& inputURL,
                       const std::optional<std::filesystem::path>& mediaFolderURL,
                       const std::filesystem::path& outputURL, std::optional<std::int64_t> bitrateOverrideBps,
                       const std::string& gammaMode, double compContrast, double compSaturation,
                       double compBrightness, double compTint, TimelineProgressCallback timelineProgress = {},
                       CancellationCallback isCancelled = {}, const ResolvedMedia* resolvedMedia = nullptr);

// The files a timeline job's export and job preview read in `mediaFolderURL`, decided once
// (resolveTimelineSourceFiles), to hand to exportJob and renderPreviewFrame; none for a job
// file that cannot be read or is not a timeline job (the export then reports what it finds).
// Reads the job file and lists the folder: never on the main thread.
std::optional<ResolvedMedia> resolveJobSourceFiles(const std::filesystem::path& jobURL,
                                                   const std::filesystem::path& mediaFolderURL);

// exportJob without taking access to the given locations: for callers that already hold it.
ExportResult routeJob(const std::filesystem::path& jobURL, const std::optional<std::filesystem::path>& lutOverrideURL,
                      const std::optional<std::filesystem::path>& inputURL,
                      const std::optional<std::filesystem::path>& mediaFolderURL,
                      const std::filesystem::path& outputURL, std::optional<std::int64_t> bitrateOverrideBps,
                      const std::string& gammaMode, double compContrast, double compSaturation,
                      double compBrightness, double compTint, const TimelineProgressCallback& timelineProgress,
                      const CancellationCallback& isCancelled = {}, const ResolvedMedia* resolvedMedia = nullptr);

} // namespace velmora::Exporter
