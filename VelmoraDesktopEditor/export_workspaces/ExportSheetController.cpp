#include "export_workspaces/ExportSheetController.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <mutex>
#include <system_error>
#include <utility>

#include <QPointer>


#include "export_workspaces/EditorExportTimelineRunner.h"
#include "export_workspaces/ExportSheetCancelToken.h"
#include "export_workspaces/OrphanedExports.h"
#include "export_workspaces/WorkspaceError.h"
#include "model/EditSession.h"
#include "model/JsonDecoding.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/QtMainQueue.h"
#include "platform/foundation/FileError.h"
#include "platform/foundation/ShownText.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/NumberText.h"
#include "platform/ui/DesktopFileRevealer.h"
#include "platform/ui/QtFilePanels.h"
#include "preview/StatusText.h"
#include "preview/TimelinePreviewEngine.h"

namespace velmora {

// How a run's worker reaches the controller: posts to the main queue that run only while the
// controller exists. The controller closes the link when it goes, so a worker that outlives it
// neither posts nor keeps the main queue alive (the queue is released on the main thread).
struct ExportSheetController::WorkerLink {
    explicit WorkerLink(std::shared_ptr<MainQueue> queue_, ExportSheetController* controller_)
        : queue(std::move(queue_)), controller(controller_)
    {
    }

    // Any thread.
    void post(std::function<void(ExportSheetController&)> work)
    {
        std::lock_guard lock(mutex);
        if (!queue) {
            return;
        }
        queue->post([controller = controller, work = std::move(work)] {
            if (controller) {
                work(*controller);
            }
        });
    }

    // Main thread.
    void close()
    {
        std::shared_ptr<MainQueue> released;
        {
            std::lock_guard lock(mutex);
            released = std::move(queue);
        }
    }

    std::mutex mutex;
    std::shared_ptr<MainQueue> queue; // guarded by mutex; none once closed
    // Set on the main thread at construction and only dereferenced there.
    const QPointer<ExportSheetController> controller;
};

namespace {

// The message an alert shows for a failure: the error's own message, without domain or code.
std::string bareMessage(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const Error& error) {
        return error.localizedDescription();
    } catch (const DecodingError& error) {
        return EditSession::decodingErrorDescription(error);
    } catch (const std::exception&) {
        // As the 10-bit Export workspace shows it: never an empty text.
        return workspaceError(std::current_exception()).localizedDescription();
    } catch (...) {
        return "The export failed for an unknown reason.";
    }
}

} // namespace

ExportSheetController::ExportSheetController(TimelinePreviewEngine& engine,
                                             std::optional<std::filesystem::path> mediaFolderURL,
                                             std::optional<std::filesystem::path> sessionFileURL,
                                             std::function<void()> onDismiss, ExportSheetServices services,
                                             QObject* parent)
    : QObject(parent)
    , engine_(engine)
    , mediaFolderURL_(std::move(mediaFolderURL))
    , sessionFileURL_(std::move(sessionFileURL))
    , onDismiss_(std::move(onDismiss))
    , services_(std::move(services))
    , cancelToken_(std::make_shared<ExportCancelToken>())
{
    if (!services_.filePanels) {
        services_.filePanels = std::make_shared<QtFilePanels>();
    }
    if (!services_.fileRevealer) {
        services_.fileRevealer = std::make_shared<DesktopFileRevealer>();
    }
    if (!services_.exporter) {
        services_.exporter = std::make_shared<EditorExportTimelineRunner>();
    }
    if (!services_.mainQueue) {
        services_.mainQueue = std::make_shared<QtMainQueue>();
    }
    if (!services_.clock) {
        services_.clock = systemClock();
    }
    link_ = std::make_shared<WorkerLink>(services_.mainQueue, this);
    connect(&engine_, &TimelinePreviewEngine::sessionChanged, this, &ExportSheetController::canExportChanged);
}

ExportSheetController::~ExportSheetController()
{
    link_->close();
    if (worker_.joinable()) {
        // A run that has ended leaves a thread that is only unwinding; a running one is left to
        // finish its movie on its own, unless the application quits before.
        if (isExporting_) {
            OrphanedExports::adopt(std::move(worker_), cancelToken_);
        } else {
            worker_.join();
        }
    }
}

// ---- state ----

void ExportSheetController::setFormat(EditorExportFormat format)
{
    if (isExporting_) {
        return;
    }
    format_ = format;
    emit formatChanged();
}

