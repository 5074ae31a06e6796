#pragma once

// Each route of the comparison asked through its own entry point: the export sheet's runner, the
// 10-bit workspace's exporter and its preview of the job the editor hands over, the plans those
// exports render, the fast path's decision, and the Source Viewer's controller.

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "RouteCases.h"
#include "export/FastSingleClipPath.h"
#include "export/TimelineExport.h"
#include "export_workspaces/JobExporter.h"
#include "platform/dispatch/ManualMainQueue.h"

namespace velmora {
class GradedPreviewController;
}

namespace velmora::test::routes {

// An export run through its entry point: refused (with the error), or accepted with its frame
// count; `render` false stops it before its first frame.
struct ExportRun {
    std::optional<Error> refusal;
    std::int64_t framesTotal = 0;
    bool fastPath = false;
};
std::string refusalText(const std::optional<Error>& refusal);

// The sheet's run, as the sheet starts it: the engine's files and LUT answers in the request.
ExportRun sheetRun(const TimelinePreviewEngine& engine, const Case& c, const std::filesystem::path& output, bool render);
// The same run with the request taken on the calling thread, to be run on any thread (as the sheet
// runs it, off the engine's).
std::function<ExportRun()> sheetExport(const TimelinePreviewEngine& engine, const Case& c,
                                       const std::filesystem::path& output, bool render);
// The plan the sheet's export renders, from what its runner hands the export: the render job of
// the session naming the engine's files, those files and the engine's LUT answers.
Exporter::TimelineExportPlan sheetPlan(const TimelinePreviewEngine& engine, const Case& c);
// Where the sheet's export refuses a LUT or a sound file: the plan of the same job with no LUT and
// without the sound clips whose source has no file (neither decides which frame an output frame
// shows), made by the same function. None where it refuses for a picture's file.
std::optional<Exporter::TimelineExportPlan> sheetFramePlan(const TimelinePreviewEngine& engine, const Case& c);

// What the editor hands the 10-bit workspace (the files and LUT answers the monitor decided),
// and the job file it writes. A browser's job (a continued clip with the in point a browser's
// job names, no out points) or one with a job-wide LUT of its own that is missing comes without
// the monitor's answers: the workspace looks its files up. Either may ramp its first clip's speed.
struct Handover {
    std::filesystem::path jobURL;
    // The job file as the workspace's export reads it, read once.
    EditorJobV2 job;
    std::optional<ResolvedMedia> shown;
    JobFiles files;
    const ResolvedMedia* media() const { return files.media->media(); }
};
Handover handOver(const TimelinePreviewEngine& engine, const Case& c);
ExportRun workspaceRun(const Handover& h, const std::filesystem::path& output, bool render);
// The handed job as the workspace's export reads it.
const EditorJobV2& handedJob(const Handover& h);
// The plan the workspace's timeline export renders, from what its job routing hands the export.
Exporter::TimelineExportPlan workspacePlan(const Handover& h);
// The handed job's plan as sheetFramePlan makes the sheet's, where the workspace refuses a LUT.
std::optional<Exporter::TimelineExportPlan> workspaceFramePlan(const Handover& h);
// What the workspace's export refuses of the handed job's LUTs, its sound files aside (a refusal of
// a file comes first and hides it): its refusal of a LUT (214) or none; not known where a
// picture's file is missing.
struct LutVerdict {
    bool known = false;
    std::optional<Error> refusal;
};
LutVerdict workspaceLutVerdict(const Handover& h);
// What the fast path streams of the handed job, by the decision the workspace's export takes
// (which tells no frame count before it is stopped); none where it renders the timeline or
// refuses the job.
std::optional<Exporter::FastPath> fastPathOf(const Handover& h);

// Output frame n of a plan, labelled with the files that plan reads.
Picture planPicture(const Exporter::TimelineExportPlan& plan, std::int64_t n);

// The main queue a controller of the case is given: the harness's, which runs what is posted, and
// a count of what its workers have handed back, so that the case waits for an answer as it
// arrives rather than looking again and again.
class HandBacks final : public MainQueue {
public:
    explicit HandBacks(std::shared_ptr<ManualMainQueue> queue) : queue_(std::move(queue)) {}

    void post(std::function<void()> work) override;
    CancelHandle postDelayed(double seconds, std::function<void()> work) override;
    bool isCurrent() const override { return queue_->isCurrent(); }

    // Runs the harness's queue, and whatever is handed back to it, until `done` holds, waiting
    // (at most `timeoutSeconds` in all) for the next hand-back whenever nothing is left to run.
    // Returns `done()`.
    bool runUntil(const std::function<bool()>& done, double timeoutSeconds);

private:
    std::shared_ptr<ManualMainQueue> queue_;
    std::mutex mutex_;
    std::condition_variable handedBack_;
    std::uint64_t posted_ = 0; // guarded by mutex_
};

// The Source Viewer opened on a timeline clip as the Edit workspace opens it: what it could not
// load, its LUT picker's value and title, the .cube text its graded still is graded through (none:
// no LUT), and the reference "Update Timeline" hands back.
struct SourceViewerAnswer {
    std::optional<std::string> loadError;
    std::string picker;
    std::string title;
    std::optional<std::string> stillLutText;
    std::string handedBack;
};
SourceViewerAnswer askSourceViewer(EngineHarness& harness, const Case& c, const EditSession::Clip& clip);
// The case's Source Viewer edit as the Edit workspace makes it: the viewer opened on the clip with
// the marks the user set, its "Update Timeline" handing the range and the LUT it shows to the
// engine (updateTimelineClipFromSource), and the engine's build of the edited timeline answered
// into `player`. The clip's LUT reference must come back as it was written.
void editInSourceViewer(EngineHarness& harness, const Case& c, PlayerBuild& player);

// The paused monitor's graded still as the program view's controller (made with `handBacks` as its
// main queue) shows it: the engine paused at `at`, once every still it asked for is graded and
// handed back. None while it shows the player's picture.
std::optional<Shown> programStill(EngineHarness& harness, HandBacks& handBacks, GradedPreviewController& controller,
                                  double at);

} // namespace velmora::test::routes
