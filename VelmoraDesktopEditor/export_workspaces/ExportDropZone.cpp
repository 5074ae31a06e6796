#include "export_workspaces/ExportDropZone.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QVBoxLayout>

#include "controls/VelmoraPalette.h"
#include "export_workspaces/ExportWorkspaceController.h"
#include "export_workspaces/WorkspaceLabels.h"

namespace velmora {

namespace {

constexpr double cornerRadius = 12;

bool carriesLocalFiles(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return false;
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

} // namespace

ExportDropZone::ExportDropZone(ExportWorkspaceController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
{
    setObjectName(QStringLiteral("ExportDropZone"));
    setAcceptDrops(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(6);
    hint_ = WorkspaceLabels::text({}, WorkspaceLabels::TextSize::callout, true);
    action_ = WorkspaceLabels::text({}, WorkspaceLabels::TextSize::caption, true);
    layout->addWidget(hint_);
    layout->addWidget(action_);
    sync();
}

void ExportDropZone::sync()
{
    hint_->setText(QString::fromStdString(controller_.dropHint()));
    action_->setText(controller_.isDropTarget() ? QStringLiteral("Drop now\u2026")
                                                : QStringLiteral("Or use the buttons below"));
    update();
}

void ExportDropZone::dragEnterEvent(QDragEnterEvent* event)
{
    if (!carriesLocalFiles(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    controller_.setDropTarget(true);
}

void ExportDropZone::dragMoveEvent(QDragMoveEvent* event)
{
    if (carriesLocalFiles(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void ExportDropZone::dragLeaveEvent(QDragLeaveEvent* event)
{
    controller_.setDropTarget(false);
    event->accept();
}

void ExportDropZone::dropEvent(QDropEvent* event)
{
    controller_.setDropTarget(false);
    const QMimeData* data = event->mimeData();
    if (data && controller_.handleDrop(data->urls()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void ExportDropZone::paintEvent(QPaintEvent*)
{
    const bool targeted = controller_.isDropTarget();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor fill(0, 0, 0);
    fill.setAlphaF(targeted ? 0.85f : 0.55f);
    QColor border = targeted ? VelmoraPalette::blue() : VelmoraPalette::secondaryText();
    if (!targeted)
        border.setAlphaF(0.4f);
    painter.setPen(QPen(border, 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(bounds, cornerRadius, cornerRadius);
}

} // namespace velmora
