// Grading throughput on a 3840 x 2160 float RGBA frame, using every core, next to FFmpeg's own
// lut3d filter (tetrahedral, same thread count, planar float frame of the same size).
// Results and how to read them: bench/README.md.

#include <benchmark/benchmark.h>

#include <time.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "grading/BasicGrade.h"
#include "grading/CubeLUT.h"
#include "grading/GammaCompensation.h"
#include "grading/LutApplication.h"
#include "grading/MoodGrade.h"
#include "model/LutResolution.h"
#include "platform/dispatch/ConcurrentPerform.h"
#include "platform/image/Image.h"

namespace {

using namespace velmora;

constexpr int frameWidth = 3840;
constexpr int frameHeight = 2160;
constexpr int lutSize = 33;

// A smooth picture with fine noise: neighbouring pixels hit neighbouring cube cells, as in video.
float sampleValue(int x, int y, int channel, std::mt19937& rng)
{
    std::uniform_real_distribution<float> noise(-0.02f, 0.02f);
    const float fx = static_cast<float>(x) / frameWidth;
    const float fy = static_cast<float>(y) / frameHeight;
    float v = 0;
    switch (channel) {
    case 0: v = 0.5f + 0.45f * std::sin(6.0f * fx + 2.0f * fy); break;
    case 1: v = fy * 0.9f + 0.05f; break;
    default: v = 0.5f + 0.4f * std::cos(4.0f * fx * fy + 1.0f); break;
    }
    return std::clamp(v + noise(rng), 0.0f, 1.0f);
}

const Image& sourceFrame()
{
    static const Image frame = [] {
        Image image = Image::allocate(frameWidth, frameHeight);
        std::mt19937 rng(7);
        for (int i = 0; i < frameHeight; ++i) {
            float* row = image.mutableRow(i);
            for (int x = 0; x < frameWidth; ++x) {
                for (int c = 0; c < 3; ++c) {
                    row[x * 4 + c] = sampleValue(x, frameHeight - 1 - i, c, rng);
                }
                row[x * 4 + 3] = 1;
            }
        }
        return image;
    }();
    return frame;
}

// A film-like conversion look: a gentle S-curve with cross-talk, the kind of LUT users load.
CubeLUT lookCube()
{
    std::vector<float> v;
    v.reserve(lutSize * lutSize * lutSize * 4);
    for (int b = 0; b < lutSize; ++b) {
        for (int g = 0; g < lutSize; ++g) {
            for (int r = 0; r < lutSize; ++r) {
                const float fr = r / float(lutSize - 1), fg = g / float(lutSize - 1), fb = b / float(lutSize - 1);
                auto s = [](float x) { return x * x * (3 - 2 * x) * 0.8f + x * 0.2f; };
                v.insert(v.end(), {s(0.9f * fr + 0.1f * fg), s(0.05f * fr + 0.9f * fg + 0.05f * fb),
                                   s(0.1f * fg + 0.9f * fb), 1.0f});
            }
        }
    }
    return CubeLUT::fromFloats(lutSize, v);
}

std::string cubeText(const CubeLUT& cube)
{
    std::string text = "LUT_3D_SIZE " + std::to_string(cube.size) + "\n";
    const std::vector<float> f = cube.floats();
    char line[128];
    for (std::size_t i = 0; i < f.size(); i += 4) {
        std::snprintf(line, sizeof line, "%.9g %.9g %.9g\n", f[i], f[i + 1], f[i + 2]);
        text += line;
    }
    return text;
}

void renderAll(const Image& image)
{
    // Reading a row renders the pending steps for the whole frame, once.
    benchmark::DoNotOptimize(image.row(0));
}

// CPU time of the whole process (every thread), in milliseconds. Divided by the frames graded it
// gives the processor cost of a frame, which, unlike wall time, hardly depends on what else the
// machine is running.
double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct CpuMeter {
    double start = processCpuMs();
    void report(benchmark::State& state) const
    {
        state.counters["cpu_ms/frame"] = (processCpuMs() - start) / static_cast<double>(std::max<int64_t>(1, state.iterations()));
    }
};

void setCounters(benchmark::State& state)
{
    state.counters["threads"] = static_cast<double>(concurrencyWidth());
    state.counters["Mpx/s"] = benchmark::Counter(static_cast<double>(frameWidth) * frameHeight * state.iterations() / 1e6,
                                                 benchmark::Counter::kIsRate);
}

void BM_LutAlone(benchmark::State& state)
{
    const Image& frame = sourceFrame();
    const CubeLUT cube = lookCube();
    const Exporter::CubeFilter filter = Exporter::makeCubeFilter(cube);
    const CpuMeter meter;
    for (auto _ : state) {
        renderAll(Exporter::applyCubeLUTImage(frame, cube, filter, 1.0));
    }
    meter.report(state);
    setCounters(state);
}
BENCHMARK(BM_LutAlone)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

EditorJobV2::ClipGrade::GradeParams chainParams()
{
    EditorJobV2::ClipGrade::GradeParams p;
    p.moodKey = "kodak_5219";
    p.isMoodEnabled = FlexibleBool{true};
    p.moodAmount = 1.0;
    p.moodContrast = 0.2;
    p.moodSaturation = 0.1;
    p.moodWarmth = 0.15;
    p.moodTealOrange = 0.3;
    p.moodShadowLift = 0.1;
    p.moodHighlightRolloff = 0.4;
    p.exposure = 0.1;
    p.contrast = 0.08;
    p.highlights = -0.1;
    p.shadows = 0.1;
    p.saturation = 0.1;
    p.vibrance = 0.2;
    p.temperature = 0.05;
    p.tint = -0.03;
    return p;
}

Image fullChain(const Image& frame, const CubeLUT& cube, const Exporter::CubeFilter& filter,
                const std::optional<EditorJobV2::ClipGrade::GradeParams>& params)
{
    Image image = Exporter::applyCubeLUTImage(frame, cube, filter, 1.0);
    image = Exporter::applyMoodImage(image, params);
    image = Exporter::applyBasicGradeImage(image, params, frameWidth, frameHeight);
    image = Exporter::applyLookAdjust(image, 1.05, 1.1, 0.01);
    image = Exporter::applyCompTintImage(image, 0.05);
    return Exporter::applyGammaCompensation(image, Exporter::resolveGammaMode("rec709a").gammaPower);
}

void BM_FullChain(benchmark::State& state)
{
    const Image& frame = sourceFrame();
    const CubeLUT cube = lookCube();
    const Exporter::CubeFilter filter = Exporter::makeCubeFilter(cube);
    const auto params = std::optional(chainParams());
    const CpuMeter meter;
    for (auto _ : state) {
        renderAll(fullChain(frame, cube, filter, params));
    }
    meter.report(state);
    setCounters(state);
}
BENCHMARK(BM_FullChain)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The same chain with a look that uses no powers (the sliders stay off rest).
void BM_FullChainLightLook(benchmark::State& state)
{
    const Image& frame = sourceFrame();
    const CubeLUT cube = lookCube();
    const Exporter::CubeFilter filter = Exporter::makeCubeFilter(cube);
    EditorJobV2::ClipGrade::GradeParams params = chainParams();
    params.moodKey = "panasonic_vlog";
    const auto optionalParams = std::optional(params);
    const CpuMeter meter;
    for (auto _ : state) {
        renderAll(fullChain(frame, cube, filter, optionalParams));
    }
    meter.report(state);
    setCounters(state);
}
BENCHMARK(BM_FullChainLightLook)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The steps one at a time, to see where the chain's time goes.
void BM_Step(benchmark::State& state, int step)
{
    const Image& frame = sourceFrame();
    const auto params = std::optional(chainParams());
    const CpuMeter meter;
    for (auto _ : state) {
        Image image;
        switch (step) {
        case 0: image = Exporter::applyMoodImage(frame, params); break;
        case 4: {
            EditorJobV2::ClipGrade::GradeParams lookOnly = chainParams();
            lookOnly.moodContrast = lookOnly.moodSaturation = lookOnly.moodWarmth = 0.0;
            lookOnly.moodTealOrange = lookOnly.moodShadowLift = lookOnly.moodHighlightRolloff = 0.0;
            image = Exporter::applyMoodImage(frame, lookOnly);
            break;
        }
        case 5: {
            EditorJobV2::ClipGrade::GradeParams slidersOnly = chainParams();
            slidersOnly.moodKey = "panasonic_vlog"; // a look without powers
            image = Exporter::applyMoodImage(frame, slidersOnly);
            break;
        }
        case 1: image = Exporter::applyBasicGradeImage(frame, params, frameWidth, frameHeight); break;
        case 2: image = Exporter::applyGammaCompensation(frame, 1.1218765935747068); break;
        default: image = Exporter::applyLookAdjust(Exporter::applyCompTintImage(frame, 0.05), 1.05, 1.1, 0.01); break;
        }
        renderAll(image);
    }
    meter.report(state);
    setCounters(state);
}
BENCHMARK_CAPTURE(BM_Step, mood, 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Step, mood_look_only, 4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Step, mood_light_look_with_sliders, 5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Step, basic_grade, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Step, gamma, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Step, look_and_tint, 3)->Unit(benchmark::kMillisecond)->UseRealTime();

// The chain's own arithmetic without the memory traffic: a 512 x 128 frame (1 MB) stays in the
// caches. Run under `taskset -c N` for one core; `ns/pixel` is processor time per pixel.
void BM_InCache(benchmark::State& state, int what)
{
    static const Image small = sourceFrame().croppedTo(IntRect{0, 0, 512, 128}).rendered();
    const CubeLUT cube = lookCube();
    const Exporter::CubeFilter filter = Exporter::makeCubeFilter(cube);
    EditorJobV2::ClipGrade::GradeParams moodOnly = chainParams();
    moodOnly.exposure = moodOnly.contrast = moodOnly.highlights = moodOnly.shadows = 0.0;
    moodOnly.saturation = moodOnly.vibrance = moodOnly.temperature = moodOnly.tint = 0.0;
    const auto params = std::optional(chainParams());
    const auto moodParams = std::optional(moodOnly);
    const CpuMeter meter;
    for (auto _ : state) {
        Image image;
        switch (what) {
        case 0: image = fullChain(small, cube, filter, params); break;
        case 1: image = Exporter::applyCubeLUTImage(small, cube, filter, 1.0); break;
        case 2: image = Exporter::applyMoodImage(small, moodParams); break;
        case 3: image = Exporter::applyBasicGradeImage(small, params, 512, 128); break;
        case 4: image = Exporter::applyGammaCompensation(small, 1.1218765935747068); break;
        default: image = Exporter::applyLookAdjust(Exporter::applyCompTintImage(small, 0.05), 1.05, 1.1, 0.01); break;
        }
        renderAll(image);
    }
    state.counters["ns/pixel"] = (processCpuMs() - meter.start) * 1e6 /
                                 (static_cast<double>(state.iterations()) * 512 * 128);
}
BENCHMARK_CAPTURE(BM_InCache, chain, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_InCache, lut, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_InCache, mood, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_InCache, basic_grade, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_InCache, gamma, 4)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_InCache, look_and_tint, 5)->Unit(benchmark::kMicrosecond);

