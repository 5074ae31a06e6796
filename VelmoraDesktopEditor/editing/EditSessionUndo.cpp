// Taking and restoring whole-timeline snapshots for the undo history.

#include "editing/TimelineSnapshot.h"
#include "model/EditSession.h"

namespace velmora {

std::optional<TimelineSnapshot> EditSession::snapshotActiveTimeline() const
{
    const auto index = activeTimelineIndex();
    if (!index) {
        return std::nullopt;
    }
    const Timeline& timeline = timelines[*index];
    return TimelineSnapshot{timeline.clips, timeline.markers, timeline.duration, timeline.id};
}

void EditSession::applySnapshot(const TimelineSnapshot& snapshot)
{
    // A snapshot goes back into the timeline it came from, even when the user has switched to
    // another timeline since; when that timeline is gone there is nothing to restore into.
    std::optional<std::size_t> target;
    if (snapshot.timelineId) {
        for (std::size_t i = 0; i < timelines.size(); ++i) {
            if (timelines[i].id == *snapshot.timelineId) {
                target = i;
                break;
            }
        }
    } else {
        target = activeTimelineIndex();
    }
    if (!target) {
        return;
    }
    Timeline& timeline = timelines[*target];
    timeline.clips = snapshot.clips;
    timeline.markers = snapshot.markers;
    timeline.duration = snapshot.duration;
    normalizeAllClipTiming();
}

} // namespace velmora
