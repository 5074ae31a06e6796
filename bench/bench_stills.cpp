// Graded stills of the program view: a 1920 x 1080 still, graded with a LUT, a mood and a basic
// grade, from a 3840 x 2160 10-bit HEVC clip (made with the ffmpeg tool on first use).
// Results and how to read them: bench/README.md.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>

#include "GradedStillFixtures.h"
#include "grading/GradedStillRequester.h"
#include "grading/PreviewFrameGrader.h"

namespace {

using namespace velmora;
namespace fs = std::filesystem;

constexpr int clipFrames = 100; // 4 s at 25 fps
constexpr double clipRate = 25.0;

// The clip lives in a temporary folder removed at exit.
struct Clip {
    fs::path folder;
    fs::path path;

    Clip()
    {
        folder = fs::temp_directory_path() / ("velmora_bench_stills_" + std::to_string(::getpid()));
        fs::create_directories(folder);
        path = folder / "uhd_hevc_10bit.mp4";
        bench::makeUhdHevc10BitClip(path);
    }
    ~Clip()
    {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
};

const Clip& clip()
{
    static const Clip instance;
    return instance;
}

GradedStillRequest request(int frame)
{
    static const std::string cube = bench::lookCubeText();
    GradedStillRequest r;
    r.assetURL = clip().path;
    r.sourceTime = frame / clipRate;
    r.frameIndex = frame;
    r.clipId = "clip";
    r.outW = 1920;
    r.outH = 1080;
    EditorJobV2::ClipGrade grade;
    grade.hasLut = true;
    grade.lutData = cube;
    grade.gradeParams = bench::moodAndBasicGrade();
    r.clipGrade = grade;
    return r;
}

void runStill(benchmark::State& state, int frame)
{
    // Every still is new: no LUT base to reuse.
    PreviewFrameGrader::invalidateLutBaseCache();
    const auto still = GradedStillRequester::gradeStill(GradedStillKind::paused, request(frame));
    if (!still || still->width() != 1920 || still->height() != 1080) {
        state.SkipWithError("no still");
    }
    benchmark::DoNotOptimize(still);
}

// A paused frame at a random time: a seek to the key frame before it and decoding forward.
void BM_PausedStillAtRandomTime(benchmark::State& state)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> frames(0, clipFrames - 1);
    runStill(state, 0); // opens the file and its decoder, parses the LUT
    for (auto _ : state) {
        runStill(state, frames(rng));
    }
}

// The next frame after a paused one (a frame step): one more frame decoded.
void BM_PausedStillNextFrame(benchmark::State& state)
{
    int frame = 40;
    runStill(state, frame);
    for (auto _ : state) {
        frame = frame + 1 < clipFrames ? frame + 1 : 40;
        runStill(state, frame);
    }
}

// The decoding part of the frame step alone: the next frame decoded, scaled to 1920 x 1080 and
// fitted, without any grading.
void BM_DecodeNextFrameOnly(benchmark::State& state)
{
    int frame = 40;
    PreviewFrameGrader::decodeSourceStill(clip().path, frame / clipRate, 1920, 1080);
    for (auto _ : state) {
        frame = frame + 1 < clipFrames ? frame + 1 : 40;
        const auto still = PreviewFrameGrader::decodeSourceStill(clip().path, frame / clipRate, 1920, 1080);
        if (!still) {
            state.SkipWithError("no frame");
        }
        benchmark::DoNotOptimize(still->rendered());
    }
}

// A slider moved on a paused frame: the cached LUT base re-graded at the budget size.
void BM_SliderRegradeOnCachedBase(benchmark::State& state)
{
    const auto kind = static_cast<GradedStillKind>(state.range(0));
    GradedStillRequest r = request(40);
    PreviewFrameGrader::invalidateLutBaseCache();
    GradedStillRequester::gradeStill(kind, r);
    double exposure = 0;
    for (auto _ : state) {
        exposure = exposure < 0.3 ? exposure + 0.01 : 0;
        r.clipGrade->gradeParams->exposure = exposure;
        benchmark::DoNotOptimize(GradedStillRequester::gradeStill(kind, r));
    }
}

} // namespace

BENCHMARK(BM_PausedStillAtRandomTime)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_PausedStillNextFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_DecodeNextFrameOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_SliderRegradeOnCachedBase)
    ->Arg(static_cast<int>(GradedStillKind::paused))
    ->Arg(static_cast<int>(GradedStillKind::interactive))
    ->ArgName("interactive")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
