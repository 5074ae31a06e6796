// Closing the gap at the playhead.
//
//   all lanes (no video under the playhead):
//     V1 |--A--|     ^     |--B--|         ->   |--A--|--B--|
//     A1 |--a--|           |--b--|         ->   |--a--|--b--|
//   otherwise lane by lane, each lane pulling its clips after the gap back to the gap start
//   (or to the end of a clip of another lane that reaches into the gap).

#include <algorithm>
#include <cmath>

#include "editing/TimelineEditingSupport.h"
#include "model/EditSession.h"

namespace velmora {

using namespace editing;

namespace {

constexpr double kTolerance = 0.0001;

// One empty stretch on one lane.
struct CloseLaneGap {
    double gapStart = 0;
    double gapEnd = 0;
    int track = 1;
    std::string mediaKind; // "audio" or "video"
};

bool isVideoOrAudio(const EditSession::Clip& clip)
{
    const std::string kind = kindOf(clip);
    return kind == "video" || kind == "audio";
}

// The stretch between two clips of the lane that holds the playhead; the stretch after the
// lane's last clip is never a gap.
std::optional<CloseLaneGap> laneGapOnTrack(const EditSession::Timeline& timeline, double t, int track,
                                           const std::string& kind)
{
    std::vector<const EditSession::Clip*> lane;
    for (const EditSession::Clip& clip : timeline.clips) {
        const bool ofKind = kind == "audio" ? EditSession::isAudioClip(clip) : EditSession::isVisualTimelineClip(clip);
        if (ofKind && laneOf(clip) == track) {
            lane.push_back(&clip);
        }
    }
    std::stable_sort(lane.begin(), lane.end(),
                     [](const EditSession::Clip* a, const EditSession::Clip* b) { return startOf(*a) < startOf(*b); });
    double cursor = 0.0;
    for (const EditSession::Clip* clip : lane) {
        const double start = startOf(*clip);
        if (cursor - kTolerance <= t && t < start - kTolerance) {
            if (start - cursor <= kTolerance) {
                return std::nullopt;
            }
            return CloseLaneGap{cursor, start, track, kind};
        }
        cursor = endOf(*clip);
    }
    return std::nullopt;
}

// The gap common to all lanes when no video plays at t; true when it was closed.
bool closeAllLanesGap(EditSession& session, std::size_t active, double t)
{
    EditSession::Timeline& timeline = session.timelines[active];
    const auto& clips = timeline.clips;
    const bool videoUnderPlayhead = std::any_of(clips.begin(), clips.end(), [t](const EditSession::Clip& clip) {
        return isVideo(clip) && startOf(clip) + kTolerance <= t && t < endOf(clip) - kTolerance;
    });
    if (videoUnderPlayhead) {
        return false;
    }
    std::optional<double> next;
    double prev = 0.0;
    for (const EditSession::Clip& clip : clips) {
        if (!isVideoOrAudio(clip)) {
            continue;
        }
        if (startOf(clip) > t + kTolerance) {
            next = next ? std::min(*next, startOf(clip)) : startOf(clip);
        }
        if (endOf(clip) <= t + kTolerance) {
            prev = std::max(prev, endOf(clip));
        }
    }
    if (!next) {
        return false;
    }
    const double gap = *next - prev;
    if (!(prev - kTolerance <= t && t < *next - kTolerance && gap > kTolerance)) {
        return false;
    }
    for (EditSession::Clip& clip : timeline.clips) {
        if (!isVideoOrAudio(clip) || session.isClipOnLockedTrack(clip, active)) {
            continue;
        }
        const double start = startOf(clip);
        if (start >= *next - 0.0002) {
            clip.startTime = std::max(start - gap, 0.0);
        } else if (endOf(clip) > prev + kTolerance && start < *next - kTolerance) {
            // A clip that spans the gap (an audio bed under the playhead) is put at the gap start.
            clip.startTime = prev;
        }
    }
    session.recomputeTimelineDuration();
    return true;
}

} // namespace

bool EditSession::closeGapsAtPlayhead(double playhead, std::optional<int> preferredTrack, bool preferredIsAudio)
{
    const auto active = activeTimelineIndex();
    if (!active || !isFinite(playhead)) {
        return false;
    }
    if (closeAllLanesGap(*this, *active, playhead)) {
        return true;
    }

    std::vector<CloseLaneGap> lanes;
    if (preferredTrack) {
        const std::string kind = preferredIsAudio ? "audio" : "video";
        if (auto gap = laneGapOnTrack(timelines[*active], playhead, *preferredTrack, kind)) {
            lanes.push_back(*gap);
        }
    } else {
        std::vector<std::pair<std::string, int>> seen;
        for (const Clip& clip : timelines[*active].clips) {
            std::string kind;
            if (isAudioClip(clip)) {
                kind = "audio";
            } else if (isVisualTimelineClip(clip)) {
                kind = "video";
            } else {
                continue;
            }
            std::pair<std::string, int> key{kind, laneOf(clip)};
            if (std::find(seen.begin(), seen.end(), key) != seen.end()) {
                continue;
            }
            seen.push_back(key);
            if (auto gap = laneGapOnTrack(timelines[*active], playhead, key.second, kind)) {
                lanes.push_back(*gap);
            }
        }
    }
    if (lanes.empty()) {
        return false;
    }

    bool changed = false;
    for (const CloseLaneGap& lane : lanes) {
        const bool audio = lane.mediaKind == "audio";
        const std::string key = audio ? audioLaneKey(lane.track) : videoLaneKey(lane.track);
        if (isTrackLocked(key, *active)) {
            continue;
        }
        // Earlier lanes may have moved clips; measure again on the timeline as it is now.
        const auto gap = laneGapOnTrack(timelines[*active], playhead, lane.track, lane.mediaKind);
        if (!gap) {
            continue;
        }
        double effectiveStart = gap->gapStart;
        for (const Clip& clip : timelines[*active].clips) {
            if (isVisual(clip) && laneOf(clip) != gap->track && endOf(clip) > gap->gapStart + kTolerance
                && startOf(clip) < gap->gapEnd - kTolerance) {
                effectiveStart = std::max(effectiveStart, endOf(clip));
            }
        }
        if (gap->gapEnd - effectiveStart > kTolerance) {
            const std::set<std::string> types = audio ? std::set<std::string>{"audio"}
                                                      : std::set<std::string>{"video", "image", "text", "audio"};
            rippleShiftOnTrack(gap->track, gap->gapEnd - kTolerance, -(gap->gapEnd - effectiveStart), types);
        }
        changed = true;
    }
    return changed;
}

bool EditSession::closeGapAtPlayhead(double playhead, int track, const std::set<std::string>& types)
{
    return closeGapsAtPlayhead(playhead, track, types == std::set<std::string>{"audio"});
}

} // namespace velmora