// Copying the frame once: the memory-traffic floor of any one-pass step.
void BM_CopyFloor(benchmark::State& state)
{
    const Image& frame = sourceFrame();
    const CpuMeter meter;
    for (auto _ : state) {
        Image copy = frame;
        copy.makeWritable();
        benchmark::DoNotOptimize(copy.row(0));
    }
    meter.report(state);
    setCounters(state);
}
BENCHMARK(BM_CopyFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- The first read of a LUT file ----

// A `.cube` file of `points` a side in a folder of its own, as a camera maker ships one (six
// decimals, a gentle curve with cross-talk), under a title whose serial number is rewritten in
// place before each read: every read is of a text the process has not judged before.
class FirstReadLut {
public:
    explicit FirstReadLut(int points)
        : folder_(std::filesystem::temp_directory_path() / ("velmora_bench_first_read_" + std::to_string(points)))
    {
        std::filesystem::create_directories(folder_);
        std::string text = "TITLE \"first read 0000000000\"\nLUT_3D_SIZE " + std::to_string(points) + "\n";
        char line[96];
        const double last = points - 1;
        for (int b = 0; b < points; ++b) {
            for (int g = 0; g < points; ++g) {
                for (int r = 0; r < points; ++r) {
                    const double rr = r / last, gg = g / last, bb = b / last;
                    const int written = std::snprintf(line, sizeof line, "%.6f %.6f %.6f\n",
                                                      std::sqrt(0.9 * rr + 0.1 * gg), 0.95 * gg + 0.05 * bb * bb,
                                                      0.9 * bb + 0.1 * rr * gg);
                    text.append(line, static_cast<std::size_t>(written));
                }
            }
        }
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path().c_str(), "wb"), &std::fclose);
        std::fwrite(text.data(), 1, text.size(), file.get());
        bytes_ = text.size();
    }
    ~FirstReadLut() { std::filesystem::remove_all(folder_); }

    const std::filesystem::path& folder() const { return folder_; }
    std::filesystem::path path() const { return folder_ / "first_read.cube"; }
    std::size_t bytes() const { return bytes_; }

    // Writes the next serial number into the title (ten digits after `TITLE "first read `). The
    // numbers run on across repetitions and sizes: no text is read twice in a process.
    void retitle()
    {
        static unsigned long long serial = 0;
        char digits[11];
        std::snprintf(digits, sizeof digits, "%010llu", ++serial);
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path().c_str(), "r+b"), &std::fclose);
        std::fseek(file.get(), 18, SEEK_SET);
        std::fwrite(digits, 1, 10, file.get());
    }

