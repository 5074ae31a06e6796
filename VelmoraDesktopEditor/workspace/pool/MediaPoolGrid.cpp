#include "workspace/pool/MediaPoolGrid.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include <QFontMetrics>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include "controls/VelmoraPalette.h"
#include "controls/VelmoraSymbols.h"
#include "workspace/EditorWorkspaceStyle.h"

namespace velmora {

namespace {

constexpr int pictureToText = 4;
constexpr int nameToDetail = 2;
constexpr int symbolSize = 24;
constexpr qreal cardRadius = 6;
constexpr qreal pictureRadius = 4;
constexpr char cardHelp[] = "Click to select · double-click to open source viewer";

QColor symbolGrey()
{
    return QColor(142, 142, 147);
}

QFont sizedFont(const QFont& base, int pixels)
{
    QFont font = base;
    font.setPixelSize(pixels);
    return font;
}

QFont nameFont(const QFont& base)
{
    return sizedFont(base, 11);
}

QFont detailFont(const QFont& base)
{
    return sizedFont(base, 10);
}

} // namespace

MediaPoolGrid::MediaPoolGrid(QWidget* parent) : QWidget(parent), decoder_(new PosterPictureDecoder(this))
{
    setObjectName(QStringLiteral("mediaPoolGrid"));
    decoder_->onDecoded = [this](PosterPictureDecoder::Result result) { pictureDecoded(std::move(result)); };
}

// The decoder goes first, while the grid its results land in is whole.
MediaPoolGrid::~MediaPoolGrid()
{
    delete decoder_;
}

void MediaPoolGrid::setCards(std::vector<Card> cards)
{
    updateCards([&cards](std::vector<Card>& held) {
        held = std::move(cards);
        return true;
    });
}

void MediaPoolGrid::updateCards(const std::function<bool(std::vector<Card>& cards)>& update)
{
    if (!update(cards_))
        return;
    // A picture stays decoded for as long as its data stays the same; new data is recognised
    // when its card is drawn.
    fingerprints_.assign(cards_.size(), std::nullopt);
    relayout();
    this->update();
}

std::optional<std::size_t> MediaPoolGrid::fingerprint(std::size_t index) const
{
    const std::optional<SharedBytes>& data = cards_[index].thumbnailData;
    if (!data)
        return std::nullopt;
    if (!fingerprints_[index]) {
        const std::vector<std::uint8_t>& jpeg = data->get();
        const std::string_view bytes(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
        fingerprints_[index] = std::hash<std::string_view>{}(bytes) ^ jpeg.size();
    }
    return fingerprints_[index];
}

const MediaPoolGrid::Picture* MediaPoolGrid::pictureOf(std::size_t index) const
{
    const std::optional<std::size_t> wanted = fingerprint(index);
    if (!wanted)
        return nullptr;
    const auto picture = pictures_.find(cards_[index].sourceId);
    return picture != pictures_.end() && picture->second.fingerprint == *wanted ? &picture->second : nullptr;
}

void MediaPoolGrid::requestVisiblePictures(const QRect& visible)
{
    const qreal ratio = devicePixelRatioF();
    const QSize fill(static_cast<int>(std::ceil(pictureWidth * ratio)), static_cast<int>(std::ceil(pictureHeight * ratio)));
    std::vector<PosterPictureDecoder::Request> wanted;
    std::size_t inView = 0;
    for (std::size_t i = 0; i < cards_.size(); ++i) {
        if (!rects_[i].intersects(visible))
            continue;
        ++inView;
        if (!cards_[i].thumbnailData || pictureOf(i))
            continue;
        wanted.push_back({cards_[i].sourceId, *fingerprint(i), cards_[i].thumbnailData->shared(), fill});
    }
    cardsInView_ = inView;
    decoder_->request(std::move(wanted));
}

void MediaPoolGrid::pictureDecoded(PosterPictureDecoder::Result result)
{
    // Only a picture of data some card still holds is kept.
    int shownAt = -1;
    for (std::size_t i = 0; i < cards_.size(); ++i) {
        if (cards_[i].sourceId == result.key && fingerprint(i) == result.fingerprint) {
            shownAt = static_cast<int>(i);
            break;
        }
    }
    if (shownAt < 0)
        return;
    pictures_[result.key] = Picture{result.fingerprint, std::move(result.image), ++drawClock_};
    const std::size_t limit = std::max(keptPictures, 2 * cardsInView_);
    while (pictures_.size() > limit) {
        auto oldest = std::min_element(pictures_.begin(), pictures_.end(),
                                       [](const auto& a, const auto& b) { return a.second.drawn < b.second.drawn; });
        pictures_.erase(oldest);
    }
    update(cardRect(shownAt));
}

int MediaPoolGrid::columnCount(int width)
{
    const int available = width - 2 * gridPadding;
    return std::max(1, (available + spacing) / (minimumColumnWidth + spacing));
}

int MediaPoolGrid::cardHeight(const Card& card, int nameHeight, int detailHeight) const
{
    int height = cardPadding + pictureHeight + pictureToText + nameHeight + cardPadding;
    if (!card.detail.empty())
        height += nameToDetail + detailHeight;
    return height;
}

void MediaPoolGrid::relayout()
{
    rects_.assign(cards_.size(), QRect());
    const int columns = columnCount(width());
    const int available = width() - 2 * gridPadding;
    const int column = std::clamp((available - (columns - 1) * spacing) / columns, minimumColumnWidth, maximumColumnWidth);
    const int rowWidth = columns * column + (columns - 1) * spacing;
    const int left = gridPadding + std::max(0, (available - rowWidth) / 2);
    const int nameHeight = QFontMetrics(nameFont(font())).height();
    const int detailHeight = QFontMetrics(detailFont(font())).height();
    int top = gridPadding;
    for (std::size_t first = 0; first < cards_.size(); first += static_cast<std::size_t>(columns)) {
        const std::size_t end = std::min(cards_.size(), first + static_cast<std::size_t>(columns));
        int rowHeight = 0;
        for (std::size_t i = first; i < end; ++i)
            rowHeight = std::max(rowHeight, cardHeight(cards_[i], nameHeight, detailHeight));
        for (std::size_t i = first; i < end; ++i) {
            const int cell = static_cast<int>(i - first);
            const int height = cardHeight(cards_[i], nameHeight, detailHeight);
            // Each card is centred in its cell.
            rects_[i] = QRect(left + cell * (column + spacing) + (column - cardWidth) / 2, top + (rowHeight - height) / 2,
                              cardWidth, height);
        }
        top += rowHeight + spacing;
    }
    contentHeight_ = cards_.empty() ? 2 * gridPadding : top - spacing + gridPadding;
    if (minimumHeight() != contentHeight_)
        setMinimumHeight(contentHeight_);
}

QSize MediaPoolGrid::sizeHint() const
{
    return {cardWidth + 2 * gridPadding, contentHeight_};
}

QRect MediaPoolGrid::cardRect(int index) const
{
    return index >= 0 && index < static_cast<int>(rects_.size()) ? rects_[static_cast<std::size_t>(index)] : QRect();
}

int MediaPoolGrid::cardAt(const QPoint& point) const
{
    for (std::size_t i = 0; i < rects_.size(); ++i) {
        if (rects_[i].contains(point))
            return static_cast<int>(i);
    }
    return -1;
}

bool MediaPoolGrid::showsPicture(int index) const
{
    if (index < 0 || index >= static_cast<int>(cards_.size()))
        return false;
    const Picture* picture = pictureOf(static_cast<std::size_t>(index));
    return picture && !picture->image.isNull();
}

void MediaPoolGrid::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    ++drawClock_;
    for (std::size_t i = 0; i < cards_.size(); ++i) {
        // Only what is visible is painted.
        if (!rects_[i].intersects(event->rect()))
            continue;
        const Picture* picture = pictureOf(i);
        if (picture)
            picture->drawn = drawClock_;
        paintCard(painter, cards_[i], rects_[i], picture && !picture->image.isNull() ? &picture->image : nullptr);
    }
    requestVisiblePictures(visibleRegion().boundingRect());
}

void MediaPoolGrid::paintCard(QPainter& painter, const Card& card, const QRect& rect, const QImage* image) const
{
    painter.save();
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect), cardRadius, cardRadius);
    painter.fillPath(outline, card.selected ? EditorWorkspaceStyle::selectedClip() : VelmoraPalette::grey(0.15));

    const QRect pictureRect(rect.left() + cardPadding, rect.top() + cardPadding, pictureWidth, pictureHeight);
    QPainterPath pictureOutline;
    pictureOutline.addRoundedRect(QRectF(pictureRect), pictureRadius, pictureRadius);
    painter.save();
    painter.setClipPath(pictureOutline);
    if (image) {
        // Scaled to fill the frame, the overflow cut off evenly.
        const QSize filled = image->size().scaled(pictureRect.size(), Qt::KeepAspectRatioByExpanding);
        const QRect target(pictureRect.center() - QPoint(filled.width() / 2, filled.height() / 2), filled);
        painter.drawImage(target, *image);
    } else {
        painter.fillRect(pictureRect, VelmoraPalette::grey(0.12));
        const QPixmap symbol =
            VelmoraSymbols::pixmap(card.placeholderSymbol, symbolSize, symbolGrey(), devicePixelRatioF());
        painter.drawPixmap(QRect(pictureRect.center() - QPoint(symbolSize / 2, symbolSize / 2), QSize(symbolSize, symbolSize)),
                           symbol);
    }
    painter.restore();

    int y = pictureRect.bottom() + 1 + pictureToText;
    const QFont name = nameFont(font());
    const QFontMetrics nameMetrics(name);
    painter.setFont(name);
    painter.setPen(Qt::white);
    painter.drawText(QRect(pictureRect.left(), y, pictureWidth, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     nameMetrics.elidedText(QString::fromStdString(card.fileName), Qt::ElideRight, pictureWidth));
    y += nameMetrics.height();
    if (!card.detail.empty()) {
        const QFont detail = detailFont(font());
        const QFontMetrics detailMetrics(detail);
        painter.setFont(detail);
        painter.setPen(symbolGrey());
        painter.drawText(QRect(pictureRect.left(), y + nameToDetail, pictureWidth, detailMetrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         detailMetrics.elidedText(QString::fromStdString(card.detail), Qt::ElideRight, pictureWidth));
    }
    painter.restore();
}

void MediaPoolGrid::mousePressEvent(QMouseEvent* event)
{
    const int index = cardAt(event->position().toPoint());
    // A copy: selecting refreshes the cards.
    if (event->button() == Qt::LeftButton && index >= 0 && onSelect)
        onSelect(std::string(cards_[static_cast<std::size_t>(index)].sourceId));
    QWidget::mousePressEvent(event);
}

void MediaPoolGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A double click is a click first: the card is selected (again), then opened.
    const int index = cardAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || index < 0)
        return;
    // A copy: selecting refreshes the cards.
    const std::string sourceId = cards_[static_cast<std::size_t>(index)].sourceId;
    if (onSelect)
        onSelect(sourceId);
    if (onOpen)
        onOpen(sourceId);
}

void MediaPoolGrid::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    relayout();
}

bool MediaPoolGrid::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (cardAt(help->pos()) >= 0)
            QToolTip::showText(help->globalPos(), QString::fromUtf8(cardHelp), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

} // namespace velmora
