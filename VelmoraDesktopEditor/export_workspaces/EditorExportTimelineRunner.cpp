#include "export_workspaces/EditorExportTimelineRunner.h"

#include "export/TimelineExport.h"
#include "export_workspaces/OutputNaming.h"
#include "model/EditSession.h"
#include "model/EditorJobV2.h"
#include "platform/foundation/FileReading.h"
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
    session.writeRenderJob(jobURL);
    // The engine renders what the file says, exactly as a job handed to the 10-bit Export
    // workspace would be rendered, with one exception: the destination's movie type decides the
    // container. A render job always says "mp4", and the engine lets that win over a ".mov"
    // destination, which would put ProRes 422 into an MPEG-4 file, where it cannot go.
    EditorJobV2 job = EditorJobV2::fromJSON(readFileContents(jobURL));
    const std::string extension = OutputNaming::lowercasedExtension(request.outputURL);
    if (!extension.empty()) {
        if (!job.output) {
            job.output.emplace();
        }
        job.output->container = extension;
    }
    return Exporter::exportEditorTimeline(job, std::nullopt, request.mediaFolder, request.outputURL,
                                          request.bitrateBps, request.codec, "rec709", 1, 1, 0, 0,
                                          request.sessionFile, progress, isCancelled);
}

} // namespace velmora
