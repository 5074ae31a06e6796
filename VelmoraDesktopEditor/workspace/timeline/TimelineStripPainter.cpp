#include "workspace/timeline/TimelineStripPainter.h"

#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>

#include "controls/VelmoraPalette.h"

namespace velmora {

namespace {

using Model = TimelineStripModel;
namespace Palette = VelmoraPalette;

constexpr double kCornerRadius = 3;
// A title needs at least this much room to be worth laying out.
constexpr double kShortestTitleWidth = 4;
constexpr double kSymbolSize = 13;
// Shapes reaching far past the view are cut this far outside it, where their ends cannot be
// seen, so the rasteriser never meets coordinates beyond its integers.
constexpr double kOffscreenMargin = 16;
// No title is wider than this, so one starting further left cannot reach the view.
constexpr double kLongestTitleWidth = 4000;

QFont pixelFont(QFont font, int pixelSize, QFont::Weight weight)
{
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

// Strokes a rounded rectangle inside its border, as a border drawn on the shape's edge would be.
void strokeInside(QPainter& painter, const QRectF& rect, const QColor& color, double width)
{
    const double inset = width / 2;
    painter.setPen(QPen(color, width));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(rect.adjusted(inset, inset, -inset, -inset), kCornerRadius - inset / 2,
                            kCornerRadius - inset / 2);
}

QRectF cutToView(const QRectF& rect, double viewWidth)
{
    const double left = std::max(rect.left(), -kOffscreenMargin);
    const double right = std::min(rect.right(), viewWidth + kOffscreenMargin);
    return {left, rect.top(), std::max(right - left, 0.0), rect.height()};
}

QRectF symbolBox(const QRectF& button)
{
    return {button.center().x() - kSymbolSize / 2, button.center().y() - kSymbolSize / 2, kSymbolSize, kSymbolSize};
}

// A padlock, closed and filled when locked, open and outlined otherwise.
void paintLockSymbol(QPainter& painter, const QRectF& button, bool locked)
{
    const QRectF box = symbolBox(button);
    const QColor color = locked ? Palette::laneMarker() : Palette::laneLabel();
    const QRectF body(box.left() + 2, box.top() + 6, 9, 7);
    QPainterPath shackle;
    const double shackleLeft = locked ? body.left() + 1.5 : body.left() + 4.5;
    shackle.moveTo(shackleLeft, body.top());
    shackle.lineTo(shackleLeft, box.top() + 3);
    shackle.arcTo(QRectF(shackleLeft, box.top() + 0.5, 6, 5), 180, -180);
    shackle.lineTo(shackleLeft + 6, locked ? body.top() : box.top() + 4.5);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawPath(shackle);
    if (locked) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawRoundedRect(body, 1.5, 1.5);
    } else {
        painter.setPen(QPen(color, 1.4));
        painter.drawRoundedRect(body.adjusted(0.7, 0.7, -0.7, -0.7), 1.2, 1.2);
    }
}

// A speaker with sound waves, or struck through when muted.
void paintSpeakerSymbol(QPainter& painter, const QRectF& button, bool muted)
{
    const QRectF box = symbolBox(button);
    const QColor color = muted ? Palette::laneMuteOn() : Palette::laneLabel();
    const double midY = box.center().y();
    QPainterPath speaker;
    speaker.moveTo(box.left(), midY - 2.5);
    speaker.lineTo(box.left() + 3, midY - 2.5);
    speaker.lineTo(box.left() + 7, midY - 6);
    speaker.lineTo(box.left() + 7, midY + 6);
    speaker.lineTo(box.left() + 3, midY + 2.5);
    speaker.lineTo(box.left(), midY + 2.5);
    speaker.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawPath(speaker);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(color, 1.5, Qt::SolidLine, Qt::RoundCap));
    if (muted) {
        painter.drawLine(QPointF(box.left() + 9, midY - 3), QPointF(box.right(), midY + 3));
        painter.drawLine(QPointF(box.left() + 9, midY + 3), QPointF(box.right(), midY - 3));
    } else {
        painter.drawArc(QRectF(box.left() + 4, midY - 3.5, 7, 7), -50 * 16, 100 * 16);
        painter.drawArc(QRectF(box.left() + 3, midY - 6, 11, 12), -50 * 16, 100 * 16);
    }
}

} // namespace

