#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QColor>
#include <QPointF>
#include <QRectF>

#include "editing/TimelineZoom.h"
#include "model/EditSession.h"
#include "preview/TimelinePreviewEngine.h"
#include "workspace/timeline/TimelineClipIndex.h"
#include "workspace/timeline/TimelineLane.h"

namespace velmora {

// Everything the timeline lanes view knows, without a widget: its inputs, the lane list, the
// geometry that maps time and lanes to points, the clips of a visible stretch, hit testing, the
// state of a clip drag or an edge trim under way, and the scroll position and scroll targets.
// The view (TimelineStripView) feeds it and paints it; every rule lives here so that tests reach
// it without a screen. It calls nothing on the engine: what it needs of the engine arrives as
// values (EngineState), a snapping function and a lane-flags function.
//
// Coordinates. "Content" coordinates are the strip's scrolled plane: time t seconds lies at
// x = headerWidth + pps × t (the 96-point header column scrolls with the lanes), the ruler is the
// band 0 ≤ y < rulerHeight, and lane row i has its top at y = rulerHeight + i × (laneH + 2).
// "Viewport" coordinates are the visible canvas: the ruler stays at the top, the lanes scroll
// vertically below it (scrollTop) and everything scrolls horizontally (scrollLeft).
// Sizes are points; times are seconds. Main thread only.
class TimelineStripModel {
public:
    using TrimEdge = TimelinePreviewEngine::TrimEdge;

    // ---- constants ----
    static constexpr double defaultPixelsPerSecond = TimelineZoom::ppsWhenUnset;
    static constexpr double headerWidth = 96;
    static constexpr double rulerHeight = 26;
    static constexpr double laneGap = 2;
    static constexpr double minimumLaneHeight = 24;
    static constexpr double minimumViewHeight = 80;
    static constexpr double minimumLaneAreaHeight = 60;
    static constexpr double trailingRoom = 40;
    static constexpr double shortestContentDuration = 0.1;
    // Content beyond this width (absurd times in a document) cannot be scrolled to.
    static constexpr double maximumContentWidth = 1e9;
    // Inset of the header column's content from its trailing edge.
    static constexpr double headerContentInset = 4;
    static constexpr double headerButtonWidth = 28;
    static constexpr double headerButtonHeight = 24;
    static constexpr double headerButtonSpacing = 6;
    static constexpr double headerStackSpacing = 4;
    // Line height of the 9-point lane label.
    static constexpr double headerLabelHeight = 11;
    static constexpr double markerWidth = 2;
    static constexpr double markerHeight = 24;
    static constexpr double playheadWidth = 2;
    static constexpr double snapGuideWidth = 2;
    static constexpr double minimumBlockWidth = 8;
    // A press that moves no further than this (hypot of the translation) is a click.
    static constexpr double dragStartDistance = 4;
    static constexpr double doubleClickWindow = 0.45;
    static constexpr double verticalDominance = 0.55;
    static constexpr double trimHandleWidth = 10;
    // A trim preview keeps the clip longer than this.
    static constexpr double shortestPreviewedLength = 0.05;
    // A trim released after moving no more than this commits nothing.
    static constexpr double smallestCommittedTrimMovement = 0.5;
    // Playback follow: when the playhead passes 78 % of the width it is put back at 35 %, at most
    // once every 0.12 s.
    static constexpr double followTriggerFraction = 0.78;
    static constexpr double followAnchorFraction = 0.35;
    static constexpr double followIntervalSeconds = 0.12;
    // The lane counts the workspace keeps after a drop are capped here (see
    // layoutTrackCountAfterDrop).
    static constexpr int maximumLayoutVideoTracks = 8;
    static constexpr int maximumLayoutAudioTracks = 6;

    // ---- records ----

    // What the strip shows of the engine.
    struct EngineState {
        bool isPlaying = false;
        double playheadSeconds = 0;
        double playbackMotionSeconds = 0;
        double durationSeconds = 0;
        std::optional<std::string> selectedClipId;
    };

    struct LaneFlags {
        bool locked = false;
        bool muted = false;
    };
    using LaneFlagsProvider = std::function<LaneFlags(const TimelineLane&)>;

