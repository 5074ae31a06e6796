#include "controls/ToolbarEdgeScrollView.h"

#include <algorithm>
#include <cmath>

#include <QEvent>
#include <QLayout>
#include <QWheelEvent>

#include "controls/EdgeScrollZone.h"
#include "controls/ToolbarEdgeScrollMath.h"

namespace velmora {
namespace {

namespace scrollMath = ToolbarEdgeScrollMath;

// The visible area between the arrow strips. It turns wheel and trackpad events into sideways
// scrolling, and leaves them to its parents when the toolbar does not scroll.
class ClipScrollView final : public QWidget {
public:
    ClipScrollView(ToolbarEdgeScrollView* host) : QWidget(host), host_(host) {}

protected:
    void wheelEvent(QWheelEvent* event) override
    {
        // Points when the device reports them, else degrees (15 per notch). Turning the wheel
        // toward the user, or swiping up, moves the toolbar toward its end.
        const QPointF delta = event->pixelDelta().isNull() ? QPointF(event->angleDelta()) / 8.0
                                                            : QPointF(event->pixelDelta());
        if (host_->scrollByWheel(delta.x(), -delta.y()))
            event->accept();
        else
            event->ignore();
    }

private:
    ToolbarEdgeScrollView* host_;
};

} // namespace

ToolbarEdgeScrollView::ToolbarEdgeScrollView(QWidget* parent)
    : QWidget(parent), clip_(new ClipScrollView(this)),
      leftZone_(new EdgeScrollZone(this, -scrollMath::hoverStep, QStringLiteral("\u25C0"), this)),
      rightZone_(new EdgeScrollZone(this, scrollMath::hoverStep, QStringLiteral("\u25B6"), this))
{
    setObjectName(QStringLiteral("ToolbarEdgeScrollView"));
    clip_->setObjectName(QStringLiteral("clipView"));
    leftZone_->setObjectName(QStringLiteral("leftZone"));
    rightZone_->setObjectName(QStringLiteral("rightZone"));
    leftZone_->hide();
    rightZone_->hide();
    clip_->installEventFilter(this);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ToolbarEdgeScrollView::setHostedContent(QWidget* content)
{
    const double remembered = offset_;
    if (content_ != content) {
        if (content_) {
            content_->hide();
            content_->deleteLater();
        }
        content_ = content;
        if (content_) {
            content_->setParent(clip_);
            content_->show();
        }
    }
    layoutPreservingScroll(remembered);
    updateGeometry();
}

void ToolbarEdgeScrollView::layoutContentNow()
{
    if (!content_)
        return;
    layoutPreservingScroll(offset_);
    if (QLayout* layout = content_->layout())
        layout->activate();
}

double ToolbarEdgeScrollView::maxOffset() const
{
    return scrollMath::maxOffset(documentWidth_, clipWidth());
}

double ToolbarEdgeScrollView::clipWidth() const
{
    return clip_->width();
}

bool ToolbarEdgeScrollView::edgesVisible() const
{
    return !leftZone_->isHidden();
}

void ToolbarEdgeScrollView::scrollByPixels(double dx)
{
    if (dx == 0 || !content_)
        return;
    pendingScrollRestoreX_.reset();
    setOffset(scrollMath::clampOffset(offset_ + dx, documentWidth_, clipWidth()));
    updateEdgeVisibility();
}

void ToolbarEdgeScrollView::pageByStep(int direction)
{
    if (!content_)
        return;
    pendingScrollRestoreX_.reset();
    setOffset(scrollMath::pagedOffset(offset_, direction, documentWidth_, clipWidth()));
    updateEdgeVisibility();
}

bool ToolbarEdgeScrollView::scrollByWheel(double dx, double dy)
{
    if (!content_)
        return false;
    const std::optional<double> moved = scrollMath::wheelOffset(offset_, dx, dy, documentWidth_, clipWidth());
    if (!moved)
        return false;
    pendingScrollRestoreX_.reset();
    setOffset(*moved);
    return true;
}

QSize ToolbarEdgeScrollView::sizeHint() const
{
    const QSize content = content_ ? content_->sizeHint() : QSize();
    return {std::max(content.width(), 0), std::max(content.height(), static_cast<int>(scrollMath::minimumHeight))};
}

QSize ToolbarEdgeScrollView::minimumSizeHint() const
{
    return {0, static_cast<int>(scrollMath::minimumHeight)};
}

void ToolbarEdgeScrollView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutPreservingScroll(offset_);
}

void ToolbarEdgeScrollView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    layoutPreservingScroll(offset_);
}

