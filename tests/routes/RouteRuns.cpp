#include "RouteRuns.h"

#include <algorithm>
#include <mutex>

#include "export/FastSingleClipPath.h"
#include "export/TimelineExportSetup.h"
#include "export_workspaces/EditorExportTimelineRunner.h"
#include "export_workspaces/EngineJobExporter.h"
#include "grading/PreviewFrameGrader.h"
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

ExportRun sheetRun(const TimelinePreviewEngine& engine, const Case& c, const fs::path& output, bool render)
{
    const EditorExportRequest request{c.folder, output, 2'000'000, Exporter::EditorVideoCodec::h264,
                                      engine.lutSessionFileURL(), engine.resolvedMedia(),
                                      engine.resolvedLuts(c.folder, engine.lutSessionFileURL())};
    EditorExportTimelineRunner runner(c.folder);
    const EditSession session = *engine.session();
    return finish([&](const auto& progress, const auto& cancelled) { runner.run(session, request, progress, cancelled); },
                  render);
}

Exporter::TimelineExportPlan sheetPlan(const TimelinePreviewEngine& engine, const Case& c)
{
    const std::optional<ResolvedMedia> shown = engine.resolvedMedia();
    const std::optional<ResolvedLuts> luts = engine.resolvedLuts(c.folder, engine.lutSessionFileURL());
    const EditorJobV2 job = EditorJobV2::fromJSON(engine.session()->renderJobText(shown ? &shown->files : nullptr));
    return Exporter::planTimelineExport(job, std::nullopt, c.folder, engine.lutSessionFileURL(),
                                        shown ? &*shown : nullptr, luts ? &*luts : nullptr);
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
    if (c.continued) {
        for (auto& timeline : text["timelines"])
            for (auto& clip : timeline["clips"])
                if (clip.value("id", "") == c.continued->first)
                    clip["inPoint"] = c.continued->second;
    }
    h.jobURL = c.folder / "handed.json";
    writeTextFile(h.jobURL, text.dump());
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

EditorJobV2 handedJob(const Handover& h)
{
    return EditorJobV2::fromJSON(readFileContents(h.jobURL));
}

Exporter::TimelineExportPlan workspacePlan(const Handover& h)
{
    const fs::path& folder = *h.files.mediaFolderURL;
    const ResolvedMedia* media = h.media();
    return Exporter::planTimelineExport(handedJob(h), h.files.lutOverrideURL, folder, std::nullopt, media,
                                        Exporter::resolvesFolder(media, folder) ? media->givenLuts() : nullptr);
}

bool takesFastPath(const Handover& h)
{
    const EditorJobV2 job = handedJob(h);
    const fs::path& folder = *h.files.mediaFolderURL;
    const std::optional<Exporter::FastSingleClipCandidate> candidate =
        Exporter::fastSingleClipCandidate(job, folder, h.media());
    if (!candidate)
        return false;
    const std::shared_ptr<const Asset> input = Asset::open(candidate->inputURL);
    return Exporter::fastPathKeepsTimelineResult(job, *candidate, folder, *input) &&
           Exporter::fastPathFrames(job, candidate->clip, *input);
}

Picture planPicture(const Exporter::TimelineExportPlan& plan, std::int64_t n)
{
    return exportPicture(plan.frameMap, plan.sourceFiles, n);
}

SourceViewerAnswer askSourceViewer(EngineHarness& harness, const Case& c, const EditSession::Clip& clip)
{
    TimelinePreviewEngine& engine = harness.engine;
    const std::vector<EditSession::Source>& sources = engine.session()->sources;
    const auto source = std::find_if(sources.begin(), sources.end(),
                                     [&](const EditSession::Source& s) { return s.id == clip.sourceId; });
    SourceViewerAnswer answer;
    SourceViewerController::Callbacks callbacks;
    callbacks.onUpdateTimeline = [&answer](double, double, const std::string& lut) { answer.handedBack = lut; };
    // No player and no duration: what the viewer shows of the LUT needs neither.
    SourceViewerServices services;
    services.mainQueue = harness.queue;
    services.openPlayback = [](const fs::path&) { return SourcePlayback{}; };
    services.probeDuration = [](const fs::path&) { return std::optional<double>(); };
    const std::optional<fs::path> sessionFile = engine.lutSessionFileURL();
    SourceViewerController viewer(engine, source == sources.end() ? EditSession::Source{} : *source, c.folder,
                                  sessionFile, clip.id, clip.inPoint, clip.outPoint, callbacks, services);
    viewer.load();
    answer.loadError = viewer.loadError();
    answer.picker = viewer.sourceLutReference();
    answer.title = viewer.lutTitle(answer.picker);
    const SourceGradedPreviewInputs inputs = SourceViewer::pictureInputs(viewer);
    const std::optional<EditorJobV2::ClipGrade> grade = SourceGradedPreviewView::stillGrade(inputs);
    if (grade)
        answer.stillLutText = PreviewFrameGrader::resolvedClipLutText(grade, inputs.mediaFolder, inputs.sessionFile);
    viewer.updateTimeline();
    return answer;
}

} // namespace velmora::test::routes
