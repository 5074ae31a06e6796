#include "editing/TimelineUndoStack.h"

#include <utility>

namespace velmora {

TimelineUndoStack::TimelineUndoStack(int maxSteps) : maxSteps_(maxSteps) {}

void TimelineUndoStack::push(TimelineSnapshot snapshot)
{
    PushRecord record;
    const bool atCap = static_cast<long long>(undo_.size()) >= static_cast<long long>(maxSteps_);
    undo_.push_back(std::move(snapshot));
    if (atCap) {
        // With a cap below 1 the entry just pushed is the one that goes.
        record.pushedKept = undo_.size() > 1;
        if (record.pushedKept) {
            record.evicted = std::move(undo_.front());
        }
        undo_.erase(undo_.begin());
    }
    record.clearedRedo = std::move(redo_);
    redo_.clear();
    lastPush_ = std::move(record);
}

void TimelineUndoStack::cancelLastPush()
{
    if (!lastPush_) {
        if (!undo_.empty()) {
            undo_.pop_back();
        }
        return;
    }
    PushRecord record = std::move(*lastPush_);
    lastPush_.reset();
    if (record.pushedKept) {
        undo_.pop_back();
        if (record.evicted) {
            undo_.insert(undo_.begin(), std::move(*record.evicted));
        }
    }
    redo_ = std::move(record.clearedRedo);
}

std::optional<TimelineSnapshot> TimelineUndoStack::popUndo(TimelineSnapshot current)
{
    if (undo_.empty()) {
        return std::nullopt;
    }
    lastPush_.reset();
    TimelineSnapshot restored = std::move(undo_.back());
    undo_.pop_back();
    redo_.push_back(std::move(current));
    return restored;
}

std::optional<TimelineSnapshot> TimelineUndoStack::popRedo(TimelineSnapshot current)
{
    if (redo_.empty()) {
        return std::nullopt;
    }
    lastPush_.reset();
    TimelineSnapshot restored = std::move(redo_.back());
    redo_.pop_back();
    undo_.push_back(std::move(current));
    return restored;
}

void TimelineUndoStack::clear()
{
    undo_.clear();
    redo_.clear();
    lastPush_.reset();
}

} // namespace velmora
