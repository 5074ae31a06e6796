// Inputs, lanes, geometry, the blocks of a visible stretch and hit testing of the timeline
// lanes. The gestures and scrolling are in TimelineStripModelGestures.cpp.
//
//   content x:  0          96                                  contentW
//               | header   | track area: x = 96 + pps × t        |
//   y:   0      | "TC"     | ruler (markers)                     |  26 points, never scrolls
//       26      | V1 hdr   | [block][block]      [block]         |  laneH, then a 2-point gap
//   26 + pitch  | V2 hdr   |      [block]                        |
//               | A1 hdr   | [block]                             |  lanes scroll vertically

#include "workspace/timeline/TimelineStripModel.h"

#include <algorithm>
#include <cmath>

#include "controls/VelmoraPalette.h"
#include "editing/TimelineZoom.h"
#include "platform/foundation/FiniteNumbers.h"
#include "platform/foundation/ShownText.h"

namespace velmora {

namespace {

bool sameId(const std::optional<std::string>& a, const std::string& b)
{
    return a && *a == b;
}

} // namespace

int TimelineStripModel::layoutTrackCountAfterDrop(int lane, bool isVideo, int current)
{
    return std::min(std::max(lane, current), isVideo ? maximumLayoutVideoTracks : maximumLayoutAudioTracks);
}

// ---- inputs ----

void TimelineStripModel::setTimeline(std::optional<EditSession::Timeline> timeline)
{
    timeline_ = std::move(timeline);
    // The header's zoom read-out says the same (TimelinePreviewEngine::activeTimelinePixelsPerSecond).
    pps_ = TimelineZoom::shownPps(timeline_ ? timeline_->pixelsPerSecond : std::nullopt);
    // Not one conditional expression: with an empty vector as its other arm it copies the clips.
    if (timeline_) {
        index_.rebuild(timeline_->clips);
    } else {
        index_.rebuild({});
    }
    // A drag or trim whose clip has left the timeline (deleted or undone while the pointer is
    // held) ends uncommitted: there is nothing left to preview or to drop.
    if (activeDrag_ && !index_.clipIndexOf(activeDrag_->clipId)) {
        activeDrag_.reset();
    }
    if (activeTrim_ && !index_.clipIndexOf(activeTrim_->clipId)) {
        activeTrim_.reset();
    }
    refreshLanes();
    clampScroll();
}

bool TimelineStripModel::setPreferredLaneHeight(double height)
{
    if (height == preferredLaneHeight_) {
        return false;
    }
    preferredLaneHeight_ = height;
    activeDrag_.reset();
    activeTrim_.reset();
    refreshLanes();
    clampScroll();
    return true;
}

void TimelineStripModel::setMinimumTracks(int video, int audio)
{
    minimumVideoTracks_ = std::clamp(video, 1, TimelineClipIndex::maximumLaneNumber);
    minimumAudioTracks_ = std::clamp(audio, 1, TimelineClipIndex::maximumLaneNumber);
    refreshLanes();
    clampScroll();
}

void TimelineStripModel::setViewportSize(double width, double height)
{
    viewportWidth_ = std::max(finiteOr(width, 0), 0.0);
    viewportHeight_ = std::max(finiteOr(height, 0), 0.0);
    clampScroll();
}

TimelineStripModel::LaneFlags TimelineStripModel::laneFlags(const TimelineLane& lane) const
{
    return laneFlags_ ? laneFlags_(lane) : LaneFlags{};
}

// ---- lanes ----

void TimelineStripModel::refreshLanes()
{
    int video = index_.highestVisualLane();
    int audio = index_.highestAudioLane();
    if (activeDrag_) {
        int& grown = activeDrag_->isVideo ? video : audio;
        grown = std::max(grown, activeDrag_->previewTrack);
    }
    video = std::min(std::max({video, minimumVideoTracks_, 1}), TimelineClipIndex::maximumLaneNumber);
    audio = std::min(std::max({audio, minimumAudioTracks_, 1}), TimelineClipIndex::maximumLaneNumber);

    lanes_.clear();
    lanes_.reserve(std::size_t(video + audio));
    for (int n = 1; n <= video; ++n) {
        const std::string number = std::to_string(n);
        lanes_.emplace_back("v" + number, TimelineLane::Kind::video, n, "V" + number);
    }
    for (int n = 1; n <= audio; ++n) {
        const std::string number = std::to_string(n);
        // A lone audio lane without audio clips of its own carries the videos' linked sound.
        std::string label = audio == 1 && !index_.hasAudioOnLaneOne() ? "A1 (linked)" : "A" + number;
        lanes_.emplace_back("a" + number, TimelineLane::Kind::audio, n, std::move(label));
    }
    videoLaneCount_ = video;
}

int TimelineStripModel::maxVideoTrackIndex() const
{
    return videoLaneCount_;
}

int TimelineStripModel::maxAudioTrackIndex() const
{
    return int(lanes_.size()) - videoLaneCount_;
}

int TimelineStripModel::rowIndex(TimelineLane::Kind kind, int number) const
{
    return kind == TimelineLane::Kind::video ? number - 1 : std::max(videoLaneCount_, 1) + number - 1;
}

QColor TimelineStripModel::laneColor(const TimelineLane& lane)
{
    return lane.isVideo() ? VelmoraPalette::videoLane(lane.number) : VelmoraPalette::audioLane();
}

std::string TimelineStripModel::clipTitle(const EditSession::Clip& clip)
{
    return clip.name && !clip.name->empty() ? shownText(*clip.name) : "Clip";
}

std::optional<TimelineLane> TimelineStripModel::laneAtRow(int row) const
{
    if (row < 0 || std::size_t(row) >= lanes_.size()) {
        return std::nullopt;
    }
    return lanes_[std::size_t(row)];
}

// ---- geometry ----

double TimelineStripModel::contentDuration() const
{
    const double engineDuration = finiteOr(engine_.durationSeconds, 0);
    return std::max({engineDuration, index_.visualMediaEnd(), shortestContentDuration});
}

double TimelineStripModel::contentW() const
{
    return std::min(std::max(viewportWidth_, pps_ * contentDuration() + headerWidth + trailingRoom),
                    maximumContentWidth);
}

double TimelineStripModel::laneH() const
{
    return std::max(finiteOr(preferredLaneHeight_, minimumLaneHeight), minimumLaneHeight);
}

double TimelineStripModel::laneStackHeight() const
{
    const auto k = double(std::max<std::size_t>(lanes_.size(), 1));
    return laneH() * k + laneGap * (k - 1);
}

double TimelineStripModel::laneAreaHeight() const
{
    return std::max(viewportHeight_ - rulerHeight, minimumLaneAreaHeight);
}

double TimelineStripModel::playX() const
{
    if (engine_.isPlaying) {
        return pps_ * finiteOr(engine_.playbackMotionSeconds, 0);
    }
    return std::round(pps_ * finiteOr(engine_.playheadSeconds, 0));
}

double TimelineStripModel::secondsForDistance(double points) const
{
    return points / std::max(pps_, 1.0);
}

QPointF TimelineStripModel::contentPoint(QPointF viewportPoint) const
{
    const double y = viewportPoint.y() < rulerHeight ? viewportPoint.y() : viewportPoint.y() + scrollTop_;
    return {viewportPoint.x() + scrollLeft_, y};
}

// ---- what to draw ----

std::pair<int, int> TimelineStripModel::visibleRows(double viewportTop, double viewportBottom) const
{
    const double pitch = lanePitch();
    const double top = std::max(viewportTop, rulerHeight) - rulerHeight + scrollTop_;
    const double bottom = viewportBottom - rulerHeight + scrollTop_;
    if (bottom <= top) {
        return {0, 0};
    }
    const int count = int(lanes_.size());
    const int first = std::clamp(int(std::floor(top / pitch)), 0, count);
    const int last = std::clamp(int(std::floor(bottom / pitch)) + 1, first, count);
    return {first, last};
}

double TimelineStripModel::blockWidth(double duration) const
{
    return std::max(pps_ * duration, minimumBlockWidth);
}

TimelineStripModel::BlockSpan TimelineStripModel::blockSpan(std::size_t clipIndex) const
{
    const TimelineClipIndex::Entry& timing = index_.timing(clipIndex);
    const std::string& id = clipAt(clipIndex).id;
    if (activeDrag_ && activeDrag_->clipId == id) {
        return {activeDrag_->previewStart, timing.duration};
    }
    if (activeTrim_ && activeTrim_->clipId == id) {
        const ActiveTrim& trim = *activeTrim_;
        if (trim.edge == TrimEdge::head) {
            return {trim.originStart + trim.deltaTime,
                    std::max(trim.originDuration - trim.deltaTime, shortestPreviewedLength)};
        }
        return {timing.start, std::max(trim.originDuration + trim.deltaTime, shortestPreviewedLength)};
    }
    return {timing.start, timing.duration};
}

TimelineStripModel::Block TimelineStripModel::makeBlock(std::size_t clipIndex, const TimelineLane& lane, int row) const
{
    const EditSession::Clip& clip = clipAt(clipIndex);
    const BlockSpan span = blockSpan(clipIndex);
    Block block;
    block.clip = &clip;
    block.rect = QRectF(viewportX(xForTime(span.start)), viewportRowTop(row) + 2, blockWidth(span.duration),
                        laneH() - 4);
    block.color = laneColor(lane);
    block.selected = sameId(engine_.selectedClipId, clip.id);
    block.dragged = activeDrag_ && activeDrag_->clipId == clip.id;
    block.trimmed = !block.dragged && activeTrim_ && activeTrim_->clipId == clip.id;
    block.showsHandles = block.selected && !simplifyLayout_ && !activeDrag_;
    if (block.dragged) {
        block.opacity = activeDrag_->previewTrack == lane.number ? 0.35 : 0.18;
    } else if (block.trimmed) {
        block.opacity = 0.45;
    }
    block.titlePadding = block.showsHandles ? 10 : 3;
    return block;
}

void TimelineStripModel::blocksInRow(int row, double viewportLeft, double viewportRight, std::vector<Block>& out) const
{
    out.clear();
    const std::optional<TimelineLane> lane = laneAtRow(row);
    if (!lane || simplifyLayout_ || !timeline_) {
        return;
    }
    const auto overlaps = [&](const Block& block) {
        return block.rect.right() > viewportLeft && block.rect.left() < viewportRight;
    };
    const auto belongsHere = [&](std::size_t clipIndex) {
        const bool kindMatches = lane->isVideo() ? index_.isVisual(clipIndex) : index_.isAudio(clipIndex);
        return kindMatches && clipAt(clipIndex).track.value_or(1) == lane->number;
    };

    // The selected, dragged and trimmed clips are drawn after the others, in that order, so they
    // lie on top; the loop over the lane skips them.
    const std::optional<std::size_t> selected =
        engine_.selectedClipId ? index_.clipIndexOf(*engine_.selectedClipId) : std::nullopt;
    const std::optional<std::size_t> dragged = activeDrag_ ? index_.clipIndexOf(activeDrag_->clipId) : std::nullopt;
    const std::optional<std::size_t> trimmed = activeTrim_ ? index_.clipIndexOf(activeTrim_->clipId) : std::nullopt;

    const double from = (viewportLeft + scrollLeft_ - headerWidth) / pps_ - minimumBlockWidth / pps_;
    const double until = (viewportRight + scrollLeft_ - headerWidth) / pps_;
    for (const TimelineClipIndex::Entry& entry : index_.overlapping(lane->kind, lane->number, from, until)) {
        const std::size_t clipIndex = entry.clipIndex;
        if (clipIndex == selected || clipIndex == dragged || clipIndex == trimmed) {
            continue;
        }
        Block block = makeBlock(clipIndex, *lane, row);
        if (overlaps(block)) {
            out.push_back(block);
        }
    }
    const auto addOnTop = [&](std::optional<std::size_t> clipIndex, bool alsoListedHere) {
        if (!clipIndex || !(belongsHere(*clipIndex) || alsoListedHere)) {
            return;
        }
        Block block = makeBlock(*clipIndex, *lane, row);
        if (overlaps(block)) {
            out.push_back(block);
        }
    };
    if (selected != dragged && selected != trimmed) {
        addOnTop(selected, false);
    }
    if (trimmed != dragged) {
        addOnTop(trimmed, false);
    }
    // A clip dragged to another lane is listed on its own lane and on the lane it would land on.
    addOnTop(dragged, activeDrag_ && activeDrag_->isVideo == lane->isVideo() && activeDrag_->previewTrack == lane->number);
}

QRectF TimelineStripModel::trimHandleRect(const Block& block, TrimEdge edge) const
{
    const double w = block.rect.width();
    const double height = laneH() - 6;
    const double top = block.rect.top() + (block.rect.height() - height) / 2;
    // The two handles fill a row of width max(w, 20) centred on the block, so on a block
    // narrower than 20 points they meet in its middle.
    const double rowLeft = w >= 2 * trimHandleWidth ? block.rect.left() : block.rect.center().x() - trimHandleWidth;
    const double rowRight = w >= 2 * trimHandleWidth ? block.rect.right() : block.rect.center().x() + trimHandleWidth;
    const double left = edge == TrimEdge::head ? rowLeft : rowRight - trimHandleWidth;
    return {left, top, trimHandleWidth, height};
}

double TimelineStripModel::headerStackTop(int row) const
{
    const double stackHeight = headerButtonHeight + headerStackSpacing + headerLabelHeight;
    return viewportRowTop(row) + (laneH() - stackHeight) / 2;
}

QRectF TimelineStripModel::muteButtonRect(int row) const
{
    const double right = headerWidth - headerContentInset;
    return {viewportX(right - headerButtonWidth), headerStackTop(row), headerButtonWidth, headerButtonHeight};
}

QRectF TimelineStripModel::lockButtonRect(int row) const
{
    return muteButtonRect(row).translated(-(headerButtonWidth + headerButtonSpacing), 0);
}

QRectF TimelineStripModel::laneLabelRect(int row) const
{
    const double right = headerWidth - headerContentInset;
    return {viewportX(0), headerStackTop(row) + headerButtonHeight + headerStackSpacing, right, headerLabelHeight};
}

double TimelineStripModel::markerX(const EditSession::Marker& marker) const
{
    return viewportX(headerWidth + std::max(finiteOr(marker.time, 0) * pps_, 0.0));
}

QRectF TimelineStripModel::playheadRect() const
{
    return {viewportX(headerWidth + std::max(playX() - 1, 0.0)), 0, playheadWidth, viewportHeight_};
}

std::optional<QRectF> TimelineStripModel::snapGuideRect() const
{
    if (!activeDrag_ || !activeDrag_->snapGuideTime || simplifyLayout_) {
        return std::nullopt;
    }
    const double x = viewportX(xForTime(*activeDrag_->snapGuideTime) - snapGuideWidth / 2);
    return QRectF(x, 0, snapGuideWidth, viewportHeight_);
}

std::optional<QRectF> TimelineStripModel::dragGhostRect() const
{
    if (!activeDrag_ || simplifyLayout_) {
        return std::nullopt;
    }
    const ActiveDrag& drag = *activeDrag_;
    const int row = rowIndex(drag.isVideo ? TimelineLane::Kind::video : TimelineLane::Kind::audio, drag.previewTrack);
    // Placed on the row as the lanes are scrolled, so it covers the lane it would land on.
    return QRectF(viewportX(xForTime(drag.previewStart)), viewportRowTop(row) + 2, blockWidth(drag.duration),
                  laneH() - 4);
}

// ---- hit testing ----

std::optional<int> TimelineStripModel::rowAt(double viewportY) const
{
    if (viewportY < rulerHeight) {
        return std::nullopt;
    }
    const double y = viewportY - rulerHeight + scrollTop_;
    const int row = int(std::floor(y / lanePitch()));
    if (row < 0 || std::size_t(row) >= lanes_.size() || y - row * lanePitch() >= laneH()) {
        return std::nullopt;
    }
    return row;
}

TimelineStripModel::Hit TimelineStripModel::hitTest(QPointF point) const
{
    Hit hit;
    if (point.y() < 0 || point.y() >= std::max(viewportHeight_, rulerHeight)) {
        return hit;
    }
    if (point.y() < rulerHeight) {
        if (contentPoint(point).x() >= headerWidth) {
            hit.kind = Hit::Kind::rulerTrack;
        }
        return hit;
    }
    const std::optional<int> row = rowAt(point.y());
    if (!row) {
        return hit;
    }
    hit.lane = laneAtRow(*row);
    if (lockButtonRect(*row).contains(point)) {
        hit.kind = Hit::Kind::lockButton;
        return hit;
    }
    if (muteButtonRect(*row).contains(point)) {
        hit.kind = Hit::Kind::muteButton;
        return hit;
    }
    // Handles may stand out of a narrow block by up to a handle's width.
    std::vector<Block> blocks;
    blocksInRow(*row, point.x() - trimHandleWidth - 1, point.x() + trimHandleWidth + 1, blocks);
    for (auto block = blocks.rbegin(); block != blocks.rend(); ++block) {
        if (block->showsHandles) {
            for (TrimEdge edge : {TrimEdge::head, TrimEdge::tail}) {
                if (trimHandleRect(*block, edge).contains(point)) {
                    hit.kind = edge == TrimEdge::head ? Hit::Kind::trimHead : Hit::Kind::trimTail;
                    hit.clipId = block->clip->id;
                    return hit;
                }
            }
        }
        if (block->rect.contains(point)) {
            hit.kind = Hit::Kind::clip;
            hit.clipId = block->clip->id;
            return hit;
        }
    }
    return hit;
}

std::optional<std::string> TimelineStripModel::toolTipAt(QPointF point) const
{
    const Hit hit = hitTest(point);
    switch (hit.kind) {
    case Hit::Kind::lockButton:
        return laneFlags(*hit.lane).locked ? "Unlock lane (allow move/trim/split)" : "Lock lane (blocks move/trim/split)";
    case Hit::Kind::muteButton:
        return laneFlags(*hit.lane).muted ? "Unmute lane in preview" : "Mute lane in preview";
    case Hit::Kind::trimHead:
        return "Drag to trim clip start (in)";
    case Hit::Kind::trimTail:
        return "Drag to trim clip end (out)";
    default:
        return std::nullopt;
    }
}

double TimelineStripModel::rulerSeekTime(double viewportX) const
{
    const double x = viewportX + scrollLeft_ - headerWidth;
    return std::max(x, 0.0) / std::max(pps_, 1.0);
}

} // namespace velmora
