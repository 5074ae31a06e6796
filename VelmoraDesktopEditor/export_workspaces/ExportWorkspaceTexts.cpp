#include "export_workspaces/ExportWorkspaceTexts.h"

#include "export_workspaces/CLocaleFormat.h"

namespace velmora::ExportWorkspaceTexts {

std::string jobKindLabel(JobKind kind)
{
    switch (kind) {
    case JobKind::none:
        return "Select a job JSON to begin.";
    case JobKind::timeline:
        return "Editor Desktop Job (timeline export)";
    case JobKind::singleVideo:
        return "Match Grade Desktop Job (single video)";
    }
    return {};
}

std::string dropHint(JobKind kind)
{
    switch (kind) {
    case JobKind::none:
        return "Drag & drop your Job JSON here";
    case JobKind::timeline:
        return "Drag & drop your Job JSON here (Media Folder required below)";
    case JobKind::singleVideo:
        return "Drag & drop your Job JSON + input video here";
    }
    return {};
}

std::string versionLine(const std::optional<std::string>& shortVersion, const std::optional<std::string>& build)
{
    return "v" + shortVersion.value_or("?") + " (" + build.value_or("?") + ")";
}

std::string exportStartedStatus(const JobLook& look)
{
    // + 0.0 keeps a neutral tint from reading "-0.000".
    return cLocaleFormat("Export started\u2026  Gamma=%s  Comp: C=%.2f S=%.2f B=%.3f T=%+.3f", look.gammaMode.c_str(),
                         look.contrast, look.saturation, look.brightness, look.tint + 0.0);
}

std::string exportProgressStatus(const TimelineExportProgress& progress)
{
    return cLocaleFormat("Exporting\u2026 %.0f%% \u2014 %s (%lld / %lld frames)", progress.fraction() * 100.0,
                         progress.phase.c_str(), static_cast<long long>(progress.framesCompleted),
                         static_cast<long long>(progress.framesTotal));
}

std::string previewCaption(const JobPreviewStill& still)
{
    return still.label
        + cLocaleFormat("  pts=%.3f  [%.2fs\u2013%.2fs]\n", still.pickedTimeSeconds, still.minTimeSeconds,
                        still.maxTimeSeconds)
        + still.debugGrade;
}

std::string previewTimeText(double seconds)
{
    return cLocaleFormat("%.2fs", seconds);
}

} // namespace velmora::ExportWorkspaceTexts
