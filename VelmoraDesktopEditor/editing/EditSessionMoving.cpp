// Moving clips in time and between lanes, keeping lanes free of overlaps, and finding free lanes.
//
//   resolve overlaps on a lane:  |----A----|            ->  |--A--|
//                                      |----B----|               |----B----|
//   the later clip always wins; the earlier one keeps at least 0.05 s.

#include <algorithm>
#include <cmath>
#include <limits>

#include "editing/TimelineEditingSupport.h"
#include "model/EditSession.h"

namespace velmora {

using namespace editing;

namespace {

constexpr double kLaneTolerance = 0.0001;
constexpr double kMinimumKeptLength = 0.05;
constexpr int kHighestAutomaticVisualLane = 20;

// Touching clips do not overlap.
bool overlapsSpan(const EditSession::Clip& clip, double start, double duration)
{
    return startOf(clip) < start + duration - kLaneTolerance && start + kLaneTolerance < endOf(clip);
}

template <typename IsKind>
void resolveLaneOverlaps(EditSession& session, std::size_t timelineIndex, int track, IsKind isKind)
{
    EditSession::Timeline* timeline = timelineAt(session, timelineIndex);
    if (!timeline) {
        return;
    }
    std::vector<std::size_t> lane;
    for (std::size_t i = 0; i < timeline->clips.size(); ++i) {
        if (laneOf(timeline->clips[i]) == track && isKind(timeline->clips[i])) {
            lane.push_back(i);
        }
    }
    std::stable_sort(lane.begin(), lane.end(), [&](std::size_t a, std::size_t b) {
        return startOf(timeline->clips[a]) < startOf(timeline->clips[b]);
    });
    for (std::size_t k = 1; k < lane.size(); ++k) {
        EditSession::Clip& earlier = timeline->clips[lane[k - 1]];
        const EditSession::Clip& later = timeline->clips[lane[k]];
        if (startOf(later) < endOf(earlier) - kLaneTolerance) {
            const double kept = startOf(later) - startOf(earlier);
            earlier.duration = kept <= kMinimumKeptLength ? kMinimumKeptLength : kept;
            normalizeClipTiming(earlier);
        }
    }
}

} // namespace

bool EditSession::moveClip(const std::string& id, double to, std::optional<int> track, bool moveLinked,
                           bool resolveOverlaps, bool rippleFollowing)
{
    const auto active = activeTimelineIndex();
    if (!active || !isFinite(to)) {
        return false;
    }
    const auto index = indexOfClip(timelines[*active], id);
    if (!index) {
        return false;
    }
    const Clip before = timelines[*active].clips[*index];
    const double oldStart = startOf(before);
    const double length = durationOf(before);
    const std::string kind = kindOf(before);

    {
        Clip& clip = timelines[*active].clips[*index];
        clip.startTime = to < 0 ? 0.0 : to;
        if (track && *track > 0 && (kind == "video" || kind == "image" || kind == "text" || kind == "audio")) {
            clip.track = *track;
        }
    }
    const int lane = laneOf(timelines[*active].clips[*index]);

    if (moveLinked && kind == "video") {
        // The offset is the requested one, before the floor at 0, so audio keeps its sync.
        const double offset = to - oldStart;
        for (const std::string& audioId : linkedAudioClipIds(before, oldStart, *active)) {
            const auto audioIndex = indexOfClip(timelines[*active], audioId);
            if (!audioIndex) {
                continue;
            }
            Clip& audio = timelines[*active].clips[*audioIndex];
            if (isClipOnLockedTrack(audio, *active)) {
                continue;
            }
            if (oldStart + 0.02 < endOf(audio) && startOf(audio) < oldStart + length - 0.02) {
                audio.startTime = std::max(0.0, startOf(audio) + offset);
            }
        }
    }

    if (resolveOverlaps) {
        if (kind == "video" || kind == "image" || kind == "text") {
            resolveVideoTrackOverlaps(*active, lane);
        } else if (kind == "audio") {
            resolveAudioTrackOverlaps(*active, lane);
        }
    }

    if (rippleFollowing) {
        rippleShiftFollowing(id, lane, oldStart + length, to - oldStart, *active);
    }

    recomputeTimelineDuration();
    return true;
}

void EditSession::resolveVideoTrackOverlaps(std::size_t timelineIndex, int track)
{
    resolveLaneOverlaps(*this, timelineIndex, track, [](const Clip& clip) { return isVisual(clip); });
}

void EditSession::resolveVisualTrackOverlaps(std::size_t timelineIndex, int track)
{
    resolveVideoTrackOverlaps(timelineIndex, track);
}

void EditSession::resolveAudioTrackOverlaps(std::size_t timelineIndex, int track)
{
    resolveLaneOverlaps(*this, timelineIndex, track, [](const Clip& clip) { return isAudio(clip); });
}

bool EditSession::relocateAudioClipOnCollision(const std::string& id, std::size_t timelineIndex)
{
    Timeline* timeline = timelineAt(*this, timelineIndex);
    if (!timeline) {
        return false;
    }
    const auto index = indexOfClip(*timeline, id);
    if (!index || !isAudio(timeline->clips[*index])) {
        return false;
    }
    const Clip moved = timeline->clips[*index];
    const double start = startOf(moved);
    const double length = durationOf(moved);
    const int lane = laneOf(moved);
    const bool hasGroup = moved.groupId && !moved.groupId->empty();
    for (std::size_t i = 0; i < timeline->clips.size(); ++i) {
        const Clip& other = timeline->clips[i];
        if (i == *index || !isAudio(other) || laneOf(other) != lane) {
            continue;
        }
        if (hasGroup && other.groupId == moved.groupId) {
            continue; // its own linked audio is not a collision
        }
        if (overlapsSpan(other, start, length)) {
            timeline->clips[*index].track = findFreeAudioTrack(start, length, id, timelineIndex);
            return true;
        }
    }
    return false;
}

int EditSession::findFreeAudioTrack(double startTime, double duration, const std::string& excludingId,
                                    std::size_t timelineIndex) const
{
    const Timeline* timeline = timelineAt(*this, timelineIndex);
    if (!timeline) {
        return 1;
    }
    int highest = 0;
    for (const Clip& clip : timeline->clips) {
        if (isAudio(clip)) {
            highest = std::max(highest, laneOf(clip));
        }
    }
    // The lane above the highest one in use is always free, so the search ends there.
    for (int lane = 1; lane <= highest; ++lane) {
        const bool busy = std::any_of(timeline->clips.begin(), timeline->clips.end(), [&](const Clip& clip) {
            return isAudio(clip) && laneOf(clip) == lane && clip.id != excludingId
                && overlapsSpan(clip, startTime, duration);
        });
        if (!busy) {
            return lane;
        }
    }
    return highest < std::numeric_limits<int>::max() ? highest + 1 : highest;
}

int EditSession::findFreeAudioTrackForInsert(double startTime, double duration, std::size_t timelineIndex) const
{
    return findFreeAudioTrack(startTime, duration, "", timelineIndex);
}

int EditSession::findFreeVisualTrack(double startTime, double duration, int preferredTrack,
                                     std::size_t timelineIndex) const
{
    if (preferredTrack > kHighestAutomaticVisualLane) {
        return preferredTrack;
    }
    const Timeline* timeline = timelineAt(*this, timelineIndex);
    if (!timeline) {
        return preferredTrack;
    }
    for (int lane = std::max(preferredTrack, 1); lane <= kHighestAutomaticVisualLane; ++lane) {
        const bool busy = std::any_of(timeline->clips.begin(), timeline->clips.end(), [&](const Clip& clip) {
            return isVisual(clip) && laneOf(clip) == lane && overlapsSpan(clip, startTime, duration);
        });
        if (!busy) {
            return lane;
        }
    }
    return preferredTrack;
}

} // namespace velmora