void ExportSheetController::setBitrateMbps(double mbps)
{
    if (isExporting_ || !std::isfinite(mbps)) {
        return;
    }
    const double snapped = std::round(mbps / bitrateStepMbps) * bitrateStepMbps;
    bitrateMbps_ = std::clamp(snapped, minimumBitrateMbps, maximumBitrateMbps);
    emit bitrateMbpsChanged();
}

void ExportSheetController::setShowError(bool shown)
{
    showError_ = shown;
    emit showErrorChanged();
}

void ExportSheetController::setIsExporting(bool exporting)
{
    isExporting_ = exporting;
    emit isExportingChanged();
    emit canExportChanged();
}

void ExportSheetController::setStatus(std::string status)
{
    status_ = std::move(status);
    emit statusChanged();
}

void ExportSheetController::setProgress(double fraction, std::string detail)
{
    progressFraction_ = fraction;
    progressDetail_ = std::move(detail);
    emit progressChanged();
}

// ---- what the sheet shows ----

bool ExportSheetController::canExport() const
{
    return !isExporting_ && engine_.session() && mediaFolderURL_;
}

std::string ExportSheetController::exportButtonTitle() const
{
    return isExporting_ ? "Exporting\u2026" : "Choose Output & Export";
}

std::string ExportSheetController::bitrateText() const
{
    return StatusText::fixed(bitrateMbps_, 0) + " Mbps";
}

std::string ExportSheetController::percentText() const
{
    return StatusText::fixed(progressFraction_ * 100, 1) + "%";
}

std::optional<std::string> ExportSheetController::estimatedTimeRemaining() const
{
    return estimatedTimeRemaining(isExporting_, progressFraction_, exportStartedAt_, services_.clock->now());
}

std::optional<std::string> ExportSheetController::estimatedTimeRemaining(bool isExporting, double fraction,
                                                                         std::optional<double> startedAt, double now)
{
    if (!isExporting || !(fraction > 0.02) || !startedAt) {
        return std::nullopt;
    }
    const double elapsed = now - *startedAt;
    const double remaining = elapsed / fraction - elapsed;
    // Also refuses NaN; an estimate beyond any real export (a stopped clock, a bad fraction)
    // is not shown either rather than overflowing the conversion below.
    if (!(remaining >= 5.0) || remaining > 1e9) {
        return std::nullopt;
    }
    const auto seconds = static_cast<long long>(remaining);
    char text[64];
    if (seconds < 60) {
        std::snprintf(text, sizeof text, "%llds", seconds);
    } else {
        std::snprintf(text, sizeof text, "%lldm %02llds", seconds / 60, seconds % 60);
    }
    return std::string(text);
}

std::string ExportSheetController::proposedOutputName(const EditSession& session, EditorExportFormat format)
{
    const std::string base =
        session.project && session.project->name ? *session.project->name : std::string("timeline");
    return base + "_export." + std::string(EditorExportFormats::fileExtension(format));
}

FilePanelRequest ExportSheetController::outputPanelRequest(const EditSession& session, EditorExportFormat format,
                                                           const std::optional<std::filesystem::path>& sessionFileURL)
{
    FilePanelRequest request;
    request.kind = FilePanelRequest::Kind::saveFile;
    request.extensions = EditorExportFormats::outputExtensions(format);
    request.defaultSuffix = std::string(EditorExportFormats::fileExtension(format));
    if (format == EditorExportFormat::proRes422) {
        request.replacedExtensions = {"mp4", "m4v"};
    }
    request.suggestedName = proposedOutputName(session, format);
    if (sessionFileURL) {
        request.directory = sessionFileURL->parent_path();
    }
    return request;
}

// ---- actions ----

void ExportSheetController::pickOutputAndExport()
{
    const std::shared_ptr<EditSession> session = engine_.session();
    if (!session || !mediaFolderURL_ || isExporting_) {
        return;
    }
    const std::filesystem::path mediaFolder = *mediaFolderURL_;
    const EditorExportFormat format = format_;

    const FilePanelRequest request = outputPanelRequest(*session, format, sessionFileURL_);
    services_.filePanels->run(request, [self = QPointer(this), session, mediaFolder,
                                        request](std::vector<std::filesystem::path> chosen) {
        // A second panel (or a run started meanwhile) must not start a second run.
        if (!self || chosen.empty() || self->isExporting_) {
            return;
        }
        // The panel asked about the completed name already; completing it again changes nothing.
        self->runExport(session, mediaFolder, request.completedSaveName(chosen.front()));
    });
}

