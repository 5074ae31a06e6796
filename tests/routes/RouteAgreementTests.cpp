// Every route that shows or writes a timeline's pictures, each called through the product's own
// entry point on timelines generated from a seed: the paused monitor (the engine's still) and the
// player's composition, the export sheet's runner handed the engine's files and LUT answers, the
// 10-bit workspace's export and preview of the handed-over job (its JobMediaResolution), the fast
// path, the single-video export, the LUT pickers and status words, and trims' limits. They must
// name the same file and source frame for every output frame (black ones too), the same LUT for
// every clip, and refuse or accept the same jobs naming the same files and LUTs.

#include <algorithm>
#include <set>

#include <gtest/gtest.h>

#include "RouteCases.h"
#include "export/FastSingleClipPath.h"
#include "export/FrameTiming.h"
#include "export/SingleVideoExport.h"
#include "export/TimelineExport.h"
#include "export/TimelineExportSetup.h"
#include "export/TimelineFrameRenderer.h"
#include "export_workspaces/EditorExportTimelineRunner.h"
#include "export_workspaces/EngineJobExporter.h"
#include "grading/ClipGradeEditState.h"
#include "grading/PreviewFrameGrader.h"
#include "inspectors/ProjectSettingsController.h"
#include "model/MediaResolver.h"
#include "platform/foundation/FileReading.h"
#include "platform/media/Asset.h"
#include "platform/media/PlayerItem.h"

