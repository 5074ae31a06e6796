// Timeline markers, and snapping of dragged times onto edit points.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "editing/TimelineEditingSupport.h"
#include "model/EditSession.h"

namespace velmora {

using namespace editing;

namespace {

// "m_" and the time in whole milliseconds, truncated toward zero; none when the time cannot
// be written that way.
std::optional<std::string> markerIdForTime(double time)
{
    if (!isFinite(time)) {
        return std::nullopt;
    }
    const double millis = std::trunc(time * 1000.0);
    // 2^63 is exactly representable; anything at or beyond it does not fit a signed 64-bit value.
    constexpr double limit = 9223372036854775808.0;
    if (!(millis >= -limit && millis < limit)) {
        return std::nullopt;
    }
    char digits[24];
    const auto [end, error] = std::to_chars(std::begin(digits), std::end(digits), static_cast<std::int64_t>(millis));
    if (error != std::errc{}) {
        return std::nullopt;
    }
    return "m_" + std::string(digits, end);
}

bool markerIdTaken(const EditSession::Timeline& timeline, const std::string& id)
{
    return std::any_of(timeline.markers.begin(), timeline.markers.end(),
                       [&](const EditSession::Marker& marker) { return marker.id == id; });
}

} // namespace

void EditSession::addMarker(double at, const std::optional<std::string>& label)
{
    const auto active = activeTimelineIndex();
    if (!active) {
        return;
    }
    const std::optional<std::string> baseId = markerIdForTime(at);
    if (!baseId) {
        return;
    }
    Timeline& timeline = timelines[*active];
    // Two markers made within one millisecond would otherwise share an id, and removing one
    // by id would remove both.
    std::string id = *baseId;
    for (int suffix = 2; markerIdTaken(timeline, id); ++suffix) {
        id = *baseId + "_" + std::to_string(suffix);
    }
    timeline.markers.push_back(Marker{id, at < 0 ? 0.0 : at, label});
    std::stable_sort(timeline.markers.begin(), timeline.markers.end(),
                     [](const Marker& a, const Marker& b) { return a.time < b.time; });
}

void EditSession::removeMarker(const std::string& id)
{
    const auto active = activeTimelineIndex();
    if (!active) {
        return;
    }
    auto& markers = timelines[*active].markers;
    markers.erase(std::remove_if(markers.begin(), markers.end(), [&](const Marker& marker) { return marker.id == id; }),
                  markers.end());
}

bool EditSession::removeNearestMarker(double at, double thresholdSeconds)
{
    const auto active = activeTimelineIndex();
    if (!active) {
        return false;
    }
    auto& markers = timelines[*active].markers;
    std::optional<std::size_t> best;
    double bestDistance = std::numeric_limits<double>::max();
    for (std::size_t i = 0; i < markers.size(); ++i) {
        const double distance = std::abs(markers[i].time - at);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    if (!best || !(bestDistance <= thresholdSeconds)) {
        return false;
    }
    markers.erase(markers.begin() + static_cast<std::ptrdiff_t>(*best));
    return true;
}

double EditSession::snapTime(double time, const std::optional<std::string>& excludeClipId, double playhead,
                             double threshold, double /*frameRate*/, bool /*preferPlayhead*/) const
{
    // A time that is not a number is no position on the timeline: it lands on the timeline's
    // start, so a drag never writes NaN into a clip.
    if (std::isnan(time)) {
        return 0.0;
    }
    const double t = time < 0 ? 0.0 : time;
    // The first of equally near candidates wins: 0, then the playhead, markers, clip edges.
    double best = 0.0;
    double bestDistance = std::abs(best - t);
    const auto consider = [&](double candidate) {
        const double distance = std::abs(candidate - t);
        if (distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    };
    consider(playhead);
    if (const auto active = activeTimelineIndex()) {
        const Timeline& timeline = timelines[*active];
        for (const Marker& marker : timeline.markers) {
            consider(marker.time);
        }
        for (const Clip& clip : timeline.clips) {
            if (!clip.duration || !(*clip.duration > 0) || (excludeClipId && clip.id == *excludeClipId)) {
                continue;
            }
            consider(startOf(clip));
            consider(endOf(clip));
        }
    }
    return bestDistance <= threshold ? best : t;
}

double EditSession::snapStartTime(double time, const std::string& movingClipId, double playhead,
                                  double threshold) const
{
    return snapTime(time, movingClipId, playhead, threshold, 0.0, false);
}

} // namespace velmora
