#include "workspace/timeline/TimelineStripView.h"

#include <climits>
#include <cmath>

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

#include "platform/dispatch/QtMainQueue.h"

namespace velmora {

namespace {

using Model = TimelineStripModel;

// Scroll bars count in whole points within an int.
int scrollBarValue(double points)
{
    return int(std::clamp(std::round(points), 0.0, double(INT_MAX / 2)));
}

} // namespace

TimelineStripView::TimelineStripView(TimelinePreviewEngine& engine, std::optional<EditSession::Timeline> timeline,
                                     double height, double preferredLaneHeight, int minimumVideoTracks,
                                     int minimumAudioTracks, bool simplifyLayout, Callbacks callbacks,
                                     std::vector<EditSession::Marker> markers, Services services, QWidget* parent)
    : QAbstractScrollArea(parent)
    , engine_(&engine)
    , mainQueue_(services.mainQueue ? std::move(services.mainQueue) : std::make_shared<QtMainQueue>())
    , clock_(services.clock ? std::move(services.clock) : systemClock())
    , callbacks_(std::move(callbacks))
{
    setObjectName(QStringLiteral("TimelineStripView"));
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::ClickFocus);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);

    model_.setLaneFlagsProvider([engine = engine_](const TimelineLane& lane) {
        if (!engine) {
            return Model::LaneFlags{};
        }
        return lane.isVideo()
                   ? Model::LaneFlags{engine->isVideoTrackLocked(lane.number), engine->isVideoTrackMuted(lane.number)}
                   : Model::LaneFlags{engine->isAudioTrackLocked(lane.number), engine->isAudioTrackMuted(lane.number)};
    });
    model_.setPreferredLaneHeight(preferredLaneHeight);
    model_.setMinimumTracks(minimumVideoTracks, minimumAudioTracks);
    model_.setSimplifyLayout(simplifyLayout);
    model_.setMarkers(std::move(markers));
    syncEngineState();
    model_.setTimeline(std::move(timeline));
    setStripHeight(height);
    bindEngine();
    updateScrollBars();
}

TimelineStripView::~TimelineStripView() = default;

// ---- inputs ----

void TimelineStripView::setTimeline(std::optional<EditSession::Timeline> timeline)
{
    model_.setTimeline(std::move(timeline));
    updateScrollBars();
    viewport()->update();
}

void TimelineStripView::setMarkers(std::vector<EditSession::Marker> markers)
{
    model_.setMarkers(std::move(markers));
    viewport()->update(0, 0, viewport()->width(), int(Model::rulerHeight));
}

void TimelineStripView::setStripHeight(double height)
{
    const double used = std::isfinite(height) ? std::max(height, Model::minimumViewHeight) : Model::minimumViewHeight;
    setFixedHeight(int(std::ceil(std::min(used, double(QWIDGETSIZE_MAX)))));
}

void TimelineStripView::setPreferredLaneHeight(double height)
{
    // A height that differs in its tenths of a point starts the horizontal scroll again from the
    // timeline's start.
    const auto tenths = [](double h) { return std::isfinite(h) ? std::trunc(std::clamp(h * 10, -1e15, 1e15)) : 0.0; };
    const bool rescroll = tenths(height) != tenths(model_.preferredLaneHeight());
    if (!model_.setPreferredLaneHeight(height)) {
        return;
    }
    if (gesture_.kind == Gesture::Kind::clip || gesture_.kind == Gesture::Kind::trim) {
        gesture_.kind = Gesture::Kind::ended;
    }
    updateScrollBars();
    if (rescroll) {
        applyScroll(0, std::nullopt);
    }
    viewport()->update();
}

void TimelineStripView::setMinimumTracks(int video, int audio)
{
    model_.setMinimumTracks(video, audio);
    updateScrollBars();
    viewport()->update();
}

