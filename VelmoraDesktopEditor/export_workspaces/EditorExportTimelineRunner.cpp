#include "export_workspaces/EditorExportTimelineRunner.h"

#include <cerrno>

#include <unistd.h>

#include "export/TimelineExport.h"
#include "model/EditSession.h"
#include "model/EditorJobV2.h"
#include "platform/foundation/FileError.h"
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
    const std::string text = session.renderJobText();
    // Written through the claim's own descriptor: the lock stays on the file that is read back.
    ClaimedScratchFile claim(folder, renderJobNaming(), "Could not write", folder);
    // The job file serves this run only; removed before its lock goes.
    const RemovedOnExit removal(claim.path());
    for (std::size_t written = 0; written < text.size();) {
        const ssize_t n = ::write(claim.writeDescriptor(), text.data() + written, text.size() - written);
        if (n < 0 && errno != EINTR) {
            throw FileError::fromErrno(errno, "Could not write", claim.path());
        }
        written += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    if (claim.closeWriteDescriptor() != 0) {
        throw FileError::fromErrno(errno, "Could not write", claim.path());
    }
    const std::filesystem::path jobURL = claim.path();
    // The engine renders what the file says, exactly as a job handed to the 10-bit Export
    // workspace would be rendered; the destination's name decides the container.
    const EditorJobV2 job = EditorJobV2::fromJSON(readFileContents(jobURL));
    return Exporter::exportEditorTimeline(job, std::nullopt, request.mediaFolder, request.outputURL,
                                          request.bitrateBps, request.codec, "rec709", 1, 1, 0, 0,
                                          request.sessionFile, progress, isCancelled);
}

} // namespace velmora
