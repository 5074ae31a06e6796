#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <QImage>
#include <QWidget>

#include "workspace/EditorWorkspaceController.h"
#include "workspace/pool/PosterPictureDecoder.h"

namespace velmora {

// The media pool's cards, drawn in a grid that adapts its columns (160 to 220 points wide) to the
// width it gets, 8 points apart and 8 from the edges. A card is the source's picture (160 × 90,
// filled) or its symbol on grey, its file name and the size and rate line, on a highlighted
// background while selected. A click reports the card's source through onSelect, a double click
// through onSelect and then onOpen. The grid asks for the height its rows need
// at its width; place it in a scroll area. Main thread only.
//
// Pictures are decoded off the main thread, at the size a card draws them, for the cards in
// view only; a card shows its symbol until its picture arrives. Decoded pictures are kept for at
// least the cards in view, up to the larger of keptPictures and twice their number, the least
// recently drawn going first.
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
    static constexpr std::size_t keptPictures = 96;

    explicit MediaPoolGrid(QWidget* parent = nullptr);
    ~MediaPoolGrid() override;

    void setCards(std::vector<Card> cards);
    // Lets `update` bring the cards up to date in place; they are laid out and drawn again only
    // when it reports a change.
    void updateCards(const std::function<bool(std::vector<Card>& cards)>& update);
    const std::vector<Card>& cards() const { return cards_; }

    // Where card `index` is drawn, in this widget; empty for no such card.
    QRect cardRect(int index) const;
    // The card under a point, -1 for none.
    int cardAt(const QPoint& point) const;
    // Whether card `index` shows its picture (its data decoded) rather than its symbol.
    bool showsPicture(int index) const;
    // The number of pictures held decoded.
    std::size_t decodedPictureCount() const { return pictures_.size(); }
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
    // A source's decoded picture: a null image when its data does not decode.
    struct Picture {
        std::size_t fingerprint = 0;
        QImage image;
        // When a card last drew it.
        mutable std::uint64_t drawn = 0;
    };

    void relayout();
    int cardHeight(const Card& card, int nameHeight, int detailHeight) const;
    void paintCard(QPainter& painter, const Card& card, const QRect& rect, const QImage* image) const;
    // The fingerprint of card `index`'s data, none without data.
    std::optional<std::size_t> fingerprint(std::size_t index) const;
    // The decoded picture of card `index` when it is of its current data.
    const Picture* pictureOf(std::size_t index) const;
    // Asks for the pictures of the cards in view that have none yet.
    void requestVisiblePictures(const QRect& visible);
    void pictureDecoded(PosterPictureDecoder::Result result);

    std::vector<Card> cards_;
    std::vector<QRect> rects_;
    mutable std::vector<std::optional<std::size_t>> fingerprints_;
    std::unordered_map<std::string, Picture> pictures_;
    std::uint64_t drawClock_ = 0;
    std::size_t cardsInView_ = 0;
    PosterPictureDecoder* decoder_;
    int contentHeight_ = 2 * gridPadding;
};

} // namespace velmora
