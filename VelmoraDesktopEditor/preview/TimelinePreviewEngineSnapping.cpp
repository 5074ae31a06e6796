// Magnetic snapping of dragged times and the zoom of the active timeline.

#include "preview/TimelinePreviewEngine.h"

#include <algorithm>
#include <cmath>

#include "editing/TimelineZoom.h"

namespace velmora {

namespace {

// Snapping reads an unset zoom as 80 px/s; the views read it as 100.
constexpr double kSnapDefaultPixelsPerSecond = 80;
constexpr double kViewDefaultPixelsPerSecond = 100;
constexpr double kSnapGuideEpsilon = 0.0001;

double flooredAtZero(double t)
{
    return t > 0 ? t : 0.0; // NaN lands on 0 as well
}

double snapPixelsPerSecond(const EditSession* session)
{
    if (!session) {
        return kSnapDefaultPixelsPerSecond;
    }
    const auto index = session->activeTimelineIndex();
    if (!index) {
        return kSnapDefaultPixelsPerSecond;
    }
    return session->timelines[*index].pixelsPerSecond.value_or(kSnapDefaultPixelsPerSecond);
}

} // namespace

double TimelinePreviewEngine::effectiveSnapThreshold() const
{
    // Wider at low zoom, so the snap radius stays about the same number of points on screen.
    const double pps = snapPixelsPerSecond(session_.get());
    const double base = pps <= 40 ? 0.6 : 24 / pps;
    return std::max(base, snapThresholdSeconds_);
}

double TimelinePreviewEngine::snapTimelineTime(double t, const std::string& excludeClipId, bool preferPlayhead) const
{
    if (!magneticSnapEnabled_ || !session_) {
        return flooredAtZero(t);
    }
    const double pps = snapPixelsPerSecond(session_.get());
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
    if (!session_) {
        return kViewDefaultPixelsPerSecond;
    }
    const auto index = session_->activeTimelineIndex();
    if (!index) {
        return kViewDefaultPixelsPerSecond;
    }
    return TimelineZoom::clampPps(session_->timelines[*index].pixelsPerSecond.value_or(kViewDefaultPixelsPerSecond));
}

} // namespace velmora
