#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "editing/TimelineFrameMap.h"
#include "export/ClipFrameReaders.h"
#include "export/ExportResult.h"
#include "export/FrameTiming.h"
#include "export/TimelineExportState.h"
#include "export/TimelineFrameRenderer.h"
#include "export/WriterSettings.h"
#include "model/EditorJobV2.h"
#include "model/ResolvedMedia.h"
#include "model/LutResolution.h"
#include "platform/dispatch/Clock.h"

namespace velmora::Exporter {

// Faults a test injects into a timeline export to reach its failure paths; all off by default.
struct TimelineExportFaults {
    ClipReaderFaults readers;
    // Frame n gets no pixel buffer (220).
    std::function<bool(std::int64_t frame)> refusePixelBuffer;
    // Frame n is refused by the writer without an error of its own (221).
    std::function<bool(std::int64_t frame)> refuseAppend;
    // Audio chunk n is refused by the writer without an error of its own (241).
    std::function<bool(std::int64_t chunk)> refuseAudioAppend;
    // The audio mix ends failed without an error of its own (242).
    bool audioMixFailsSilently = false;
    // Called on the audio thread once the mix has ended, before the end is acted on.
    std::function<void(TimelineExportState&)> atEndOfMix;
    // The writer stops on its own (as after an encoder failure) once frame n is in.
    std::function<bool(std::int64_t frame)> stopWriterAfter;
    // How long the caller waits for the export, in seconds (298); 14,400 when absent.
    std::optional<double> waitLimitSeconds;
    // The writer ends neither completed nor with an error of its own (299).
    bool writerLosesOutcome = false;
    // The clock that throttles progress reports.
    std::shared_ptr<Clock> clock;
};

// What a timeline export renders, decided and checked before any file is touched.
struct TimelineExportPlan {
    // What its frame renderer starts from: the timeline's clips and overlays, the output size,
    // the time base and frame count, the visual sources opened (their headers only), the
    // job-wide LUT and each clip's LUT text. The look the export adds on top (compensation,
    // gamma) and its faults are the export's own.
    TimelineRenderSetup render;
    // The file each source reads, by source id.
    std::map<std::string, std::filesystem::path> sourceFiles;
    // The LUT answers of the job and its clips.
    ResolvedLuts luts;
    FrameTiming timing;
    // Which clip, source and source frame each output frame shows, or a gap: the frame rule over
    // the opened sources (renderFrameMap of `render`), which the renderer reads by.
    TimelineFrameMap frameMap;
};

// The plan of the export of the job's timeline (exportEditorTimeline's own): its timeline, length
// and size; the files of its sources (resolveTimelineSourceFiles, exactly `resolvedMedia`'s when
// it was resolved in `mediaFolderURL`), each one needed there (requireSourceFiles); its LUT
// answers (timelineLuts, taking those `resolvedLuts` holds as they are), each one that grades
// nothing refused (requireLuts, with `lutOverrideURL`); its sources opened; its frame timing,
// frame count and frame rule. Throws what those steps throw, in that order. Reads the files'
// headers only; any thread.
TimelineExportPlan planTimelineExport(const EditorJobV2& job, const std::optional<std::filesystem::path>& lutOverrideURL,
                                      const std::filesystem::path& mediaFolderURL,
                                      const std::optional<std::filesystem::path>& sessionFile,
                                      const ResolvedMedia* resolvedMedia = nullptr,
                                      const ResolvedLuts* resolvedLuts = nullptr);

// Renders the active timeline of a decoded job into a movie at `outputURL` and returns when the
// movie is complete, or throws.
//
// Every output frame shows one clip (lowest lane, then the later start), read at the source
// time its in point, speed and speed ramp give, graded with its LUT (or the job's, or
// `lutOverrideURL`'s), mood and basic grade, faded over black, with the timeline's text over
// it, then the export-wide look compensation and gamma of `gammaMode`. The timeline's audio
// clips are mixed to 48 kHz stereo AAC. Decoding, grading and encoding run on threads of their
// own and overlap; the calling thread waits (at most 14,400 s).
//
// The job is checked, and every source opened, before anything is written: the export renders
// its plan (planTimelineExport). The movie is written beside `outputURL` and moved over it only
// once complete, so a refused or failed export leaves no partial movie and any earlier file at
// `outputURL` as it was.
//
// `progress` is called on the export's own threads and on the calling thread: "Rendering
// video" (throttled to every 12 frames and at least 0.2 s apart), "Encoding audio…",
// "Finalizing…" and "Done". `isCancelled` is polled before every frame and every audio chunk,
// from the video and audio threads (possibly at once); true ends the export with
// Error("export", 248, "Export cancelled."). Both callbacks must be safe to call from any thread.
//
// `resolvedMedia` (for `mediaFolderURL`) gives the file of each source, as the editor decided
// it; without it the sources are looked up by name (resolveTimelineSourceFiles).
//
// `resolvedLuts`, when given, holds the LUT answers the caller decided for this job (by clip key,
// and the job's own): they are taken as they are, and only clips it lacks are looked up.
//
// Errors: domain "export" 210, 211, 212, 213 and 214 (job), 220, 221 (frames), 231–234 (readers),
// 239, 241, 242, 248, 298, 299 (writer, audio, cancel, time-out); the errors of the media layer,
// the file system and the .cube parser pass through unchanged.
ExportResult exportEditorTimeline(const EditorJobV2& job, const std::optional<std::filesystem::path>& lutOverrideURL,
                                  const std::filesystem::path& mediaFolderURL, const std::filesystem::path& outputURL,
                                  std::optional<std::int64_t> bitrateOverrideBps, EditorVideoCodec codec,
                                  const std::string& gammaMode, double compContrast, double compSaturation,
                                  double compBrightness, double compTint,
                                  const std::optional<std::filesystem::path>& sessionFile,
                                  TimelineProgressCallback progress, CancellationCallback isCancelled,
                                  const TimelineExportFaults& faults = {},
                                  const ResolvedMedia* resolvedMedia = nullptr,
                                  const ResolvedLuts* resolvedLuts = nullptr);

} // namespace velmora::Exporter
