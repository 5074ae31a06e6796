#include "export_workspaces/EditorExportTimelineRunner.h"

#include "export/EditorRenderJob.h"
#include "export/TimelineExport.h"
#include "model/DesktopJobReading.h"
#include "model/EditSession.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FileReading.h"
#include "platform/foundation/RemovedOnExit.h"

namespace velmora {

EditorExportTimelineRunner::EditorExportTimelineRunner(std::filesystem::path jobFolder)
    : jobFolder_(std::move(jobFolder))
{
}

ScratchNaming EditorExportTimelineRunner::renderJobNaming()
{
    return ScratchNaming{"velmora_editor_export_", ".json", 8, "0123456789ABCDEF"};
}

ExportResult EditorExportTimelineRunner::run(const EditSession& session, const EditorExportRequest& request,
                                             const Exporter::TimelineProgressCallback& progress,
                                             const Exporter::CancellationCallback& isCancelled)
{
    const std::filesystem::path folder = jobFolder_.empty() ? std::filesystem::temp_directory_path() : jobFolder_;
    removeStaleScratchFiles(folder, renderJobNaming());
    // The export reads the files the monitor shows (the engine's map), else those the same
    // lookup of the same session in the same folder gives. A folder without media leaves the
    // names as stored, for the export to report. The job file names the files by name, as a
    // browser's render job does; the export itself takes them from `handed.media`, not by name.
    Exporter::EditorRenderJob handed;
    if (request.media && request.media->mediaFolder == request.mediaFolder) {
        handed.media = request.media;
        handed.text = session.renderJobText(&handed.media->files);
    } else {
        handed = Exporter::editorRenderJob(session, request.mediaFolder);
    }
    const std::string& text = handed.text;
    // Written through the claim's own descriptor: the lock stays on the file that is read back.
    ClaimedScratchFile claim(folder, renderJobNaming(), "Could not write", folder);
    // The job file serves this run only; removed before its lock goes.
    const RemovedOnExit removal(claim.path());
    claim.writeAllAndClose(text, "Could not write");
    const std::filesystem::path jobURL = claim.path();
    // The engine renders what the file says, exactly as a job handed to the 10-bit Export
    // workspace would be rendered; the destination's name decides the container.
    const EditorJobV2 job = DesktopJobReading::timelineJobFromText(jobURL, readFileContents(jobURL));
    return Exporter::exportEditorTimeline(job, std::nullopt, request.mediaFolder, request.outputURL,
                                          request.bitrateBps, request.codec, "rec709", 1, 1, 0, 0,
                                          request.sessionFile, progress, isCancelled, {}, handed.resolved(),
                                          request.luts ? &*request.luts : nullptr);
}

} // namespace velmora