TimelineStripPainter::TimelineStripPainter()
    : titleFont_(pixelFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont), 9, QFont::Normal))
    , laneLabelFont_(pixelFont(QFontDatabase::systemFont(QFontDatabase::FixedFont), 9, QFont::DemiBold))
    , rulerHeaderFont_(pixelFont(QFontDatabase::systemFont(QFontDatabase::FixedFont), 8, QFont::Bold))
    , titleMetrics_(titleFont_)
{
}

void TimelineStripPainter::paint(QPainter& painter, const Model& model, const QRect& exposedRect)
{
    const QRectF exposed(exposedRect);
    painter.fillRect(exposed, Palette::editorBg());
    // Blocks are drawn without antialiasing: on whole points they look the same, and the
    // antialiased rasteriser hands every rounded rectangle to a thread pool, which costs about
    // 0.1 ms a block. Only the few symbols and the ghost are smoothed.
    painter.setRenderHint(QPainter::Antialiasing, false);

    if (exposed.top() < Model::rulerHeight) {
        paintRuler(painter, model, exposed);
    }

    const QRectF laneArea(0, Model::rulerHeight, model.viewportWidth(),
                          std::max(model.viewportHeight() - Model::rulerHeight, 0.0));
    const QRectF laneExposed = exposed.intersected(laneArea);
    if (!laneExposed.isEmpty()) {
        painter.save();
        painter.setClipRect(laneExposed);
        const auto [first, last] = model.visibleRows(laneExposed.top(), laneExposed.bottom());
        for (int row = first; row < last; ++row) {
            paintLaneRow(painter, model, row, laneExposed);
        }
        painter.restore();
    }

    // Overlays, back to front: snap guide, drag ghost, playhead.
    if (const std::optional<QRectF> guide = model.snapGuideRect(); guide && guide->intersects(exposed)) {
        painter.fillRect(*guide, Palette::snapGuide());
    }
    if (const std::optional<QRectF> ghost = model.dragGhostRect(); ghost && ghost->intersects(exposed)) {
        painter.save();
        painter.setClipRect(laneArea);
        painter.setRenderHint(QPainter::Antialiasing, true);
        paintGhost(painter, model, *ghost);
        painter.restore();
    }
    if (const QRectF playhead = model.playheadRect(); playhead.intersects(exposed)) {
        painter.fillRect(playhead, Palette::lanePlayhead());
    }
}

void TimelineStripPainter::paintRuler(QPainter& painter, const Model& model, const QRectF& exposed) const
{
    const double trackLeft = model.viewportX(Model::headerWidth);
    const double trackRight = model.viewportX(model.contentW());
    painter.fillRect(QRectF(trackLeft, 0, trackRight - trackLeft, Model::rulerHeight).intersected(exposed),
                     Palette::rulerTrack());

    const QRectF header(model.viewportX(0), 0, Model::headerWidth - Model::headerContentInset, Model::rulerHeight);
    if (header.intersects(exposed)) {
        painter.setFont(rulerHeaderFont_);
        painter.setPen(Palette::rulerText());
        painter.drawText(header, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("TC"));
    }

    const double markerTop = (Model::rulerHeight - Model::markerHeight) / 2;
    for (const EditSession::Marker& marker : model.markers()) {
        const double x = model.markerX(marker);
        if (x + Model::markerWidth > exposed.left() && x < exposed.right()) {
            painter.fillRect(QRectF(x, markerTop, Model::markerWidth, Model::markerHeight), Palette::laneMarker());
        }
    }
}

void TimelineStripPainter::paintLaneRow(QPainter& painter, const Model& model, int row, const QRectF& exposed)
{
    const TimelineLane& lane = model.buildLanes()[std::size_t(row)];
    const double top = model.viewportRowTop(row);
    const double trackLeft = model.viewportX(Model::headerWidth);
    const QRectF track(trackLeft, top, model.trackWidth(), model.laneH());
    // Asked of the engine once a row: the track and the header both show them.
    const Model::LaneFlags flags = model.laneFlags(lane);
    painter.fillRect(track.intersected(exposed), flags.muted ? Palette::mutedLaneTrack() : Palette::laneTrack());

    if (trackLeft > exposed.left()) {
        paintHeader(painter, model, row, flags);
    }

    model.blocksInRow(row, exposed.left(), exposed.right(), blocks_);
    for (const Model::Block& block : blocks_) {
        paintBlock(painter, model, block);
    }
}