    struct SnappedStart {
        double time = 0;
        std::optional<double> guideTime;
    };
    // Snaps a dragged clip's start (seconds), ignoring the clip with the given id.
    using ClipStartSnapper = std::function<SnappedStart(double time, const std::string& clipId)>;

    // A clip drag under way.
    struct ActiveDrag {
        std::string clipId;
        double originStart = 0;
        int originTrack = 1;
        bool isVideo = true;
        double duration = 0;
        QColor color;
        std::string title;
        QPointF translation;
        int previewTrack = 1;
        double previewStart = 0;
        std::optional<double> snapGuideTime;
    };

    // An edge trim under way.
    struct ActiveTrim {
        std::string clipId;
        TrimEdge edge = TrimEdge::tail;
        double originStart = 0;
        double originDuration = 0;
        // The last accepted edge movement, seconds; positive moves the edge later.
        double deltaTime = 0;
        // The length of the file the clip's source reads, which stops its tail; none: not known.
        std::optional<double> sourceSeconds;
    };

    struct ClipTap {
        std::string id;
        double at = 0; // clock seconds
    };

    // One clip block to draw, in viewport coordinates.
    struct Block {
        const EditSession::Clip* clip = nullptr;
        QRectF rect;
        QColor color;
        bool selected = false;
        bool dragged = false;
        bool trimmed = false;
        bool showsHandles = false;
        double opacity = 1;
        // Horizontal padding of the title; no title while dragged or trimmed.
        double titlePadding = 3;
    };

    struct Hit {
        enum class Kind { none, rulerTrack, lockButton, muteButton, clip, trimHead, trimTail };
        Kind kind = Kind::none;
        std::optional<TimelineLane> lane;
        std::string clipId;
    };

    // What the view does when a clip gesture ends.
    struct ClipRelease {
        // A click: select the clip (onSelectClip).
        bool click = false;
        // A double click on a visual clip: open the source viewer.
        bool openSourceViewer = false;
        struct Drop {
            std::string clipId;
            double startTime = 0;
            int track = 1;
        };
        // Commit the move through the engine.
        std::optional<Drop> drop;
        // Then tell the host the clip landed on another lane: lane number, visual clip.
        std::optional<std::pair<int, bool>> droppedOnTrack;
    };

    struct TrimRelease {
        // The unsnapped time the edge is to move to; none when nothing is to be committed.
        std::optional<double> targetTime;
        // A press without movement: the view shows the trim hint.
        bool pressWithoutMovement = false;
    };

    struct ScrollPosition {
        double left = 0;
        std::optional<double> top;
    };

    // The lane count the workspace shows at least after a clip lands on `lane`: the larger of
    // the lane and `current`, capped at 8 video or 6 audio lanes (a count above the cap comes
    // down to it).
    static int layoutTrackCountAfterDrop(int lane, bool isVideo, int current);

    // ---- inputs ----

    void setTimeline(std::optional<EditSession::Timeline> timeline);
    const std::optional<EditSession::Timeline>& timeline() const { return timeline_; }
    void setMarkers(std::vector<EditSession::Marker> markers) { markers_ = std::move(markers); }
    const std::vector<EditSession::Marker>& markers() const { return markers_; }
    // Returns whether the value changed; a change ends a drag or trim under way uncommitted.
    bool setPreferredLaneHeight(double height);
    double preferredLaneHeight() const { return preferredLaneHeight_; }
    void setMinimumTracks(int video, int audio);
    void setSimplifyLayout(bool simplify) { simplifyLayout_ = simplify; }
    bool simplifyLayout() const { return simplifyLayout_; }
    // The canvas W × H the strip draws into.
    void setViewportSize(double width, double height);
    void setEngineState(EngineState state) { engine_ = std::move(state); }
    // The playhead part of the engine state alone: it changes on every frame of playback.
    void setPlayhead(bool isPlaying, double playheadSeconds, double playbackMotionSeconds)
    {
        engine_.isPlaying = isPlaying;
        engine_.playheadSeconds = playheadSeconds;
        engine_.playbackMotionSeconds = playbackMotionSeconds;
    }
    const EngineState& engineState() const { return engine_; }
    void setLaneFlagsProvider(LaneFlagsProvider provider) { laneFlags_ = std::move(provider); }
    LaneFlags laneFlags(const TimelineLane& lane) const;