void TimelineStripView::setSimplifyLayout(bool simplify)
{
    if (simplify != model_.simplifyLayout()) {
        model_.setSimplifyLayout(simplify);
        // The simplified scroller is another scroller: it starts at the timeline's start.
        updateScrollBars();
        applyScroll(0, std::nullopt);
        viewport()->update();
    }
}

// ---- engine ----

void TimelineStripView::bindEngine()
{
    TimelinePreviewEngine* engine = engine_.data();
    using E = TimelinePreviewEngine;
    connect(engine, &E::isPlayingChanged, this, &TimelineStripView::playheadMoved);
    connect(engine, &E::playheadSecondsChanged, this, &TimelineStripView::playheadMoved);
    connect(engine, &E::playbackMotionSecondsChanged, this, &TimelineStripView::followPlayhead);
    connect(engine, &E::durationSecondsChanged, this, &TimelineStripView::timelineLayoutChanged);
    connect(engine, &E::timelineRevisionChanged, this, &TimelineStripView::timelineLayoutChanged);
    connect(engine, &E::sessionChanged, this, &TimelineStripView::timelineLayoutChanged);
    connect(engine, &E::anotherProjectTaken, this, [this] { applyScroll(0, 0); });
    connect(engine, &E::selectedClipIdChanged, this, &TimelineStripView::selectionChanged);
    connect(engine, &E::focusClipIdChanged, this, &TimelineStripView::focusClipChanged);
    connect(engine, &E::timelineScrollRequestChanged, this, &TimelineStripView::scrollRequested);
    connect(engine, &E::trimGestureCancelled, this, &TimelineStripView::trimCancelled);
}

void TimelineStripView::syncEngineState()
{
    if (!engine_) {
        model_.setEngineState({});
        return;
    }
    model_.setEngineState({engine_->isPlaying(), engine_->playheadSeconds(), engine_->playbackMotionSeconds(),
                           engine_->durationSeconds(), engine_->selectedClipId()});
}

void TimelineStripView::timelineLayoutChanged()
{
    syncEngineState();
    updateScrollBars();
    viewport()->update();
}

void TimelineStripView::playheadMoved()
{
    // Only the old and the new playhead line need drawing again.
    const QRect before = model_.playheadRect().toAlignedRect().adjusted(-1, 0, 1, 0);
    if (engine_) {
        // Runs on every frame of playback: the rest of the engine state is not copied again.
        model_.setPlayhead(engine_->isPlaying(), engine_->playheadSeconds(), engine_->playbackMotionSeconds());
    }
    const QRect after = model_.playheadRect().toAlignedRect().adjusted(-1, 0, 1, 0);
    if (after != before) {
        viewport()->update(before);
        viewport()->update(after);
    }
}

void TimelineStripView::followPlayhead()
{
    playheadMoved();
    if (scrollLocked()) {
        return;
    }
    if (const std::optional<double> left = model_.followPlayhead(clock_->now())) {
        applyScroll(*left, std::nullopt);
    }
}

void TimelineStripView::requestPlayheadScroll(TimelineScrollAnchor anchor)
{
    syncEngineState();
    if (scrollLocked()) {
        return;
    }
    const double unitX = model_.beginPlayheadScroll(anchor);
    mainQueue_->post([self = QPointer<TimelineStripView>(this), unitX] {
        if (self && !self->scrollLocked()) {
            self->applyScroll(self->model_.scrollLeftForPlayheadTarget(unitX), std::nullopt);
        }
    });
}

void TimelineStripView::scrollRequested()
{
    if (engine_) {
        requestPlayheadScroll(engine_->timelineScrollAnchor());
    }
}

void TimelineStripView::selectionChanged()
{
    syncEngineState();
    viewport()->update();
    if (model_.engineState().selectedClipId) {
        requestPlayheadScroll(TimelineScrollAnchor::center);
    }
}

