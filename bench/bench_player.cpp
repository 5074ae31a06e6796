// The player's picture pipeline next to FFmpeg's command-line decoder, on timelines cut every
// 2 s between two generated clips (1080p H.264, 4K 10-bit HEVC):
//
//   throughput  decoding and composing every frame of the timeline as fast as the video thread
//               can (the presentation thread's place taken by a loop that takes each frame as
//               it comes), side by side with `ffmpeg -i clip -f null -` over the same two files,
//               alternately, so that both see the same machine load;
//   seek        the time from an exact seek to a random time to its completion, which comes
//               once the frame is shown;
//   play        10 s of real-time playback on the null sink's steady clock, counting the
//               frames shown and dropped (run it under `taskset -c 0,1` for two cores).
//
// Usage: bench_player [throughput|seek|play|all] [1080p|4k|4k-uhd|all] [repetitions]
// Clips are made once, in bench-media/ next to the executable. Results: bench/README.md.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

extern "C" {
#include <libavutil/cpu.h>
}

#include "platform/dispatch/ManualMainQueue.h"
#include "platform/media/NullAudioSink.h"
#include "platform/media/Player.h"
#include "platform/media/internal/PlayerCore.h"
#include "platform/media/internal/VideoProducer.h"

namespace {

using namespace velmora;
namespace fs = std::filesystem;
using Seconds = std::chrono::duration<double>;

constexpr int kFps = 30;
constexpr double kCut = 2.0;

struct Timeline {
    std::string name;
    int width = 0;  // of the clips
    int height = 0;
    int seconds = 0; // of each clip
    int renderWidth = 0;
    int renderHeight = 0;
    std::string encode; // ffmpeg arguments from the filter on
    std::vector<fs::path> clips;
};

double now()
{
    return Seconds(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void run(const std::string& command)
{
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

// Processor time (user and system, every thread) of this process or of its finished children.
double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[std::min(values.size() - 1, static_cast<std::size_t>(p * values.size()))];
}

fs::path mediaFolder()
{
    char self[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    const fs::path folder = (n > 0 ? fs::path(std::string(self, n)).parent_path() : fs::current_path()) / "bench-media";
    fs::create_directories(folder);
    return folder;
}

Timeline timeline(const std::string& name)
{
    Timeline t;
    t.name = name;
    std::string stem;
    if (name == "1080p") {
        t.width = 1920;
        t.height = 1080;
        t.seconds = 20;
        t.renderWidth = 1920;
        t.renderHeight = 1080;
        t.encode = "format=yuv420p\" -c:v libx264 -preset veryfast -g 30 -b:v 25M";
        stem = "h264-1080p";
    } else {
        t.width = 3840;
        t.height = 2160;
        t.seconds = 10;
        t.renderWidth = name == "4k-uhd" ? 3840 : 1920;
        t.renderHeight = name == "4k-uhd" ? 2160 : 1080;
        t.encode = "format=yuv420p10le\" -c:v libx265 -preset ultrafast -x265-params keyint=30:log-level=error "
                   "-b:v 60M -tag:v hvc1";
        stem = "hevc10-4k";
    }
    for (int i = 0; i < 2; ++i) {
        const fs::path clip = mediaFolder() / (stem + "-" + std::to_string(i) + ".mp4");
        if (!fs::exists(clip)) {
            std::fprintf(stderr, "making %s…\n", clip.c_str());
            const fs::path partial = clip.string() + ".part.mp4";
            run("ffmpeg -y -hide_banner -loglevel error -nostdin -f lavfi -i testsrc2=s=" + std::to_string(t.width) +
                "x" + std::to_string(t.height) + ":r=" + std::to_string(kFps) + ":d=" + std::to_string(t.seconds) +
                " -vf \"hue=h=" + std::to_string(120 * i) + ",noise=alls=10:allf=t:all_seed=" + std::to_string(7 + i) +
                "," + t.encode + " -an '" + partial.string() + "'");
            fs::rename(partial, clip);
        }
        t.clips.push_back(clip);
    }
    return t;
}

MediaTime sec(double seconds)
{
    return MediaTime::fromSeconds(seconds, 600);
}

// The clips in turns of 2 s, each turn going on where that clip stopped, so every frame of both
// clips plays once: the frames `ffmpeg -i clip` decodes.
std::shared_ptr<PlayerItem> timelineItem(const Timeline& t)
{
    Composition composition;
    CompositionTrack* track = composition.addMutableTrack(MediaType::video);
    MediaTime at = MediaTime::zero();
    for (double from = 0; from < t.seconds; from += kCut) {
        for (const fs::path& clip : t.clips) {
            track->insertTimeRange(MediaTimeRange(sec(from), sec(kCut)), CompositionSourceTrack{SharedPath(clip), 0, MediaType::video}, at);
            at = at + sec(kCut);
        }
    }
    VideoComposition video;
    video.renderWidth = t.renderWidth;
    video.renderHeight = t.renderHeight;
    video.frameDuration = MediaTime(1, kFps);
    const double scale = double(t.renderWidth) / t.width;
    video.instructions.push_back(
        {MediaTimeRange(MediaTime::zero(), composition.duration()), {{track->trackID(), AffineTransform::scale(scale, scale)}}});
    return PlayerItem::make(std::move(composition), std::nullopt, std::move(video));
}

struct Rate {
    double fps = 0;
    double cpuMsPerFrame = 0;
};

// Every frame through the video thread, taken as soon as it is queued.
Rate pipelineRate(const Timeline& t, std::int64_t* framesOut)
{
    const std::shared_ptr<PlayerItem> item = timelineItem(t);
    auto core = std::make_shared<internal::PlayerCore>(std::make_shared<ManualMainQueue>(),
                                                       std::make_shared<NullAudioSink>(systemClock()));
    internal::VideoProducer producer(*core);
    {
        std::lock_guard lock(core->mutex);
        core->item = item;
        core->restartLocked(MediaTime::zero());
    }
    const double start = now();
    const double cpuStart = cpuSeconds(RUSAGE_SELF);
    std::thread thread([&] { producer.run(); });
    std::int64_t frames = 0;
    {
        std::unique_lock lock(core->mutex);
        for (;;) {
            core->changed.wait(lock, [&] { return !core->frames.empty() || core->videoEnded; });
            while (!core->frames.empty()) {
                core->anchorTime = core->frames.front().time; // the playhead moves with the frames taken
                core->queuedBytes -= core->frames.front().bytes;
                core->frames.pop_front();
                ++frames;
            }
            core->changed.notify_all();
            if (core->videoEnded && core->frames.empty()) {
                break;
            }
        }
    }
    const double elapsed = now() - start;
    const double cpu = cpuSeconds(RUSAGE_SELF) - cpuStart;
    {
        std::lock_guard lock(core->mutex);
        core->stopping = true;
        core->stopRequested = true;
    }
    core->changed.notify_all();
    thread.join();
    if (item->error()) {
        std::fprintf(stderr, "item failed: %s\n", item->error()->fullDescription().c_str());
    }
    *framesOut = frames;
    return {frames / elapsed, cpu * 1000 / frames};
}

Rate ffmpegRate(const Timeline& t)
{
    const double start = now();
    const double cpuStart = cpuSeconds(RUSAGE_CHILDREN);
    for (const fs::path& clip : t.clips) {
        run("ffmpeg -hide_banner -loglevel error -nostdin -i '" + clip.string() + "' -f null -");
    }
    const double frames = 2.0 * t.seconds * kFps;
    return {frames / (now() - start), (cpuSeconds(RUSAGE_CHILDREN) - cpuStart) * 1000 / frames};
}

void throughput(const Timeline& t, int repetitions)
{
    std::vector<double> ours;
    std::vector<double> theirs;
    std::vector<double> ratios;
    std::vector<double> ourCpu;
    std::vector<double> theirCpu;
    std::int64_t frames = 0;
    for (int r = 0; r < repetitions; ++r) {
        const Rate pipeline = pipelineRate(t, &frames);
        const Rate ffmpeg = ffmpegRate(t);
        ours.push_back(pipeline.fps);
        theirs.push_back(ffmpeg.fps);
        ratios.push_back(ffmpeg.fps / pipeline.fps);
        ourCpu.push_back(pipeline.cpuMsPerFrame);
        theirCpu.push_back(ffmpeg.cpuMsPerFrame);
        std::printf("  %s run %d: pipeline %.1f fps %.1f cpu-ms/frame (%lld frames), ffmpeg %.1f fps %.1f cpu-ms/frame\n",
                    t.name.c_str(), r + 1, pipeline.fps, pipeline.cpuMsPerFrame, static_cast<long long>(frames),
                    ffmpeg.fps, ffmpeg.cpuMsPerFrame);
        std::fflush(stdout);
    }
    std::printf("%s throughput (render %dx%d), medians: pipeline %.1f fps %.1f cpu-ms/frame, ffmpeg %.1f fps %.1f "
                "cpu-ms/frame; median of the runs' time ratios pipeline/ffmpeg %.2f\n",
                t.name.c_str(), t.renderWidth, t.renderHeight, median(ours), median(ourCpu), median(theirs),
                median(theirCpu), median(ratios));
}

struct Playing {
    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    Player player{queue, std::make_shared<NullAudioSink>(systemClock())};
};

// The clip and source time that timeline time `frame` (in frames) shows.
std::pair<fs::path, double> sourceOf(const Timeline& t, int frame)
{
    const int perCut = static_cast<int>(kCut * kFps);
    const int cut = frame / perCut;
    const int clip = cut % static_cast<int>(t.clips.size());
    const int turn = cut / static_cast<int>(t.clips.size());
    return {t.clips[clip], (turn * perCut + frame % perCut) / double(kFps)};
}

void seekLatency(const Timeline& t, int count)
{
    Playing p;
    const std::shared_ptr<PlayerItem> item = timelineItem(t);
    p.player.replaceCurrentItem(item);
    p.queue->runUntil([&] { return p.player.videoOutput()->latestFrame().has_value(); }, 60);
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> frames(0, static_cast<int>(item->duration().seconds() * kFps) - 1);
    std::vector<double> ours;
    std::vector<double> theirs;
    for (int i = 0; i < count; ++i) {
        const int frame = frames(random);
        bool done = false;
        const double start = now();
        p.player.seek(MediaTime(frame, kFps), [&](bool) { done = true; });
        p.queue->runUntil([&] { return done; }, 60);
        ours.push_back((now() - start) * 1000);
        // The same frame by FFmpeg's tool: an accurate seek (to the key frame before, then
        // decoding up to the time) and one frame decoded, process start included.
        const auto [clip, seconds] = sourceOf(t, frame);
        const double began = now();
        run("ffmpeg -hide_banner -loglevel error -nostdin -ss " + std::to_string(seconds) + " -i '" + clip.string() +
            "' -frames:v 1 -f null -");
        theirs.push_back((now() - began) * 1000);
    }
    std::printf("%s exact seek to a random frame until it is shown: median %.0f ms, 90th percentile %.0f ms, worst "
                "%.0f ms (%d seeks); ffmpeg -ss … -frames:v 1 on the same frames: median %.0f ms, 90th percentile "
                "%.0f ms\n",
                t.name.c_str(), median(ours), percentile(ours, 0.9), *std::max_element(ours.begin(), ours.end()), count,
                median(theirs), percentile(theirs, 0.9));
}

void play(const Timeline& t)
{
    Playing p;
    p.player.replaceCurrentItem(timelineItem(t));
    p.queue->runUntil([&] { return p.player.videoOutput()->latestFrame().has_value(); }, 60);
    p.queue->runUntil([] { return false; }, 1.0); // let the video thread fill its queue, as after any seek
    p.player.play();
    p.queue->runUntil([&] { return p.player.timeControlStatus() == Player::TimeControlStatus::playing; }, 60);
    p.queue->runUntil([] { return false; }, 10.0);
    p.player.pause();
    const Player::Statistics s = p.player.statistics();
    std::printf("%s 10 s real-time play: %lld frames shown, %lld dropped, reached %.2f s\n", t.name.c_str(),
                static_cast<long long>(s.framesDisplayed), static_cast<long long>(s.framesDropped),
                p.player.currentTime().seconds());
}

std::string cpuModel()
{
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("model name", 0) == 0) {
            return line.substr(line.find(':') + 2);
        }
    }
    return "unknown";
}

} // namespace

int main(int argc, char** argv)
{
    const std::string what = argc > 1 ? argv[1] : "all";
    const std::string which = argc > 2 ? argv[2] : "all";
    const int repetitions = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    std::vector<std::string> names;
    for (const char* name : {"1080p", "4k", "4k-uhd"}) {
        if (which == "all" || which == name) {
            names.push_back(name);
        }
    }
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("CPU: %s, %ld cores online, %u usable by this process; load average %.1f\n", cpuModel().c_str(),
                sysconf(_SC_NPROCESSORS_ONLN), static_cast<unsigned>(av_cpu_count()), load[0]);
    for (const std::string& name : names) {
        const Timeline t = timeline(name);
        if (what == "all" || what == "throughput") {
            throughput(t, repetitions);
        }
        if (what == "all" || what == "seek") {
            seekLatency(t, 20);
        }
        if (what == "all" || what == "play") {
            play(t);
        }
    }
    return 0;
}
