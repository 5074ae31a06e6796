// What a scrub burst sounds at a timeline instant.

#include "preview/PreviewPlayerItem.h"

#include <algorithm>

#include "model/MediaResolver.h"
#include "model/TimelineTrackKey.h"

namespace velmora::PreviewPlayerItem {

namespace {

constexpr double kBurstReadSeconds = 0.02;
constexpr float kAudibleVolume = 0.001f;
constexpr std::size_t kMostSegments = 2;
constexpr double kEndTolerance = 0.000001;

} // namespace

std::vector<TimelineScrubAudio::Segment> scrubAudioSegments(const EditSession& session,
                                                            const MediaResolver::SourceFileMap& files, double playhead)
{
    const auto index = session.activeTimelineIndex();
    if (!index) {
        return {};
    }
    const EditSession::Timeline& timeline = session.timelines[*index];
    // The segment of `clip` at the playhead under `id`, when it sounds there.
    const auto segmentOf = [&](const EditSession::Clip& clip, std::string id) -> std::optional<TimelineScrubAudio::Segment> {
        const auto file = clip.sourceId ? files.find(*clip.sourceId) : files.end();
        if (file == files.end()) {
            return std::nullopt;
        }
        const double start = clip.startTime.value_or(0);
        const std::optional<SourceMapping> mapping =
            sourceMapping(clip, playhead, std::min(playhead + kBurstReadSeconds, start + clip.duration.value_or(0)));
        if (!mapping) {
            return std::nullopt;
        }
        const float volume = clipVolumeAtTime(clip, playhead - start);
        if (!(volume > kAudibleVolume)) {
            return std::nullopt;
        }
        return TimelineScrubAudio::Segment{std::move(id), file->second, mapping->sourceStart, volume};
    };

    const bool hasAudioClips = std::any_of(timeline.clips.begin(), timeline.clips.end(),
                                           [](const EditSession::Clip& clip) { return EditSession::isAudioClip(clip); });
    if (!hasAudioClips) {
        // The sound of the picture: the visible video clip's own.
        const std::optional<EditSession::Clip> clip = session.visualClip(playhead);
        if (!clip || session.isTrackMuted(TimelineTrackKey::video(clip->track.value_or(1)))) {
            return {};
        }
        std::optional<TimelineScrubAudio::Segment> segment = segmentOf(*clip, "embed_" + clip->id);
        return segment ? std::vector<TimelineScrubAudio::Segment>{std::move(*segment)}
                       : std::vector<TimelineScrubAudio::Segment>{};
    }

    std::vector<EditSession::Clip> audioClips;
    std::copy_if(timeline.clips.begin(), timeline.clips.end(), std::back_inserter(audioClips),
                 [](const EditSession::Clip& clip) { return EditSession::isAudioClip(clip); });
    std::stable_sort(audioClips.begin(), audioClips.end(), [](const EditSession::Clip& a, const EditSession::Clip& b) {
        return a.track.value_or(1) < b.track.value_or(1);
    });
    std::vector<TimelineScrubAudio::Segment> segments;
    for (const EditSession::Clip& clip : audioClips) {
        if (segments.size() >= kMostSegments) {
            break;
        }
        const double start = clip.startTime.value_or(0);
        if (session.isTrackMuted(TimelineTrackKey::audio(clip.track.value_or(1))) || start > playhead
            || playhead >= start + clip.duration.value_or(0) - kEndTolerance) {
            continue;
        }
        if (std::optional<TimelineScrubAudio::Segment> segment = segmentOf(clip, clip.id)) {
            segments.push_back(std::move(*segment));
        }
    }
    return segments;
}

} // namespace velmora::PreviewPlayerItem
