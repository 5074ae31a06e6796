#pragma once

#include <cstdint>

#include "workspace/keys/EditorKeyboardHandler.h"

namespace velmora {

// The keys the Edit workspace knows, by their position on a US keyboard.
enum class EditorKey {
    other,
    s,
    f,
    g,
    l,
    z,
    leftBracket,
    rightBracket,
    space,
    deleteBackward, // Backspace
    deleteForward,  // Delete
    escape,
    leftArrow,
    rightArrow,
    upArrow,
    downArrow,
};

// The facts of one key press that decide what it does. Modifiers in the platform's words:
// command is Ctrl, option is Alt, control is Meta (the Super/Windows key).
struct EditorKeyPress {
    EditorKey key = EditorKey::other;
    bool shift = false;
    bool command = false;
    bool option = false;
    bool control = false;
    bool isAutoRepeat = false;
    bool textInputHasFocus = false;   // a text field of any window of the application has focus
    bool dialogOrMenuIsOpen = false;  // a modal dialog or a pop-up menu takes the keys
    bool sourceViewerIsKey = false;   // only consulted for Space
};

enum class EditorKeyCommand {
    none,
    cancelTrim,
    undo,
    redo,
    split,
    cleanFeed,
    closeGap,
    trimIn,
    trimOut,
    toggleAudioLink,
    playPause,
    deleteSelection,
    scrubStep, // with direction and fine
    jumpCut,   // with direction
};

struct EditorKeyDecision {
    EditorKeyCommand command = EditorKeyCommand::none;
    int direction = 0; // scrubStep and jumpCut: -1 or +1
    bool fine = false; // scrubStep: Shift held
    // The key goes no further (also when its closure is unset); otherwise it passes on to the
    // focused window as usual.
    bool consumed = false;

    bool operator==(const EditorKeyDecision&) const = default;
};

// The Edit workspace's keyboard: which command a key press calls, and whether it is taken from
// the window. Pure; the Qt event filter (EditorKeyboardMonitorView) supplies the facts.
namespace EditorKeyRouter {

// First rule that applies wins: auto-repeat passes except for the arrows; a focused text field
// an open dialog or pop-up menu passes everything; Escape cancels a trim whatever the modifiers; with Ctrl
// held only Z acts (undo, with Shift redo); Alt or Meta pass; then the single keys, Shift
// ignored except as the arrows' fine step; Space passes while the source viewer is active.
EditorKeyDecision decide(const EditorKeyPress& press);

// Decides and calls the handler's closure. Asks `isSourceViewerActive` only for Space (the
// press's own `sourceViewerIsKey` is ignored). Returns whether the key is consumed.
bool route(EditorKeyPress press, const EditorKeyboardHandler& handler);

// A key by its physical position: the XKB keycode (evdev code + 8) that X11 and Wayland give as
// the native scan code.
EditorKey keyAtKeycode(std::uint32_t keycode);
// A key by the Qt::Key it types, for events without a scan code (synthesised ones).
EditorKey keyForQtKey(int qtKey);
// The position when the platform gives one (`keycodeIsPosition` and a non-zero keycode), else
// the typed key.
EditorKey keyOf(int qtKey, std::uint32_t nativeScanCode, bool keycodeIsPosition);

} // namespace EditorKeyRouter
} // namespace velmora
