#include "export_workspaces/EngineJobExporter.h"

#include "export/JobPreviewStill.h"
#include "export/JobRouting.h"
#include "export_workspaces/StillImageConversion.h"

namespace velmora {

ExportResult EngineJobExporter::exportJob(const JobExportRequest& request,
                                          std::function<void(const TimelineExportProgress&)> progress,
                                          std::function<bool()> isCancelled)
{
    const JobFiles& files = request.files;
    const JobLook& look = request.look;
    return Exporter::exportJob(files.jobURL, files.lutOverrideURL, files.inputURL, files.mediaFolderURL,
                               request.outputURL, request.bitrateOverrideBps, look.gammaMode, look.contrast,
                               look.saturation, look.brightness, look.tint, std::move(progress), std::move(isCancelled),
                               files.resolvedMedia ? &*files.resolvedMedia : nullptr);
}

JobPreviewStill EngineJobExporter::renderPreviewFrame(const JobPreviewRequest& request)
{
    const JobFiles& files = request.files;
    const JobLook& look = request.look;
    Exporter::PreviewFrameResult result =
        Exporter::renderPreviewFrame(files.jobURL, files.lutOverrideURL, files.inputURL, files.mediaFolderURL,
                                     request.timeSeconds, look.gammaMode, look.contrast, look.saturation,
                                     look.brightness, look.tint,
                                     files.resolvedMedia ? &*files.resolvedMedia : nullptr);
    JobPreviewStill still;
    still.image = stillImageToQImage(result.cgImage);
    still.displayTimeSeconds = result.displayTimeSeconds;
    still.pickedTimeSeconds = result.pickedTimeSeconds;
    still.minTimeSeconds = result.minTimeSeconds;
    still.maxTimeSeconds = result.maxTimeSeconds;
    still.label = std::move(result.label);
    still.debugGrade = std::move(result.debugGrade);
    return still;
}

} // namespace velmora
