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

QString ElidedLabel::shownText() const
{
    return fontMetrics().elidedText(text(), mode_, contentsRect().width());
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(contentsRect(), Qt::AlignLeft | Qt::AlignVCenter, shownText());
}

} // namespace velmora
