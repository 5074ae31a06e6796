#pragma once

#include <optional>

#include <QPointer>
#include <QWidget>

namespace velmora {

class EdgeScrollZone;

// A one-line toolbar strip that hosts any toolbar content (a widget with a horizontal layout)
// and scrolls it sideways when it does not fit: no scroll bars; an arrow strip ("◀", "▶", 30
// wide) at each end while the content overflows by more than 6; hovering an arrow scrolls 600
// a second, clicking it pages by 220, the wheel or the trackpad scrolls the content. Replacing
// the content, or the content changing its size, keeps the horizontal scroll position.
// Once the arrows show they stay while there is content: the content is laid out at least as
// wide as the whole toolbar, so it always overflows the area between the arrows. Whether they
// show is decided only while the toolbar is shown (a hidden one keeps its default geometry).
// Children: "clipView" (the visible area), "leftZone", "rightZone". Main thread only.
class ToolbarEdgeScrollView final : public QWidget {
    Q_OBJECT
public:
    explicit ToolbarEdgeScrollView(QWidget* parent = nullptr);

    // Takes ownership of `content` and shows it in place of the previous content (deleted
    // later), keeping the scroll position. Null removes the content.
    void setHostedContent(QWidget* content);
    QWidget* hostedContent() const { return content_; }
    // Lays the content out now, as its next layout request would, keeping the scroll position:
    // for a caller that showed or hid part of it and reads (or lets the user click) where its
    // controls are before control returns to the event loop.
    void layoutContentNow();

    // How far the content is scrolled to the left, 0 at its start.
    double offset() const { return offset_; }
    double maxOffset() const;
    double documentWidth() const { return documentWidth_; }
    double clipWidth() const;
    bool edgesVisible() const;

    // Moves the offset by a signed amount, clamped. Nothing without content or for 0.
    void scrollByPixels(double dx);
    // A page of 220 toward the start (direction < 0) or the end, clamped.
    void pageByStep(int direction);
    // Wheel and trackpad deltas (positive dy: toward the end); false when the event is left to
    // the parents (see ToolbarEdgeScrollMath::wheelOffset).
    bool scrollByWheel(double dx, double dy);

    QWidget* clipView() const { return clip_; }
    EdgeScrollZone* leftZone() const { return leftZone_; }
    EdgeScrollZone* rightZone() const { return rightZone_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Lays out the strips, the visible area and the content, then shows `remembered` again.
    void layoutPreservingScroll(double remembered);
    void layoutFrames();
    void relayoutDocumentAndEdges();
    void updateEdgeVisibility();
    void restoreHorizontalScroll(double remembered);
    void setOffset(double offset);

    QWidget* clip_;
    EdgeScrollZone* leftZone_;
    EdgeScrollZone* rightZone_;
    QPointer<QWidget> content_;
    double offset_ = 0;
    double documentWidth_ = 0;
    // A position that could not be restored because the content could not scroll; tried once
    // more on the next layout, then dropped.
    std::optional<double> pendingScrollRestoreX_;
};

} // namespace velmora
