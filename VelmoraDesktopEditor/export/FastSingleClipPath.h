#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "export/ExportResult.h"
#include "export/TimelineExportState.h"
#include "model/EditorJobV2.h"
#include "model/ResolvedMedia.h"
#include "platform/media/Asset.h"

// The fast single-clip path: a timeline job that is one plain video clip played straight
// through is rendered by streaming its source through the single-video export instead of the
// timeline renderer.
namespace velmora::Exporter {

// The prefix of the temporary single-video job the fast path writes into the temporary folder.
inline constexpr const char* fastPathJobFilePrefix = "velmora_10bit_fast_";

// A timeline job the fast path can take: its one video clip and that clip's source file.
struct FastSingleClipCandidate {
    EditorJobV2::Clip clip;
    std::filesystem::path inputURL;
};

// Whether the job's active timeline (else its first) is one video clip alone: no text, image,
// audio or sound clip; one clip of kind "video"; starting within 0.05 s of zero; at normal
// speed without a ramp; with a source whose file the media resolver finds (or that lies in the
// media folder under its file name). None otherwise; never fails.
// Its file is the one resolveTimelineSourceFiles gives (exactly `resolved`'s when it is given for
// this folder).
std::optional<FastSingleClipCandidate> fastSingleClipCandidate(const EditorJobV2& job,
                                                               const std::filesystem::path& mediaFolderURL,
                                                               const ResolvedMedia* resolved = nullptr);

// The source frames the timeline export shows for the fast path's clip, as the timeline's frame
// rule (timelineFrameMap) answers: `count` frames (the timeline's, timelineFramesTotal) from
// `first`, on the source's own grid of `sourceFps` (sourceFrameRate). None unless every one of
// the timeline's frames shows the clip's source frame `first` + n (a clip off the start, a gap,
// a timeline running on past the clip or a source ending before the last of them): the timeline
// export then renders the job.
struct FastPathFrames {
    std::int64_t first = 0;
    std::int64_t count = 0;
    double sourceFps = 0;

    bool operator==(const FastPathFrames&) const = default;
};
std::optional<FastPathFrames> fastPathFrames(const EditorJobV2& job, const EditorJobV2::Clip& clip, const Asset& input);

// What the fast path streams for a job: its clip and file, that file opened, the frames it writes,
// and the export's LUT answers (timelineLuts, decided once) the decision was made by.
struct FastPath {
    FastSingleClipCandidate candidate;
    std::shared_ptr<const Asset> input;
    FastPathFrames frames;
    ResolvedLuts luts;
};

// The fast path's decision for a job, the one its export takes: a candidate
// (fastSingleClipCandidate) whose file opens, whose streamed movie is the one the timeline export
// would write, and whose frames the timeline shows one after another (fastPathFrames). The movie
// is the timeline export's where the clip carries no grade of its own (a LUT, as the export's
// answers have it, a mood or a basic grade), no fade and full opacity; the job's output size
// (else the project's; a job that names none asks for none) is the source's display size; and
// the rate the single-video export would write at (the timeline export's, timelineFrameTiming) is
// the source's own (trackFrameRate), so no frame is retimed. None: the timeline export renders
// the job. A clip LUT that is missing is refused here (requireLuts) as the timeline export
// refuses it, and a rate the timeline export refuses with the same error.
std::optional<FastPath> fastPathFor(const EditorJobV2& job, const std::optional<std::filesystem::path>& lutOverrideURL,
                                    const std::filesystem::path& mediaFolderURL,
                                    const ResolvedMedia* resolvedMedia = nullptr);

// The temporary single-video job for a clip's source range [sourceIn, sourceOut]: version 1,
// the job's LUT reference, the range, and an output with the frame rate `fps` (the timeline
// export's, timelineFrameTiming), the container the timeline export would write
// (movieFileType), the job's output size (else the project's) when it has one, and the job's
// target bit rate when it has one.
nlohmann::json fastPathTemporaryJob(const EditorJobV2& job, double fps, double sourceIn, double sourceOut,
                                    const std::filesystem::path& outputURL);

// Renders the job through the single-video export when the fast path takes it (fastPathFor),
// writing exactly the frames the timeline export would (fastPathFrames),
// by way of a temporary job file "velmora_10bit_fast_" + 8 characters + ".json" that is removed
// again however the export ends. The movie has no sound, as the timeline export writes a
// timeline without audio clips, whatever the clip's file holds. None when the path does not apply: nothing was written, and
// the caller renders the job with the timeline export. Once the path applies it never declines:
// the temporary file's write error, or the single-video export's error, is thrown.
// A clip LUT that is missing fails the path before anything is written, as it fails the
// timeline export (requireLuts). `isCancelled` is the single-video export's cancel query.
std::optional<ExportResult> tryFastExportTimelineJobAsSingleFile(
    const EditorJobV2& job, const std::optional<std::filesystem::path>& lutOverrideURL,
    const std::filesystem::path& mediaFolderURL, const std::filesystem::path& outputURL,
    std::optional<std::int64_t> bitrateOverrideBps, const std::string& gammaMode, double compContrast,
    double compSaturation, double compBrightness, double compTint, const CancellationCallback& isCancelled = {},
    const ResolvedMedia* resolvedMedia = nullptr);

} // namespace velmora::Exporter
