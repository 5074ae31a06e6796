// The timeline header: the timeline picker, the lane buttons, the zoom and the lane height.

#include "workspace/EditorWorkspaceController.h"

#include <algorithm>
#include <cmath>

#include "editing/TimelineZoom.h"
#include "platform/foundation/NumberText.h"
#include "platform/foundation/ShownText.h"
#include "preview/StatusText.h"

namespace velmora {

std::vector<EditorWorkspaceController::TimelinePickerEntry> EditorWorkspaceController::timelinePickerEntries() const
{
    std::vector<TimelinePickerEntry> entries;
    const std::shared_ptr<EditSession>& session = engine_->session();
    if (!session || session->timelines.size() < 2)
        return entries;
    for (const EditSession::Timeline& timeline : session->timelines) {
        // Text and audio clips are not counted.
        const auto pictures = std::count_if(timeline.clips.begin(), timeline.clips.end(), &isPictureClip);
        entries.push_back({timeline.id, shownText(timeline.name ? *timeline.name : timeline.id) + " (" +
                                            NumberText::integer(static_cast<std::int64_t>(pictures)) + " clips)"});
    }
    return entries;
}

std::string EditorWorkspaceController::timelinePickerSelection() const
{
    const std::shared_ptr<EditSession>& session = engine_->session();
    if (!session || session->timelines.empty())
        return {};
    if (session->project && session->project->activeTimelineId)
        return *session->project->activeTimelineId;
    return session->timelines.front().id;
}

void EditorWorkspaceController::chooseTimeline(const std::string& timelineId)
{
    const std::shared_ptr<EditSession> session = engine_->session();
    if (!session || !session->project)
        return;
    const bool anotherTimeline = timelinePickerSelection() != timelineId;
    session->project->activeTimelineId = timelineId;
    // Steps taken on the timeline left behind are not undone on this one, nor spoken of; its
    // selection, and what is bound to it, goes with the revision.
    if (anotherTimeline)
        engine_->leaveTimeline();
    engine_->setTimelineRevision(engine_->timelineRevision() + 1);
    resetLayoutTrackCounts(*session);
    if (mediaFolderURL_)
        engine_->load(session, *mediaFolderURL_, sessionURL_);
    else
        engine_->reloadSession(session, std::nullopt, sessionURL_);
    setTimelineZoomUI(TimelineZoom::ppsToUI(engine_->activeTimelinePixelsPerSecond()));
}

void EditorWorkspaceController::addVideoLane()
{
    setLayoutVideoTracks(std::min(layoutVideoTracks_ + 1, maximumVideoLanes));
}

void EditorWorkspaceController::addAudioLane()
{
    setLayoutAudioTracks(std::min(layoutAudioTracks_ + 1, maximumAudioLanes));
}

void EditorWorkspaceController::changeTimelineZoom(double position)
{
    setTimelineZoomUI(position);
    engine_->setActiveTimelinePixelsPerSecond(TimelineZoom::uiToPps(position));
}

std::string EditorWorkspaceController::timelineZoomReadout() const
{
    const double pps = engine_->activeTimelinePixelsPerSecond();
    if (pps >= 1)
        return StatusText::fixed(pps, 0) + " px/s";
    // Below one pixel per second whole pixels would read "0 px/s" for lanes drawn at a zoom: two
    // significant digits say which ("0.02 px/s" at the slider's left end).
    const int decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(pps))) + 1, 1, 6);
    std::string digits = StatusText::fixed(pps, decimals);
    while (digits.back() == '0')
        digits.pop_back();
    if (digits.back() == '.')
        digits.pop_back();
    return digits + " px/s";
}

std::string EditorWorkspaceController::laneHeightReadout() const
{
    // Toward zero, as a conversion to an integer does.
    return NumberText::integer(static_cast<std::int64_t>(std::trunc(laneRowHeight_))) + "px";
}

} // namespace velmora
