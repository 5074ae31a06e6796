// Lane and clip edit commands: lane lock and mute, the audio link, split, move, close gap,
// markers, delete and the source viewer's update of a timeline clip.
//
// Every command has one shape: its guards (no change, maybe a status), an undo point, the
// session's mutation, then either the withdrawn undo point with a refusal status or a commit
// with a success status. A mutation that reports success but leaves the timeline as it was
// keeps no undo step, so the redo history survives it.

#include "preview/TimelinePreviewEngine.h"

#include <algorithm>
#include <cmath>

#include "grading/PreviewFrameGrader.h"
#include "model/TimelineTrackKey.h"
#include "platform/foundation/NumberText.h"
#include "preview/StatusText.h"

namespace velmora {

namespace {

constexpr double kMoveEpsilon = 0.0001;
constexpr double kPairOverlap = 0.02;
constexpr std::size_t kStemLabelCharacters = 24;

std::string kindOf(const EditSession::Clip& clip)
{
    return EditSession::normalizedClipType(clip.type, clip.name);
}

double startOf(const EditSession::Clip& clip)
{
    return clip.startTime.value_or(0);
}

double durationOf(const EditSession::Clip& clip)
{
    return clip.duration.value_or(0);
}

// The first `count` characters (code points) of UTF-8 text.
std::string prefixCharacters(const std::string& text, std::size_t count)
{
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool continuation = (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
        if (!continuation && seen++ == count) {
            return text.substr(0, i);
        }
    }
    return text;
}

} // namespace

// ---- queries ----

bool TimelinePreviewEngine::isOnActiveTimeline(const std::string& id) const
{
    const EditSession::Timeline* timeline = session_ ? session_->findActiveTimeline() : nullptr;
    return timeline && std::any_of(timeline->clips.begin(), timeline->clips.end(),
                                   [&id](const EditSession::Clip& clip) { return clip.id == id; });
}

void TimelinePreviewEngine::forgetSelectionOutOfSight()
{
    if (focusClipId_ && !isOnActiveTimeline(*focusClipId_)) {
        setFocusClipId(std::nullopt);
    }
    if (selectedClipId_ && !isOnActiveTimeline(*selectedClipId_)) {
        setSelectedClipId(std::nullopt);
    }
}

std::optional<EditSession::Clip> TimelinePreviewEngine::activeTimelineClip(const std::string& id) const
{
    if (!session_) {
        return std::nullopt;
    }
    const auto index = session_->activeTimelineIndex();
    if (!index) {
        return std::nullopt;
    }
    for (const EditSession::Clip& clip : session_->timelines[*index].clips) {
        if (clip.id == id) {
            return clip;
        }
    }
    return std::nullopt;
}

bool TimelinePreviewEngine::isVideoTrackLocked(int lane) const
{
    return session_ && session_->isTrackLocked(TimelineTrackKey::video(lane));
}

bool TimelinePreviewEngine::isAudioTrackLocked(int lane) const
{
    return session_ && session_->isTrackLocked(TimelineTrackKey::audio(lane));
}

bool TimelinePreviewEngine::isVideoTrackMuted(int lane) const
{
    return session_ && session_->isTrackMuted(TimelineTrackKey::video(lane));
}

bool TimelinePreviewEngine::isAudioTrackMuted(int lane) const
{
    return session_ && session_->isTrackMuted(TimelineTrackKey::audio(lane));
}

bool TimelinePreviewEngine::isClipEditingLocked(const std::string& id) const
{
    if (!session_) {
        return false;
    }
    const auto location = session_->clipLocation(id);
    if (!location) {
        return false;
    }
    const EditSession::Clip& clip = session_->timelines[location->timelineIndex].clips[location->clipIndex];
    return session_->isClipOnLockedTrack(clip, location->timelineIndex);
}

std::optional<std::string> TimelinePreviewEngine::mediaStemForClip(const std::string& id) const
{
    if (!session_) {
        return std::nullopt;
    }
    const std::optional<EditSession::Clip> clip = session_->clip(id);
    if (!clip) {
        return std::nullopt;
    }
    std::string stem = EditSession::mediaStem(clip->name.value_or(""));
    return stem.empty() ? std::nullopt : std::optional<std::string>(std::move(stem));
}

bool TimelinePreviewEngine::isAudioLinked(const std::string& videoClipId) const
{
    const std::optional<std::string> stem = mediaStemForClip(videoClipId);
    return !stem || !unlinkedMediaStems_.contains(*stem);
}

bool TimelinePreviewEngine::isAudioLinkedForSelection() const
{
    return !selectedClipId_ || isAudioLinked(*selectedClipId_);
}

double TimelinePreviewEngine::clipStartTime(const std::string& id) const
{
    const std::optional<EditSession::Clip> clip = session_ ? session_->clip(id) : std::nullopt;
    return clip ? startOf(*clip) : 0.0;
}

double TimelinePreviewEngine::clipDuration(const std::string& id) const
{
    const std::optional<EditSession::Clip> clip = activeTimelineClip(id);
    return clip ? durationOf(*clip) : 0.0;
}

// ---- lanes and the audio link ----

void TimelinePreviewEngine::toggleLaneLock(const std::string& laneKey)
{
    if (!session_) {
        return;
    }
    session_->toggleTrackLock(laneKey);
    republishSession();
    bumpTimelineRevision();
}

void TimelinePreviewEngine::toggleLaneMute(const std::string& laneKey)
{
    if (!session_) {
        return;
    }
    session_->toggleTrackMute(laneKey);
    republishSession();
    bumpTimelineRevision();
    // Muted lanes are left out of the preview's sound.
    rebuildComposition(true, std::nullopt, false);
}

void TimelinePreviewEngine::toggleVideoTrackLock(int lane)
{
    toggleLaneLock(TimelineTrackKey::video(lane));
}

void TimelinePreviewEngine::toggleAudioTrackLock(int lane)
{
    toggleLaneLock(TimelineTrackKey::audio(lane));
}

void TimelinePreviewEngine::toggleVideoTrackMute(int lane)
{
    toggleLaneMute(TimelineTrackKey::video(lane));
}

void TimelinePreviewEngine::toggleAudioTrackMute(int lane)
{
    toggleLaneMute(TimelineTrackKey::audio(lane));
}

void TimelinePreviewEngine::toggleAudioLinkForSelection()
{
    const auto location = session_ && selectedClipId_ ? session_->clipLocation(*selectedClipId_) : std::nullopt;
    if (!location) {
        setStatus("Select a video or audio clip to link/unlink");
        return;
    }
    const EditSession::Clip& clip = session_->timelines[location->timelineIndex].clips[location->clipIndex];
    std::string stem = EditSession::mediaStem(clip.name.value_or(""));
    if (stem.empty() && kindOf(clip) == "audio") {
        if (const auto partner = session_->partnerVideoClip(clip, location->timelineIndex)) {
            stem = EditSession::mediaStem(partner->name.value_or(""));
        }
    }
    if (stem.empty()) {
        setStatus("Select a DJI video or (Audio) clip to link/unlink");
        return;
    }
    const std::string label = prefixCharacters(stem, kStemLabelCharacters);
    std::set<std::string> stems = unlinkedMediaStems_;
    if (!stems.contains(stem)) {
        stems.insert(stem);
        setUnlinkedMediaStems(std::move(stems));
        setStatus("🔓 Unlinked " + label + " — drag yellow A1 alone; Split cuts video only");
    } else {
        stems.erase(stem);
        setUnlinkedMediaStems(std::move(stems));
        setStatus("🔗 Linked " + label + " — V + A1 trim/move together (Split cuts both)");
    }
    bumpTimelineRevision();
    emit objectWillChange();
}

// ---- split ----

void TimelinePreviewEngine::splitAtPlayhead()
{
    if (!session_ || !session_->activeTimelineIndex()) {
        return;
    }
    if (selectedClipId_ && isClipEditingLocked(*selectedClipId_)) {
        setStatus("Track is locked — unlock lane to split");
        return;
    }
    const std::optional<TimelineSnapshot> before = pushUndoPoint();
    const std::optional<EditSession::Clip> selected = selectedClipId_ ? session_->clip(*selectedClipId_) : std::nullopt;
    if (selected && kindOf(*selected) == "audio") {
        splitAudioBranch(*selected, before);
    } else {
        splitVideoBranch(before);
    }
}

void TimelinePreviewEngine::splitAudioBranch(const EditSession::Clip& audio,
                                             const std::optional<TimelineSnapshot>& before)
{
    const double p = playheadSeconds_;
    const std::size_t ti = *session_->activeTimelineIndex();
    if (!session_->splitClipAtPlayhead(audio.id, p, ti)) {
        withdrawUndoPoint(before);
        setStatus("Split: playhead inside yellow audio clip");
        return;
    }
    // The partner video is cut only together with its audio, never on its own.
    bool videoCut = false;
    if (const auto partner = session_->partnerVideoClip(audio, ti)) {
        const double start = startOf(*partner);
        if (!session_->isClipOnLockedTrack(*partner, ti) && start + kPairOverlap < p
            && p < start + durationOf(*partner) - kPairOverlap) {
            videoCut = session_->splitVideoClipAtPlayhead(p, partner->id, false).video;
        }
    }
    commitRecordedEdit(before, true, std::string("v0.57 — Split audio") + (videoCut ? " + video" : ""), true);
}

void TimelinePreviewEngine::splitVideoBranch(const std::optional<TimelineSnapshot>& before)
{
    const double p = playheadSeconds_;
    const std::size_t ti = *session_->activeTimelineIndex();
    const std::optional<EditSession::Clip> clip = session_->videoClipForSplit(p, selectedClipId_);
    if (clip && session_->isClipOnLockedTrack(*clip, ti)) {
        withdrawUndoPoint(before);
        setStatus("Track is locked — unlock lane to split");
        return;
    }
    bool sync = true;
    if (clip) {
        const std::string stem = EditSession::mediaStem(clip->name.value_or(""));
        sync = stem.empty() || !unlinkedMediaStems_.contains(stem);
    }
    const EditSession::SplitVideoResult result = session_->splitVideoClipAtPlayhead(p, selectedClipId_, sync);
    if (result.video) {
        if (result.newRightVideoId) {
            setSelectedClipId(result.newRightVideoId);
        }
        std::string message;
        if (result.audioSplits >= 1) {
            message = "Split OK — 1 cut — video + " + NumberText::integer(result.audioSplits) + " audio";
        } else {
            const std::string reason = session_->audioClipIdsAtPlayhead(p, ti).empty()
                ? "playhead not inside yellow clip"
                : "reload Session JSON (v0.59+)";
            message = "Split OK — video only (" + reason + ")";
        }
        commitRecordedEdit(before, true, "v0.60 — " + message, true);
        return;
    }
    if (result.audioSplits == 0) {
        withdrawUndoPoint(before);
        setStatus("Split: playhead inside a video clip (not a gap)");
        return;
    }
    // The audio was cut but the video was not. The undo point stays so that undo brings the
    // uncut audio back, and the lanes are told that the timeline changed. The two audio pieces
    // play as the one clip did, so the preview needs no rebuild.
    republishSession();
    bumpTimelineRevision();
    refreshUndoFlags();
    setStatus("Split: video edge — audio was cut; Ctrl+Z undo, nudge playhead inside blue clip");
}

// ---- moves ----

void TimelinePreviewEngine::moveClipOnTimeline(const std::string& id, double startTime, std::optional<int> track,
                                               bool commit, bool applySnap)
{
    if (isClipEditingLocked(id)) {
        if (commit) {
            setStatus("Track is locked — unlock lane to move clips");
        }
        return;
    }
    const std::optional<EditSession::Clip> clip = activeTimelineClip(id);
    if (!clip) {
        return;
    }
    const std::size_t ti = *session_->activeTimelineIndex();
    const std::string kind = kindOf(*clip);
    const bool isAudio = kind == "audio";
    const bool isVisual = EditSession::isVisualTimelineClip(*clip);
    const bool moveLinked = kind == "video" && isAudioLinked(id);
    const int currentTrack = clip->track.value_or(1);
    const double currentStart = startOf(*clip);

    double t = startTime;
    if (commit && applySnap && magneticSnapEnabled_) {
        const double snapped = snapTimelineTime(t, id, true);
        if (std::abs(snapped - t) > kMoveEpsilon) {
            setStatus("Snapped to " + StatusText::fixed(snapped, 2) + "s");
        }
        t = snapped;
    }
    const int targetTrack = track.value_or(currentTrack);
    const bool laneChange = track && *track != currentTrack;

    if (!commit) {
        session_->moveClip(id, t, targetTrack, moveLinked, false, false);
        return;
    }
    const bool ripple = rippleEditEnabled_ && !laneChange && std::abs(t - currentStart) > kMoveEpsilon;
    const std::optional<TimelineSnapshot> before = pushUndoPoint();
    if (!session_->moveClip(id, t, targetTrack, moveLinked, !laneChange, ripple)) {
        withdrawUndoPoint(before);
        return;
    }
    if (isAudio && session_->relocateAudioClipOnCollision(id, ti)) {
        bumpTimelineRevision();
    }
    const std::string snapNote = magneticSnapEnabled_ ? " @ " + StatusText::fixed(t, 2) + "s" : "";
    std::string message = "Moved clip";
    if (track && isVisual) {
        const bool audioLaneLocked = moveLinked
            && session_->linkedAudioOnLockedTrack(*clip, currentStart + durationOf(*clip) * 0.5, ti);
        message = "Moved → V" + NumberText::integer(*track) + snapNote + (audioLaneLocked ? " (audio lane locked)" : "");
    } else if (track && isAudio) {
        message = "Moved audio → A" + NumberText::integer(*track) + " @ " + StatusText::fixed(t, 2) + "s";
    }
    commitRecordedEdit(before, true, message, false);
}

void TimelinePreviewEngine::commitClipDrop(const std::string& id, double startTime, std::optional<int> track)
{
    moveClipOnTimeline(id, startTime, track, true, false);
    setFocusClipId(id);
}

// ---- gaps, markers, delete ----

void TimelinePreviewEngine::closeGapAtPlayhead()
{
    if (!session_) {
        setStatus("No timeline loaded");
        return;
    }
    const std::optional<TimelineSnapshot> before = pushUndoPoint();
    std::optional<int> preferredTrack;
    bool preferredIsAudio = false;
    if (selectedClipId_) {
        if (const auto clip = activeTimelineClip(*selectedClipId_)) {
            preferredTrack = clip->track.value_or(1);
            preferredIsAudio = EditSession::isAudioClip(*clip);
        }
    }
    if (session_->closeGapsAtPlayhead(playheadSeconds_, preferredTrack, preferredIsAudio)) {
        commitRecordedEdit(before, true, "Closed gap", false);
    } else {
        withdrawUndoPoint(before);
        setStatus("No gap at playhead — move playhead into an empty gap");
    }
}

void TimelinePreviewEngine::addMarkerAtPlayhead()
{
    if (!session_ || !session_->activeTimelineIndex()) {
        return;
    }
    const std::optional<TimelineSnapshot> before = pushUndoPoint();
    session_->addMarker(playheadSeconds_);
    if (session_->snapshotActiveTimeline() == before) {
        withdrawUndoPoint(before);
        return;
    }
    commitEdit(false, "Marker added", false);
}

void TimelinePreviewEngine::deleteSelectionOrMarker()
{
    if (!session_ || !session_->activeTimelineIndex()) {
        return;
    }
    const std::size_t ti = *session_->activeTimelineIndex();
    const std::optional<EditSession::Clip> clip = selectedClipId_ ? activeTimelineClip(*selectedClipId_) : std::nullopt;
    if (!clip) {
        const std::optional<TimelineSnapshot> before = pushUndoPoint();
        if (session_->removeNearestMarker(playheadSeconds_, effectiveSnapThreshold())) {
            commitRecordedEdit(before, false, "Marker deleted", false);
        } else {
            withdrawUndoPoint(before);
            setStatus("Delete: select a clip or place playhead on a marker");
        }
        return;
    }
    const std::optional<TimelineSnapshot> before = pushUndoPoint();
    std::vector<std::string> ids{clip->id};
    if (kindOf(*clip) == "video" && isAudioLinked(clip->id)) {
        const double s = startOf(*clip);
        const double d = durationOf(*clip);
        for (const std::string& audioId : session_->linkedAudioClipIds(*clip, playheadSeconds_, ti)) {
            const std::optional<EditSession::Clip> audio = activeTimelineClip(audioId);
            if (!audio || session_->isClipOnLockedTrack(*audio, ti)) {
                continue;
            }
            if (startOf(*audio) + durationOf(*audio) > s + kPairOverlap && startOf(*audio) < s + d - kPairOverlap) {
                ids.push_back(audioId);
            }
        }
    }
    session_->deleteClips(ids);
    setSelectedClipId(std::nullopt);
    commitRecordedEdit(before, true, "Delete", true);
}

// ---- the source viewer's update ----

void TimelinePreviewEngine::updateTimelineClipFromSource(const std::string& clipId, double inPoint, double outPoint,
                                                         const std::optional<std::string>& lutReference)
{
    if (!session_) {
        return;
    }
    // Checked before anything is written, so a refused trim never leaves a LUT change behind.
    if (!std::isfinite(inPoint) || !std::isfinite(outPoint)) {
        setStatus("Could not update clip");
        return;
    }
    const std::string lutBefore = session_->clipLutReference(clipId);
    const std::optional<TimelineSnapshot> before = pushUndoPoint();
    // The viewer hands back the LUT it shows: the clip's own (as its picker shows it, or as the
    // grade names it) unless the user chose another there. The clip's own stays exactly as
    // written, missing or not, never swapped for a listed file that only looks like it; another
    // is written as chosen.
    if (lutReference && *lutReference != clipLutPickerValue(clipId).entry &&
        *lutReference != session_->clipLutReference(clipId)) {
        ClipGradeEditState state = ClipGradeEditState::from(session_->clip(clipId));
        state.lutReference = *lutReference;
        if (!session_->applyClipGrade(clipId, state)) {
            withdrawUndoPoint(before);
            setStatus("Could not update clip LUT");
            return;
        }
    }
    if (!session_->applySourceTrimToClip(clipId, inPoint, outPoint, std::nullopt)) {
        withdrawUndoPoint(before);
        setStatus("Could not update clip");
        return;
    }
    withdrawUndoPointIfUnchanged(before);
    republishSession();
    PreviewFrameGrader::invalidateLutBaseCache();
    bumpTimelineRevision();
    refreshUndoFlags();
    reloadComposition(std::nullopt);
    emit objectWillChange();
    setStatus("Updated timeline from source viewer");
    if (session_->clipLutReference(clipId) != lutBefore) {
        lookUpChosenClipLut(clipId);
    }
}

} // namespace velmora
