#include "editing/TimelineFrameMap.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <string_view>
#include <unordered_map>

#include "model/ClipSpeed.h"
#include "platform/foundation/FrameRates.h"
#include "platform/foundation/NumberText.h"
#include "platform/foundation/StringText.h"
#include "platform/media/FrameStart.h"

namespace velmora {

namespace {

constexpr double kMappedRampTolerance = 0.01;
// A source end given by an out point counts only this far past the in point.
constexpr double kShortestOutSpan = 0.0001;
// A clip reads at least this much of its source.
constexpr double kShortestSourceSpan = 0.001;
// Frame numbers within this many frames of a whole number count as that number: a frame's start,
// computed in floating point, stays on its frame (the grid's own term).
constexpr double kFrameTolerance = 1e-6;
// A piece of a source starting at most this long after the previous piece of it ends continues it.
constexpr double kContinuationGap = 0.08;
// An in point less than this before where the previous piece ended is the piece's own.
constexpr double kContinuationOverlap = 0.05;
// A file duration counts as one only above this.
constexpr double kShortestFileDuration = 0.05;
// 2^53: frame numbers up to it are exact in a double.
constexpr double kLargestMappedFrame = 9007199254740992.0;

double finiteOr(std::optional<double> value, double fallback)
{
    return value && std::isfinite(*value) ? *value : fallback;
}

double clampedFrame(double frames)
{
    if (std::isnan(frames)) {
        return 0;
    }
    return std::clamp(frames, -kLargestMappedFrame, kLargestMappedFrame);
}

// The source time the clip's span ends at: the in point plus its duration at its speed,
// extended to an out point further on; never less than the in point plus 1 ms.
double sourceEnd(const ClipTiming& clip)
{
    double end = clip.inPoint + clip.duration * effectiveClipSpeed(clip.speed);
    if (clip.outPoint && std::isfinite(*clip.outPoint) && *clip.outPoint > clip.inPoint + kShortestOutSpan) {
        end = std::max(end, *clip.outPoint);
    }
    return std::max(end, clip.inPoint + kShortestSourceSpan);
}

} // namespace

std::optional<double> trackFrameRate(const AssetTrack& track)
{
    if (track.nominalFrameRate > 1 && std::isfinite(track.nominalFrameRate)) {
        return exactFrameRate(track.nominalFrameRate);
    }
    const double d = track.minFrameDuration.seconds();
    if (std::isfinite(d) && d > 0.000001) {
        return exactFrameRate(std::max(1.0 / d, 1.0));
    }
    return std::nullopt;
}

std::string clipKeyNumber(double value)
{
    std::string text = NumberText::shortest(value);
    if (std::isfinite(value) && text.find_first_of(".e") == std::string::npos) {
        text += ".0";
    }
    return text;
}

SourceVideo SourceVideo::of(const Asset& asset)
{
    SourceVideo video;
    if (asset.isStillImage()) {
        video.still = true;
        return video;
    }
    const AssetTrack* track = asset.firstTrack(MediaType::video);
    if (!track) {
        return video;
    }
    video.frameRate = trackFrameRate(*track);
    if (const double duration = asset.durationSeconds(); std::isfinite(duration) && duration > 0) {
        video.duration = duration;
    }
    const double end = track->timeRange.end().seconds();
    if (std::isfinite(end) && end > 0) {
        video.videoEnd = end;
    }
    return video;
}

namespace {

// The fields a session clip and a job clip share, read alike.
template <typename AnyClip>
ClipTiming sharedTiming(const AnyClip& clip)
{
    ClipTiming timing;
    timing.sourceId = clip.sourceId;
    timing.lane = clip.track.value_or(1);
    timing.start = finiteOr(clip.startTime, 0);
    timing.duration = finiteOr(clip.duration, 0);
    timing.inPoint = std::max(finiteOr(clip.inPoint, 0), 0.0);
    timing.outPoint = clip.outPoint;
    timing.speed = clip.speed;
    return timing;
}

// The key of a clip without an id of its own.
template <typename AnyClip>
std::string compositeKey(const AnyClip& clip)
{
    return clip.sourceId.value_or("") + "|" + clipKeyNumber(clip.startTime.value_or(0)) + "|" +
           NumberText::integer(clip.track.value_or(0)) + "|" + clipKeyNumber(clip.inPoint.value_or(0));
}

} // namespace

ClipTiming ClipTiming::of(const EditorJobV2::Clip& clip, bool includeImages)
{
    ClipTiming timing = sharedTiming(clip);
    if (clip.speedKeyframes) {
        timing.speedKeyframes = *clip.speedKeyframes;
    }
    const std::string type = clip.type ? StringText::lowercased(StringText::trimmed(*clip.type)) : std::string();
    timing.picture = type == "video" || (type == "image" && includeImages);
    timing.video = type == "video";
    timing.key = clip.id && !clip.id->empty() ? *clip.id : compositeKey(clip);
    return timing;
}

ClipTiming ClipTiming::of(const EditSession::Clip& clip)
{
    ClipTiming timing = sharedTiming(clip);
    const std::string kind = EditSession::normalizedClipType(clip.type, clip.name);
    timing.picture = kind == "video" || kind == "image";
    timing.video = kind == "video";
    timing.key = !clip.id.empty() ? clip.id : compositeKey(clip);
    return timing;
}

TimelineFrameMap::TimelineFrameMap(std::vector<ClipTiming> clips, FrameGrid grid,
                                   std::map<std::string, SourceVideo> sources)
    : clips_(std::move(clips)), grid_(grid), sources_(std::move(sources))
{
    const std::vector<double> inPoints = continuedInPoints(clips_, sources_);
    for (std::size_t i = 0; i < clips_.size(); ++i) {
        clips_[i].inPoint = inPoints[i];
    }
}

double TimelineFrameMap::sourceRangeEnd(const ClipTiming& clip, std::optional<double> fileDuration)
{
    const double in = std::isfinite(clip.inPoint) ? std::max(clip.inPoint, 0.0) : 0.0;
    const double duration = std::isfinite(clip.duration) ? std::max(clip.duration, 0.0) : 0.0;
    double end = in + duration * effectiveClipSpeed(clip.speed);
    if (clip.outPoint && std::isfinite(*clip.outPoint) && *clip.outPoint > in + kShortestOutSpan) {
        end = std::max(end, *clip.outPoint);
    }
    if (fileDuration && std::isfinite(*fileDuration) && *fileDuration > kShortestFileDuration) {
        end = std::min(end, *fileDuration);
    }
    return std::max(end, in + kShortestSourceSpan);
}

std::vector<double> TimelineFrameMap::continuedInPoints(const std::vector<ClipTiming>& clips,
                                                        const std::map<std::string, SourceVideo>& sources)
{
    std::vector<double> inPoints(clips.size());
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < clips.size(); ++i) {
        inPoints[i] = clips[i].inPoint;
        if (clips[i].video) {
            order.push_back(i);
        }
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return clips[a].start < clips[b].start; });
    std::unordered_map<std::string_view, std::size_t> firstPosition;
    firstPosition.reserve(order.size());
    for (std::size_t position = 0; position < order.size(); ++position) {
        firstPosition.emplace(clips[order[position]].key, position);
    }
    for (std::size_t i = 0; i < clips.size(); ++i) {
        const ClipTiming& clip = clips[i];
        if (!clip.sourceId) {
            continue;
        }
        const auto found = firstPosition.find(clip.key);
        if (found == firstPosition.end() || found->second == 0) {
            continue;
        }
        const ClipTiming& previous = clips[order[found->second - 1]];
        if (previous.sourceId != clip.sourceId ||
            clip.start - (previous.start + previous.duration) > kContinuationGap) {
            continue;
        }
        // Whether the clip continues is decided on where the previous piece's range ends as
        // written, as a session's loading decides it without knowing any file's length: a piece
        // that runs past its file's end has shown the file to its end, so the next one never
        // shows that tail again. It continues from where the file ends, black from there on.
        const auto file = sources.find(*previous.sourceId);
        if (clip.inPoint < sourceRangeEnd(previous, std::nullopt) - kContinuationOverlap) {
            inPoints[i] = sourceRangeEnd(previous, file == sources.end() ? std::nullopt : file->second.duration);
        }
    }
    return inPoints;
}

