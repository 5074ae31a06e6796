#include "workspace/bars/ClipPickerBar.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>
#include <QWheelEvent>

#include "workspace/EditorWorkspaceStyle.h"

namespace velmora {

namespace {

constexpr int rowMarginX = 12;
constexpr int rowMarginY = 6;
constexpr int chipSpacing = 8;
constexpr int chipPaddingX = 10;
constexpr int chipPaddingY = 5;
constexpr int chipRadius = 4;
constexpr int chipFontPixels = 11;
// Sideways travel of one wheel notch (120 eighths of a degree).
constexpr int wheelStep = 60;

} // namespace

ClipPickerBar::ClipPickerBar(EditorWorkspaceController& workspace, QWidget* parent)
    : QWidget(parent), workspace_(workspace)
{
    setObjectName(QStringLiteral("clipPickerBar"));
    setAttribute(Qt::WA_StyledBackground);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    chipFont_ = font();
    chipFont_.setPixelSize(chipFontPixels);

    TimelinePreviewEngine& engine = workspace_.engine();
    for (auto signal : {&TimelinePreviewEngine::sessionChanged, &TimelinePreviewEngine::timelineRevisionChanged})
        connect(&engine, signal, this, &ClipPickerBar::refresh);
    // A new selection changes colours only: the list stays as it is.
    connect(&engine, &TimelinePreviewEngine::selectedClipIdChanged, this, [this] {
        const std::optional<std::string>& selected = workspace_.engine().selectedClipId();
        if (selected != selectedId_) {
            selectedId_ = selected;
            update();
        }
    });
    refresh();
}

bool ClipPickerBar::isChipSelected(int index) const
{
    return index >= 0 && index < chipCount() && selectedId_ == shown_[static_cast<std::size_t>(index)].id;
}

QRect ClipPickerBar::chipRect(int index)
{
    if (index < 0 || index >= chipCount())
        return {};
    while (static_cast<int>(lefts_.size()) <= index)
        layOutTo(lefts_.empty() ? 0 : lefts_.back() + widths_.back() + 1);
    const auto i = static_cast<std::size_t>(index);
    const int chipHeight = std::min(QFontMetrics(chipFont_).height() + 2 * chipPaddingY, barHeight - 2 * rowMarginY);
    return QRect(lefts_[i] - scroll_, (height() - chipHeight) / 2, widths_[i], chipHeight);
}

int ClipPickerBar::chipAt(const QPoint& point)
{
    if (shown_.empty() || point.y() < 0 || point.y() >= height())
        return -1;
    const int x = point.x() + scroll_;
    layOutTo(x + 1);
    // The last chip starting at or before x.
    const auto after = std::upper_bound(lefts_.begin(), lefts_.end(), x);
    if (after == lefts_.begin())
        return -1;
    const int index = static_cast<int>(after - lefts_.begin()) - 1;
    return chipRect(index).contains(point) ? index : -1;
}

void ClipPickerBar::scrollTo(int offset)
{
    // The row ends 12 after its last chip; it never scrolls past showing that end.
    layOutTo(offset + width() + 1);
    int limit = offset;
    if (lefts_.size() == shown_.size()) {
        const int contentWidth = shown_.empty() ? 0 : lefts_.back() + widths_.back() + rowMarginX;
        limit = std::max(contentWidth - width(), 0);
    }
    const int clamped = std::clamp(offset, 0, limit);
    if (clamped != scroll_) {
        scroll_ = clamped;
        update();
    }
}

void ClipPickerBar::refresh()
{
    std::vector<EditorWorkspaceController::PickerClip> clips = workspace_.pickerClips();
    selectedId_ = workspace_.engine().selectedClipId();
    if (clips != shown_) {
        shown_ = std::move(clips);
        relayout();
    }
    setFixedHeight(shown_.empty() ? 0 : barHeight);
    update();
}

void ClipPickerBar::relayout()
{
    lefts_.clear();
    widths_.clear();
    pressed_ = -1;
    const int previous = scroll_;
    scroll_ = 0;
    scrollTo(previous);
}

void ClipPickerBar::layOutTo(int contentX)
{
    if (lefts_.size() == shown_.size() || (!lefts_.empty() && lefts_.back() + widths_.back() >= contentX))
        return;
    const QFontMetrics metrics(chipFont_);
    int left = lefts_.empty() ? rowMarginX : lefts_.back() + widths_.back() + chipSpacing;
    for (std::size_t i = lefts_.size(); i < shown_.size(); ++i) {
        const int width = metrics.horizontalAdvance(QString::fromStdString(shown_[i].title)) + 2 * chipPaddingX;
        lefts_.push_back(left);
        widths_.push_back(width);
        if (left + width >= contentX)
            return;
        left += width + chipSpacing;
    }
}

void ClipPickerBar::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    if (shown_.empty())
        return;

    const QRect dirty = event->rect();
    layOutTo(scroll_ + dirty.right() + 1);
    const auto first = std::upper_bound(lefts_.begin(), lefts_.end(), scroll_ + dirty.left());
    std::size_t index = first == lefts_.begin() ? 0 : static_cast<std::size_t>(first - lefts_.begin()) - 1;

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(chipFont_);
    const QColor selected = EditorWorkspaceStyle::selectedClip();
    const QColor plain = EditorWorkspaceStyle::clipButton();
    for (; index < lefts_.size() && lefts_[index] - scroll_ <= dirty.right(); ++index) {
        const QRect rect = chipRect(static_cast<int>(index));
        painter.setPen(Qt::NoPen);
        painter.setBrush(selectedId_ == shown_[index].id ? selected : plain);
        painter.drawRoundedRect(QRectF(rect), chipRadius, chipRadius);
        painter.setPen(Qt::white);
        painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, QString::fromStdString(shown_[index].title));
    }
}

void ClipPickerBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    pressed_ = chipAt(event->position().toPoint());
    event->accept();
}

void ClipPickerBar::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const int pressed = std::exchange(pressed_, -1);
    event->accept();
    // A click is a press and a release on the same chip, as with a button.
    if (pressed >= 0 && chipAt(event->position().toPoint()) == pressed) {
        const std::string id = shown_[static_cast<std::size_t>(pressed)].id;
        workspace_.pickClip(id);
    }
}

void ClipPickerBar::mouseMoveEvent(QMouseEvent* event)
{
    updateCursor(event->position().toPoint());
    QWidget::mouseMoveEvent(event);
}

void ClipPickerBar::leaveEvent(QEvent* event)
{
    pointing_ = false;
    unsetCursor();
    QWidget::leaveEvent(event);
}

void ClipPickerBar::wheelEvent(QWheelEvent* event)
{
    const QPoint pixels = event->pixelDelta();
    const QPoint angle = event->angleDelta();
    int step = 0;
    if (!pixels.isNull())
        step = std::abs(pixels.x()) > std::abs(pixels.y()) ? pixels.x() : pixels.y();
    else
        step = (std::abs(angle.x()) > std::abs(angle.y()) ? angle.x() : angle.y()) * wheelStep / 120;
    if (step == 0) {
        event->ignore();
        return;
    }
    scrollTo(scroll_ - step);
    updateCursor(event->position().toPoint());
    event->accept();
}

void ClipPickerBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    scrollTo(scroll_);
}

void ClipPickerBar::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        chipFont_ = font();
        chipFont_.setPixelSize(chipFontPixels);
        relayout();
        update();
    }
}

void ClipPickerBar::updateCursor(const QPoint& point)
{
    const bool overChip = chipAt(point) >= 0;
    if (overChip == pointing_)
        return;
    pointing_ = overChip;
    if (overChip)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
}

} // namespace velmora
