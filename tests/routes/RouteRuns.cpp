#include "RouteRuns.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <utility>

#include "export/TimelineExportSetup.h"
#include "export_workspaces/EditorExportTimelineRunner.h"
#include "export_workspaces/EngineJobExporter.h"
#include "grading/PreviewFrameGrader.h"
#include "preview/GradedPreviewController.h"
#include "inspectors/SourceGradedPreviewView.h"
#include "inspectors/SourceViewer.h"
#include "platform/foundation/FileReading.h"
#include "platform/media/Asset.h"

namespace velmora::test::routes {

namespace fs = std::filesystem;

namespace {

ExportRun finish(const std::function<void(const Exporter::TimelineProgressCallback&, const std::function<bool()>&)>& start,
                 bool render)
{
    ExportRun run;
    std::mutex lock;
    try {
        start(
            [&](const TimelineExportProgress& progress) {
                const std::lock_guard guard(lock);
                run.framesTotal = std::max(run.framesTotal, progress.framesTotal);
                run.fastPath = run.fastPath || progress.phase == "Done (fast single-clip)";
            },
            [render] { return !render; });
    } catch (const Error& error) {
        if (error.code() != 248)
            run.refusal = error;
    }
    return run;
}

} // namespace

std::string refusalText(const std::optional<Error>& refusal)
{
    return refusal ? refusal->localizedDescription() : "(accepted)";
}

std::function<ExportRun()> sheetExport(const TimelinePreviewEngine& engine, const Case& c, const fs::path& output,
                                       bool render)
{
    EditorExportRequest request{c.folder, output, 2'000'000, Exporter::EditorVideoCodec::h264,
                                engine.lutSessionFileURL(), engine.resolvedMedia(),
                                engine.resolvedLuts(c.folder, engine.lutSessionFileURL())};
    return [folder = c.folder, session = *engine.session(), request = std::move(request), render] {
        EditorExportTimelineRunner runner(folder);
        return finish(
            [&](const auto& progress, const auto& cancelled) { runner.run(session, request, progress, cancelled); },
            render);
    };
}

ExportRun sheetRun(const TimelinePreviewEngine& engine, const Case& c, const fs::path& output, bool render)
{
    return sheetExport(engine, c, output, render)();
}

Exporter::TimelineExportPlan sheetPlan(const TimelinePreviewEngine& engine, const Case& c)
{
    const std::optional<ResolvedMedia> shown = engine.resolvedMedia();
    const std::optional<ResolvedLuts> luts = engine.resolvedLuts(c.folder, engine.lutSessionFileURL());
    const EditorJobV2 job = EditorJobV2::fromJSON(engine.session()->renderJobText(shown ? &shown->files : nullptr));
    return Exporter::planTimelineExport(job, std::nullopt, c.folder, engine.lutSessionFileURL(),
                                        shown ? &*shown : nullptr, luts ? &*luts : nullptr);
}

namespace {

// The job without the sound clips whose source has no file in `media`: they never decide which
// frame an output frame shows.
EditorJobV2 withoutLostSounds(EditorJobV2 job, const ResolvedMedia* media)
{
    for (EditorJobV2::Timeline& timeline : job.timelines) {
        std::erase_if(timeline.clips, [&](const EditorJobV2::Clip& clip) {
            return EditSession::normalizedClipType(clip.type, clip.name) == "audio" &&
                   (!media || !clip.sourceId || !media->files.contains(*clip.sourceId));
        });
    }
    return job;
}

// The job with no LUT anywhere: a LUT never decides which frame an output frame shows.
EditorJobV2 withoutLuts(EditorJobV2 job)
{
    job.grade.lutCube.clear();
    for (EditorJobV2::Timeline& timeline : job.timelines) {
        for (EditorJobV2::Clip& clip : timeline.clips) {
            if (!clip.grade)
                continue;
            clip.grade->hasLut = false;
            clip.grade->lutData.reset();
            clip.grade->lutFile.reset();
            clip.grade->lutName.reset();
        }
    }
    return job;
}

std::optional<Exporter::TimelineExportPlan> framePlanOf(const EditorJobV2& job, const fs::path& folder,
                                                        const ResolvedMedia* media)
{
    try {
        return Exporter::planTimelineExport(withoutLuts(withoutLostSounds(job, media)), std::nullopt, folder,
                                            std::nullopt, media, nullptr);
    } catch (const Error&) {
        return std::nullopt;
    }
}

} // namespace

std::optional<Exporter::TimelineExportPlan> sheetFramePlan(const TimelinePreviewEngine& engine, const Case& c)
{
    const std::optional<ResolvedMedia> shown = engine.resolvedMedia();
    const EditorJobV2 job = EditorJobV2::fromJSON(engine.session()->renderJobText(shown ? &shown->files : nullptr));
    return framePlanOf(job, c.folder, shown ? &*shown : nullptr);
}

Handover handOver(const TimelinePreviewEngine& engine, const Case& c)
{
    Handover h;
    h.shown = engine.resolvedMedia();
    if (h.shown)
        h.shown->luts = engine.resolvedLuts(h.shown->mediaFolder, engine.lutSessionFileURL());
    nlohmann::json text = nlohmann::json::parse(engine.session()->renderJobText(h.shown ? &h.shown->files : nullptr));
    if (c.jobLutMissing)
        text["grade"]["lutCube"] = "missing_job_look.cube";
    for (auto& timeline : text["timelines"]) {
        for (auto& clip : timeline["clips"]) {
            // A browser's job names the in point the browser gave the clip, and no out point.
            if (c.continued && clip.value("id", "") == c.continued->first)
                clip["inPoint"] = c.continued->second;
            if (c.continued)
                clip.erase("outPoint");
            if (!c.ramp.empty() && clip.value("id", "") == "v0") {
                for (const auto& [time, speed] : c.ramp)
                    clip["speedKeyframes"].push_back({{"time", time}, {"speed", speed}});
            }
        }
    }
    h.jobURL = c.folder / "handed.json";
    writeTextFile(h.jobURL, text.dump());
    h.job = EditorJobV2::fromJSON(readFileContents(h.jobURL));
    h.files.jobURL = h.jobURL;
    h.files.mediaFolderURL = c.folder;
    h.files.lutOverrideURL = c.lutOverride;
    const bool ownJob = c.jobLutMissing || c.continued;
    h.files.media = std::make_shared<JobMediaResolution>(h.jobURL, c.folder, ownJob ? std::nullopt : h.shown);
    return h;
}

ExportRun workspaceRun(const Handover& h, const fs::path& output, bool render)
{
    EngineJobExporter exporter;
    JobExportRequest request;
    request.files = h.files;
    request.outputURL = output;
    request.bitrateOverrideBps = 2'000'000;
    return finish([&](const auto& progress, const auto& cancelled) { exporter.exportJob(request, progress, cancelled); },
                  render);
}

const EditorJobV2& handedJob(const Handover& h)
{
    return h.job;
}

Exporter::TimelineExportPlan workspacePlan(const Handover& h)
{
    const fs::path& folder = *h.files.mediaFolderURL;
    const ResolvedMedia* media = h.media();
    return Exporter::planTimelineExport(handedJob(h), h.files.lutOverrideURL, folder, std::nullopt, media,
                                        Exporter::resolvesFolder(media, folder) ? media->givenLuts() : nullptr);
}

std::optional<Exporter::TimelineExportPlan> workspaceFramePlan(const Handover& h)
{
    return framePlanOf(handedJob(h), *h.files.mediaFolderURL, h.media());
}

LutVerdict workspaceLutVerdict(const Handover& h)
{
    const fs::path& folder = *h.files.mediaFolderURL;
    const ResolvedMedia* media = h.media();
    try {
        Exporter::planTimelineExport(withoutLostSounds(handedJob(h), media), h.files.lutOverrideURL, folder,
                                     std::nullopt, media,
                                     Exporter::resolvesFolder(media, folder) ? media->givenLuts() : nullptr);
        return {true, std::nullopt};
    } catch (const Error& error) {
        if (error.code() == 214)
            return {true, error};
        return {};
    }
}

std::optional<Exporter::FastPath> fastPathOf(const Handover& h)
{
    try {
        return Exporter::fastPathFor(handedJob(h), h.files.lutOverrideURL, *h.files.mediaFolderURL, h.media());
    } catch (const Error&) {
        return std::nullopt;
    }
}

Picture planPicture(const Exporter::TimelineExportPlan& plan, std::int64_t n)
{
    return exportPicture(plan.frameMap, plan.sourceFiles, n);
}

void HandBacks::post(std::function<void()> work)
{
    queue_->post(std::move(work));
    {
        const std::lock_guard lock(mutex_);
        ++posted_;
    }
    handedBack_.notify_all();
}

CancelHandle HandBacks::postDelayed(double seconds, std::function<void()> work)
{
    return queue_->postDelayed(seconds, std::move(work));
}

bool HandBacks::runUntil(const std::function<bool()>& done, double timeoutSeconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    for (;;) {
        std::uint64_t seen = 0;
        {
            const std::lock_guard lock(mutex_);
            seen = posted_;
        }
        // What was posted before `seen` was read runs here; anything later wakes the wait.
        const int ran = queue_->runUntilIdle();
        if (done())
            return true;
        if (ran > 0)
            continue;
        std::unique_lock lock(mutex_);
        if (!handedBack_.wait_until(lock, deadline, [&] { return posted_ != seen; }))
            return done();
    }
}

namespace {

// The Source Viewer's controller on a timeline clip as the Edit workspace opens it, with no player;
// the file's duration read only where `marks` (the range a user marks) asks for it.
std::unique_ptr<SourceViewerController> openSourceViewer(EngineHarness& harness, const Case& c,
                                                         const EditSession::Clip& clip,
                                                         SourceViewerController::Callbacks callbacks,
                                                         std::shared_ptr<MainQueue> mainQueue,
                                                         std::optional<std::pair<double, double>> marks = std::nullopt)
{
    TimelinePreviewEngine& engine = harness.engine;
    const std::vector<EditSession::Source>& sources = engine.session()->sources;
    const auto source = std::find_if(sources.begin(), sources.end(),
                                     [&](const EditSession::Source& s) { return s.id == clip.sourceId; });
    SourceViewerServices services;
    services.mainQueue = std::move(mainQueue);
    services.openPlayback = [](const fs::path&) { return SourcePlayback{}; };
    services.probeDuration = [measured = marks.has_value()](const fs::path& file) -> std::optional<double> {
        if (!measured)
            return std::nullopt;
        return Asset::open(file)->duration().seconds();
    };
    auto viewer = std::make_unique<SourceViewerController>(
        engine, source == sources.end() ? EditSession::Source{} : *source, c.folder, engine.lutSessionFileURL(), clip.id,
        marks ? std::optional(marks->first) : clip.inPoint, marks ? std::optional(marks->second) : clip.outPoint,
        std::move(callbacks), services);
    viewer->load();
    return viewer;
}

} // namespace

SourceViewerAnswer askSourceViewer(EngineHarness& harness, const Case& c, const EditSession::Clip& clip)
{
    SourceViewerAnswer answer;
    SourceViewerController::Callbacks callbacks;
    callbacks.onUpdateTimeline = [&answer](double, double, const std::string& lut) { answer.handedBack = lut; };
    // No duration: what the viewer shows of the LUT does not need it.
    const std::unique_ptr<SourceViewerController> opened = openSourceViewer(harness, c, clip, callbacks, harness.queue);
    SourceViewerController& viewer = *opened;
    answer.loadError = viewer.loadError();
    answer.picker = viewer.sourceLutReference();
    answer.title = viewer.lutTitle(answer.picker);
    const SourceGradedPreviewInputs inputs = SourceViewer::pictureInputs(viewer);
    const std::optional<EditorJobV2::ClipGrade> grade = SourceGradedPreviewView::stillGrade(inputs);
    if (grade) {
        if (LutResolution lut = PreviewFrameGrader::clipLut(grade, inputs.mediaFolder, inputs.sessionFile); lut.grades())
            answer.stillLutText = std::move(lut.text);
    }
    viewer.updateTimeline();
    return answer;
}

void editInSourceViewer(EngineHarness& harness, const Case& c, PlayerBuild& player)
{
    TimelinePreviewEngine& engine = harness.engine;
    const std::optional<EditSession::Clip> clip = c.viewerEdit ? engine.session()->clip(c.viewerEdit->clipId) : std::nullopt;
    if (!clip)
        return;
    SourceViewerController::Callbacks callbacks;
    callbacks.onUpdateTimeline = [&engine, id = clip->id](double in, double out, const std::string& lut) {
        engine.updateTimelineClipFromSource(id, in, out, lut);
    };
    const auto handBacks = std::make_shared<HandBacks>(harness.queue);
    const std::unique_ptr<SourceViewerController> viewer =
        openSourceViewer(harness, c, *clip, callbacks, handBacks, std::pair(c.viewerEdit->in, c.viewerEdit->out));
    if (viewer->loadError())
        return;
    ASSERT_TRUE(handBacks->runUntil([&] { return viewer->didApplyInitialMarks(); }, 60))
        << "the Source Viewer never read the length of " << clip->id << "'s file";
    const std::size_t builds = harness.builder->requests.size();
    viewer->updateTimeline();
    harness.queue->runUntilIdle();
    const std::optional<EditSession::Clip> updated = engine.session()->clip(clip->id);
    ASSERT_TRUE(updated);
    const auto lutOf = [](const std::optional<EditorJobV2::ClipGrade>& grade) {
        if (!grade)
            return std::string("(no grade)");
        return "hasLut " + (grade->hasLut ? std::to_string(*grade->hasLut) : std::string("-")) + ", lutFile " +
               grade->lutFile.value_or("-") + ", lutName " + grade->lutName.value_or("-") +
               (grade->lutData ? ", inline text" : "");
    };
    EXPECT_TRUE(updated->grade == clip->grade)
        << "Source Viewer's Update Timeline: clip " << clip->id << "'s LUT " << lutOf(clip->grade) << " became "
        << lutOf(updated->grade);
    if (harness.builder->requests.size() > builds)
        player = answerBuild(harness);
}

std::optional<Shown> programStill(EngineHarness& harness, HandBacks& handBacks, GradedPreviewController& controller,
                                  double at)
{
    // A still asked for where the playhead already stands is the one the view keeps up to date
    // by itself (a LUT's answers renewed): no seek of the test's must ask for it.
    if (harness.engine.playheadSeconds() != at)
        harness.engine.seek(at, true, {});
    // Every still asked for so far graded and handed back on the main queue, which may ask for
    // another.
    EXPECT_TRUE(handBacks.runUntil([&] { return !controller.isGradingInFlight(); }, 60))
        << "the program view's still at " << at << " s was never handed back";
    if (!controller.isStillShown() || controller.still().isNull())
        return std::nullopt;
    return shownInImage(controller.still());
}

} // namespace velmora::test::routes
