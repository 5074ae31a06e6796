// The timeline export end to end next to FFmpeg's command-line tool, in one run: a 10-second
// 1920 x 1080 clip (generated here) graded with a 33-point LUT and written as 10-bit HEVC, by
// `Exporter::exportEditorTimeline` and by
// `ffmpeg -i clip -vf lut3d=look.cube,format=yuv420p10le -c:v libx265 …` at the same encoder
// settings. Both sides are timed from opening the clip to the finished movie, alternately, so
// both see the same machine load.
//
// BM_Export4KPeakMemory runs a 3840 x 2160 export of the same kind in a child process of its
// own and reports the child's peak resident memory.
// Results and how to read them: bench/README.md.

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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

void exportClip(const fs::path& folder, const std::string& fileName, int width, int height, int seconds,
                const fs::path& target)
{
    Exporter::exportEditorTimeline(clipJob(fileName, width, height, seconds), std::nullopt, folder, target,
                                   std::nullopt, Exporter::EditorVideoCodec::hevc10, "rec709", 1, 1, 0, 0,
                                   std::nullopt, {}, {});
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

// The child's work: the 4K export of the clip the parent made in `folder`.
int export4k(const fs::path& folder)
{
    exportClip(folder, "uhd.mp4", 3840, 2160, k4kSeconds, folder / "uhd_out.mp4");
    return 0;
}

void BM_Export4KPeakMemory(benchmark::State& state)
{
    const fs::path folder = fixtures().output("uhd");
    fs::create_directories(folder);
    run("ffmpeg -y -v error -f lavfi -i testsrc2=s=3840x2160:r=" + std::to_string(kFps) + ":d=" +
        std::to_string(k4kSeconds) + " -c:v libx264 -preset veryfast -crf 18 -pix_fmt yuv420p " +
        (folder / "uhd.mp4").string());
    writeLookCube(folder / "look.cube");
    for (auto _ : state) {
        fs::remove(folder / "uhd_out.mp4");
        char self[4096] = {};
        const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
        if (length <= 0) {
            state.SkipWithError("cannot find the benchmark executable");
            return;
        }
        std::string flag = "--export-4k-child";
        std::string where = folder.string();
        char* argv[] = {self, flag.data(), where.data(), nullptr};
        const auto start = std::chrono::steady_clock::now();
        pid_t child = 0;
        if (::posix_spawn(&child, self, nullptr, nullptr, argv, environ) != 0) {
            state.SkipWithError("cannot start the child");
            return;
        }
        int status = 0;
        struct rusage usage {};
        ::wait4(child, &status, 0, &usage);
        state.SetIterationTime(seconds(start));
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the 4K export failed");
            return;
        }
        // ru_maxrss is in kilobytes on Linux: the child's own peak.
        state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    }
}
BENCHMARK(BM_Export4KPeakMemory)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--export-4k-child") == 0) {
        return export4k(argv[2]);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
