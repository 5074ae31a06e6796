#include <string>
#include <vector>

#include <Qt>
#include <gtest/gtest.h>

#include "workspace/keys/EditorKeyRouter.h"

namespace velmora {
namespace {

using Command = EditorKeyCommand;

EditorKeyPress press(EditorKey key)
{
    EditorKeyPress result;
    result.key = key;
    return result;
}

EditorKeyPress with(EditorKeyPress base, void (*change)(EditorKeyPress&))
{
    change(base);
    return base;
}

EditorKeyDecision consumed(Command command, int direction = 0, bool fine = false)
{
    return {command, direction, fine, true};
}

constexpr EditorKeyDecision passed{};

TEST(EditorKeyRouter, SingleKeysMapToTheirCommandsWithShiftIgnored)
{
    const std::vector<std::pair<EditorKey, EditorKeyDecision>> table{
        {EditorKey::s, consumed(Command::split)},
        {EditorKey::f, consumed(Command::cleanFeed)},
        {EditorKey::g, consumed(Command::closeGap)},
        {EditorKey::rightBracket, consumed(Command::trimOut)},
        {EditorKey::leftBracket, consumed(Command::trimIn)},
        {EditorKey::l, consumed(Command::toggleAudioLink)},
        {EditorKey::space, consumed(Command::playPause)},
        {EditorKey::deleteBackward, consumed(Command::deleteSelection)},
        {EditorKey::deleteForward, consumed(Command::deleteSelection)},
        {EditorKey::leftArrow, consumed(Command::scrubStep, -1)},
        {EditorKey::rightArrow, consumed(Command::scrubStep, 1)},
        {EditorKey::downArrow, consumed(Command::jumpCut, 1)},
        {EditorKey::upArrow, consumed(Command::jumpCut, -1)},
        {EditorKey::escape, consumed(Command::cancelTrim)},
        {EditorKey::z, passed},
        {EditorKey::other, passed},
    };
    for (const auto& [key, expected] : table) {
        SCOPED_TRACE(static_cast<int>(key));
        EXPECT_EQ(EditorKeyRouter::decide(press(key)), expected);
        EditorKeyPress shifted = press(key);
        shifted.shift = true;
        EditorKeyDecision expectedShifted = expected;
        expectedShifted.fine = expected.command == Command::scrubStep;
        EXPECT_EQ(EditorKeyRouter::decide(shifted), expectedShifted);
    }
}

TEST(EditorKeyRouter, CtrlActsOnlyOnZAndIsTestedBeforeAltAndMeta)
{
    auto ctrl = [](EditorKey key, bool shift = false, bool alt = false) {
        EditorKeyPress p = press(key);
        p.command = true;
        p.shift = shift;
        p.option = alt;
        return EditorKeyRouter::decide(p);
    };
    EXPECT_EQ(ctrl(EditorKey::z), consumed(Command::undo));
    EXPECT_EQ(ctrl(EditorKey::z, true), consumed(Command::redo));
    EXPECT_EQ(ctrl(EditorKey::z, false, true), consumed(Command::undo));
    EXPECT_EQ(ctrl(EditorKey::s), passed); // Ctrl+S reaches Save
    EXPECT_EQ(ctrl(EditorKey::space), passed);
    EXPECT_EQ(ctrl(EditorKey::leftArrow), passed);
    // Escape comes first, whatever the modifiers.
    EXPECT_EQ(ctrl(EditorKey::escape, true, true), consumed(Command::cancelTrim));

    EXPECT_EQ(EditorKeyRouter::decide(with(press(EditorKey::s), [](EditorKeyPress& p) { p.option = true; })), passed);
    EXPECT_EQ(EditorKeyRouter::decide(with(press(EditorKey::s), [](EditorKeyPress& p) { p.control = true; })), passed);
    EXPECT_EQ(EditorKeyRouter::decide(with(press(EditorKey::z), [](EditorKeyPress& p) { p.control = true; })), passed);
}

TEST(EditorKeyRouter, RepeatsActOnlyForArrowsAndTextFieldsOrDialogsTakeEverything)
{
    for (EditorKey key : {EditorKey::s, EditorKey::space, EditorKey::escape, EditorKey::deleteBackward}) {
        EditorKeyPress held = press(key);
        held.isAutoRepeat = true;
        EXPECT_EQ(EditorKeyRouter::decide(held), passed);
    }
    EditorKeyPress heldRight = press(EditorKey::rightArrow);
    heldRight.isAutoRepeat = true;
    EXPECT_EQ(EditorKeyRouter::decide(heldRight), consumed(Command::scrubStep, 1));

    for (EditorKey key : {EditorKey::s, EditorKey::escape, EditorKey::z, EditorKey::leftArrow}) {
        EditorKeyPress typing = press(key);
        typing.command = key == EditorKey::z;
        typing.textInputHasFocus = true;
        EXPECT_EQ(EditorKeyRouter::decide(typing), passed);
        EditorKeyPress answering = press(key);
        answering.dialogOrMenuIsOpen = true;
        EXPECT_EQ(EditorKeyRouter::decide(answering), passed);
    }
}

struct Calls {
    std::vector<std::string> log;
    bool sourceViewerActive = false;
    int sourceViewerAsked = 0;
};

EditorKeyboardHandler recordingHandler(Calls& calls)
{
    EditorKeyboardHandler handler;
    handler.isSourceViewerActive = [&calls] {
        ++calls.sourceViewerAsked;
        return calls.sourceViewerActive;
    };
    handler.onSpace = [&calls] { calls.log.push_back("space"); };
    handler.onUndo = [&calls] { calls.log.push_back("undo"); };
    handler.onRedo = [&calls] { calls.log.push_back("redo"); };
    handler.onSplit = [&calls] { calls.log.push_back("split"); };
    handler.onTrimIn = [&calls] { calls.log.push_back("trimIn"); };
    handler.onTrimOut = [&calls] { calls.log.push_back("trimOut"); };
    handler.onToggleAudioLink = [&calls] { calls.log.push_back("link"); };
    handler.onCancelTrim = [&calls] { calls.log.push_back("cancelTrim"); };
    handler.onDelete = [&calls] { calls.log.push_back("delete"); };
    handler.onCleanFeed = [&calls] { calls.log.push_back("cleanFeed"); };
    handler.onScrubStep = [&calls](int direction, bool fine) {
        calls.log.push_back("step " + std::to_string(direction) + (fine ? " fine" : ""));
    };
    handler.onJumpCut = [&calls](int direction) { calls.log.push_back("cut " + std::to_string(direction)); };
    handler.onCloseGap = [&calls] { calls.log.push_back("closeGap"); };
    return handler;
}

TEST(EditorKeyRouter, RouteCallsTheClosureAndAsksForTheSourceViewerOnlyOnSpace)
{
    Calls calls;
    const EditorKeyboardHandler handler = recordingHandler(calls);
    EXPECT_TRUE(EditorKeyRouter::route(press(EditorKey::s), handler));
    EditorKeyPress fineLeft = press(EditorKey::leftArrow);
    fineLeft.shift = true;
    EXPECT_TRUE(EditorKeyRouter::route(fineLeft, handler));
    EXPECT_TRUE(EditorKeyRouter::route(press(EditorKey::upArrow), handler));
    EXPECT_EQ(calls.sourceViewerAsked, 0);

    EXPECT_TRUE(EditorKeyRouter::route(press(EditorKey::space), handler));
    calls.sourceViewerActive = true;
    EXPECT_FALSE(EditorKeyRouter::route(press(EditorKey::space), handler));
    EXPECT_TRUE(EditorKeyRouter::route(press(EditorKey::s), handler)); // S still splits
    EXPECT_EQ(calls.sourceViewerAsked, 2);

    EditorKeyPress redo = press(EditorKey::z);
    redo.command = true;
    redo.shift = true;
    EXPECT_TRUE(EditorKeyRouter::route(redo, handler));
    EXPECT_EQ(calls.log, (std::vector<std::string>{"split", "step -1 fine", "cut -1", "space", "split", "redo"}));
}

TEST(EditorKeyRouter, KeysWithUnsetClosuresAreStillConsumed)
{
    EditorKeyboardHandler empty;
    EXPECT_TRUE(EditorKeyRouter::route(press(EditorKey::f), empty));
    EXPECT_TRUE(EditorKeyRouter::route(press(EditorKey::rightArrow), empty));
    EXPECT_TRUE(EditorKeyRouter::route(press(EditorKey::escape), empty));
    // No source-viewer question: Space plays.
    EXPECT_TRUE(EditorKeyRouter::route(press(EditorKey::space), empty));
    EXPECT_FALSE(EditorKeyRouter::route(press(EditorKey::other), empty));
}

TEST(EditorKeyRouter, KeysAreMatchedByPositionWhereThePlatformGivesOne)
{
    // On a layout where the Z position types Y: Ctrl on that key undoes, the key typing Z does not.
    EXPECT_EQ(EditorKeyRouter::keyOf(Qt::Key_Y, 52, true), EditorKey::z);
    EXPECT_EQ(EditorKeyRouter::keyOf(Qt::Key_Z, 29, true), EditorKey::other);
    // No scan code (synthesised events), or a platform whose codes are not positions.
    EXPECT_EQ(EditorKeyRouter::keyOf(Qt::Key_Z, 0, true), EditorKey::z);
    EXPECT_EQ(EditorKeyRouter::keyOf(Qt::Key_Z, 29, false), EditorKey::z);

    EXPECT_EQ(EditorKeyRouter::keyAtKeycode(34), EditorKey::leftBracket);
    EXPECT_EQ(EditorKeyRouter::keyAtKeycode(119), EditorKey::deleteForward);
    EXPECT_EQ(EditorKeyRouter::keyAtKeycode(38), EditorKey::other); // the A key
    // Shift turns the bracket keys into braces.
    EXPECT_EQ(EditorKeyRouter::keyForQtKey(Qt::Key_BraceLeft), EditorKey::leftBracket);
    EXPECT_EQ(EditorKeyRouter::keyForQtKey(Qt::Key_BraceRight), EditorKey::rightBracket);
}

} // namespace
} // namespace velmora
