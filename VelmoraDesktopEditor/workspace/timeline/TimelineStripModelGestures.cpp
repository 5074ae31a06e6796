// Clip drags, edge trims and scrolling of the timeline lanes. Nothing here edits the model: a
// gesture's end tells the view what to commit, once, through the engine.

#include "workspace/timeline/TimelineStripModel.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/FiniteNumbers.h"

namespace velmora {

namespace {

bool isClickDistance(QPointF translation)
{
    return std::hypot(translation.x(), translation.y()) <= TimelineStripModel::dragStartDistance;
}

} // namespace

// ---- clip gesture ----

bool TimelineStripModel::clipDragChanged(const std::string& clipId, int rowTrack, QPointF translation,
                                         bool editingLocked, const ClipStartSnapper& snap)
{
    if (editingLocked) {
        return false;
    }
    bool started = false;
    if (!activeDrag_) {
        const std::optional<std::size_t> clipIndex = index_.clipIndexOf(clipId);
        if (activeTrim_ || isClickDistance(translation) || !clipIndex) {
            return false;
        }
        const EditSession::Clip& clip = clipAt(*clipIndex);
        const bool isVideo = index_.isVisual(*clipIndex);
        ActiveDrag drag;
        drag.clipId = clipId;
        drag.originStart = index_.timing(*clipIndex).start;
        drag.originTrack = clip.track.value_or(rowTrack);
        drag.isVideo = isVideo;
        drag.duration = index_.timing(*clipIndex).duration;
        drag.color = laneColor(TimelineLane({}, isVideo ? TimelineLane::Kind::video : TimelineLane::Kind::audio,
                                            rowTrack, {}));
        drag.title = clipTitle(clip);
        drag.previewTrack = drag.originTrack;
        drag.previewStart = drag.originStart;
        activeDrag_ = std::move(drag);
        started = true;
    }
    if (activeDrag_->clipId != clipId) {
        return started;
    }
    ActiveDrag& drag = *activeDrag_;
    const double tx = translation.x();
    const double ty = translation.y();
    const double pitch = std::max(lanePitch(), 1.0);
    drag.translation = translation;
    if (std::abs(ty) < pitch / 2 || std::abs(ty) * verticalDominance < std::abs(tx)) {
        // The pointer's distance is taken in seconds at max(pps, 1) points per second, like
        // every other distance of the strip, so the clip does not jump when the drag starts.
        const double candidate = std::max(drag.originStart + secondsForDistance(tx), 0.0);
        const SnappedStart snapped = snap ? snap(candidate, clipId) : SnappedStart{candidate, std::nullopt};
        drag.previewStart = snapped.time;
        drag.snapGuideTime = snapped.guideTime;
    } else {
        // A mainly vertical drag changes the lane and keeps the time.
        drag.previewStart = drag.originStart;
        drag.snapGuideTime.reset();
    }
    const int previousTrack = drag.previewTrack;
    if (std::abs(ty) >= pitch / 2) {
        const double lanes = std::round(ty / pitch);
        drag.previewTrack = int(std::clamp(drag.originTrack + lanes, 1.0, double(TimelineClipIndex::maximumLaneNumber)));
    } else {
        drag.previewTrack = drag.originTrack;
    }
    if (started || drag.previewTrack != previousTrack) {
        refreshLanes();
    }
    return started;
}

TimelineStripModel::ClipRelease TimelineStripModel::clipDragEnded(const std::string& clipId, QPointF translation,
                                                                  double now, bool canOpenSourceViewer)
{
    ClipRelease release;
    if (isClickDistance(translation)) {
        release.click = true;
        const std::optional<std::size_t> clipIndex = index_.clipIndexOf(clipId);
        if (clipIndex && index_.isVisual(*clipIndex) && canOpenSourceViewer) {
            if (lastClipTap_ && lastClipTap_->id == clipId && now - lastClipTap_->at < doubleClickWindow) {
                release.openSourceViewer = true;
                lastClipTap_.reset();
            } else {
                lastClipTap_ = ClipTap{clipId, now};
            }
        }
    } else if (activeDrag_ && activeDrag_->clipId == clipId) {
        const ActiveDrag& drag = *activeDrag_;
        release.drop = ClipRelease::Drop{clipId, drag.previewStart, drag.previewTrack};
        if (drag.previewTrack != drag.originTrack) {
            release.droppedOnTrack = std::make_pair(drag.previewTrack, drag.isVideo);
        }
    }
    cancelDrag();
    return release;
}

void TimelineStripModel::cancelDrag()
{
    if (activeDrag_) {
        activeDrag_.reset();
        refreshLanes();
    }
}

// ---- trim gesture ----

bool TimelineStripModel::trimChanged(const std::string& clipId, TrimEdge edge, double tx, bool editingLocked,
                                     std::optional<double> sourceSeconds)
{
    const std::optional<std::size_t> clipIndex = index_.clipIndexOf(clipId);
    if (editingLocked || !clipIndex) {
        return false;
    }
    bool started = false;
    if (!activeTrim_) {
        const TimelineClipIndex::Entry& timing = index_.timing(*clipIndex);
        activeTrim_ = ActiveTrim{clipId, edge, timing.start, timing.duration, 0, sourceSeconds};
        started = true;
    }
    ActiveTrim& trim = *activeTrim_;
    if (trim.clipId != clipId || trim.edge != edge) {
        return started;
    }
    const double d = secondsForDistance(tx);
    // The block shows where the release would put the edge, by the committed trim's own rule:
    // never past the media it can grow into, and not at all where the release would be refused
    // for standing at that limit already. A drag inward stops above the shortest previewed length.
    const bool tail = edge == TrimEdge::tail;
    const EditSession::TrimLanding landing = EditSession::trimLanding(
        clipAt(*clipIndex), tail ? EditSession::TrimEdgeKind::tail : EditSession::TrimEdgeKind::head,
        tail ? trim.originStart + trim.originDuration + d : trim.originStart + d, trim.sourceSeconds);
    using TrimStop = EditSession::TrimStop;
    if (landing.trimmed) {
        const double moved = tail ? landing.duration - trim.originDuration : landing.start - trim.originStart;
        if (trim.originDuration + (tail ? moved : -moved) > shortestPreviewedLength) {
            trim.deltaTime = moved;
        }
    } else if (landing.stop != TrimStop::tooShort) {
        // Too little to trim, or an edge at its limit already: the release leaves the clip as it is.
        trim.deltaTime = 0;
    }
    return started;
}

TimelineStripModel::TrimRelease TimelineStripModel::trimEnded(const std::string& clipId, double tx)
{
    TrimRelease release;
    if (activeTrim_ && activeTrim_->clipId == clipId) {
        const ActiveTrim& trim = *activeTrim_;
        if (std::abs(tx) > smallestCommittedTrimMovement) {
            // From the pointer itself: the preview's limits do not bound the edit.
            const double d = secondsForDistance(tx);
            release.targetTime = trim.edge == TrimEdge::tail ? trim.originStart + trim.originDuration + d
                                                             : trim.originStart + d;
        } else {
            release.pressWithoutMovement = true;
        }
    }
    activeTrim_.reset();
    return release;
}

// ---- scrolling ----

double TimelineStripModel::maxScrollLeft() const
{
    return std::max(contentW() - viewportWidth_, 0.0);
}

double TimelineStripModel::maxScrollTop() const
{
    return std::max(laneStackHeight() - laneAreaHeight(), 0.0);
}

void TimelineStripModel::clampScroll()
{
    scrollLeft_ = std::clamp(scrollLeft_, 0.0, maxScrollLeft());
    scrollTop_ = std::clamp(scrollTop_, 0.0, maxScrollTop());
}

void TimelineStripModel::setScrollLeft(double left)
{
    scrollLeft_ = std::clamp(finiteOr(left, 0.0), 0.0, maxScrollLeft());
}

void TimelineStripModel::setScrollTop(double top)
{
    scrollTop_ = std::clamp(finiteOr(top, 0.0), 0.0, maxScrollTop());
}

void TimelineStripModel::noteUserScroll()
{
    // The estimate measures the scroll from the start of the track area.
    estimatedScrollLeft_ = std::max(scrollLeft_ - headerWidth, 0.0);
}

double TimelineStripModel::beginPlayheadScroll(TimelineScrollAnchor anchor)
{
    double fraction = 0.5;
    double unitX = 0.5;
    if (anchor == TimelineScrollAnchor::leading) {
        fraction = 0.08;
        unitX = 0;
    } else if (anchor == TimelineScrollAnchor::trailing) {
        fraction = 0.92;
        unitX = 1;
    }
    scrollAnchorSeconds_ = engine_.playheadSeconds;
    estimatedScrollLeft_ = std::max(playX() - fraction * viewportWidth_, 0.0);
    return unitX;
}

double TimelineStripModel::scrollLeftForPlayheadTarget(double unitX) const
{
    // The scroll target is a 1-point square just left of the anchor time's x.
    const double anchorX = pps_ * (std::isfinite(scrollAnchorSeconds_) ? scrollAnchorSeconds_ : 0.0);
    const double targetLeft = headerWidth + std::max(anchorX - 1, 0.0);
    return std::clamp(targetLeft + unitX * (1 - viewportWidth_), 0.0, maxScrollLeft());
}

std::optional<double> TimelineStripModel::followPlayhead(double now)
{
    if (!engine_.isPlaying) {
        return std::nullopt;
    }
    const double x = pps_ * engine_.playbackMotionSeconds;
    if (!(x > estimatedScrollLeft_ + followTriggerFraction * viewportWidth_)
        || !(now - lastPlayheadFollowScrollAt_ > followIntervalSeconds)) {
        return std::nullopt;
    }
    lastPlayheadFollowScrollAt_ = now;
    estimatedScrollLeft_ = std::max(x - followAnchorFraction * viewportWidth_, 0.0);
    scrollAnchorSeconds_ = engine_.playheadSeconds;
    return scrollLeftForPlayheadTarget(followAnchorFraction);
}

std::optional<TimelineStripModel::ScrollPosition>
TimelineStripModel::scrollPositionCentringClip(const std::string& clipId) const
{
    const std::optional<std::size_t> clipIndex = index_.clipIndexOf(clipId);
    if (!clipIndex || simplifyLayout_) {
        return std::nullopt;
    }
    const bool visual = index_.isVisual(*clipIndex);
    if (!visual && !index_.isAudio(*clipIndex)) {
        return std::nullopt;
    }
    const int lane = clipAt(*clipIndex).track.value_or(1);
    const TimelineLane::Kind kind = visual ? TimelineLane::Kind::video : TimelineLane::Kind::audio;
    const int row = rowIndex(kind, lane);
    const std::optional<TimelineLane> shown = laneAtRow(row);
    if (lane < 1 || !shown || shown->kind != kind) {
        return std::nullopt;
    }
    const BlockSpan span = blockSpan(*clipIndex);
    const double centreX = xForTime(span.start) + blockWidth(span.duration) / 2;
    const double centreY = row * lanePitch() + laneH() / 2;
    ScrollPosition position;
    position.left = std::clamp(centreX - viewportWidth_ / 2, 0.0, maxScrollLeft());
    position.top = std::clamp(centreY - laneAreaHeight() / 2, 0.0, maxScrollTop());
    return position;
}

} // namespace velmora