namespace velmora::test::routes {
namespace {

namespace fs = std::filesystem;

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

// An export run through its entry point: refused (with the error), or accepted with its frame
// count; `render` false stops it before its first frame.
struct ExportRun {
    std::optional<Error> refusal;
    std::int64_t framesTotal = 0;
    bool fastPath = false;
};

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

// The sheet's run, as the sheet starts it: the engine's files and LUT answers in the request.
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

// What the editor hands the 10-bit workspace (the files and LUT answers the monitor decided),
// and the job file it writes; `browserJob` gives the continued clip the in point a browser's job
// names, and the job-wide LUT a missing file when the case says so.
struct Handover {
    fs::path jobURL;
    std::optional<ResolvedMedia> shown;
    JobFiles files;
};

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
    // A job the workspace opens itself (a browser's job, one with a job-wide LUT of its own) comes
    // without the monitor's answers: the workspace looks its files up.
    const bool ownJob = c.jobLutMissing || c.continued;
    h.files.media = std::make_shared<JobMediaResolution>(h.jobURL, c.folder,
                                                         ownJob ? std::nullopt : h.shown);
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

std::string refusalText(const std::optional<Error>& refusal)
{
    return refusal ? refusal->localizedDescription() : "(accepted)";
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

TEST_F(RouteAgreement, GeneratedTimelinesShowAndWriteTheSameFramesLutsAndRefusals)
{
    const std::uint32_t seed = baseSeed();
    const int cases = 300;
    int exported = 0, refused = 0, fastPaths = 0, singleVideo = 0, jobPreviews = 0, pastEnds = 0;
    for (int index = 0; index < cases; ++index) {
        [&] {
            std::mt19937 rng(seed + static_cast<std::uint32_t>(index));
            EngineHarness harness;
            Case c;
            c.folder = harness.media.path();
            generate(c, *library_, rng);
            const std::string summary = c.summary.str();
            SCOPED_TRACE(::testing::Message() << "seed " << seed << " case " << index << " (VELMORA_ROUTE_SEED="
                                              << seed + index << " and case 0 repeat it): " << summary);

            const PlayerBuild player = adopt(harness, c);
            TimelinePreviewEngine& engine = harness.engine;
            const EditSession& session = *engine.session();
            const std::optional<ResolvedMedia> shown = engine.resolvedMedia();
            const MediaResolver::SourceFileMap files = shown ? shown->files : MediaResolver::SourceFileMap{};

            // Files: a source whose own file is in the folder reads it, never another or none; a
            // sound source is never given a movie; sources of one name read as many of the files of
            // that name as there are; the player reads the engine's files.
            std::map<std::string, std::set<fs::path>> readByName;
            std::map<std::string, std::size_t> sourcesByName;
            for (const EditSession::Source& source : session.sources) {
                const auto file = files.find(source.id);
                if (filesNamed(c.folder, source.fileName) > 0) {
                    ASSERT_TRUE(file != files.end()) << source.fileName << " is there but source " << source.id
                                                     << " has no file (monitor)";
                    EXPECT_EQ(file->second.filename().string(), source.fileName) << "monitor, source " << source.id;
                }
                if (file != files.end() && source.type == "audio") {
                    EXPECT_FALSE(isMovie(file->second)) << "monitor: sound source " << source.fileName << " reads "
                                                        << file->second;
                }
                ++sourcesByName[source.fileName];
                if (file != files.end())
                    readByName[source.fileName].insert(file->second);
            }
            for (const auto& [name, count] : sourcesByName) {
                if (const std::size_t named = filesNamed(c.folder, name); named > 0) {
                    EXPECT_EQ(readByName[name].size(), std::min(named, count)) << "monitor: sources named " << name;
                }
            }
            if (player.built) {
                EXPECT_EQ(MediaResolver::SourceFileMap(player.built->sourceFiles.begin(), player.built->sourceFiles.end()),
                          files)
                    << "the player's files | the monitor's";
            }

            // Trims' limits: a clip's tail drawn far out ends where the file its source reads ends.
            for (const EditSession::Clip& clip : session.timelines.front().clips) {
                if (EditSession::normalizedClipType(clip.type, clip.name) != "video" || !clip.sourceId || !files.contains(*clip.sourceId))
                    continue;
                // The clip alone on its lane: no neighbour stops it.
                EditSession trimmed = session;
                trimmed.timelines.front().clips = {clip};
                trimmed.trimClipTail(clip.id, *clip.startTime + 100, false, &files);
                const std::shared_ptr<const Asset> asset = Asset::open(files.at(*clip.sourceId));
                const double length = asset->duration().seconds();
                const double limit = std::max((length - clip.inPoint.value_or(0)) / clip.speed.value_or(1), 0.05);
                EXPECT_NEAR(trimmed.clip(clip.id)->duration.value_or(0), limit, 0.05)
                    << "trim: clip " << clip.id << "'s tail drawn out (" << files.at(*clip.sourceId).lexically_normal()
                    << " lasts " << length << " s)";
            }

            // LUTs, before the folder changes: the engine's answers; the monitor's grader, the four
            // pickers and the status line against them.
            std::optional<ResolvedLuts> luts = engine.resolvedLuts(c.folder, engine.lutSessionFileURL());
            if (!luts) {
                ADD_FAILURE() << "the engine has not decided every LUT (its answers go with every export)";
                // The export's own answers, to hold the other routes to.
                const EditorJobV2 job = EditorJobV2::fromJSON(session.renderJobText(&files));
                luts = Exporter::timelineLuts(job, Exporter::exportTimeline(job), c.folder, engine.lutSessionFileURL());
            }
            std::set<std::string> failing;
            ASSERT_TRUE(luts->job);
            if (luts->job->fails())
                failing.insert(luts->job->name);
            for (const EditSession::Clip& clip : session.timelines.front().clips) {
                const std::string kind = EditSession::normalizedClipType(clip.type, clip.name);
                if (kind != "video" && kind != "image")
                    continue;
                const auto answer = luts->clips.find(clip.id);
                ASSERT_TRUE(answer != luts->clips.end()) << "no LUT answer for " << clip.id;
                const LutResolution& lut = answer->second;
                const std::string expected = lut.kind == LutResolution::Kind::none ? "None" : lut.name;
                const std::optional<std::string> monitor = PreviewFrameGrader::resolvedClipLutText(
                    clip.grade, engine.previewMediaFolder(), engine.lutSessionFileURL());
                EXPECT_EQ(monitor.value_or("(none)"), lut.grades() ? LutResolving::withText(lut).text : "(none)")
                    << "the monitor's grader | the engine's answer, clip " << clip.id;
                EXPECT_EQ(engine.missingLutOfClip(clip.id).value_or("(none)"), lut.fails() ? lut.name : "(none)")
                    << "status, clip " << clip.id;
                engine.selectClip(clip.id, false);
                EXPECT_EQ(engine.selectedClipLutPickerValue(), expected) << "Clip LUT picker, clip " << clip.id;
                EXPECT_EQ(ClipGradeEditState::from(clip).lutReference, expected)
                    << "grade inspector's LUT picker, clip " << clip.id;
                EXPECT_EQ(engine.selectedClipLutReference(), expected) << "Source Viewer's LUT picker, clip " << clip.id;
                if (lut.fails())
                    failing.insert(lut.name);
            }
            {
                ProjectSettingsController settings(engine, engine.availableLutNames(), {}, {});
                settings.fillIn();
                EXPECT_EQ(settings.lutSelection(), luts->job->kind == LutResolution::Kind::none ? "None" : luts->job->name)
                    << "Project Settings' LUT picker";
            }
            EXPECT_EQ(engine.projectLutCube(), luts->job->grades() ? LutResolving::withText(*luts->job).text : "")
                << "the monitor's project LUT";
            EXPECT_EQ(engine.missingLutText().has_value(), !failing.empty())
                << "status: " << engine.missingLutText().value_or("(nothing)");
            for (const std::string& name : failing) {
                EXPECT_TRUE(engine.missingLutText() && engine.missingLutText()->find(name) != std::string::npos)
                    << name << " on the status line: " << engine.missingLutText().value_or("(nothing)");
            }

            if (shown)
                changeFolderAfterwards(c, *library_, *shown, rng);
            SCOPED_TRACE("and then:" + c.summary.str().substr(summary.size()));

            // The sheet, through its runner: refused naming every source without a file and every
            // failing LUT, or accepted.
            const ExportRun sheet = sheetRun(engine, c, c.folder / "sheet.mp4", false);
            std::vector<std::string> unshown;
            for (const EditSession::Source& source : session.sources) {
                const bool used = std::any_of(session.timelines.front().clips.begin(), session.timelines.front().clips.end(),
                                              [&](const EditSession::Clip& clip) { return clip.sourceId == source.id; });
                if (used && !files.contains(source.id))
                    unshown.push_back(source.fileName);
            }
            if (!unshown.empty()) {
                ASSERT_TRUE(sheet.refusal) << "sheet: the export runs without " << unshown.front();
                EXPECT_EQ(sheet.refusal->code(), 212) << sheet.refusal->localizedDescription();
                for (const std::string& name : unshown)
                    EXPECT_TRUE(names(*sheet.refusal, name)) << "sheet: " << sheet.refusal->localizedDescription();
            } else {
                EXPECT_EQ(sheet.refusal.has_value(), !failing.empty()) << "sheet: " << refusalText(sheet.refusal);
                for (const std::string& name : failing)
                    EXPECT_TRUE(sheet.refusal && names(*sheet.refusal, name))
                        << "sheet refuses " << name << ": " << refusalText(sheet.refusal);
            }
            refused += sheet.refusal ? 1 : 0;

            // The 10-bit workspace: the handed-over job's export and preview.
            const Handover handed = handOver(engine, c);
            const ExportRun tenBit = workspaceRun(handed, c.folder / "tenbit.mp4", false);
            if (c.lutOverride) {
                ASSERT_TRUE(tenBit.refusal) << "10-bit workspace: an override that cannot be used is dropped";
                if (tenBit.refusal->code() != 212) { // the files are checked first
                    EXPECT_TRUE(names(*tenBit.refusal, c.lutOverride->filename().string()))
                        << "10-bit workspace: " << tenBit.refusal->localizedDescription();
                }
            } else if (c.jobLutMissing) {
                ASSERT_TRUE(tenBit.refusal) << "10-bit workspace: a job whose own LUT is missing exports";
                if (tenBit.refusal->code() != 212) {
                    EXPECT_TRUE(names(*tenBit.refusal, "missing_job_look.cube"))
                        << "10-bit workspace: " << tenBit.refusal->localizedDescription();
                }
            } else {
                EXPECT_EQ(refusalText(tenBit.refusal), refusalText(sheet.refusal)) << "10-bit workspace | sheet";
                // The fast path tells no count before it is stopped.
                if (tenBit.framesTotal > 0 || !c.single) {
                    EXPECT_EQ(tenBit.framesTotal, sheet.framesTotal) << "frames: 10-bit workspace | sheet";
                }
            }

            // The job preview refuses what its export refuses, and otherwise shows the export's
            // source frame at its clip's first frame.
            const EditorJobV2 tenBitJob = EditorJobV2::fromJSON(readFileContents(handed.jobURL));
            const ResolvedMedia* handedMedia = handed.files.media->media();
            std::optional<TimelineFrameMap> tenBitMap;
            if (!tenBit.refusal)
                tenBitMap = Exporter::planTimelineExport(tenBitJob, c.lutOverride, c.folder, std::nullopt, handedMedia,
                                                         handedMedia ? handedMedia->givenLuts() : nullptr)
                                .frameMap;
            {
                std::optional<ShownFrame> first;
                for (std::int64_t n = 0; tenBitMap && n < tenBit.framesTotal && !first; ++n)
                    if (const ShownFrame f = tenBitMap->frame(n); f.clip == 0 && f.sourceFrame)
                        first = f;
                const auto& clips = Exporter::exportTimeline(tenBitJob).clips;
                const bool videoFirst = !clips.empty() && clips.front().type == "video";
                // It refuses a LUT as its export does, and its own clip's file; a file another
                // clip needs is not its concern.
                const bool ownFileMissing =
                    videoFirst && (!handedMedia || !handedMedia->files.contains(clips.front().sourceId.value_or("")));
                if (videoFirst && ((tenBit.refusal && (tenBit.refusal->code() == 214 || ownFileMissing)) || first)) {
                    ++jobPreviews;
                    EngineJobExporter exporter;
                    try {
                        const JobPreviewStill still =
                            exporter.renderPreviewFrame(JobPreviewRequest{handed.files, first ? first->sourceTime : 0.0, {}});
                        EXPECT_FALSE(tenBit.refusal) << "the job preview draws what the export refuses: "
                                                     << refusalText(tenBit.refusal);
                        if (first) {
                            const std::shared_ptr<const Asset> asset = Asset::open(handedMedia->files.at(*first->sourceId));
                            const double rate = *trackFrameRate(*asset->firstTrack(MediaType::video));
                            EXPECT_EQ(std::llround(still.displayTimeSeconds * rate), *first->sourceFrame)
                                << "job preview | 10-bit workspace's export, at source time " << first->sourceTime;
                        }
                    } catch (const Error& error) {
                        ASSERT_TRUE(tenBit.refusal) << "the job preview refuses: " << error.fullDescription();
                        if (tenBit.refusal->code() == 214) {
                            EXPECT_EQ(error.localizedDescription(), tenBit.refusal->localizedDescription())
                                << "job preview | 10-bit workspace's export";
                        }
                    }
                }
            }
            if (sheet.refusal)
                return;
            ++exported;

            // Every frame, black ones too: the paused monitor, the player's composition, the sheet's
            // export (over the files it is handed) and the 10-bit workspace's.
            ASSERT_TRUE(shown);
            const TimelineFrameMap sheetMap =
                Exporter::planTimelineExport(EditorJobV2::fromJSON(session.renderJobText(&files)), std::nullopt,
                                             c.folder, engine.lutSessionFileURL(), &*shown, luts ? &*luts : nullptr)
                    .frameMap;
            ASSERT_EQ(engine.frameGrid(), sheetMap.grid()) << "the read-out counts on the export's grid";
            std::set<std::size_t> images;
            for (std::size_t i = 0; i < session.timelines.front().clips.size(); ++i)
                if (EditSession::normalizedClipType(session.timelines.front().clips[i].type, session.timelines.front().clips[i].name) == "image")
                    images.insert(i);
            bool monitorAgrees = true, playerAgrees = true, tenBitAgrees = true;
            for (std::int64_t n = 0; n < sheet.framesTotal; ++n) {
                const double at = sheetMap.grid().start(n);
                const Picture exportedFrame = exportPicture(sheetMap, files, n);
                const Picture monitor = monitorPicture(engine, at);
                pastEnds += !monitor.file && sheetMap.clipAt(n) ? 1 : 0;
                if (monitorAgrees && monitor != exportedFrame) {
                    ADD_FAILURE() << "output frame " << n << " at " << at << " s: monitor (paused) " << monitor
                                  << " | sheet's export " << exportedFrame;
                    monitorAgrees = false;
                }
                const bool underImage = std::any_of(images.begin(), images.end(), [&](std::size_t i) {
                    const auto& clip = session.timelines.front().clips[i];
                    const auto [first, end] = TimelineFrameMap::framesOf(sheetMap.grid(), *clip.startTime, *clip.duration);
                    return first <= n && n < end;
                });
                if (player.built && !underImage && playerAgrees) {
                    const Picture played = playerPicture(*player.built, engine.pictureTime(at).seconds());
                    if (played != exportedFrame) {
                        ADD_FAILURE() << "output frame " << n << " at " << at << " s: player's composition " << played
                                      << " | sheet's export " << exportedFrame;
                        playerAgrees = false;
                    }
                }
                if (tenBitMap && handedMedia && tenBitAgrees) {
                    const Picture workspace = exportPicture(*tenBitMap, handedMedia->files, n);
                    if (workspace != monitor) {
                        ADD_FAILURE() << "output frame " << n << " at " << at << " s: 10-bit workspace's export "
                                      << workspace << " | monitor (paused) " << monitor;
                        tenBitAgrees = false;
                    }
                }
            }

            // The playhead's last frame (as far as it goes at the timeline's end) is the export's last.
            if (player.built) {
                engine.seek(TimelinePreviewEngine::timelineLength(session) + 1, true, {});
                harness.queue->runUntilIdle();
                const std::int64_t last = engine.frameGrid().index(engine.playheadSeconds());
                if (last >= sheet.framesTotal) {
                    const Picture end = monitorPicture(engine, engine.frameGrid().start(last));
                    EXPECT_FALSE(end.file) << "output frame " << last << ": the playhead's last frame shows " << end
                                           << " | the sheet's export writes " << sheet.framesTotal << " frames";
                }
            }

            // The fast path, when it takes the job, and the single-video export of the clip's range.
            if (!c.single || !handedMedia)
                return;
            const auto candidate = Exporter::fastSingleClipCandidate(tenBitJob, c.folder, handedMedia);
            ASSERT_TRUE(candidate);
            const std::shared_ptr<const Asset> input = Asset::open(candidate->inputURL);
            if (Exporter::fastPathKeepsTimelineResult(tenBitJob, *candidate, c.folder, *input)) {
                if (const auto frames = Exporter::fastPathFrames(tenBitJob, candidate->clip, *input)) {
                    ++fastPaths;
                    ASSERT_EQ(frames->count, sheet.framesTotal) << "frames: fast path | sheet";
                    for (std::int64_t n = 0; n < frames->count; ++n)
                        ASSERT_EQ((Picture{candidate->inputURL.lexically_normal(), frames->first + n, false}),
                                  exportPicture(sheetMap, files, n))
                            << "output frame " << n << ": fast path | sheet's export";
                }
            }
            const EditorJobV2::Clip& clip = candidate->clip;
            if (clip.startTime.value_or(0) == 0) {
                Job range;
                range.version = 1;
                range.sourceInSeconds = clip.inPoint.value_or(0);
                range.sourceOutSeconds = clip.inPoint.value_or(0) + clip.duration.value_or(0);
                const Exporter::FrameTiming timing = Exporter::timelineFrameTiming(tenBitJob, input.get());
                const auto frames = Exporter::singleVideoFrames(range, *input, timing);
                ++singleVideo;
                std::int64_t shownCount = 0;
                for (std::int64_t n = 0; n < sheet.framesTotal; ++n)
                    shownCount += exportPicture(sheetMap, files, n).file ? 1 : 0;
                ASSERT_EQ(frames ? frames->count : 0, shownCount) << "frames: single-video export | sheet";
                for (std::int64_t n = 0; n < shownCount; ++n)
                    ASSERT_EQ((Picture{candidate->inputURL.lexically_normal(), frames->first + n, false}),
                              exportPicture(sheetMap, files, n))
                        << "output frame " << n << ": single-video export | sheet's export";
            }
        }();
    }
    // The cases reach every route.
    EXPECT_GT(exported, cases / 5);
    EXPECT_GT(refused, cases / 10);
    EXPECT_GT(fastPaths, 5);
    EXPECT_GT(singleVideo, 5);
    EXPECT_GT(jobPreviews, cases / 4);
    EXPECT_GT(pastEnds, 20) << "frames past a file's end";
}

TEST_F(RouteAgreement, RenderedCasesWriteTheMonitorsFramesOnEveryRoute)
{
    const std::uint32_t seed = baseSeed();
    int rendered = 0, fastPaths = 0, singleVideos = 0;
    for (int index = 0; index < 400 && (rendered < kRenderedCases || fastPaths < 1 || singleVideos < 1); ++index) {
        [&] {
            std::mt19937 rng(seed + 7919 + static_cast<std::uint32_t>(index));
            EngineHarness harness;
            Case c;
            c.rendered = true;
            c.folder = harness.media.path();
            generate(c, *library_, rng);
            if (!c.single && rendered >= kRenderedCases)
                return;
            adopt(harness, c);
            TimelinePreviewEngine& engine = harness.engine;
            const std::optional<ResolvedMedia> shown = engine.resolvedMedia();
            if (!shown)
                return;
            changeFolderAfterwards(c, *library_, *shown, rng);
            SCOPED_TRACE(::testing::Message() << "rendered case " << index << " of seed " << seed << ": " << c.summary.str());

            // The sheet's movie, and the 10-bit workspace's of the handed-over job (for one plain clip,
            // the fast path).
            const fs::path sheetMovie = c.folder / "sheet.mp4";
            const ExportRun sheet = sheetRun(engine, c, sheetMovie, true);
            if (sheet.refusal)
                return;
            const Handover handed = handOver(engine, c);
            const fs::path tenBitMovie = c.folder / "tenbit.mp4";
            const ExportRun tenBit = workspaceRun(handed, tenBitMovie, true);
            ASSERT_FALSE(tenBit.refusal) << tenBit.refusal->localizedDescription();
            const std::vector<Shown> sheetFrames = movieFrames(sheetMovie);
            const std::vector<Shown> tenBitFrames = movieFrames(tenBitMovie);
            const FrameGrid grid = engine.frameGrid();
            const std::int64_t total = static_cast<std::int64_t>(std::max(sheetFrames.size(), tenBitFrames.size()));
            ASSERT_EQ(sheetFrames.size(), static_cast<std::size_t>(sheet.framesTotal));
            ASSERT_EQ(tenBitFrames.size(), sheetFrames.size()) << "frames: 10-bit workspace | sheet";
            const std::string tenBitName = tenBit.fastPath ? "fast path" : "10-bit workspace";
            bool sheetAgrees = true, tenBitAgrees = true;
            for (std::int64_t n = 0; n < total; ++n) {
                const Picture monitor = monitorPicture(engine, grid.start(n));
                const std::optional<int> stamp =
                    monitor.file ? (monitor.pastEnd ? std::optional<int>(-2) : library_->stampOf(*monitor.file, monitor.frame))
                                 : std::optional<int>(0);
                ASSERT_TRUE(stamp) << monitor;
                const auto compare = [&](const Shown& written, const std::string& route, bool& agrees) {
                    if (agrees && written.stamp != *stamp) {
                        ADD_FAILURE() << "output frame " << n << ": monitor (paused) " << monitor << " = stamp " << *stamp
                                      << " | " << route << "'s movie " << written << " ("
                                      << library_->describe(written.stamp) << ")";
                        agrees = false;
                    }
                };
                compare(sheetFrames.at(static_cast<std::size_t>(n)), "sheet", sheetAgrees);
                compare(tenBitFrames.at(static_cast<std::size_t>(n)), tenBitName, tenBitAgrees);
            }
            // The single-video export of a clip alone at 0: the frames the monitor shows of it.
            const EditSession::Clip& first = engine.session()->timelines.front().clips.front();
            if (c.single && first.startTime.value_or(0) == 0 && shown->files.contains(*first.sourceId)) {
                const nlohmann::json single = {
                    {"version", 1},
                    {"sourceInSeconds", first.inPoint.value_or(0)},
                    {"sourceOutSeconds", first.inPoint.value_or(0) + first.duration.value_or(0)},
                    {"output", {{"fpsNum", c.rate.num}, {"fpsDen", c.rate.den}}},
                    {"grade", {{"lutCube", ""}}}};
                JobExportRequest request;
                request.files.jobURL = c.folder / "single.json";
                request.files.inputURL = shown->files.at(*first.sourceId);
                request.outputURL = c.folder / "single.mp4";
                writeTextFile(request.files.jobURL, single.dump());
                std::size_t shownCount = 0;
                for (std::int64_t n = 0; n < total; ++n)
                    shownCount += monitorPicture(engine, grid.start(n)).file ? 1 : 0;
                ++singleVideos;
                std::optional<Error> refusal;
                try {
                    EngineJobExporter().exportJob(request, {}, {});
                } catch (const Error& error) {
                    refusal = error;
                }
                // Where nothing of the file is shown the export has no picture to write.
                EXPECT_EQ(refusal ? refusal->code() : 0, shownCount == 0 ? 9 : 0)
                    << "single-video export: " << (refusal ? refusal->localizedDescription() : "(done)");
                const std::vector<Shown> singleFrames =
                    refusal ? std::vector<Shown>{} : movieFrames(request.outputURL);
                EXPECT_EQ(singleFrames.size(), shownCount) << "frames: single-video export | monitor's of the clip";
                bool singleAgrees = true;
                for (std::size_t n = 0; n < std::min(singleFrames.size(), shownCount); ++n) {
                    const Picture monitor = monitorPicture(engine, grid.start(static_cast<std::int64_t>(n)));
                    const std::optional<int> stamp = library_->stampOf(*monitor.file, monitor.frame);
                    if (singleAgrees && singleFrames[n].stamp != stamp.value_or(-2)) {
                        ADD_FAILURE() << "output frame " << n << ": monitor (paused) " << monitor
                                      << " | single-video export's movie " << singleFrames[n] << " ("
                                      << library_->describe(singleFrames[n].stamp) << ")";
                        singleAgrees = false;
                    }
                }
            }

            // The graded stills of the paused monitor on up to six frames, against both movies.
            for (std::int64_t n = 0; n < total; n += std::max<std::int64_t>(1, total / 6)) {
                const Shown monitor = monitorStill(engine, grid.start(n), static_cast<int>(index * 1000 + n));
                if (monitor.stamp <= 0)
                    continue;
                EXPECT_TRUE(sameFrame(monitor, sheetFrames.at(static_cast<std::size_t>(n)))) << "frame " << n << ", sheet";
                EXPECT_TRUE(sameFrame(monitor, tenBitFrames.at(static_cast<std::size_t>(n))))
                    << "frame " << n << ", " << tenBitName;
            }
            // The job preview of its first clip's first frame.
            const EditorJobV2 job = EditorJobV2::fromJSON(readFileContents(handed.jobURL));
            const TimelineFrameMap map =
                Exporter::planTimelineExport(job, std::nullopt, c.folder, std::nullopt, handed.files.media->media()).frameMap;
            for (std::int64_t n = 0; n < total; ++n) {
                const ShownFrame first = map.frame(n);
                if (first.clip != 0 || first.gap())
                    continue;
                EngineJobExporter exporter;
                const JobPreviewStill still = exporter.renderPreviewFrame(JobPreviewRequest{handed.files, first.sourceTime, {}});
                EXPECT_TRUE(sameFrame(monitorStill(engine, grid.start(n), index * 1000 + 999), shownInImage(still.image)))
                    << "job preview, frame " << n;
                break;
            }
            (tenBit.fastPath ? fastPaths : rendered) += 1;
        }();
    }
    EXPECT_GE(rendered, kRenderedCases);
    EXPECT_GE(fastPaths, 1);
    EXPECT_GE(singleVideos, 1);
}

} // namespace
} // namespace velmora::test::routes
