// Grade and LUT controls, clip gain and fades, and the fade opacity of the program picture.

#include "preview/TimelinePreviewEngine.h"

#include <algorithm>
#include <cmath>

#include "grading/GradeCompositionContext.h"
#include "grading/PreviewFrameGrader.h"
#include "model/ProjectLUTResolver.h"
#include "model/TimelineTrackKey.h"
#include "platform/foundation/StringText.h"
#include "preview/StatusText.h"

namespace velmora {

namespace {

constexpr double kMaximumControlGain = 3.0;
constexpr double kOpacityStep = 0.001;

} // namespace

// ---- project LUT ----

void TimelinePreviewEngine::refreshProjectLUT(const std::optional<std::filesystem::path>& /*mediaFolder*/)
{
    std::string reference;
    if (session_ && session_->grade && session_->grade->lutCube) {
        reference = *session_->grade->lutCube;
    }
    // Inline text is answered at once; a file is looked up off the main thread with the clips'
    // LUTs (lookUpMissingClipLuts), and grades nothing until its answer arrives.
    bool namesFile = false;
    LutResolution answer = LutResolving::forJobReference(reference, [&](const std::string&) {
        namesFile = true;
        return LutResolution{};
    });
    luts_.projectLut = namesFile ? LutResolution{} : std::move(answer);
    setProjectLutReferenceValue(std::move(reference));
    setProjectLutCube(luts_.projectLut.grades() ? luts_.projectLut.text : std::string());
    PreviewFrameGrader::invalidateProjectLutCache();
    refreshStatus();
}

void TimelinePreviewEngine::setProjectLutReference(const std::string& reference)
{
    if (!session_) {
        return;
    }
    if (!session_->grade) {
        session_->grade = EditSession::ProjectGrade{};
    }
    session_->grade->lutCube = reference.empty() ? std::nullopt : std::optional<std::string>(reference);
    republishSession();
    refreshProjectLUT(std::nullopt);
    lookUpMissingClipLuts();
    PreviewFrameGrader::invalidateLutBaseCache();
    emit objectWillChange();
}

namespace {

// A file not looked up yet, as the pickers show it meanwhile: by its name, as one that grades.
LutResolution notLookedUpYet(const std::string& reference)
{
    LutResolution pending;
    pending.kind = LutResolution::Kind::text;
    pending.name = reference;
    return pending;
}

} // namespace

LutPickerValue TimelinePreviewEngine::projectLutPickerValue() const
{
    const LutResolution answer = luts_.projectLut.kind == LutResolution::Kind::none
                                     ? LutResolving::forJobReference(projectLutReference_, notLookedUpYet)
                                     : luts_.projectLut;
    return LutResolving::pickerValue(answer);
}

LutPickerValue TimelinePreviewEngine::clipLutPickerValue(const std::string& clipId) const
{
    const std::optional<EditSession::Clip> clip = session_ ? session_->clip(clipId) : std::nullopt;
    if (!clip) {
        return {std::string(ProjectLUTResolver::noLutSentinel), false};
    }
    // What the engine's worker found (no file is read here); a file it has not read yet shows by
    // its name until missingLutsChanged.
    const std::optional<LutResolution> known = PreviewLutFindings::knownLut(*lutAnswers(), clip->grade);
    return LutResolving::pickerValue(known ? *known : LutResolving::forClipGrade(clip->grade, notLookedUpYet));
}

// ---- LUT pickers ----

std::vector<std::string> TimelinePreviewEngine::availableLutNames() const
{
    return lutNames_->names();
}

void TimelinePreviewEngine::refreshLutNames()
{
    lutNames_->refresh(mediaFolderURL_, sessionFileURL_);
    // A clip may name a LUT not looked up yet.
    lookUpMissingClipLuts();
    // The files behind the names may have changed too: every reference is looked up again, off
    // the main thread, and the answers renewed only where one changed, so that a picker opened
    // again grades no still again for nothing.
    if (lutAnswers()->empty()) {
        return;
    }
    QPointer<TimelinePreviewEngine> self(this);
    runInBackground([self, queue = mainQueue_, asked = lutAnswers_.askRenewal(), answers = lutAnswers()] {
        queue->post([self, renewal = PreviewLutAnswers::lookUpAgain(asked, answers)]() mutable {
            if (self && self->lutAnswers_.take(std::move(renewal))) {
                self->lookUpMissingClipLuts();
                emit self->lutAnswersRenewed();
            }
        });
    });
}

std::vector<std::string> TimelinePreviewEngine::clipLutPickerOptions(const std::optional<std::string>& clipId) const
{
    if (!clipId) {
        return lutNames_->names();
    }
    return LutResolving::pickerEntries(lutNames_->names(), clipLutPickerValue(*clipId));
}

std::string TimelinePreviewEngine::selectedClipLutPickerValue() const
{
    if (!selectedClipId_ || !session_) {
        return std::string(ProjectLUTResolver::noLutSentinel);
    }
    return clipLutPickerValue(*selectedClipId_).entry;
}

std::string TimelinePreviewEngine::selectedClipLutReference() const
{
    return selectedClipLutPickerValue();
}

// ---- clip grades ----

void TimelinePreviewEngine::setClipLutReference(const std::string& reference, const std::string& clipId)
{
    if (!session_ || !session_->clip(clipId)) {
        return;
    }
    const std::string current = session_->clipLutReference(clipId);
    // Blank means no LUT; anything else is passed on exactly as given.
    const std::string chosen =
        StringText::trimmed(reference).empty() ? std::string(ProjectLUTResolver::noLutSentinel) : reference;
    if (chosen == current) {
        return;
    }
    ClipGradeEditState state = ClipGradeEditState::from(session_->clip(clipId));
    state.lutReference = chosen;
    PreviewFrameGrader::invalidateLutBaseCache();
    // Asks the look-up of the LUT chosen (lookUpChosenClipLut).
    applyClipGradeLive(clipId, state, false);
    if (!isPlaying_) {
        bumpGradePreviewRevision();
        emit objectWillChange();
    }
}

void TimelinePreviewEngine::lookUpChosenClipLut(const std::string& clipId)
{
    // Whether the LUT grades the clip is the answer every route takes for it, looked up off the
    // main thread: the status line says why it does not once that answer is known, while no
    // other news is written (so this comes after the words of the change). Inline .cube text
    // is not named there.
    const std::string reference = session_ ? session_->clipLutReference(clipId) : std::string();
    const std::string trimmed = StringText::trimmed(reference);
    if (session_ && !ProjectLUTResolver::isExplicitNoLut(trimmed) && trimmed.find('\n') == std::string::npos) {
        luts_.lutWarning = PreviewLutFindings::LutWarning{clipId, reference, statusLine_.newsNumber()};
    } else {
        luts_.lutWarning.reset();
    }
    lookUpMissingClipLuts();
    refreshStatus();
}

void TimelinePreviewEngine::applyClipGradeLive(const std::string& clipId, const ClipGradeEditState& editState,
                                               bool interactive)
{
    if (!session_) {
        return;
    }
    const std::optional<EditSession::Clip> clip = session_->clip(clipId);
    if (!clip) {
        return;
    }
    // Writing back the state the clip's own grade reads as would change only the grade's form
    // (drop a file name beside the inline text that grades, fill in a strength): the grade stays
    // exactly as stored, and only the preview is readied.
    const ClipGradeEditState before = ClipGradeEditState::from(clip);
    const bool written = before != editState;
    if (written) {
        session_->applyClipGrade(clipId, editState);
        republishSession();
    }
    setGradePreviewInteractive(interactive);
    bumpGradePreviewRevision();
    if (!gradePreviewEnabled_) {
        setGradePreviewEnabled(true);
    }
    refreshGradeCompositionContext();
    // The LUT changed here (the Clip LUT picker, the grade inspector's): looked up as every
    // place that changes a clip's LUT asks it.
    if (written && session_->clipLutReference(clipId) != before.lutReference) {
        lookUpChosenClipLut(clipId);
    }
    if (!interactive) {
        emit objectWillChange();
    }
}

void TimelinePreviewEngine::warmGradeSliderPreview(const std::string& clipId, const ClipGradeEditState& editState)
{
    applyClipGradeLive(clipId, editState, true);
}

void TimelinePreviewEngine::finalizeClipGradeLivePreview(const std::string& clipId,
                                                         const ClipGradeEditState& editState)
{
    PreviewFrameGrader::invalidateLutBaseCache();
    applyClipGradeLive(clipId, editState, false);
    // The live changes before this end (which already wrote the state, so the write above may
    // find nothing to change) say nothing; an edit that ends with the clip holding no grade, as
    // the inspector's Reset does, says so.
    if (session_ && session_->clip(clipId) && !editState.hasAnyGrade()) {
        setStatus("Clip grade cleared");
    }
}

void TimelinePreviewEngine::applyClipGradeEdit(const std::string& clipId, const ClipGradeEditState& editState,
                                               bool recordUndo)
{
    if (!session_) {
        return;
    }
    const std::string lutBefore = session_->clipLutReference(clipId);
    const std::optional<TimelineSnapshot> before = recordUndo ? pushUndoPoint() : std::nullopt;
    if (!session_->applyClipGrade(clipId, editState)) {
        withdrawUndoPoint(before);
        return;
    }
    withdrawUndoPointIfUnchanged(before);
    republishSession();
    bumpTimelineRevision();
    bumpGradePreviewRevision();
    if (!gradePreviewEnabled_) {
        setGradePreviewEnabled(true);
    }
    refreshGradeCompositionContext();
    emit objectWillChange();
    setStatus(editState.hasAnyGrade() ? "Grade ON — pause/scrub to preview clip grade" : "Clip grade cleared");
    if (session_->clipLutReference(clipId) != lutBefore) {
        lookUpChosenClipLut(clipId);
    }
}

void TimelinePreviewEngine::setGradePreviewEnabled(bool enabled)
{
    if (enabled == gradePreviewEnabled_) {
        return;
    }
    setGradePreviewEnabledValue(enabled);
    setStatus(enabled ? "Grade ON — LUT + mood/basic when paused · Play = smooth raw"
                      : "Grade OFF — clip LUT still shows when paused · Play = smooth raw");
    emit objectWillChange();
}

void TimelinePreviewEngine::refreshPausedGradePreview()
{
    bumpGradePreviewRevision();
    emit objectWillChange();
}

void TimelinePreviewEngine::notifyPreviewGradeRefresh()
{
    emit objectWillChange();
}

std::optional<EditSession::Clip> TimelinePreviewEngine::clipForPausedGrade(double at) const
{
    const EditSession::Timeline* timeline = session_ ? session_->findActiveTimeline() : nullptr;
    if (!timeline) {
        return std::nullopt;
    }
    // The frame rule's clip for the frame holding `at`; none in a gap or past the end of the
    // clip's file, where the monitor is black.
    const ShownFrame shown = shownFrameAt(at);
    if (shown.gap()) {
        return std::nullopt;
    }
    return timeline->clips[*shown.clip];
}

void TimelinePreviewEngine::refreshGradeCompositionContext()
{
    if (session_) {
        gradeContext_ = std::make_shared<const GradeCompositionContext>(*session_, previewVideoTransform_);
    }
}

// ---- clip gain and fades ----

std::optional<TimelinePreviewEngine::ClipAudioLevel> TimelinePreviewEngine::selectedClipAudioLevel() const
{
    if (!session_ || !selectedClipId_) {
        return std::nullopt;
    }
    const auto location = session_->clipLocation(*selectedClipId_);
    if (!location) {
        return std::nullopt;
    }
    const EditSession::Timeline& timeline = session_->timelines[location->timelineIndex];
    const EditSession::Clip& clip = timeline.clips[location->clipIndex];
    if (EditSession::isAudioClip(clip)) {
        return ClipAudioLevel{clip.id, clip.audioLevel.value_or(1.0)};
    }
    if (EditSession::normalizedClipType(clip.type, clip.name) != "video") {
        return std::nullopt;
    }
    const std::vector<std::string> paired =
        session_->audioIdsPairedWithVideo(clip, playheadSeconds_, location->timelineIndex);
    if (!paired.empty()) {
        for (const EditSession::Clip& candidate : timeline.clips) {
            if (candidate.id == paired.front()) {
                return ClipAudioLevel{candidate.id, candidate.audioLevel.value_or(clip.audioLevel.value_or(1.0))};
            }
        }
    }
    return ClipAudioLevel{clip.id, clip.audioLevel.value_or(1.0)};
}

void TimelinePreviewEngine::setClipAudioLevel(const std::string& clipId, double level, bool rebuildPreview)
{
    if (!session_ || std::isnan(level)) {
        return;
    }
    const auto location = session_->clipLocation(clipId);
    if (!location) {
        return;
    }
    const double gain = std::clamp(level, 0.0, kMaximumControlGain);
    EditSession::Timeline& timeline = session_->timelines[location->timelineIndex];
    const EditSession::Clip clip = timeline.clips[location->clipIndex];
    std::set<std::string> ids{clipId};
    const std::string kind = EditSession::normalizedClipType(clip.type, clip.name);
    if (kind == "video") {
        const std::vector<std::string> paired =
            session_->audioIdsPairedWithVideo(clip, playheadSeconds_, location->timelineIndex);
        ids.insert(paired.begin(), paired.end());
    } else if (kind == "audio") {
        if (const auto partner = session_->partnerVideoClip(clip, location->timelineIndex)) {
            ids.insert(partner->id);
        }
    }
    for (const std::string& id : ids) {
        const auto target = std::find_if(timeline.clips.begin(), timeline.clips.end(),
                                         [&](const EditSession::Clip& candidate) { return candidate.id == id; });
        if (target != timeline.clips.end()) {
            target->audioLevel = gain;
        }
    }
    bumpTimelineRevision();
    refreshLiveAudioMix();
    if (rebuildPreview || previewAudioBusByClipId_.empty()) {
        scheduleCompositionRebuild();
    }
    setStatus("Clip gain " + StatusText::fixed(gain * 100, 0) + "%");
}

void TimelinePreviewEngine::setClipFades(const std::string& clipId, double fadeIn, double fadeOut, bool recordUndo)
{
    if (!session_) {
        return;
    }
    const std::optional<TimelineSnapshot> before = recordUndo ? pushUndoPoint() : std::nullopt;
    if (!session_->setClipFades(clipId, fadeIn, fadeOut)) {
        withdrawUndoPoint(before);
        return;
    }
    withdrawUndoPointIfUnchanged(before);
    republishSession();
    bumpTimelineRevision();
    exactSeekInFlight_ = false;
    pendingPlayAfterSeek_ = false;
    refreshLiveAudioMix();
    updatePreviewFadeOpacity(playheadSeconds_);
    emit objectWillChange();
    setStatus("Fade in " + StatusText::fixed(fadeIn, 1) + "s · fade out " + StatusText::fixed(fadeOut, 1) + "s");
}

void TimelinePreviewEngine::refreshLiveAudioMix()
{
    if (!session_ || !avPlayer_ || previewAudioBusByClipId_.empty()) {
        return;
    }
    const auto index = session_->activeTimelineIndex();
    if (!index) {
        return;
    }
    AudioMix mix;
    for (const EditSession::Clip& clip : session_->timelines[*index].clips) {
        const bool audio = EditSession::isAudioClip(clip);
        if (!audio && EditSession::normalizedClipType(clip.type, clip.name) != "video") {
            continue;
        }
        const auto bus = previewAudioBusByClipId_.find(audio ? clip.id : "embed_" + clip.id);
        if (bus == previewAudioBusByClipId_.end()) {
            continue;
        }
        const int lane = clip.track.value_or(1);
        if (session_->isTrackMuted(audio ? TimelineTrackKey::audio(lane) : TimelineTrackKey::video(lane), *index)) {
            continue;
        }
        mix.inputParameters.push_back(PreviewPlayerItem::audioEnvelope(bus->second, clip, clip.startTime.value_or(0)));
    }
    // Without a sounding clip the item keeps the mix it has.
    if (!mix.inputParameters.empty()) {
        avPlayer_->setAudioMix(std::move(mix));
    }
}

void TimelinePreviewEngine::updatePreviewFadeOpacity(double at)
{
    if (!session_) {
        if (previewFadeOpacity_ != 1.0) {
            setPreviewFadeOpacity(1.0);
        }
        return;
    }
    const double opacity = session_->visualOpacity(at);
    if (isPlaying_ || std::abs(opacity - previewFadeOpacity_) > kOpacityStep) {
        setPreviewFadeOpacity(opacity);
    }
}

double TimelinePreviewEngine::previewVisualOpacity() const
{
    return session_ ? session_->visualOpacity(playheadSeconds_) : 1.0;
}

void TimelinePreviewEngine::runInBackground(std::function<void()> work)
{
    if (runInBackground_) {
        runInBackground_(std::move(work));
    } else {
        work();
    }
}

} // namespace velmora
