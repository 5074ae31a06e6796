// Read-only timeline questions: the visible clip and its opacity, runs of visible video,
// lane lock and mute, the target clip of a playhead edit, and audio-to-video pairing by name.

#include <algorithm>
#include <cmath>

#include "editing/PreviewFrameTiming.h"
#include "editing/TimelineEditingSupport.h"
#include "editing/TimelineFrameMap.h"
#include "model/EditSession.h"

namespace velmora {

using namespace editing;

namespace {

// An absent index means the active timeline, or index 0 when there is none.
const EditSession::Timeline* resolveTimeline(const EditSession& session, std::optional<std::size_t> index)
{
    const std::size_t resolved = index ? *index : session.activeTimelineIndex().value_or(0);
    return timelineAt(session, resolved);
}

bool listContains(const std::vector<std::string>& list, const std::string& key)
{
    return std::find(list.begin(), list.end(), key) != list.end();
}

void toggleKey(std::vector<std::string>& list, const std::string& key)
{
    const auto found = std::find(list.begin(), list.end(), key);
    if (found != list.end()) {
        list.erase(found);
    } else {
        list.push_back(key);
    }
}

} // namespace

std::optional<EditSession::Clip> EditSession::winningVisualClip(const std::vector<Clip>& from)
{
    if (from.empty()) {
        return std::nullopt;
    }
    std::size_t best = 0;
    for (std::size_t i = 1; i < from.size(); ++i) {
        const int lane = laneOf(from[i]);
        const int bestLane = laneOf(from[best]);
        if (lane < bestLane || (lane == bestLane && startOf(from[i]) > startOf(from[best]))) {
            best = i;
        }
    }
    return from[best];
}

std::optional<EditSession::Clip> EditSession::visualClip(double at, std::optional<std::size_t> timelineIndex) const
{
    const Timeline* timeline = resolveTimeline(*this, timelineIndex);
    if (!timeline) {
        return std::nullopt;
    }
    // The video clip of the frame holding `at`, on the grid the monitor shows and the export
    // writes, as the frame rule picks it: between two frames' starts (after a fine step) the
    // playhead names the clip its frame shows, never one that starts later within that frame.
    const FrameGrid grid = PreviewFrameTiming::pictureGrid(project ? project->fps : std::nullopt);
    const std::int64_t frame = grid.index(at);
    std::vector<const Clip*> covering;
    std::vector<ClipTiming> timings;
    for (const Clip& clip : timeline->clips) {
        if (!isVideo(clip)) {
            continue;
        }
        const auto [first, end] = TimelineFrameMap::framesOf(grid, startOf(clip), durationOf(clip));
        if (first <= frame && frame < end) {
            covering.push_back(&clip);
            timings.push_back(ClipTiming::of(clip));
            timings.back().picture = true;
        }
    }
    if (covering.empty()) {
        return std::nullopt;
    }
    const std::optional<std::size_t> shown = TimelineFrameMap(std::move(timings), grid, {}).clipAt(frame);
    if (!shown) {
        return std::nullopt;
    }
    return *covering[*shown];
}

double EditSession::visualOpacity(double at, std::optional<std::size_t> timelineIndex) const
{
    if (!resolveTimeline(*this, timelineIndex)) {
        return 1.0;
    }
    const std::optional<Clip> clip = visualClip(at, timelineIndex);
    if (!clip) {
        return 1.0;
    }
    const double local = at - startOf(*clip);
    const double span = clip->duration && *clip->duration > 0.001 ? *clip->duration : 0.001;
    double opacity = clip->opacity.value_or(1.0);
    if (clip->fadeIn && *clip->fadeIn > 0.02 && local < *clip->fadeIn) {
        opacity = (local / *clip->fadeIn) * opacity;
    }
    if (clip->fadeOut && *clip->fadeOut > 0.02 && span - *clip->fadeOut < local) {
        opacity = std::max(0.0, (span - local) / *clip->fadeOut) * opacity;
    }
    if (std::isnan(opacity)) {
        return 0.0;
    }
    return std::clamp(opacity, 0.0, 1.0);
}

bool EditSession::isTrackLocked(const std::string& laneKey, std::optional<std::size_t> timelineIndex) const
{
    const Timeline* timeline = resolveTimeline(*this, timelineIndex);
    return timeline && listContains(timeline->lockedTracks, laneKey);
}

bool EditSession::isTrackMuted(const std::string& laneKey, std::optional<std::size_t> timelineIndex) const
{
    const Timeline* timeline = resolveTimeline(*this, timelineIndex);
    return timeline && listContains(timeline->mutedTracks, laneKey);
}

void EditSession::toggleTrackLock(const std::string& laneKey)
{
    if (const auto index = activeTimelineIndex()) {
        toggleKey(timelines[*index].lockedTracks, laneKey);
    }
}

void EditSession::toggleTrackMute(const std::string& laneKey)
{
    if (const auto index = activeTimelineIndex()) {
        toggleKey(timelines[*index].mutedTracks, laneKey);
    }
}

bool EditSession::isClipOnLockedTrack(const Clip& clip, std::optional<std::size_t> timelineIndex) const
{
    const std::optional<std::string> key = laneKeyOf(clip);
    return key && isTrackLocked(*key, timelineIndex);
}

std::optional<EditSession::Clip> EditSession::videoClipForSplit(double playhead,
                                                               const std::optional<std::string>& preferredClipId) const
{
    const auto active = activeTimelineIndex();
    if (!active) {
        return std::nullopt;
    }
    if (preferredClipId) {
        const auto location = clipLocation(*preferredClipId);
        if (location && location->timelineIndex == *active) {
            const Clip& clip = timelines[*active].clips[location->clipIndex];
            if (isVideo(clip) && startOf(clip) + 0.001 <= playhead && playhead <= endOf(clip) - 0.001) {
                return clip;
            }
        }
    }
    return visualClip(playhead, *active);
}

std::optional<EditSession::Clip> EditSession::audioClipForTrim(double playhead,
                                                              const std::optional<std::string>& preferredClipId) const
{
    const auto active = activeTimelineIndex();
    if (!active) {
        return std::nullopt;
    }
    const auto fits = [playhead](const Clip& clip) {
        return isAudio(clip) && startOf(clip) + 0.0001 <= playhead && playhead <= endOf(clip) - 0.0001;
    };
    const Timeline& timeline = timelines[*active];
    if (preferredClipId) {
        const auto location = clipLocation(*preferredClipId);
        if (location && location->timelineIndex == *active && fits(timeline.clips[location->clipIndex])) {
            return timeline.clips[location->clipIndex];
        }
    }
    for (const Clip& clip : timeline.clips) {
        if (fits(clip)) {
            return clip;
        }
    }
    return std::nullopt;
}

bool EditSession::playheadInsideClip(double time, const Clip& clip)
{
    return startOf(clip) + 0.0001 <= time && time <= endOf(clip) - 0.0001;
}

std::string EditSession::mediaStem(const std::string& name)
{
    std::string text = lowercased(trimmedWhitespaceAndNewlines(name));
    static constexpr std::string_view audioSuffix = " (audio)";
    if (text.size() >= audioSuffix.size()
        && std::string_view(text).substr(text.size() - audioSuffix.size()) == audioSuffix) {
        text = trimmedWhitespace(std::string_view(text).substr(0, text.size() - audioSuffix.size()));
    }
    const auto dot = text.rfind('.');
    return dot == std::string::npos ? text : text.substr(0, dot);
}

bool EditSession::audioMatchesVideo(const Clip& audio, const Clip& video)
{
    const std::string videoStem = mediaStem(video.name.value_or(""));
    const std::string audioStem = mediaStem(audio.name.value_or(""));
    if (!videoStem.empty() && audioStem == videoStem) {
        return true;
    }
    if (video.groupId && !video.groupId->empty() && audio.groupId == video.groupId) {
        return true;
    }
    return !videoStem.empty()
        && lowercased(trimmedWhitespaceAndNewlines(audio.name.value_or(""))).find(videoStem) != std::string::npos;
}

} // namespace velmora
