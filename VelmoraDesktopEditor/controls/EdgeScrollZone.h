#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QTimer;

namespace velmora {

class ToolbarEdgeScrollView;

// One arrow strip at an end of an edge-scrolling toolbar. The pointer entering it scrolls the
// toolbar at once by `scrollDelta`; then a 1/60 s timer scrolls by as much on each tick while a
// mouse button is held on the strip or the pointer moved over it since the tick before. A pointer
// left still over the strip stops it (the timer stops with it), so the toolbar never slides away
// under a pointer at rest and the next click lands where it was aimed. A click pages by 220 in its
// direction. Holds its toolbar weakly. Main thread only.
class EdgeScrollZone final : public QWidget {
    Q_OBJECT
public:
    EdgeScrollZone(ToolbarEdgeScrollView* host, double scrollDelta, QString arrowTitle, QWidget* parent);

    double scrollDelta() const { return scrollDelta_; }
    QString arrowTitle() const { return arrowTitle_; }
    bool isHovered() const { return hovered_; }
    bool isHoverScrolling() const;
    // The strip's current fill: white 0.12, or 0.22 under the pointer.
    QColor background() const;

    // One tick of the hover timer (also called by the timer): scrolls while a button is held or
    // the pointer moved since the last tick, else stops the timer.
    void hoverTick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void startHoverScroll();
    void stopHoverScroll();

    QPointer<ToolbarEdgeScrollView> host_;
    double scrollDelta_;
    QString arrowTitle_;
    QTimer* scrollTimer_;
    bool hovered_ = false;
    // A mouse button is held on the strip.
    bool pressed_ = false;
    // The pointer moved over the strip since the last tick.
    bool moved_ = false;
};

} // namespace velmora