void ExportSheetController::runExport(const std::shared_ptr<EditSession>& session,
                                      const std::filesystem::path& mediaFolder, const std::filesystem::path& output)
{
    if (!session || isExporting_) {
        return;
    }
    engine_.syncTimelineTrimAndPreview(true);
    setIsExporting(true);
    cancelToken_->reset();
    setProgress(0, std::string());
    exportStartedAt_ = services_.clock->now();
    setStatus("Preparing export job\u2026");

    const EditorExportRequest request{
        mediaFolder,
        output,
        static_cast<std::int64_t>(bitrateMbps_ * 1'000'000.0),
        EditorExportFormats::exportCodec(format_),
        sessionFileURL_,
        engine_.resolvedMedia(),
        // The LUTs as the monitor grades with them, decided once by the engine.
        engine_.resolvedLuts(mediaFolder, sessionFileURL_),
    };
    const std::uint64_t run = ++runNumber_;
    // The previous run has ended (no run is going), so its thread is at most unwinding.
    if (worker_.joinable()) {
        worker_.join();
    }
    try {
        // The worker writes the render job from its own copy, taken here after the timing
        // was normalised: the engine's session goes on being edited on the main thread while
        // the export runs.
        worker_ = OrphanedExports::Worker("export.sheet", services_.mainQueue,
                                          [link = link_, token = cancelToken_, exporter = services_.exporter,
                                           session = EditSession(*session), request,
                                           title = std::string(EditorExportFormats::rawValue(format_)), run] {
            link->post([run, title](ExportSheetController& self) { self.jobStarted(run, title); });
            const auto progress = [link, run](const TimelineExportProgress& report) {
                link->post([run, report](ExportSheetController& self) { self.progressReported(run, report); });
            };
            const auto isCancelled = [token] { return token->isCancelled(); };
            try {
                const ExportResult result = exporter->run(session, request, progress, isCancelled);
                link->post([run, result, output = request.outputURL](ExportSheetController& self) {
                    self.exportFinished(run, result, output);
                });
            } catch (...) {
                link->post([run, message = bareMessage(std::current_exception())](ExportSheetController& self) {
                    self.exportFailed(run, message);
                });
            }
        });
    } catch (const std::system_error& error) {
        exportFailed(run, error.what());
    }
}

void ExportSheetController::requestCancel()
{
    if (!isExporting_) {
        return;
    }
    cancelToken_->request();
    setStatus("Cancelling\u2026");
}

bool ExportSheetController::requestDismiss()
{
    if (isExporting_) {
        return false;
    }
    if (onDismiss_) {
        onDismiss_();
    }
    return true;
}

// ---- the run's reports (main thread) ----

void ExportSheetController::jobStarted(std::uint64_t run, const std::string& formatTitle)
{
    if (run != runNumber_ || !isExporting_) {
        return;
    }
    setStatus("Rendering " + formatTitle + "\u2026");
    setProgress(progressFraction_, "Starting encoder");
}

void ExportSheetController::progressReported(std::uint64_t run, const TimelineExportProgress& progress)
{
    if (run != runNumber_ || !isExporting_) {
        return;
    }
    const double fraction = progress.fraction();
    setProgress(fraction, progress.phase + " \u2014 frame " + NumberText::integer(progress.framesCompleted) + " / "
                              + NumberText::integer(progress.framesTotal));
    setStatus("Exporting\u2026 " + StatusText::fixed(fraction * 100, 1) + "%");
}

void ExportSheetController::exportFinished(std::uint64_t run, const ExportResult& result,
                                           const std::filesystem::path& output)
{
    if (run != runNumber_ || !isExporting_) {
        return;
    }
    setIsExporting(false);
    setProgress(1, "Saved to " + FileError::shownName(output));
    setStatus("Done \u2014 " + NumberText::integer(result.width) + "\u00D7" + NumberText::integer(result.height)
              + " @ " + StatusText::fixed(result.fps, 2) + " fps");
    // When nothing can show the movie, both lines say so while this run is still the one shown:
    // the progress line beside the movie's name, and the status line, the one that stays in view
    // once the run has ended.
    QPointer<ExportSheetController> self(this);
    services_.fileRevealer->reveal(output, [self, run, name = FileError::shownName(output)] {
        if (!self || self->runNumber_ != run || self->isExporting_)
            return;
        self->setProgress(1, "Saved to " + name + " \u2014 no file manager is available to show it");
        self->setStatus(self->status_ + " \u2014 no file manager is available to show " + name);
    });
}

void ExportSheetController::exportFailed(std::uint64_t run, const std::string& message)
{
    if (run != runNumber_ || !isExporting_) {
        return;
    }
    setIsExporting(false);
    cancelToken_->reset();
    errorText_ = shownText(message);
    setProgress(progressFraction_, errorText_);
    setShowError(true);
    setStatus("Export failed.");
}

} // namespace velmora
