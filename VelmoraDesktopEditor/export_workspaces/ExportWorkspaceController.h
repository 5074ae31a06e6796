#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <string>

#include <QImage>
#include <QList>
#include <QObject>
#include <QUrl>
#include <nlohmann/json_fwd.hpp>

#include "export_workspaces/ExportWorkspaceServices.h"
#include "export_workspaces/ExportWorkspaceTexts.h"
#include "export_workspaces/OrphanedExports.h"
#include "export_workspaces/OutputSettings.h"
#include "platform/foundation/Error.h"

namespace velmora {

class ExportCancelToken;
class VelmoraWorkflowState;

// The "10-bit Export" workspace without widgets: the job and its inputs, the output file and
// settings, the export run and the graded preview, with every rule and text. ContentView shows
// it and forwards input to it.
//
// Threads: everything here lives on the main thread. Exports and preview renders run on
// threads of their own, on copies taken when they start; their reports come back through the
// main queue and are dropped once this object is gone. Each thread is joined once its end has
// arrived; one still running when this object goes (another mode chosen) goes to
// OrphanedExports: an export is left to finish its file, a render is cancelled. Closing the
// window during an export asks first (quitQuestion); stopping lets the window close at once and
// the application's end waits for the stopped export. File panels are the injected,
// non-blocking ones; their answers are dropped too when this object is gone.
//
// Every field notifies through its own signal after each write, also when the value is equal.
class ExportWorkspaceController final : public QObject {
    Q_OBJECT
public:
    using OptionalPath = std::optional<std::filesystem::path>;
    using JobKind = ExportWorkspaceTexts::JobKind;

    // The preview's debounce after a change of the gamma mode or a compensation value.
    static constexpr double previewRefreshDelaySeconds = 0.25;

    // `workflow` must outlive this object, which reads it and installs its exit guard there.
    // Every service must be set.
    ExportWorkspaceController(VelmoraWorkflowState& workflow, ExportWorkspaceServices services,
                              QObject* parent = nullptr);
    ~ExportWorkspaceController() override;

    // --- The job and its inputs.
    const OptionalPath& jobURL() const { return jobURL_; }
    const OptionalPath& lutOverrideURL() const { return lutOverrideURL_; }
    const OptionalPath& inputURL() const { return inputURL_; }
    const OptionalPath& mediaFolderURL() const { return mediaFolderURL_; }
    const OptionalPath& outputURL() const { return outputURL_; }
    // Written only by updateJobTool(document).
    bool isTimelineJob() const { return isTimelineJob_; }
    JobKind jobKind() const;
    std::string jobKindLabel() const { return ExportWorkspaceTexts::jobKindLabel(jobKind()); }
    std::string dropHint() const { return ExportWorkspaceTexts::dropHint(jobKind()); }
    // True while a drag hovers over the drop zone.
    bool isDropTarget() const { return isDropTarget_; }
    void setDropTarget(bool targeted);

    // A job is loaded and has what its kind needs: a media folder for a timeline job, an input
    // video for a single-video job. Both the export and the preview need this.
    bool inputsComplete() const;

    // --- Output settings.
    // "mp4" or "mov": the container of the output, which its name decides. Choosing an output
    // whose name ends in mov, mp4 or m4v sets it; choosing a container for an output so named
    // gives that output the container's extension. Without an output it is the extension of a
    // proposed timeline output name.
    const std::string& outputContainer() const { return outputContainer_; }
    void setOutputContainer(std::string container);
    // Megabits per second as typed; empty means automatic.
    const std::string& bitrateMbps() const { return bitrateMbps_; }
    void setBitrateMbps(std::string text);
    const std::string& gammaMode() const { return gammaMode_; }
    // A change schedules the debounced preview refresh.
    void setGammaMode(std::string mode);
    double compContrast() const { return compContrast_; }
    double compSaturation() const { return compSaturation_; }
    double compBrightness() const { return compBrightness_; }
    double compTint() const { return compTint_; }
    double compensation(OutputSettings::Compensation which) const;
    // Clamped to the slider's range; a change schedules the debounced preview refresh.
    void setCompensation(OutputSettings::Compensation which, double value);
    // Contrast, saturation, brightness and tint back to 1, 1, 0, 0, in that order.
    void resetCompensation();

