#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "model/EditSession.h"

namespace velmora {

class TimelinePreviewEngine;

// Everything the source viewer window's content is made with: what the viewer shows and the
// closures through which it hands its work back to the Edit workspace. Built by
// EditorWorkspaceController::openSourceViewer; the workspace's widget fills in isWindowKey once
// it made the window. Main thread only; the closures do nothing once the workspace is gone or a
// newer viewer replaced this one.
struct SourceViewerWindowArguments {
    // The viewer's range hand-over: in and out point in seconds of the source, and the LUT
    // reference the viewer shows ("None" for none).
    using RangeHandOver = std::function<void(double inPoint, double outPoint, const std::string& lutReference)>;

    TimelinePreviewEngine* engine = nullptr; // the workspace's; outlives the window
    EditSession::Source source;
    std::optional<std::filesystem::path> mediaFolderURL;
    std::optional<std::filesystem::path> sessionFile;
    // The timeline clip the viewer re-trims; none when opened from the media pool.
    std::optional<std::string> timelineClipId;
    // The clip's marks when opened for a timeline clip that has them.
    std::optional<double> initialInPoint;
    std::optional<double> initialOutPoint;

    // True while the viewer's window exists and is the active window.
    std::function<bool()> isWindowKey;
    // Re-trims the timeline clip (when opened for one), then closes the viewer.
    RangeHandOver onUpdateTimeline;
    // Places the range at the playhead and moves the playhead to its end, then closes.
    RangeHandOver onInsertAtPlayhead;
    // Appends the range to the end of the timeline, then closes.
    RangeHandOver onAddToTimeline;
    // Closes the viewer.
    std::function<void()> onClose;
    // The user chose another LUT in the viewer: the project has unsaved changes.
    std::function<void()> onLutChanged;
};

} // namespace velmora
