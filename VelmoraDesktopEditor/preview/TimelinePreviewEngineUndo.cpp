// The shape of every timeline edit: undo point, mutation, then withdrawal or commit; undo, redo
// and the debounced rebuild.

#include "preview/TimelinePreviewEngine.h"

namespace velmora {

void TimelinePreviewEngine::recordUndoPoint()
{
    pushUndoPoint();
}

void TimelinePreviewEngine::clearUndoHistory()
{
    undoStack_.clear();
    refreshUndoFlags();
}

void TimelinePreviewEngine::leaveTimeline()
{
    clearUndoHistory();
    // What the look-up found of the clips left behind is not of the timeline shown; the next
    // look-up (once its picture is shown) speaks of this one's.
    luts_.missingClipLuts.clear();
    // The warnings derived from those answers go with them.
    standing_.reset();
    statusLine_.dropNews();
}

std::optional<TimelineSnapshot> TimelinePreviewEngine::pushUndoPoint()
{
    if (!session_) {
        return std::nullopt;
    }
    std::optional<TimelineSnapshot> snapshot = session_->snapshotActiveTimeline();
    if (!snapshot) {
        return std::nullopt;
    }
    undoStack_.push(*snapshot);
    refreshUndoFlags();
    return snapshot;
}

void TimelinePreviewEngine::refreshUndoFlags()
{
    canUndo_ = undoStack_.canUndo();
    emit canUndoChanged();
    canRedo_ = undoStack_.canRedo();
    emit canRedoChanged();
}

void TimelinePreviewEngine::withdrawUndoPoint(const std::optional<TimelineSnapshot>& pushed)
{
    if (!pushed) {
        return;
    }
    // Gives back the redo history the push cleared, so a refused edit costs nothing.
    undoStack_.cancelLastPush();
    refreshUndoFlags();
}

void TimelinePreviewEngine::withdrawUndoPointIfUnchanged(const std::optional<TimelineSnapshot>& pushed)
{
    if (pushed && session_ && session_->snapshotActiveTimeline() == pushed) {
        withdrawUndoPoint(pushed);
    }
}

void TimelinePreviewEngine::commitRecordedEdit(const std::optional<TimelineSnapshot>& pushed, bool rebuild,
                                               const std::string& statusMessage, bool immediateRebuild)
{
    withdrawUndoPointIfUnchanged(pushed);
    commitEdit(rebuild, statusMessage, immediateRebuild);
}

void TimelinePreviewEngine::commitEdit(bool rebuild, const std::string& statusMessage, bool immediateRebuild)
{
    bumpTimelineRevision();
    setStatus(statusMessage);
    emit objectWillChange();
    refreshUndoFlags();
    if (!rebuild) {
        return;
    }
    if (immediateRebuild) {
        rebuildComposition(true, std::nullopt, false);
    } else {
        scheduleCompositionRebuild();
    }
}

void TimelinePreviewEngine::scheduleCompositionRebuild()
{
    if (rebuildWorkItem_) {
        rebuildWorkItem_->cancel();
    }
    QPointer<TimelinePreviewEngine> self(this);
    rebuildWorkItem_ = mainQueue_->postDelayed(rebuildDebounceSeconds, [self] {
        if (self) {
            self->rebuildComposition(true, std::nullopt, false);
        }
    });
}

void TimelinePreviewEngine::undo()
{
    undoOrRedo(true);
}

void TimelinePreviewEngine::redo()
{
    undoOrRedo(false);
}

void TimelinePreviewEngine::undoOrRedo(bool isUndo)
{
    if (!session_) {
        return;
    }
    std::optional<TimelineSnapshot> current = session_->snapshotActiveTimeline();
    if (!current) {
        return;
    }
    const std::optional<TimelineSnapshot> restored =
        isUndo ? undoStack_.popUndo(std::move(*current)) : undoStack_.popRedo(std::move(*current));
    if (!restored) {
        return;
    }
    session_->applySnapshot(*restored);
    republishSession();
    bumpTimelineRevision();
    setStatus(isUndo ? "Undo" : "Redo");
    refreshUndoFlags();
    rebuildComposition(true, std::nullopt, false);
}

} // namespace velmora
