// Runs of the visible picture for the preview composition and the grade composition.
//
// The runs are defined by a fixed-rate scan: sample times 0, 1/120, 2/120, … made by repeated
// addition, each looking for the winning video clip. Downstream code depends on boundaries
// landing exactly on those sample times, so the scan below keeps the same samples and only
// skips the work between them: the set of clips covering a sample can only change when a
// sample passes some clip's start or end, so the winner is recomputed only then, and the scan
// stops as soon as no start or end is left ahead of it.

#include <algorithm>
#include <cmath>
#include <limits>

#include "editing/TimelineEditingSupport.h"
#include "model/EditSession.h"

namespace velmora {

using namespace editing;

namespace {

struct CoverSpan {
    const EditSession::Clip* clip;
    double start;
    double end;
    int lane;
};

// Same rule as winningVisualClip over the spans that cover t, in their order.
const CoverSpan* winnerAt(const std::vector<CoverSpan>& spans, double t)
{
    const CoverSpan* best = nullptr;
    for (const CoverSpan& span : spans) {
        if (!(span.start <= t && t < span.end)) {
            continue;
        }
        if (!best || span.lane < best->lane || (span.lane == best->lane && span.start > best->start)) {
            best = &span;
        }
    }
    return best;
}

} // namespace

std::vector<EditSession::VisualTimelineSegment> EditSession::flattenVisibleVideoSegments(const std::vector<Clip>& clips,
                                                                                         double endTime)
{
    constexpr double step = 1.0 / 120.0;

    std::vector<CoverSpan> spans;
    std::vector<double> events;
    for (const Clip& clip : clips) {
        if (!isVideo(clip) || !clip.duration) {
            continue;
        }
        const double start = startOf(clip);
        const double end = start + *clip.duration;
        if (std::isnan(start) || std::isnan(end) || !(start < end)) {
            continue; // never covers a sample
        }
        spans.push_back({&clip, start, end, laneOf(clip)});
        events.push_back(start);
        events.push_back(end);
    }
    std::sort(events.begin(), events.end());

    std::vector<VisualTimelineSegment> segments;
    const CoverSpan* current = nullptr;
    double runStart = 0.0;
    std::size_t eventsPassed = 0;
    bool first = true;

    for (double t = 0.0; t <= endTime + step; t += step) {
        std::size_t passed = eventsPassed;
        while (passed < events.size() && events[passed] <= t) {
            ++passed;
        }
        if (first || passed != eventsPassed) {
            first = false;
            eventsPassed = passed;
            const CoverSpan* winner = winnerAt(spans, t);
            const bool same = winner && current ? winner->clip->id == current->clip->id : winner == current;
            if (!same) {
                if (current && runStart + 0.000001 < t) {
                    segments.push_back({*current->clip, runStart, t});
                }
                current = winner;
                runStart = t;
            }
        }
        // Nothing can change once no start or end lies ahead within reach of the scan.
        if (eventsPassed == events.size()) {
            break;
        }
        const double next = events[eventsPassed];
        if (next == std::numeric_limits<double>::infinity() || next > endTime + step || t + step == t) {
            break;
        }
    }

    if (current && runStart + 0.000001 < endTime) {
        segments.push_back({*current->clip, runStart, endTime});
    }
    return segments;
}

} // namespace velmora