private:
    std::filesystem::path folder_;
    std::size_t bytes_ = 0;
};

// The first read of a LUT file named by a clip: the lookup that finds it in the media folder and
// decides that it grades (read, judged), and with table:1 also the cube the grade is built from
// (parseCube of the text found). One thread; the file is in the page cache.
void BM_LutFirstRead(benchmark::State& state)
{
    ::setenv("VELMORA_RESOURCES_DIR", "", 1);
    const int points = static_cast<int>(state.range(0));
    const bool table = state.range(1) != 0;
    FirstReadLut lut(points);
    for (auto _ : state) {
        state.PauseTiming();
        lut.retitle();
        state.ResumeTiming();
        LutResolution answer = LutResolving::lookUpFile("first_read.cube", lut.folder(), std::nullopt);
        if (!answer.grades()) {
            state.SkipWithError("the LUT does not grade");
            break;
        }
        if (table) {
            const CubeLUT cube = Exporter::parseCube(answer.text);
            benchmark::DoNotOptimize(cube.data.data());
        }
        benchmark::DoNotOptimize(answer.text.data());
    }
    state.counters["MB"] = static_cast<double>(lut.bytes()) / 1e6;
}
BENCHMARK(BM_LutFirstRead)
    ->ArgsProduct({{17, 33, 65}, {0, 1}})
    ->ArgNames({"points", "table"})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

