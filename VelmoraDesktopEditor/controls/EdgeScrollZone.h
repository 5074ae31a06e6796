#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QTimer;

namespace velmora {

class ToolbarEdgeScrollView;

// One arrow strip at an end of an edge-scrolling toolbar. Hovering it scrolls the toolbar at
// once by `scrollDelta` and then on every tick of a 1/60 s timer until the pointer leaves (the
// timer keeps running at the end of the content, moving nothing); a click pages by 220 in its
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

    // One tick of the hover timer (also called by the timer).
    void hoverTick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void startHoverScroll();
    void stopHoverScroll();

    QPointer<ToolbarEdgeScrollView> host_;
    double scrollDelta_;
    QString arrowTitle_;
    QTimer* scrollTimer_;
    bool hovered_ = false;
};

} // namespace velmora
