#pragma once

#include <string>
#include <vector>

#include <QRectF>
#include <QWidget>

namespace velmora {

class EditSession;

// Where the resize placeholder draws the video clips of the active timeline and the playhead,
// in the coordinates of its timeline area (origin at the area's top left): lane n's blocks sit
// at y = (n - 1) * 24 + 8, x = pps * start + 76 (room for the lane headers), 22 high and at
// least 4 wide. pps is the active timeline's pixels per second, or 80 when the session has no
// project or its timeline no usable value.
struct ResizePlaceholderLayout {
    struct Block {
        std::string clipId;
        QRectF rect;

        bool operator==(const Block&) const = default;
    };

    double pixelsPerSecond = 80;
    std::vector<Block> blocks; // the active timeline's "video" clips, in timeline order
    double playheadX = 76;

    // No session: no blocks, pps 80.
    static ResizePlaceholderLayout make(const EditSession* session, double playheadSeconds);
};

// A flat imitation of the Edit workspace shown while its window is resized live: the bars as
// plain grey strips, a black program area that takes the remaining height, and the timeline
// area with the video clips as plain blocks and the red playhead. Cheap to draw at any size.
// The owner feeds it the session and the playhead whenever they change. Main thread only.
class ResizePlaceholderView final : public QWidget {
    Q_OBJECT
public:
    explicit ResizePlaceholderView(QWidget* parent = nullptr);

    // Copies what it draws; the session is not kept.
    void setTimeline(const EditSession* session, double playheadSeconds);
    void setTimelineHeight(double height);
    double timelineHeight() const { return timelineHeight_; }
    const ResizePlaceholderLayout& layout() const { return layout_; }
    // The timeline area within the view.
    QRectF timelineArea() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ResizePlaceholderLayout layout_;
    double timelineHeight_ = 200;
};

} // namespace velmora
