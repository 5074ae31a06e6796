#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "editing/TimelineSnapshot.h"

namespace velmora {

// Whole-timeline undo and redo. The owner pushes a snapshot before each edit, withdraws it
// with cancelLastPush() when the edit changed nothing, and swaps the present state with the
// newest snapshot on undo and redo. Main thread only.
class TimelineUndoStack {
public:
    explicit TimelineUndoStack(int maxSteps = 40);

    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }

    // Records the state before an edit. Keeps at most maxSteps entries (dropping the oldest)
    // and empties the redo list.
    void push(TimelineSnapshot snapshot);

    // Withdraws the newest entry. Directly after push() it also gives back what that push
    // dropped (the redo list and an entry evicted by the cap), so a refused edit costs nothing.
    void cancelLastPush();

    // Returns the state to restore, and files `current` on the opposite list; none (and no
    // change) when there is nothing to undo or redo.
    std::optional<TimelineSnapshot> popUndo(TimelineSnapshot current);
    std::optional<TimelineSnapshot> popRedo(TimelineSnapshot current);

    void clear();

    std::size_t undoCount() const { return undo_.size(); }
    std::size_t redoCount() const { return redo_.size(); }

private:
    // What the most recent push() discarded; valid only until the next operation.
    struct PushRecord {
        std::vector<TimelineSnapshot> clearedRedo;
        std::optional<TimelineSnapshot> evicted;
        bool pushedKept = true;
    };

    std::vector<TimelineSnapshot> undo_; // oldest first
    std::vector<TimelineSnapshot> redo_; // newest last
    int maxSteps_;
    std::optional<PushRecord> lastPush_;
};

} // namespace velmora
