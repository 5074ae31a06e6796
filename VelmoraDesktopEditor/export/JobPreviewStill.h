#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "editing/TimelineFrameMap.h"
#include "model/EditorJobV2.h"
#include "model/ResolvedMedia.h"
#include "platform/media/Asset.h"
#include "platform/image/Image.h"

// One graded still of a job file, of either kind, for the preview pane of the "10-bit Export"
// workspace.
namespace velmora::Exporter {

struct PreviewFrameResult {
    // The graded still, rendered (its extent at the origin).
    Image cgImage;
    // The requested time after clamping (and, for a timeline job, snapping to the source's
    // frame grid), in seconds of the source.
    double displayTimeSeconds = 0;
    // The time of the frame shown: a decoded frame's own presentation time where the reader
    // delivered it, else the snapped time on a 1/60000 s grid; for a single video the clamped
    // time.
    double pickedTimeSeconds = 0;
    // The range a scrubber may cover: 0 … the video's duration (10 when unknown), or the
    // timeline clip's in … out point (without one, where the frame rule's reading of the clip
    // ends, at its speed).
    double minTimeSeconds = 0;
    double maxTimeSeconds = 0;
    // The input file's name, or the source's file name as the job writes it.
    std::string label;
    // For a timeline job, the grade it applied in one line (see previewGradeDescription).
    std::string debugGrade;
};

// Codes of the job preview (domain "preview"), each with its message.
namespace PreviewStillCode {
inline constexpr int noMediaFolder = 400;      // "Choose Media Folder."
inline constexpr int noTimeline = 401;         // "No timeline in job."
inline constexpr int noVideoClip = 402;        // "No video clip in timeline."
inline constexpr int clipWithoutSource = 403;  // "Clip missing sourceId."
inline constexpr int noSourceEntry = 404;      // "Missing source entry."
inline constexpr int missingSourceFile = 405;  // "Missing source file: " + file name
inline constexpr int timelineRender = 407;     // "Failed to render preview."
inline constexpr int noInputVideo = 410;       // "Choose Input Video."
inline constexpr int decodeFailed = 411;       // "Failed to decode preview frame."
inline constexpr int singleVideoRender = 412;  // "Failed to render preview."
} // namespace PreviewStillCode

// Renders one graded still of the job at `jobURL` at `timeSeconds` (absent: the middle of the
// range). Runs on the calling thread, any thread; calls may overlap.
//
// A single-video job (see exportJob for how kinds are told apart) shows `inputURL` at the time
// clamped to 0 … its duration, at the video's own size, through the LUT its export grades with
// (singleVideoCube: the override, else the job's `grade.lutCube`, a file looked up in
// `mediaFolderURL`) at full strength, refused with the export's own error when that LUT cannot
// be used; a job without a LUT is refused with an error of the cube parser's domain and code
// saying that a LUT override gives the job one.
// A timeline job shows the first video or image clip of its active timeline (else first
// timeline) at a source time clamped to the clip's in … out point and snapped to the source's
// frames, fitted to the job's output size (else the project's, else 1920 × 1080), graded as the
// timeline export grades that clip: its own LUT (inline text, or its LUT file found through the
// media folder) at its strength, else the job-wide LUT (a usable override, else the job's own
// reference) at full strength; then its mood and basic grade. The source's file is the one the
// export reads (resolveTimelineSourceFiles: exactly `resolvedMedia`'s when it was resolved in
// `mediaFolderURL`).
// Both end with the look compensation, the tint compensation and the gamma of `gammaMode`.
//
// Decoded timeline frames are kept in a process-wide cache of six (first stored, first
// evicted), keyed by file, frame and output size, so scrubbing back to a frame only grades.
//
// Throws Error("preview", 400–412) as listed above; a job that does not decode is refused naming
// the file, every field it cannot read and its value (DesktopJobReading, as the export refuses
// it); the errors of reading the job file and
// (on the timeline path) the cube parser pass through. A frame that cannot be decoded on the
// timeline path is black, not an error.
PreviewFrameResult renderPreviewFrame(const std::filesystem::path& jobURL,
                                      const std::optional<std::filesystem::path>& lutOverrideURL,
                                      const std::optional<std::filesystem::path>& inputURL,
                                      const std::optional<std::filesystem::path>& mediaFolderURL,
                                      std::optional<double> timeSeconds, const std::string& gammaMode,
                                      double compContrast, double compSaturation, double compBrightness,
                                      double compTint, const ResolvedMedia* resolvedMedia = nullptr);

// The source frame a timeline job's still shows at `sourceSeconds` of its clip's file, as the
// timeline's frame rule picks it (TimelineFrameMap::pickSourceFrame) on the file's own rate, else
// previewFrameRate's; past the end of the file's video the still's picture is black.
TimelineFrameMap::SourcePick jobPreviewSourceFrame(const Asset* asset, const std::optional<EditorJobV2::Output>& output,
                                                   double sourceSeconds);

// The grade a timeline still applied, in one line:
// "kernels: mood=1 basic=1 tempTint=1  mood=<key> type=<n> enabled=<0|1> amt=<a>  basic: e=… c=…
// hi=… sh=… sat=… vib=… temp=… tint=…" (numbers with three decimals; mood "none", type 0,
// enabled 0, amount 1.000 and zeros without parameters).
std::string previewGradeDescription(const std::optional<EditorJobV2::ClipGrade::GradeParams>& params);

} // namespace velmora::Exporter
