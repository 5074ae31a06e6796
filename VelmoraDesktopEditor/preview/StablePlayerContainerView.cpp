#include "preview/StablePlayerContainerView.h"

#include <QPalette>

#include "preview/PlayerPictureView.h"

namespace velmora {

StablePlayerContainerView::StablePlayerContainerView(QWidget* parent)
    : QWidget(parent), playerView_(new PlayerPictureView(this))
{
    setObjectName(QStringLiteral("StablePlayerContainerView"));
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    layoutPlayerFrame();
}

void StablePlayerContainerView::layoutPlayerFrame()
{
    playerView_->setGeometry(rect());
}

void StablePlayerContainerView::resizeEvent(QResizeEvent* event)
{
    // Only this: the player view follows the bounds, nothing else is laid out.
    QWidget::resizeEvent(event);
    layoutPlayerFrame();
}

} // namespace velmora
