// Trim and slip commands.
//
//   Trim Out at p (ripple on):  |----A----|---B---|   ->   |--A--|---B---|
//                                          ^ old end          B follows A's tail by as far as
//                                                             the tail really moved
//
// After a trim the playhead lands on the edge that moved, frame-exact; the rebuild the trim
// starts keeps it there.

#include "preview/TimelinePreviewEngine.h"

#include <algorithm>

#include "preview/StatusText.h"

namespace velmora {

namespace {

constexpr double kRippleAfterTolerance = 0.0001;

double startOf(const EditSession::Clip& clip)
{
    return clip.startTime.value_or(0);
}

double durationOf(const EditSession::Clip& clip)
{
    return clip.duration.value_or(0);
}

const char* withAudio(bool sync)
{
    return sync ? " + audio" : "";
}

// What a playhead trim says when the clip it was pointed at is a still: stills have no source
// range to trim into, only a length, which their edges change.
constexpr const char* stillTrimHint =
    " acts on video and audio clips — drag a still's edges to shorten it, its right edge to lengthen it";

// Whether the playhead lies inside a still of the active timeline, which a playhead trim
// passes over.
bool stillUnderPlayhead(const EditSession& session, double p)
{
    const EditSession::Timeline* timeline = session.findActiveTimeline();
    return timeline && std::any_of(timeline->clips.begin(), timeline->clips.end(), [p](const EditSession::Clip& clip) {
        return EditSession::normalizedClipType(clip.type, clip.name) == "image" && EditSession::playheadInsideClip(p, clip);
    });
}

using TrimStop = EditSession::TrimStop;

// Why a dragged edge did not move, in words that are true of it: dragging further helps only
// an edge that moved too little.
std::string trimRefusal(TrimStop stop)
{
    switch (stop) {
    case TrimStop::tooShort:
        return "Trim: drag less far (the clip would be too short)";
    case TrimStop::timelineStart:
        return "Trim: the clip already starts at the timeline's start";
    case TrimStop::fileStart:
        return "Trim: the clip already starts where its media starts";
    case TrimStop::fileEnd:
        return "Trim: the clip already reaches the end of its media";
    case TrimStop::outPoint:
        return "Trim: the clip already reaches its out point (its media's length is not known)";
    case TrimStop::asked:
    case TrimStop::tooLittle:
    case TrimStop::longestTrim:
        break;
    }
    return "Trim: drag further (edge too small)";
}

// What a dragged edge that stopped short of (or beyond) where it was let go says of why.
std::string trimStopWords(TrimStop stop)
{
    switch (stop) {
    case TrimStop::timelineStart:
        return " — stopped at the timeline's start";
    case TrimStop::fileStart:
        return " — stopped where its media starts";
    case TrimStop::fileEnd:
        return " — stopped at the end of its media";
    case TrimStop::outPoint:
        return " — stopped at its out point (its media's length is not known)";
    case TrimStop::longestTrim:
        return " — lengthened as far as one trim goes";
    case TrimStop::asked:
    case TrimStop::tooLittle:
    case TrimStop::tooShort:
        break;
    }
    return {};
}

} // namespace

void TimelinePreviewEngine::trimStartAtPlayhead()
{
    trimClipAtPlayhead(TrimEdge::head);
}

void TimelinePreviewEngine::trimAtPlayhead()
{
    trimClipAtPlayhead(TrimEdge::tail);
}

void TimelinePreviewEngine::trimClipAtPlayhead(TrimEdge edge)
{
    if (!session_) {
        return;
    }
    const bool head = edge == TrimEdge::head;
    const double p = playheadSeconds_;
    const std::optional<EditSession::Clip> audio = session_->audioClipForTrim(p, selectedClipId_);
    if (!audio) {
        if (const auto video = session_->videoClipForSplit(p, selectedClipId_)) {
            const bool sync = isAudioLinked(video->id);
            if (head) {
                trimVideoHead(*video, sync);
            } else {
                trimVideoTail(*video, sync);
            }
        } else if (stillUnderPlayhead(*session_, p)) {
            setStatus(std::string(head ? "Trim In" : "Trim Out") + stillTrimHint);
        } else {
            setStatus(head ? "Trim In: put playhead inside a clip (or select one)"
                           : "Trim Out: put playhead inside a clip (or select one)");
        }
        return;
    }
    // The playhead inside the audio's linked picture trims that picture, and its audio with it.
    const std::size_t ti = session_->activeTimelineIndex().value_or(0);
    if (const auto partner = session_->partnerVideoClip(*audio, ti)) {
        if (EditSession::playheadInsideClip(p, *partner) && isAudioLinked(partner->id)) {
            if (head) {
                trimVideoHead(*partner, true);
            } else {
                trimVideoTail(*partner, true);
            }
            return;
        }
    }
    if (isClipEditingLocked(audio->id)) {
        setStatus("Track is locked — unlock lane to trim");
        return;
    }
    const int lane = audio->track.value_or(1);
    const double oldEnd = startOf(*audio) + durationOf(*audio);
    const std::optional<TimelineSnapshot> before = pushUndoPoint();
    const bool trimmed =
        trimSessionClip(audio->id, head ? EditSession::TrimEdgeKind::head : EditSession::TrimEdgeKind::tail, p, false)
            .trimmed;
    if (!trimmed) {
        withdrawUndoPoint(before);
        setStatus(head ? "Trim In: playhead must be inside audio clip (not at edges)"
                       : "Trim Out: playhead must be inside audio clip (not at edges)");
        return;
    }
    if (!head && rippleEditEnabled_) {
        rippleAfterTailTrim(audio->id, lane, oldEnd, {"audio"});
    }
    placePlayhead(p);
    commitRecordedEdit(before, true, head ? "Trimmed audio in @ playhead" : "Trimmed audio out @ playhead", true);
}

void TimelinePreviewEngine::trimVideoHead(const EditSession::Clip& clip, bool syncAudio)
{
    if (!session_) {
        return;
    }
    if (isClipEditingLocked(clip.id)) {
        setStatus("Track is locked — unlock lane to trim");
        return;
    }
    const double p = playheadSeconds_;
    const std::optional<TimelineSnapshot> before = pushUndoPoint();
    if (!session_->trimClipHead(clip.id, p, syncAudio)) {
        withdrawUndoPoint(before);
        setStatus("Trim In: playhead must be inside clip (not at edges)");
        return;
    }
    placePlayhead(p);
    commitRecordedEdit(before, true, std::string("Trimmed in @ playhead") + withAudio(syncAudio), true);
}

void TimelinePreviewEngine::trimVideoTail(const EditSession::Clip& clip, bool syncAudio)
{
    if (!session_) {
        return;
    }
    if (isClipEditingLocked(clip.id)) {
        setStatus("Track is locked — unlock lane to trim");
        return;
    }
    const int lane = clip.track.value_or(1);
    const double oldEnd = startOf(clip) + durationOf(clip);
    const double p = playheadSeconds_;
    const std::optional<TimelineSnapshot> before = pushUndoPoint();
    if (!trimSessionClip(clip.id, EditSession::TrimEdgeKind::tail, p, syncAudio).trimmed) {
        withdrawUndoPoint(before);
        setStatus("Trim Out: playhead must be inside clip (not at edges)");
        return;
    }
    if (rippleEditEnabled_) {
        rippleAfterTailTrim(clip.id, lane, oldEnd, {"video", "audio"});
    }
    placePlayhead(p);
    commitRecordedEdit(before, true, std::string("Trimmed out @ playhead") + withAudio(syncAudio), true);
}

void TimelinePreviewEngine::rippleAfterTailTrim(const std::string& clipId, int lane, double oldEnd,
                                                const std::set<std::string>& types)
{
    // The source may stop the tail short of the requested time: the lane follows the tail
    // itself, not the request.
    const std::optional<EditSession::Clip> trimmed = activeTimelineClip(clipId);
    if (!trimmed) {
        return;
    }
    const double newEnd = startOf(*trimmed) + durationOf(*trimmed);
    session_->rippleShiftOnTrack(lane, oldEnd - kRippleAfterTolerance, newEnd - oldEnd, types);
}

void TimelinePreviewEngine::trimEdgeOnTimeline(const std::string& clipId, TrimEdge edge, double timelineTime)
{
    trimGestureActive_ = false;
    if (isClipEditingLocked(clipId)) {
        setStatus("Track is locked — unlock lane to trim");
        return;
    }
    if (!session_) {
        return;
    }
    const std::optional<EditSession::Clip> clip = activeTimelineClip(clipId);
    if (!clip) {
        setStatus("Trim: clip not found");
        return;
    }
    const bool head = edge == TrimEdge::head;
    const int lane = clip->track.value_or(1);
    const double oldEnd = startOf(*clip) + durationOf(*clip);
    // The magnet pulls the edge onto a time near where it was let go, never back across where it
    // started: a drag outward is never turned into a trim inward, nor the other way.
    const double from = head ? startOf(*clip) : oldEnd;
    double t = snapTimelineTime(timelineTime, clipId, true);
    if ((t - from) * (timelineTime - from) <= 0) {
        t = timelineTime;
    }
    const bool sync = EditSession::normalizedClipType(clip->type, clip->name) == "video" && isAudioLinked(clipId);
    const std::optional<TimelineSnapshot> before = pushUndoPoint();
    const EditSession::TrimLanding landing =
        trimSessionClip(clipId, head ? EditSession::TrimEdgeKind::head : EditSession::TrimEdgeKind::tail, t, sync);
    if (!landing.trimmed) {
        withdrawUndoPoint(before);
        setStatus(trimRefusal(landing.stop));
        return;
    }
    if (!head && rippleEditEnabled_) {
        rippleAfterTailTrim(clipId, lane, oldEnd, {"video", "audio"});
    }
    // The playhead goes to where the edge really landed, which a short source can keep short
    // of the release point.
    const std::optional<EditSession::Clip> after = activeTimelineClip(clipId);
    const double edgeTime = !after ? t : head ? startOf(*after) : startOf(*after) + durationOf(*after);
    placePlayhead(edgeTime);
    commitRecordedEdit(before, true,
                       std::string(head ? "Trimmed in" : "Trimmed out") + withAudio(sync) + trimStopWords(landing.stop),
                       true);
}

std::optional<TimelinePreviewEngine::TrimSpan>
TimelinePreviewEngine::previewTrimEdge(const std::string& clipId, TrimEdge edge, double timelineTime) const
{
    const std::optional<EditSession::Clip> clip = activeTimelineClip(clipId);
    if (!clip) {
        return std::nullopt;
    }
    const double s = startOf(*clip);
    const double d = durationOf(*clip);
    const double x = timelineTime - s;
    if (edge == TrimEdge::head) {
        if (0.02 < x && x < d - 0.02) {
            return TrimSpan{timelineTime, d - x};
        }
        return std::nullopt;
    }
    if (0.05 < x && x < d - 0.02) {
        return TrimSpan{s, x};
    }
    return std::nullopt;
}

EditSession::TrimLanding TimelinePreviewEngine::trimSessionClip(const std::string& clipId,
                                                                EditSession::TrimEdgeKind edge, double timelineTime,
                                                                bool syncLinkedAudio)
{
    // A tail reaches as far as its file: by the length the lanes drew the drag with, from the
    // header a build read; where none was read yet, the file's header is read now.
    if (edge == EditSession::TrimEdgeKind::tail) {
        if (const std::optional<double> known = clipSourceSeconds(clipId)) {
            return session_->trimClipEdge(clipId, edge, timelineTime, syncLinkedAudio, known);
        }
    }
    const std::optional<MediaResolver::SourceFileMap> files = sourceFilesShown();
    return session_->trimClipEdge(clipId, edge, timelineTime, syncLinkedAudio, files ? &*files : nullptr);
}

std::optional<double> TimelinePreviewEngine::clipSourceSeconds(const std::string& clipId) const
{
    const std::optional<EditSession::Clip> clip = activeTimelineClip(clipId);
    const std::optional<ResolvedMedia> media = clip && clip->sourceId ? resolvedMedia() : std::nullopt;
    if (!media) {
        return std::nullopt;
    }
    // The newest map's file, by the header read of that file: a header describes its file
    // whichever build read it.
    const auto file = media->files.find(*clip->sourceId);
    if (file == media->files.end()) {
        return std::nullopt;
    }
    const auto header = sourceFiles_.headers.find(file->second.native());
    if (header == sourceFiles_.headers.end() || !header->second) {
        return std::nullopt;
    }
    return MediaResolver::fileDurationSeconds(*header->second);
}

void TimelinePreviewEngine::slipSelectedClip(double deltaSeconds)
{
    if (!selectedClipId_) {
        setStatus("Select a clip to slip");
        return;
    }
    const std::optional<TimelineSnapshot> before = pushUndoPoint();
    if (!session_ || !session_->slipClip(*selectedClipId_, deltaSeconds)) {
        withdrawUndoPoint(before);
        setStatus("Slip failed");
        return;
    }
    commitRecordedEdit(before, true, "Slip " + StatusText::signedFixed(deltaSeconds, 2) + "s source", false);
}

void TimelinePreviewEngine::cancelTrimGesture()
{
    if (!trimGestureActive_) {
        return;
    }
    trimGestureActive_ = false;
    emit trimGestureCancelled();
}

} // namespace velmora
