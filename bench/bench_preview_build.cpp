// The preview composition of long timelines: PreviewPlayerItem::makePlayerItem, the work of
// every rebuild between an edit and the new player (it runs on the build queue, never on the
// main thread).
//
// Media: three 160 × 96 clips of 60 s with sound, made by the ffmpeg tool in a temporary folder.
// Timelines: back-to-back clips of 4 s on three lanes offset against each other (so flattening
// cuts every clip), cycling through the three files; with and without an audio clip per video
// clip.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "model/EditSession.h"
#include "platform/media/PlayerItem.h"
#include "preview/PreviewPlayerItem.h"

namespace {

namespace fs = std::filesystem;
using velmora::EditSession;

const fs::path& mediaFolder()
{
    static const fs::path folder = [] {
        const fs::path made = fs::temp_directory_path() / ("velmora-bench-preview-" + std::to_string(::getpid()));
        fs::create_directories(made);
        for (int i = 0; i < 3; ++i) {
            const std::string command =
                "ffmpeg -y -hide_banner -loglevel error -nostdin -f lavfi -i testsrc2=s=160x96:r=30:d=60 -f lavfi -i "
                "sine=f=440:d=60 -c:v libx264 -preset ultrafast -c:a aac '" +
                (made / ("clip" + std::to_string(i) + ".mp4")).string() + "'";
            if (std::system(command.c_str()) != 0) {
                std::fprintf(stderr, "failed: %s\n", command.c_str());
                std::exit(1);
            }
        }
        std::atexit([] { fs::remove_all(fs::temp_directory_path() / ("velmora-bench-preview-" + std::to_string(::getpid()))); });
        return made;
    }();
    return folder;
}

std::shared_ptr<EditSession> longTimeline(int clipCount, bool audioClips)
{
    auto session = std::make_shared<EditSession>();
    EditSession::Project project;
    project.width = 1920;
    project.height = 1080;
    project.fps = 30;
    project.activeTimelineId = "tl";
    session->project = project;
    for (int i = 0; i < 3; ++i) {
        session->sources.push_back({"s" + std::to_string(i), "clip" + std::to_string(i) + ".mp4"});
    }
    EditSession::Timeline timeline;
    timeline.id = "tl";
    for (int i = 0; i < clipCount; ++i) {
        EditSession::Clip clip("c" + std::to_string(i));
        clip.type = "video";
        clip.sourceId = "s" + std::to_string(i % 3);
        clip.track = 1 + i % 3;
        clip.startTime = (i / 3) * 4.0 + (i % 3) * 1.3;
        clip.duration = 4.0;
        clip.inPoint = (i % 10) * 5.0;
        timeline.clips.push_back(clip);
        if (audioClips) {
            EditSession::Clip sound = clip;
            sound.id = "a" + std::to_string(i);
            sound.type = "audio";
            sound.fadeIn = 0.5;
            timeline.clips.push_back(sound);
        }
    }
    session->timelines.push_back(std::move(timeline));
    session->normalizeAllClipTiming();
    return session;
}

void BM_MakePlayerItem(benchmark::State& state)
{
    const auto session = longTimeline(static_cast<int>(state.range(0)), state.range(1) != 0);
    const fs::path& folder = mediaFolder();
    for (auto _ : state) {
        benchmark::DoNotOptimize(velmora::PreviewPlayerItem::makePlayerItem(*session, folder, 600, false, nullptr));
    }
}

// The growth from `small` to `large` clips measured side by side: each iteration builds both
// timelines once; `ratio` is the large build's time over the small one's, which stays at or
// below large ÷ small while a build is linear in the clips.
void growth(benchmark::State& state, int smallCount, int largeCount)
{
    const auto small = longTimeline(smallCount, false);
    const auto large = longTimeline(largeCount, false);
    const fs::path& folder = mediaFolder();
    using Clock = std::chrono::steady_clock;
    Clock::duration smallTotal{};
    Clock::duration largeTotal{};
    for (auto _ : state) {
        const auto start = Clock::now();
        benchmark::DoNotOptimize(velmora::PreviewPlayerItem::makePlayerItem(*small, folder, 600, false, nullptr));
        const auto middle = Clock::now();
        benchmark::DoNotOptimize(velmora::PreviewPlayerItem::makePlayerItem(*large, folder, 600, false, nullptr));
        const auto end = Clock::now();
        smallTotal += middle - start;
        largeTotal += end - middle;
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    const auto ms = [&](Clock::duration total) {
        return std::chrono::duration<double, std::milli>(total).count() / static_cast<double>(state.iterations());
    };
    state.counters["ms_" + std::to_string(smallCount)] = ms(smallTotal);
    state.counters["ms_" + std::to_string(largeCount)] = ms(largeTotal);
    state.counters["ratio"] = ms(largeTotal) / ms(smallTotal);
}

// × 3.33
void BM_Growth900To3000(benchmark::State& state)
{
    growth(state, 900, 3000);
}
BENCHMARK(BM_Growth900To3000)->UseManualTime()->Unit(benchmark::kMillisecond);

// × 6.67
void BM_Growth3000To20000(benchmark::State& state)
{
    growth(state, 3000, 20000);
}
BENCHMARK(BM_Growth3000To20000)->UseManualTime()->Unit(benchmark::kMillisecond);

// 90 clips is a 2-minute edit, 900 clips a 20-minute one, 20,000 clips seven and a half hours;
// the second argument adds an audio clip under every video clip.
BENCHMARK(BM_MakePlayerItem)
    ->Args({90, 0})
    ->Args({900, 0})
    ->Args({3000, 0})
    ->Args({20000, 0})
    ->Args({900, 1})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
