#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QObject>

#include "export/ExportResult.h"
#include "export/TimelineExportProgress.h"
#include "export_workspaces/EditorExportFormat.h"
#include "export_workspaces/EditorExportRunner.h"
#include "export_workspaces/OrphanedExports.h"
#include "platform/ui/FilePanels.h"

namespace velmora {

class Clock;
class EditSession;
class ExportCancelToken;
class FilePanels;
class FileRevealer;
class MainQueue;
class TimelinePreviewEngine;

// The services the export sheet runs on. Each empty one is replaced by the application's:
// QtFilePanels (parentless; the sheet passes panels over itself), DesktopFileRevealer,
// EditorExportTimelineRunner over the temporary folder, QtMainQueue and systemClock().
struct ExportSheetServices {
    std::shared_ptr<FilePanels> filePanels;
    std::shared_ptr<FileRevealer> fileRevealer;
    std::shared_ptr<EditorExportRunner> exporter;
    std::shared_ptr<MainQueue> mainQueue;
    // Monotonic seconds; times the run for the estimated time remaining.
    std::shared_ptr<Clock> clock;
};

// The state and rules of the Edit workspace's export sheet ("Export Timeline"): the format and
// bit rate, the destination panel, one export run at a time with its progress, estimated time,
// cancellation, outcome and reveal. EditorExportSheet shows it.
//
// Threads: main thread only, apart from the export worker. Each run gets a dedicated thread (an
// export can take hours) that works on a copy of the session taken on the main thread; its
// progress and its end come back through the main queue and are dropped once the controller is
// gone (the export itself goes on and its movie is still written). The cancel token is the only
// object both sides touch.
//
// Properties notify after each write, also of an equal value.
class ExportSheetController final : public QObject {
    Q_OBJECT
public:
    static constexpr double minimumBitrateMbps = 20;
    static constexpr double maximumBitrateMbps = 250;
    static constexpr double bitrateStepMbps = 5;
    static constexpr double defaultBitrateMbps = 150;

    // `onDismiss` asks the owner to close the sheet; the sheet never closes itself.
    ExportSheetController(TimelinePreviewEngine& engine, std::optional<std::filesystem::path> mediaFolderURL,
                          std::optional<std::filesystem::path> sessionFileURL, std::function<void()> onDismiss,
                          ExportSheetServices services = {}, QObject* parent = nullptr);
    ~ExportSheetController() override;

    ExportSheetController(const ExportSheetController&) = delete;
    ExportSheetController& operator=(const ExportSheetController&) = delete;

    // ---- state ----

    EditorExportFormat format() const { return format_; }
    // Megabits per second for HEVC and H.264; kept while ProRes 422 is chosen.
    double bitrateMbps() const { return bitrateMbps_; }
    bool isExporting() const { return isExporting_; }
    const std::string& status() const { return status_; }
    // The "Export Error" alert is up, showing errorText().
    bool showError() const { return showError_; }
    const std::string& errorText() const { return errorText_; }
    // 0 … 1.
    double progressFraction() const { return progressFraction_; }
    const std::string& progressDetail() const { return progressDetail_; }
    // Clock seconds at which the current (or last) run started.
    std::optional<double> exportStartedAt() const { return exportStartedAt_; }

    // Ignored while exporting (the controls are disabled then).
    void setFormat(EditorExportFormat format);
    // Clamped to 20 … 250 and snapped to steps of 5; ignored while exporting.
    void setBitrateMbps(double mbps);
    // The alert was dismissed (false).
    void setShowError(bool shown);

    // ---- what the sheet shows ----

    // Not exporting, a project open in the engine and a media folder given.
    bool canExport() const;
    bool showsBitrateRow() const { return EditorExportFormats::usesBitrate(format_); }
    // "Exporting…" or "Choose Output & Export".
    std::string exportButtonTitle() const;
    // "150 Mbps".
    std::string bitrateText() const;
    // "12.3%".
    std::string percentText() const;
    // The text after "ETA ", now; none when no estimate is worth showing.
    std::optional<std::string> estimatedTimeRemaining() const;