std::int64_t TimelineFrameMap::firstFrameAtOrAfter(const FrameGrid& grid, double seconds)
{
    return static_cast<std::int64_t>(clampedFrame(std::ceil(seconds * grid.rate() - kFrameTolerance)));
}

std::pair<std::int64_t, std::int64_t> TimelineFrameMap::framesOf(const FrameGrid& grid, double start, double duration)
{
    if (!(duration > 0) || !std::isfinite(start) || !std::isfinite(duration)) {
        return {0, 0};
    }
    return {firstFrameAtOrAfter(grid, start), firstFrameAtOrAfter(grid, start + duration)};
}

std::optional<std::size_t> TimelineFrameMap::clipAt(std::int64_t frame) const
{
    std::optional<std::size_t> best;
    for (std::size_t i = 0; i < clips_.size(); ++i) {
        const ClipTiming& clip = clips_[i];
        if (!clip.picture) {
            continue;
        }
        const auto [first, end] = framesOf(grid_, clip.start, clip.duration);
        if (frame < first || frame >= end) {
            continue;
        }
        if (!best) {
            best = i;
            continue;
        }
        const ClipTiming& current = clips_[*best];
        if (clip.lane < current.lane || (clip.lane == current.lane && clip.start > current.start)) {
            best = i;
        }
    }
    return best;
}