    // --- Status and the failure alert.
    const std::string& statusText() const { return statusText_; }
    bool showError() const { return showError_; }
    const std::string& errorText() const { return errorText_; }
    // "Export Failed" after a run, "Job Not Loaded" after a refused job file.
    const std::string& errorTitle() const { return errorTitle_; }
    // The alert was closed.
    void dismissError();

    // --- The export run.
    bool isExporting() const { return isExporting_; }
    bool canExport() const { return !isExporting_ && inputsComplete(); }
    std::string exportButtonTitle() const;
    // An output file is chosen and exists on disk (asked anew on each call).
    bool canRevealOutput() const;

    // --- The preview.
    // Null before the first successful render and after a failed one.
    const QImage& previewImage() const { return previewImage_; }
    bool isPreviewing() const { return isPreviewing_; }
    double previewTimeSeconds() const { return previewTimeSeconds_; }
    double previewMinSeconds() const { return previewMinSeconds_; }
    double previewMaxSeconds() const { return previewMaxSeconds_; }
    const std::string& previewLabel() const { return previewLabel_; }
    // The last render reported a range wider than 0.0001 s, so the time slider shows.
    bool hasPreviewTimeRange() const;
    std::string previewTimeText() const { return ExportWorkspaceTexts::previewTimeText(previewTimeSeconds_); }
    bool canRefreshPreview() const { return !isPreviewing_ && inputsComplete(); }
    // The slider moved; renders nothing until it is released (refreshPreview()).
    void setPreviewTimeSeconds(double seconds);

    // --- Operations (main thread).
    // The five choose buttons; each asks with a file panel and changes nothing when cancelled.
    void pickJob();
    void pickMediaFolder();
    void pickInput();
    void pickLutOverride();
    void pickOutput();

    // Files dropped on the drop zone. True when at least one is a local file; those are applied
    // one at a time, in order, from the main queue (after the drop has returned).
    bool handleDrop(const QList<QUrl>& urls);
    // One dropped file: a ".json" job, a ".cube" LUT override (not for a timeline job), a media
    // folder (timeline job only) or an input video; anything else is ignored.
    void applyDroppedFile(const std::filesystem::path& file);

    std::string defaultOutputName() const;
    // Calls `done` with the output file to export to: outputURL when set, else the file named in
    // a save panel (which becomes outputURL); nothing for a single-video job without an input,
    // or when the panel is cancelled. `done` runs at once or when the panel closes, never after
    // this object is gone.
    void ensureOutputURL(std::function<void(OptionalPath)> done);
    // Takes over the job (and media folder) handed over from the Edit workspace, if any. The job
    // file is read once, and taken as it is; one that cannot be read or is not JSON is refused
    // as a chosen one is (the "Job Not Loaded" alert says why), and the job shown before stays.
    void applyWorkflowHandoff();

    // Exports the job to the output file on a thread of its own (asking for the output first
    // when none is chosen). Does nothing without the inputs an export needs.
    void startExport();
    // "Show in Folder" for the output file.
    void revealOutput();

    // --- Quitting during an export.
    // The question asked when the window is closed (its close button, Ctrl+Q) while an export
    // runs: quitting at once would leave the export's partial file behind.
    struct QuitQuestion {
        std::string title;        // "Stop the export and quit?"
        std::string stopButton;   // "Stop & Quit"
        std::string cancelButton; // "Cancel"

        bool operator==(const QuitQuestion&) const = default;
    };
    // The open question; none while nothing is asked.
    const std::optional<QuitQuestion>& quitQuestion() const { return quitQuestion_; }
    // The user's answer; closes the question. Stopping cancels the export, which removes its
    // partial file (an older movie at the output stays), and lets the window close at once: the
    // export ends on its own thread, which the application's end stops and waits for as it does
    // an export another Mode left running. Cancelling keeps the window and lets the export run on.
    void answerQuitQuestion(bool stop);

