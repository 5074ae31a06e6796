#include "export_workspaces/BusyIndicator.h"

#include <QPainter>

#include "controls/VelmoraPalette.h"

namespace velmora {

namespace {
constexpr int spokes = 8;
}

BusyIndicator::BusyIndicator(QWidget* parent)
    : QWidget(parent)
{
    setFixedSize(sizeHint());
    timer_.setInterval(90);
    connect(&timer_, &QTimer::timeout, this, [this] {
        step_ = (step_ + 1) % spokes;
        update();
    });
}

void BusyIndicator::setRunning(bool running)
{
    if (running == running_)
        return;
    running_ = running;
    if (running_)
        timer_.start();
    else
        timer_.stop();
    update();
}

void BusyIndicator::paintEvent(QPaintEvent*)
{
    if (!running_)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, height() / 2.0);
    const double radius = std::min(width(), height()) / 2.0;
    for (int i = 0; i < spokes; ++i) {
        QColor color = VelmoraPalette::secondaryText();
        // The newest spoke is brightest; the others fade behind it.
        color.setAlphaF(0.25f + 0.75f * static_cast<float>((i - step_ + spokes) % spokes) / (spokes - 1));
        painter.setPen(QPen(color, 2.0, Qt::SolidLine, Qt::RoundCap));
        painter.save();
        painter.rotate(360.0 * i / spokes);
        painter.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius * 0.9));
        painter.restore();
    }
}

} // namespace velmora
