// The checks of one generated case but its LUTs: the files each route reads, the trims' limits,
// an outward drag, what the exports refuse, the job preview, every output frame on every route,
// the playhead's end, the fast path and the single-video export.

#include <algorithm>
#include <future>

#include "RouteChecks.h"
#include "export/FastSingleClipPath.h"
#include "export/FrameTiming.h"
#include "export/SingleVideoExport.h"
#include "export/TimelineExportSetup.h"
#include "export_workspaces/EngineJobExporter.h"
#include "model/ClipSpeed.h"
#include "model/MediaResolver.h"
#include "platform/media/Asset.h"

namespace velmora::test::routes {

namespace fs = std::filesystem;

// ---- files and trims ----

namespace {

// How long a clip can last before it runs past the end of `file`, at the rate the one speed rule
// gives its stored speed.
double tailLimit(const EditSession::Clip& clip, const fs::path& file)
{
    const double length = openedAsset(file)->duration().seconds();
    return std::max((length - clip.inPoint.value_or(0)) / effectiveClipSpeed(clip.speed), 0.05);
}

} // namespace

void checkFiles(const Generated& g, Reach& reach)
{
    reach.mark("files");
    std::map<std::string, std::set<fs::path>> readByName;
    std::map<std::string, std::size_t> sourcesByName;
    for (const EditSession::Source& source : g.session().sources) {
        const auto file = g.files.find(source.id);
        if (filesNamed(g.c.folder, source.fileName) > 0) {
            ASSERT_TRUE(file != g.files.end()) << source.fileName << " is there but source " << source.id
                                               << " has no file (monitor)";
            EXPECT_EQ(file->second.filename().string(), source.fileName) << "monitor, source " << source.id;
        }
        if (file != g.files.end() && source.type == "audio") {
            EXPECT_FALSE(isMovie(file->second)) << "monitor: sound source " << source.fileName << " reads "
                                                << file->second;
        }
        ++sourcesByName[source.fileName];
        if (file != g.files.end())
            readByName[source.fileName].insert(file->second);
    }
    for (const auto& [name, count] : sourcesByName) {
        if (const std::size_t named = filesNamed(g.c.folder, name); named > 0) {
            EXPECT_EQ(readByName[name].size(), std::min(named, count)) << "monitor: sources named " << name;
        }
    }
    if (g.player.built) {
        EXPECT_EQ(MediaResolver::SourceFileMap(g.player.built->sourceFiles.begin(), g.player.built->sourceFiles.end()),
                  g.files)
            << "the player's files | the monitor's";
    }
}

void checkTrims(const Generated& g, Reach& reach)
{
    for (const EditSession::Clip& clip : g.clips()) {
        if (EditSession::normalizedClipType(clip.type, clip.name) != "video" || !clip.sourceId ||
            !g.files.contains(*clip.sourceId))
            continue;
        const fs::path& file = g.files.at(*clip.sourceId);
        const double limit = tailLimit(clip, file);
        const double duration = clip.duration.value_or(0);
        const bool pastEnd = duration > limit + 0.05;
        reach.mark("trims");
        // The clip alone on its lane: no neighbour stops it.
        EditSession trimmed = g.session();
        trimmed.timelines.front().clips = {clip};
        trimmed.trimClipTail(clip.id, *clip.startTime + (pastEnd ? duration - 0.03 : 100), false, &g.files);
        EXPECT_NEAR(trimmed.clip(clip.id)->duration.value_or(0), limit, 0.05)
            << "trim: clip " << clip.id << "'s tail drawn out (" << file.lexically_normal() << " lasts "
            << openedAsset(file)->duration().seconds() << " s)";
    }
}

// ---- refusals ----

ExportRun checkSheet(const Generated& g, Reach& reach, std::optional<ExportRun> run)
{
    const ExportRun sheet = run ? std::move(*run) : sheetRun(g.engine(), g.c, g.c.folder / "sheet.mp4", false);
    reach.mark("sheet refusal");
    std::vector<std::string> unshown;
    for (const EditSession::Source& source : g.session().sources) {
        const bool used = std::any_of(g.clips().begin(), g.clips().end(),
                                      [&](const EditSession::Clip& clip) { return clip.sourceId == source.id; });
        if (used && !g.files.contains(source.id))
            unshown.push_back(source.fileName);
    }
    if (!unshown.empty()) {
        EXPECT_TRUE(sheet.refusal) << "sheet: the export runs without " << unshown.front();
        EXPECT_EQ(sheet.refusal ? sheet.refusal->code() : 0, 212) << refusalText(sheet.refusal);
        for (const std::string& name : unshown)
            EXPECT_TRUE(sheet.refusal && names(*sheet.refusal, name)) << "sheet: " << refusalText(sheet.refusal);
    } else {
        EXPECT_EQ(sheet.refusal.has_value(), !g.failing.empty()) << "sheet: " << refusalText(sheet.refusal);
        for (const std::string& name : g.failing)
            EXPECT_TRUE(sheet.refusal && names(*sheet.refusal, name))
                << "sheet refuses " << name << ": " << refusalText(sheet.refusal);
    }
    return sheet;
}

namespace {

// The 10-bit workspace's export of the handed-over job: an override or a job-wide LUT that
// cannot be used is refused by name (unless a missing file is refused first); else it refuses what
// the sheet refuses, and counts the sheet's frames unless the fast path, which counts none before
// it is stopped, takes the job (`fastPath`, its decision for the handed job).
ExportRun checkTenBit(const Generated& g, const std::optional<Exporter::FastPath>& fastPath, const ExportRun& sheet,
                      ExportRun tenBit, Reach& reach)
{
    reach.mark("10-bit refusal");
    const auto refusedByName = [&](const std::string& name, const char* what) {
        EXPECT_TRUE(tenBit.refusal) << "10-bit workspace: " << what;
        if (tenBit.refusal && tenBit.refusal->code() != 212) { // the files are checked first
            EXPECT_TRUE(names(*tenBit.refusal, name)) << "10-bit workspace: " << refusalText(tenBit.refusal);
        }
    };
    if (g.c.lutOverride) {
        refusedByName(g.c.lutOverride->filename().string(), "an override that cannot be used is dropped");
    } else if (g.c.jobLutMissing) {
        refusedByName("missing_job_look.cube", "a job whose own LUT is missing exports");
    } else {
        EXPECT_EQ(refusalText(tenBit.refusal), refusalText(sheet.refusal)) << "10-bit workspace | sheet";
        if (!tenBit.refusal) {
            EXPECT_EQ(tenBit.framesTotal, fastPath ? 0 : sheet.framesTotal)
                << "frames: 10-bit workspace" << (fastPath ? " (fast path)" : "") << " | sheet";
        }
    }
    return tenBit;
}

// The job preview refuses what its export refuses, and otherwise shows the source frames its
// export's plan (`plan`: its frames, made even where the export refuses a LUT or a sound) names
// on its clip's first and last frames.
void checkJobPreview(const Handover& handed, const ExportRun& tenBit, const std::optional<Exporter::TimelineExportPlan>& plan,
                     Reach& reach)
{
    std::vector<ShownFrame> shown;
    for (std::int64_t n = 0; plan && n < plan->render.framesTotal; ++n) {
        if (const ShownFrame f = plan->frameMap.frame(n); f.clip == 0 && f.sourceFrame) {
            if (shown.size() == 2)
                shown.back() = f;
            else
                shown.push_back(f);
        }
    }
    const EditorJobV2& job = handedJob(handed);
    const auto& clips = Exporter::exportTimeline(job).clips;
    const bool videoFirst = !clips.empty() && clips.front().type == "video";
    // It refuses a LUT as its export does, and its own clip's file; a file another clip needs is
    // not its concern (where the export refuses one, what it would say of the LUTs is asked apart).
    const ResolvedMedia* media = handed.media();
    const bool ownFileMissing = videoFirst && (!media || !media->files.contains(clips.front().sourceId.value_or("")));
    std::optional<Error> lutRefusal = tenBit.refusal && tenBit.refusal->code() == 214 ? tenBit.refusal : std::nullopt;
    if (tenBit.refusal && tenBit.refusal->code() != 214 && !ownFileMissing) {
        const LutVerdict verdict = workspaceLutVerdict(handed);
        if (!verdict.known)
            return;
        lutRefusal = verdict.refusal;
    }
    const bool refused = lutRefusal || (tenBit.refusal && ownFileMissing);
    if (!videoFirst || !(refused || !shown.empty()))
        return;
    reach.mark("job preview");
    if (plan && !shown.empty() && TimelineFrameMap::usesRamp(plan->frameMap.clips().front()))
        reach.mark("ramp");
    // Refused, it is asked once, anywhere.
    std::vector<std::optional<ShownFrame>> asked(shown.begin(), shown.end());
    if (refused)
        asked = {std::nullopt};
    for (const std::optional<ShownFrame>& f : asked) {
        try {
            const JobPreviewStill still =
                EngineJobExporter().renderPreviewFrame(JobPreviewRequest{handed.files, f ? f->sourceTime : 0.0, {}});
            EXPECT_FALSE(refused) << "the job preview draws what the export refuses: "
                                  << refusalText(lutRefusal ? lutRefusal : tenBit.refusal);
            if (f) {
                const std::shared_ptr<const Asset> asset = openedAsset(plan->sourceFiles.at(*f->sourceId));
                const double rate = *trackFrameRate(*asset->firstTrack(MediaType::video));
                EXPECT_EQ(std::llround(still.pickedTimeSeconds * rate), *f->sourceFrame)
                    << "job preview | 10-bit workspace's export, at source time " << f->sourceTime;
            }
        } catch (const Error& error) {
            ASSERT_TRUE(refused) << "the job preview refuses: " << error.fullDescription();
            if (lutRefusal) {
                EXPECT_EQ(error.localizedDescription(), lutRefusal->localizedDescription())
                    << "job preview | 10-bit workspace's export";
            }
        }
    }
}

// ---- frames ----

// Whether an image clip covers output frame n: the player leaves those to the picture drawn over it.
bool underImage(const Generated& g, const FrameGrid& grid, std::int64_t n)
{
    return std::any_of(g.clips().begin(), g.clips().end(), [&](const EditSession::Clip& clip) {
        if (EditSession::normalizedClipType(clip.type, clip.name) != "image")
            return false;
        const auto [first, end] = TimelineFrameMap::framesOf(grid, *clip.startTime, *clip.duration);
        return first <= n && n < end;
    });
}

} // namespace

bool rampedAt(const Exporter::TimelineExportPlan& plan, std::int64_t n)
{
    const std::optional<std::size_t> clip = plan.frameMap.clipAt(n);
    return clip && TimelineFrameMap::usesRamp(plan.frameMap.clips()[*clip]);
}

namespace {

// Every frame, black ones too, whether or not an export refuses: the paused monitor, the player's
// composition, the sheet's plan and the 10-bit workspace's, each picture labelled with the files
// its own route reads. Without the sheet's plan (a picture's file is missing) the player is held
// to the monitor, over the frames the monitor counts on the timeline.
void checkFrames(const Generated& g, const std::optional<Exporter::TimelineExportPlan>& sheet,
                 const std::optional<Exporter::TimelineExportPlan>& tenBit, Reach& reach)
{
    const FrameGrid grid = g.engine().frameGrid();
    if (sheet) {
        ASSERT_EQ(grid, sheet->frameMap.grid()) << "the read-out counts on the export's grid";
    }
    const std::int64_t total =
        sheet ? sheet->render.framesTotal
              : TimelineFrameMap::firstFrameAtOrAfter(grid, TimelinePreviewEngine::timelineLength(g.session()));
    bool monitorAgrees = true, playerAgrees = true, tenBitAgrees = true;
    for (std::int64_t n = 0; n < total; ++n) {
        const double at = grid.start(n);
        const auto agree = [&](bool& agrees, const char* check, const char* route, const Picture& shown,
                               const char* other, const Picture& otherShown) {
            reach.mark(check);
            if (agrees && shown != otherShown) {
                ADD_FAILURE() << "output frame " << n << " at " << at << " s: " << route << " " << shown << " | "
                              << other << " " << otherShown;
                agrees = false;
            }
        };
        const Picture monitor = monitorPicture(g.engine(), at);
        const Picture written = sheet ? planPicture(*sheet, n) : monitor;
        if (sheet) {
            reach.pastEnds += !monitor.file && sheet->frameMap.clipAt(n) ? 1 : 0;
            agree(monitorAgrees, "monitor | sheet's plan", "monitor (paused)", monitor, "sheet's export", written);
        }
        if (g.player.built && !underImage(g, grid, n)) {
            const Picture played = playerPicture(*g.player.built, g.engine().pictureTime(at).seconds());
            agree(playerAgrees, sheet ? "player | sheet's plan" : "player | monitor", "player's composition", played,
                  sheet ? "sheet's export" : "monitor (paused)", written);
        }
        if (tenBit && !rampedAt(*tenBit, n))
            agree(tenBitAgrees, "10-bit plan | monitor", "10-bit workspace's export", planPicture(*tenBit, n),
                  "monitor (paused)", monitor);
    }
}

// The playhead's last frame (as far as it goes at the timeline's end) is the export's last.
void checkPlayheadEnd(const Generated& g, std::int64_t framesTotal, Reach& reach)
{
    if (!g.player.built)
        return;
    reach.mark("playhead end");
    TimelinePreviewEngine& engine = g.engine();
    engine.seek(TimelinePreviewEngine::timelineLength(g.session()) + 1, true, {});
    g.harness.queue->runUntilIdle();
    const std::int64_t last = engine.frameGrid().index(engine.playheadSeconds());
    if (last >= framesTotal) {
        const Picture end = monitorPicture(engine, engine.frameGrid().start(last));
        EXPECT_FALSE(end.file) << "output frame " << last << ": the playhead's last frame shows " << end
                               << " | the sheet's export writes " << framesTotal << " frames";
    }
}

// The fast path, when it takes the handed job, and the single-video export of the range of a
// clip alone at 0 whose file runs at the timeline's rate (the export writes the range's frames
// one after another, retiming none): the sheet's frames.
void checkFastPathAndSingleVideo(const Handover& handed, const std::optional<Exporter::FastPath>& fastPath,
                                 const Exporter::TimelineExportPlan& sheet, Reach& reach)
{
    const EditorJobV2& job = handedJob(handed);
    const fs::path& folder = *handed.files.mediaFolderURL;
    const auto candidate = Exporter::fastSingleClipCandidate(job, folder, handed.media());
    if (!candidate)
        return;
    const std::shared_ptr<const Asset> input = openedAsset(candidate->inputURL);
    const std::int64_t total = sheet.render.framesTotal;
    if (fastPath) {
        reach.mark("fast path");
        const Exporter::FastPathFrames& frames = fastPath->frames;
        ASSERT_EQ(frames.count, total) << "frames: fast path | sheet";
        for (std::int64_t n = 0; n < frames.count; ++n)
            ASSERT_EQ((Picture{fastPath->candidate.inputURL.lexically_normal(), frames.first + n, false}),
                      planPicture(sheet, n))
                << "output frame " << n << ": fast path | sheet's export";
    }
    const EditorJobV2::Clip& clip = candidate->clip;
    const Exporter::FrameTiming timing = Exporter::timelineFrameTiming(job, input.get());
    const std::optional<double> rate = trackFrameRate(*input->firstTrack(MediaType::video));
    if (clip.startTime.value_or(0) != 0 || !rate || std::abs(*rate - timing.fps) > 1e-9)
        return;
    Job range;
    range.version = 1;
    range.sourceInSeconds = clip.inPoint.value_or(0);
    range.sourceOutSeconds = clip.inPoint.value_or(0) + clip.duration.value_or(0);
    const auto frames = Exporter::singleVideoFrames(range, *input, timing);
    reach.mark("single-video export");
    std::int64_t shown = 0;
    for (std::int64_t n = 0; n < total; ++n)
        shown += planPicture(sheet, n).file ? 1 : 0;
    ASSERT_EQ(frames ? frames->count : 0, shown) << "frames: single-video export | sheet";
    for (std::int64_t n = 0; n < shown; ++n)
        ASSERT_EQ((Picture{candidate->inputURL.lexically_normal(), frames->first + n, false}), planPicture(sheet, n))
            << "output frame " << n << ": single-video export | sheet's export";
}

} // namespace

// ---- edits before the routes are asked ----

void dragOutward(Generated& g, Reach& reach)
{
    if (!g.c.outwardDrag)
        return;
    const std::optional<ResolvedMedia> shown = g.engine().resolvedMedia();
    for (const EditSession::Clip& clip : g.clips()) {
        if (EditSession::normalizedClipType(clip.type, clip.name) != "video" || !clip.sourceId || !shown ||
            !shown->files.contains(*clip.sourceId))
            continue;
        if (clip.duration.value_or(0) <= tailLimit(clip, shown->files.at(*clip.sourceId)) + 0.05)
            continue;
        const EditSession::Clip before = clip;
        const double end = *before.startTime + *before.duration;
        g.c.summary << " (dragged " << before.id << "'s tail from " << end << " s)";
        reach.mark("outward drag");
        const std::size_t builds = g.harness.builder->requests.size();
        g.engine().trimEdgeOnTimeline(before.id, TimelinePreviewEngine::TrimEdge::tail, end + *g.c.outwardDrag);
        g.harness.queue->runUntilIdle();
        const std::optional<EditSession::Clip> after = g.session().clip(before.id);
        ASSERT_TRUE(after);
        EXPECT_TRUE(after->startTime == before.startTime && after->duration == before.duration &&
                    after->inPoint == before.inPoint)
            << "an outward drag of " << before.id << "'s tail past its file's end moved it: start "
            << after->startTime.value_or(-1) << " duration " << after->duration.value_or(-1) << " in "
            << after->inPoint.value_or(-1);
        if (g.harness.builder->requests.size() > builds)
            g.player = answerBuild(g.harness);
        return;
    }
}

// ---- one case ----

void checkExports(Generated& g, Reach& reach)
{
    // Both exports at once, each on a thread of its own as the sheet and the workspace run them.
    const Handover handed = handOver(g.engine(), g.c);
    std::future<ExportRun> sheetRunning =
        std::async(std::launch::async, sheetExport(g.engine(), g.c, g.c.folder / "sheet.mp4", false));
    std::future<ExportRun> tenBitRunning =
        std::async(std::launch::async, [&handed, output = g.c.folder / "tenbit.mp4"] {
            return workspaceRun(handed, output, false);
        });
    const ExportRun sheet = checkSheet(g, reach, sheetRunning.get());
    reach.refused += sheet.refusal ? 1 : 0;
    // The fast path's decision, asked once: it opens the clip's file and looks its LUTs up.
    const std::optional<Exporter::FastPath> fastPath = fastPathOf(handed);
    const ExportRun tenBit = checkTenBit(g, fastPath, sheet, tenBitRunning.get(), reach);
    const std::optional<Exporter::TimelineExportPlan> tenBitPlan =
        tenBit.refusal ? workspaceFramePlan(handed) : std::optional(workspacePlan(handed));
    checkJobPreview(handed, tenBit, tenBitPlan, reach);
    if (::testing::Test::HasFatalFailure())
        return;
    std::optional<Exporter::TimelineExportPlan> plan;
    if (sheet.refusal) {
        plan = sheetFramePlan(g.engine(), g.c);
    } else {
        ++reach.exported;
        plan = sheetPlan(g.engine(), g.c);
        ASSERT_EQ(plan->render.framesTotal, sheet.framesTotal) << "frames: the sheet's plan | the sheet's export";
    }
    checkFrames(g, plan, tenBitPlan, reach);
    if (!plan)
        return;
    checkPlayheadEnd(g, plan->render.framesTotal, reach);
    if (sheet.refusal)
        return;
    if (Exporter::fastSingleClipCandidate(handedJob(handed), *handed.files.mediaFolderURL, handed.media()))
        ++reach.fastPathCandidates;
    checkFastPathAndSingleVideo(handed, fastPath, *plan, reach);
}

} // namespace velmora::test::routes
