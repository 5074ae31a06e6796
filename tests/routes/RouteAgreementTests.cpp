// Every route that shows or writes a timeline's pictures, each called through the product's own
// entry point on timelines generated from a handful of seeds: the paused monitor (the engine's
// still) and the player's composition, the export sheet's runner handed the engine's files and LUT
// answers, the 10-bit workspace's export and preview of the handed-over job (its
// JobMediaResolution), the fast path, the single-video export, the LUT pickers (the Source Viewer's
// through its controller) and status words, and trims' limits. They must name the same file and
// source frame for every output frame (black ones too), each labelled with the files its own route
// reads, the same LUT for every clip, and refuse or accept the same jobs naming the same files and
// LUTs. A failure names its seed and case and how to draw that case alone again.

#include <algorithm>
#include <deque>
#include <atomic>
#include <future>
#include <iostream>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "RouteCases.h"
#include "RouteRuns.h"
#include "export/FastSingleClipPath.h"
#include "export/FrameTiming.h"
#include "export/SingleVideoExport.h"
#include "export/TimelineExportSetup.h"
#include "export_workspaces/EngineJobExporter.h"
#include "grading/ClipGradeEditState.h"
#include "grading/GradingCaches.h"
#include "grading/PreviewFrameGrader.h"
#include "inspectors/ProjectSettingsController.h"
#include "model/ClipSpeed.h"
#include "model/MediaResolver.h"
#include "platform/media/Asset.h"
#include "preview/GradedPreviewController.h"

namespace velmora::test::routes {
namespace {

namespace fs = std::filesystem;

// Rendered cases in all, shared out among the seeds.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kRenderedCases = 8;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int kRenderedCases = 8;
#else
constexpr int kRenderedCases = 40;
#endif
#else
constexpr int kRenderedCases = 40;
#endif
// The checks that compare routes in any case, each of which must compare something in at least
// half of the cases a run draws.
constexpr const char* kEveryCaseChecks[] = {
    "files",          "trims",       "clip LUTs",              "project LUT and status", "Source Viewer",
    "sheet refusal",  "10-bit refusal", "job preview",         "monitor | sheet's plan", "player | sheet's plan",
    "10-bit plan | monitor", "playhead end"};

// In how many cases each check compared something, and how often the cases reached each route.
struct Reach {
    int cases = 0, exported = 0, refused = 0, pastEnds = 0;
    // The cases in which the fast path found a one-clip job to consider.
    int fastPathCandidates = 0;
    std::map<std::string, int> ran;
    std::set<std::string> ranInCase;

    // `check` compared something in the case being drawn.
    void mark(const std::string& check) { ranInCase.insert(check); }
    void endCase()
    {
        ++cases;
        for (const std::string& check : ranInCase)
            ++ran[check];
        ranInCase.clear();
    }
    void add(const Reach& other)
    {
        cases += other.cases;
        exported += other.exported;
        refused += other.refused;
        pastEnds += other.pastEnds;
        fastPathCandidates += other.fastPathCandidates;
        for (const auto& [check, count] : other.ran)
            ran[check] += count;
    }
    int count(const std::string& check) const
    {
        const auto found = ran.find(check);
        return found == ran.end() ? 0 : found->second;
    }

    // Prints in how many cases each check ran, and holds every check that applies to any case to
    // at least half of the cases of a run of 20 or more. The one-clip routes (the fast path, the
    // single-video export) apply only to a timeline of one plain clip, and the ingredients only
    // where they are drawn: the fixed seeds' cases reach each of them; cases a developer draws by
    // hand (a seed tried, one case drawn again) reach what they reach.
    void expectEveryCheck() const
    {
        std::ostringstream table;
        table << "Checks run, in cases of " << cases << ":";
        for (const auto& [check, count] : ran)
            table << "\n  " << check << ": " << count;
        table << "\n  (fast-path candidates: " << fastPathCandidates << ", exported " << exported << ", refused "
              << refused << ", frames past a file's end " << pastEnds << ")";
        std::cout << table.str() << std::endl;
        if (cases < 20)
            return;
        for (const char* check : kEveryCaseChecks) {
            EXPECT_GE(2 * count(check), cases) << "the check \"" << check << "\" ran in " << count(check) << " of "
                                               << cases << " cases";
        }
        if (!drawsFixedCases())
            return;
        EXPECT_GT(exported, cases / 5);
        EXPECT_GT(refused, cases / 10);
        EXPECT_GT(count("fast path"), 5);
        EXPECT_GT(count("single-video export"), 5);
        EXPECT_GT(pastEnds, 20) << "frames past a file's end";
        for (const char* ingredient : {"outward drag", "LUT rewritten", "engine's still after a rewrite", "ramp"})
            EXPECT_GT(count(ingredient), 3) << ingredient;
    }
};

// One generated case as the window holds it once the engine has adopted it and built its player.
struct Generated {
    Generated(const Library& library, EngineHarness& harness, Case& c, PlayerBuild player)
        : library(library), harness(harness), c(c), player(std::move(player))
    {
    }