    // The estimate after `elapsed` = now − startedAt seconds at `fraction` done: elapsed ÷
    // fraction − elapsed, shown only while exporting, past 2 % and from 5 s up, as "42s" or
    // "62m 05s" (no hours).
    static std::optional<std::string> estimatedTimeRemaining(bool isExporting, double fraction,
                                                             std::optional<double> startedAt, double now);
    // The project's name as it stands (or "timeline" without one) + "_export." + the extension.
    static std::string proposedOutputName(const EditSession& session, EditorExportFormat format);
    // The save panel for the output: the proposed name, the format's movie types (a typed name
    // ending in none of them gets the format's extension, an MPEG-4 name for ProRes 422 becomes
    // a QuickTime one) and, for a saved project, the project's folder to start in.
    static FilePanelRequest outputPanelRequest(const EditSession& session, EditorExportFormat format,
                                               const std::optional<std::filesystem::path>& sessionFileURL);

    // ---- actions ----

    // "Choose Output & Export": asks for a destination and starts a run when one is chosen.
    // Nothing without a project or media folder, or while a run is going.
    void pickOutputAndExport();
    // Starts a run of `session` (the engine's) to `output`: brings the engine's clip timing up
    // to date, copies the session and hands the copy to a new worker thread.
    void runExport(const std::shared_ptr<EditSession>& session, const std::filesystem::path& mediaFolder,
                   const std::filesystem::path& output);
    // "Cancel Export": the run stops at the export engine's next cancel query.
    void requestCancel();
    // "Close" and Escape: calls onDismiss and answers true, except while a run is going (a
    // closed sheet would leave the run without a way to cancel it): then nothing, false.
    bool requestDismiss();

signals:
    void formatChanged();
    void bitrateMbpsChanged();
    void isExportingChanged();
    void statusChanged();
    void showErrorChanged();
    // progressFraction or progressDetail (and with them the percentage and the estimate).
    void progressChanged();
    // canExport() may have changed (the engine's session, or the exporting flag).
    void canExportChanged();

private:
    struct WorkerLink;

    void setIsExporting(bool exporting);
    void setStatus(std::string status);
    void setProgress(double fraction, std::string detail);

    // Main-queue handlers of run `run`; each drops a report of a run that is not the current one.
    void jobStarted(std::uint64_t run, const std::string& formatTitle);
    void progressReported(std::uint64_t run, const TimelineExportProgress& progress);
    void exportFinished(std::uint64_t run, const ExportResult& result, const std::filesystem::path& output);
    void exportFailed(std::uint64_t run, const std::string& message);

    TimelinePreviewEngine& engine_;
    std::optional<std::filesystem::path> mediaFolderURL_;
    std::optional<std::filesystem::path> sessionFileURL_;
    std::function<void()> onDismiss_;
    ExportSheetServices services_;

    // View state, main thread only.
    EditorExportFormat format_ = EditorExportFormat::hevc10;
    double bitrateMbps_ = defaultBitrateMbps;
    bool isExporting_ = false;
    std::string status_ = "Choose format and destination.";
    bool showError_ = false;
    std::string errorText_;
    double progressFraction_ = 0;
    std::string progressDetail_;
    std::optional<double> exportStartedAt_;

    // Shared with every run's worker for the controller's whole life.
    std::shared_ptr<ExportCancelToken> cancelToken_;
    // The worker's way back to the main queue; closed when the controller goes.
    std::shared_ptr<WorkerLink> link_;
    // Number of the newest run (main thread).
    std::uint64_t runNumber_ = 0;
    // The newest run's thread: joined once its run has ended, else left to finish on its own.
    OrphanedExports::Worker worker_;
};

} // namespace velmora
