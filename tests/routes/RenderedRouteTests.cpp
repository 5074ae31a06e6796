// The rendered cases: movies written through the sheet's runner, the 10-bit workspace's exporter
// (or its fast path) and the single-video export, read back frame by frame against the paused
// monitor, and the monitor's graded stills and the job preview against those movies.

#include <algorithm>
#include <deque>
#include <future>

#include <gtest/gtest.h>

#include "RouteChecks.h"
#include "export_workspaces/EngineJobExporter.h"

namespace velmora::test::routes {
namespace {

namespace fs = std::filesystem;

// Rendered cases in all, shared out among the seeds.
constexpr int kRenderedCases = kUnderAddressSanitizer ? 8 : 40;

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
