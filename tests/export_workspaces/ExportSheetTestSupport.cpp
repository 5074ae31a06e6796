#include "ExportSheetTestSupport.h"

#include <chrono>

namespace velmora::test {

ExportResult ScriptedExportRunner::run(const EditSession& session, const EditorExportRequest& request,
                                       const Exporter::TimelineProgressCallback& progress,
                                       const Exporter::CancellationCallback& isCancelled)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    const auto ended = [this] {
        std::lock_guard lock(mutex_);
        ++endedRuns_;
    };
    std::unique_lock lock(mutex_);
    if (!changed_.wait_until(lock, deadline, [this] { return gateOpen_; })) {
        ++endedRuns_;
        throw Error("test", 1, "The gate stayed closed.");
    }
    calls_.push_back({session, &session, request});
    for (;;) {
        lock.unlock();
        if (isCancelled()) {
            ended();
            throw Error("export", 248, "Export cancelled.");
        }
        lock.lock();
        if (steps_.empty()) {
            if (std::chrono::steady_clock::now() > deadline) {
                ++endedRuns_;
                throw Error("test", 2, "Nothing told the scripted run what to do.");
            }
            changed_.wait_for(lock, std::chrono::milliseconds(1));
            continue;
        }
        Step step = std::move(steps_.front());
        steps_.pop_front();
        lock.unlock();
        if (const auto* report = std::get_if<TimelineExportProgress>(&step)) {
            progress(*report);
        } else if (const auto* result = std::get_if<ExportResult>(&step)) {
            ended();
            return *result;
        } else {
            ended();
            std::rethrow_exception(std::get<std::exception_ptr>(step));
        }
        lock.lock();
    }
}

void ScriptedExportRunner::report(std::int64_t completed, std::int64_t total, std::string phase)
{
    std::lock_guard lock(mutex_);
    steps_.push_back(TimelineExportProgress{completed, total, std::move(phase)});
    changed_.notify_all();
}

void ScriptedExportRunner::finish(ExportResult result)
{
    std::lock_guard lock(mutex_);
    steps_.push_back(std::move(result));
    changed_.notify_all();
}

void ScriptedExportRunner::fail(Error error)
{
    fail(std::make_exception_ptr(std::move(error)));
}

void ScriptedExportRunner::fail(std::exception_ptr failure)
{
    std::lock_guard lock(mutex_);
    steps_.push_back(std::move(failure));
    changed_.notify_all();
}

void ScriptedExportRunner::setGateOpen(bool open)
{
    std::lock_guard lock(mutex_);
    gateOpen_ = open;
    changed_.notify_all();
}

std::vector<ScriptedExportRunner::Call> ScriptedExportRunner::calls() const
{
    std::lock_guard lock(mutex_);
    return calls_;
}

int ScriptedExportRunner::endedRuns() const
{
    std::lock_guard lock(mutex_);
    return endedRuns_;
}

std::shared_ptr<EditSession> twoClipSession(std::optional<std::string> projectName)
{
    auto session = std::make_shared<EditSession>();
    EditSession::Project project;
    project.name = std::move(projectName);
    project.width = 160;
    project.height = 96;
    project.fps = 25;
    project.activeTimelineId = "tl";
    session->project = project;
    session->sources = {EditSession::Source("sa", "a.mp4", "video"), EditSession::Source("sb", "b.mp4", "video")};

    const auto clip = [](std::string id, std::string sourceId, std::string name, double start, double in) {
        EditSession::Clip clip(std::move(id));
        clip.type = "video";
        clip.name = std::move(name);
        clip.sourceId = std::move(sourceId);
        clip.track = 1;
        clip.startTime = start;
        clip.duration = 1.0;
        clip.inPoint = in;
        return clip;
    };
    EditSession::Timeline timeline;
    timeline.id = "tl";
    timeline.name = "Timeline 1";
    timeline.clips = {clip("ca", "sa", "a.mp4", 0, 0), clip("cb", "sb", "b.mp4", 1, 0.5)};
    session->timelines.push_back(std::move(timeline));
    session->normalizeAllClipTiming();
    return session;
}

SheetHarness::SheetHarness(bool withSession, bool withMediaFolder, bool withController)
{
    if (withMediaFolder) {
        mediaFolder = media.path();
    }
    if (withSession) {
        engine.adoptSession(twoClipSession(), media.path(), std::nullopt, true);
        queue->runUntilIdle();
    }
    if (withController) {
        ownedController =
            std::make_unique<ExportSheetController>(engine, mediaFolder, std::nullopt, onDismiss(), services());
        watch(*ownedController);
    }
}

ExportSheetServices SheetHarness::services()
{
    return ExportSheetServices{panels, revealer, runner, queue, clock};
}

void SheetHarness::watch(ExportSheetController& watched)
{
    controller = &watched;
    ExportSheetController* c = &watched;
    QObject::connect(c, &ExportSheetController::statusChanged, [this, c] {
        if (statuses.empty() || statuses.back() != c->status())
            statuses.push_back(c->status());
    });
    QObject::connect(c, &ExportSheetController::progressChanged, [this, c] {
        if (details.empty() || details.back() != c->progressDetail())
            details.push_back(c->progressDetail());
    });
}

void SheetHarness::startExport(const std::filesystem::path& output)
{
    controller->pickOutputAndExport();
    panels->choose(output);
}

bool SheetHarness::runUntil(const std::function<bool()>& done, double seconds)
{
    return queue->runUntil(done, seconds);
}

} // namespace velmora::test