    // ---- lanes ----

    int maxVideoTrackIndex() const;
    int maxAudioTrackIndex() const;
    // Video lanes ascending, then audio lanes ascending: top to bottom.
    const std::vector<TimelineLane>& buildLanes() const { return lanes_; }
    // Row of a lane, 0 for V1: video lane n is row n − 1, audio lane n row
    // max(maxVideoTrackIndex(), 1) + n − 1.
    int rowIndex(TimelineLane::Kind kind, int number) const;
    static QColor laneColor(const TimelineLane& lane);
    // The title of a clip's block and drag ghost: its name as it is shown (shownText), or "Clip"
    // without one or with an empty one.
    static std::string clipTitle(const EditSession::Clip& clip);

    // ---- geometry ----

    double pps() const { return pps_; }
    double viewportWidth() const { return viewportWidth_; }
    double viewportHeight() const { return viewportHeight_; }
    double contentDuration() const;
    double contentW() const;
    double trackWidth() const { return contentW() - headerWidth; }
    double laneH() const;
    double lanePitch() const { return laneH() + laneGap; }
    double laneStackHeight() const;
    double laneAreaHeight() const;
    // The playhead's x from the start of the track area: unrounded while playing, whole points
    // (halves away from zero) while paused.
    double playX() const;
    // Content x of a time, and the time of a content x (x below the track area gives negative
    // times). Distances use max(pps, 1), so below one point per second a point is a second.
    double xForTime(double seconds) const { return headerWidth + pps_ * seconds; }
    double secondsForDistance(double points) const;
    double rowTop(int row) const { return rulerHeight + row * lanePitch(); }
    // Viewport ↔ content.
    QPointF contentPoint(QPointF viewportPoint) const;
    double viewportX(double contentX) const { return contentX - scrollLeft_; }
    double viewportRowTop(int row) const { return rowTop(row) - scrollTop_; }
    // Whether the lane scroller shows its indicator (the lanes do not fit their area).
    bool showsVerticalIndicator() const { return laneAreaHeight() + laneGap < laneStackHeight(); }

    // ---- what to draw ----

    // Rows [first, last) that meet the viewport band [top, bottom) of the lane area.
    std::pair<int, int> visibleRows(double viewportTop, double viewportBottom) const;
    // The blocks of a lane row that meet the viewport span [left, right), in drawing order
    // (later ones on top). `out` is cleared first.
    void blocksInRow(int row, double viewportLeft, double viewportRight, std::vector<Block>& out) const;
    // Trim handle rectangles of a block (viewport coordinates).
    QRectF trimHandleRect(const Block& block, TrimEdge edge) const;
    // Viewport rectangles of the header buttons of a row.
    QRectF lockButtonRect(int row) const;
    QRectF muteButtonRect(int row) const;
    QRectF laneLabelRect(int row) const;
    // Viewport x of a marker's leading edge.
    double markerX(const EditSession::Marker& marker) const;
    // Viewport rectangles of the overlays; none when not shown.
    QRectF playheadRect() const;
    std::optional<QRectF> snapGuideRect() const;
    std::optional<QRectF> dragGhostRect() const;

    // ---- hit testing and tool tips ----

    Hit hitTest(QPointF viewportPoint) const;
    std::optional<std::string> toolTipAt(QPointF viewportPoint) const;

    // ---- ruler ----

    // The time a pointer at this viewport x seeks to: max(x in the track part, 0) / max(pps, 1).
    double rulerSeekTime(double viewportX) const;

    // ---- clip gesture ----

    const std::optional<ActiveDrag>& activeDrag() const { return activeDrag_; }
    // A pointer move of the gesture that began on a block of `clipId` in the row of lane `track`
    // (tx, ty: translation since the press). Returns true when this move started the drag; the
    // view then selects the clip in the engine. A clip on a locked lane (`editingLocked`) never
    // drags.
    bool clipDragChanged(const std::string& clipId, int rowTrack, QPointF translation, bool editingLocked,
                         const ClipStartSnapper& snap);
    // The end of that gesture at clock time `now`. `canOpenSourceViewer`: the host gave a
    // source-viewer callback.
    ClipRelease clipDragEnded(const std::string& clipId, QPointF translation, double now, bool canOpenSourceViewer);
    // Drops the drag under way without committing it.
    void cancelDrag();

