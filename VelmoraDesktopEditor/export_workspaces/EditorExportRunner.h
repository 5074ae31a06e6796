#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "export/ExportResult.h"
#include "export/TimelineExportState.h"
#include "export/WriterSettings.h"
#include "model/ResolvedMedia.h"
#include "model/LutResolution.h"

namespace velmora {

class EditSession;

// What one run of the export sheet asks for, read from the sheet when the run starts.
struct EditorExportRequest {
    std::filesystem::path mediaFolder;
    std::filesystem::path outputURL;
    // bitrateMbps × 1,000,000 truncated; passed for every codec (ProRes 422 ignores it).
    std::int64_t bitrateBps = 0;
    Exporter::EditorVideoCodec codec = Exporter::EditorVideoCodec::hevc10;
    // The project document, where clips' LUT files are also looked up; none when never saved.
    std::optional<std::filesystem::path> sessionFile;
    // The file of each source as the monitor shows it (the engine's map), when the engine has
    // one for the session and `mediaFolder`; none: the run resolves the sources itself, off the
    // main thread, with the same lookup.
    std::optional<ResolvedMedia> media;
    // The LUT answers the editor decided for this session and folder (by clip id, and the
    // project's own LUT), taken by the export as they are; none where the export looks up
    // every LUT itself.
    std::optional<ResolvedLuts> luts;
};

// Renders a session's timeline to a movie for the export sheet. Injected so that the sheet's
// rules can be tested without encoding; EditorExportTimelineRunner is the real one.
class EditorExportRunner {
public:
    virtual ~EditorExportRunner() = default;

    // Called on the sheet's export worker thread, never on the main thread, with the worker's
    // own copy of the session; blocks until the movie is written and returns its result, or
    // throws (velmora::Error, a DecodingError, or a file or media error). `progress` and
    // `isCancelled` may be called from any thread until this returns; a true `isCancelled`
    // ends the run with Error("export", 248, "Export cancelled.").
    virtual ExportResult run(const EditSession& session, const EditorExportRequest& request,
                             const Exporter::TimelineProgressCallback& progress,
                             const Exporter::CancellationCallback& isCancelled) = 0;
};

} // namespace velmora
