#include "controls/ResizePlaceholderView.h"

#include <algorithm>
#include <cmath>

#include <QPainter>

#include "controls/VelmoraPalette.h"
#include "model/EditSession.h"
#include "platform/foundation/FiniteNumbers.h"

namespace velmora {
namespace {

constexpr double topBarHeight = 44;
constexpr double transportBarHeight = 40;
constexpr double stripHeight = 8;
constexpr double bottomBarHeight = 28;
constexpr double laneHeaderInset = 76;
constexpr double lanePitch = 24;
constexpr double laneTop = 8;
constexpr double blockHeight = 22;
constexpr double minimumBlockWidth = 4;

} // namespace

ResizePlaceholderLayout ResizePlaceholderLayout::make(const EditSession* session, double playheadSeconds)
{
    ResizePlaceholderLayout layout;
    const EditSession::Timeline* timeline = session ? session->findActiveTimeline() : nullptr;
    if (session && session->project && timeline && finiteOr(timeline->pixelsPerSecond, 0) > 0)
        layout.pixelsPerSecond = *timeline->pixelsPerSecond;
    const double pps = layout.pixelsPerSecond;
    layout.playheadX = pps * finiteOr(playheadSeconds, 0) + laneHeaderInset;
    if (!timeline)
        return layout;
    for (const EditSession::Clip& clip : timeline->clips) {
        if (clip.type != "video")
            continue;
        const double start = finiteOr(clip.startTime, 0);
        const double duration = finiteOr(clip.duration, 0);
        const int lane = clip.track.value_or(1);
        layout.blocks.push_back({clip.id, QRectF(pps * start + laneHeaderInset, (static_cast<double>(lane) - 1) * lanePitch + laneTop,
                                                 std::max(pps * duration, minimumBlockWidth), blockHeight)});
    }
    return layout;
}

ResizePlaceholderView::ResizePlaceholderView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ResizePlaceholderView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ResizePlaceholderView::setTimeline(const EditSession* session, double playheadSeconds)
{
    layout_ = ResizePlaceholderLayout::make(session, playheadSeconds);
    update();
}

void ResizePlaceholderView::setTimelineHeight(double height)
{
    timelineHeight_ = std::max(finiteOr(height, 0), 0.0);
    update();
}

QRectF ResizePlaceholderView::timelineArea() const
{
    const double fixed = topBarHeight + transportBarHeight + stripHeight + timelineHeight_ + bottomBarHeight;
    const double program = std::max(height() - fixed, 0.0);
    return {0, topBarHeight + program + transportBarHeight + stripHeight, static_cast<double>(width()),
            timelineHeight_};
}

void ResizePlaceholderView::paintEvent(QPaintEvent*)
{
    using namespace VelmoraPalette;
    QPainter painter(this);
    const double w = width();
    painter.fillRect(rect(), editorBg());

    const QRectF timeline = timelineArea();
    painter.fillRect(QRectF(0, 0, w, topBarHeight), grey(0.08));
    const double transportTop = timeline.top() - stripHeight - transportBarHeight;
    painter.fillRect(QRectF(0, transportTop, w, transportBarHeight), grey(0.08));
    painter.fillRect(QRectF(0, timeline.top() - stripHeight, w, stripHeight), grey(0.18));
    painter.fillRect(QRectF(0, timeline.bottom(), w, bottomBarHeight), grey(0.08));

    painter.save();
    painter.setClipRect(timeline);
    painter.translate(timeline.topLeft());
    painter.fillRect(QRectF(0, 0, w, timeline.height()), grey(0.06));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(clipBlock());
    for (const ResizePlaceholderLayout::Block& block : layout_.blocks) {
        if (block.rect.left() > w)
            continue;
        painter.drawRoundedRect(block.rect, 2, 2);
    }
    painter.fillRect(QRectF(layout_.playheadX, 0, 2, timeline.height()), playhead());
    painter.restore();
}

} // namespace velmora
