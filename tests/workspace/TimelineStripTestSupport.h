#pragma once

// A strip wired to a real engine the way the Edit workspace wires it, with a record of every
// callback.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QImage>
#include <QPointF>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/ManualMainQueue.h"
#include "preview/TimelinePreviewEngine.h"
#include "support/model/SessionBuilders.h"
#include "workspace/timeline/TimelineStripView.h"

namespace velmora::test {

// Viewport point at a time, in the middle of a lane row (plus dy).
QPointF pointAt(const TimelineStripModel& model, double seconds, int row, double dy = 0);

// A strip on an engine with a manual main queue and clock and no composition builder.
struct StripHarness {
    struct TrimCall {
        std::string clipId;
        TimelinePreviewEngine::TrimEdge edge;
        double time;
    };

    explicit StripHarness(std::shared_ptr<EditSession> session, int width = 1000, int height = 200);
    ~StripHarness();

    TimelineStripView& view() const { return *view_; }
    const TimelineStripModel& model() const { return view_->model(); }
    QWidget* viewport() const;
    // The active timeline's copy of the clip.
    EditSession::Clip clipNamed(const std::string& id) const;
    QPointF at(double seconds, int row, double dy = 0) const { return pointAt(model(), seconds, row, dy); }
    // Pointer input on the viewport; a drag holds the button from `from` through each point.
    void press(QPointF point) const;
    void moveTo(QPointF point) const;
    void release(QPointF point) const;
    void click(QPointF point) const;
    void drag(QPointF from, const std::vector<QPointF>& through) const;
    // The second press of a double click, as the window system delivers it, then its release.
    void doubleClickPress(QPointF point) const;
    QImage grab() const;

    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(1000.0);
    TimelinePreviewEngine engine{TimelinePreviewEngine::Services{queue, clock, nullptr}};

    std::vector<double> seeks;
    std::vector<std::string> selections;
    std::vector<std::string> openedInSourceViewer;
    std::vector<TrimCall> trims;
    std::vector<std::pair<int, bool>> drops;
    int layoutVideoTracks = 2;
    int layoutAudioTracks = 1;

private:
    std::unique_ptr<TimelineStripView> view_;
};

} // namespace velmora::test
