#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QAbstractScrollArea>
#include <QPointer>

#include "model/EditSession.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/MainQueue.h"
#include "preview/TimelinePreviewEngine.h"
#include "workspace/timeline/TimelineStripModel.h"
#include "workspace/timeline/TimelineStripPainter.h"

namespace velmora {

// The multi-lane timeline of the Edit workspace: a ruler above one row per lane (video lanes V1,
// V2, … then audio lanes A1, A2, …), clip blocks placed by time, trim handles on the selected
// block, lane headers with lock and mute, the playhead, and while a clip is dragged its ghost and
// snap guide. It paints a TimelineStripModel and turns pointer input into model calls; it edits
// nothing itself: seeks, clicks, trims and double clicks leave through the callbacks, clip drops
// and lane toggles go to the engine, each gesture once, on release.
//
// The host hands in the shown timeline (the engine's active timeline) and its markers and hands
// them in again whenever the engine republishes the session or bumps its revision; the view
// itself redraws on every published change of the engine. Main thread only; deferred scrolls run
// on the injected main queue and hold the view weakly.
class TimelineStripView final : public QAbstractScrollArea {
    Q_OBJECT
public:
    struct Callbacks {
        // Seek to a time in seconds (the ruler).
        std::function<void(double seconds)> onSeek;
        // A click on a clip.
        std::function<void(const std::string& clipId)> onSelectClip;
        // Kept for the host; the view never calls it (drops go to the engine).
        std::function<void(const std::string& clipId, double startTime, std::optional<int> track, bool commit)>
            onMoveClip;
        // A finished edge trim: clip, edge and the timeline time it was let go at (the engine snaps it).
        std::function<void(const std::string& clipId, TimelinePreviewEngine::TrimEdge edge, double timelineTime)>
            onTrimEdge;
        // Optional: a clip dropped on another lane (lane number, whether the clip is visual).
        std::function<void(int lane, bool isVisual)> onClipDroppedOnTrack;
        // Optional: a double click on a visual clip.
        std::function<void(const std::string& clipId)> onOpenSourceViewer;
    };

    // Empty members are replaced by the application's (QtMainQueue, systemClock()).
    struct Services {
        std::shared_ptr<MainQueue> mainQueue;
        std::shared_ptr<Clock> clock;
    };

    // `height`: the strip's height, at least 80 points are used. `preferredLaneHeight`: at
    // least 24 points are used. The minimum track counts are lanes shown even without clips.
    TimelineStripView(TimelinePreviewEngine& engine, std::optional<EditSession::Timeline> timeline, double height,
                      double preferredLaneHeight, int minimumVideoTracks, int minimumAudioTracks, bool simplifyLayout,
                      Callbacks callbacks, std::vector<EditSession::Marker> markers, Services services = {},
                      QWidget* parent = nullptr);
    ~TimelineStripView() override;

    void setTimeline(std::optional<EditSession::Timeline> timeline);
    void setMarkers(std::vector<EditSession::Marker> markers);
    void setStripHeight(double height);
    // A change ends a clip drag or trim under way without committing it and, when the whole
    // part of ten times the height changes, scrolls back to the start.
    void setPreferredLaneHeight(double height);
    void setMinimumTracks(int video, int audio);
    void setSimplifyLayout(bool simplify);
    void setCallbacks(Callbacks callbacks) { callbacks_ = std::move(callbacks); }
    const Callbacks& callbacks() const { return callbacks_; }

    const TimelineStripModel& model() const { return model_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;

private:
    // The pointer gesture from a press to its release.
    struct Gesture {
        enum class Kind { none, seek, clip, trim, lockButton, muteButton, ended };
        Kind kind = Kind::none;
        QPointF pressPoint;
        std::string clipId;
        int rowTrack = 1;
        TimelinePreviewEngine::TrimEdge edge = TimelinePreviewEngine::TrimEdge::tail;
        std::optional<TimelineLane> lane;
        double lastSeekX = 0;
    };

    void bindEngine();
    void syncEngineState();
    void timelineLayoutChanged();
    void playheadMoved();
    void followPlayhead();
    void scrollRequested();
    void selectionChanged();
    void focusClipChanged();
    void trimCancelled();
    // No scroll moves the lanes under a drag, a trim or a ruler seek: the pointer would land
    // somewhere else than where the user points.
    bool scrollLocked() const { return model_.gestureActive() || gesture_.kind == Gesture::Kind::seek; }
    void requestPlayheadScroll(TimelineScrollAnchor anchor);
    void applyScroll(double left, std::optional<double> top);
    void updateScrollBars();
    void seekTo(double viewportX);
    void moveGesture(QPointF point);
    // Ends the gesture under way without committing anything.
    void abandonGesture();
    void finishGesture(QPointF point);
    void toggleLaneFlag(const TimelineLane& lane, bool lock);
    void updateHoverCursor(QPointF point);

    QPointer<TimelinePreviewEngine> engine_;
    std::shared_ptr<MainQueue> mainQueue_;
    std::shared_ptr<Clock> clock_;
    Callbacks callbacks_;
    TimelineStripModel model_;
    TimelineStripPainter painter_;
    Gesture gesture_;
    // Set while the view moves its own scroll bars, so the move is not taken for the user's.
    bool scrollingProgrammatically_ = false;
};

} // namespace velmora
