#pragma once

// Builders for timelines and a whole-timeline comparison used by the editing tests.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "editing/TimelineSnapshot.h"
#include "editing/TimelineUndoStack.h"
#include "model/EditSession.h"

namespace velmora::test {

// A clip with its timing normalised (outPoint = inPoint + duration × speed).
class ClipBuilder {
public:
    ClipBuilder(std::string id, std::string type, double start, double duration);

    ClipBuilder& in(double inPoint);
    ClipBuilder& lane(int track);
    ClipBuilder& speed(double speed);
    ClipBuilder& name(std::string name);
    ClipBuilder& source(std::string sourceId);
    ClipBuilder& group(std::string groupId);
    ClipBuilder& fades(std::optional<double> fadeIn, std::optional<double> fadeOut);
    ClipBuilder& opacity(double opacity);
    // Leaves the timing exactly as set, without normalising it.
    ClipBuilder& raw();

    operator EditSession::Clip() const; // NOLINT(google-explicit-constructor)

private:
    EditSession::Clip clip_;
    bool raw_ = false;
};

ClipBuilder video(std::string id, double start, double duration);
ClipBuilder audio(std::string id, double start, double duration);
ClipBuilder image(std::string id, double start, double duration);
ClipBuilder text(std::string id, double start, double duration);

// A session with one active timeline "tl" holding the clips, duration recomputed.
EditSession sessionWith(std::vector<EditSession::Clip> clips);

// One clip as the tests compare it. An id ending in "_b_*" matches that prefix followed by
// "_b_" and eight upper-case hexadecimal digits (the id of a split's right part).
struct Row {
    std::string id;
    double start = 0;
    double duration = 0;
    double in = 0;
    double out = 0;
    int lane = 1;
};

// Every clip of the timeline, in order, must match the rows (times within 1e-9 s).
::testing::AssertionResult timelineIs(const EditSession& session, const std::vector<Row>& rows,
                                      std::size_t timelineIndex = 0);

std::vector<Row> rowsOf(const EditSession& session, std::size_t timelineIndex = 0);

// Runs an edit the way the editor does (snapshot, push, edit, withdraw when unchanged), checks
// the result and the timeline after it, then after undo (the state before) and after redo.
::testing::AssertionResult editWithUndo(EditSession& session, const std::function<bool(EditSession&)>& edit,
                                        bool expectChanged, const std::vector<Row>& after);

bool isSplitRightId(const std::string& id, const std::string& leftId);

} // namespace velmora::test
