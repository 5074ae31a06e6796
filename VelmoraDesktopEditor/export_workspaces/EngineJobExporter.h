#pragma once

#include "export_workspaces/JobExporter.h"

namespace velmora {

// The export engine itself: Exporter::exportJob and Exporter::renderPreviewFrame. Stateless;
// one instance may serve several calls at once.
class EngineJobExporter final : public JobExporter {
public:
    ExportResult exportJob(const JobExportRequest& request,
                           std::function<void(const TimelineExportProgress&)> progress,
                           std::function<bool()> isCancelled) override;
    JobPreviewStill renderPreviewFrame(const JobPreviewRequest& request) override;
};

} // namespace velmora
