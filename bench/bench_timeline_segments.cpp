// Runs of visible video over long timelines, against the plain fixed-rate scan they replace.

#include <optional>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "model/EditSession.h"

namespace {

using velmora::EditSession;

// Back-to-back video clips of 4 s on three lanes, the lanes offset against each other.
std::vector<EditSession::Clip> longTimeline(int clipCount)
{
    std::vector<EditSession::Clip> clips;
    for (int i = 0; i < clipCount; ++i) {
        EditSession::Clip clip("c" + std::to_string(i));
        clip.type = "video";
        clip.track = 1 + i % 3;
        clip.startTime = (i / 3) * 4.0 + (i % 3) * 1.3;
        clip.duration = 4.0;
        clips.push_back(clip);
    }
    return clips;
}

std::vector<EditSession::VisualTimelineSegment> plainScan(const std::vector<EditSession::Clip>& clips, double endTime)
{
    const double step = 1.0 / 120.0;
    std::vector<EditSession::VisualTimelineSegment> segments;
    std::optional<EditSession::Clip> current;
    double runStart = 0;
    for (double t = 0; t <= endTime + step; t += step) {
        std::vector<EditSession::Clip> covering;
        for (const auto& clip : clips) {
            if (clip.duration && *clip.startTime <= t && t < *clip.startTime + *clip.duration) {
                covering.push_back(clip);
            }
        }
        const auto winner = EditSession::winningVisualClip(covering);
        if ((!winner && !current) || (winner && current && winner->id == current->id)) {
            continue;
        }
        if (current && runStart + 0.000001 < t) {
            segments.push_back({*current, runStart, t});
        }
        current = winner;
        runStart = t;
    }
    if (current && runStart + 0.000001 < endTime) {
        segments.push_back({*current, runStart, endTime});
    }
    return segments;
}

void BM_FlattenVisibleVideoSegments(benchmark::State& state)
{
    const auto clips = longTimeline(static_cast<int>(state.range(0)));
    const double end = (state.range(0) / 3) * 4.0 + 8;
    for (auto _ : state) {
        benchmark::DoNotOptimize(EditSession::flattenVisibleVideoSegments(clips, end));
    }
}

void BM_PlainFixedRateScan(benchmark::State& state)
{
    const auto clips = longTimeline(static_cast<int>(state.range(0)));
    const double end = (state.range(0) / 3) * 4.0 + 8;
    for (auto _ : state) {
        benchmark::DoNotOptimize(plainScan(clips, end));
    }
}

// 90 clips is a 2-minute edit, 900 clips a 20-minute one.
BENCHMARK(BM_FlattenVisibleVideoSegments)->Arg(90)->Arg(900)->Arg(9000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainFixedRateScan)->Arg(90)->Arg(900)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