void TimelineStripView::focusClipChanged()
{
    if (!engine_ || !engine_->focusClipId()) {
        return;
    }
    const std::string clipId = *engine_->focusClipId();
    mainQueue_->post([self = QPointer<TimelineStripView>(this), clipId] {
        if (!self) {
            return;
        }
        if (!self->scrollLocked()) {
            // Only across: the clip was dropped where the pointer let go of it, in a lane in
            // view, and centring its lane would shift the lanes under the ruler.
            if (const auto position = self->model_.scrollPositionCentringClip(clipId)) {
                self->applyScroll(position->left, std::nullopt);
            }
        }
        self->mainQueue_->post([self] {
            if (self && self->engine_) {
                self->engine_->setFocusClipId(std::nullopt);
            }
        });
    });
}

void TimelineStripView::trimCancelled()
{
    if (!model_.activeTrim()) {
        return;
    }
    model_.cancelTrim();
    if (gesture_.kind == Gesture::Kind::trim) {
        // The rest of the gesture, up to the release, does nothing.
        gesture_.kind = Gesture::Kind::ended;
    }
    viewport()->update();
}

// ---- scrolling ----

void TimelineStripView::updateScrollBars()
{
    const bool wasProgrammatic = scrollingProgrammatically_;
    scrollingProgrammatically_ = true;
    // Each bar takes room from the viewport, which may call for the other: settle both, then
    // measure the viewport the lanes really get.
    for (int pass = 0; pass < 2; ++pass) {
        model_.setViewportSize(viewport()->width(), viewport()->height());
        const bool horizontal = !model_.simplifyLayout() && model_.maxScrollLeft() > 0;
        setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(model_.showsVerticalIndicator() ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    }
    model_.setViewportSize(viewport()->width(), viewport()->height());
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setRange(0, scrollBarValue(std::ceil(model_.maxScrollLeft())));
    horizontal->setPageStep(std::max(scrollBarValue(model_.viewportWidth()), 1));
    horizontal->setSingleStep(20);
    horizontal->setValue(scrollBarValue(model_.scrollLeft()));
    QScrollBar* vertical = verticalScrollBar();
    vertical->setRange(0, scrollBarValue(std::ceil(model_.maxScrollTop())));
    vertical->setPageStep(std::max(scrollBarValue(model_.laneAreaHeight()), 1));
    vertical->setSingleStep(int(model_.lanePitch()));
    vertical->setValue(scrollBarValue(model_.scrollTop()));
    scrollingProgrammatically_ = wasProgrammatic;
}

void TimelineStripView::applyScroll(double left, std::optional<double> top)
{
    model_.setScrollLeft(std::round(left));
    if (top) {
        model_.setScrollTop(std::round(*top));
    }
    updateScrollBars();
    viewport()->update();
}

void TimelineStripView::scrollContentsBy(int dx, int /*dy*/)
{
    if (scrollingProgrammatically_) {
        return;
    }
    model_.setScrollLeft(horizontalScrollBar()->value());
    model_.setScrollTop(verticalScrollBar()->value());
    if (dx != 0) {
        model_.noteUserScroll();
    }
    viewport()->update();
}

void TimelineStripView::wheelEvent(QWheelEvent* event)
{
    if (scrollLocked()) {
        event->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}

// ---- painting ----

void TimelineStripView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter_.paint(painter, model_, event->rect());
}

void TimelineStripView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

bool TimelineStripView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (const std::optional<std::string> tip = model_.toolTipAt(help->pos())) {
            QToolTip::showText(help->globalPos(), QString::fromStdString(*tip), viewport());
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

// ---- pointer and keys ----

void TimelineStripView::seekTo(double viewportX)
{
    gesture_.lastSeekX = viewportX;
    if (callbacks_.onSeek) {
        callbacks_.onSeek(model_.rulerSeekTime(viewportX));
    }
}

void TimelineStripView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    if (gesture_.kind != Gesture::Kind::none) {
        // The last gesture's release never arrived (the pointer was taken away): it ends here.
        abandonGesture();
    }
    const QPointF point = event->position();
    const Model::Hit hit = model_.hitTest(point);
    gesture_ = Gesture{};
    gesture_.pressPoint = point;
    gesture_.clipId = hit.clipId;
    gesture_.lane = hit.lane;
    gesture_.rowTrack = hit.lane ? hit.lane->number : 1;
    switch (hit.kind) {
    case Model::Hit::Kind::rulerTrack:
        gesture_.kind = Gesture::Kind::seek;
        seekTo(point.x());
        break;
    case Model::Hit::Kind::lockButton:
        gesture_.kind = Gesture::Kind::lockButton;
        break;
    case Model::Hit::Kind::muteButton:
        gesture_.kind = Gesture::Kind::muteButton;
        break;
    case Model::Hit::Kind::trimHead:
    case Model::Hit::Kind::trimTail:
        gesture_.kind = Gesture::Kind::trim;
        gesture_.edge = hit.kind == Model::Hit::Kind::trimHead ? TimelinePreviewEngine::TrimEdge::head
                                                                : TimelinePreviewEngine::TrimEdge::tail;
        // A trim starts on the press itself.
        moveGesture(point);
        break;
    case Model::Hit::Kind::clip:
        gesture_.kind = Gesture::Kind::clip;
        break;
    case Model::Hit::Kind::none:
        // Nothing to press; a release here does nothing either.
        gesture_.kind = Gesture::Kind::ended;
        break;
    }
    event->accept();
}

void TimelineStripView::abandonGesture()
{
    gesture_ = Gesture{};
    if (model_.activeTrim()) {
        if (engine_) {
            engine_->cancelTrimGesture();
        }
        trimCancelled();
    }
    if (model_.activeDrag()) {
        model_.cancelDrag();
        updateScrollBars();
    }
    viewport()->update();
}

void TimelineStripView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Double clicks are counted by the clip gesture itself; the second press is a press.
    mousePressEvent(event);
}

