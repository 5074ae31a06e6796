#pragma once

#include <optional>
#include <string>

#include "export/TimelineExportProgress.h"
#include "export_workspaces/JobExporter.h"

// The texts of the "10-bit Export" workspace that are built from values. Numbers are formatted
// in the C locale.
namespace velmora::ExportWorkspaceTexts {

// What the workspace knows about its job: none loaded, a timeline job or a single-video job.
enum class JobKind { none, timeline, singleVideo };

// The caption of the "1) Job" group.
std::string jobKindLabel(JobKind kind);
// The first line of the drop zone.
std::string dropHint(JobKind kind);

// "v<short version> (<build>)", each missing part as "?".
std::string versionLine(const std::optional<std::string>& shortVersion, const std::optional<std::string>& build);

// The status line when an export starts:
// "Export started…  Gamma=rec709  Comp: C=1.00 S=1.00 B=0.000 T=+0.000".
std::string exportStartedStatus(const JobLook& look);
// The status line for one progress report: "Exporting… 42% — Rendering video (42 / 100 frames)".
std::string exportProgressStatus(const TimelineExportProgress& progress);

// The caption under the preview's buttons: the label, "  pts=<picked %.3f>  [<min %.2f>s–<max
// %.2f>s]", a line feed, then the grade text.
std::string previewCaption(const JobPreviewStill& still);
// The preview time beside the slider: "%.2fs".
std::string previewTimeText(double seconds);

} // namespace velmora::ExportWorkspaceTexts
