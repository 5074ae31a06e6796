// The program monitor: from pausing playback to the graded still painted in the program view,
// from a grade slider's change to the repainted still, and a refresh of the LUT list (the Clip
// LUT picker opening) with the still shown, for a 1920 × 1080 canvas cut from a
// 3840 × 2160 10-bit HEVC clip (made with the ffmpeg tool on first use) graded with a 33-point
// LUT file, a mood and a basic grade. The engine and the program view are the editor's own; the
// player is a stand-in that shows what the benchmark publishes into its video output.
// Results and how to read them: bench/README.md.

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include <QApplication>
#include <QImage>
#include <benchmark/benchmark.h>

#include "GradedStillFixtures.h"
#include "QtBenchmarkMain.h"
#include "grading/ClipGradeEditState.h"
#include "grading/PreviewFrameGrader.h"
#include "model/MediaResolver.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/ManualMainQueue.h"
#include "platform/media/VideoOutput.h"
#include "preview/GradedPreviewController.h"
#include "preview/GradedPreviewView.h"
#include "preview/TimelinePreviewEngine.h"

namespace {

using namespace velmora;
namespace fs = std::filesystem;

constexpr int clipFrames = 100; // 4 s at 25 fps
constexpr double clipRate = 25.0;
constexpr int canvasW = 1920;
constexpr int canvasH = 1080;

// The media folder: the clip and its LUT file, removed at exit.
struct Media {
    fs::path folder;

    Media()
    {
        folder = fs::temp_directory_path() / ("velmora_bench_program_" + std::to_string(::getpid()));
        fs::create_directories(folder);
        bench::makeUhdHevc10BitClip(folder / "A001.mp4");
        std::ofstream(folder / "Look.cube") << bench::lookCubeText();
    }
    ~Media()
    {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
};

const Media& media()
{
    static const Media instance;
    return instance;
}

// A player standing where it was last sent, showing what is published into its output.
class StandInPlayer final : public PreviewPlayer {
public:
    explicit StandInPlayer(std::shared_ptr<MainQueue> queue) : queue_(std::move(queue)) {}
    void play() override { rate_ = 1; }
    void pause() override { rate_ = 0; }
    double rate() const override { return rate_; }
    void setRate(double rate) override { rate_ = rate; }
    MediaTime currentTime() const override { return time_; }
    void seek(const MediaTime& time, const MediaTime&, const MediaTime&, std::function<void(bool)> completion) override
    {
        time_ = time;
        if (completion) {
            queue_->post([completion = std::move(completion)] { completion(true); });
        }
    }
    TimeObserverToken addPeriodicTimeObserver(const MediaTime&, std::function<void(const MediaTime&)>) override
    {
        return 1;
    }
    void removeTimeObserver(TimeObserverToken) override {}
    void setVolume(float) override {}
    MediaTime itemDuration() const override { return MediaTime::fromSeconds(clipFrames / clipRate, 600); }
    std::shared_ptr<VideoOutput> videoOutput() const override { return output_; }

private:
    std::shared_ptr<MainQueue> queue_;
    std::shared_ptr<VideoOutput> output_ = std::make_shared<VideoOutput>();
    MediaTime time_ = MediaTime::zero();
    double rate_ = 0;
};

// A build as the editor's builder answers it, but over the stand-in player: the session's files
// are looked up in the media folder and handed over (the engine finds the file a paused still is
// decoded from in that map, and in no other place).
class StandInBuilder final : public PreviewCompositionBuilder {
public:
    explicit StandInBuilder(std::shared_ptr<MainQueue> queue) : queue_(std::move(queue)) {}
    void build(Request request, std::function<void(PreviewCompositionOutcome)> completion) override
    {
        PreviewComposition composition;
        composition.player = std::make_shared<StandInPlayer>(queue_);
        const MediaResolver::SourceFileMap* found = nullptr;
        try {
            composition.sourceFiles = MediaResolver::sourceFileMap(*request.session, request.mediaFolder);
            found = &composition.sourceFiles;
        } catch (const Error&) {
        }
        if (request.filesFound) {
            request.filesFound(found);
        }
        queue_->post([completion = std::move(completion), composition] { completion(composition); });
    }

private:
    std::shared_ptr<MainQueue> queue_;
};

std::shared_ptr<EditSession> session()
{
    auto made = std::make_shared<EditSession>();
    EditSession::Project project;
    project.width = canvasW;
    project.height = canvasH;
    project.fps = clipRate;
    project.activeTimelineId = "tl";
    made->project = project;
    made->sources.push_back(EditSession::Source("s1", "A001.mp4", "video"));
    EditSession::Clip clip("c1");
    clip.type = "video";
    clip.name = "A001.mp4";
    clip.sourceId = "s1";
    clip.startTime = 0.0;
    clip.duration = clipFrames / clipRate;
    clip.inPoint = 0.0;
    EditorJobV2::ClipGrade grade;
    grade.hasLut = true;
    grade.lutFile = "Look.cube";
    grade.gradeParams = bench::moodAndBasicGrade();
    clip.grade = grade;
    EditSession::Timeline timeline;
    timeline.id = "tl";
    timeline.duration = clipFrames / clipRate;
    timeline.clips.push_back(clip);
    made->timelines.push_back(timeline);
    return made;
}

// The editor's engine with the grade preview on and a shown 960 × 540 program view.
struct Monitor {
    Monitor()
    {
        engine.adoptSession(session(), media().folder, std::nullopt, true);
        queue->runUntilIdle();
        engine.setGradePreviewEnabled(true);
        player = std::dynamic_pointer_cast<StandInPlayer>(engine.avPlayer());
        view.resize(960, 540);
        view.show();
        QApplication::processEvents();
        ready = settle();
    }