ShownFrame TimelineFrameMap::clipFrame(std::size_t index, std::int64_t frame) const
{
    ShownFrame shown;
    if (index >= clips_.size()) {
        return shown;
    }
    const ClipTiming& clip = clips_[index];
    shown.clip = index;
    shown.sourceId = clip.sourceId;
    shown.sourceTime = sourceTime(clip, grid_.start(frame) - clip.start);
    if (!clip.sourceId) {
        return shown;
    }
    const auto found = sources_.find(*clip.sourceId);
    const SourceVideo* video = found == sources_.end() ? nullptr : &found->second;
    if (!video) {
        return shown;
    }
    const SourcePick pick = pickSourceFrame(*video, shown.sourceTime);
    if (pick.pastEnd) {
        return ShownFrame{};
    }
    shown.sourceFrame = pick.frame;
    return shown;
}

TimelineFrameMap::SourcePick TimelineFrameMap::pickSourceFrame(const SourceVideo& video, double sourceTime)
{
    SourcePick pick;
    if (video.still) {
        pick.frame = 0;
        return pick;
    }
    std::optional<double> firstShown;
    if (video.frameRate) {
        pick.frame = firstFrameStartingAtOrAfter(sourceTime, *video.frameRate);
        if (pick.frame) {
            firstShown = static_cast<double>(*pick.frame) / *video.frameRate;
        }
    }
    // The frame a reader would decode there starts at or past the last one's end: no frame.
    pick.pastEnd = video.videoEnd && std::isfinite(*video.videoEnd) &&
                   firstShown.value_or(sourceTime) + kFrameStartToleranceSeconds >= *video.videoEnd;
    return pick;
}

std::vector<FrameRun> TimelineFrameMap::runs(const std::vector<ClipTiming>& clips, const FrameGrid& grid,
                                              std::int64_t first, std::int64_t end)
{
    std::vector<FrameRun> found;
    if (!(first < end)) {
        return found;
    }
    // Each picture clip enters the covering set on its first frame and leaves it on its end;
    // the set is ordered as clipAt ranks clips (lowest lane, then the later start, then the
    // earlier index), so its first member is clipAt's answer between two events.
    struct Event {
        std::int64_t frame;
        std::size_t clip;
        bool enters;
    };
    std::vector<Event> events;
    for (std::size_t i = 0; i < clips.size(); ++i) {
        if (!clips[i].picture) {
            continue;
        }
        const auto [shownFirst, shownEnd] = framesOf(grid, clips[i].start, clips[i].duration);
        const std::int64_t from = std::max(shownFirst, first);
        const std::int64_t to = std::min(shownEnd, end);
        if (from < to) {
            events.push_back({from, i, true});
            events.push_back({to, i, false});
        }
    }
    std::sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.frame < b.frame; });
    const auto ranksBefore = [&clips](std::size_t a, std::size_t b) {
        if (clips[a].lane != clips[b].lane) {
            return clips[a].lane < clips[b].lane;
        }
        if (clips[a].start != clips[b].start) {
            return clips[a].start > clips[b].start;
        }
        return a < b;
    };
    std::set<std::size_t, decltype(ranksBefore)> covering(ranksBefore);
    const auto extend = [&found](std::int64_t from, std::int64_t to, std::optional<std::size_t> clip) {
        if (!(from < to)) {
            return;
        }
        if (!found.empty() && found.back().clip == clip) {
            found.back().end = to;
        } else {
            found.push_back({from, to, clip});
        }
    };
    std::int64_t at = first;
    for (std::size_t k = 0; k < events.size();) {
        const std::int64_t frame = events[k].frame;
        extend(at, frame, covering.empty() ? std::nullopt : std::optional<std::size_t>(*covering.begin()));
        for (; k < events.size() && events[k].frame == frame; ++k) {
            if (events[k].enters) {
                covering.insert(events[k].clip);
            } else {
                covering.erase(events[k].clip);
            }
        }
        at = frame;
    }
    extend(at, end, std::nullopt);
    return found;
}

