// The source viewer and grade inspector windows' contents and closures, and placing a source
// range on the timeline, which two of the viewer's closures ask for.

#include "workspace/EditorWorkspaceController.h"

#include <QPointer>

#include "grading/PreviewFrameGrader.h"
#include "model/ProjectLUTResolver.h"
#include "platform/foundation/ShownText.h"
#include "platform/foundation/StringText.h"
#include "platform/foundation/Uuid.h"

namespace velmora {

namespace {

// Ranges shorter than this are placed with this length.
constexpr double minimumPlacedLength = 0.1;
// Clips that only touch within this many seconds do not overlap.
constexpr double overlapTolerance = 0.0001;

double placedLength(double inPoint, double outPoint)
{
    const double length = outPoint - inPoint;
    return length > minimumPlacedLength ? length : minimumPlacedLength;
}

bool overlaps(const EditSession::Clip& clip, double start, double length)
{
    const double clipStart = clip.startTime.value_or(0);
    const double clipEnd = clipStart + clip.duration.value_or(0);
    return clipStart < start + length - overlapTolerance && clipEnd > start + overlapTolerance;
}

} // namespace

// ---- the grade inspector ----

void EditorWorkspaceController::openGradeInspector(const std::string& clipId)
{
    const std::shared_ptr<EditSession>& session = engine_->session();
    const std::optional<EditSession::Clip> clip = session ? session->clip(clipId) : std::nullopt;
    if (!clip || !engine_->isOnActiveTimeline(clipId))
        return;
    // The state before the inspector opens is one undo step, whatever the inspector changes.
    engine_->recordUndoPoint();
    setGradeInspectorClipId(clipId);
    setGradeEditState(ClipGradeEditState::from(clip));
    setShowGradeInspector(true);

    const std::uint64_t generation = ++gradeInspectorGeneration_;
    QPointer<EditorWorkspaceController> self(this);
    const auto current = [self, generation] { return self && self->gradeInspectorGeneration_ == generation; };
    GradeInspectorWindowArguments arguments;
    arguments.engine = engine_;
    arguments.initialEditState = gradeEditState_;
    arguments.clipId = clipId;
    arguments.clipName = shownText(clip->name ? std::string_view(*clip->name) : "Clip");
    // The Clip LUT picker's entries: the clip's own LUT is among them when no listed file is
    // it ("(Embedded LUT)", a LUT that is missing), so that the inspector shows what grades.
    arguments.lutNames = engine_->clipLutPickerOptions(clipId);
    arguments.onDismiss = [self, current] {
        if (current())
            self->closeGradeInspector();
    };
    arguments.onDirty = [self, current] {
        if (current())
            self->setProjectDirty(true);
    };
    emit gradeInspectorRequested(arguments);
    engine_->warmGradeSliderPreview(clipId, gradeEditState_);
}

void EditorWorkspaceController::closeGradeInspector()
{
    ++gradeInspectorGeneration_;
    emit gradeInspectorCloseRequested();
    setGradeInspectorClipId(std::nullopt);
    setShowGradeInspector(false);
}

// ---- the source viewer ----

std::string EditorWorkspaceController::sourceViewerTitle(const EditSession::Source& source, bool forTimelineClip)
{
    const std::string name = shownText(source.fileName);
    return forTimelineClip ? "Source Viewer — " + name + " (Timeline)" : "Source Viewer - " + name;
}

void EditorWorkspaceController::openSourceViewerForTimelineClip(const std::string& clipId)
{
    const std::shared_ptr<EditSession>& session = engine_->session();
    const std::optional<EditSession::Clip> clip = session ? session->clip(clipId) : std::nullopt;
    if (!clip || !clip->sourceId || !engine_->isOnActiveTimeline(clipId))
        return;
    const EditSession::Source* source = sourceWithId(*session, *clip->sourceId);
    if (!source)
        return;
    const EditSession::Source chosen = *source;
    engine_->selectClip(clipId, false);
    setSourceViewerTimelineClipId(clipId);
    setSelectedSourceId(std::nullopt);
    openSourceViewer(chosen, clipId);
}

void EditorWorkspaceController::openSourceViewer(const EditSession::Source& source,
                                                 const std::optional<std::string>& timelineClipId)
{
    SourceViewerWindowArguments arguments;
    arguments.engine = engine_;
    arguments.source = source;
    arguments.mediaFolderURL = mediaFolderURL_;
    arguments.sessionFile = sessionURL_;
    arguments.timelineClipId = timelineClipId;
    const std::shared_ptr<EditSession>& session = engine_->session();
    if (const std::optional<EditSession::Clip> clip =
            timelineClipId && session ? session->clip(*timelineClipId) : std::nullopt) {
        arguments.initialInPoint = clip->inPoint;
        arguments.initialOutPoint =
            clip->outPoint ? *clip->outPoint : clip->inPoint.value_or(0) + clip->duration.value_or(0);
    }

    // The closures are bound to this opening: the source and clip it was made for, and only
    // while no newer viewer replaced it.
    const std::uint64_t generation = ++sourceViewerGeneration_;
    QPointer<EditorWorkspaceController> self(this);
    const auto current = [self, generation] { return self && self->sourceViewerGeneration_ == generation; };
    arguments.onUpdateTimeline = [self, current, timelineClipId](double inPoint, double outPoint,
                                                                 const std::string& lutReference) {
        if (!current())
            return;
        if (timelineClipId) {
            self->engine_->updateTimelineClipFromSource(*timelineClipId, inPoint, outPoint, lutReference);
            self->setLutPickerSelection(self->engine_->selectedClipLutPickerValue());
            self->setProjectDirty(true);
        }
        self->closeSourceViewer();
    };
    arguments.onInsertAtPlayhead = [self, current, source](double inPoint, double outPoint,
                                                           const std::string& lutReference) {
        if (!current())
            return;
        const double at = self->engine_->playheadSeconds();
        self->addSourceToTimeline(source, inPoint, outPoint, lutReference, at, at + placedLength(inPoint, outPoint));
        self->closeSourceViewer();
    };
    arguments.onAddToTimeline = [self, current, source](double inPoint, double outPoint,
                                                        const std::string& lutReference) {
        if (!current())
            return;
        self->addSourceToTimeline(source, inPoint, outPoint, lutReference, std::nullopt, std::nullopt);
        self->closeSourceViewer();
    };
    arguments.onClose = [self, current] {
        if (current())
            self->closeSourceViewer();
    };
    arguments.onLutChanged = [self, current] {
        if (current())
            self->setProjectDirty(true);
    };
    emit sourceViewerRequested(arguments);
}

void EditorWorkspaceController::closeSourceViewer()
{
    ++sourceViewerGeneration_;
    setSelectedSourceId(std::nullopt);
    setSourceViewerTimelineClipId(std::nullopt);
    emit sourceViewerCloseRequested();
}

// ---- placing a source range ----

void EditorWorkspaceController::addSourceToTimeline(const EditSession::Source& source, double inPoint,
                                                    double outPoint, const std::string& lutReference,
                                                    std::optional<double> at, std::optional<double> seekAfterReload)
{
    std::shared_ptr<EditSession> session = engine_->session();
    const bool openProject = session != nullptr;
    if (!session)
        session = std::make_shared<EditSession>(EditSession::blankProject());
    session->ensureDefaultTimelineIfNeeded();
    const std::optional<std::size_t> timelineIndex = session->activeTimelineIndex();
    if (!timelineIndex)
        return;
    const std::size_t index = *timelineIndex;

    const std::string kind = EditSession::normalizedClipType(source.type, source.fileName);
    // The placement is one undo step of the open project; a kind that places nothing is none.
    if (openProject && (kind == "video" || kind == "image" || kind == "audio"))
        engine_->recordUndoPoint();
    const double start = at ? *at : session->timelines[index].duration.value_or(0);
    const double length = placedLength(inPoint, outPoint);
    std::string lut = StringText::trimmed(lutReference);
    if (lut.empty())
        lut = ProjectLUTResolver::noLutSentinel;
    if (!sourceWithId(*session, source.id))
        session->sources.push_back(source);

    const auto rangeClip = [&](std::string type, std::string name, int lane) {
        EditSession::Clip clip(Uuid::randomText());
        clip.type = std::move(type);
        clip.name = std::move(name);
        clip.sourceId = source.id;
        clip.track = lane;
        clip.startTime = start;
        clip.duration = length;
        clip.inPoint = inPoint;
        clip.outPoint = outPoint;
        return clip;
    };

    std::optional<std::string> addedPictureId;
    if (kind == "video" || kind == "image") {
        const std::string groupId = Uuid::randomText();
        EditSession::Clip picture = rangeClip(kind, source.fileName, session->findFreeVisualTrack(start, length, 1, index));
        picture.groupId = groupId;
        picture.grade = EditSession::clipGrade(lut);
        addedPictureId = picture.id;
        const int videoLane = *picture.track;
        session->timelines[index].clips.push_back(std::move(picture));
        if (kind == "video") {
            // The linked audio keeps the video's lane number unless that lane is taken there.
            int audioLane = videoLane;
            for (const EditSession::Clip& clip : session->timelines[index].clips) {
                if (EditSession::isAudioClip(clip) && clip.track.value_or(1) == videoLane && overlaps(clip, start, length)) {
                    audioLane = session->findFreeAudioTrackForInsert(start, length, index);
                    break;
                }
            }
            EditSession::Clip audio = rangeClip("audio", source.fileName + " (Audio)", audioLane);
            audio.groupId = groupId;
            session->timelines[index].clips.push_back(std::move(audio));
        }
    } else if (kind == "audio") {
        session->timelines[index].clips.push_back(
            rangeClip("audio", source.fileName, session->findFreeAudioTrackForInsert(start, length, index)));
    }

    session->normalizeAllClipTiming();
    PreviewFrameGrader::invalidateLutBaseCache();
    engine_->reloadSession(session, mediaFolderURL_, sessionURL_);
    resetLayoutTrackCounts(*session);
    engine_->reloadComposition(seekAfterReload);
    if (addedPictureId) {
        engine_->selectClip(*addedPictureId, false);
        setLutPickerSelection(engine_->selectedClipLutPickerValue());
    }
    setProjectDirty(true);
}

} // namespace velmora