void TimelineStripView::moveGesture(QPointF point)
{
    const QPointF translation = point - gesture_.pressPoint;
    switch (gesture_.kind) {
    case Gesture::Kind::seek:
        seekTo(point.x());
        break;
    case Gesture::Kind::clip: {
        if (!engine_) {
            return;
        }
        const std::string clipId = gesture_.clipId;
        TimelinePreviewEngine* engine = engine_.data();
        const auto snap = [engine](double time, const std::string& id) {
            const TimelinePreviewEngine::SnappedClipStart snapped = engine->snapClipStartTime(time, id);
            return Model::SnappedStart{snapped.time, snapped.guideTime};
        };
        const std::size_t lanes = model_.buildLanes().size();
        if (model_.clipDragChanged(clipId, gesture_.rowTrack, translation, engine->isClipEditingLocked(clipId), snap)) {
            engine->setSelectedClipId(clipId);
        }
        if (model_.buildLanes().size() != lanes) {
            updateScrollBars(); // the lane the clip would land on was added or went again
        }
        if (model_.activeDrag()) {
            viewport()->update();
        }
        break;
    }
    case Gesture::Kind::trim: {
        if (!engine_) {
            return;
        }
        const std::string clipId = gesture_.clipId;
        TimelinePreviewEngine* engine = engine_.data();
        // The file's length is asked once, as the trim starts.
        const std::optional<double> sourceSeconds =
            model_.activeTrim() ? std::nullopt : engine->clipSourceSeconds(clipId);
        if (model_.trimChanged(clipId, gesture_.edge, translation.x(), engine->isClipEditingLocked(clipId),
                               sourceSeconds)) {
            engine->pauseForTrimDrag();
            engine->setSelectedClipId(clipId);
        }
        viewport()->update();
        break;
    }
    default:
        break;
    }
}

void TimelineStripView::mouseMoveEvent(QMouseEvent* event)
{
    if (gesture_.kind == Gesture::Kind::none) {
        updateHoverCursor(event->position());
        return;
    }
    moveGesture(event->position());
    event->accept();
}