    // ---- trim gesture ----

    const std::optional<ActiveTrim>& activeTrim() const { return activeTrim_; }
    // A press or move on a trim handle (tx: horizontal translation since the press). Returns
    // true when this call started the trim; the view then pauses playback and selects the clip.
    // `sourceSeconds`, taken when the trim starts: the length of the file the clip's source reads
    // (TimelinePreviewEngine::clipSourceSeconds), none when not known.
    bool trimChanged(const std::string& clipId, TrimEdge edge, double tx, bool editingLocked,
                     std::optional<double> sourceSeconds = std::nullopt);
    TrimRelease trimEnded(const std::string& clipId, double tx);
    // Drops the trim under way without committing it.
    void cancelTrim() { activeTrim_.reset(); }
    bool gestureActive() const { return activeDrag_ || activeTrim_; }

    // ---- scrolling ----

    double scrollLeft() const { return scrollLeft_; }
    double scrollTop() const { return scrollTop_; }
    double maxScrollLeft() const;
    double maxScrollTop() const;
    // Both clamp to [0, max]. noteUserScroll: the user moved the view, which becomes the
    // strip's estimate of where the timeline stands.
    void setScrollLeft(double left);
    void setScrollTop(double top);
    void noteUserScroll();
    double scrollAnchorSeconds() const { return scrollAnchorSeconds_; }
    double estimatedScrollLeft() const { return estimatedScrollLeft_; }
    // A scroll request: anchors the scroll target at the playhead and estimates where the view
    // will stand; returns the fraction of the width at which the playhead is to appear (0.08,
    // 0.5 or 0.92; 0.5 for a selection change).
    double beginPlayheadScroll(TimelineScrollAnchor anchor);
    // The scroll position that puts the scroll target at that fraction of the width.
    double scrollLeftForPlayheadTarget(double fraction) const;
    // Playback follow at clock time `now`: the new scroll position when the view is to follow.
    std::optional<double> followPlayhead(double now);
    // The scroll position that centres the clip's block; none when no lane shows the clip.
    std::optional<ScrollPosition> scrollPositionCentringClip(const std::string& clipId) const;

private:
    struct BlockSpan {
        double start = 0;
        double duration = 0;
    };

    void refreshLanes();
    double blockWidth(double duration) const;
    // Start and length a block shows, with the drag or trim preview applied.
    BlockSpan blockSpan(std::size_t clipIndex) const;
    Block makeBlock(std::size_t clipIndex, const TimelineLane& lane, int row) const;
    const EditSession::Clip& clipAt(std::size_t clipIndex) const { return timeline_->clips[clipIndex]; }
    std::optional<TimelineLane> laneAtRow(int row) const;
    // The row under a viewport y in the lane area; none in a gap, below the last lane or above
    // the lane area.
    std::optional<int> rowAt(double viewportY) const;
    void clampScroll();
    double headerStackTop(int row) const;

    // Inputs.
    std::optional<EditSession::Timeline> timeline_;
    TimelineClipIndex index_;
    std::vector<EditSession::Marker> markers_;
    double preferredLaneHeight_ = 44;
    int minimumVideoTracks_ = 1;
    int minimumAudioTracks_ = 1;
    bool simplifyLayout_ = false;
    double viewportWidth_ = 0;
    double viewportHeight_ = minimumViewHeight;
    EngineState engine_;
    LaneFlagsProvider laneFlags_;

    // Derived from the inputs and the drag.
    double pps_ = defaultPixelsPerSecond;
    std::vector<TimelineLane> lanes_;
    int videoLaneCount_ = 1;

    // Gesture state.
    std::optional<ActiveDrag> activeDrag_;
    std::optional<ActiveTrim> activeTrim_;
    std::optional<ClipTap> lastClipTap_;

    // Scroll state.
    double scrollLeft_ = 0;
    double scrollTop_ = 0;
    double scrollAnchorSeconds_ = 0;
    double estimatedScrollLeft_ = 0;
    double lastPlayheadFollowScrollAt_ = 0;
};

} // namespace velmora
