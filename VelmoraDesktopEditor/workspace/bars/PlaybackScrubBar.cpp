#include "workspace/bars/PlaybackScrubBar.h"

#include <algorithm>
#include <cmath>

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace velmora {

namespace {

constexpr double trackHeight = 4;

void fillCapsule(QPainter& painter, const QRectF& rect, const QColor& colour)
{
    QPainterPath path;
    path.addRoundedRect(rect, rect.height() / 2, rect.height() / 2);
    painter.fillPath(path, colour);
}

} // namespace

PlaybackScrubBar::PlaybackScrubBar(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PlaybackScrubBar"));
    setFixedHeight(barHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

void PlaybackScrubBar::setPosition(double seconds, double duration)
{
    if (seconds == seconds_ && duration == duration_)
        return;
    seconds_ = seconds;
    duration_ = duration;
    update();
}

double PlaybackScrubBar::knobOffset(double width, double seconds, double duration)
{
    const double travel = std::max(std::max(width, 1.0) - knobSize, 0.0);
    double progress = 0;
    if (duration > 0 && std::isfinite(seconds / duration))
        progress = std::clamp(seconds / duration, 0.0, 1.0);
    return travel * progress;
}

double PlaybackScrubBar::timeAt(double x, double width, double duration)
{
    const double w = std::max(width, 1.0);
    return std::clamp(x, 0.0, w) / w * duration;
}

void PlaybackScrubBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double w = std::max(static_cast<double>(width()), 1.0);
    const double middle = height() / 2.0;
    const double x = knobOffset(w, seconds_, duration_);
    fillCapsule(painter, QRectF(0, middle - trackHeight / 2, w, trackHeight), QColor(255, 255, 255, 46));
    fillCapsule(painter, QRectF(0, middle - trackHeight / 2, std::max(x + knobSize / 2, 4.0), trackHeight),
                QColor(255, 255, 255, 230));
    const QRectF knob(x, middle - knobSize / 2, knobSize, knobSize);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 89));
    painter.drawEllipse(knob.translated(0, 1).adjusted(-0.5, -0.5, 0.5, 0.5));
    painter.setBrush(Qt::white);
    painter.drawEllipse(knob);
}

void PlaybackScrubBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        scrubTo(event->position().x());
}

void PlaybackScrubBar::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        scrubTo(event->position().x());
}

void PlaybackScrubBar::scrubTo(double x)
{
    emit scrubbed(timeAt(x, width(), duration_));
}

} // namespace velmora
