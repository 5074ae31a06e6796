#pragma once

#include <functional>
#include <string>

#include <QObject>
#include <QPointer>

#include "grading/ClipGradeEditState.h"
#include "inspectors/ClipGradeInspectorController.h"

namespace velmora {

class TimelinePreviewEngine;

// The grade inspector window without its widgets: it owns the clip's edit state while the
// window is open and turns the inspector's callbacks into engine calls, so the timeline
// preview follows every slider movement.
//
// liveChange(): engine.applyClipGradeLive(clipId, editState, interactive true), then onDirty().
// liveEnd():    engine.finalizeClipGradeLivePreview(clipId, editState); no dirty mark.
//
// Neither records an undo point: the Edit workspace records one before it opens the window, so
// a whole inspector session undoes in one step. A clip id the session no longer holds changes
// nothing in the engine; onDirty() still runs. Main thread only; the engine is held weakly.
class GradeInspectorWindowController final : public QObject {
    Q_OBJECT
public:
    GradeInspectorWindowController(TimelinePreviewEngine& engine, ClipGradeEditState initialEditState,
                                   std::string clipId, std::function<void()> onDirty, QObject* parent = nullptr);

    const std::string& clipId() const { return clipId_; }
    const ClipGradeEditState& editState() const { return editState_; }
    void setEditState(ClipGradeEditState state);
    // The edit state as the inspector sheet reads and writes it.
    ClipGradeInspectorController::EditStateBinding binding();

    void liveChange();
    void liveEnd();

signals:
    void editStateChanged();

private:
    QPointer<TimelinePreviewEngine> engine_;
    ClipGradeEditState editState_;
    std::string clipId_;
    std::function<void()> onDirty_;
};

} // namespace velmora
