// Cutting clips in two at the playhead, and the sweep that merges slivers into their left
// neighbours.
//
//   before:  |------------- A (in 10) -------------|
//   cut at p:|---- A (in 10) ----|---- A_b_XXXXXXXX (in 10 + (p - start) * speed) ----|
//
// Every part is at least 0.05 s long; a clip on a locked lane is never cut. A cut changes only the
// clips it cuts: a short piece between two earlier cuts (three frames at 25 fps are 0.12 s) is
// the user's edit, and sweeping it away on the next cut would move an earlier cut to this one.
// The sweep leaves still images alone, however short.

#include <algorithm>
#include <cmath>

#include "editing/TimelineEditingSupport.h"
#include "model/EditSession.h"

namespace velmora {

using namespace editing;

namespace {

constexpr double kMinimumSplitLength = 0.08;
constexpr double kMinimumPartLength = 0.05;
constexpr double kSliverJoinTolerance = 0.06;

bool idTaken(const EditSession& session, const std::string& id)
{
    for (const auto& timeline : session.timelines) {
        if (indexOfClip(timeline, id)) {
            return true;
        }
    }
    return false;
}

} // namespace

std::optional<std::string> EditSession::splitClipReturningRightId(const std::string& id, double playhead,
                                                                  std::size_t timelineIndex)
{
    Timeline* timeline = timelineAt(*this, timelineIndex);
    if (!timeline || !isFinite(playhead)) {
        return std::nullopt;
    }
    const auto index = indexOfClip(*timeline, id);
    if (!index) {
        return std::nullopt;
    }
    const Clip original = timeline->clips[*index];
    if (isClipOnLockedTrack(original, timelineIndex) || !original.duration) {
        return std::nullopt;
    }
    const double length = *original.duration;
    const double offset = playhead - startOf(original);
    if (!(length >= kMinimumSplitLength && offset >= kMinimumPartLength && length - offset >= kMinimumPartLength)) {
        return std::nullopt;
    }
    const double speed = speedOf(original);
    const double sourceCut = inPointOf(original) + offset * speed;

    Clip left = original;
    left.duration = offset;
    left.outPoint = sourceCut;

    // A random suffix collides with nothing in practice; retrying keeps ids unique regardless.
    std::string rightId;
    do {
        rightId = original.id + "_b_" + randomUuidPrefix();
    } while (idTaken(*this, rightId));

    Clip right = original;
    right.id = rightId;
    right.startTime = playhead;
    right.duration = length - offset;
    right.inPoint = sourceCut;

    normalizeClipTiming(left);
    normalizeClipTiming(right);
    timeline->clips[*index] = std::move(left);
    timeline->clips.insert(timeline->clips.begin() + static_cast<std::ptrdiff_t>(*index) + 1, std::move(right));
    return rightId;
}

std::optional<std::string> EditSession::splitClipAtPlayheadReturningRight(const std::string& id, double playhead,
                                                                          std::size_t timelineIndex)
{
    return splitClipReturningRightId(id, playhead, timelineIndex);
}

bool EditSession::splitClipAtPlayhead(const std::string& id, double playhead, std::size_t timelineIndex)
{
    return splitClipReturningRightId(id, playhead, timelineIndex).has_value();
}

bool EditSession::splitAudioClipAtPlayhead(const std::string& id, double playhead, std::size_t timelineIndex)
{
    return splitClipAtPlayhead(id, playhead, timelineIndex);
}

bool EditSession::splitClip(const std::string& id, double playhead, std::size_t timelineIndex)
{
    return splitClipAtPlayhead(id, playhead, timelineIndex);
}

EditSession::SplitVideoResult EditSession::splitVideoClipAtPlayhead(double playhead,
                                                                    const std::optional<std::string>& videoClipId,
                                                                    bool syncLinkedAudio)
{
    const auto active = activeTimelineIndex();
    if (!active || !isFinite(playhead)) {
        return {};
    }
    const std::optional<Clip> video = videoClipForSplit(playhead, videoClipId);
    if (!video || isClipOnLockedTrack(*video, *active)) {
        return {};
    }
    SplitVideoResult result;
    if (syncLinkedAudio) {
        result.audioSplits = splitPairedAudioForVideo(*video, playhead, *active);
    }
    // An audio cut made above stays even when the video cut is refused.
    const std::optional<std::string> rightId = splitClipReturningRightId(video->id, playhead, *active);
    if (!rightId) {
        return result;
    }
    recomputeTimelineDuration();
    result.video = true;
    result.newRightVideoId = rightId;
    return result;
}

void EditSession::collapseSliverClips(std::size_t timelineIndex, double minimumDuration)
{
    Timeline* timeline = timelineAt(*this, timelineIndex);
    if (!timeline) {
        return;
    }
    for (;;) {
        auto& clips = timeline->clips;
        // A still is short on purpose (placing one gives it 0.1 s until the user trims it longer), so
        // stills are never swept away or merged; slivers of every other kind are.
        const auto sliver = std::find_if(clips.begin(), clips.end(), [minimumDuration](const Clip& clip) {
            return kindOf(clip) != "image" && clip.duration && *clip.duration > 0 && *clip.duration < minimumDuration;
        });
        if (sliver == clips.end()) {
            return;
        }
        const double start = startOf(*sliver);
        const double length = *sliver->duration;
        const int lane = laneOf(*sliver);
        const std::string kind = kindOf(*sliver);
        clips.erase(sliver);

        std::optional<std::size_t> neighbour;
        for (std::size_t i = 0; i < clips.size(); ++i) {
            const Clip& clip = clips[i];
            if (laneOf(clip) != lane || kindOf(clip) != kind
                || !(std::abs(startOf(clip) + durationOf(clip) - start) < kSliverJoinTolerance)) {
                continue;
            }
            if (!neighbour || startOf(clip) > startOf(clips[*neighbour])) {
                neighbour = i;
            }
        }
        if (neighbour) {
            Clip& left = clips[*neighbour];
            left.duration = durationOf(left) + ((start + length) - start);
            normalizeClipTiming(left);
        }
    }
}

int EditSession::splitAnyAudioAtPlayhead(double playhead, std::size_t timelineIndex)
{
    const Timeline* timeline = timelineAt(*this, timelineIndex);
    if (!timeline) {
        return 0;
    }
    for (std::size_t i = timeline->clips.size(); i-- > 0;) {
        const Clip& clip = timeline->clips[i];
        if (isAudio(clip) && playheadInsideClip(playhead, clip)) {
            const std::string id = clip.id;
            if (splitClipReturningRightId(id, playhead, timelineIndex)) {
                return 1;
            }
        }
    }
    return 0;
}

int EditSession::splitPairedAudioForVideo(const Clip& /*video*/, double playhead, std::size_t timelineIndex)
{
    // Kept as the editor has always done it: the audio cut is the last cuttable audio clip
    // under the playhead, whichever lane it is on.
    return splitAnyAudioAtPlayhead(playhead, timelineIndex) > 0 ? 1 : 0;
}

int EditSession::splitAllStemAudioAtPlayhead(const Clip& video, double playhead, std::size_t timelineIndex)
{
    int cuts = 0;
    for (const std::string& id : audioClipIdsToSplitAtPlayhead(video, playhead, timelineIndex)) {
        const Timeline* timeline = timelineAt(*this, timelineIndex);
        const auto index = timeline ? indexOfClip(*timeline, id) : std::nullopt;
        if (!index) {
            continue;
        }
        const Clip& clip = timeline->clips[*index];
        if (startOf(clip) + 0.001 < playhead && playhead < endOf(clip) - 0.001
            && splitClipReturningRightId(id, playhead, timelineIndex)) {
            ++cuts;
        }
    }
    return cuts;
}

int EditSession::splitAudioOnPairedTrack(double at, int videoTrack, const std::optional<std::string>& stem,
                                         std::size_t timelineIndex)
{
    const Timeline* timeline = timelineAt(*this, timelineIndex);
    if (!timeline) {
        return 0;
    }
    const int lane = std::max(videoTrack, 1);
    for (std::size_t i = timeline->clips.size(); i-- > 0;) {
        const Clip& clip = timeline->clips[i];
        if (!isAudio(clip) || laneOf(clip) != lane || !(startOf(clip) + 0.001 < at && at < endOf(clip) - 0.001)) {
            continue;
        }
        if (stem && !stem->empty() && mediaStem(clip.name.value_or("")) != *stem) {
            continue;
        }
        if (isClipOnLockedTrack(clip, timelineIndex)) {
            continue;
        }
        const std::string id = clip.id;
        if (splitClipReturningRightId(id, at, timelineIndex)) {
            return 1;
        }
    }
    return 0;
}

} // namespace velmora