    // --- Writing over a movie nobody agreed to replace.
    // Asked when an export would write over an existing file that no save panel confirmed for
    // this job and no export of this job wrote: an output derived beside the input, or renamed
    // by the container picker.
    struct ReplaceQuestion {
        std::string title;         // "\u201Cmaster.mp4\u201D already exists. Do you want to replace it?"
        std::string replaceButton; // "Replace"
        std::string cancelButton;  // "Cancel"
        bool operator==(const ReplaceQuestion&) const = default;
    };
    // The open question; none while nothing is asked.
    const std::optional<ReplaceQuestion>& replaceQuestion() const { return replaceQuestion_; }
    // The user's answer; closes the question. Replacing starts the export (the output counts as
    // confirmed from then on); cancelling starts nothing and leaves the file as it was.
    void answerReplaceQuestion(bool replace);

    // Renders one still of the current settings on a thread of its own, when the inputs are
    // complete.
    void refreshPreview();
    // Replaces any pending refresh with one `delaySeconds` from now; nothing before the first
    // successful still, without complete inputs or while a render runs.
    void schedulePreviewRefresh(double delaySeconds = previewRefreshDelaySeconds);

signals:
    void jobURLChanged();
    void lutOverrideURLChanged();
    void inputURLChanged();
    void mediaFolderURLChanged();
    void outputURLChanged();
    void outputContainerChanged();
    void bitrateMbpsChanged();
    void gammaModeChanged();
    void compContrastChanged();
    void compSaturationChanged();
    void compBrightnessChanged();
    void compTintChanged();
    void statusTextChanged();
    void isExportingChanged();
    void previewImageChanged();
    void isPreviewingChanged();
    void previewTimeSecondsChanged();
    void previewMinSecondsChanged();
    void previewMaxSecondsChanged();
    void previewLabelChanged();
    void showErrorChanged();
    void errorTextChanged();
    void isDropTargetChanged();
    void isTimelineJobChanged();
    void quitQuestionChanged();
    void replaceQuestionChanged();

private:
    using Signal = void (ExportWorkspaceController::*)();
    template <typename T, typename V>
    void assign(T& field, V&& value, Signal changed)
    {
        field = std::forward<V>(value);
        emit(this->*changed)();
    }

    // A job file picked or dropped, read and parsed once (on this thread). A file the export
    // would refuse is refused now, by the reader the export reads it with
    // (DesktopJobReading::refusalOf): one that cannot be read or is not JSON at all (NaN, 1e400,
    // plain text), that is no job (a top level that is not an object, a "tool" that is not
    // text), or that its kind's reader refuses (a key missing, a value of another type, a frame
    // rate out of range: every one found is named). The alert says why, naming the file, and the
    // job shown before stays. So is a named pipe, socket, device or folder in the file's place,
    // by name (refuseUnlessRegularFile). Any other file is loaded.
    void chooseJobFile(const std::filesystem::path& file);
    // Raises the "Job Not Loaded" alert with the refusal's words.
    void refuseJob(const Error& refusal);
    // A LUT override picked or dropped; one that is not a regular file is refused by name and
    // the override before stays.
    void chooseLutOverride(const std::filesystem::path& file);
    // When `file` names something other than a regular file (links followed), raises the alert
    // titled `title` with "Could not read “name”: Is a named pipe, not a file." and answers true.
    // Nothing is opened: a named pipe would wait for a writer.
    bool refuseUnlessRegularFile(const std::filesystem::path& file, std::string title);
    // Makes `file` the job, classified by its JSON (`document`; null when the file could not be
    // read or is not JSON), with a preview that starts afresh.
    void loadJob(const std::filesystem::path& file, const nlohmann::json* document);
    // Classifies the job at jobURL from its JSON (null: unreadable or not JSON) and clears the
    // inputs of the other kind of job.
    void updateJobTool(const nlohmann::json* document);
    // Another job shows nothing of the one before: its still, caption and time range go, the
    // slider goes back to 0, a pending refresh is cancelled and renders still running for it are
    // dropped when they end.
    void forgetPreview();

