#include "export_workspaces/EditorExportTimelineRunner.h"

#include "export/TimelineExport.h"
#include "model/EditSession.h"
#include "model/EditorJobV2.h"
#include "platform/foundation/FileReading.h"
#include "platform/foundation/RemovedOnExit.h"
#include "platform/foundation/Uuid.h"

namespace velmora {

EditorExportTimelineRunner::EditorExportTimelineRunner(std::filesystem::path jobFolder)
    : jobFolder_(std::move(jobFolder))
{
}

std::filesystem::path EditorExportTimelineRunner::renderJobPath(const std::filesystem::path& folder)
{
    return folder / ("velmora_editor_export_" + Uuid::randomText().substr(0, 8) + ".json");
}

ExportResult EditorExportTimelineRunner::run(const EditSession& session, const EditorExportRequest& request,
                                             const Exporter::TimelineProgressCallback& progress,
                                             const Exporter::CancellationCallback& isCancelled)
{
    const std::filesystem::path jobURL =
        renderJobPath(jobFolder_.empty() ? std::filesystem::temp_directory_path() : jobFolder_);
    // The job file serves this run only.
    const RemovedOnExit removal(jobURL);
    session.writeRenderJob(jobURL);
    // The engine renders what the file says, exactly as a job handed to the 10-bit Export
    // workspace would be rendered; the destination's name decides the container.
    const EditorJobV2 job = EditorJobV2::fromJSON(readFileContents(jobURL));
    return Exporter::exportEditorTimeline(job, std::nullopt, request.mediaFolder, request.outputURL,
                                          request.bitrateBps, request.codec, "rec709", 1, 1, 0, 0,
                                          request.sessionFile, progress, isCancelled);
}

} // namespace velmora
