#pragma once

#include <functional>

namespace velmora {

// The commands the Edit workspace's keys call, one closure per shortcut. The workspace binds
// each to the engine command its tools-bar button calls. An unset closure still takes its key
// (the key does nothing); only `isSourceViewerActive` unset answers false.
struct EditorKeyboardHandler {
    std::function<bool()> isSourceViewerActive; // asked on Space only: the source viewer is the active window
    std::function<void()> onSpace;              // play or pause
    std::function<void()> onUndo;
    std::function<void()> onRedo;
    std::function<void()> onSplit;           // split at the playhead
    std::function<void()> onTrimIn;          // trim the clip's in point to the playhead
    std::function<void()> onTrimOut;         // trim the clip's out point to the playhead
    std::function<void()> onToggleAudioLink; // link or unlink the selected clip's audio
    std::function<void()> onCancelTrim;      // cancel a trim gesture under way
    std::function<void()> onDelete;          // delete the selected clip or marker
    std::function<void()> onCleanFeed;       // show or hide the clean-feed program monitor
    // Step the playhead by one frame: direction -1 back, +1 forward; fine asks for a fine step.
    std::function<void(int direction, bool fine)> onScrubStep;
    std::function<void(int direction)> onJumpCut; // -1 the previous cut, +1 the next
    std::function<void()> onCloseGap;             // close the gap at the playhead
};

} // namespace velmora
