#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <QImage>
#include <QWidget>

#include "workspace/EditorWorkspaceController.h"

namespace velmora {

// The media pool's cards, drawn in a grid that adapts its columns (160 to 220 points wide) to the
// width it gets, 8 points apart and 8 from the edges. A card is the source's picture (160 × 90,
// filled) or its symbol on grey, its file name and the size and rate line, on a highlighted
// background while selected. A click reports the card's source through onSelect, a double click
// through onSelect and then onOpen. The grid asks for the height its rows need
// at its width; place it in a scroll area. Main thread only.
class MediaPoolGrid final : public QWidget {
    Q_OBJECT
public:
    using Card = EditorWorkspaceController::MediaPoolCard;

    static constexpr int pictureWidth = 160;
    static constexpr int pictureHeight = 90;
    static constexpr int cardPadding = 8;
    static constexpr int cardWidth = pictureWidth + 2 * cardPadding;
    static constexpr int gridPadding = 8;
    static constexpr int spacing = 8;
    static constexpr int minimumColumnWidth = 160;
    static constexpr int maximumColumnWidth = 220;

    explicit MediaPoolGrid(QWidget* parent = nullptr);

    void setCards(std::vector<Card> cards);
    const std::vector<Card>& cards() const { return cards_; }

    // Where card `index` is drawn, in this widget; empty for no such card.
    QRect cardRect(int index) const;
    // The card under a point, -1 for none.
    int cardAt(const QPoint& point) const;
    // Whether card `index` shows its picture (its data decoded) rather than its symbol.
    bool showsPicture(int index) const;
    // The number of columns at a width of `width` points.
    static int columnCount(int width);

    std::function<void(const std::string& sourceId)> onSelect;
    std::function<void(const std::string& sourceId)> onOpen;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    // The card's picture: decoded once per distinct data; a null image when it does not decode.
    struct Picture {
        std::vector<std::uint8_t> data;
        QImage image;
    };

    void relayout();
    int cardHeight(const Card& card) const;
    void paintCard(QPainter& painter, const Card& card, const QRect& rect) const;

    std::vector<Card> cards_;
    std::vector<QRect> rects_;
    std::map<std::string, Picture> pictures_;
    int contentHeight_ = 2 * gridPadding;
};

} // namespace velmora
