#include "preview/PlayerPictureView.h"

#include <QPainter>

#include "preview/GradedPreviewView.h"
#include "preview/PreviewPlayer.h"

namespace velmora {

PlayerPictureView::PlayerPictureView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("playerView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    pollTimer_.setInterval(GradedPreviewView::playerPicturePollMs);
    connect(&pollTimer_, &QTimer::timeout, this, &PlayerPictureView::pullPicture);
}

void PlayerPictureView::setPlayer(std::shared_ptr<PreviewPlayer> player)
{
    player_ = std::move(player);
    feed_.setOutput(player_ ? player_->videoOutput() : nullptr);
    updatePolling();
    update();
    emit playerChanged();
}

bool PlayerPictureView::pullPicture()
{
    if (!feed_.pull()) {
        return false;
    }
    update();
    return true;
}

void PlayerPictureView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    updatePolling();
}

void PlayerPictureView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    updatePolling();
}

void PlayerPictureView::updatePolling()
{
    if (isVisible() && feed_.output()) {
        pollTimer_.start();
    } else {
        pollTimer_.stop();
    }
}

void PlayerPictureView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const QImage& image = feed_.image();
    if (image.isNull() || width() < 1 || height() < 1) {
        return;
    }
    QSizeF fitted = QSizeF(image.size()).scaled(QSizeF(size()), Qt::KeepAspectRatio);
    const QRectF target((width() - fitted.width()) / 2, (height() - fitted.height()) / 2, fitted.width(),
                        fitted.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image);
}

} // namespace velmora
