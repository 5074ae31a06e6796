#include "model/EditSession.h"

namespace velmora {

std::optional<EditSession::Timeline> EditSession::activeTimeline() const
{
    const Timeline* timeline = findActiveTimeline();
    if (!timeline) {
        return std::nullopt;
    }
    return *timeline;
}

const EditSession::Timeline* EditSession::findActiveTimeline() const
{
    const auto index = activeTimelineIndex();
    return index ? &timelines[*index] : nullptr;
}

std::optional<std::size_t> EditSession::activeTimelineIndex() const
{
    if (timelines.empty()) {
        return std::nullopt;
    }
    if (project && project->activeTimelineId) {
        for (std::size_t i = 0; i < timelines.size(); ++i) {
            if (timelines[i].id == *project->activeTimelineId) {
                return i;
            }
        }
    }
    return 0;
}

} // namespace velmora
