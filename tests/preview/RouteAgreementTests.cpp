// Every route that shows or writes a timeline's pictures, asked on timelines generated from a seed:
// the paused monitor, its read-out, the sheet's export, the 10-bit workspace's export of the
// handed-over job, the fast path, the single-video export and the job preview must name the
// same file and source frame for every output frame, the same LUT for every clip, and refuse or
// accept the same jobs naming the same files and LUTs. The routes are compared with each other,
// not with a second copy of the rules. Nothing is decoded here but one job-preview still a case.

#include <array>
#include <cstdlib>
#include <memory>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "export/EditorRenderJob.h"
#include "export/FastSingleClipPath.h"
#include "export/FrameTiming.h"
#include "export/JobPreviewStill.h"
#include "export/JobRouting.h"
#include "export/TimelineExport.h"
#include "export/SingleVideoExport.h"
#include "export/TimelineExportSetup.h"
#include "export/TimelineFrameRenderer.h"
#include "grading/PreviewFrameGrader.h"
#include "preview/GradedStillJob.h"
#include "model/DesktopJobTool.h"
#include "platform/foundation/Error.h"
#include "platform/media/Asset.h"
#include "platform/media/AssetReader.h"
#include "platform/media/FrameStart.h"
#include "support/CubeTexts.h"
#include "support/MediaFixtures.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

// The rates the cases run at, as the writer's fractions.
struct Rate {
    int num;
    int den;
    double fps() const { return static_cast<double>(num) / den; }
};
constexpr Rate kRates[] = {{25, 2}, {24000, 1001}, {25, 1}, {30000, 1001}, {60000, 1001}};
constexpr int kWidth = 96;
constexpr int kHeight = 54;

// Movies (one per rate, about 1.6 s of frame stamps), a still, a sound file and LUT files, made
// once; each case links the ones it needs into a media folder of its own.
class Library {
public:
    Library()
    {
        for (std::size_t r = 0; r < std::size(kRates); ++r) {
            ClipSettings clip;
            clip.width = kWidth;
            clip.height = kHeight;
            clip.fpsNum = kRates[r].num;
            clip.fpsDen = kRates[r].den;
            clip.frameCount = static_cast<int>(std::lround(1.6 * kRates[r].fps()));
            clip.videoArgs = "-preset ultrafast";
            makeClip(movie(r), clip);
        }
        makeStillImage(dir_.path() / "still.png", kWidth, kHeight, 7);
        ClipSettings sound;
        sound.videoCodec.clear();
        sound.audio = true;
        sound.audioSeconds = 1;
        sound.audioCodec = "pcm_s16le";
        makeClip(dir_.path() / "voice.wav", sound);
        writeText(dir_.path() / "look.cube", bentMiddleCubeText(0.6, 0.5, 0.4));
        writeText(dir_.path() / "two.cube", twoPointCubeText());
    }

    fs::path movie(std::size_t rate) const { return dir_.path() / ("movie" + std::to_string(rate) + ".mp4"); }
    fs::path file(const std::string& name) const { return dir_.path() / name; }

    static void writeText(const fs::path& path, const std::string& text) { writeTextFile(path, text); }

private:
    TempDir dir_;
};

// One generated case: the session the editor holds, its media folder, and in words what it is.
struct Case {
    std::shared_ptr<EditSession> session;
    fs::path folder;
    Rate rate{25, 1};
    // One clip alone at (or near) 0 with nothing else: the fast path and the single-video
    // export can take it.
    bool single = false;
    // The 10-bit workspace's job carries a job-wide LUT that is not there.
    bool jobLutMissing = false;
    // Made to be rendered: every LUT keeps black and white (frame stamps stay readable), and
    // nothing is missing.
    bool rendered = false;
    std::ostringstream summary;
};

EditorJobV2::ClipGrade lutGrade(int kind, std::mt19937& rng, std::ostream& summary)
{
    EditorJobV2::ClipGrade grade;
    switch (kind) {
    case 0:
        summary << " lut=missing";
        grade.hasLut = true;
        grade.lutFile = "gone" + std::to_string(rng() % 3) + ".cube";
        break;
    case 1:
        summary << " lut=two-point";
        grade.hasLut = true;
        grade.lutFile = "two.cube";
        break;
    case 2:
        summary << " lut=inline";
        grade.lutData = SharedText(invertingCubeText());
        break;
    case 3:
        summary << " lut=file";
        grade.hasLut = true;
        grade.lutFile = "look.cube";
        break;
    case 4:
        summary << " lut=both";
        grade.hasLut = true;
        grade.lutData = SharedText(invertingCubeText());
        grade.lutFile = "look.cube";
        break;
    default:
        summary << " lut=off";
        grade.hasLut = false;
        grade.lutFile = "look.cube";
        break;
    }
    return grade;
}

