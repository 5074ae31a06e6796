// Slipping a clip's source range in place, and rippling the clips behind an edit on one lane.
//
//   slip +d:    |----A [in, out]----|   ->   |----A [in + d*speed, out + d*speed]----|   (start, duration fixed)
//   ripple -d:  |A|   |B|  |C|   (after B's start)   ->   |A|B|  |C|   with B and C moved d earlier

#include <algorithm>
#include <cmath>

#include "editing/TimelineEditingSupport.h"
#include "model/EditSession.h"

namespace velmora {

using namespace editing;

namespace {

constexpr double kMinimumRipple = 0.000001;
constexpr double kRippleTolerance = 0.0001;

void slipClipInPlace(EditSession& session, std::size_t timelineIndex, std::size_t clipIndex, double sourceDelta)
{
    EditSession::Clip& clip = session.timelines[timelineIndex].clips[clipIndex];
    // No upper bound: the out-point may pass the end of the source.
    clip.inPoint = std::max(inPointOf(clip) + sourceDelta * speedOf(clip), 0.0);
    normalizeClipTiming(clip);
}

void shiftLane(EditSession::Timeline& timeline, const std::string* excludingId, int track, double afterTime,
               double delta, const std::set<std::string>& types)
{
    for (EditSession::Clip& clip : timeline.clips) {
        if (excludingId && clip.id == *excludingId) {
            continue;
        }
        if (laneOf(clip) != track || !types.contains(kindOf(clip))) {
            continue;
        }
        const double start = startOf(clip);
        if (start >= afterTime - kRippleTolerance) {
            clip.startTime = std::max(start + delta, 0.0);
        }
    }
}

} // namespace

bool EditSession::slipClip(const std::string& id, double sourceDelta)
{
    const auto active = activeTimelineIndex();
    if (!active || !isFinite(sourceDelta)) {
        return false;
    }
    const auto index = indexOfClip(timelines[*active], id);
    if (!index) {
        return false;
    }
    const Clip before = timelines[*active].clips[*index];
    slipClipInPlace(*this, *active, *index, sourceDelta);
    if (!isVideo(before)) {
        return true;
    }
    // Strictly linked audio keeps its sync by slipping the same amount of timeline time.
    const double mid = startOf(before) + durationOf(before) * 0.5;
    for (const std::string& audioId : linkedAudioClipIds(before, mid, *active)) {
        const auto audioIndex = indexOfClip(timelines[*active], audioId);
        if (!audioIndex || audioId == before.id) {
            continue;
        }
        if (!isClipOnLockedTrack(timelines[*active].clips[*audioIndex], *active)) {
            slipClipInPlace(*this, *active, *audioIndex, sourceDelta);
        }
    }
    return true;
}

void EditSession::rippleShiftOnTrack(int track, double afterTime, double delta, const std::set<std::string>& types)
{
    const auto active = activeTimelineIndex();
    if (!active || !isFinite(afterTime) || !isFinite(delta) || std::abs(delta) <= kMinimumRipple) {
        return;
    }
    shiftLane(timelines[*active], nullptr, track, afterTime, delta, types);
    recomputeTimelineDuration();
}

void EditSession::rippleShiftFollowing(const std::string& excludingId, int track, double afterEnd, double delta,
                                       std::size_t timelineIndex, const std::set<std::string>& types)
{
    Timeline* timeline = timelineAt(*this, timelineIndex);
    if (!timeline || !isFinite(afterEnd) || !isFinite(delta) || std::abs(delta) <= kMinimumRipple) {
        return;
    }
    shiftLane(*timeline, &excludingId, track, afterEnd, delta, types);
    recomputeTimelineDuration();
}

} // namespace velmora
