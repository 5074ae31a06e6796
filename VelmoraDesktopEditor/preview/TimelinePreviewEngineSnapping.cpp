// Magnetic snapping of dragged times and the zoom of the active timeline.

#include "preview/TimelinePreviewEngine.h"

#include <algorithm>
#include <cmath>

#include "editing/TimelineZoom.h"

namespace velmora {

namespace {

constexpr double kSnapGuideEpsilon = 0.0001;

double flooredAtZero(double t)
{
    return t > 0 ? t : 0.0; // NaN lands on 0 as well
}

// The zoom the active timeline is drawn at: the timeline lanes, the header's read-out and the
// snap radius all take this one answer.
double shownPixelsPerSecond(const EditSession* session)
{
    const EditSession::Timeline* timeline = session ? session->findActiveTimeline() : nullptr;
    return TimelineZoom::shownPps(timeline ? timeline->pixelsPerSecond : std::nullopt);
}

} // namespace

double TimelinePreviewEngine::effectiveSnapThreshold() const
{
    // Wider at low zoom, so the snap radius stays about the same number of points on screen.
    const double pps = shownPixelsPerSecond(session_.get());
    const double base = pps <= 40 ? 0.6 : 24 / pps;
    return std::max(base, snapThresholdSeconds_);
}

double TimelinePreviewEngine::snapTimelineTime(double t, const std::string& excludeClipId, bool preferPlayhead) const
{
    if (!magneticSnapEnabled_ || !session_) {
        return flooredAtZero(t);
    }
    const double pps = shownPixelsPerSecond(session_.get());
    const double threshold = std::max(effectiveSnapThreshold(), 36 / std::max(pps, 40.0));
    return session_->snapTime(t, excludeClipId, playheadSeconds_, threshold, 30, preferPlayhead);
}

TimelinePreviewEngine::SnappedClipStart TimelinePreviewEngine::snapClipStartTime(double t,
                                                                                 const std::string& excludeClipId) const
{
    if (!magneticSnapEnabled_) {
        return {flooredAtZero(t), std::nullopt};
    }
    const double snapped = snapTimelineTime(t, excludeClipId, true);
    SnappedClipStart result{flooredAtZero(snapped), std::nullopt};
    if (std::abs(snapped - t) > kSnapGuideEpsilon) {
        result.guideTime = snapped;
    }
    return result;
}

double TimelinePreviewEngine::snapClipDrop(double clipStartTime, const std::string& excludeClipId,
                                           double /*clipStartTimelineX*/, double /*pixelsPerSecond*/) const
{
    return snapClipStartTime(clipStartTime, excludeClipId).time;
}

void TimelinePreviewEngine::setActiveTimelinePixelsPerSecond(double pps)
{
    if (!session_) {
        return;
    }
    const auto index = session_->activeTimelineIndex();
    if (!index) {
        return;
    }
    session_->timelines[*index].pixelsPerSecond = TimelineZoom::clampPps(pps);
    republishSession();
    bumpTimelineRevision();
}

double TimelinePreviewEngine::activeTimelinePixelsPerSecond() const
{
    return shownPixelsPerSecond(session_.get());
}

} // namespace velmora
