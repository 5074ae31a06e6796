#include "controls/EdgeScrollZone.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include "controls/ToolbarEdgeScrollMath.h"
#include "controls/ToolbarEdgeScrollView.h"
#include "controls/VelmoraPalette.h"

namespace velmora {

EdgeScrollZone::EdgeScrollZone(ToolbarEdgeScrollView* host, double scrollDelta, QString arrowTitle, QWidget* parent)
    : QWidget(parent), host_(host), scrollDelta_(scrollDelta), arrowTitle_(std::move(arrowTitle)),
      scrollTimer_(new QTimer(this))
{
    scrollTimer_->setInterval(qRound(ToolbarEdgeScrollMath::hoverInterval * 1000));
    scrollTimer_->setTimerType(Qt::PreciseTimer);
    connect(scrollTimer_, &QTimer::timeout, this, &EdgeScrollZone::hoverTick);
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
}

bool EdgeScrollZone::isHoverScrolling() const
{
    return scrollTimer_->isActive();
}

QColor EdgeScrollZone::background() const
{
    return hovered_ ? VelmoraPalette::edgeZoneHover() : VelmoraPalette::edgeZone();
}

void EdgeScrollZone::hoverTick()
{
    if (!pressed_ && !moved_) {
        stopHoverScroll();
        return;
    }
    moved_ = false;
    if (host_ && scrollDelta_ != 0 && host_->hostedContent())
        host_->scrollByPixels(scrollDelta_);
}

void EdgeScrollZone::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), background());
    QFont font = painter.font();
    font.setPixelSize(12);
    font.setWeight(QFont::DemiBold);
    painter.setFont(font);
    painter.setPen(VelmoraPalette::editorText());
    painter.drawText(rect(), Qt::AlignCenter, arrowTitle_);
}

void EdgeScrollZone::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    hovered_ = true;
    update();
    startHoverScroll();
}

void EdgeScrollZone::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    hovered_ = false;
    update();
    stopHoverScroll();
}

void EdgeScrollZone::mouseMoveEvent(QMouseEvent* event)
{
    QWidget::mouseMoveEvent(event);
    moved_ = true;
    if (!scrollTimer_->isActive())
        scrollTimer_->start();
}

void EdgeScrollZone::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    pressed_ = true;
    if (host_ && host_->hostedContent())
        host_->pageByStep(scrollDelta_ < 0 ? -1 : 1);
    if (!scrollTimer_->isActive())
        scrollTimer_->start();
    event->accept();
}

void EdgeScrollZone::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        pressed_ = false;
    QWidget::mouseReleaseEvent(event);
}

void EdgeScrollZone::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // A hidden strip gets no leave event: end its hover here.
    hovered_ = false;
    stopHoverScroll();
}

void EdgeScrollZone::startHoverScroll()
{
    stopHoverScroll();
    if (host_)
        host_->scrollByPixels(scrollDelta_);
    scrollTimer_->start();
}

void EdgeScrollZone::stopHoverScroll()
{
    // What held the scroll ends with it: a press or a move seen before does not carry over.
    pressed_ = pressed_ && hovered_ && isVisible();
    moved_ = false;
    scrollTimer_->stop();
}

} // namespace velmora