// A case from `rng`: sources placed in the folder (or not), clips off the frame grid, speeds,
// gaps, two lanes, a still and a sound, LUTs of every kind.
void generate(Case& c, const Library& library, std::mt19937& rng)
{
    const auto uniform = [&rng](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
    const auto chance = [&rng](double p) { return std::bernoulli_distribution(p)(rng); };
    const auto pick = [&rng](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    const auto place = [&](const fs::path& relative, const fs::path& from) {
        fs::create_directories((c.folder / relative).parent_path());
        fs::create_hard_link(from, c.folder / relative);
    };

    const std::size_t rateIndex = pick(std::size(kRates));
    c.rate = kRates[rateIndex];
    c.summary << "fps " << c.rate.num << "/" << c.rate.den;
    auto session = sessionWith({});
    session->project->fps = c.rate.fps();
    session->project->width = kWidth;
    session->project->height = kHeight;
    place("look.cube", library.file("look.cube"));
    place("two.cube", library.file("two.cube"));

    std::vector<std::string> videoSources;
    const auto addSource = [&](const std::string& fileName, const char* type) {
        const std::string id = "s" + std::to_string(session->sources.size() + 1);
        session->sources.emplace_back(id, fileName, type);
        return id;
    };
    c.single = chance(0.2);
    if (c.single) {
        place("solo.mp4", library.movie(rateIndex));
        videoSources.push_back(addSource("solo.mp4", "video"));
        c.summary << " single";
    } else {
        if (chance(0.35)) { // two cards' first clips: one name in two folders
            place("cam1/C0001.MP4", library.movie(pick(std::size(kRates))));
            place("cam2/C0001.MP4", library.movie(pick(std::size(kRates))));
            videoSources.push_back(addSource("C0001.MP4", "video"));
            videoSources.push_back(addSource("C0001.MP4", "video"));
            c.summary << " cam1+cam2/C0001.MP4";
        }
        if (!c.rendered && chance(0.3)) { // a file gone, one of another name in two folders
            place("a/x.mp4", library.movie(pick(std::size(kRates))));
            if (chance(0.7))
                place("b/x.mp4", library.movie(pick(std::size(kRates))));
            videoSources.push_back(addSource("g25.mp4", "video"));
            c.summary << " stand-in";
        }
        if (!c.rendered && chance(0.2)) { // one file that two or three sources name
            place("A001.mp4", library.movie(pick(std::size(kRates))));
            const std::size_t sharing = 2 + pick(2);
            for (std::size_t i = 0; i < sharing; ++i)
                videoSources.push_back(addSource("A001.mp4", "video"));
            c.summary << " " << sharing << "xA001.mp4";
        }
        const std::size_t own = 1 + pick(2);
        for (std::size_t i = 0; i < own; ++i) {
            const std::string name = "clip" + std::to_string(i) + ".mp4";
            if (c.rendered || chance(0.85))
                place(chance(0.3) ? fs::path("sub") / name : fs::path(name), library.movie(pick(std::size(kRates))));
            else
                c.summary << " " << name << "-absent";
            videoSources.push_back(addSource(name, "video"));
        }
    }

    std::vector<EditSession::Clip> clips;
    double t = c.single ? 0 : (chance(0.5) ? 0 : uniform(0, 0.3));
    const int count = c.single ? 1 : 1 + static_cast<int>(pick(4));
    for (int i = 0; i < count; ++i) {
        const std::string source = videoSources[pick(videoSources.size())];
        const bool upper = !c.single && i > 0 && chance(0.2);
        double start = upper ? uniform(0, t) : t + (chance(0.6) ? 0 : uniform(0.05, 0.6));
        if (c.single)
            start = std::array<double, 3>{0, 0.04, 0.02}[pick(3)];
        const double duration = uniform(0.15, 1.6);
        const double in = chance(0.7) ? uniform(0, 0.9) : 0;
        EditSession::Clip clip = test::clip("v" + std::to_string(i), "video", start, duration, upper ? 2 : 1,
                                            "shot" + std::to_string(i), in);
        clip.sourceId = source;
        if (!c.single) {
            const double speeds[] = {1, 1, 1, 0.5, 2, 1.5};
            if (const double speed = speeds[pick(std::size(speeds))]; speed != 1)
                clip.speed = speed;
            if (const std::size_t lut = pick(10); lut < 6)
                clip.grade = lutGrade(c.rendered ? 3 : static_cast<int>(lut), rng, c.summary);
        }
        c.summary << " [" << clip.id << " " << source << " @" << start << " +" << duration << " in " << in << " x"
                  << clip.speed.value_or(1) << " lane " << clip.track.value_or(1) << "]";
        clips.push_back(clip);
        if (!upper)
            t = start + duration;
    }
    if (!c.single && !c.rendered && chance(0.3)) {
        const bool present = chance(0.6);
        if (present)
            place("still.png", library.file("still.png"));
        EditSession::Clip still = test::clip("i0", "image", uniform(0, t), uniform(0.2, 0.8), chance(0.5) ? 1 : 2,
                                             "still.png");
        still.sourceId = addSource("still.png", "image");
        c.summary << " still" << (present ? "" : "-absent");
        clips.push_back(still);
    }
    if (!c.single && chance(0.4)) {
        const bool present = c.rendered || chance(0.6);
        if (present)
            place("voice.wav", library.file("voice.wav"));
        // The clip's name has no extension: the source says what it is.
        EditSession::Clip voice = test::clip("a0", "audio", 0, std::max(t, 0.5), 3, "voice");
        voice.sourceId = addSource("voice.wav", "audio");
        c.summary << " voice.wav" << (present ? "" : "-absent");
        clips.push_back(voice);
    }
    if (!c.single && !c.rendered && chance(0.2)) {
        // A sound source named in words: its declared type says what it is.
        EditSession::Clip memo = test::clip("a1", "audio", 0, std::max(t, 0.5), 4, "Voice memo");
        memo.sourceId = addSource("Voice memo", "audio");
        c.summary << " Voice-memo";
        clips.push_back(memo);
    }
    if (!c.single && !c.rendered && chance(0.2)) {
        session->grade = EditSession::ProjectGrade{identityCubeText()};
        c.summary << " project-lut=inline";
    }
    c.jobLutMissing = !c.single && !c.rendered && chance(0.12);
    session->timelines.front().clips = std::move(clips);
    session->normalizeAllClipTiming();
    c.session = session;
}

// What the timeline export decides before it writes anything, asked of the export's own set-up
// steps: the files it reads, the LUTs, the refusal, and its frame rule on its grid.
struct ExportPlan {
    std::optional<Error> refusal;
    std::map<std::string, fs::path> files;
    ResolvedLuts luts;
    FrameGrid grid;
    std::int64_t framesTotal = 0;
    TimelineFrameMap map;
};

ExportPlan exportPlan(const EditorJobV2& job, const fs::path& folder, const ResolvedMedia* resolved)
{
    using namespace Exporter;
    ExportPlan plan;
    const EditorJobV2::Timeline& timeline = exportTimeline(job);
    plan.files = resolveTimelineSourceFiles(job, folder, resolved);
    try {
        requireSourceFiles(job, timeline, plan.files);
        plan.luts = timelineLuts(job, timeline, folder, std::nullopt);
        requireLuts(timeline, plan.luts, std::nullopt);
    } catch (const Error& refusal) {
        plan.refusal = refusal;
        return plan;
    }
    const auto [width, height] = timelineOutputSize(job);
    TimelineRenderSetup setup;
    setup.clips = timeline.clips;
    setup.overlays = DesktopJobTool::overlayRenderFlags(timeline.clips);
    setup.width = width;
    setup.height = height;
    setup.sources = openExportSources(visualSourceIds(timeline), plan.files, width, height);
    const FrameTiming timing =
        timelineFrameTiming(job, setup.sources.empty() ? nullptr : setup.sources.begin()->second.asset.get());
    setup.timescale = timing.timescale;
    setup.step = timing.step;
    setup.frameDuration = static_cast<double>(timing.step) / timing.timescale;
    plan.framesTotal = timelineFramesTotal(timelineExportDuration(timeline), timing);
    setup.framesTotal = plan.framesTotal;
    plan.grid = FrameGrid{{timing.step, timing.timescale}};
    plan.map = TimelineFrameRenderer(std::move(setup)).frameMap();
    return plan;
}

// A picture as a route names it: a file and a frame of it, or black.
struct Picture {
    std::optional<fs::path> file;
    std::int64_t frame = 0;
    bool operator==(const Picture&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Picture& picture)
{
    if (!picture.file)
        return out << "black";
    return out << picture.file->lexically_normal().string() << " frame " << picture.frame;
}

Picture exportPicture(const ExportPlan& plan, std::int64_t n)
{
    const ShownFrame shown = plan.map.frame(n);
    if (shown.gap() || !shown.sourceId || !shown.sourceFrame)
        return {};
    const auto file = plan.files.find(*shown.sourceId);
    if (file == plan.files.end())
        return {};
    return {file->second.lexically_normal(), *shown.sourceFrame};
}

// The source frame the paused monitor's still is decoded at (its clip and request as the graded
// still asks for them at the frame's start): what a reader gives at the still's
// source time in that file (its rate and frame count as the file tells them), black where the
// file has no such frame.
Picture monitorPicture(const TimelinePreviewEngine& engine, double at)
{
    const std::optional<EditSession::Clip> clip = engine.clipForPausedGrade(at);
    if (!clip)
        return {};
    const std::optional<TimelinePreviewEngine::VisualGradeSource> source = engine.visualGradeSource(at, clip->id);
    if (!source)
        return {};
    const std::shared_ptr<const Asset> asset = Asset::open(source->url);
    if (asset->isStillImage())
        return {source->url.lexically_normal(), 0};
    const AssetTrack* track = asset->firstTrack(MediaType::video);
    const std::optional<double> rate = track ? trackFrameRate(*track) : std::nullopt;
    const std::optional<std::int64_t> frame =
        rate ? firstFrameStartingAtOrAfter(source->sourceSeconds, *rate) : std::nullopt;
    if (!frame || *frame >= std::llround(track->timeRange.end().seconds() * *rate))
        return {};
    return {source->url.lexically_normal(), *frame};
}

// How many files of exactly this name lie anywhere in the folder.
std::size_t filesNamed(const fs::path& folder, const std::string& name)
{
    std::size_t count = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
        count += entry.is_regular_file() && entry.path().filename() == name ? 1 : 0;
    return count;
}

bool ownFilePresent(const fs::path& folder, const std::string& name)
{
    return filesNamed(folder, name) > 0;
}

bool isMovie(const fs::path& file)
{
    const std::string extension = file.extension().string();
    return extension == ".mp4" || extension == ".MP4" || extension == ".mov";
}

// The names an export refusal lists, as they appear in its message.
bool names(const Error& refusal, const std::string& name)
{
    return refusal.localizedDescription().find(name) != std::string::npos;
}

// The engine takes the case's session as a build would answer it: with the files of the sources
// it looked up.
void adopt(EngineHarness& harness, const Case& c)
{
    harness.engine.adoptSession(c.session, c.folder, std::nullopt, true);
    PreviewComposition composition;
    try {
        composition.sourceFiles = MediaResolver::sourceFileMap(*c.session, c.folder);
    } catch (const Error&) {
    }
    harness.builder->finish(10, composition);
    harness.queue->runUntilIdle();
}

std::uint32_t baseSeed()
{
    if (const char* text = std::getenv("VELMORA_ROUTE_SEED"))
        return static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10));
    return 51051;
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
        const ExportPlan sheet = exportPlan(job, c.folder, handed.resolved());
        // The 10-bit workspace is handed the job file and, with it, the editor's files.
        const ResolvedMedia* workspaceMedia = handed.resolved();
        const ExportPlan workspace = exportPlan(job, c.folder, workspaceMedia);

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
            if (ownFilePresent(c.folder, source.fileName)) {
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
        for (const ExportPlan* plan : {&sheet, &workspace}) {
            const char* route = plan == &sheet ? "sheet" : "10-bit workspace";
            ASSERT_EQ(plan->files.size(), shown ? shown->size() : 0) << route;
            for (const auto& [id, file] : plan->files) {
                ASSERT_TRUE(shown && shown->contains(id)) << route << " reads a file for " << id;
                ASSERT_EQ(file.lexically_normal(), shown->at(id).lexically_normal()) << route << " source " << id;
            }
            if (!unshown.empty()) {
                ASSERT_TRUE(plan->refusal) << route << " exports without " << unshown.front();
                EXPECT_EQ(plan->refusal->code(), 212) << route << ": " << plan->refusal->localizedDescription();
                for (const std::string& name : unshown)
                    EXPECT_TRUE(names(*plan->refusal, name)) << route << ": " << plan->refusal->localizedDescription();
            }
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
                EXPECT_TRUE(sheet.refusal && names(*sheet.refusal, name)) << name;
                EXPECT_TRUE(engine.missingLutText() && engine.missingLutText()->find(name) != std::string::npos)
                    << name << " on the status line: " << engine.missingLutText().value_or("(nothing)");
            }
        }

        // (c) both exports refuse alike.
        ASSERT_EQ(sheet.refusal.has_value(), workspace.refusal.has_value());
        if (sheet.refusal) {
            ++refused;
            EXPECT_EQ(sheet.refusal->localizedDescription(), workspace.refusal->localizedDescription());
        }

        // The 10-bit workspace's own job: one whose job-wide LUT is not there is refused by
        // every route that renders it, naming the LUT.
        EditorJobV2 tenBitJob = job;
        const fs::path jobURL = c.folder / "handed.json";
        if (c.jobLutMissing) {
            nlohmann::json json = nlohmann::json::parse(handed.text);
            json["grade"]["lutCube"] = "missing_job_look.cube";
            Library::writeText(jobURL, json.dump());
            tenBitJob = EditorJobV2::fromJSON(json.dump());
            const ExportPlan plan = exportPlan(tenBitJob, c.folder, workspaceMedia);
            ASSERT_TRUE(plan.refusal) << "a job whose own LUT is missing exports";
            if (plan.refusal->code() != 212) { // the files are checked first
                EXPECT_TRUE(names(*plan.refusal, "missing_job_look.cube")) << plan.refusal->localizedDescription();
            }
        } else {
            Library::writeText(jobURL, handed.text);
        }
        const ExportPlan tenBit = c.jobLutMissing ? exportPlan(tenBitJob, c.folder, workspaceMedia) : workspace;

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
                        0, 0, workspaceMedia);
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
            ASSERT_EQ(exportPicture(workspace, n), exportedFrame) << "output frame " << n << " (10-bit workspace)";
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

// What a picture shows: its frame stamp and its mean level (8-bit red, 0…255).
struct Shown {
    int stamp = -1;
    double level = 0;
};

std::ostream& operator<<(std::ostream& out, const Shown& shown)
{
    return out << "stamp " << shown.stamp << " level " << shown.level;
}

Shown shownIn(const std::function<double(int x, int y, int channel)>& at, int width, int height)
{
    Shown shown;
    shown.stamp = readFrameStamp([&](int x, int y) { return at(x, y, 1); }, width, height);
    double sum = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            sum += at(x, y, 0);
    shown.level = 255 * sum / (static_cast<double>(width) * height);
    return shown;
}

// Every frame of a movie, in order.
std::vector<Shown> movieFrames(const fs::path& movie)
{
    auto asset = Asset::open(movie);
    AssetReader reader(asset);
    auto output = AssetReaderTrackOutput::video(*asset->firstTrack(MediaType::video), PixelFormat::bgra);
    reader.add(output);
    if (!reader.startReading())
        throw std::runtime_error("cannot read " + movie.string());
    std::vector<Shown> frames;
    while (auto sample = output->copyNextSampleBuffer()) {
        if (!sample->hasImageBuffer())
            continue;
        const PixelBuffer& buffer = sample->imageBuffer;
        frames.push_back(shownIn(
            [&](int x, int y, int c) {
                // BGRA: red is the third byte.
                return (buffer.baseAddress(0) + buffer.bytesPerRow(0) * y)[4 * x + (c == 0 ? 2 : 1)] / 255.0;
            },
            buffer.width(), buffer.height()));
    }
    return frames;
}

// The paused monitor's graded still at `at`, decoded from its source as the program view asks
// for it.
Shown monitorStill(const TimelinePreviewEngine& engine, double at, int number)
{
    const std::optional<EditSession::Clip> clip = engine.clipForPausedGrade(at);
    if (!clip)
        return {};
    GradedStillJob job;
    job.source = engine.visualGradeSource(at, clip->id);
    job.grade = clip->grade;
    job.mediaFolder = engine.previewMediaFolder();
    job.sessionFile = engine.lutSessionFileURL();
    job.gradePreviewEnabled = engine.gradePreviewEnabled();
    job.width = kWidth;
    job.height = kHeight;
    job.lutBaseKey = "routes|" + std::to_string(number);
    const QImage still = job.run().still.convertToFormat(QImage::Format_RGBA8888);
    if (still.isNull())
        return {};
    return shownIn([&](int x, int y, int c) { return still.constScanLine(y)[4 * x + c] / 255.0; }, still.width(),
                   still.height());
}

::testing::AssertionResult sameFrame(const Shown& monitor, const Shown& written)
{
    if (monitor.stamp >= 0 && monitor.stamp == written.stamp && std::abs(monitor.level - written.level) <= 2)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the monitor shows " << monitor << ", the movie " << written;
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
            const Image& image = still.cgImage;
            const Shown preview = shownIn([&](int x, int y, int ch) { return image.row(y)[4 * x + ch]; },
                                          image.width(), image.height());
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
} // namespace velmora::test
