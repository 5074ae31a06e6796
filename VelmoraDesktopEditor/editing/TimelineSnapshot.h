#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/EditSession.h"

namespace velmora {

// The undoable state of one timeline: its clips, markers and stored duration. Lane locks and
// mutes, project settings, sources and grades of the project are outside the undo history.
struct TimelineSnapshot {
    std::vector<EditSession::Clip> clips;
    std::vector<EditSession::Marker> markers;
    std::optional<double> duration; // as stored, may be absent

    // In memory only: the id of the timeline the snapshot was taken from, so that undo after
    // switching timelines restores the right one. Absent means "the active timeline".
    std::optional<std::string> timelineId;

    bool operator==(const TimelineSnapshot&) const = default;
};

} // namespace velmora