    const Library& library;
    EngineHarness& harness;
    Case& c;
    PlayerBuild player;
    std::optional<ResolvedMedia> shown;
    // The files the monitor reads.
    MediaResolver::SourceFileMap files;
    // The engine's LUT answers, and the names of the LUTs among them that grade nothing.
    ResolvedLuts luts;
    std::set<std::string> failing;

    TimelinePreviewEngine& engine() const { return harness.engine; }
    const EditSession& session() const { return *harness.engine.session(); }
    const std::vector<EditSession::Clip>& clips() const { return session().timelines.front().clips; }
};

// ---- files and trims ----

// How long a clip can last before it runs past the end of `file`, at the rate the one speed rule
// gives its stored speed.
double tailLimit(const EditSession::Clip& clip, const fs::path& file)
{
    const double length = openedAsset(file)->duration().seconds();
    return std::max((length - clip.inPoint.value_or(0)) / effectiveClipSpeed(clip.speed), 0.05);
}

// A source whose own file is in the folder reads it, never another or none; a sound source is
// never given a movie; sources of one name read as many of the files of that name as there are;
// the player reads the engine's files.
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

// A clip's tail drawn far out ends where the file its source reads ends; one already past that end
// is drawn in to end there (drawn out, it stays as it is: dragOutward). Its rate is the one rule's.
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

// ---- LUTs ----

// A LUT every route shows grading is one the export's renderer reads.
void expectRenderable(const LutResolution& lut, const std::string& whose)
{
    if (!lut.grades())
        return;
    try {
        Exporter::makeCachedCube(LutResolving::withText(lut).text);
    } catch (const Error& error) {
        ADD_FAILURE() << whose << "'s LUT " << lut.name << " grades on every route but the export cannot read it: "
                      << error.fullDescription();
    }
}

// The Source Viewer opened on the clip shows, grades its still with and hands back the engine's
// answer; one that cannot find the clip's file shows no LUT at all.
void checkSourceViewer(Generated& g, const EditSession::Clip& clip, const LutResolution& lut, Reach& reach)
{
    const SourceViewerAnswer viewer = askSourceViewer(g.harness, g.c, clip);
    if (viewer.loadError)
        return;
    reach.mark("Source Viewer");
    const std::string expected = lut.kind == LutResolution::Kind::none ? "None" : lut.name;
    EXPECT_EQ(viewer.picker, expected) << "Source Viewer's LUT picker, clip " << clip.id;
    EXPECT_EQ(viewer.title, LutResolving::pickerValue(lut).title()) << "Source Viewer's LUT title, clip " << clip.id;
    EXPECT_EQ(viewer.stillLutText.value_or("(none)"), lut.grades() ? LutResolving::withText(lut).text : "(none)")
        << "the Source Viewer's graded still | the engine's answer, clip " << clip.id;
    EXPECT_EQ(viewer.handedBack, expected) << "Source Viewer's Update Timeline, clip " << clip.id;
}

// Each picture clip's answer: the monitor's grader, the status words, the Clip LUT picker, the
// grade inspector's and the Source Viewer's against it; a LUT read from a file is the file of
// exactly its name.
void checkClipLuts(Generated& g, Reach& reach)
{
    for (const EditSession::Clip& clip : g.clips()) {
        const std::string kind = EditSession::normalizedClipType(clip.type, clip.name);
        if (kind != "video" && kind != "image")
            continue;
        const auto answer = g.luts.clips.find(clip.id);
        ASSERT_TRUE(answer != g.luts.clips.end()) << "no LUT answer for " << clip.id;
        reach.mark("clip LUTs");
        const LutResolution& lut = answer->second;
        if (!lut.file.empty() && lut.name.ends_with(".cube")) {
            EXPECT_EQ(lut.file.filename().string(), fs::path(lut.name).filename().string()) << "clip " << clip.id;
        }
        expectRenderable(lut, "clip " + clip.id);
        const std::string expected = lut.kind == LutResolution::Kind::none ? "None" : lut.name;
        TimelinePreviewEngine& engine = g.engine();
        const std::optional<std::string> monitor =
            PreviewFrameGrader::resolvedClipLutText(clip.grade, engine.previewMediaFolder(), engine.lutSessionFileURL());
        EXPECT_EQ(monitor.value_or("(none)"), lut.grades() ? LutResolving::withText(lut).text : "(none)")
            << "the monitor's grader | the engine's answer, clip " << clip.id;
        EXPECT_EQ(engine.missingLutOfClip(clip.id).value_or("(none)"), lut.fails() ? lut.name : "(none)")
            << "status, clip " << clip.id;
        engine.selectClip(clip.id, false);
        EXPECT_EQ(engine.selectedClipLutPickerValue(), expected) << "Clip LUT picker, clip " << clip.id;
        EXPECT_EQ(ClipGradeEditState::from(clip).lutReference, expected)
            << "grade inspector's LUT picker, clip " << clip.id;
        checkSourceViewer(g, clip, lut, reach);
        if (lut.fails())
            g.failing.insert(lut.name);
    }
}

// Before the folder changes: the engine's answers, every clip's routes against them, Project
// Settings' picker and the monitor's project LUT, and the status line naming what fails.
void checkLuts(Generated& g, Reach& reach)
{
    TimelinePreviewEngine& engine = g.engine();
    g.failing.clear();
    if (std::optional<ResolvedLuts> luts = engine.resolvedLuts(g.c.folder, engine.lutSessionFileURL())) {
        g.luts = std::move(*luts);
    } else {
        ADD_FAILURE() << "the engine has not decided every LUT (its answers go with every export)";
        // The export's own answers, to hold the other routes to.
        const EditorJobV2 job = EditorJobV2::fromJSON(g.session().renderJobText(&g.files));
        g.luts = Exporter::timelineLuts(job, Exporter::exportTimeline(job), g.c.folder, engine.lutSessionFileURL());
    }
    ASSERT_TRUE(g.luts.job);
    reach.mark("project LUT and status");
    const LutResolution& project = *g.luts.job;
    expectRenderable(project, "the project");
    if (project.fails())
        g.failing.insert(project.name);
    checkClipLuts(g, reach);
    {
        ProjectSettingsController settings(engine, engine.availableLutNames(), {}, {});
        settings.fillIn();
        EXPECT_EQ(settings.lutSelection(), project.kind == LutResolution::Kind::none ? "None" : project.name)
            << "Project Settings' LUT picker";
    }
    EXPECT_EQ(engine.projectLutCube(), project.grades() ? LutResolving::withText(project).text : "")
        << "the monitor's project LUT";
    EXPECT_EQ(engine.missingLutText().has_value(), !g.failing.empty())
        << "status: " << engine.missingLutText().value_or("(nothing)");
    for (const std::string& name : g.failing) {
        EXPECT_TRUE(engine.missingLutText() && engine.missingLutText()->find(name) != std::string::npos)
            << name << " on the status line: " << engine.missingLutText().value_or("(nothing)");
    }
}

// ---- refusals ----

// The sheet, through its runner (`sheet`, else run here): refused naming every source without a
// file and every failing LUT, or accepted.
ExportRun checkSheet(const Generated& g, Reach& reach, std::optional<ExportRun> run = std::nullopt)
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

// The 10-bit workspace's export of the handed-over job: an override or a job-wide LUT that
// cannot be used is refused by name (unless a missing file is refused first); else it refuses what
// the sheet refuses, and counts the sheet's frames unless the fast path, which counts none before
// it is stopped, takes the job.
ExportRun checkTenBit(const Generated& g, const Handover& handed, const ExportRun& sheet, ExportRun tenBit,
                      Reach& reach)
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
            const bool fastPath = fastPathOf(handed).has_value();
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
    const EditorJobV2 job = handedJob(handed);
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

// Whether the clip a plan shows on output frame n ramps its speed: the editor keeps no ramp, so
// only the job's own routes show what it reads there.
bool rampedAt(const Exporter::TimelineExportPlan& plan, std::int64_t n)
{
    const std::optional<std::size_t> clip = plan.frameMap.clipAt(n);
    return clip && TimelineFrameMap::usesRamp(plan.frameMap.clips()[*clip]);
}

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
void checkFastPathAndSingleVideo(const Handover& handed, const Exporter::TimelineExportPlan& sheet, Reach& reach)
{
    const EditorJobV2 job = handedJob(handed);
    const fs::path& folder = *handed.files.mediaFolderURL;
    const auto candidate = Exporter::fastSingleClipCandidate(job, folder, handed.media());
    if (!candidate)
        return;
    const std::shared_ptr<const Asset> input = openedAsset(candidate->inputURL);
    const std::int64_t total = sheet.render.framesTotal;
    if (const std::optional<Exporter::FastPath> fastPath = fastPathOf(handed)) {
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

// ---- edits before the routes are asked ----

// The tail of the first clip already past its file's end dragged further out, as the lanes end a
// drag (the engine's trimEdgeOnTimeline): the clip stays exactly as it was, and the routes are
// asked of it as it is.
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

// ---- a LUT file rewritten between asks ----

// Where the paused monitor shows a frame of the rewritten LUT's clip from its file (the first on
// top), if anywhere.
std::optional<double> shownAt(const Generated& g, const std::string& clipId)
{
    const FrameGrid grid = g.engine().frameGrid();
    const std::int64_t total =
        TimelineFrameMap::firstFrameAtOrAfter(grid, TimelinePreviewEngine::timelineLength(g.session()));
    for (std::int64_t n = 0; n < total; ++n) {
        const std::optional<EditSession::Clip> clip = g.engine().clipForPausedGrade(grid.start(n));
        if (const Picture shown = monitorPicture(g.engine(), grid.start(n));
            clip && clip->id == clipId && shown.file && !shown.pastEnd)
            return grid.start(n);
    }
    return std::nullopt;
}

// The LUT file's table rewritten (a good one copied over a cut-short one, or the other way), the
// list refreshed, and then back again: after each, every LUT route (the engine's answers, the
// monitor's grader, the pickers, the Source Viewer, the status words, the sheet's refusal) follows
// the file as it is now, and the program view's still of the clip, asked again where it stood
// and after visiting another frame, is graded by the table the file holds now.
void checkLutRewrite(Generated& g, Reach& reach)
{
    if (!g.c.lutRewrite)
        return;
    reach.mark("LUT rewritten");
    const fs::path file = g.c.folder / kRewrittenLut;
    const std::optional<double> at = g.c.lutRewrite->clipId ? shownAt(g, *g.c.lutRewrite->clipId) : std::nullopt;
    const auto handBacks = std::make_shared<HandBacks>(g.harness.queue);
    GradedPreviewController controller(&g.engine(), handBacks, false);
    // The program view's still where the playhead stands, and, after the file changed, again once
    // the playhead has been elsewhere and come back.
    const auto compareStill = [&](const char* when, bool visitElsewhere) {
        if (!at)
            return;
        reach.mark("engine's still after a rewrite");
        const Shown fresh = monitorStill(g.engine(), *at);
        for (const bool visited : {false, true}) {
            if (visited && !visitElsewhere)
                break;
            if (visited) {
                g.engine().seek(*at + 0.5, true, {});
                g.harness.queue->runUntilIdle();
            }
            const std::optional<Shown> program = programStill(g.harness, *handBacks, controller, *at);
            ASSERT_TRUE(program) << "the program view shows no still of " << *g.c.lutRewrite->clipId << " " << when;
            EXPECT_TRUE(sameFrame(*program, fresh))
                << "the program view's still of " << *g.c.lutRewrite->clipId << " at " << *at << " s " << when
                << (visited ? ", after a visit elsewhere" : "") << " | the still graded through the LUT's answer now";
        }
    };
    compareStill("before the file was rewritten", false);
    bool usable = g.c.lutRewrite->startsUsable;
    for (const char* step : {"once the file was rewritten", "once the file was rewritten back"}) {
        usable = !usable;
        SCOPED_TRACE(::testing::Message() << kRewrittenLut << (usable ? " made good " : " cut short ") << step);
        writeTextFile(file, readTextFile(g.library.file(usable ? kSqueezingLut : "trunc.cube")));
        g.engine().refreshLutNames();
        g.harness.queue->runUntilIdle();
        checkLuts(g, reach);
        checkSheet(g, reach);
        compareStill(step, true);
    }
}

// ---- one case ----

// The exports of the case after the folder changed, whether or not they refuse: refusals, the job
// preview, and every frame of every route. Where an export refuses a LUT or a sound file, its
// frames are those of its plan without them (sheetFramePlan, workspaceFramePlan); the fast path,
// the single-video export and the playhead's end are compared where the sheet exports.
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
    const ExportRun tenBit = checkTenBit(g, handed, sheet, tenBitRunning.get(), reach);
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
    checkFastPathAndSingleVideo(handed, *plan, reach);
}

void checkGeneratedCase(const Library& library, std::uint32_t seed, int index, Reach& reach)
{
    std::mt19937 rng(seed + static_cast<std::uint32_t>(index));
    EngineHarness harness;
    Case c;
    c.folder = harness.media.path();
    forgetOpenedAssets();
    generate(c, library, rng);
    const std::string summary = c.summary.str();
    SCOPED_TRACE(::testing::Message() << "seed " << seed << " case " << index << " (" << repeatWith(seed, index)
                                      << "): " << summary);
    Generated g{library, harness, c, adopt(harness, c)};
    editInSourceViewer(harness, c, g.player);
    if (::testing::Test::HasFatalFailure())
        return;
    dragOutward(g, reach);
    if (::testing::Test::HasFatalFailure())
        return;
    g.shown = g.engine().resolvedMedia();
    if (g.shown)
        g.files = g.shown->files;
    checkFiles(g, reach);
    checkTrims(g, reach);
    checkLuts(g, reach);
    checkLutRewrite(g, reach);
    if (::testing::Test::HasFatalFailure())
        return;
    if (g.shown)
        changeFolderAfterwards(c, library, *g.shown, rng);
    SCOPED_TRACE("and then:" + c.summary.str().substr(summary.size()));
    checkExports(g, reach);
}

class RouteAgreement : public ::testing::Test {
protected:
    static void SetUpTestSuite() { library_ = new Library(); }
    static void TearDownTestSuite()
    {
        delete library_;
        library_ = nullptr;
    }
    static Library* library_;
};

Library* RouteAgreement::library_ = nullptr;

// Runs `each(worker)` on `workers` threads at once and returns once all have: a case is an engine
// with a main queue and a folder of its own, asked on the thread that made it, so that cases
// drawn at once share nothing but the library's files. A failure's trace stays with its thread.
void onThreadsAtOnce(std::size_t workers, const std::function<void(std::size_t)>& each)
{
    std::vector<std::thread> threads;
    for (std::size_t w = 0; w < workers; ++w) {
        threads.emplace_back([&each, w] {
            try {
                each(w);
            } catch (const std::exception& error) {
                ADD_FAILURE() << "thread " << w << ": " << error.what();
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
}

TEST_F(RouteAgreement, GeneratedTimelinesShowAndWriteTheSameFramesLutsAndRefusals)
{
    // Every case of every seed, drawn by as many threads as the machine has cores, each taking
    // the next case not yet drawn: a case's draws depend on its seed and index alone.
    const std::vector<std::uint32_t> seeds = routeSeeds();
    const std::size_t cases = seeds.size() * static_cast<std::size_t>(casesPerSeed());
    const std::size_t workers = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
    std::vector<Reach> reaches(workers);
    std::atomic<std::size_t> next{0};
    onThreadsAtOnce(workers, [&](std::size_t w) {
        for (std::size_t k = next++; k < cases && !HasFatalFailure(); k = next++) {
            const auto index = static_cast<int>(k % static_cast<std::size_t>(casesPerSeed()));
            checkGeneratedCase(*library_, seeds[k / static_cast<std::size_t>(casesPerSeed())], index, reaches[w]);
            reaches[w].endCase();
        }
    });
    Reach reach;
    for (const Reach& each : reaches)
        reach.add(each);
    reach.expectEveryCheck();
}

// ---- rendered cases ----

// A rendered case's movies against the paused monitor, frame by frame, by the stamps they show;
// on frames whose clip ramps its speed in the 10-bit workspace's own job, that movie against the
// plan its export renders.
struct Movies {
    std::vector<Shown> sheet;
    std::vector<Shown> tenBit;
    std::string tenBitName;
    Exporter::TimelineExportPlan tenBitPlan;
};

// What the monitor shows on output frame n as a stamp: black 0, past a file's end -2.
int monitorStamp(const Library& library, const TimelinePreviewEngine& engine, std::int64_t n)
{
    const Picture monitor = monitorPicture(engine, engine.frameGrid().start(n));
    const std::optional<int> stamp =
        monitor.file ? (monitor.pastEnd ? std::optional<int>(-2) : library.stampOf(*monitor.file, monitor.frame))
                     : std::optional<int>(0);
    EXPECT_TRUE(stamp) << monitor;
    return stamp.value_or(-1);
}

// What a plan writes on output frame n as a stamp: black 0.
int planStamp(const Library& library, const Exporter::TimelineExportPlan& plan, std::int64_t n)
{
    const Picture written = planPicture(plan, n);
    const std::optional<int> stamp =
        written.file ? library.stampOf(*written.file, written.frame) : std::optional<int>(0);
    EXPECT_TRUE(stamp) << written;
    return stamp.value_or(-1);
}

void compareMovies(const Library& library, const TimelinePreviewEngine& engine, const Movies& movies)
{
    bool sheetAgrees = true, tenBitAgrees = true;
    for (std::size_t n = 0; n < movies.sheet.size(); ++n) {
        const auto frame = static_cast<std::int64_t>(n);
        const int stamp = monitorStamp(library, engine, frame);
        const auto compare = [&](const Shown& written, const std::string& route, bool& agrees, int expected,
                                 const char* by) {
            if (agrees && written.stamp != expected) {
                ADD_FAILURE() << "output frame " << n << ": " << by << " stamp " << expected << " ("
                              << Library::describe(expected) << ") | " << route << "'s movie " << written << " ("
                              << Library::describe(written.stamp) << ")";
                agrees = false;
            }
        };
        compare(movies.sheet[n], "sheet", sheetAgrees, stamp, "monitor (paused)");
        if (rampedAt(movies.tenBitPlan, frame))
            compare(movies.tenBit[n], movies.tenBitName, tenBitAgrees, planStamp(library, movies.tenBitPlan, frame),
                    "its plan (a ramp)");
        else
            compare(movies.tenBit[n], movies.tenBitName, tenBitAgrees, stamp, "monitor (paused)");
    }
}

// A movie an export wrote, read back: what the export said, and every frame (none where it
// refused).
struct WrittenMovie {
    ExportRun run;
    std::vector<Shown> frames;
};

// The export run on a thread of its own, as its window runs it, and its movie read back there:
// the case waits for the slowest of its exports only.
std::future<WrittenMovie> writeAndRead(std::function<ExportRun()> run, fs::path movie)
{
    return std::async(std::launch::async, [run = std::move(run), movie = std::move(movie)] {
        WrittenMovie written{run(), {}};
        if (!written.run.refusal)
            written.frames = movieFrames(movie);
        return written;
    });
}

// The single-video export of the range of a clip alone at 0 (no LUT), through the 10-bit
// workspace's exporter.
std::function<ExportRun()> singleVideoExport(const Case& c, const EditSession::Clip& clip, const fs::path& input)
{
    const nlohmann::json single = {{"version", 1},
                                   {"sourceInSeconds", clip.inPoint.value_or(0)},
                                   {"sourceOutSeconds", clip.inPoint.value_or(0) + clip.duration.value_or(0)},
                                   {"output", {{"fpsNum", c.rate.num}, {"fpsDen", c.rate.den}}},
                                   {"grade", {{"lutCube", ""}}}};
    JobExportRequest request;
    request.files.jobURL = c.folder / "single.json";
    request.files.inputURL = input;
    request.outputURL = c.folder / "single.mp4";
    writeTextFile(request.files.jobURL, single.dump());
    return [request] {
        ExportRun run;
        try {
            EngineJobExporter().exportJob(request, {}, {});
        } catch (const Error& error) {
            run.refusal = error;
        }
        return run;
    };
}

// The single-video movie: the frames the monitor shows of its clip, refused ("export" 9) where
// it shows none.
void compareSingleVideoMovie(const Library& library, const TimelinePreviewEngine& engine, const WrittenMovie& single,
                             std::int64_t total)
{
    std::size_t shownCount = 0;
    for (std::int64_t n = 0; n < total; ++n)
        shownCount += monitorPicture(engine, engine.frameGrid().start(n)).file ? 1 : 0;
    const std::optional<Error>& refusal = single.run.refusal;
    EXPECT_EQ(refusal ? refusal->code() : 0, shownCount == 0 ? 9 : 0) << "single-video export: " << refusalText(refusal);
    ASSERT_EQ(single.frames.size(), shownCount) << "frames: single-video export | monitor's of the clip";
    for (std::size_t n = 0; n < shownCount; ++n) {
        const int stamp = monitorStamp(library, engine, static_cast<std::int64_t>(n));
        if (single.frames[n].stamp != stamp) {
            ADD_FAILURE() << "output frame " << n << ": monitor (paused) stamp " << stamp
                          << " | single-video export's movie " << single.frames[n] << " ("
                          << Library::describe(single.frames[n].stamp) << ")";
            break;
        }
    }
}

// The paused monitor's graded stills on up to six frames, taken from the engine here and graded
// on threads of their own meanwhile, and the job preview of the handed job's first clip on its
// first frame.
struct Stills {
    std::vector<std::pair<std::int64_t, std::future<Shown>>> monitor;
    std::optional<std::int64_t> previewFrame;
    std::future<Shown> preview;
    std::future<Shown> monitorAtPreview;
};

Stills askStills(const TimelinePreviewEngine& engine, const Handover& handed, const Exporter::TimelineExportPlan& plan)
{
    Stills stills;
    const FrameGrid grid = engine.frameGrid();
    const std::int64_t total = plan.render.framesTotal;
    const auto graded = [](std::optional<GradedStillJob> job) {
        return std::async(std::launch::async, [job = std::move(job)] { return stillShown(job); });
    };
    for (std::int64_t n = 0; n < total; n += std::max<std::int64_t>(1, total / 6))
        stills.monitor.emplace_back(n, graded(monitorStillJob(engine, grid.start(n))));
    for (std::int64_t n = 0; n < total && !stills.previewFrame; ++n) {
        const ShownFrame first = plan.frameMap.frame(n);
        if (first.clip != 0 || first.gap())
            continue;
        stills.previewFrame = n;
        stills.preview = std::async(std::launch::async, [files = handed.files, time = first.sourceTime] {
            return shownInImage(EngineJobExporter().renderPreviewFrame(JobPreviewRequest{files, time, {}}).image);
        });
        stills.monitorAtPreview = graded(monitorStillJob(engine, grid.start(n)));
    }
    return stills;
}

// The monitor's stills against both movies, and the job preview against the monitor's still (a
// ramp is the job's own: there, against its movie).
void compareStills(Stills& stills, const Movies& movies)
{
    for (auto& [n, still] : stills.monitor) {
        const Shown monitor = still.get();
        // Black (a gap, where no still is made) is the movies' too; a still that cannot be read
        // fails below.
        if (monitor.stamp == 0)
            continue;
        EXPECT_TRUE(sameFrame(monitor, movies.sheet.at(static_cast<std::size_t>(n)))) << "frame " << n << ", sheet";
        if (!rampedAt(movies.tenBitPlan, n)) {
            EXPECT_TRUE(sameFrame(monitor, movies.tenBit.at(static_cast<std::size_t>(n))))
                << "frame " << n << ", " << movies.tenBitName;
        }
    }
    if (!stills.previewFrame)
        return;
    const std::int64_t n = *stills.previewFrame;
    const Shown monitor = stills.monitorAtPreview.get();
    const Shown expected = rampedAt(movies.tenBitPlan, n) ? movies.tenBit.at(static_cast<std::size_t>(n)) : monitor;
    EXPECT_TRUE(sameFrame(expected, stills.preview.get())) << "job preview, frame " << n;
}

// How many rendered cases a seed still wants, and how many of the fast path and of the
// single-video export (the run wants one of each, from its first seeds).
struct RenderQuota {
    int rendered = 0;
    int fastPaths = 0;
    int singleVideos = 0;
    bool met() const { return rendered <= 0 && fastPaths <= 0 && singleVideos <= 0; }
};

// A rendered case while its movies are written: its engine and folder, the plans of its exports,
// whether the fast path said it takes the handed job, and the movies and stills under way.
struct RenderedRun {
    std::unique_ptr<EngineHarness> harness;
    Case c;
    std::string trace;
    std::optional<Handover> handed;
    std::optional<Exporter::TimelineExportPlan> plan;
    std::optional<Exporter::TimelineExportPlan> tenBitPlan;
    bool fastPath = false;
    std::future<WrittenMovie> sheetMovie;
    std::future<WrittenMovie> tenBitMovie;
    std::optional<std::future<WrittenMovie>> singleMovie;
    Stills stills;
};

// Draws case `index` of `seed` for rendering and starts writing its movies: the sheet's, the
// 10-bit workspace's of the handed-over job (for one plain clip, the fast path) and, for a clip
// alone at 0, the single-video export's, at once, the monitor's stills graded meanwhile. None
// where the seed wants no more of its kind, or the sheet's plan refuses it (nothing to render).
// What the case counts toward is what the plans and the fast path decide; finishRenderedCase
// holds the exports to them.
std::unique_ptr<RenderedRun> startRenderedCase(const Library& library, std::uint32_t seed, int index,
                                               RenderQuota& quota)
{
    auto run = std::make_unique<RenderedRun>();
    std::mt19937 rng(seed + 7919 + static_cast<std::uint32_t>(index));
    run->harness = std::make_unique<EngineHarness>();
    EngineHarness& harness = *run->harness;
    Case& c = run->c;
    c.rendered = true;
    c.folder = harness.media.path();
    generate(c, library, rng);
    if (!c.single && quota.rendered <= 0)
        return nullptr;
    PlayerBuild player = adopt(harness, c);
    editInSourceViewer(harness, c, player);
    TimelinePreviewEngine& engine = harness.engine;
    const std::optional<ResolvedMedia> shown = engine.resolvedMedia();
    if (!shown || ::testing::Test::HasFatalFailure())
        return nullptr;
    changeFolderAfterwards(c, library, *shown, rng);
    run->trace = (::testing::Message() << "rendered case " << index << " of seed " << seed << " ("
                                        << repeatWith(seed, index) << "): " << c.summary.str())
                     .GetString();
    try {
        run->plan = sheetPlan(engine, c);
    } catch (const Error&) {
        return nullptr;
    }
    run->handed = handOver(engine, c);
    const Handover& handed = *run->handed;
    run->tenBitPlan = workspacePlan(handed);
    run->fastPath = fastPathOf(handed).has_value();
    run->sheetMovie = writeAndRead(sheetExport(engine, c, c.folder / "sheet.mp4", true), c.folder / "sheet.mp4");
    run->tenBitMovie =
        writeAndRead([&handed, output = c.folder / "tenbit.mp4"] { return workspaceRun(handed, output, true); },
                     c.folder / "tenbit.mp4");
    const EditSession::Clip& first = engine.session()->timelines.front().clips.front();
    if (c.single && first.startTime.value_or(0) == 0 && shown->files.contains(*first.sourceId)) {
        run->singleMovie =
            writeAndRead(singleVideoExport(c, first, shown->files.at(*first.sourceId)), c.folder / "single.mp4");
        --quota.singleVideos;
    }
    run->stills = askStills(engine, handed, *run->tenBitPlan);
    --(run->fastPath ? quota.fastPaths : quota.rendered);
    return run;
}

// A rendered case's movies, once written, against the monitor, frame by frame.
void finishRenderedCase(const Library& library, RenderedRun& run)
{
    SCOPED_TRACE(run.trace);
    const TimelinePreviewEngine& engine = run.harness->engine;
    const WrittenMovie sheet = run.sheetMovie.get();
    const WrittenMovie tenBit = run.tenBitMovie.get();
    ASSERT_FALSE(sheet.run.refusal) << "the sheet refuses what its plan takes: " << refusalText(sheet.run.refusal);
    ASSERT_FALSE(tenBit.run.refusal) << refusalText(tenBit.run.refusal);
    EXPECT_EQ(tenBit.run.fastPath, run.fastPath) << "the fast path's decision | the 10-bit workspace's export";
    const Movies movies{sheet.frames, tenBit.frames, tenBit.run.fastPath ? "fast path" : "10-bit workspace",
                        *run.tenBitPlan};
    ASSERT_EQ(movies.sheet.size(), static_cast<std::size_t>(sheet.run.framesTotal));
    ASSERT_EQ(movies.sheet.size(), static_cast<std::size_t>(run.plan->render.framesTotal));
    ASSERT_EQ(movies.tenBit.size(), movies.sheet.size()) << "frames: " << movies.tenBitName << " | sheet";
    compareMovies(library, engine, movies);
    if (run.singleMovie)
        compareSingleVideoMovie(library, engine, run.singleMovie->get(), run.plan->render.framesTotal);
    compareStills(run.stills, movies);
}

TEST_F(RouteAgreement, RenderedCasesWriteTheMonitorsFramesOnEveryRoute)
{
    // Each seed renders its share of the fixed seeds' cases, the first ones one more where they do
    // not share out evenly.
    const std::vector<std::uint32_t> seeds = routeSeeds();
    const int perSeed = kRenderedCases / static_cast<int>(fixedSeeds().size());
    const int more = kRenderedCases % static_cast<int>(fixedSeeds().size());
    // Cases drawn by hand are rendered whatever they reach; VELMORA_ROUTE_CASES bounds how many.
    const std::optional<int> asked = casesAsked();
    // The seeds at once, each drawing its cases in order (which it renders depends on those before).
    onThreadsAtOnce(seeds.size(), [&](std::size_t s) {
        RenderQuota quota;
        quota.rendered = perSeed + (static_cast<int>(s) < more ? 1 : 0);
        quota.fastPaths = s == 0 ? 1 : 0;
        quota.singleVideos = s == 1 % seeds.size() ? 1 : 0;
        // A few cases under way at once: the next one is drawn while the movies of those before
        // it are written.
        constexpr std::size_t kUnderWay = 3;
        std::deque<std::unique_ptr<RenderedRun>> underWay;
        for (int index = 0; index < asked.value_or(400) && !quota.met() && !HasFatalFailure(); ++index) {
            if (std::unique_ptr<RenderedRun> run = startRenderedCase(*library_, seeds[s], index, quota))
                underWay.push_back(std::move(run));
            for (; underWay.size() >= kUnderWay || (quota.met() && !underWay.empty()); underWay.pop_front())
                finishRenderedCase(*library_, *underWay.front());
        }
        for (; !underWay.empty(); underWay.pop_front())
            finishRenderedCase(*library_, *underWay.front());
        if (drawsFixedCases()) {
            EXPECT_LE(quota.rendered, 0) << "rendered cases of seed " << seeds[s];
            EXPECT_LE(quota.fastPaths, 0) << "fast-path movies of seed " << seeds[s];
            EXPECT_LE(quota.singleVideos, 0) << "single-video movies of seed " << seeds[s];
        }
    });
}

} // namespace
} // namespace velmora::test::routes
