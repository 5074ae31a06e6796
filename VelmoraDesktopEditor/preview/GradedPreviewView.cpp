#include "preview/GradedPreviewView.h"

#include <QPainter>

#include "preview/GradedPreviewController.h"

namespace velmora {

namespace {

// `image` scaled to cover `frame`, centred, the overflow cut off.
void drawCovering(QPainter& painter, const QRectF& frame, const QImage& image, double opacity)
{
    if (image.isNull() || frame.isEmpty() || opacity <= 0.0) {
        return;
    }
    const double imageAspect = static_cast<double>(image.width()) / image.height();
    const double frameAspect = frame.width() / frame.height();
    QRectF source(0, 0, image.width(), image.height());
    if (imageAspect > frameAspect) {
        const double width = image.height() * frameAspect;
        source = QRectF((image.width() - width) / 2, 0, width, image.height());
    } else if (imageAspect < frameAspect) {
        const double height = image.width() / frameAspect;
        source = QRectF(0, (image.height() - height) / 2, image.width(), height);
    }
    painter.setOpacity(opacity);
    painter.drawImage(frame, image, source);
}

} // namespace

GradedPreviewView::GradedPreviewView(TimelinePreviewEngine& engine, std::shared_ptr<MainQueue> mainQueue,
                                     bool lightweight, bool cleanFeed, QWidget* parent)
    : QWidget(parent), controller_(new GradedPreviewController(&engine, std::move(mainQueue), cleanFeed, this))
{
    setObjectName(QStringLiteral("GradedPreviewView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    controller_->setLightweight(lightweight);
    // Clicks on the clean feed's picture reach whatever lies below it.
    setAttribute(Qt::WA_TransparentForMouseEvents, cleanFeed);
    pollTimer_.setInterval(playerPicturePollMs);
    connect(&pollTimer_, &QTimer::timeout, controller_, &GradedPreviewController::pullPlayerPicture);
    connect(controller_, &GradedPreviewController::pictureChanged, this, [this] {
        updatePolling();
        update();
    });
    connect(controller_, &GradedPreviewController::pictureLanded, this, [this] {
        updatePolling();
        repaint();
    });
}

GradedPreviewView::~GradedPreviewView() = default;

void GradedPreviewView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    updatePolling();
}

void GradedPreviewView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    updatePolling();
}

void GradedPreviewView::updatePolling()
{
    const bool poll = isVisible() && controller_->isPlayerShown() && controller_->player();
    if (poll && !pollTimer_.isActive()) {
        pollTimer_.start();
        controller_->pullPlayerPicture();
    } else if (!poll) {
        pollTimer_.stop();
    }
}

void GradedPreviewView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const QRectF frame = controller_->contentFrameForProjectCanvas(QRectF(rect()));
    painter.setClipRect(frame);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (controller_->isStillShown()) {
        drawCovering(painter, frame, controller_->still(), controller_->stillOpacity());
    } else if (controller_->isPlayerShown()) {
        drawCovering(painter, frame, controller_->playerPicture(), controller_->playerOpacity());
    }
}

} // namespace velmora
