#include "ExportSheetTestSupport.h"

#include <chrono>

namespace velmora::test {

ExportResult ScriptedExportRunner::run(const EditSession& session, const EditorExportRequest& request,
                                       const Exporter::TimelineProgressCallback& progress,
                                       const Exporter::CancellationCallback& isCancelled)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::unique_lock lock(mutex_);
    const auto ending = [&] { calls_.push_back({session, &session, request}); };
    for (;;) {
        if (isCancelled()) {
            ending();
            throw Error("export", 248, "Export cancelled.");
        }
        if (steps_.empty()) {
            if (std::chrono::steady_clock::now() > deadline) {
                ending();
                throw Error("test", 1, "Nothing told the scripted run what to do.");
            }
            changed_.wait_for(lock, std::chrono::milliseconds(1));
            continue;
        }
        Step step = std::move(steps_.front());
        steps_.pop_front();
        if (auto* result = std::get_if<ExportResult>(&step)) {
            ending();
            return *result;
        }
        if (auto* failure = std::get_if<std::exception_ptr>(&step)) {
            ending();
            std::rethrow_exception(*failure);
        }
        lock.unlock();
        progress(std::get<TimelineExportProgress>(step));
        lock.lock();
    }
}

void ScriptedExportRunner::report(std::int64_t completed, std::int64_t total, std::string phase)
{
    push(TimelineExportProgress{completed, total, std::move(phase)});
}

void ScriptedExportRunner::push(Step step)
{
    std::lock_guard lock(mutex_);
    steps_.push_back(std::move(step));
    changed_.notify_all();
}

std::vector<ScriptedExportRunner::Call> ScriptedExportRunner::calls() const
{
    std::lock_guard lock(mutex_);
    return calls_;
}

std::shared_ptr<EditSession> twoClipSession(std::optional<std::string> projectName)
{
    auto session = std::make_shared<EditSession>();
    session->project = EditSession::Project{std::move(projectName), 160, 96, 25.0, "tl"};
    session->sources = {EditSession::Source("sa", "a.mp4", "video"), EditSession::Source("sb", "b.mp4", "video")};
    const auto oneSecondOf = [](std::string id, std::string sourceId, std::string name, double start, double in) {
        EditSession::Clip video = clip(std::move(id), "video", start, 1.0, 1, std::move(name), in);
        video.sourceId = std::move(sourceId);
        return video;
    };
    session->timelines.push_back(
        timelineWith({oneSecondOf("ca", "sa", "a.mp4", 0, 0), oneSecondOf("cb", "sb", "b.mp4", 1, 0.5)}));
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

void SheetHarness::watch(ExportSheetController& watched)
{
    ExportSheetController* c = controller = &watched;
    const auto record = [](std::vector<std::string>& texts, const std::string& text) {
        if (texts.empty() || texts.back() != text)
            texts.push_back(text);
    };
    QObject::connect(c, &ExportSheetController::statusChanged, [this, c, record] { record(statuses, c->status()); });
    QObject::connect(c, &ExportSheetController::progressChanged,
                     [this, c, record] { record(details, c->progressDetail()); });
}

void SheetHarness::startExport(const std::filesystem::path& output)
{
    controller->pickOutputAndExport();
    panels->choose(output);
}

} // namespace velmora::test