    GradedPreviewController& controller() { return view.controller(); }
    void togglePlay()
    {
        clock->advance(1);
        engine.togglePlay();
        queue->runUntilIdle();
    }
    // Runs the main queue until the view's request is answered (the still shown, or no grading
    // left in flight; at most two minutes); whether a still is shown then. A still that cannot
    // come is not waited for.
    bool settle()
    {
        queue->runUntil([this] { return controller().isStillShown() || !controller().isGradingInFlight(); }, 120);
        return controller().isStillShown();
    }
    void paint()
    {
        view.render(&canvas);
        benchmark::DoNotOptimize(canvas.constBits());
    }

    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    TimelinePreviewEngine engine{TimelinePreviewEngine::Services{queue, clock, std::make_shared<StandInBuilder>(queue)}};
    std::shared_ptr<StandInPlayer> player;
    GradedPreviewView view{engine, queue, false, false};
    QImage canvas{960, 540, QImage::Format_ARGB32_Premultiplied};
    // The first paused still was shown.
    bool ready = false;
};

// Whether the monitor showed the graded still of its first pause; the benchmark is skipped with
// why when it did not.
bool started(const Monitor& monitor, benchmark::State& state)
{
    if (!monitor.ready) {
        state.SkipWithError("no graded still of the paused clip");
    }
    return monitor.ready;
}

// The player's own picture of a frame: the composed canvas, 1920 × 1080 BGRA.
PixelBuffer playerFrame()
{
    PixelBuffer buffer = PixelBuffer::create(PixelFormat::bgra, canvasW, canvasH);
    for (int y = 0; y < canvasH; ++y) {
        std::uint8_t* row = buffer.baseAddress(0) + y * buffer.bytesPerRow(0);
        for (int x = 0; x < canvasW; ++x) {
            row[4 * x + 0] = static_cast<std::uint8_t>(x * 255 / canvasW);
            row[4 * x + 1] = static_cast<std::uint8_t>(y * 255 / canvasH);
            row[4 * x + 2] = static_cast<std::uint8_t>(128);
            row[4 * x + 3] = 255;
        }
    }
    return buffer;
}

// Playing, then paused at a random frame: the still is graded from the 4K source file
// (range 0: the player's output does not hold the paused frame) or from the frame the player
// shows (range 1), and painted. The LUT base is never cached: every pause is a new frame.
void BM_PauseToGradedStill(benchmark::State& state)
{
    const bool fromPlayerFrame = state.range(0) == 1;
    Monitor monitor;
    if (!started(monitor, state)) {
        return;
    }
    const PixelBuffer frame = playerFrame();
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> frames(0, clipFrames - 2);
    for (auto _ : state) {
        state.PauseTiming();
        PreviewFrameGrader::invalidateLutBaseCache();
        monitor.togglePlay();
        const double t = frames(rng) / clipRate;
        monitor.engine.seek(t, false, nullptr);
        monitor.queue->runUntilIdle();
        monitor.player->videoOutput()->clear();
        if (fromPlayerFrame) {
            monitor.player->videoOutput()->publish(
                {frame, MediaTime::fromSeconds(t, 600), MediaTime::fromSeconds(1 / clipRate, 600), 0});
        }
        state.ResumeTiming();

        monitor.togglePlay();
        if (!monitor.settle()) {
            state.SkipWithError("no still");
            break;
        }
        monitor.paint();
    }
}

// A grade slider dragged on a paused frame: each change re-grades the cached LUT base on the
// main thread (854 × 480) and repaints the view.
void BM_SliderToRepaintedStill(benchmark::State& state)
{
    Monitor monitor;
    if (!started(monitor, state)) {
        return;
    }
    ClipGradeEditState edit = ClipGradeEditState::from(monitor.engine.session()->clip("c1"));
    edit.exposure = 0.2;
    monitor.engine.warmGradeSliderPreview("c1", edit);
    monitor.queue->runUntilIdle();
    // The first change of a drag builds the base at the drag's size.
    monitor.settle();
    monitor.queue->runUntil([&] { return !monitor.controller().isGradingInFlight(); }, 30);
    double exposure = 0.2;
    for (auto _ : state) {
        exposure = exposure < 0.6 ? exposure + 0.01 : 0.2;
        edit.exposure = exposure;
        monitor.engine.warmGradeSliderPreview("c1", edit);
        monitor.queue->runUntilIdle();
        if (monitor.controller().isGradingInFlight() || monitor.controller().still().width() != 854) {
            state.SkipWithError("the slider did not take the cached base");
            break;
        }
        monitor.paint();
    }
}

// Painting alone: the graded still (range 0) or a 1920 × 1080 player frame while playing
// (range 1) into the 960 × 540 view.
void BM_PaintProgramView(benchmark::State& state)
{
    Monitor monitor;
    if (!started(monitor, state)) {
        return;
    }
    if (state.range(0) == 1) {
        monitor.togglePlay();
        monitor.player->videoOutput()->publish(
            {playerFrame(), MediaTime::zero(), MediaTime::fromSeconds(1 / clipRate, 600), 0});
        monitor.controller().pullPlayerPicture();
    }
    for (auto _ : state) {
        monitor.paint();
    }
}

// The LUT list refreshed (as each opening of the Clip LUT picker does) while the graded still of
// the paused 4K clip is shown, nothing on disk changed: until the monitor has nothing left to
// grade. Processor time of the whole process; the counter regrades is the stills asked for per
// refresh.
void BM_LutListRefresh(benchmark::State& state)
{
    Monitor monitor;
    if (!started(monitor, state)) {
        return;
    }
    const std::uint64_t firstRequest = monitor.controller().gradeRequestID();
    for (auto _ : state) {
        monitor.engine.refreshLutNames();
        monitor.queue->runUntilIdle();
        monitor.queue->runUntil([&] { return !monitor.controller().isGradingInFlight(); }, 120);
        if (!monitor.controller().isStillShown()) {
            state.SkipWithError("no still after the refresh");
            break;
        }
    }
    state.counters["regrades"] = benchmark::Counter(
        static_cast<double>(monitor.controller().gradeRequestID() - firstRequest), benchmark::Counter::kAvgIterations);
}

} // namespace

BENCHMARK(BM_PauseToGradedStill)->Arg(0)->Arg(1)->ArgName("fromPlayerFrame")->Unit(benchmark::kMillisecond)
    ->UseRealTime()->MinTime(3);
BENCHMARK(BM_SliderToRepaintedStill)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LutListRefresh)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_PaintProgramView)->Arg(0)->Arg(1)->ArgName("playing")->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    return runQtBenchmarks(argc, argv);
}