// ---- FFmpeg lut3d, in process ----

struct GraphDeleter {
    void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

void BM_FfmpegLut3d(benchmark::State& state)
{
    const std::filesystem::path lutPath = std::filesystem::temp_directory_path() / "velmora_bench_look.cube";
    {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(lutPath.c_str(), "wb"), &std::fclose);
        const std::string text = cubeText(lookCube());
        std::fwrite(text.data(), 1, text.size(), file.get());
    }
    const int threads = static_cast<int>(concurrencyWidth());
    std::unique_ptr<AVFilterGraph, GraphDeleter> graph(avfilter_graph_alloc());
    graph->nb_threads = threads;
    AVFilterContext* src = nullptr;
    AVFilterContext* lut = nullptr;
    AVFilterContext* sink = nullptr;
    const std::string srcArgs = "video_size=" + std::to_string(frameWidth) + "x" + std::to_string(frameHeight) +
                                ":pix_fmt=" + std::to_string(AV_PIX_FMT_GBRPF32LE) + ":time_base=1/25:pixel_aspect=1/1";
    const std::string lutArgs = "file=" + lutPath.string() + ":interp=tetrahedral";
    if (avfilter_graph_create_filter(&src, avfilter_get_by_name("buffer"), "in", srcArgs.c_str(), nullptr, graph.get()) < 0 ||
        avfilter_graph_create_filter(&lut, avfilter_get_by_name("lut3d"), "lut", lutArgs.c_str(), nullptr, graph.get()) < 0 ||
        avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr, graph.get()) < 0 ||
        avfilter_link(src, 0, lut, 0) < 0 || avfilter_link(lut, 0, sink, 0) < 0 ||
        avfilter_graph_config(graph.get(), nullptr) < 0) {
        state.SkipWithError("could not build the lut3d graph");
        return;
    }

    std::unique_ptr<AVFrame, FrameDeleter> in(av_frame_alloc());
    in->format = AV_PIX_FMT_GBRPF32LE;
    in->width = frameWidth;
    in->height = frameHeight;
    if (av_frame_get_buffer(in.get(), 64) < 0) {
        state.SkipWithError("could not allocate the frame");
        return;
    }
    // Same picture as our frame; planes are G, B, R.
    const Image& frame = sourceFrame();
    for (int y = 0; y < frameHeight; ++y) {
        const float* row = frame.row(y);
        auto* g = reinterpret_cast<float*>(in->data[0] + y * in->linesize[0]);
        auto* b = reinterpret_cast<float*>(in->data[1] + y * in->linesize[1]);
        auto* r = reinterpret_cast<float*>(in->data[2] + y * in->linesize[2]);
        for (int x = 0; x < frameWidth; ++x) {
            r[x] = row[x * 4];
            g[x] = row[x * 4 + 1];
            b[x] = row[x * 4 + 2];
        }
    }
    std::unique_ptr<AVFrame, FrameDeleter> out(av_frame_alloc());
    int64_t pts = 0;
    const CpuMeter meter;
    for (auto _ : state) {
        in->pts = pts++;
        if (av_buffersrc_add_frame_flags(src, in.get(), AV_BUFFERSRC_FLAG_KEEP_REF) < 0 ||
            av_buffersink_get_frame(sink, out.get()) < 0) {
            state.SkipWithError("lut3d failed");
            break;
        }
        benchmark::DoNotOptimize(out->data[0]);
        av_frame_unref(out.get());
    }
    meter.report(state);
    state.counters["threads"] = threads;
    state.counters["Mpx/s"] = benchmark::Counter(static_cast<double>(frameWidth) * frameHeight * state.iterations() / 1e6,
                                                 benchmark::Counter::kIsRate);
    std::filesystem::remove(lutPath);
}
BENCHMARK(BM_FfmpegLut3d)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
