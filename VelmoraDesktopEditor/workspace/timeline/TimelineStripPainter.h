#pragma once

#include <vector>

#include <QFont>
#include <QFontMetricsF>
#include <QRect>

#include "workspace/timeline/TimelineStripModel.h"

class QPainter;

namespace velmora {

// Draws the timeline lanes from a TimelineStripModel: the ruler with its markers, the lane
// headers with their lock and mute symbols, the lane tracks with their clip blocks and trim
// handles, and the overlays (snap guide, drag ghost, playhead). Only what meets the exposed
// rectangle is drawn: rows and clips come from the model's visible queries, so a paint costs
// the visible clips, not the timeline's. Reused across paints; main thread only.
class TimelineStripPainter {
public:
    TimelineStripPainter();

    void paint(QPainter& painter, const TimelineStripModel& model, const QRect& exposed);

private:
    void paintRuler(QPainter& painter, const TimelineStripModel& model, const QRectF& exposed) const;
    void paintLaneRow(QPainter& painter, const TimelineStripModel& model, int row, const QRectF& exposed);
    void paintHeader(QPainter& painter, const TimelineStripModel& model, int row,
                     TimelineStripModel::LaneFlags flags) const;
    void paintBlock(QPainter& painter, const TimelineStripModel& model, const TimelineStripModel::Block& block) const;
    void paintGhost(QPainter& painter, const TimelineStripModel& model, const QRectF& rect) const;
    void paintTitle(QPainter& painter, const QRectF& shape, double padding, double viewWidth,
                    const std::string& title) const;

    QFont titleFont_;
    QFont laneLabelFont_;
    QFont rulerHeaderFont_;
    QFontMetricsF titleMetrics_;
    // Reused for every row.
    std::vector<TimelineStripModel::Block> blocks_;
};

} // namespace velmora
