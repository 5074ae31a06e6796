// Which audio clips belong to a video clip: strictly (group, source or media stem, with a real
// overlap), or more widely for a cut at the playhead.

#include <algorithm>

#include "editing/TimelineEditingSupport.h"
#include "model/EditSession.h"

namespace velmora {

using namespace editing;

namespace {

// Both clips reach more than 0.02 s into each other's span.
bool overlapsVideo(const EditSession::Clip& audio, double videoStart, double videoEnd)
{
    return videoStart + 0.02 < endOf(audio) && startOf(audio) < videoEnd - 0.02;
}

std::vector<std::string> strictPairedAudioIds(const EditSession::Timeline& timeline, const EditSession::Clip& video)
{
    const double videoStart = startOf(video);
    const double videoEnd = endOf(video);
    const std::string stem = EditSession::mediaStem(video.name.value_or(""));
    std::vector<std::string> ids;
    for (const auto& clip : timeline.clips) {
        if (!isAudio(clip) || !overlapsVideo(clip, videoStart, videoEnd)) {
            continue;
        }
        const bool groupMatch = video.groupId && !video.groupId->empty() && clip.groupId == video.groupId;
        const bool sourceMatch = video.sourceId && clip.sourceId == video.sourceId;
        const bool stemMatch = !stem.empty() && EditSession::mediaStem(clip.name.value_or("")) == stem;
        if (groupMatch || sourceMatch || stemMatch) {
            ids.push_back(clip.id);
        }
    }
    return ids;
}

} // namespace

std::vector<std::string> EditSession::audioClipIdsAtPlayhead(double playhead, std::size_t timelineIndex) const
{
    std::vector<std::string> ids;
    const Timeline* timeline = timelineAt(*this, timelineIndex);
    if (!timeline) {
        return ids;
    }
    for (const Clip& clip : timeline->clips) {
        if (isAudio(clip) && clip.duration && *clip.duration > 0.05 && startOf(clip) + 0.001 <= playhead
            && playhead <= endOf(clip) - 0.001) {
            ids.push_back(clip.id);
        }
    }
    return ids;
}

std::optional<std::string> EditSession::soleAudioBedAtPlayhead(double playhead, std::size_t timelineIndex) const
{
    const std::vector<std::string> ids = audioClipIdsAtPlayhead(playhead, timelineIndex);
    if (ids.size() == 1) {
        return ids.front();
    }
    return std::nullopt;
}

std::vector<std::string> EditSession::linkedAudioClipIds(const Clip& video, double /*at*/,
                                                         std::size_t timelineIndex) const
{
    const Timeline* timeline = timelineAt(*this, timelineIndex);
    return timeline ? strictPairedAudioIds(*timeline, video) : std::vector<std::string>{};
}

bool EditSession::linkedAudioOnLockedTrack(const Clip& video, double /*at*/, std::size_t timelineIndex) const
{
    const Timeline* timeline = timelineAt(*this, timelineIndex);
    if (!timeline) {
        return false;
    }
    bool anyLocked = false;
    for (const std::string& id : strictPairedAudioIds(*timeline, video)) {
        const auto index = indexOfClip(*timeline, id);
        if (!index) {
            continue;
        }
        const Clip& audio = timeline->clips[*index];
        if (!overlapsVideo(audio, startOf(video), endOf(video))) {
            continue;
        }
        if (!isClipOnLockedTrack(audio, timelineIndex)) {
            return false;
        }
        anyLocked = true;
    }
    return anyLocked;
}

std::vector<std::string> EditSession::audioIdsPairedWithVideo(const Clip& video, double playhead,
                                                              std::size_t timelineIndex) const
{
    const Timeline* timeline = timelineAt(*this, timelineIndex);
    if (!timeline) {
        return {};
    }
    std::vector<std::string> strict = strictPairedAudioIds(*timeline, video);
    if (!strict.empty()) {
        return strict;
    }
    const std::vector<std::string> underPlayhead = audioClipIdsAtPlayhead(playhead, timelineIndex);
    const std::string stem = mediaStem(video.name.value_or(""));
    const double videoStart = startOf(video);
    const double videoEnd = endOf(video);

    // Collected in timeline order, each id once.
    std::vector<std::string> ids;
    for (const Clip& clip : timeline->clips) {
        if (!isAudio(clip)) {
            continue;
        }
        bool take = std::find(underPlayhead.begin(), underPlayhead.end(), clip.id) != underPlayhead.end();
        if (!take && overlapsVideo(clip, videoStart, videoEnd)) {
            const std::string audioStem = mediaStem(clip.name.value_or(""));
            const bool groupMatch = video.groupId && clip.groupId && *clip.groupId == *video.groupId;
            if (!stem.empty()) {
                take = audioStem == stem || groupMatch
                    || lowercased(trimmedWhitespaceAndNewlines(clip.name.value_or(""))).find(stem) != std::string::npos
                    || stem.find(audioStem) != std::string::npos;
            } else {
                take = groupMatch || (video.sourceId && clip.sourceId && *clip.sourceId == *video.sourceId);
            }
        }
        if (take && std::find(ids.begin(), ids.end(), clip.id) == ids.end()) {
            ids.push_back(clip.id);
        }
    }
    return ids;
}

std::vector<std::string> EditSession::audioClipIdsToSplitAtPlayhead(const Clip& video, double playhead,
                                                                    std::size_t timelineIndex) const
{
    const Timeline* timeline = timelineAt(*this, timelineIndex);
    if (!timeline) {
        return {};
    }
    std::vector<std::string> ids;
    for (const std::string& id : audioIdsPairedWithVideo(video, playhead, timelineIndex)) {
        const auto index = indexOfClip(*timeline, id);
        if (!index) {
            continue;
        }
        const Clip& clip = timeline->clips[*index];
        if (!isClipOnLockedTrack(clip, timelineIndex) && startOf(clip) + 0.001 < playhead
            && playhead < endOf(clip) - 0.001) {
            ids.push_back(id);
        }
    }
    if (ids.empty()) {
        if (auto sole = soleAudioBedAtPlayhead(playhead, timelineIndex)) {
            ids.push_back(std::move(*sole));
        }
    }
    return ids;
}

std::vector<std::string> EditSession::videoClipIdsWithStem(const Clip& clip, std::size_t timelineIndex) const
{
    const std::string stem = mediaStem(clip.name.value_or(""));
    if (stem.empty()) {
        return {clip.id};
    }
    std::vector<std::string> ids;
    const Timeline* timeline = timelineAt(*this, timelineIndex);
    if (!timeline) {
        return ids;
    }
    for (const Clip& other : timeline->clips) {
        if (isVideo(other) && mediaStem(other.name.value_or("")) == stem) {
            ids.push_back(other.id);
        }
    }
    return ids;
}

} // namespace velmora
