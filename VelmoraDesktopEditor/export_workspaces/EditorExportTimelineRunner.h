#pragma once

#include <filesystem>

#include "export_workspaces/EditorExportRunner.h"
#include "platform/foundation/ScratchFile.h"

namespace velmora {

// The export sheet's real exporter: writes the session as a render job file, reads it back as an
// EditorJobV2 and renders it with Exporter::exportEditorTimeline, Rec.709 gamma and neutral
// look compensation, no LUT override, reading the sources' files the request hands it (the
// monitor's), else those MediaResolver::sourceFileMap gives for the session and folder.
//
// Render job files are named "velmora_editor_export_" + 8 upper-case hex digits + ".json" and
// are removed from the job folder when the run ends, whatever its outcome. Each is locked while
// its run lives (a ClaimedScratchFile), so that every run first removes those that runs of a
// killed process left behind and leaves those of running exports alone. Stateless apart from the
// folder: one runner may serve any number of runs, one after another or at once.
class EditorExportTimelineRunner final : public EditorExportRunner {
public:
    // `jobFolder`: where render job files go; empty means the user's temporary folder, looked
    // up at each run.
    explicit EditorExportTimelineRunner(std::filesystem::path jobFolder = {});

    ExportResult run(const EditSession& session, const EditorExportRequest& request,
                     const Exporter::TimelineProgressCallback& progress,
                     const Exporter::CancellationCallback& isCancelled) override;

    // The names of render job files.
    static ScratchNaming renderJobNaming();

private:
    std::filesystem::path jobFolder_;
};

} // namespace velmora
