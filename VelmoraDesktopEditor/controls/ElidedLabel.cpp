#include "controls/ElidedLabel.h"

#include <QPainter>

namespace velmora {

ElidedLabel::ElidedLabel(Qt::TextElideMode mode, const QString& text, QWidget* parent)
    : QLabel(text, parent), mode_(mode)
{
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {0, QLabel::minimumSizeHint().height()};
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const QRect area = contentsRect();
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, fontMetrics().elidedText(text(), mode_, area.width()));
}

} // namespace velmora
