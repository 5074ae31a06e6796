// The timeline export end to end next to FFmpeg's command-line tool, in one run: a 10-second
// 1920 x 1080 clip (generated here) graded with a 33-point LUT and written as 10-bit HEVC, by
// `Exporter::exportEditorTimeline` and by
// `ffmpeg -i clip -vf lut3d=look.cube,format=yuv420p10le -c:v libx265 …` at the same encoder
// settings. Both sides are timed from opening the clip to the finished movie, alternately, so
// both see the same machine load.
//
// BM_Export1080PeakMemory and BM_Export4KPeakMemory run the export in a child process of its
// own next to the tool's process doing the same job (whole processes, alternated) and report
// both peaks of resident memory and wall times, and their ratios.
//
// BM_Export4KStopOnRequest is how long a 10-bit export takes to stop, which a quit waits for (up
// to a second; bench_quit_export times the whole quit): a 4K 10-bit HEVC export is asked to stop
// two seconds in, and the time from the request until the export has returned (its thread could
// be joined) is reported, for the timeline export and for the single-clip path a one-clip job
// takes.
// Results and how to read them: bench/README.md.

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "export/FastSingleClipPath.h"
#include "export/TimelineExport.h"
#include "export/TimelineExportSetup.h"

namespace {

using namespace velmora;
namespace fs = std::filesystem;

constexpr int kFps = 25;
constexpr int kSeconds = 10;
constexpr int kFrames = kFps * kSeconds;
constexpr int kLutSize = 33;
constexpr int k4kSeconds = 4;

void run(const std::string& command)
{
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

std::string number(double value)
{
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    (void)ec;
    return std::string(buffer, end);
}

// A conversion look of the kind users load: a gentle S-curve with some cross-talk.
void writeLookCube(const fs::path& path)
{
    std::ofstream out(path);
    out << "TITLE \"bench look\"\nLUT_3D_SIZE " << kLutSize << "\n";
    for (int b = 0; b < kLutSize; ++b) {
        for (int g = 0; g < kLutSize; ++g) {
            for (int r = 0; r < kLutSize; ++r) {
                const double c[3] = {double(r) / (kLutSize - 1), double(g) / (kLutSize - 1), double(b) / (kLutSize - 1)};
                double o[3];
                for (int k = 0; k < 3; ++k) {
                    const double mixed = 0.9 * c[k] + 0.05 * c[(k + 1) % 3] + 0.05 * c[(k + 2) % 3];
                    o[k] = std::clamp(mixed + 0.12 * std::sin(2 * M_PI * mixed) * (0.5 - std::abs(mixed - 0.5)), 0.0, 1.0);
                }
                out << number(o[0]) << " " << number(o[1]) << " " << number(o[2]) << "\n";
            }
        }
    }
}

class Fixtures {
public:
    Fixtures()
    {
        folder_ = fs::temp_directory_path() / ("velmora_bench_export_" + std::to_string(::getpid()));
        fs::create_directories(folder_);
        run("ffmpeg -y -v error -f lavfi -i testsrc2=s=1920x1080:r=" + std::to_string(kFps) + ":d=" +
            std::to_string(kSeconds) + " -c:v libx264 -preset fast -crf 16 -pix_fmt yuv420p " + clip().string());
        writeLookCube(cube());
    }
    ~Fixtures()
    {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

    const fs::path& folder() const { return folder_; }
    fs::path clip() const { return folder_ / "clip.mp4"; }
    fs::path cube() const { return folder_ / "look.cube"; }
    fs::path output(const std::string& name) const { return folder_ / name; }

private:
    fs::path folder_;
};

Fixtures& fixtures()
{
    static Fixtures f;
    return f;
}

double seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One clip over the whole timeline, graded by the job's LUT.
EditorJobV2 clipJob(const std::string& fileName, int width, int height, int seconds)
{
    EditorJobV2 job;
    job.tool = "velmora-editor-desktop-export";
    job.version = 2;
    job.grade.lutCube = "look.cube";
    EditorJobV2::Project project;
    project.width = width;
    project.height = height;
    project.fps = kFps;
    job.project = project;
    job.sources.push_back(EditorJobV2::Source{"clip", fileName, std::nullopt});
    EditorJobV2::Clip clip;
    clip.id = "c1";
    clip.type = "video";
    clip.sourceId = "clip";
    clip.track = 1;
    clip.startTime = 0;
    clip.duration = seconds;
    clip.inPoint = 0;
    EditorJobV2::Timeline timeline;
    timeline.id = "t1";
    timeline.clips.push_back(clip);
    job.timelines.push_back(timeline);
    return job;
}

// `resolved`: the export is handed the clip's file, as the editor hands its own exports the files
// its monitor shows (ResolvedMedia); else it looks the source up by name in the folder.
void exportClip(const fs::path& folder, const std::string& fileName, int width, int height, int seconds,
                const fs::path& target, Exporter::EditorVideoCodec codec = Exporter::EditorVideoCodec::hevc10,
                bool resolved = false)
{
    const ResolvedMedia media{folder, {{"clip", folder / fileName}}};
    Exporter::exportEditorTimeline(clipJob(fileName, width, height, seconds), std::nullopt, folder, target,
                                   std::nullopt, codec, "rec709", 1, 1, 0, 0, std::nullopt, {}, {}, {},
                                   resolved ? &media : nullptr);
}

double exportOurs()
{
    const fs::path target = fixtures().output("ours.mp4");
    fs::remove(target);
    const auto start = std::chrono::steady_clock::now();
    exportClip(fixtures().folder(), "clip.mp4", 1920, 1080, kSeconds, target);
    return seconds(start);
}

double exportTool()
{
    // The export's own HEVC settings for this job: its default bit rate for 1080p at 25 fps as the
    // average and the one-second cap, no B-frames, a key frame every two seconds.
    const std::int64_t bitrate = Exporter::timelineBitrate(std::nullopt, EditorJobV2{}, 1920, 1080, kFps);
    const std::string rate = std::to_string(bitrate);
    const fs::path target = fixtures().output("tool.mp4");
    const std::string command =
        "ffmpeg -y -v error -i " + fixtures().clip().string() + " -vf \"lut3d=file=" + fixtures().cube().string() +
        ",format=yuv420p10le\" -c:v libx265 -preset fast -profile:v main10 -b:v " + rate + " -maxrate " + rate +
        " -bufsize " + rate + " -x265-params log-level=error:open-gop=0:bframes=0:keyint=" + std::to_string(2 * kFps) +
        " -color_primaries bt709 -color_trc bt709 -colorspace bt709 -color_range tv -tag:v hvc1 -an " +
        target.string();
    const auto start = std::chrono::steady_clock::now();
    run(command);
    return seconds(start);
}

void BM_Export1080Hevc_SideBySide(benchmark::State& state)
{
    fixtures();
    double ours = 0;
    double tool = 0;
    for (auto _ : state) {
        const double a = exportOurs();
        const double b = exportTool();
        ours += a;
        tool += b;
        state.SetIterationTime(a + b);
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["ours_s"] = ours / runs;
    state.counters["tool_s"] = tool / runs;
    state.counters["ours_fps"] = kFrames * runs / ours;
    state.counters["tool_fps"] = kFrames * runs / tool;
    state.counters["ratio"] = ours / tool;
}
BENCHMARK(BM_Export1080Hevc_SideBySide)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// What a whole process cost: its wall time and its own peak resident memory.
struct ProcessCost {
    double seconds = 0;
    double peakMiB = 0;
};

// Runs `args` (the first found on the path) as a child process and waits for it. None when it
// cannot start or does not end with status 0.
std::optional<ProcessCost> runProcess(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (::posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return std::nullopt;
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(child, &status, 0, &usage);
    const double elapsed = seconds(start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    // ru_maxrss is in kilobytes on Linux: the child's own peak.
    return ProcessCost{elapsed, static_cast<double>(usage.ru_maxrss) / 1024.0};
}

std::string selfPath()
{
    char self[4096] = {};
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    return length > 0 ? std::string(self, static_cast<std::size_t>(length)) : std::string();
}

const char* codecName(Exporter::EditorVideoCodec codec)
{
    switch (codec) {
    case Exporter::EditorVideoCodec::hevc10: return "hevc10";
    case Exporter::EditorVideoCodec::h264: return "h264";
    case Exporter::EditorVideoCodec::proRes422: return "prores";
    }
    return "hevc10";
}

std::optional<Exporter::EditorVideoCodec> codecNamed(const std::string& name)
{
    for (const auto codec : {Exporter::EditorVideoCodec::hevc10, Exporter::EditorVideoCodec::h264,
                             Exporter::EditorVideoCodec::proRes422}) {
        if (name == codecName(codec)) {
            return codec;
        }
    }
    return std::nullopt;
}

// The movie a child export writes into its folder.
std::string movieName(const std::string& stem, Exporter::EditorVideoCodec codec)
{
    return stem + (codec == Exporter::EditorVideoCodec::proRes422 ? ".mov" : ".mp4");
}

// The tool's command for the job the child export does on `clip` in `folder`: the same LUT, the
// same encoder at the export's settings (for 10-bit HEVC and H.264 its default bit rate, no
// B-frames; for HEVC the one-second cap and a key frame every two seconds), no sound.
std::vector<std::string> toolCommand(const fs::path& folder, const std::string& clip, int width, int height,
                                     Exporter::EditorVideoCodec codec)
{
    const std::string rate = std::to_string(Exporter::timelineBitrate(std::nullopt, EditorJobV2{}, width, height, kFps));
    std::vector<std::string> command = {"ffmpeg", "-y", "-v", "error", "-i", (folder / clip).string(), "-vf"};
    const std::string lut = "lut3d=file=" + (folder / "look.cube").string();
    switch (codec) {
    case Exporter::EditorVideoCodec::hevc10:
        command.insert(command.end(), {lut + ",format=yuv420p10le", "-c:v", "libx265", "-preset", "fast", "-profile:v",
                                       "main10", "-b:v", rate, "-maxrate", rate, "-bufsize", rate, "-x265-params",
                                       "log-level=error:open-gop=0:bframes=0:keyint=" + std::to_string(2 * kFps),
                                       "-tag:v", "hvc1"});
        break;
    case Exporter::EditorVideoCodec::h264:
        command.insert(command.end(), {lut + ",format=yuv420p", "-c:v", "libx264", "-preset", "medium", "-profile:v",
                                       "high", "-b:v", rate, "-bf", "0"});
        break;
    case Exporter::EditorVideoCodec::proRes422:
        command.insert(command.end(), {lut + ",format=yuv422p10le", "-c:v", "prores_ks", "-profile:v", "standard",
                                       "-vendor", "apl0"});
        break;
    }
    command.insert(command.end(), {"-an", (folder / movieName("tool", codec)).string()});
    return command;
}

std::string joined(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& word : words) {
        text += (text.empty() ? "" : " ") + word;
    }
    return text;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

// The export in a child process of its own next to the tool's process doing the same job,
// whole processes alternated A B A B, `pairs` times; counters are medians of the pairs' figures
// and of their ratios (ours ÷ tool).
void sideBySideProcesses(benchmark::State& state, const fs::path& folder, const std::string& clip, int width,
                         int height, int seconds, Exporter::EditorVideoCodec codec, int pairs, bool resolved = false)
{
    std::vector<std::string> ours = {selfPath(), "--export-child", folder.string(), clip, std::to_string(width),
                                     std::to_string(height), std::to_string(seconds), codecName(codec)};
    if (resolved) {
        ours.push_back("resolved");
    }
    const std::vector<std::string> tool = toolCommand(folder, clip, width, height, codec);
    std::fprintf(stderr, "peer: %s\n", joined(tool).c_str());
    std::vector<double> oursMiB, toolMiB, oursS, toolS, memoryRatio, timeRatio;
    for (auto _ : state) {
        for (int i = 0; i < pairs; ++i) {
            const std::optional<ProcessCost> a = runProcess(ours);
            const std::optional<ProcessCost> b = runProcess(tool);
            if (!a || !b) {
                state.SkipWithError(!a ? "the export failed" : "the tool failed");
                return;
            }
            oursMiB.push_back(a->peakMiB);
            toolMiB.push_back(b->peakMiB);
            oursS.push_back(a->seconds);
            toolS.push_back(b->seconds);
            memoryRatio.push_back(a->peakMiB / b->peakMiB);
            timeRatio.push_back(a->seconds / b->seconds);
        }
        state.SetIterationTime(median(oursS));
    }
    state.counters["ours_MiB"] = median(oursMiB);
    state.counters["tool_MiB"] = median(toolMiB);
    state.counters["peak_ratio"] = median(memoryRatio);
    state.counters["ours_s"] = median(oursS);
    state.counters["tool_s"] = median(toolS);
    state.counters["wall_ratio"] = median(timeRatio);
}

// The child's work: one export of `clip` in `folder` (which holds look.cube) into that folder.
int exportChild(const fs::path& folder, const std::string& clip, int width, int height, int seconds,
                Exporter::EditorVideoCodec codec, bool resolved)
{
    const fs::path target = folder / movieName("ours", codec);
    fs::remove(target);
    exportClip(folder, clip, width, height, seconds, target, codec, resolved);
    return 0;
}

// 10 s of 1080p in each codec: peak memory and wall time next to the tool's.
void BM_Export1080PeakMemory(benchmark::State& state)
{
    const auto codec = static_cast<Exporter::EditorVideoCodec>(state.range(0));
    state.SetLabel(codecName(codec));
    sideBySideProcesses(state, fixtures().folder(), "clip.mp4", 1920, 1080, kSeconds, codec, 3);
}
BENCHMARK(BM_Export1080PeakMemory)
    ->Arg(static_cast<int>(Exporter::EditorVideoCodec::proRes422))
    ->Arg(static_cast<int>(Exporter::EditorVideoCodec::hevc10))
    ->Arg(static_cast<int>(Exporter::EditorVideoCodec::h264))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

// The 1080p clip in a media folder that also holds 160,000 entries below it (empty camera-named
// files in 400 subfolders, made once per run): the export the editor hands its files to lists
// no folder, so its peak is the clean folder's whatever the folder holds. Arg 1: handed the
// file (the editor's route); 0: looking the source up by name in the folder.
const fs::path& crowdedFolder()
{
    static const fs::path folder = [] {
        const fs::path crowded = fixtures().output("crowded");
        fs::create_directories(crowded);
        fs::copy_file(fixtures().folder() / "clip.mp4", crowded / "clip.mp4", fs::copy_options::overwrite_existing);
        fs::copy_file(fixtures().folder() / "look.cube", crowded / "look.cube", fs::copy_options::overwrite_existing);
        char name[32];
        for (int card = 0; card < 400; ++card) {
            std::snprintf(name, sizeof name, "card%03d", card);
            const fs::path sub = crowded / name;
            fs::create_directories(sub);
            for (int file = 0; file < 400; ++file) {
                std::snprintf(name, sizeof name, "C%05d.MP4", card * 400 + file);
                std::ofstream(sub / name).close();
            }
        }
        return crowded;
    }();
    return folder;
}

void BM_Export1080PeakMemoryLargeFolder(benchmark::State& state)
{
    const auto codec = static_cast<Exporter::EditorVideoCodec>(state.range(0));
    const bool resolved = state.range(1) != 0;
    state.SetLabel(std::string(codecName(codec)) + (resolved ? ", files handed over" : ", looked up by name"));
    sideBySideProcesses(state, crowdedFolder(), "clip.mp4", 1920, 1080, kSeconds, codec, 3, resolved);
}
BENCHMARK(BM_Export1080PeakMemoryLargeFolder)
    ->Args({static_cast<int>(Exporter::EditorVideoCodec::proRes422), 1})
    ->Args({static_cast<int>(Exporter::EditorVideoCodec::proRes422), 0})
    ->Args({static_cast<int>(Exporter::EditorVideoCodec::hevc10), 1})
    ->Args({static_cast<int>(Exporter::EditorVideoCodec::h264), 1})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

// 4 s of 3840 x 2160 as 10-bit HEVC: peak memory next to the tool's.
void BM_Export4KPeakMemory(benchmark::State& state)
{
    const fs::path folder = fixtures().output("uhd");
    fs::create_directories(folder);
    run("ffmpeg -y -v error -f lavfi -i testsrc2=s=3840x2160:r=" + std::to_string(kFps) + ":d=" +
        std::to_string(k4kSeconds) + " -c:v libx264 -preset veryfast -crf 18 -pix_fmt yuv420p " +
        (folder / "uhd.mp4").string());
    writeLookCube(folder / "look.cube");
    sideBySideProcesses(state, folder, "uhd.mp4", 3840, 2160, k4kSeconds, Exporter::EditorVideoCodec::hevc10, 2);
}
BENCHMARK(BM_Export4KPeakMemory)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// A 4K 10-bit HEVC export asked to stop two seconds in (range(0): 0 the timeline export, 1 the
// single-clip path); the time from the request until the export has returned.
void BM_Export4KStopOnRequest(benchmark::State& state)
{
    const fs::path folder = fixtures().output("uhd-stop");
    fs::create_directories(folder);
    constexpr int kStopSeconds = 8;
    if (!fs::exists(folder / "uhd.mp4")) {
        run("ffmpeg -y -v error -f lavfi -i testsrc2=s=3840x2160:r=" + std::to_string(kFps) + ":d=" +
            std::to_string(kStopSeconds) + " -c:v libx264 -preset veryfast -crf 18 -pix_fmt yuv420p " +
            (folder / "uhd.mp4").string());
        writeLookCube(folder / "look.cube");
    }
    const EditorJobV2 job = clipJob("uhd.mp4", 3840, 2160, kStopSeconds);
    const bool singleClip = state.range(0) == 1;
    std::vector<double> stops;
    for (auto _ : state) {
        std::atomic<bool> stop = false;
        std::atomic<bool> returned = false;
        const fs::path target = folder / "stopped.mp4";
        std::thread exporter([&] {
            try {
                const auto cancelled = [&stop] { return stop.load(); };
                if (singleClip) {
                    Exporter::tryFastExportTimelineJobAsSingleFile(job, std::nullopt, folder, target, std::nullopt,
                                                                   "rec709", 1, 1, 0, 0, cancelled);
                } else {
                    Exporter::exportEditorTimeline(job, std::nullopt, folder, target, std::nullopt,
                                                   Exporter::EditorVideoCodec::hevc10, "rec709", 1, 1, 0, 0,
                                                   std::nullopt, {}, cancelled);
                }
            } catch (const std::exception&) {
                // "Export cancelled.", as expected.
            }
            returned = true;
        });
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const bool stillRunning = !returned.load();
        const auto asked = std::chrono::steady_clock::now();
        stop = true;
        exporter.join();
        const double waited = seconds(asked);
        if (!stillRunning) {
            state.SkipWithError("the export ended before it was asked to stop");
            break;
        }
        state.SetIterationTime(waited);
        stops.push_back(waited * 1000);
    }
    if (!stops.empty())
        state.counters["worst_stop_ms"] = *std::max_element(stops.begin(), stops.end());
}
BENCHMARK(BM_Export4KStopOnRequest)->Arg(0)->Arg(1)->ArgName("single_clip")->Unit(benchmark::kMillisecond)
    ->UseManualTime()->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    // --export-child FOLDER CLIP WIDTH HEIGHT SECONDS CODEC [resolved]: one export, for the
    // parent's process measurements (and for timing it from outside); "resolved" hands it the
    // clip's file as the editor does.
    if ((argc == 8 || argc == 9) && std::strcmp(argv[1], "--export-child") == 0) {
        const std::optional<Exporter::EditorVideoCodec> codec = codecNamed(argv[7]);
        if (!codec) {
            std::fprintf(stderr, "unknown codec %s (hevc10, h264, prores)\n", argv[7]);
            return 2;
        }
        return exportChild(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]), *codec,
                           argc == 9 && std::strcmp(argv[8], "resolved") == 0);
    }
    // --make-fixtures FOLDER: the 1080p clip and the look, for measuring from outside.
    if (argc == 3 && std::strcmp(argv[1], "--make-fixtures") == 0) {
        const fs::path folder = argv[2];
        fs::create_directories(folder);
        run("ffmpeg -y -v error -f lavfi -i testsrc2=s=1920x1080:r=" + std::to_string(kFps) + ":d=" +
            std::to_string(kSeconds) + " -c:v libx264 -preset fast -crf 16 -pix_fmt yuv420p " +
            (folder / "clip.mp4").string());
        writeLookCube(folder / "look.cube");
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
