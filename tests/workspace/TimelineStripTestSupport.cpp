#include "TimelineStripTestSupport.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <gtest/gtest.h>
#include <QTest>

namespace velmora::test {

QPointF pointAt(const TimelineStripModel& model, double seconds, int row, double dy)
{
    return {model.viewportX(model.xForTime(seconds)), model.viewportRowTop(row) + model.laneH() / 2 + dy};
}

StripHarness::StripHarness(std::shared_ptr<EditSession> session, int width, int height)
{
    engine.adoptSession(std::move(session), std::nullopt, std::nullopt, true);
    queue->runUntilIdle();

    TimelineStripView::Callbacks callbacks;
    callbacks.onSeek = [this](double seconds) {
        seeks.push_back(seconds);
        engine.scrub(seconds);
    };
    callbacks.onSelectClip = [this](const std::string& id) {
        selections.push_back(id);
        engine.selectClip(id, false);
    };
    callbacks.onMoveClip = [this](const std::string& id, double start, std::optional<int> track, bool commit) {
        engine.moveClipOnTimeline(id, start, track, commit, true);
    };
    callbacks.onTrimEdge = [this](const std::string& id, TimelinePreviewEngine::TrimEdge edge, double time) {
        trims.push_back({id, edge, time});
        engine.trimEdgeOnTimeline(id, edge, time);
    };
    callbacks.onClipDroppedOnTrack = [this](int lane, bool isVisual) {
        drops.emplace_back(lane, isVisual);
        int& count = isVisual ? layoutVideoTracks : layoutAudioTracks;
        count = TimelineStripModel::layoutTrackCountAfterDrop(lane, isVisual, count);
        view_->setMinimumTracks(layoutVideoTracks, layoutAudioTracks);
    };
    callbacks.onOpenSourceViewer = [this](const std::string& id) { openedInSourceViewer.push_back(id); };

    view_ = std::make_unique<TimelineStripView>(engine, engine.session()->activeTimeline(), height, 44,
                                                layoutVideoTracks, layoutAudioTracks, false, std::move(callbacks),
                                                engine.activeMarkers(),
                                                TimelineStripView::Services{queue, clock});
    // The workspace hands the active timeline in again whenever the engine publishes it.
    const auto republish = [this] {
        view_->setTimeline(engine.session() ? engine.session()->activeTimeline() : std::nullopt);
        view_->setMarkers(engine.activeMarkers());
    };
    QObject::connect(&engine, &TimelinePreviewEngine::sessionChanged, view_.get(), republish);
    QObject::connect(&engine, &TimelinePreviewEngine::timelineRevisionChanged, view_.get(), republish);
    view_->resize(width, height);
    view_->show();
    QApplication::processEvents();
}

StripHarness::~StripHarness() = default;

QWidget* StripHarness::viewport() const
{
    return view_->viewport();
}

EditSession::Clip StripHarness::clipNamed(const std::string& id) const
{
    const auto location = engine.session()->clipLocation(id);
    EXPECT_TRUE(location.has_value()) << id;
    return engine.session()->timelines[location->timelineIndex].clips[location->clipIndex];
}

void StripHarness::press(QPointF point) const
{
    QTest::mousePress(viewport(), Qt::LeftButton, Qt::NoModifier, point.toPoint());
}

void StripHarness::moveTo(QPointF point) const
{
    QTest::mouseMove(viewport(), point.toPoint());
}

void StripHarness::release(QPointF point) const
{
    QTest::mouseRelease(viewport(), Qt::LeftButton, Qt::NoModifier, point.toPoint());
}

void StripHarness::click(QPointF point) const
{
    press(point);
    release(point);
}

void StripHarness::drag(QPointF from, const std::vector<QPointF>& through) const
{
    press(from);
    for (const QPointF& point : through) {
        moveTo(point);
    }
    release(through.empty() ? from : through.back());
}

void StripHarness::doubleClickPress(QPointF point) const
{
    QMouseEvent press(QEvent::MouseButtonDblClick, point, viewport()->mapToGlobal(point), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport(), &press);
    release(point);
}

QImage StripHarness::grab() const
{
    return view_->grab().toImage();
}

} // namespace velmora::test