bool ToolbarEdgeScrollView::eventFilter(QObject* watched, QEvent* event)
{
    // The content's preferred size changed (a control appeared, a label got longer): Qt asks
    // the parent of a widget whose size hint changed to lay out again.
    if (watched == clip_ && event->type() == QEvent::LayoutRequest && content_)
        layoutPreservingScroll(offset_);
    return QWidget::eventFilter(watched, event);
}

void ToolbarEdgeScrollView::layoutPreservingScroll(double remembered)
{
    layoutFrames();
    relayoutDocumentAndEdges();
    restoreHorizontalScroll(remembered);
}

void ToolbarEdgeScrollView::layoutFrames()
{
    const int edge = static_cast<int>(scrollMath::edgeWidth);
    const int left = leftZone_->isHidden() ? 0 : edge;
    const int right = rightZone_->isHidden() ? 0 : edge;
    const int w = width();
    const int h = height();
    leftZone_->setGeometry(0, 0, left, h);
    rightZone_->setGeometry(w - right, 0, right, h);
    clip_->setGeometry(left, 0, std::max(w - left - right, 0), h);
}

void ToolbarEdgeScrollView::relayoutDocumentAndEdges()
{
    if (!content_) {
        documentWidth_ = 0;
        updateEdgeVisibility();
        return;
    }
    const int h = std::max(height(), static_cast<int>(scrollMath::minimumHeight));
    const QSize preferred = content_->sizeHint();
    const QSize minimum = content_->minimumSizeHint();
    documentWidth_ = scrollMath::documentWidth(preferred.width(), minimum.width(), width());
    const int documentHeight = std::max(preferred.height(), h);
    content_->setGeometry(-static_cast<int>(std::lround(offset_)), 0, static_cast<int>(std::ceil(documentWidth_)),
                          documentHeight);
    updateEdgeVisibility();
}

void ToolbarEdgeScrollView::updateEdgeVisibility()
{
    bool show = false;
    if (content_) {
        // Not laid out yet: a hidden widget still has its default geometry, and arrows shown for
        // it would stay. Showing it lays it out again, and that decides.
        if (!isVisible() || clipWidth() <= 1)
            return;
        show = scrollMath::edgesVisible(documentWidth_, clipWidth());
    }
    if (show == edgesVisible())
        return;
    leftZone_->setVisible(show);
    rightZone_->setVisible(show);
    leftZone_->setToolTip(show ? QStringLiteral("Hover or click to scroll toolbar left") : QString());
    rightZone_->setToolTip(show ? QStringLiteral("Hover or click to scroll toolbar right (Apply, Clear\u2026)")
                                : QString());
    // The strips take their width from the visible area.
    layoutFrames();
    setOffset(scrollMath::clampOffset(offset_, documentWidth_, clipWidth()));
}

void ToolbarEdgeScrollView::restoreHorizontalScroll(double remembered)
{
    bool retry = false;
    if (pendingScrollRestoreX_ && remembered <= 0.5) {
        remembered = *pendingScrollRestoreX_;
        retry = true;
    }
    pendingScrollRestoreX_.reset();
    const scrollMath::Restore restore = scrollMath::restoreOffset(remembered, documentWidth_, clipWidth());
    if (restore.outcome == scrollMath::Restore::Outcome::pending && !retry)
        pendingScrollRestoreX_ = remembered;
    setOffset(restore.offset);
}

void ToolbarEdgeScrollView::setOffset(double offset)
{
    offset_ = offset;
    if (content_)
        content_->move(-static_cast<int>(std::lround(offset_)), 0);
}

} // namespace velmora
