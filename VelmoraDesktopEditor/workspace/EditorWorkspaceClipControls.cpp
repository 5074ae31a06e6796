// The edit tools bar and its keys, the clip picker, clip gain and fades, and the clip LUT picker.

#include "workspace/EditorWorkspaceController.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include <QPointer>

#include "model/LutResolution.h"
#include "platform/foundation/ShownText.h"

namespace velmora {

namespace {

std::string normalizedKind(const EditSession::Clip& clip)
{
    return EditSession::normalizedClipType(clip.type, clip.name);
}

} // namespace

// ---- the edit tools bar and the keyboard ----

void EditorWorkspaceController::perform(EditCommand command)
{
    TimelinePreviewEngine& engine = *engine_;
    switch (command) {
    case EditCommand::undo: engine.undo(); break;
    case EditCommand::redo: engine.redo(); break;
    case EditCommand::deleteSelection: engine.deleteSelectionOrMarker(); break;
    case EditCommand::split: engine.splitAtPlayhead(); break;
    case EditCommand::toggleAudioLink: engine.toggleAudioLinkForSelection(); break;
    case EditCommand::trimIn: engine.trimStartAtPlayhead(); break;
    case EditCommand::trimOut: engine.trimAtPlayhead(); break;
    case EditCommand::closeGap: engine.closeGapAtPlayhead(); break;
    case EditCommand::addMarker: engine.addMarkerAtPlayhead(); break;
    case EditCommand::cancelTrim: engine.cancelTrimGesture(); break;
    case EditCommand::cleanFeed: engine.toggleCleanFeedWindow(); break;
    case EditCommand::playPause: engine.togglePlay(); break;
    case EditCommand::previousFrame: engine.stepPlayheadFrame(-1, false); break;
    case EditCommand::nextFrame: engine.stepPlayheadFrame(1, false); break;
    }
}

EditorKeyboardHandler EditorWorkspaceController::keyboardHandler()
{
    // The handler may outlive the workspace inside the key monitor; then its keys do nothing.
    QPointer<EditorWorkspaceController> self(this);
    auto run = [self](EditCommand command) {
        return [self, command] {
            if (self)
                self->perform(command);
        };
    };
    EditorKeyboardHandler handler;
    handler.isSourceViewerActive = [self] { return self && self->sourceViewerActive_ && self->sourceViewerActive_(); };
    handler.onSpace = run(EditCommand::playPause);
    handler.onUndo = run(EditCommand::undo);
    handler.onRedo = run(EditCommand::redo);
    handler.onSplit = run(EditCommand::split);
    handler.onTrimIn = run(EditCommand::trimIn);
    handler.onTrimOut = run(EditCommand::trimOut);
    handler.onToggleAudioLink = run(EditCommand::toggleAudioLink);
    handler.onCancelTrim = run(EditCommand::cancelTrim);
    handler.onDelete = run(EditCommand::deleteSelection);
    handler.onCleanFeed = run(EditCommand::cleanFeed);
    handler.onScrubStep = [self](int direction, bool fine) {
        if (self)
            self->engine_->stepPlayheadFrame(direction, fine);
    };
    handler.onJumpCut = [self](int direction) {
        if (!self)
            return;
        if (direction < 0)
            self->engine_->jumpToPreviousCut();
        else
            self->engine_->jumpToNextCut();
    };
    handler.onCloseGap = run(EditCommand::closeGap);
    return handler;
}

const std::vector<std::string>& EditorWorkspaceController::linkLabels()
{
    static const std::vector<std::string> labels = {"Link Audio", "Audio Linked", "Audio Unlinked"};
    return labels;
}

std::string EditorWorkspaceController::linkLabel() const
{
    const std::shared_ptr<EditSession>& session = engine_->session();
    const std::optional<std::string>& id = engine_->selectedClipId();
    if (session && id) {
        if (const auto location = session->clipLocation(*id)) {
            const EditSession::Clip& clip = session->timelines[location->timelineIndex].clips[location->clipIndex];
            const std::string kind = normalizedKind(clip);
            if (kind == "video" || (kind == "audio" && session->partnerVideoClip(clip, location->timelineIndex)))
                return linkLabels()[engine_->isAudioLinkedForSelection() ? 1 : 2];
        }
    }
    return linkLabels()[0];
}

bool EditorWorkspaceController::gradeInspectorButtonShown() const
{
    const std::optional<EditSession::Clip> clip = selectedClip();
    return clip && isPictureClip(*clip);
}

bool EditorWorkspaceController::sourceViewerButtonShown() const
{
    const std::optional<EditSession::Clip> clip = selectedClip();
    return clip && normalizedKind(*clip) == "video" && clip->sourceId.has_value();
}

// ---- clip picker ----

std::vector<EditorWorkspaceController::PickerClip> EditorWorkspaceController::pickerClips() const
{
    std::vector<const EditSession::Clip*> clips;
    if (const std::shared_ptr<EditSession>& session = engine_->session()) {
        if (const EditSession::Timeline* timeline = session->findActiveTimeline()) {
            for (const EditSession::Clip& clip : timeline->clips) {
                if (isPictureClip(clip))
                    clips.push_back(&clip);
            }
        }
    }
    std::stable_sort(clips.begin(), clips.end(), [](const EditSession::Clip* a, const EditSession::Clip* b) {
        return a->startTime.value_or(0) < b->startTime.value_or(0);
    });
    std::vector<PickerClip> listed;
    listed.reserve(clips.size());
    for (const EditSession::Clip* clip : clips)
        listed.push_back({clip->id, shownText(clip->name ? std::string_view(*clip->name) : "Clip")});
    return listed;
}

void EditorWorkspaceController::pickClip(const std::string& clipId)
{
    engine_->selectClip(clipId, false);
}

// ---- gain and fades ----

bool EditorWorkspaceController::clipGainShown() const
{
    return engine_->selectedClipAudioLevel().has_value();
}

void EditorWorkspaceController::changeClipGain(double percent)
{
    setClipGainUI(percent);
    const auto target = engine_->selectedClipAudioLevel();
    if (!target)
        return;
    engine_->setClipAudioLevel(target->clipId, percent / 100.0, false);
}

std::optional<std::string> EditorWorkspaceController::fadeBarClipId() const
{
    const std::optional<EditSession::Clip> clip = selectedClip();
    if (clip && normalizedKind(*clip) == "video")
        return clip->id;
    return std::nullopt;
}

void EditorWorkspaceController::applyClipFadesFromUI(const std::string& clipId)
{
    const auto usable = [](double seconds) { return std::isfinite(seconds) && seconds > 0 ? seconds : 0.0; };
    engine_->setClipFades(clipId, usable(clipFadeInUI_), usable(clipFadeOutUI_), true);
    setProjectDirty(true);
}

void EditorWorkspaceController::clearClipFades(const std::string& clipId)
{
    setClipFadeInUI(0);
    setClipFadeOutUI(0);
    engine_->setClipFades(clipId, 0, 0, true);
    setProjectDirty(true);
}

// ---- clip LUT ----

std::vector<std::string> EditorWorkspaceController::lutPickerOptions() const
{
    return engine_->clipLutPickerOptions(engine_->selectedClipId());
}

std::string EditorWorkspaceController::lutPickerShownValue() const
{
    return lutPickerShownValue(lutPickerOptions());
}

std::string EditorWorkspaceController::lutPickerShownValue(const std::vector<std::string>& options) const
{
    if (!lutPickerSelection_.empty() &&
        std::find(options.begin(), options.end(), lutPickerSelection_) != options.end())
        return lutPickerSelection_;
    return engine_->selectedClipLutPickerValue();
}

std::string EditorWorkspaceController::lutPickerTitle(const std::string& name) const
{
    return lutPickerTitles({name}).front();
}

std::vector<std::string> EditorWorkspaceController::lutPickerTitles(const std::vector<std::string>& names) const
{
    const std::optional<std::string>& clipId = engine_->selectedClipId();
    const std::optional<LutPickerValue> shown =
        clipId ? std::optional(engine_->clipLutPickerValue(*clipId)) : std::nullopt;
    std::vector<std::string> titles;
    titles.reserve(names.size());
    for (const std::string& name : names)
        titles.push_back(LutResolving::pickerTitle(name, shown, engine_->listedLutMarks()));
    return titles;
}

void EditorWorkspaceController::chooseClipLut(const std::string& name)
{
    // Without a selection there is no clip on screen to take it: the picker keeps showing none.
    const std::optional<std::string> clipId = engine_->selectedClipId();
    if (!clipId)
        return;
    setLutPickerSelection(name);
    engine_->setClipLutReference(name, *clipId);
    setProjectDirty(true);
}

} // namespace velmora