void TimelineStripPainter::paintHeader(QPainter& painter, const Model& model, int row, Model::LaneFlags flags) const
{
    const TimelineLane& lane = model.buildLanes()[std::size_t(row)];
    painter.save();
    // The header's content is centred on the row and cut at its edges when the row is too low.
    painter.setClipRect(QRectF(model.viewportX(0), model.viewportRowTop(row), Model::headerWidth, model.laneH()),
                        Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing, true);
    paintLockSymbol(painter, model.lockButtonRect(row), flags.locked);
    paintSpeakerSymbol(painter, model.muteButtonRect(row), flags.muted);
    painter.setFont(laneLabelFont_);
    painter.setPen(flags.locked ? Palette::lockedLaneLabel() : Palette::laneLabel());
    painter.drawText(model.laneLabelRect(row), Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(lane.label));
    painter.restore();
}

void TimelineStripPainter::paintTitle(QPainter& painter, const QRectF& shape, double padding, double viewWidth,
                                      const std::string& title) const
{
    // Laid out from the shape's own start, so the title scrolls with its block.
    const double left = shape.left() + padding;
    const double right = std::min(shape.right() - padding, viewWidth + kOffscreenMargin);
    if (right - left < kShortestTitleWidth || left < -kLongestTitleWidth) {
        return;
    }
    const QRectF textRect(left, shape.top(), right - left, shape.height());
    painter.setFont(titleFont_);
    painter.setPen(Palette::laneWhite(1.0));
    const QString text = titleMetrics_.elidedText(QString::fromStdString(title), Qt::ElideRight, textRect.width());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, text);
}

void TimelineStripPainter::paintBlock(QPainter& painter, const Model& model, const Model::Block& block) const
{
    const QRectF rect = cutToView(block.rect, model.viewportWidth());
    const bool emphasised = block.selected || block.dragged || block.trimmed;
    painter.setOpacity(block.opacity);

    QColor fill = block.color;
    fill.setAlphaF(block.selected ? 1.0f : 0.82f);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(rect, kCornerRadius, kCornerRadius);
    strokeInside(painter, rect, Palette::laneWhite(emphasised ? 1.0 : 0.38), emphasised ? 2 : 1);

    const QColor barColor = Palette::laneWhite(emphasised ? 0.9 : 0.55);
    const double barHeight = std::max(rect.height() - 4, 0.0);
    painter.fillRect(QRectF(rect.left(), rect.top() + 2, 2, barHeight), barColor);
    painter.fillRect(QRectF(rect.right() - 2, rect.top() + 2, 2, barHeight), barColor);

    if (!block.dragged && !block.trimmed) {
        paintTitle(painter, block.rect, block.titlePadding, model.viewportWidth(), Model::clipTitle(*block.clip));
    }
    painter.setOpacity(1);

    if (block.showsHandles) {
        for (Model::TrimEdge edge : {Model::TrimEdge::head, Model::TrimEdge::tail}) {
            const QRectF handle = cutToView(model.trimHandleRect(block, edge), model.viewportWidth());
            if (handle.width() > 0) {
                painter.fillRect(handle, Palette::laneWhite(0.9));
            }
        }
    }
}

void TimelineStripPainter::paintGhost(QPainter& painter, const Model& model, const QRectF& ghost) const
{
    const Model::ActiveDrag& drag = *model.activeDrag();
    const QRectF rect = cutToView(ghost, model.viewportWidth());
    painter.setPen(Qt::NoPen);
    painter.setBrush(drag.color);
    painter.drawRoundedRect(rect, kCornerRadius, kCornerRadius);
    if (drag.snapGuideTime) {
        strokeInside(painter, rect, Palette::clipSelection(), 3);
    } else {
        strokeInside(painter, rect, Palette::laneWhite(1.0), 2);
    }
    paintTitle(painter, ghost, 3, model.viewportWidth(), drag.title);
}

} // namespace velmora
