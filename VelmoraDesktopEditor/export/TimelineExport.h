#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "editing/TimelineFrameMap.h"
#include "export/ClipFrameReaders.h"
#include "export/ExportResult.h"
#include "export/TimelineExportState.h"
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
// The job is checked, and every source opened, before anything is written; the movie is
// written beside `outputURL` and moved over it only once complete, so a refused or failed
// export leaves no partial movie and any earlier file at `outputURL` as it was.
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
// Which clip, source and source frame each output frame of the job's timeline export shows, or a
// gap, without rendering: the export's own frame rule over the files it would open (their headers
// only), reading the files `resolvedMedia` gives as the export does. Throws what the export's
// set-up throws for the timeline, its length and its files.
TimelineFrameMap timelineExportFrameMap(const EditorJobV2& job, const std::filesystem::path& mediaFolderURL,
                                        const ResolvedMedia* resolvedMedia = nullptr);

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
