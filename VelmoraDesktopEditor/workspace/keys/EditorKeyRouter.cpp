#include "workspace/keys/EditorKeyRouter.h"

#include <Qt>

namespace velmora::EditorKeyRouter {
namespace {

bool isArrow(EditorKey key)
{
    return key == EditorKey::leftArrow || key == EditorKey::rightArrow || key == EditorKey::upArrow ||
           key == EditorKey::downArrow;
}

EditorKeyDecision consume(EditorKeyCommand command, int direction = 0, bool fine = false)
{
    return {command, direction, fine, true};
}

constexpr EditorKeyDecision pass{};

template <typename... Args, typename Closure>
void callIfSet(const Closure& closure, Args... args)
{
    if (closure)
        closure(args...);
}

} // namespace

EditorKeyDecision decide(const EditorKeyPress& press)
{
    // Arrows act on every repeat; every other key once per press.
    if (press.isAutoRepeat && !isArrow(press.key))
        return pass;
    // Typing in a text field, answering a dialog or choosing in a menu is never taken over.
    if (press.textInputHasFocus || press.dialogOrMenuIsOpen)
        return pass;
    if (press.key == EditorKey::escape)
        return consume(EditorKeyCommand::cancelTrim);
    // Ctrl is tested before Alt: Ctrl+Alt+Z undoes. Every other Ctrl key (Ctrl+S) passes.
    if (press.command) {
        if (press.key == EditorKey::z)
            return consume(press.shift ? EditorKeyCommand::redo : EditorKeyCommand::undo);
        return pass;
    }
    if (press.option || press.control)
        return pass;

    switch (press.key) {
    case EditorKey::s:
        return consume(EditorKeyCommand::split);
    case EditorKey::f:
        return consume(EditorKeyCommand::cleanFeed);
    case EditorKey::g:
        return consume(EditorKeyCommand::closeGap);
    case EditorKey::rightBracket:
        return consume(EditorKeyCommand::trimOut);
    case EditorKey::leftBracket:
        return consume(EditorKeyCommand::trimIn);
    case EditorKey::l:
        return consume(EditorKeyCommand::toggleAudioLink);
    case EditorKey::space:
        // The source viewer plays its own clip with Space.
        return press.sourceViewerIsKey ? pass : consume(EditorKeyCommand::playPause);
    case EditorKey::deleteBackward:
    case EditorKey::deleteForward:
        return consume(EditorKeyCommand::deleteSelection);
    case EditorKey::leftArrow:
        return consume(EditorKeyCommand::scrubStep, -1, press.shift);
    case EditorKey::rightArrow:
        return consume(EditorKeyCommand::scrubStep, 1, press.shift);
    case EditorKey::downArrow:
        return consume(EditorKeyCommand::jumpCut, 1);
    case EditorKey::upArrow:
        return consume(EditorKeyCommand::jumpCut, -1);
    case EditorKey::z:
    case EditorKey::escape:
    case EditorKey::other:
        break;
    }
    return pass;
}

bool route(EditorKeyPress press, const EditorKeyboardHandler& handler)
{
    press.sourceViewerIsKey =
        press.key == EditorKey::space && handler.isSourceViewerActive && handler.isSourceViewerActive();
    const EditorKeyDecision decision = decide(press);
    switch (decision.command) {
    case EditorKeyCommand::none:
        break;
    case EditorKeyCommand::cancelTrim:
        callIfSet(handler.onCancelTrim);
        break;
    case EditorKeyCommand::undo:
        callIfSet(handler.onUndo);
        break;
    case EditorKeyCommand::redo:
        callIfSet(handler.onRedo);
        break;
    case EditorKeyCommand::split:
        callIfSet(handler.onSplit);
        break;
    case EditorKeyCommand::cleanFeed:
        callIfSet(handler.onCleanFeed);
        break;
    case EditorKeyCommand::closeGap:
        callIfSet(handler.onCloseGap);
        break;
    case EditorKeyCommand::trimIn:
        callIfSet(handler.onTrimIn);
        break;
    case EditorKeyCommand::trimOut:
        callIfSet(handler.onTrimOut);
        break;
    case EditorKeyCommand::toggleAudioLink:
        callIfSet(handler.onToggleAudioLink);
        break;
    case EditorKeyCommand::playPause:
        callIfSet(handler.onSpace);
        break;
    case EditorKeyCommand::deleteSelection:
        callIfSet(handler.onDelete);
        break;
    case EditorKeyCommand::scrubStep:
        callIfSet(handler.onScrubStep, decision.direction, decision.fine);
        break;
    case EditorKeyCommand::jumpCut:
        callIfSet(handler.onJumpCut, decision.direction);
        break;
    }
    return decision.consumed;
}

EditorKey keyAtKeycode(std::uint32_t keycode)
{
    // evdev codes + 8 (linux/input-event-codes.h), the US positions of the keys.
    switch (keycode) {
    case 9: return EditorKey::escape;          // KEY_ESC 1
    case 22: return EditorKey::deleteBackward; // KEY_BACKSPACE 14
    case 34: return EditorKey::leftBracket;    // KEY_LEFTBRACE 26
    case 35: return EditorKey::rightBracket;   // KEY_RIGHTBRACE 27
    case 39: return EditorKey::s;              // KEY_S 31
    case 41: return EditorKey::f;              // KEY_F 33
    case 42: return EditorKey::g;              // KEY_G 34
    case 46: return EditorKey::l;              // KEY_L 38
    case 52: return EditorKey::z;              // KEY_Z 44
    case 65: return EditorKey::space;          // KEY_SPACE 57
    case 111: return EditorKey::upArrow;       // KEY_UP 103
    case 113: return EditorKey::leftArrow;     // KEY_LEFT 105
    case 114: return EditorKey::rightArrow;    // KEY_RIGHT 106
    case 116: return EditorKey::downArrow;     // KEY_DOWN 108
    case 119: return EditorKey::deleteForward; // KEY_DELETE 111
    default: return EditorKey::other;
    }
}

EditorKey keyForQtKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Escape: return EditorKey::escape;
    case Qt::Key_Backspace: return EditorKey::deleteBackward;
    case Qt::Key_Delete: return EditorKey::deleteForward;
    // Shift turns [ and ] into { and } on a US layout: the same keys.
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft: return EditorKey::leftBracket;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight: return EditorKey::rightBracket;
    case Qt::Key_S: return EditorKey::s;
    case Qt::Key_F: return EditorKey::f;
    case Qt::Key_G: return EditorKey::g;
    case Qt::Key_L: return EditorKey::l;
    case Qt::Key_Z: return EditorKey::z;
    case Qt::Key_Space: return EditorKey::space;
    case Qt::Key_Up: return EditorKey::upArrow;
    case Qt::Key_Left: return EditorKey::leftArrow;
    case Qt::Key_Right: return EditorKey::rightArrow;
    case Qt::Key_Down: return EditorKey::downArrow;
    default: return EditorKey::other;
    }
}

EditorKey keyOf(int qtKey, std::uint32_t nativeScanCode, bool keycodeIsPosition)
{
    if (keycodeIsPosition && nativeScanCode != 0)
        return keyAtKeycode(nativeScanCode);
    return keyForQtKey(qtKey);
}

} // namespace velmora::EditorKeyRouter
