// Every route that shows or writes a timeline's pictures, asked on timelines generated from a seed:
// the paused monitor, its read-out, the sheet's export, the 10-bit workspace's export of the
// handed-over job, the fast path, the single-video export and the job preview must name the
// same file and source frame for every output frame, the same LUT for every clip, and refuse or
// accept the same jobs naming the same files and LUTs. The routes are compared with each other,
// not with a second copy of the rules. A few cases are rendered on every route.

#include <algorithm>
#include <set>

#include <gtest/gtest.h>

#include "RouteCases.h"
#include "export/EditorRenderJob.h"
#include "export/FastSingleClipPath.h"
#include "export/FrameTiming.h"
#include "export/JobPreviewStill.h"
#include "export/JobRouting.h"
#include "export/SingleVideoExport.h"
#include "export/TimelineExport.h"
#include "export/TimelineExportSetup.h"
#include "export/TimelineFrameRenderer.h"
#include "grading/PreviewFrameGrader.h"
#include "platform/media/Asset.h"

namespace velmora::test::routes {
namespace {

namespace fs = std::filesystem;

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
    int exported = 0, refused = 0, fastPath = 0, singleVideo = 0, jobPreviews = 0;
    for (int index = 0; index < cases; ++index) {
        std::mt19937 rng(seed + static_cast<std::uint32_t>(index));
        EngineHarness harness;
        Case c;
        c.folder = harness.media.path();
        generate(c, *library_, rng);
        SCOPED_TRACE(::testing::Message() << "seed " << seed << " case " << index << " (VELMORA_ROUTE_SEED="
                                          << seed + index << " and case 0 repeat it): " << c.summary.str());

        adopt(harness, c);
        TimelinePreviewEngine& engine = harness.engine;
        const EditSession& session = *engine.session();

        // The monitor's files and the ones the editor hands its export.
        const std::optional<MediaResolver::SourceFileMap> shown = engine.sourceFilesShown();
        const Exporter::EditorRenderJob handed = Exporter::editorRenderJob(session, c.folder);
        const EditorJobV2 job = EditorJobV2::fromJSON(handed.text);
        // The sheet's export; the 10-bit workspace is handed the same job file and files.
        const ExportPlan sheet = exportPlan(job, c.folder, handed.resolved());

        // (c) the same sources without a file: the monitor's and each export's refusal.
        std::vector<std::string> unshown;
        for (const EditorJobV2::Source& source : job.sources) {
            const bool used = std::any_of(job.timelines.front().clips.begin(), job.timelines.front().clips.end(),
                                          [&](const EditorJobV2::Clip& clip) { return clip.sourceId == source.id; });
            if (used && (!shown || !shown->contains(source.id)))
                unshown.push_back(source.fileName);
        }
        // A source whose own file is in the folder reads it, never another or none; a sound
        // source is never given a movie.
        for (const EditSession::Source& source : session.sources) {
            const auto file = shown ? shown->find(source.id) : MediaResolver::SourceFileMap::const_iterator();
            const bool hasFile = shown && file != shown->end();
            if (filesNamed(c.folder, source.fileName) > 0) {
                ASSERT_TRUE(hasFile) << source.fileName << " is there but source " << source.id << " has no file";
                EXPECT_EQ(file->second.filename().string(), source.fileName) << "source " << source.id;
            }
            if (hasFile && source.type == "audio") {
                EXPECT_FALSE(isMovie(file->second)) << "sound source " << source.fileName << " reads " << file->second;
            }
        }
        // Sources of one name read as many of the files of that name as there are, apart.
        std::map<std::string, std::set<fs::path>> readByName;
        std::map<std::string, std::size_t> sourcesByName;
        for (const EditSession::Source& source : session.sources) {
            ++sourcesByName[source.fileName];
            if (shown && shown->contains(source.id))
                readByName[source.fileName].insert(shown->at(source.id));
        }
        for (const auto& [name, count] : sourcesByName) {
            if (const std::size_t files = filesNamed(c.folder, name); files > 0) {
                EXPECT_EQ(readByName[name].size(), std::min(files, count)) << "sources named " << name;
            }
        }
        ASSERT_EQ(sheet.files.size(), shown ? shown->size() : 0);
        for (const auto& [id, file] : sheet.files) {
            ASSERT_TRUE(shown && shown->contains(id)) << "the export reads a file for " << id;
            ASSERT_EQ(file.lexically_normal(), shown->at(id).lexically_normal()) << "source " << id;
        }
        if (!unshown.empty()) {
            ASSERT_TRUE(sheet.refusal) << "the export runs without " << unshown.front();
            EXPECT_EQ(sheet.refusal->code(), 212) << sheet.refusal->localizedDescription();
            for (const std::string& name : unshown)
                EXPECT_TRUE(refusalNames(*sheet.refusal, name)) << sheet.refusal->localizedDescription();
        }

        // (b) the LUT of each clip: the monitor's grader, the Clip LUT picker, the export.
        if (!sheet.refusal || sheet.refusal->code() == 214) {
            const ResolvedLuts luts =
                Exporter::timelineLuts(job, Exporter::exportTimeline(job), c.folder, std::nullopt);
            const std::map<std::string, std::string> lutTexts = Exporter::timelineClipLutTexts(luts);
            std::set<std::string> failing;
            for (const EditorJobV2::Clip& jobClip : Exporter::exportTimeline(job).clips) {
                const auto answer = luts.clips.find(Exporter::clipLutKey(jobClip));
                if (answer == luts.clips.end() || !jobClip.id)
                    continue;
                const std::optional<EditSession::Clip> clip = session.clip(*jobClip.id);
                ASSERT_TRUE(clip);
                const LutResolution& lut = answer->second;
                const std::optional<std::string> monitor = PreviewFrameGrader::resolvedClipLutText(
                    clip->grade, engine.previewMediaFolder(), engine.lutSessionFileURL());
                EXPECT_EQ(monitor.value_or("(none)"), lut.grades() ? lut.text : "(none)") << "clip " << clip->id;
                const auto text = lutTexts.find(Exporter::clipLutKey(jobClip));
                EXPECT_EQ(monitor.value_or("(none)"), text == lutTexts.end() ? "(none)" : text->second)
                    << "the export's LUT text of clip " << clip->id;
                EXPECT_EQ(engine.missingLutOfClip(clip->id).value_or("(none)"), lut.fails() ? lut.name : "(none)")
                    << "clip " << clip->id;
                engine.selectClip(clip->id, false);
                EXPECT_EQ(engine.selectedClipLutPickerValue(), lut.kind == LutResolution::Kind::none ? "None" : lut.name)
                    << "Clip LUT picker of " << clip->id;
                if (lut.fails())
                    failing.insert(lut.name);
            }
            ASSERT_TRUE(luts.job);
            EXPECT_EQ(engine.projectLutCube(), luts.job->grades() ? luts.job->text : "") << "the project's LUT";
            EXPECT_EQ(sheet.refusal.has_value(), !failing.empty());
            EXPECT_EQ(engine.missingLutText().has_value(), !failing.empty());
            for (const std::string& name : failing) {
                EXPECT_TRUE(sheet.refusal && refusalNames(*sheet.refusal, name)) << name;
                EXPECT_TRUE(engine.missingLutText() && engine.missingLutText()->find(name) != std::string::npos)
                    << name << " on the status line: " << engine.missingLutText().value_or("(nothing)");
            }
        }

        refused += sheet.refusal ? 1 : 0;

        // The 10-bit workspace's own job: one whose job-wide LUT is not there is refused by
        // every route that renders it, naming the LUT.
        nlohmann::json tenBitText = nlohmann::json::parse(handed.text);
        if (c.jobLutMissing)
            tenBitText["grade"]["lutCube"] = "missing_job_look.cube";
        const fs::path jobURL = c.folder / "handed.json";
        writeTextFile(jobURL, tenBitText.dump());
        const EditorJobV2 tenBitJob = EditorJobV2::fromJSON(tenBitText.dump());
        const ExportPlan tenBit = c.jobLutMissing ? exportPlan(tenBitJob, c.folder, handed.resolved()) : sheet;
        if (c.jobLutMissing) {
            ASSERT_TRUE(tenBit.refusal) << "a job whose own LUT is missing exports";
            if (tenBit.refusal->code() != 212) { // the files are checked first
                EXPECT_TRUE(refusalNames(*tenBit.refusal, "missing_job_look.cube"))
                    << tenBit.refusal->localizedDescription();
            }
        }

        // The job preview refuses what the export refuses (a LUT, or its own clip's file), and
        // otherwise picks the export's source frame at its clip's first frame.
        const EditorJobV2::Clip* previewed = nullptr;
        for (const EditorJobV2::Clip& clip : Exporter::exportTimeline(tenBitJob).clips) {
            if (clip.type == "video" || clip.type == "image") {
                previewed = &clip;
                break;
            }
        }
        if (previewed && previewed->type == "video") {
            const bool ownFileMissing = !tenBit.files.contains(previewed->sourceId.value_or(""));
            std::optional<std::size_t> index;
            for (std::size_t i = 0; i < tenBit.map.clips().size(); ++i)
                if (&Exporter::exportTimeline(tenBitJob).clips[i] == previewed)
                    index = i;
            std::optional<ShownFrame> first;
            if (!tenBit.refusal && index) {
                for (std::int64_t n = 0; n < tenBit.framesTotal && !first; ++n)
                    if (const ShownFrame f = tenBit.map.frame(n); f.clip == index && f.sourceFrame)
                        first = f;
            }
            if ((tenBit.refusal && (tenBit.refusal->code() == 214 || ownFileMissing)) || first) {
                ++jobPreviews;
                try {
                    const Exporter::PreviewFrameResult still = Exporter::renderPreviewFrame(
                        jobURL, std::nullopt, std::nullopt, c.folder, first ? first->sourceTime : 0.0, "rec709", 1, 1,
                        0, 0, handed.resolved());
                    EXPECT_FALSE(tenBit.refusal)
                        << "the job preview draws what the export refuses: " << tenBit.refusal->localizedDescription();
                    if (first) {
                        const std::shared_ptr<const Asset> asset =
                            Asset::open(tenBit.files.at(*previewed->sourceId));
                        const double rate = *trackFrameRate(*asset->firstTrack(MediaType::video));
                        EXPECT_EQ(std::llround(still.displayTimeSeconds * rate), *first->sourceFrame)
                            << "job preview at source time " << first->sourceTime;
                    }
                } catch (const Error& error) {
                    ASSERT_TRUE(tenBit.refusal) << "the job preview refuses: " << error.fullDescription();
                    if (tenBit.refusal->code() == 214) {
                        EXPECT_EQ(error.localizedDescription(), tenBit.refusal->localizedDescription());
                    }
                }
            }
        }
        if (sheet.refusal)
            continue;
        ++exported;

        // (a) every frame: the read-out's grid, the paused monitor, both exports.
        ASSERT_EQ(engine.frameGrid(), sheet.grid) << "the read-out counts on the export's grid";
        for (std::int64_t n = 0; n < sheet.framesTotal; ++n) {
            const double at = sheet.grid.start(n);
            ASSERT_EQ(engine.frameGrid().index(at), n);
            const Picture monitor = monitorPicture(engine, at);
            const Picture exportedFrame = exportPicture(sheet, n);
            ASSERT_EQ(monitor, exportedFrame) << "output frame " << n << " (monitor | sheet export)";
        }

        // The fast path, when it takes the job, and the single-video export of the clip's range.
        if (!c.single)
            continue;
        const auto candidate = Exporter::fastSingleClipCandidate(job, c.folder, handed.resolved());
        ASSERT_TRUE(candidate);
        const std::shared_ptr<const Asset> input = Asset::open(candidate->inputURL);
        if (Exporter::fastPathKeepsTimelineResult(job, *candidate, c.folder, *input)) {
            if (const auto frames = Exporter::fastPathFrames(job, candidate->clip, *input)) {
                ++fastPath;
                ASSERT_EQ(frames->count, sheet.framesTotal) << "fast path";
                for (std::int64_t n = 0; n < frames->count; ++n)
                    ASSERT_EQ((Picture{candidate->inputURL.lexically_normal(), frames->first + n}),
                              exportPicture(sheet, n))
                        << "fast path, output frame " << n;
            }
        }
        const EditorJobV2::Clip& clip = candidate->clip;
        if (clip.startTime.value_or(0) == 0) {
            Job range;
            range.version = 1;
            range.sourceInSeconds = clip.inPoint.value_or(0);
            range.sourceOutSeconds = clip.inPoint.value_or(0) + clip.duration.value_or(0);
            const Exporter::FrameTiming timing = Exporter::timelineFrameTiming(job, input.get());
            const auto frames = Exporter::singleVideoFrames(range, *input, timing);
            ++singleVideo;
            std::int64_t shownCount = 0;
            for (std::int64_t n = 0; n < sheet.framesTotal; ++n)
                shownCount += exportPicture(sheet, n).file ? 1 : 0;
            ASSERT_EQ(frames ? frames->count : 0, shownCount) << "single-video export of the clip's range";
            for (std::int64_t n = 0; n < shownCount; ++n)
                ASSERT_EQ((Picture{candidate->inputURL.lexically_normal(), frames->first + n}), exportPicture(sheet, n))
                    << "single-video export, frame " << n;
        }
    }
    // The cases reach every route.
    EXPECT_GT(exported, cases / 4);
    EXPECT_GT(refused, cases / 10);
    EXPECT_GT(fastPath, 5);
    EXPECT_GT(singleVideo, 5);
    EXPECT_GT(jobPreviews, cases / 4);
}

TEST_F(RouteAgreement, RenderedCasesWriteThePausedMonitorsFramesOnEveryRoute)
{
    const std::uint32_t seed = baseSeed();
    int rendered = 0, fastPaths = 0;
    for (int index = 0; index < 200 && (rendered < 3 || fastPaths < 1); ++index) {
        std::mt19937 rng(seed + 7919 + static_cast<std::uint32_t>(index));
        EngineHarness harness;
        Case c;
        c.rendered = true;
        c.folder = harness.media.path();
        generate(c, *library_, rng);
        if (!c.single && rendered >= 3)
            continue;
        SCOPED_TRACE(::testing::Message() << "rendered case " << index << " of seed " << seed << ": " << c.summary.str());
        adopt(harness, c);
        const Exporter::EditorRenderJob handed = Exporter::editorRenderJob(*harness.engine.session(), c.folder);
        const EditorJobV2 job = EditorJobV2::fromJSON(handed.text);
        const ExportPlan plan = exportPlan(job, c.folder, handed.resolved());
        if (plan.refusal)
            continue;
        // The frames shown: up to six of them, spread over the timeline, none black.
        std::vector<std::int64_t> frames;
        for (std::int64_t n = 0; n < plan.framesTotal; n += std::max<std::int64_t>(1, plan.framesTotal / 6))
            if (exportPicture(plan, n).file)
                frames.push_back(n);
        if (frames.empty())
            continue;
        const fs::path jobURL = c.folder / "handed.json";
        writeTextFile(jobURL, handed.text);

        // The sheet's export of the editor's render job, and the 10-bit workspace's of the
        // handed-over job file (for one plain clip, the fast path).
        const fs::path sheetMovie = c.folder / "sheet.mp4";
        Exporter::exportEditorTimeline(job, std::nullopt, c.folder, sheetMovie, 2000000,
                                       Exporter::EditorVideoCodec::h264, "rec709", 1, 1, 0, 0, std::nullopt, nullptr,
                                       nullptr, {}, handed.resolved());
        const fs::path tenBitMovie = c.folder / "tenbit.mp4";
        bool fastPath = false;
        Exporter::exportJob(
            jobURL, std::nullopt, std::nullopt, c.folder, tenBitMovie, 2000000, "rec709", 1, 1, 0, 0,
            [&](const TimelineExportProgress& progress) { fastPath = fastPath || progress.phase == "Done (fast single-clip)"; },
            nullptr, handed.resolved());
        // The fast path takes the job where it writes the timeline's frames, and only there.
        bool fastPathFits = false;
        if (const auto candidate = Exporter::fastSingleClipCandidate(job, c.folder, handed.resolved())) {
            const std::shared_ptr<const Asset> input = Asset::open(candidate->inputURL);
            fastPathFits = Exporter::fastPathKeepsTimelineResult(job, *candidate, c.folder, *input) &&
                           Exporter::fastPathFrames(job, candidate->clip, *input);
        }
        EXPECT_EQ(fastPath, fastPathFits);
        const std::vector<Shown> sheet = movieFrames(sheetMovie);
        const std::vector<Shown> tenBit = movieFrames(tenBitMovie);
        ASSERT_EQ(sheet.size(), static_cast<std::size_t>(plan.framesTotal));
        ASSERT_EQ(tenBit.size(), static_cast<std::size_t>(plan.framesTotal));
        for (const std::int64_t n : frames) {
            SCOPED_TRACE(::testing::Message() << "output frame " << n);
            const Shown monitor = monitorStill(harness.engine, plan.grid.start(n), static_cast<int>(index * 1000 + n));
            EXPECT_TRUE(sameFrame(monitor, sheet.at(static_cast<std::size_t>(n)))) << "sheet";
            EXPECT_TRUE(sameFrame(monitor, tenBit.at(static_cast<std::size_t>(n))))
                << (fastPath ? "fast path" : "10-bit workspace");
        }
        // The job preview of its clip's first frame.
        const ShownFrame first = plan.map.frame(frames.front());
        if (first.clip == 0 && !first.gap()) {
            const Exporter::PreviewFrameResult still = Exporter::renderPreviewFrame(
                jobURL, std::nullopt, std::nullopt, c.folder, first.sourceTime, "rec709", 1, 1, 0, 0,
                handed.resolved());
            const Shown preview = shownInImage(still.cgImage);
            EXPECT_TRUE(sameFrame(monitorStill(harness.engine, plan.grid.start(frames.front()), index * 1000 + 999),
                                  preview))
                << "job preview";
        }
        (fastPath ? fastPaths : rendered) += 1;
    }
    EXPECT_GE(rendered, 3);
    EXPECT_GE(fastPaths, 1);
}

} // namespace
} // namespace velmora::test::routes
