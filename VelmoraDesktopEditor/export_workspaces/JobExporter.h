#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <QImage>

#include "export/ExportResult.h"
#include "export/TimelineExportProgress.h"
#include "model/ResolvedMedia.h"

namespace velmora {

// The look the "10-bit Export" workspace adds on top of a job's own grade: the gamma-mode key
// (passed on unchanged, never interpreted here) and the four compensation values, neutral at
// 1, 1, 0, 0.
struct JobLook {
    std::string gammaMode = "rec709";
    double contrast = 1;
    double saturation = 1;
    double brightness = 0;
    double tint = 0;

    bool operator==(const JobLook&) const = default;
};

// The files of one job: the job JSON and what its kind needs (a media folder for a timeline job,
// an input video and an optional LUT override for a single-video job). Each optional may be
// absent; the engine uses what the job's kind needs.
struct JobFiles {
    std::filesystem::path jobURL;
    std::optional<std::filesystem::path> lutOverrideURL;
    std::optional<std::filesystem::path> inputURL;
    std::optional<std::filesystem::path> mediaFolderURL;
    // For a job the Edit workspace handed over: the files its monitor showed for the sources,
    // which the engine reads instead of looking the job's file names up again.
    std::optional<ResolvedMedia> resolvedMedia;

    bool operator==(const JobFiles&) const = default;
};

// Everything one export run uses, copied on the main thread when the run starts.
struct JobExportRequest {
    JobFiles files;
    std::filesystem::path outputURL;
    // Bits per second; absent means automatic.
    std::optional<std::int64_t> bitrateOverrideBps;
    JobLook look;

    bool operator==(const JobExportRequest&) const = default;
};

// Everything one preview render uses, copied on the main thread when the render starts.
struct JobPreviewRequest {
    JobFiles files;
    double timeSeconds = 0;
    JobLook look;

    bool operator==(const JobPreviewRequest&) const = default;
};

// One graded still of a job, ready to show: the picture at its pixel size (8-bit, converted on
// the rendering thread) and what the renderer reports about it (seconds throughout).
struct JobPreviewStill {
    QImage image;
    double displayTimeSeconds = 0;
    double pickedTimeSeconds = 0;
    double minTimeSeconds = 0;
    double maxTimeSeconds = 0;
    std::string label;
    std::string debugGrade;
};

// The export engine as the workspace uses it, injected so that tests can stand in for it. Both
// calls block the calling thread, which is never the main thread, and report a failure by
// throwing (velmora::Error for the engine's own failures). Calls may overlap: two preview
// renders, or a render during an export.
class JobExporter {
public:
    virtual ~JobExporter() = default;

    // Writes the movie; `progress` hears reports on the engine's own threads. `isCancelled` may
    // be asked from any thread while the export runs; once true the export stops, leaves no
    // partial movie and throws Error("export", 248, "Export cancelled.").
    virtual ExportResult exportJob(const JobExportRequest& request,
                                   std::function<void(const TimelineExportProgress&)> progress,
                                   std::function<bool()> isCancelled) = 0;
    // Renders one graded still of the job.
    virtual JobPreviewStill renderPreviewFrame(const JobPreviewRequest& request) = 0;
};

} // namespace velmora
