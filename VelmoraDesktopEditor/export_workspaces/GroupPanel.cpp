#include "export_workspaces/GroupPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "controls/VelmoraPalette.h"
#include "export_workspaces/WorkspaceLabels.h"

namespace velmora {

GroupPanel::GroupPanel(const char* symbolName, const QColor& symbolTint, const QString& title, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    auto* labelRow = new QHBoxLayout;
    labelRow->setSpacing(8);
    labelRow->addWidget(WorkspaceLabels::symbol(symbolName, symbolTint));
    QLabel* titleLabel = WorkspaceLabels::text(title, WorkspaceLabels::TextSize::body, false);
    QFont font = titleLabel->font();
    font.setWeight(QFont::DemiBold);
    titleLabel->setFont(font);
    labelRow->addWidget(titleLabel);
    labelRow->addStretch(1);
    layout->addLayout(labelRow);

    box_ = new QWidget(this);
    content_ = new QVBoxLayout(box_);
    content_->setContentsMargins(10, 2 + 8, 10, 10);
    content_->setSpacing(10);
    layout->addWidget(box_);
}

void GroupPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(VelmoraPalette::groupBorder(), 1));
    painter.setBrush(VelmoraPalette::groupFill());
    painter.drawRoundedRect(QRectF(box_->geometry()).adjusted(0.5, 0.5, -0.5, -0.5), 7, 7);
}

} // namespace velmora
