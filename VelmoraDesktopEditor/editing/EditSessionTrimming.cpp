// Trimming one edge of a clip to a timeline time, with the partner audio following.
//
//   head trim to t (shorten):  |----A----|   ->      |--A--|      in-point moves by (t - start) * speed
//   tail trim to t (shorten):  |----A----|   ->  |--A--|          duration only
//   tail trim to t (lengthen): |--A--|       ->  |----A----|      as far as the source reaches;
//                                                                 a still has no source end; a
//                                                                 clip already past its source's
//                                                                 end stays as it is
//   head trim to t (lengthen):     |--A--|   ->  |----A----|      back into media before the in
//                                                                 point, never before 0
//
// Each trim says where its edge landed and why it stopped there (trimLanding): where it was
// asked to, at the media's start or end, at the timeline's start, or refused (too little, too
// short, or already at that limit), so the words of a refusal are true.
//
// A lone video clip takes its audio to the same edge; a video clip that shares its audio with
// sibling pieces of an earlier split cuts that audio at its own edges instead, and audio pieces
// left under no related video clip are deleted.

#include <algorithm>
#include <cmath>

#include "editing/TimelineEditingSupport.h"
#include "model/MediaResolver.h"
#include "model/EditSession.h"

namespace velmora {

using namespace editing;

namespace {

constexpr double kMinimumHeadChange = 0.033;
constexpr double kMinimumExtension = 0.02;
constexpr double kMinimumTailLength = 0.05;
constexpr double kMinimumTailChange = 0.02;
constexpr double kPairingOverlap = 0.02;

bool overlapsSpan(const EditSession::Clip& clip, double start, double end)
{
    return endOf(clip) > start + kPairingOverlap && startOf(clip) < end - kPairingOverlap;
}

std::string stemOf(const EditSession::Clip& clip)
{
    return EditSession::mediaStem(clip.name.value_or(""));
}

// The length of the file the clip's source resolved to, never another file of the clip's name;
// none for a still (its file is not read), without a file or when its length cannot be read.
// Reads the file's header.
std::optional<double> sourceSecondsOf(const EditSession::Clip& clip, const EditSession::SourceFiles* sourceFiles)
{
    if (kindOf(clip) == "image" || !sourceFiles || !clip.sourceId) {
        return std::nullopt;
    }
    const auto file = sourceFiles->find(*clip.sourceId);
    return file != sourceFiles->end() ? MediaResolver::fileDurationSeconds(file->second) : std::nullopt;
}

void pruneOrphanPairedAudio(EditSession& session, const std::string& stem,
                            const std::optional<std::string>& groupId,
                            const std::optional<std::string>& sourceId, std::size_t timelineIndex)
{
    const Timeline* timeline = timelineAt(session, timelineIndex);
    if (!timeline) {
        return;
    }
    const auto related = [&](const Clip& clip) {
        return (groupId && !groupId->empty() && clip.groupId == groupId) || (!stem.empty() && stemOf(clip) == stem)
            || (sourceId && clip.sourceId == sourceId);
    };
    // Each clip is classified once. An audio clip is covered when some related video clip
    // meets both overlap tests; the related video spans are sorted by start, so the clips that
    // pass the first test (a monotone one in the start) form a prefix, and the second test holds
    // for one of them exactly when it holds for the largest end in that prefix. Spans that are
    // not numbers pass neither test and are left out.
    struct VideoSpan {
        double start;
        double endLessOverlap;
    };
    std::vector<VideoSpan> videos;
    std::vector<const Clip*> audios;
    for (const Clip& clip : timeline->clips) {
        const bool video = isVideo(clip);
        if ((!video && !isAudio(clip)) || !related(clip)) {
            continue;
        }
        if (!video) {
            audios.push_back(&clip);
        } else if (const double start = startOf(clip), end = endOf(clip); !std::isnan(start) && !std::isnan(end)) {
            videos.push_back({start, end - kPairingOverlap});
        }
    }
    std::sort(videos.begin(), videos.end(), [](const VideoSpan& a, const VideoSpan& b) { return a.start < b.start; });
    std::vector<double> largestEnd(videos.size());
    for (std::size_t i = 0; i < videos.size(); ++i) {
        largestEnd[i] = i == 0 ? videos[i].endLessOverlap : std::max(largestEnd[i - 1], videos[i].endLessOverlap);
    }
    std::vector<std::string> orphans;
    for (const Clip* audio : audios) {
        const double audioEnd = endOf(*audio);
        const auto beyond = std::partition_point(videos.begin(), videos.end(), [&](const VideoSpan& video) {
            return audioEnd > video.start + kPairingOverlap;
        });
        const std::size_t candidates = static_cast<std::size_t>(beyond - videos.begin());
        const bool covered = candidates > 0 && startOf(*audio) < largestEnd[candidates - 1];
        if (!covered) {
            orphans.push_back(audio->id);
        }
    }
    if (!orphans.empty()) {
        session.deleteClips(orphans);
    }
}

void syncPartnerAudioTrim(EditSession& session, const Clip& video, double toTimelineTime,
                          EditSession::TrimEdgeKind edge, std::size_t timelineIndex)
{
    const Timeline* timeline = timelineAt(session, timelineIndex);
    if (!timeline) {
        return;
    }
    const double videoStart = startOf(video);
    const double videoEnd = endOf(video);
    const std::string stem = stemOf(video);

    // The union of the three pairing rules, visited in timeline order.
    std::vector<std::string> found = session.partnerAudioIdsForVideoTrim(video, timelineIndex);
    for (auto&& id : session.audioIdsPairedWithVideo(video, toTimelineTime, timelineIndex)) {
        found.push_back(std::move(id));
    }
    for (auto&& id : session.audioIdsOverlappingTimelineRange(videoStart, videoEnd, stem, video.sourceId, timelineIndex)) {
        found.push_back(std::move(id));
    }
    std::vector<std::string> partners;
    for (const Clip& clip : timeline->clips) {
        if (std::find(found.begin(), found.end(), clip.id) != found.end()
            && std::find(partners.begin(), partners.end(), clip.id) == partners.end()) {
            partners.push_back(clip.id);
        }
    }

    int siblings = 0;
    for (const Clip& clip : timeline->clips) {
        if (!isVideo(clip)) {
            continue;
        }
        const bool groupMatch = video.groupId && !video.groupId->empty() && clip.groupId == video.groupId;
        if (groupMatch || (!stem.empty() && stemOf(clip) == stem)) {
            ++siblings;
        }
    }

    for (const std::string& id : partners) {
        const auto location = session.clipLocation(id);
        if (!location) {
            continue;
        }
        if (session.isClipOnLockedTrack(session.timelines[location->timelineIndex].clips[location->clipIndex], timelineIndex)) {
            continue;
        }
        if (siblings < 2) {
            // Each audio clip meets the same refusals as a clip trimmed on its own.
            if (edge == EditSession::TrimEdgeKind::tail) {
                session.trimClipTail(id, toTimelineTime, false, nullptr);
            } else {
                session.trimClipHead(id, toTimelineTime, false, nullptr);
            }
        } else {
            session.isolateAudioBedToVideoSpan(id, videoStart, videoEnd, timelineIndex);
        }
    }

    pruneOrphanPairedAudio(session, stem, video.groupId, video.sourceId, timelineIndex);
}

// The shared frame of both edge trims. `editEdge` changes a copy of the clip `id` of the active
// timeline, or returns false to refuse; the changed clip is normalised and stored, its partner
// audio follows when asked, and the timeline's duration is recomputed. Refused without an active
// timeline, for a time that is not finite, and for a missing clip or one on a locked lane.
template <class EditEdge>
bool trimEdge(EditSession& session, const std::string& id, double toTimelineTime, bool syncLinkedAudio,
              EditSession::TrimEdgeKind edge, const EditEdge& editEdge)
{
    const auto active = session.activeTimelineIndex();
    if (!active || !isFinite(toTimelineTime)) {
        return false;
    }
    const auto index = indexOfClip(session.timelines[*active], id);
    if (!index) {
        return false;
    }
    EditSession::Clip clip = session.timelines[*active].clips[*index];
    if (session.isClipOnLockedTrack(clip, *active) || !editEdge(clip)) {
        return false;
    }
    normalizeClipTiming(clip);
    session.timelines[*active].clips[*index] = clip;

    if (syncLinkedAudio && isVideo(clip)) {
        syncPartnerAudioTrim(session, clip, toTimelineTime, edge, *active);
    }
    session.recomputeTimelineDuration();
    return true;
}

// The visual clip under the playhead on the active timeline, if any.
std::optional<EditSession::Clip> visualClipOfActiveTimeline(const EditSession& session, double playhead)
{
    const auto active = session.activeTimelineIndex();
    if (!active) {
        return std::nullopt;
    }
    return session.visualClip(playhead, *active);
}

// Trims the clip's edge as trimLanding says, with the length `sourceSecondsOf` gives the file of
// the clip as it stands.
template <class SourceSeconds>
EditSession::TrimLanding trimClipEdgeWith(EditSession& session, const std::string& id, EditSession::TrimEdgeKind edge,
                                          double toTimelineTime, bool syncLinkedAudio,
                                          const SourceSeconds& sourceSecondsOfClip)
{
    EditSession::TrimLanding landing{false, EditSession::TrimStop::tooLittle, 0, 0};
    trimEdge(session, id, toTimelineTime, syncLinkedAudio, edge, [&](Clip& clip) {
        landing = EditSession::trimLanding(clip, edge, toTimelineTime, sourceSecondsOfClip(clip));
        if (!landing.trimmed) {
            return false;
        }
        if (edge == EditSession::TrimEdgeKind::head) {
            const double moved = landing.start - startOf(clip);
            const double in = inPointOf(clip) + moved * speedOf(clip);
            clip.inPoint = moved < 0 ? std::max(in, 0.0) : in;
            clip.startTime = landing.start;
        }
        clip.duration = landing.duration;
        return true;
    });
    return landing;
}

} // namespace

EditSession::TrimReach EditSession::trimReach(const Clip& clip, std::optional<double> sourceSeconds)
{
    const double start = startOf(clip);
    const double duration = durationOf(clip);
    const double in = std::max(inPointOf(clip), 0.0);
    const double speed = speedOf(clip);
    TrimReach reach;
    // The head moves back only into source media before the in point, and never before the
    // timeline's start.
    const double intoSource = in / speed;
    const double beforeStart = std::max(start, 0.0);
    reach.headStop = intoSource <= beforeStart ? TrimStop::fileStart : TrimStop::timelineStart;
    reach.headRoom = std::min(intoSource, beforeStart);
    // A still has no source end: its out point only records the length it was given, so it grows
    // as a clip whose source length is unknown does (by up to 120 s, or to twice its length, per
    // trim).
    const double withoutSourceEnd = std::max(duration + 120.0, 2.0 * duration);
    if (kindOf(clip) == "image") {
        reach.longestDuration = withoutSourceEnd;
    } else if (sourceSeconds) {
        reach.longestDuration = std::max((*sourceSeconds - in) / speed, 0.05);
        reach.tailStop = TrimStop::fileEnd;
    } else if (clip.outPoint && in + 0.01 < *clip.outPoint) {
        reach.longestDuration = std::max(duration, (*clip.outPoint - in) / speed);
        reach.tailStop = TrimStop::outPoint;
    } else {
        reach.longestDuration = withoutSourceEnd;
    }
    return reach;
}

EditSession::TrimLanding EditSession::trimLanding(const Clip& clip, TrimEdgeKind edge, double toTimelineTime,
                                                  std::optional<double> sourceSeconds)
{
    const double start = startOf(clip);
    const double duration = durationOf(clip);
    TrimLanding landing{false, TrimStop::tooLittle, start, duration};
    if (!isFinite(toTimelineTime)) {
        return landing;
    }
    const TrimReach reach = trimReach(clip, sourceSeconds);
    if (edge == TrimEdgeKind::head) {
        const double delta = toTimelineTime - start;
        if (std::abs(delta) < kMinimumHeadChange) {
            return landing;
        }
        if (delta > 0) {
            if (!(delta < duration - kMinimumHeadChange)) {
                landing.stop = TrimStop::tooShort;
                return landing;
            }
            landing.start = toTimelineTime;
            landing.stop = TrimStop::asked;
        } else {
            const double room = reach.headRoom;
            if (room < kMinimumExtension) {
                landing.stop = reach.headStop;
                return landing;
            }
            landing.start = -delta <= room ? toTimelineTime : start - room;
            landing.stop = -delta <= room ? TrimStop::asked : reach.headStop;
        }
        landing.duration = duration - (landing.start - start);
        landing.trimmed = true;
        return landing;
    }
    const double asked = toTimelineTime - start;
    if (asked <= kMinimumTailLength) {
        landing.stop = TrimStop::tooShort;
        return landing;
    }
    // The source's end stops a tail going out, and never pulls one in: a clip that already runs
    // past its file's end keeps its length when the tail is moved outward, and moved inward stops
    // at that end at the latest.
    const double newDuration = std::min(asked, asked > duration ? std::max(reach.longestDuration, duration)
                                                                : reach.longestDuration);
    const TrimStop stop = newDuration < asked ? reach.tailStop : TrimStop::asked;
    if (std::abs(newDuration - duration) < kMinimumTailChange) {
        landing.stop = stop == TrimStop::asked ? TrimStop::tooLittle : stop;
        return landing;
    }
    landing = TrimLanding{true, stop, start, newDuration};
    return landing;
}

EditSession::TrimLanding EditSession::trimClipEdge(const std::string& id, TrimEdgeKind edge, double toTimelineTime,
                                                   bool syncLinkedAudio, const SourceFiles* sourceFiles)
{
    return trimClipEdgeWith(*this, id, edge, toTimelineTime, syncLinkedAudio, [&](const Clip& clip) {
        // A head trim never reads the file: only the tail reaches its end.
        return edge == TrimEdgeKind::tail ? sourceSecondsOf(clip, sourceFiles) : std::nullopt;
    });
}

EditSession::TrimLanding EditSession::trimClipEdge(const std::string& id, TrimEdgeKind edge, double toTimelineTime,
                                                   bool syncLinkedAudio, std::optional<double> sourceSeconds)
{
    return trimClipEdgeWith(*this, id, edge, toTimelineTime, syncLinkedAudio, [&](const Clip&) { return sourceSeconds; });
}

bool EditSession::trimClipHead(const std::string& id, double toTimelineTime, bool syncLinkedAudio,
                               const SourceFiles* /*sourceFiles*/)
{
    return trimClipEdge(id, TrimEdgeKind::head, toTimelineTime, syncLinkedAudio, nullptr).trimmed;
}

bool EditSession::trimClipStartAtPlayhead(double playhead, bool syncLinkedAudio)
{
    const std::optional<Clip> clip = visualClipOfActiveTimeline(*this, playhead);
    return clip && trimClipHead(clip->id, playhead, syncLinkedAudio, nullptr);
}

bool EditSession::trimClipTail(const std::string& id, double toTimelineTime, bool syncLinkedAudio,
                               const SourceFiles* sourceFiles)
{
    return trimClipEdge(id, TrimEdgeKind::tail, toTimelineTime, syncLinkedAudio, sourceFiles).trimmed;
}

bool EditSession::trimClipEndAtPlayhead(double playhead, bool syncLinkedAudio)
{
    const std::optional<Clip> clip = visualClipOfActiveTimeline(*this, playhead);
    return clip && trimClipTail(clip->id, playhead, syncLinkedAudio, nullptr);
}

std::vector<std::string> EditSession::partnerAudioIdsForVideoTrim(const Clip& video, std::size_t timelineIndex) const
{
    const Timeline* timeline = timelineAt(*this, timelineIndex);
    if (!timeline) {
        return {};
    }
    const double videoStart = startOf(video);
    const double videoEnd = endOf(video);
    const std::string stem = stemOf(video);
    std::vector<std::string> ids;
    for (const Clip& audio : timeline->clips) {
        if (!isAudio(audio) || !overlapsSpan(audio, videoStart, videoEnd)) {
            continue;
        }
        const bool groupMatch = video.groupId && !video.groupId->empty() && audio.groupId == video.groupId;
        const bool sourceMatch = video.sourceId && audio.sourceId && *audio.sourceId == *video.sourceId;
        const bool stemMatch = !stem.empty() && stemOf(audio) == stem;
        if (groupMatch || sourceMatch || stemMatch) {
            ids.push_back(audio.id);
        }
    }
    return ids;
}

std::vector<std::string> EditSession::audioIdsOverlappingTimelineRange(double start, double end,
                                                                       const std::string& stem,
                                                                       const std::optional<std::string>& videoSourceId,
                                                                       std::size_t timelineIndex) const
{
    const Timeline* timeline = timelineAt(*this, timelineIndex);
    if (!timeline) {
        return {};
    }
    std::vector<std::string> ids;
    for (const Clip& audio : timeline->clips) {
        if (!isAudio(audio) || !overlapsSpan(audio, start, end)) {
            continue;
        }
        const bool sourceMatch = videoSourceId && audio.sourceId && *audio.sourceId == *videoSourceId;
        const bool stemMatch = !stem.empty() && stemOf(audio) == stem;
        const bool matchAll = stem.empty() && !videoSourceId;
        if (sourceMatch || stemMatch || matchAll) {
            ids.push_back(audio.id);
        }
    }
    return ids;
}

void EditSession::isolateAudioBedToVideoSpan(const std::string& audioId, double videoStart, double videoEnd,
                                             std::size_t timelineIndex)
{
    const Timeline* timeline = timelineAt(*this, timelineIndex);
    if (!timeline || !isFinite(videoStart) || !isFinite(videoEnd)) {
        return;
    }
    const auto index = indexOfClip(*timeline, audioId);
    if (!index) {
        return;
    }
    std::string currentId = audioId;
    if (startOf(timeline->clips[*index]) < videoStart - kPairingOverlap) {
        if (auto rightId = splitClipReturningRightId(currentId, videoStart, timelineIndex)) {
            currentId = std::move(*rightId);
        }
    }
    timeline = timelineAt(*this, timelineIndex);
    const auto current = indexOfClip(*timeline, currentId);
    if (current && endOf(timeline->clips[*current]) > videoEnd + kPairingOverlap) {
        splitClipReturningRightId(currentId, videoEnd, timelineIndex);
    }
}

} // namespace velmora
