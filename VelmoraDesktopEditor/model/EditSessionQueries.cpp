// Session queries, new projects and the default timeline.

#include <algorithm>
#include <set>

#include "model/DesktopJobTool.h"
#include "model/EditSession.h"
#include "platform/foundation/FrameRates.h"
#include "platform/foundation/IsoDate.h"
#include "platform/foundation/Uuid.h"

namespace velmora {

namespace {

EditSession::Timeline emptyTimeline(std::string id)
{
    EditSession::Timeline timeline;
    timeline.id = std::move(id);
    timeline.name = "Timeline 1";
    timeline.duration = 0.0;
    timeline.pixelsPerSecond = 100.0;
    return timeline;
}

EditSession::Project defaultProject()
{
    EditSession::Project project;
    project.name = "Desktop Project";
    project.width = 1920;
    project.height = 1080;
    project.fps = defaultFrameRate;
    return project;
}

} // namespace

EditSession EditSession::blankProject(const std::string& name, int width, int height, double fps)
{
    const std::string timelineId = Uuid::randomText();
    EditSession session;
    session.tool = DesktopJobTool::editSession;
    session.version = 2;
    session.createdAt = IsoDate::now();
    session.sessionId = Uuid::randomText();
    Project project;
    project.name = name;
    project.width = width;
    project.height = height;
    project.fps = fps;
    project.activeTimelineId = timelineId;
    session.project = project;
    session.timelines.push_back(emptyTimeline(timelineId));
    session.grade = ProjectGrade{};
    return session;
}

void EditSession::ensureDefaultTimelineIfNeeded()
{
    if (timelines.empty()) {
        const std::string id = Uuid::randomText();
        if (!project) {
            project = defaultProject();
        }
        project->activeTimelineId = id;
        timelines.push_back(emptyTimeline(id));
        return;
    }
    if (!project) {
        project = defaultProject();
    }
    if (!project->activeTimelineId) {
        project->activeTimelineId = timelines.front().id;
    }
}

bool EditSession::isAudioClip(const Clip& clip)
{
    return normalizedClipType(clip.type, clip.name) == "audio";
}

bool EditSession::isVisualTimelineClip(const Clip& clip)
{
    const std::string kind = normalizedClipType(clip.type, clip.name);
    return kind == "video" || kind == "image" || kind == "text";
}

std::optional<EditSession::ClipLocation> EditSession::clipLocation(const std::string& id) const
{
    for (std::size_t t = 0; t < timelines.size(); ++t) {
        const auto& clips = timelines[t].clips;
        for (std::size_t c = 0; c < clips.size(); ++c) {
            if (clips[c].id == id) {
                return ClipLocation{t, c};
            }
        }
    }
    return std::nullopt;
}

std::optional<EditSession::Clip> EditSession::deleteClip(const std::string& id)
{
    const auto location = clipLocation(id);
    if (!location) {
        return std::nullopt;
    }
    auto& clips = timelines[location->timelineIndex].clips;
    Clip removed = std::move(clips[location->clipIndex]);
    clips.erase(clips.begin() + static_cast<std::ptrdiff_t>(location->clipIndex));
    recomputeTimelineDuration();
    return removed;
}

int EditSession::deleteClips(const std::vector<std::string>& ids)
{
    const auto index = activeTimelineIndex();
    if (!index) {
        return 0;
    }
    const std::set<std::string> doomed(ids.begin(), ids.end());
    auto& clips = timelines[*index].clips;
    const auto before = clips.size();
    clips.erase(std::remove_if(clips.begin(), clips.end(), [&](const Clip& clip) { return doomed.count(clip.id) != 0; }),
        clips.end());
    const auto removed = static_cast<int>(before - clips.size());
    recomputeTimelineDuration();
    return removed;
}

} // namespace velmora
