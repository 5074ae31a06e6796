#include "grading/GradeCompositionBlueprint.h"

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

// The visible-run scan samples the timeline 120 times a second from zero up to its end time.
// Past the last clip's end it finds nothing new, so an end time a little beyond that (here two
// samples) gives the same runs as any longer one while keeping the scan bounded.
constexpr double scanMargin = 2.0 / 120.0;

} // namespace

GradeCompositionBlueprint GradeCompositionBlueprint::make(const EditSession& from)
{
    GradeCompositionBlueprint blueprint;
    if (from.grade && from.grade->lutCube) {
        blueprint.projectLutCube = *from.grade->lutCube;
    }
    if (from.project) {
        blueprint.outW = from.project->width.value_or(1920);
        blueprint.outH = from.project->height.value_or(1080);
    }

    const EditSession::Timeline* timeline = from.findActiveTimeline();
    if (!timeline) {
        return blueprint;
    }
    std::vector<const EditSession::Clip*> visual;
    double clipsEnd = 0;
    for (const EditSession::Clip& clip : timeline->clips) {
        const std::string kind = EditSession::normalizedClipType(clip.type, clip.name);
        if (kind != "video" && kind != "image") {
            continue;
        }
        visual.push_back(&clip);
        const double end = clip.startTime.value_or(0.0) + clip.duration.value_or(0.0);
        if (std::isfinite(end)) {
            clipsEnd = std::max(clipsEnd, end);
        }
    }
    double endTime = clipsEnd;
    if (timeline->duration) {
        // A stored duration that is not a number, or runs far past the clips, is bounded.
        endTime = std::isnan(*timeline->duration) ? clipsEnd : std::min(*timeline->duration, clipsEnd + scanMargin);
    }

    for (const EditSession::VisibleRun& run : EditSession::flattenVisibleVideoRuns(visual, endTime)) {
        blueprint.segments.push_back(Segment{run.timelineStart, run.timelineEnd, run.clip->id, run.clip->grade});
    }
    return blueprint;
}

const GradeCompositionBlueprint::Segment* GradeCompositionBlueprint::segment(double at) const
{
    if (std::isnan(at)) {
        return nullptr;
    }
    for (const Segment& s : segments) {
        if (s.start <= at && at < s.end) {
            return &s;
        }
    }
    return nullptr;
}

std::optional<EditorJobV2::ClipGrade> GradeCompositionBlueprint::grade(double at) const
{
    const Segment* s = segment(at);
    return s ? s->grade : std::nullopt;
}

std::optional<std::string> GradeCompositionBlueprint::clipId(double at) const
{
    const Segment* s = segment(at);
    return s ? std::optional<std::string>(s->clipId) : std::nullopt;
}

} // namespace velmora
