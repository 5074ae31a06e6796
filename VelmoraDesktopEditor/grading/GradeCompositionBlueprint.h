#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/EditSession.h"
#include "model/EditorJobV2.h"

namespace velmora {

// What playback grading needs to know of a session, frozen into a value: for any composition
// time, which clip is visible and what its grade is. A snapshot: later edits of the session do
// not reach it. Built on the main thread; read from any thread.
struct GradeCompositionBlueprint {
    // One run of timeline time during which one clip is visible: [start, end) in seconds.
    struct Segment {
        double start = 0;
        double end = 0;
        std::string clipId;
        std::optional<EditorJobV2::ClipGrade> grade; // a copy of the clip's grade

        bool operator==(const Segment&) const = default;
    };

    // The session's project LUT reference; empty when the session has no grade.
    std::string projectLutCube;
    // The project's canvas (1920 x 1080 when the project does not say).
    int outW = 1920;
    int outH = 1080;
    // In timeline order.
    std::vector<Segment> segments;

    GradeCompositionBlueprint() = default;
    GradeCompositionBlueprint(std::string projectLutCube, int outW, int outH, std::vector<Segment> segments)
        : projectLutCube(std::move(projectLutCube)), outW(outW), outH(outH), segments(std::move(segments))
    {
    }

    // The visible video runs of the session's active timeline (none without one), each with
    // its clip's grade: the frames on which the frame rule (TimelineFrameMap::runs, on the
    // project's picture grid) shows one video clip, from the first one's start. Main thread.
    static GradeCompositionBlueprint make(const EditSession& from);

    // The grade and the clip of the first segment with start <= t < end; nothing between
    // segments, after the last, or for a time that is not a number. At a cut the later segment
    // answers.
    std::optional<EditorJobV2::ClipGrade> grade(double at) const;
    std::optional<std::string> clipId(double at) const;

    bool operator==(const GradeCompositionBlueprint&) const = default;

private:
    const Segment* segment(double at) const;
};

} // namespace velmora
