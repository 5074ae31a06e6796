#include "inspectors/GradeInspectorWindowRoot.h"

#include <QPointer>
#include <QVBoxLayout>

#include "inspectors/ClipGradeInspectorSheet.h"
#include "inspectors/GradeInspectorWindowController.h"
#include "preview/TimelinePreviewEngine.h"

namespace velmora {

GradeInspectorWindowRoot::GradeInspectorWindowRoot(TimelinePreviewEngine& engine, ClipGradeEditState initialEditState,
                                                   std::string clipId, std::string clipName,
                                                   std::vector<std::string> lutNames, std::function<void()> onDismiss,
                                                   std::function<void()> onDirty, QWidget* parent)
    : QWidget(parent), clipName_(std::move(clipName)), lutNames_(std::move(lutNames)),
      onDismiss_(std::move(onDismiss)), onDirty_(std::move(onDirty)),
      controller_(new GradeInspectorWindowController(engine, std::move(initialEditState), std::move(clipId), onDirty_,
                                                     this))
{
    setObjectName(QStringLiteral("GradeInspectorWindowRoot"));
    setFixedSize(contentSize());
    const QPointer<GradeInspectorWindowController> c(controller_);
    sheet_ = new ClipGradeInspectorSheet(
        clipName_, lutNames_, controller_->binding(),
        [c] {
            if (c)
                c->liveChange();
        },
        [c] {
            if (c)
                c->liveEnd();
        },
        onDismiss_, this);
    // The clip's LUT is shown as every picker of a clip shows it.
    sheet_->showClipLut(engine.clipLutPickerValue(controller_->clipId()), engine.listedLutMarks());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(sheet_);
}

GradeInspectorWindowRoot::~GradeInspectorWindowRoot() = default;

QSize GradeInspectorWindowRoot::contentSize()
{
    return {ClipGradeInspectorSheet::sheetWidth, ClipGradeInspectorSheet::sheetHeight};
}

const std::string& GradeInspectorWindowRoot::clipId() const
{
    return controller_->clipId();
}

} // namespace velmora
