#pragma once

#include <QWidget>

namespace velmora {

// The transport's scrub bar: a thin track over the whole timeline, filled up to the playhead,
// with a round 14-point knob whose left edge sits at the playhead's share of the knob's travel
// (width − 14). Pressing or dragging anywhere on the 22-point-high bar reports the time under
// the pointer (its x clamped to the bar, over the full width). Main thread only.
class PlaybackScrubBar final : public QWidget {
    Q_OBJECT
public:
    static constexpr double knobSize = 14;
    static constexpr int barHeight = 22;

    explicit PlaybackScrubBar(QWidget* parent = nullptr);

    double seconds() const { return seconds_; }
    double duration() const { return duration_; }
    void setPosition(double seconds, double duration);

    // The knob's left edge for a bar `width` wide (at least 1): its travel times
    // clamp(seconds / duration, 0, 1); 0 when the duration is not above 0.
    static double knobOffset(double width, double seconds, double duration);
    // The time under a pointer at `x`: x clamped to [0, width] over the width, times duration.
    static double timeAt(double x, double width, double duration);

    QSize sizeHint() const override { return {200, barHeight}; }
    QSize minimumSizeHint() const override { return {40, barHeight}; }

signals:
    void scrubbed(double seconds);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void scrubTo(double x);

    double seconds_ = 0;
    double duration_ = 0.01;
};

} // namespace velmora