std::int64_t TimelineFrameMap::fileEndFrame(std::size_t index, std::int64_t first, std::int64_t end) const
{
    // Most clips end within their files: one look at the last frame tells.
    if (!(first < end) || !clipFrame(index, end - 1).gap()) {
        return end;
    }
    // Else the first frame whose answer is a gap, by halving: past the end once means past it
    // after.
    std::int64_t low = first;
    std::int64_t high = end - 1;
    while (low < high) {
        const std::int64_t middle = low + (high - low) / 2;
        if (clipFrame(index, middle).gap()) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return low;
}

ShownFrame TimelineFrameMap::frame(std::int64_t frame) const
{
    const std::optional<std::size_t> clip = clipAt(frame);
    return clip ? clipFrame(*clip, frame) : ShownFrame{};
}

bool TimelineFrameMap::usesRamp(const ClipTiming& clip)
{
    if (clip.speedKeyframes.size() < 2) {
        return false;
    }
    return std::any_of(clip.speedKeyframes.begin(), clip.speedKeyframes.end(), [](const auto& keyframe) {
        return std::fabs(effectiveClipSpeed(keyframe.speed) - 1.0) > kMappedRampTolerance;
    });
}

double TimelineFrameMap::sourceOffset(const ClipTiming& clip, double local)
{
    const double d = std::max(clip.duration, 0.0);
    const double length = std::clamp(std::isfinite(local) ? local : 0.0, 0.0, d);
    const std::vector<EditorJobV2::SpeedKeyframe>& keyframes = clip.speedKeyframes;
    if (keyframes.size() < 2) {
        return length * effectiveClipSpeed(clip.speed);
    }

    double maxTime = keyframes.front().time;
    for (const auto& keyframe : keyframes) {
        maxTime = std::max(maxTime, keyframe.time);
    }
    double scale = 1;
    if (d > 2.0) {
        if (maxTime > 0 && maxTime <= 1.01) {
            scale = d; // fractions of the clip
        } else if (maxTime > 20 && maxTime <= 100) {
            scale = d / 100; // percent of the clip
        }
    }

    struct Point {
        double time;
        double speed;
    };
    std::vector<Point> points;
    points.reserve(keyframes.size());
    for (const auto& keyframe : keyframes) {
        points.push_back({keyframe.time * scale, effectiveClipSpeed(keyframe.speed)});
    }
    std::stable_sort(points.begin(), points.end(), [](const Point& a, const Point& b) { return a.time < b.time; });

    double offset = 0;
    if (points.front().time > 0) {
        const double lead = std::min(points.front().time, length);
        if (lead > 0) {
            offset = lead * points.front().speed;
        }
    }
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        const double ta = std::max(points[i].time, 0.0);
        const double tb = std::max(points[i + 1].time, ta);
        if (length <= ta) {
            break;
        }
        const double segment = std::min(tb, length) - ta;
        if (segment > 0) {
            const double span = std::max(tb - ta, 0.000001);
            const double va = points[i].speed;
            const double vb = points[i + 1].speed;
            offset += segment * (va + va + (segment / span) * (vb - va)) * 0.5;
        }
        if (length <= tb) {
            break;
        }
    }
    if (points.back().time < length) {
        offset += (length - points.back().time) * points.back().speed;
    }
    return offset;
}

double TimelineFrameMap::sourceTime(const ClipTiming& clip, double local)
{
    const double offset =
        usesRamp(clip) ? sourceOffset(clip, local) : std::max(local, 0.0) * effectiveClipSpeed(clip.speed);
    return std::max(std::min(clip.inPoint + offset, sourceEnd(clip)), clip.inPoint);
}

} // namespace velmora
