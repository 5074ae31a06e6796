// Runs of the visible picture for the preview composition and the grade composition.
//
// The runs are defined by a fixed-rate scan: sample times 0, 1/120, 2/120, … made by repeated
// addition, each looking for the winning video clip. Downstream code depends on boundaries
// landing exactly on those sample times, so the scan below keeps the same samples and only
// skips the work between them: the set of clips covering a sample can only change when a
// sample passes some clip's start or end, so the winner is recomputed only then, and the scan
// stops as soon as no start or end is left ahead of it. The clips covering the samples are kept
// in a set ordered as the winning rule orders them, updated as the scan passes starts and ends,
// so a rebuild costs O(n log n) plus one step per sample up to the last start or end.

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

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
    std::size_t order; // position among the spans, for ties
};

// The winning order of winningVisualClip: lower lane first, then the later start, then the
// earlier clip in the timeline's order. The active set's first span is the winner.
struct WinsOver {
    bool operator()(const CoverSpan* a, const CoverSpan* b) const
    {
        if (a->lane != b->lane) {
            return a->lane < b->lane;
        }
        if (a->start != b->start) {
            return a->start > b->start;
        }
        return a->order < b->order;
    }
};

// A span's start or end on the scan, in time order; at equal times the order is irrelevant
// because every event at or before a sample is applied before the sample is looked at.
struct Event {
    double time;
    const CoverSpan* span;
    bool starts;
};

} // namespace

std::vector<EditSession::VisualTimelineSegment> EditSession::flattenVisibleVideoSegments(const std::vector<Clip>& clips,
                                                                                         double endTime)
{
    std::vector<const Clip*> inPlace;
    inPlace.reserve(clips.size());
    for (const Clip& clip : clips) {
        inPlace.push_back(&clip);
    }
    std::vector<VisualTimelineSegment> segments;
    for (const VisibleRun& run : flattenVisibleVideoRuns(inPlace, endTime)) {
        segments.push_back({*run.clip, run.timelineStart, run.timelineEnd});
    }
    return segments;
}

std::vector<EditSession::VisibleRun> EditSession::flattenVisibleVideoRuns(const std::vector<const Clip*>& clips,
                                                                          double endTime)
{
    constexpr double step = 1.0 / 120.0;

    std::vector<CoverSpan> spans;
    for (const Clip* clipInPlace : clips) {
        const Clip& clip = *clipInPlace;
        if (!isVideo(clip) || !clip.duration) {
            continue;
        }
        const double start = startOf(clip);
        const double end = start + *clip.duration;
        if (std::isnan(start) || std::isnan(end) || !(start < end)) {
            continue; // never covers a sample
        }
        spans.push_back({&clip, start, end, laneOf(clip), spans.size()});
    }
    std::vector<Event> events;
    events.reserve(spans.size() * 2);
    for (const CoverSpan& span : spans) {
        events.push_back({span.start, &span, true});
        events.push_back({span.end, &span, false});
    }
    std::sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.time < b.time; });

    // The spans covering the current sample: those whose start is at or before it and whose
    // end is not (start < end, so a span's start is always applied before its end).
    std::set<const CoverSpan*, WinsOver> covering;
    std::vector<VisibleRun> segments;
    const CoverSpan* current = nullptr;
    double runStart = 0.0;
    std::size_t eventsPassed = 0;
    bool first = true;

    for (double t = 0.0; t <= endTime + step; t += step) {
        const std::size_t before = eventsPassed;
        for (; eventsPassed < events.size() && events[eventsPassed].time <= t; ++eventsPassed) {
            const Event& event = events[eventsPassed];
            if (event.starts) {
                covering.insert(event.span);
            } else {
                covering.erase(event.span);
            }
        }
        if (first || eventsPassed != before) {
            first = false;
            const CoverSpan* winner = covering.empty() ? nullptr : *covering.begin();
            const bool same = winner && current ? winner->clip->id == current->clip->id : winner == current;
            if (!same) {
                if (current && runStart + 0.000001 < t) {
                    segments.push_back({current->clip, runStart, t});
                }
                current = winner;
                runStart = t;
            }
        }
        // Nothing can change once no start or end lies ahead within reach of the scan.
        if (eventsPassed == events.size()) {
            break;
        }
        const double next = events[eventsPassed].time;
        if (next == std::numeric_limits<double>::infinity() || next > endTime + step || t + step == t) {
            break;
        }
    }

    if (current && runStart + 0.000001 < endTime) {
        segments.push_back({current->clip, runStart, endTime});
    }
    return segments;
}

} // namespace velmora
