#include "export_workspaces/PreviewPictureBox.h"

#include <QPainter>
#include <QPainterPath>

#include "controls/VelmoraPalette.h"

namespace velmora {

namespace {
constexpr double cornerRadius = 10;
}

PreviewPictureBox::PreviewPictureBox(QWidget* parent)
    : QWidget(parent)
{
    setFixedHeight(520);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMinimumWidth(1);
}

void PreviewPictureBox::setImage(const QImage& image)
{
    image_ = image;
    update();
}

void PreviewPictureBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath clip;
    clip.addRoundedRect(bounds, cornerRadius, cornerRadius);
    painter.setClipPath(clip);
    painter.fillRect(rect(), Qt::black);

    if (!image_.isNull()) {
        const QSizeF fitted = QSizeF(image_.size()).scaled(size(), Qt::KeepAspectRatio);
        const QRectF target((width() - fitted.width()) / 2.0, (height() - fitted.height()) / 2.0, fitted.width(),
                            fitted.height());
        painter.drawImage(target, image_);
    } else {
        painter.setPen(VelmoraPalette::secondaryText());
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap,
                         QStringLiteral("Preview will render a single frame using the same pipeline as export."));
    }

    painter.setClipping(false);
    QColor border(0, 0, 0);
    border.setAlphaF(0.35f);
    painter.setPen(QPen(border, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(bounds, cornerRadius, cornerRadius);
}

} // namespace velmora
