// Edits on long timelines: a head trim that takes linked audio along, and an undo point.

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "editing/TimelineSnapshot.h"
#include "editing/TimelineUndoStack.h"
#include "model/EditSession.h"

namespace {

using velmora::EditSession;

// `pairs` video clips of 4 s back to back on lane 1 cut from one long recording, each with its
// sound on audio lane 1 in the same group: what splitting a long take leaves behind.
EditSession longSession(int pairs)
{
    EditSession session;
    EditSession::Timeline timeline;
    timeline.id = "t1";
    for (int i = 0; i < pairs; ++i) {
        EditSession::Clip video("v" + std::to_string(i));
        video.type = "video";
        video.name = "Take.mov";
        video.sourceId = "s1";
        video.track = 1;
        video.groupId = "g" + std::to_string(i);
        video.startTime = i * 4.0;
        video.duration = 4.0;
        video.inPoint = i * 4.0;
        EditSession::Clip audio = video;
        audio.id = "a" + std::to_string(i);
        audio.type = "audio";
        audio.name = "Take.mov (Audio)";
        timeline.clips.push_back(video);
        timeline.clips.push_back(audio);
    }
    session.timelines.push_back(timeline);
    session.project = EditSession::Project();
    session.project->activeTimelineId = "t1";
    return session;
}

// A head trim of a clip in the middle, taking its sound along, on a fresh copy each time.
void BM_HeadTrimWithLinkedAudio(benchmark::State& state)
{
    const int pairs = static_cast<int>(state.range(0));
    const EditSession original = longSession(pairs);
    const std::string id = "v" + std::to_string(pairs / 2);
    const double to = (pairs / 2) * 4.0 + 1.0;
    for (auto _ : state) {
        state.PauseTiming();
        EditSession session = original;
        state.ResumeTiming();
        benchmark::DoNotOptimize(session.trimClipHead(id, to, true, std::nullopt));
        state.PauseTiming();
        session = EditSession();
        state.ResumeTiming();
    }
}

// The undo point every edit takes first: a snapshot of the timeline pushed on a full history.
void BM_UndoPoint(benchmark::State& state)
{
    const EditSession session = longSession(static_cast<int>(state.range(0)));
    velmora::TimelineUndoStack stack;
    for (int i = 0; i < 40; ++i) {
        stack.push(*session.snapshotActiveTimeline());
    }
    for (auto _ : state) {
        stack.push(*session.snapshotActiveTimeline());
    }
}

// 9,000 clips (4,500 pairs) is a five-hour edit cut every four seconds.
BENCHMARK(BM_HeadTrimWithLinkedAudio)->Arg(450)->Arg(1500)->Arg(4500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoPoint)->Arg(450)->Arg(1500)->Arg(4500)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
