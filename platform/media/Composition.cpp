#include "platform/media/Composition.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/foundation/Error.h"

namespace velmora {

namespace {

__extension__ typedef __int128 Int128;

const char* const kDomain = "composition";
constexpr int kInvalidTimeCode = 1;
constexpr int kMediaTypeMismatchCode = 2;

bool isUsableTime(const MediaTime& time)
{
    return time.isNumeric() && time >= MediaTime::zero();
}

bool isUsableRange(const MediaTimeRange& range)
{
    return isUsableTime(range.start) && isUsableTime(range.duration);
}

bool multiplyChecked(Int128 a, Int128 b, Int128& out)
{
    return !__builtin_mul_overflow(a, b, &out);
}

// time × numerator ÷ denominator on `timescale`, rounded to the nearest tick. All three are
// numeric and the denominator positive. Exact in 128 bits where the product fits, otherwise
// computed in extended precision.
MediaTime scaledTime(const MediaTime& time, const MediaTime& numerator, const MediaTime& denominator,
                     std::int32_t timescale)
{
    // (a/A) × (b/B) ÷ (c/C) = a·b·C / (A·B·c); in ticks of T: a·b·C·T / (A·B·c).
    const Int128 a = time.value();
    const Int128 b = numerator.value();
    const Int128 c = denominator.value();
    Int128 top = 0;
    Int128 bottom = 0;
    if (multiplyChecked(a, b, top) && multiplyChecked(top, Int128(denominator.timescale()), top)
        && multiplyChecked(top, Int128(timescale), top)
        && multiplyChecked(Int128(time.timescale()) * numerator.timescale(), c, bottom)) {
        if (bottom < 0) {
            top = -top;
            bottom = -bottom;
        }
        Int128 quotient = top / bottom;
        const Int128 remainder = top % bottom;
        const Int128 twice = (remainder < 0 ? -remainder : remainder) * 2;
        if (twice >= bottom) {
            quotient += top < 0 ? -1 : 1;
        }
        if (quotient > std::numeric_limits<std::int64_t>::max()) {
            return MediaTime::positiveInfinity();
        }
        if (quotient < std::numeric_limits<std::int64_t>::min()) {
            return MediaTime::negativeInfinity();
        }
        return MediaTime(static_cast<std::int64_t>(quotient), timescale);
    }
    const long double seconds = static_cast<long double>(time.seconds()) * numerator.seconds()
                                / denominator.seconds();
    return MediaTime::fromSeconds(static_cast<double>(seconds), timescale);
}

std::int32_t finestTimescale(const MediaTime& a, const MediaTime& b)
{
    return std::max(a.timescale(), b.timescale());
}

} // namespace

CompositionTrack::CompositionTrack(int trackID, MediaType mediaType)
    : trackID_(trackID), mediaType_(mediaType)
{
}

MediaTime CompositionTrackSegment::sourceTime(const MediaTime& time) const
{
    const MediaTime offset = time - targetRange.start;
    if (sourceRange.duration == targetRange.duration) {
        return sourceRange.start + offset;
    }
    const double ratio = sourceRange.duration.seconds() / targetRange.duration.seconds();
    return sourceRange.start + MediaTime::fromSeconds(offset.seconds() * ratio, 1000000);
}

MediaTimeRange CompositionTrack::timeRange() const
{
    if (segments_.empty()) {
        return MediaTimeRange(MediaTime::zero(), MediaTime::zero());
    }
    return MediaTimeRange(MediaTime::zero(), segments_.back().targetRange.end());
}

void CompositionTrack::insertTimeRange(const MediaTimeRange& sourceRange,
                                       const CompositionSourceTrack& sourceTrack, const MediaTime& atTime)
{
    if (!isUsableRange(sourceRange)) {
        throw Error(kDomain, kInvalidTimeCode, "The source time range is not valid.");
    }
    if (!isUsableTime(atTime)) {
        throw Error(kDomain, kInvalidTimeCode, "The insertion time is not valid.");
    }
    if (sourceTrack.mediaType != mediaType_) {
        throw Error(kDomain, kMediaTypeMismatchCode,
                    "The source track's media type does not match the composition track.");
    }
    if (sourceRange.duration == MediaTime::zero()) {
        return;
    }
    const MediaTime end = timeRange().end();
    if (atTime > end) {
        segments_.push_back(CompositionTrackSegment{std::nullopt, MediaTimeRange(),
                                                    MediaTimeRange(end, atTime - end)});
    }
    const std::size_t index = splitAt(atTime);
    segments_.insert(segments_.begin() + static_cast<std::ptrdiff_t>(index),
                     CompositionTrackSegment{sourceTrack, sourceRange,
                                             MediaTimeRange(atTime, sourceRange.duration)});
    normalize(index > 0 ? index - 1 : 0);
}

void CompositionTrack::insertEmptyTimeRange(const MediaTimeRange& timeRange)
{
    if (!isUsableRange(timeRange)) {
        throw Error(kDomain, kInvalidTimeCode, "The time range is not valid.");
    }
    if (timeRange.duration == MediaTime::zero()) {
        return;
    }
    const MediaTime end = this->timeRange().end();
    if (timeRange.start > end) {
        segments_.push_back(CompositionTrackSegment{std::nullopt, MediaTimeRange(),
                                                    MediaTimeRange(end, timeRange.start - end)});
    }
    const std::size_t index = splitAt(timeRange.start);
    segments_.insert(segments_.begin() + static_cast<std::ptrdiff_t>(index),
                     CompositionTrackSegment{std::nullopt, MediaTimeRange(), timeRange});
    normalize(index > 0 ? index - 1 : 0);
}

void CompositionTrack::removeTimeRange(const MediaTimeRange& timeRange)
{
    if (!isUsableRange(timeRange) || timeRange.duration == MediaTime::zero()) {
        return;
    }
    const MediaTime end = std::min(timeRange.end(), this->timeRange().end());
    if (timeRange.start >= end) {
        return;
    }
    const std::size_t first = splitAt(timeRange.start);
    const std::size_t last = splitAt(end);
    segments_.erase(segments_.begin() + static_cast<std::ptrdiff_t>(first),
                    segments_.begin() + static_cast<std::ptrdiff_t>(last));
    normalize(first > 0 ? first - 1 : 0);
}

void CompositionTrack::scaleTimeRange(const MediaTimeRange& timeRange, const MediaTime& toDuration)
{
    if (!isUsableRange(timeRange) || timeRange.duration == MediaTime::zero() || !isUsableTime(toDuration)) {
        return;
    }
    const MediaTime end = std::min(timeRange.end(), this->timeRange().end());
    if (timeRange.start >= end) {
        return;
    }
    const std::size_t first = splitAt(timeRange.start);
    const std::size_t last = splitAt(end);
    for (std::size_t i = first; i < last; ++i) {
        MediaTimeRange& target = segments_[i].targetRange;
        const std::int32_t timescale = std::max(finestTimescale(target.duration, toDuration),
                                                timeRange.duration.timescale());
        target.duration = scaledTime(target.duration, toDuration, timeRange.duration, timescale);
    }
    normalize(first > 0 ? first - 1 : 0);
}

std::optional<std::size_t> CompositionTrack::segmentIndex(const MediaTime& time) const
{
    if (!time.isNumeric()) {
        return std::nullopt;
    }
    // Segments are contiguous and ordered: find the last one starting at or before `time`.
    const auto after = std::upper_bound(segments_.begin(), segments_.end(), time,
                                        [](const MediaTime& t, const CompositionTrackSegment& segment) {
                                            return t < segment.targetRange.start;
                                        });
    if (after == segments_.begin()) {
        return std::nullopt;
    }
    const std::size_t index = static_cast<std::size_t>(after - segments_.begin()) - 1;
    if (!segments_[index].targetRange.containsTime(time)) {
        return std::nullopt;
    }
    return index;
}

std::size_t CompositionTrack::splitAt(const MediaTime& time)
{
    if (time <= MediaTime::zero()) {
        return 0;
    }
    const std::optional<std::size_t> found = segmentIndex(time);
    if (!found) {
        return segments_.size();
    }
    const std::size_t i = *found;
    const CompositionTrackSegment& segment = segments_[i];
    if (segment.targetRange.start == time) {
        return i;
    }
    CompositionTrackSegment head = segment;
    CompositionTrackSegment tail = segment;
    const MediaTime targetOffset = time - segment.targetRange.start;
    head.targetRange.duration = targetOffset;
    tail.targetRange = MediaTimeRange(time, segment.targetRange.end() - time);
    if (segment.source) {
        MediaTime sourceOffset = targetOffset;
        if (segment.sourceRange.duration != segment.targetRange.duration) {
            const std::int32_t timescale = finestTimescale(targetOffset, segment.sourceRange.duration);
            sourceOffset = scaledTime(targetOffset, segment.sourceRange.duration, segment.targetRange.duration,
                                      timescale);
        }
        const MediaTime sourceSplit = segment.sourceRange.start + sourceOffset;
        head.sourceRange.duration = sourceOffset;
        tail.sourceRange = MediaTimeRange(sourceSplit, segment.sourceRange.end() - sourceSplit);
    }
    segments_[i] = std::move(head);
    segments_.insert(segments_.begin() + static_cast<std::ptrdiff_t>(i) + 1, std::move(tail));
    return i + 1;
}

void CompositionTrack::normalize(std::size_t from)
{
    // Edits before `from` are canonical and untouched, so their starts already are the running
    // sums; the pass resumes one edit earlier, where an empty edit may merge with a new one.
    std::size_t write = from > 0 ? from - 1 : 0;
    const std::size_t read = write;
    for (std::size_t r = read; r < segments_.size(); ++r) {
        CompositionTrackSegment& segment = segments_[r];
        if (segment.targetRange.duration <= MediaTime::zero()) {
            continue;
        }
        if (segment.isEmpty()) {
            segment.sourceRange = MediaTimeRange();
            if (write > read && segments_[write - 1].isEmpty()) {
                segments_[write - 1].targetRange.duration += segment.targetRange.duration;
                continue;
            }
        }
        if (write != r) {
            segments_[write] = std::move(segment);
        }
        ++write;
    }
    segments_.erase(segments_.begin() + static_cast<std::ptrdiff_t>(write), segments_.end());
    MediaTime position = read > 0 ? segments_[read - 1].targetRange.end() : MediaTime::zero();
    for (std::size_t i = read; i < segments_.size(); ++i) {
        segments_[i].targetRange.start = position;
        position = segments_[i].targetRange.end();
    }
}

CompositionTrack* Composition::addMutableTrack(MediaType mediaType, int preferredTrackID)
{
    if (preferredTrackID < 0) {
        return nullptr;
    }
    int trackID = preferredTrackID;
    if (trackID == 0) {
        if (highestTrackID_ == std::numeric_limits<int>::max()) {
            return nullptr;
        }
        trackID = highestTrackID_ + 1;
    } else if (trackID <= highestTrackID_ && track(trackID) != nullptr) {
        return nullptr;
    }
    tracks_.emplace_back(trackID, mediaType);
    highestTrackID_ = std::max(highestTrackID_, trackID);
    return &tracks_.back();
}

void Composition::removeTrack(int trackID)
{
    tracks_.remove_if([trackID](const CompositionTrack& t) { return t.trackID() == trackID; });
    if (trackID == highestTrackID_) {
        highestTrackID_ = 0;
        for (const CompositionTrack& t : tracks_) {
            highestTrackID_ = std::max(highestTrackID_, t.trackID());
        }
    }
}

std::vector<const CompositionTrack*> Composition::tracks(MediaType mediaType) const
{
    std::vector<const CompositionTrack*> result;
    for (const CompositionTrack& t : tracks_) {
        if (t.mediaType() == mediaType) {
            result.push_back(&t);
        }
    }
    return result;
}

CompositionTrack* Composition::track(int trackID)
{
    for (CompositionTrack& t : tracks_) {
        if (t.trackID() == trackID) {
            return &t;
        }
    }
    return nullptr;
}

const CompositionTrack* Composition::track(int trackID) const
{
    return const_cast<Composition*>(this)->track(trackID);
}

MediaTime Composition::duration() const
{
    MediaTime longest = MediaTime::zero();
    for (const CompositionTrack& t : tracks_) {
        longest = std::max(longest, t.timeRange().end());
    }
    return longest;
}

} // namespace velmora
