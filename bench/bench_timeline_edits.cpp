// Edits on long timelines: a head trim that takes linked audio along, and an undo point; the
// memory a full undo history holds when every clip carries its LUT inline.

#include <malloc.h>

#include <cstdio>
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
        benchmark::DoNotOptimize(session.trimClipHead(id, to, true, nullptr));
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

// A 33-point .cube as a browser project embeds it in each clip: about 1 MB of text.
std::string inlineCubeText()
{
    constexpr int points = 33;
    std::string text = "TITLE \"Embedded\"\nLUT_3D_SIZE 33\n";
    char line[64];
    for (int b = 0; b < points; ++b) {
        for (int g = 0; g < points; ++g) {
            for (int r = 0; r < points; ++r) {
                std::snprintf(line, sizeof line, "%.6f %.6f %.6f\n", r / 32.0, g / 32.0, b / 32.0);
                text += line;
            }
        }
    }
    return text;
}

// Bytes the allocator holds for the program (glibc's count, free lists excluded).
double heapBytes()
{
    return static_cast<double>(mallinfo2().uordblks);
}

// 20 clips, each with its own inline LUT text as read from a file, and 40 edits (a clip moved
// each time), every one recorded in the undo history first: the heap the history holds.
void BM_UndoHistoryWithInlineLuts(benchmark::State& state)
{
    const std::string cube = inlineCubeText();
    double historyBytes = 0;
    for (auto _ : state) {
        EditSession session = longSession(10);
        for (EditSession::Clip& clip : session.timelines.front().clips) {
            velmora::EditorJobV2::ClipGrade grade;
            grade.hasLut = true;
            grade.lutData = std::string(cube); // a text of its own per clip, as reading gives
            clip.grade = grade;
        }
        velmora::TimelineUndoStack stack;
        const double before = heapBytes();
        for (int edit = 0; edit < 40; ++edit) {
            stack.push(*session.snapshotActiveTimeline());
            EditSession::Clip& moved = session.timelines.front().clips[static_cast<std::size_t>(edit % 20)];
            moved.startTime = *moved.startTime + 0.5;
        }
        historyBytes = heapBytes() - before;
        benchmark::DoNotOptimize(stack.undoCount());
    }
    state.counters["history_MB"] = historyBytes / 1e6;
    state.counters["lut_MB_per_clip"] = static_cast<double>(cube.size()) / 1e6;
}

// 9,000 clips (4,500 pairs) is a five-hour edit cut every four seconds.
BENCHMARK(BM_HeadTrimWithLinkedAudio)->Arg(450)->Arg(1500)->Arg(4500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoPoint)->Arg(450)->Arg(1500)->Arg(4500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoHistoryWithInlineLuts)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
