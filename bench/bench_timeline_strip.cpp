// Painting the timeline lanes offscreen at 1920 × 400, and one frame of a clip drag (model update
// through the engine's snapping, then the repaint).

#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <benchmark/benchmark.h>

#include "QtBenchmarkMain.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/ManualMainQueue.h"
#include "preview/TimelinePreviewEngine.h"
#include "workspace/timeline/TimelineStripView.h"

namespace {

using velmora::EditSession;
using velmora::TimelinePreviewEngine;
using velmora::TimelineStripView;

constexpr int kWidth = 1920;
constexpr int kHeight = 400;

// Back-to-back clips of 2 to 6 s, named like camera files, dealt over V1, V2 and A1.
std::shared_ptr<EditSession> sessionWithClips(int clipCount, double pps)
{
    auto session = std::make_shared<EditSession>();
    EditSession::Project project;
    project.fps = 30;
    project.activeTimelineId = "tl";
    session->project = project;
    EditSession::Timeline timeline;
    timeline.id = "tl";
    timeline.pixelsPerSecond = pps;
    double laneEnd[3] = {0, 0, 0};
    for (int i = 0; i < clipCount; ++i) {
        const int lane = i % 3;
        EditSession::Clip clip("c" + std::to_string(i));
        clip.type = lane == 2 ? "audio" : "video";
        clip.name = "DJI_" + std::to_string(10000 + i) + (lane == 2 ? ".wav" : ".MP4");
        clip.track = lane == 2 ? 1 : lane + 1;
        clip.duration = 2.0 + (i * 7919 % 400) / 100.0;
        clip.startTime = laneEnd[lane];
        clip.inPoint = 0.0;
        laneEnd[lane] += *clip.duration;
        timeline.clips.push_back(std::move(clip));
    }
    session->timelines.push_back(std::move(timeline));
    session->normalizeAllClipTiming();
    return session;
}

// An engine and a strip showing the middle of the timeline.
struct Strip {
    Strip(int clipCount, double pps)
    {
        engine.adoptSession(sessionWithClips(clipCount, pps), std::nullopt, std::nullopt, true);
        queue->runUntilIdle();
        view = std::make_unique<TimelineStripView>(engine, engine.session()->activeTimeline(), kHeight, 44, 2, 1, false,
                                                   TimelineStripView::Callbacks{}, engine.activeMarkers(),
                                                   TimelineStripView::Services{queue, clock});
        view->resize(kWidth, kHeight);
        view->show();
        QApplication::processEvents();
        QScrollBar* bar = view->horizontalScrollBar();
        bar->setValue((bar->minimum() + bar->maximum()) / 2);
        image = QImage(view->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    }

    void paint()
    {
        view->viewport()->render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }

    // Blocks drawn by one paint of the whole viewport.
    int visibleBlocks() const
    {
        const velmora::TimelineStripModel& model = view->model();
        std::vector<velmora::TimelineStripModel::Block> blocks;
        int count = 0;
        const auto [first, last] = model.visibleRows(0, model.viewportHeight());
        for (int row = first; row < last; ++row) {
            model.blocksInRow(row, 0, model.viewportWidth(), blocks);
            count += int(blocks.size());
        }
        return count;
    }

    void sendMouse(QEvent::Type type, QPointF point, Qt::MouseButtons buttons)
    {
        QMouseEvent event(type, point, view->viewport()->mapToGlobal(point), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &event);
    }

    std::shared_ptr<velmora::ManualMainQueue> queue = std::make_shared<velmora::ManualMainQueue>();
    std::shared_ptr<velmora::ManualClock> clock = std::make_shared<velmora::ManualClock>(0.0);
    TimelinePreviewEngine engine{TimelinePreviewEngine::Services{queue, clock, nullptr}};
    std::unique_ptr<TimelineStripView> view;
    QImage image;
};

// range(0): clips; range(1): pixels per second.
void BM_PaintStrip(benchmark::State& state)
{
    Strip strip(int(state.range(0)), double(state.range(1)));
    for (auto _ : state) {
        strip.paint();
    }
    state.counters["visible_blocks"] = strip.visibleBlocks();
}
BENCHMARK(BM_PaintStrip)
    ->ArgsProduct({{100, 1000, 10000}, {1, 20, 100}})
    ->ArgNames({"clips", "pps"})
    ->Unit(benchmark::kMillisecond);

// One pointer move of a clip drag: the model's drag update (lock check, snapping over every clip
// edge in the engine) and the repaint of the strip.
void BM_DragMoveFrame(benchmark::State& state)
{
    Strip strip(int(state.range(0)), 20);
    const velmora::TimelineStripModel& model = strip.view->model();
    // Press in the middle of the V1 row at the middle of the viewport, which holds a clip.
    const QPointF press(model.viewportWidth() / 2, model.viewportRowTop(0) + model.laneH() / 2);
    strip.sendMouse(QEvent::MouseButtonPress, press, Qt::LeftButton);
    int step = 0;
    for (auto _ : state) {
        step = (step + 1) % 200;
        strip.sendMouse(QEvent::MouseMove, press + QPointF(10 + step, step % 60), Qt::LeftButton);
        strip.paint();
    }
    if (!model.activeDrag()) {
        state.SkipWithError("no drag under way");
    }
    strip.sendMouse(QEvent::MouseButtonRelease, press, Qt::NoButton);
    state.counters["visible_blocks"] = strip.visibleBlocks();
}
BENCHMARK(BM_DragMoveFrame)->Arg(100)->Arg(1000)->Arg(10000)->ArgName("clips")->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runQtBenchmarks(argc, argv);
}