void TimelineStripView::finishGesture(QPointF point)
{
    const Gesture gesture = gesture_;
    gesture_ = Gesture{};
    const QPointF translation = point - gesture.pressPoint;
    switch (gesture.kind) {
    case Gesture::Kind::seek:
        if (point.x() != gesture.lastSeekX) {
            seekTo(point.x());
        }
        break;
    case Gesture::Kind::lockButton:
    case Gesture::Kind::muteButton: {
        // A button acts when released over itself.
        const Model::Hit hit = model_.hitTest(point);
        const auto kind = gesture.kind == Gesture::Kind::lockButton ? Model::Hit::Kind::lockButton
                                                                     : Model::Hit::Kind::muteButton;
        if (hit.kind == kind && hit.lane == gesture.lane) {
            toggleLaneFlag(*gesture.lane, gesture.kind == Gesture::Kind::lockButton);
        }
        break;
    }
    case Gesture::Kind::clip: {
        const Model::ClipRelease release = model_.clipDragEnded(gesture.clipId, translation, clock_->now(),
                                                                bool(callbacks_.onOpenSourceViewer));
        updateScrollBars();
        viewport()->update();
        if (release.click && callbacks_.onSelectClip) {
            callbacks_.onSelectClip(gesture.clipId);
        }
        if (release.openSourceViewer && callbacks_.onOpenSourceViewer) {
            callbacks_.onOpenSourceViewer(gesture.clipId);
        }
        if (release.drop && engine_) {
            engine_->commitClipDrop(release.drop->clipId, release.drop->startTime, release.drop->track);
        }
        if (release.droppedOnTrack && callbacks_.onClipDroppedOnTrack) {
            callbacks_.onClipDroppedOnTrack(release.droppedOnTrack->first, release.droppedOnTrack->second);
        }
        break;
    }
    case Gesture::Kind::trim: {
        const Model::TrimRelease release = model_.trimEnded(gesture.clipId, translation.x());
        viewport()->update();
        if (release.targetTime && engine_) {
            // Where it was let go: the engine's trim snaps it by its own rule (never back across
            // where the edge started), and says why an edge that cannot go further stays.
            if (callbacks_.onTrimEdge) {
                callbacks_.onTrimEdge(gesture.clipId, gesture.edge, *release.targetTime);
            }
        } else if (release.pressWithoutMovement && engine_) {
            engine_->setStatus("Trim: drag the white edge to shorten the clip");
        }
        break;
    }
    case Gesture::Kind::none:
    case Gesture::Kind::ended:
        break;
    }
}

void TimelineStripView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || gesture_.kind == Gesture::Kind::none) {
        event->ignore();
        return;
    }
    finishGesture(event->position());
    updateHoverCursor(event->position());
    event->accept();
}

void TimelineStripView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && model_.activeTrim()) {
        if (engine_) {
            engine_->cancelTrimGesture();
        }
        // The engine announces the cancel; without an engine that knew of the trim it ends here.
        trimCancelled();
        event->accept();
        return;
    }
    // Every other key belongs to the workspace's shortcuts, not to the scroll area.
    event->ignore();
}

void TimelineStripView::toggleLaneFlag(const TimelineLane& lane, bool lock)
{
    if (!engine_) {
        return;
    }
    if (lock) {
        lane.isVideo() ? engine_->toggleVideoTrackLock(lane.number) : engine_->toggleAudioTrackLock(lane.number);
    } else {
        lane.isVideo() ? engine_->toggleVideoTrackMute(lane.number) : engine_->toggleAudioTrackMute(lane.number);
    }
    viewport()->update();
}

void TimelineStripView::updateHoverCursor(QPointF point)
{
    const Model::Hit::Kind kind = model_.hitTest(point).kind;
    if (kind == Model::Hit::Kind::trimHead || kind == Model::Hit::Kind::trimTail) {
        viewport()->setCursor(Qt::SizeHorCursor);
    } else {
        viewport()->unsetCursor();
    }
}

} // namespace velmora
