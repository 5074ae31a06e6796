#include "grading/GradeCompositionBlueprint.h"

#include <algorithm>
#include <cmath>

#include "editing/PreviewFrameTiming.h"
#include "editing/TimelineFrameMap.h"

namespace velmora {

namespace {

// Past the last clip's end no run changes, so an end time a little beyond that gives the same
// runs as any longer one.
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
    // Which clip a frame shows is the frame rule's answer, on the grid the player's pieces are
    // laid on, so that each frame is graded with the grade of the clip it shows. Image clips are
    // drawn over the picture and never give it their grade.
    std::vector<const EditSession::Clip*> visual;
    std::vector<ClipTiming> timings;
    double clipsEnd = 0;
    for (const EditSession::Clip& clip : timeline->clips) {
        const std::string kind = EditSession::normalizedClipType(clip.type, clip.name);
        if (kind != "video" && kind != "image") {
            continue;
        }
        visual.push_back(&clip);
        ClipTiming timing = ClipTiming::of(clip);
        timing.picture = kind == "video" && clip.duration.has_value();
        timings.push_back(std::move(timing));
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
    if (!(endTime > 0)) {
        return blueprint;
    }

    const FrameGrid grid = PreviewFrameTiming::pictureGrid(from.project ? from.project->fps : std::nullopt);
    const std::int64_t endFrame = TimelineFrameMap::firstFrameAtOrAfter(grid, endTime);
    for (const FrameRun& run : TimelineFrameMap::runs(timings, grid, 0, endFrame)) {
        if (!run.clip) {
            continue;
        }
        const EditSession::Clip& clip = *visual[*run.clip];
        const double start = grid.start(run.first);
        const double end = std::min(grid.start(run.end), endTime);
        if (end > start) {
            blueprint.segments.push_back(Segment{start, end, clip.id, clip.grade});
        }
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
