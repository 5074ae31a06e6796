#include "inspectors/GradeInspectorWindowController.h"

#include "preview/TimelinePreviewEngine.h"

namespace velmora {

GradeInspectorWindowController::GradeInspectorWindowController(TimelinePreviewEngine& engine,
                                                               ClipGradeEditState initialEditState,
                                                               std::string clipId, std::function<void()> onDirty,
                                                               QObject* parent)
    : QObject(parent), engine_(&engine), editState_(std::move(initialEditState)), clipId_(std::move(clipId)),
      onDirty_(std::move(onDirty))
{
}

void GradeInspectorWindowController::setEditState(ClipGradeEditState state)
{
    editState_ = std::move(state);
    emit editStateChanged();
}

ClipGradeInspectorController::EditStateBinding GradeInspectorWindowController::binding()
{
    const QPointer<GradeInspectorWindowController> self(this);
    return {
        [self]() { return self ? self->editState() : ClipGradeEditState{}; },
        [self](const ClipGradeEditState& state) {
            if (self)
                self->setEditState(state);
        },
    };
}

void GradeInspectorWindowController::liveChange()
{
    if (engine_)
        engine_->applyClipGradeLive(clipId_, editState_, true);
    if (onDirty_)
        onDirty_();
}

void GradeInspectorWindowController::liveEnd()
{
    if (engine_)
        engine_->finalizeClipGradeLivePreview(clipId_, editState_);
}

} // namespace velmora