    JobFiles jobFiles() const;
    JobLook look() const;
    // Runs a file panel and hands its first choice to `chosen`, unless the panel was cancelled or
    // this object is gone by then.
    void askForFile(FilePanelRequest request, std::function<void(std::filesystem::path)> chosen);
    void setInputAndDeriveOutput(const std::filesystem::path& input);
    // The output, with the container its name says, for the job loaded now; `confirmed`: a save
    // panel named it, which asked about an existing file, so it may be written over without asking.
    void setOutputURL(std::filesystem::path output, bool confirmed);
    // Exports to `output`, after the replace question when it exists unconfirmed.
    void exportOrAsk(const std::filesystem::path& output);
    void showContainer(std::string container);
    void onWorkflowJobChanged();

    void beginExport(const std::filesystem::path& output);
    // Starts the worker thread of an export or a render; throws std::system_error when none starts.
    void runExport(JobExportRequest request);
    void runPreview(std::uint64_t requestNumber, JobPreviewRequest request);
    void applyExportProgress(const TimelineExportProgress& progress);
    void finishExport(const std::optional<ExportResult>& result, const std::optional<Error>& failure);
    // The workspace's say before the window closes or another mode is chosen.
    void guardExit(bool quitting, std::function<void()> proceed);

    void applyPreviewOutcome(std::uint64_t requestNumber, const std::optional<JobPreviewStill>& still,
                             const std::optional<Error>& failure);

    VelmoraWorkflowState& workflow_;
    ExportWorkspaceServices services_;
    // The job URL of the hand-over this workspace last saw, to react to changes only.
    OptionalPath handedOverJobURL_;

    OptionalPath jobURL_;
    OptionalPath lutOverrideURL_;
    OptionalPath inputURL_;
    OptionalPath mediaFolderURL_;
    // Which file each source of the job reads in the folder, for the job and folder it was made
    // for (jobFiles).
    mutable std::shared_ptr<JobMediaResolution> mediaResolution_;
    OptionalPath outputURL_;
    // The job the output was chosen for (none: chosen before any job; the next job takes it).
    OptionalPath outputJobURL_;
    bool outputConfirmed_ = false;
    std::optional<ReplaceQuestion> replaceQuestion_;
    std::filesystem::path replaceQuestionOutput_;
    std::string bitrateMbps_;
    std::string gammaMode_ = OutputSettings::gammaModes[0].value;
    double compContrast_ = 1;
    double compSaturation_ = 1;
    double compBrightness_ = 0;
    double compTint_ = 0;
    std::string statusText_ = "Ready";
    bool isExporting_ = false;
    QImage previewImage_;
    bool isPreviewing_ = false;
    double previewTimeSeconds_ = 0;
    double previewMinSeconds_ = 0;
    double previewMaxSeconds_ = 0;
    std::string previewLabel_;
    std::optional<CancelHandle> previewRefreshWorkItem_;
    bool showError_ = false;
    std::string errorText_;
    std::string errorTitle_ = "Export Failed";
    bool isDropTarget_ = false;
    bool isTimelineJob_ = false;
    std::string outputContainer_ = OutputSettings::containers[0].value;

    // The running export's thread; joined once its end has arrived.
    OrphanedExports::Worker exportWorker_;
    // Shared with the running export, whose engine asks it from its own threads.
    std::shared_ptr<ExportCancelToken> cancelToken_;
    std::optional<QuitQuestion> quitQuestion_;
    // The window's close, waiting for the question's answer.
    std::function<void()> afterQuitQuestion_;
    // The export was stopped for the window to close: its end is shown nowhere.
    bool stoppedToQuit_ = false;

    // Preview renders are numbered as they start; an outcome older than the last one applied is
    // dropped, so a slow earlier render cannot replace a newer still.
    std::uint64_t previewRequestsStarted_ = 0;
    std::uint64_t previewRequestApplied_ = 0;
    // Renders numbered up to this were started for a job loaded before the current one.
    std::uint64_t previewRequestsForgotten_ = 0;
    // The running renders' threads by request number, each joined once its outcome has arrived.
    std::map<std::uint64_t, OrphanedExports::Worker> previewWorkers_;
    // Asked by the renders; raised when this object goes, so that none left running is shown.
    std::shared_ptr<ExportCancelToken> previewCancelToken_;
};

} // namespace velmora
