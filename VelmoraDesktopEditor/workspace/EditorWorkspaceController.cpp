// The workspace's state, the selection follow-up, the dirty rule, opening files and the lane
// counts.

#include "workspace/EditorWorkspaceController.h"

#include <algorithm>

#include <QPointer>

#include "controls/VelmoraWorkflowState.h"
#include "editing/TimelineZoom.h"
#include "model/DesktopJobTool.h"
#include "model/MediaResolver.h"
#include "model/ProjectMediaFolder.h"
#include "model/VelmoraProjectFile.h"
#include "platform/dispatch/QtMainQueue.h"
#include "platform/dispatch/BackgroundWorker.h"
#include "platform/dispatch/ThreadPriority.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FileError.h"
#include "platform/foundation/ShownText.h"
#include "platform/foundation/NumberText.h"
#include "platform/foundation/StringText.h"
#include "workspace/EditorWorkspaceText.h"

namespace velmora {

namespace {

constexpr char browserProjectTool[] = "browser-tavlek";

TimelinePreviewEngine::Services withMainQueue(TimelinePreviewEngine::Services services)
{
    if (!services.mainQueue)
        services.mainQueue = std::make_shared<QtMainQueue>();
    return services;
}

// The highest lane of the clips that count (a clip without a lane is on lane 1); 0 for none.
int highestLane(const std::vector<EditSession::Clip>& clips, bool (*counts)(const EditSession::Clip&))
{
    int highest = 0;
    for (const EditSession::Clip& clip : clips) {
        if (counts(clip))
            highest = std::max(highest, clip.track.value_or(1));
    }
    return highest;
}

// The clips of the session's active timeline, in place; none without a session or active
// timeline. Valid until the session's timelines change.
const std::vector<EditSession::Clip>& activeClips(const EditSession* session)
{
    static const std::vector<EditSession::Clip> none;
    const EditSession::Timeline* timeline = session ? session->findActiveTimeline() : nullptr;
    return timeline ? timeline->clips : none;
}

} // namespace

EditorWorkspaceController::EditorWorkspaceController(VelmoraWorkflowState& workflow, Services services, QObject* parent)
    : QObject(parent), workflow_(&workflow), filePanels_(std::move(services.filePanels)),
      fileRevealer_(std::move(services.fileRevealer)), shortVersion_(std::move(services.shortVersion)),
      buildNumber_(std::move(services.buildNumber)), runInBackground_(std::move(services.runInBackground))
{
    if (!runInBackground_) {
        // Poster frames are a convenience: the worker's thread, and the decoder threads it
        // starts, yield the cores to the window opening the project and to playback.
        backgroundWorker_ = std::make_unique<BackgroundWorker>("velmora.thumbs", [] { lowerCurrentThreadPriority(10); });
        runInBackground_ = [worker = backgroundWorker_.get()](std::function<void()> work) { worker->run(std::move(work)); };
    }
    services.engine = withMainQueue(std::move(services.engine));
    mainQueue_ = services.engine.mainQueue;
    engine_ = new TimelinePreviewEngine(std::move(services.engine), this);
    connect(engine_, &TimelinePreviewEngine::selectedClipIdChanged, this, &EditorWorkspaceController::followSelection);
    connect(engine_, &TimelinePreviewEngine::sessionChanged, this, &EditorWorkspaceController::followClipLut);
    connect(engine_, &TimelinePreviewEngine::timelineRevisionChanged, this, &EditorWorkspaceController::applyDirtyRule);
    connect(engine_, &TimelinePreviewEngine::timelineRevisionChanged, this, &EditorWorkspaceController::followTimeline);
    followedClipId_ = engine_->selectedClipId();
    lutPickerSelection_ = engine_->selectedClipLutPickerValue();
    // Another mode or closing the window would drop the open project with this workspace. A
    // workspace already switched away from (its deletion still pending) has nothing to ask.
    workflow_->setExitGuard(this, [this](VelmoraWorkflowState::WorkspaceExit exit, std::function<void()> proceed) {
        if (workflow_->selectedTab() != VelmoraShellTab::editor) {
            proceed();
            return;
        }
        confirmDiscard(exit == VelmoraWorkflowState::WorkspaceExit::quit ? DiscardReason::quit
                                                                          : DiscardReason::switchMode,
                       std::move(proceed));
    });
}

EditorWorkspaceController::~EditorWorkspaceController()
{
    workflow_->clearExitGuard(this);
    // Background work stops first: what is queued is skipped, and the poster frame being made
    // is finished on the worker's own thread, which nobody here waits for.
    closing_->store(true);
    backgroundWorker_.reset();
    // The engine goes first, while everything its last signals could reach still exists.
    delete engine_;
}

// ---- stored state ----

template <typename T, typename Signal>
void EditorWorkspaceController::assign(T& member, T value, Signal changed)
{
    member = std::move(value);
    emit(this->*changed)();
}

void EditorWorkspaceController::setSessionURL(std::optional<std::filesystem::path> url, bool projectDocument)
{
    sessionURLIsProjectDocument_ = url && projectDocument;
    assign(sessionURL_, std::move(url), &EditorWorkspaceController::sessionURLChanged);
}

std::optional<std::filesystem::path> EditorWorkspaceController::boundProjectFile() const
{
    return sessionURLIsProjectDocument_ ? sessionURL_ : std::nullopt;
}

void EditorWorkspaceController::setMediaFolderURL(std::optional<std::filesystem::path> url)
{
    mediaFolderHoldsMedia_.reset();
    mediaFolderAskedAbout_.reset();
    assign(mediaFolderURL_, std::move(url), &EditorWorkspaceController::mediaFolderURLChanged);
}

void EditorWorkspaceController::setShowError(bool show)
{
    assign(showError_, show, &EditorWorkspaceController::showErrorChanged);
}

void EditorWorkspaceController::setErrorText(std::string text)
{
    assign(errorText_, shownText(text), &EditorWorkspaceController::errorTextChanged);
}

void EditorWorkspaceController::setLaneRowHeight(double height)
{
    const bool changed = height != laneRowHeight_;
    assign(laneRowHeight_, height, &EditorWorkspaceController::laneRowHeightChanged);
    if (changed)
        engine_->setTimelineRevision(engine_->timelineRevision() + 1);
}

void EditorWorkspaceController::setLayoutVideoTracks(int count)
{
    assign(layoutVideoTracks_, count, &EditorWorkspaceController::layoutVideoTracksChanged);
}

void EditorWorkspaceController::setLayoutAudioTracks(int count)
{
    assign(layoutAudioTracks_, count, &EditorWorkspaceController::layoutAudioTracksChanged);
}

void EditorWorkspaceController::setTimelineZoomUI(double position)
{
    assign(timelineZoomUI_, position, &EditorWorkspaceController::timelineZoomUIChanged);
}

void EditorWorkspaceController::setShowMediaPool(bool show)
{
    assign(showMediaPool_, show, &EditorWorkspaceController::showMediaPoolChanged);
}

void EditorWorkspaceController::setSelectedSourceId(std::optional<std::string> id)
{
    assign(selectedSourceId_, std::move(id), &EditorWorkspaceController::selectedSourceIdChanged);
}

void EditorWorkspaceController::setShowExportSheet(bool show)
{
    assign(showExportSheet_, show, &EditorWorkspaceController::showExportSheetChanged);
}

void EditorWorkspaceController::setShowProjectSettings(bool show)
{
    assign(showProjectSettings_, show, &EditorWorkspaceController::showProjectSettingsChanged);
}

void EditorWorkspaceController::setShowGradeInspector(bool show)
{
    assign(showGradeInspector_, show, &EditorWorkspaceController::showGradeInspectorChanged);
}

void EditorWorkspaceController::setImportHintDismissed(bool dismissed)
{
    assign(importHintDismissed_, dismissed, &EditorWorkspaceController::importHintDismissedChanged);
}

void EditorWorkspaceController::setGradeEditState(ClipGradeEditState state)
{
    assign(gradeEditState_, std::move(state), &EditorWorkspaceController::gradeEditStateChanged);
}

void EditorWorkspaceController::setGradeInspectorClipId(std::optional<std::string> id)
{
    assign(gradeInspectorClipId_, std::move(id), &EditorWorkspaceController::gradeInspectorClipIdChanged);
}

void EditorWorkspaceController::setProjectDirty(bool dirty)
{
    assign(projectDirty_, dirty, &EditorWorkspaceController::projectDirtyChanged);
}

void EditorWorkspaceController::setSuppressDirtyMark(bool suppress)
{
    assign(suppressDirtyMark_, suppress, &EditorWorkspaceController::suppressDirtyMarkChanged);
}

void EditorWorkspaceController::setLutPickerSelection(std::string selection)
{
    assign(lutPickerSelection_, std::move(selection), &EditorWorkspaceController::lutPickerSelectionChanged);
}

void EditorWorkspaceController::setShowRelinkMedia(bool show)
{
    assign(showRelinkMedia_, show, &EditorWorkspaceController::showRelinkMediaChanged);
}

void EditorWorkspaceController::setRelinkMissingNames(std::vector<std::string> names)
{
    assign(relinkMissingNames_, std::move(names), &EditorWorkspaceController::relinkMissingNamesChanged);
}

void EditorWorkspaceController::setOpenedWebTavlek(bool opened)
{
    assign(openedWebTavlek_, opened, &EditorWorkspaceController::openedWebTavlekChanged);
}

void EditorWorkspaceController::setSourceViewerTimelineClipId(std::optional<std::string> id)
{
    assign(sourceViewerTimelineClipId_, std::move(id), &EditorWorkspaceController::sourceViewerTimelineClipIdChanged);
}

void EditorWorkspaceController::setClipGainUI(double percent)
{
    assign(clipGainUI_, percent, &EditorWorkspaceController::clipGainUIChanged);
}

void EditorWorkspaceController::setClipFadeInUI(double seconds)
{
    assign(clipFadeInUI_, seconds, &EditorWorkspaceController::clipFadeInUIChanged);
}

void EditorWorkspaceController::setClipFadeOutUI(double seconds)
{
    assign(clipFadeOutUI_, seconds, &EditorWorkspaceController::clipFadeOutUIChanged);
}

void EditorWorkspaceController::reportError(const std::string& message)
{
    setErrorText(message);
    setShowError(true);
}

// ---- session queries ----

EditSession::Source* EditorWorkspaceController::sourceWithId(EditSession& session, const std::string& id)
{
    const auto found = std::find_if(session.sources.begin(), session.sources.end(),
                                    [&](const EditSession::Source& source) { return source.id == id; });
    return found == session.sources.end() ? nullptr : &*found;
}

std::vector<std::string> EditorWorkspaceController::allSourceIds(const EditSession& session)
{
    std::vector<std::string> ids;
    ids.reserve(session.sources.size());
    for (const EditSession::Source& source : session.sources)
        ids.push_back(source.id);
    return ids;
}

bool EditorWorkspaceController::isPictureClip(const EditSession::Clip& clip)
{
    const std::string kind = EditSession::normalizedClipType(clip.type, clip.name);
    return kind == "video" || kind == "image";
}

std::optional<std::string> EditorWorkspaceController::projectName(const EditSession* session)
{
    if (session && session->project)
        return session->project->name;
    return std::nullopt;
}

std::optional<EditSession::Clip> EditorWorkspaceController::selectedClip() const
{
    const std::shared_ptr<EditSession>& session = engine_->session();
    const std::optional<std::string>& id = engine_->selectedClipId();
    return session && id ? session->clip(*id) : std::nullopt;
}

// ---- rules that follow the engine ----

void EditorWorkspaceController::followSelection()
{
    const std::optional<std::string> id = engine_->selectedClipId();
    if (id == followedClipId_)
        return;
    followedClipId_ = id;

    // Without a gain target the gain field keeps its last value.
    if (const auto target = engine_->selectedClipAudioLevel())
        setClipGainUI(target->level * 100);
    const std::optional<EditSession::Clip> clip = selectedClip();
    setClipFadeInUI(clip ? clip->fadeIn.value_or(0) : 0);
    setClipFadeOutUI(clip ? clip->fadeOut.value_or(0) : 0);
    setLutPickerSelection(engine_->selectedClipLutPickerValue());
    if (id) {
        if (!engine_->isPlaying())
            engine_->refreshPausedGradePreview();
        // A timeline clip and a media pool card are never selected together.
        setSelectedSourceId(std::nullopt);
    }
    if (showGradeInspector_ && id != gradeInspectorClipId_)
        closeGradeInspector();
}

void EditorWorkspaceController::followTimeline()
{
    // A window bound to a clip that is no longer on the timeline on screen acts on nothing.
    if (sourceViewerTimelineClipId_ && !engine_->isOnActiveTimeline(*sourceViewerTimelineClipId_))
        closeSourceViewer();
    if (showGradeInspector_ && gradeInspectorClipId_ && !engine_->isOnActiveTimeline(*gradeInspectorClipId_))
        closeGradeInspector();
}

void EditorWorkspaceController::followClipLut()
{
    if (!engine_->selectedClipId())
        return;
    std::string value = engine_->selectedClipLutPickerValue();
    if (value != lutPickerSelection_)
        setLutPickerSelection(std::move(value));
}

void EditorWorkspaceController::applyDirtyRule()
{
    // The engine's revision signal is delivered synchronously, so the steps of a session
    // replacement all arrive while the mark is suppressed. The normalisation before an export
    // changes nothing the saved document would not get again on opening.
    if (!suppressDirtyMark_ && !engine_->normalisingTimeline())
        setProjectDirty(true);
}

// ---- files handed to the workspace ----

std::string EditorWorkspaceController::relinkMessage() const
{
    return EditorWorkspaceText::relinkMessage(openedWebTavlek_, relinkMissingNames_);
}

namespace {

// The file's extension in lower case, without its dot.
std::string lowercasedExtension(const std::filesystem::path& url)
{
    std::string extension = StringText::lowercased(url.extension().string());
    if (!extension.empty() && extension.front() == '.')
        extension.erase(extension.begin());
    return extension;
}

bool opensAsProject(const std::filesystem::path& url)
{
    const std::string extension = lowercasedExtension(url);
    return extension == "json" || extension == VelmoraProjectFile::fileExtension;
}

std::string joinedLines(const std::vector<std::string>& lines)
{
    std::string joined;
    for (const std::string& line : lines) {
        if (!line.empty())
            joined += (joined.empty() ? "" : "\n") + line;
    }
    return joined;
}

// Each file from `from` on that is still to be tried is named as not opened: the window holds
// the one project opened (or kept).
void nameNotOpened(const std::vector<std::filesystem::path>& urls, std::vector<std::string>& said, std::size_t from)
{
    for (std::size_t index = from; index < urls.size(); ++index) {
        if (said[index].empty())
            said[index] = "\u201C" + FileError::shownName(urls[index]) +
                          "\u201D was not opened: the window holds one project at a time. Open it with " +
                          (lowercasedExtension(urls[index]) == "json" ? "Import Web Job JSON\u2026" : "Open\u2026") +
                          " when you are ready for it.";
    }
}

} // namespace

void EditorWorkspaceController::handleOpenURL(const std::filesystem::path& url)
{
    handleOpenURLs({url});
}

void EditorWorkspaceController::handleOpenURLs(const std::vector<std::filesystem::path>& urls)
{
    std::vector<std::string> said(urls.size());
    std::optional<std::size_t> first;
    for (std::size_t index = 0; index < urls.size(); ++index) {
        if (opensAsProject(urls[index])) {
            first = first.value_or(index);
            continue;
        }
        // Said, not ignored: a window that stays empty gives no clue why the file is not in it.
        said[index] = "Could not open \u201C" + FileError::shownName(urls[index]) + "\u201D: only a project (." +
                      std::string(VelmoraProjectFile::fileExtension) +
                      ") or a job JSON file (.json) opens this way. Bring media files in with Import in the media pool.";
    }
    if (!first) {
        if (const std::string words = joinedLines(said); !words.empty())
            reportError(words);
        return;
    }
    // The files not opened are named whether or not the project in the window is kept: kept, it
    // is the one project the window holds.
    confirmDiscard(
        DiscardReason::open, [this, urls, said, first = *first] { openFirstThatOpens(urls, said, first); },
        [this, urls, said, first = *first]() mutable {
            nameNotOpened(urls, said, first + 1);
            const std::string words = joinedLines(said);
            if (!words.empty())
                reportError(words);
        });
}

void EditorWorkspaceController::openFirstThatOpens(std::vector<std::filesystem::path> urls,
                                                   std::vector<std::string> said, std::size_t next)
{
    while (next < urls.size() && !said[next].empty())
        ++next;
    if (next == urls.size()) {
        reportError(joinedLines(said));
        return;
    }
    const QPointer<EditorWorkspaceController> self(this);
    openFile(
        urls[next],
        [self, urls, said, next]() mutable {
            if (!self)
                return;
            nameNotOpened(urls, said, next + 1);
            const std::string words = joinedLines(said);
            if (!words.empty())
                self->reportError(words);
        },
        [self, urls, said, next](std::string refusal) mutable {
            if (!self)
                return;
            said[next] = std::move(refusal);
            self->openFirstThatOpens(std::move(urls), std::move(said), next + 1);
        });
}

// The relink alert rises once the opened project's sources are looked up (reportSourcesFound)
// whenever some lack their file, whether or not the media-folder prompt is allowed.
void EditorWorkspaceController::loadSession(const std::filesystem::path& url, bool /*promptForMediaFolderIfNeeded*/)
{
    const QPointer<EditorWorkspaceController> self(this);
    openFile(url, [] {}, [self](std::string refusal) {
        if (self)
            self->reportError(refusal);
    });
}

void EditorWorkspaceController::openFile(const std::filesystem::path& url, std::function<void()> opened,
                                         std::function<void(std::string)> refused)
{
    struct Loaded {
        std::shared_ptr<EditSession> session;
        std::filesystem::path folder;
    };
    // Reading the document (megabytes of JSON for a long timeline) and choosing its media folder
    // (up to four folders, each of which may hold tens of thousands of files) is the engine
    // worker's job, never the main thread's: the window paints meanwhile, and the build starts as
    // soon as the answer is back.
    const auto read = [url] {
        Loaded loaded{std::make_shared<EditSession>(EditSession::load(url)), {}};
        VelmoraProjectFile::applyFilenameToProjectName(*loaded.session, url, false);
        loaded.session->ensureDefaultTimelineIfNeeded();
        loaded.folder = ProjectMediaFolder::resolveForSession(url, loaded.session->mediaFolder,
                                                              projectName(loaded.session.get()));
        return loaded;
    };
    const std::uint64_t opening = ++openingNumber_;
    const QPointer<EditorWorkspaceController> self(this);
    auto take = [self, opening, url, before = std::weak_ptr<EditSession>(engine_->session()),
                 hadSession = engine_->session() != nullptr, opened = std::move(opened)](const Loaded& loaded) {
        if (!self || opening != self->openingNumber_ || self->engine_->session() != before.lock() ||
            (hadSession && before.expired()))
            return;
        self->takeLoadedSession(loaded.session, url, loaded.folder);
        opened();
    };
    // In the handler of the reading's failure: its words.
    const auto failed = [] {
        std::string failure;
        try {
            throw;
        } catch (const Error& error) {
            failure = error.localizedDescription();
        } catch (const std::exception& error) {
            failure = error.what();
        }
        return failure;
    };
    if (!engine_->hasBackgroundWorker()) {
        std::optional<Loaded> loaded;
        try {
            loaded = read();
        } catch (const std::exception&) {
            refused(failed());
            return;
        }
        take(*loaded);
        return;
    }
    engine_->runInBackground([read, take = std::move(take), failed, refused = std::move(refused),
                              queue = mainQueue_, self, opening] {
        std::string failure;
        try {
            queue->post([take, loaded = read()] { take(loaded); });
            return;
        } catch (const std::exception&) {
            failure = failed();
        }
        // Said unless another opening has been asked for since.
        queue->post([self, opening, refused, failure] {
            if (self && opening == self->openingNumber_)
                refused(failure);
        });
    });
}

void EditorWorkspaceController::takeLoadedSession(const std::shared_ptr<EditSession>& session,
                                                  const std::filesystem::path& url,
                                                  const std::filesystem::path& folder)
{
    setSuppressDirtyMark(true);
    leavePreviousProject();
    const bool projectDocument = DesktopJobTool::isProjectDocument(session->tool);
    setSessionURL(url, projectDocument);
    setOpenedWebTavlek(session->tool == browserProjectTool);
    setMediaFolderURL(folder);
    attachLoadedSession(session, url, folder);
    resetLayoutTrackCounts(*session);
    setTimelineZoomUI(TimelineZoom::ppsToUI(engine_->activeTimelinePixelsPerSecond()));
    // Another program's file is not where the project is kept: it is not saved until Save puts it
    // somewhere of its own.
    setProjectDirty(!projectDocument);
    setSuppressDirtyMark(false);
}

void EditorWorkspaceController::attachLoadedSession(const std::shared_ptr<EditSession>& session,
                                                    const std::filesystem::path& sessionFile,
                                                    const std::filesystem::path& mediaFolder)
{
    if (session->tool == DesktopJobTool::browserExport) {
        session->normalizeWebDesktopImportLayout();
        engine_->setGradePreviewEnabled(false);
    }
    // The build starts at once; the files its lookup of the media folder finds (on its worker:
    // a folder may hold tens of thousands of files) tell what the opening reports.
    const QPointer<EditorWorkspaceController> self(this);
    engine_->openSession(session, mediaFolder, sessionFile,
                         [self, opened = std::weak_ptr<EditSession>(session), mediaFolder](
                             MediaResolver::PreviewReadiness readiness) {
                             if (const std::shared_ptr<EditSession> session = opened.lock(); self && session)
                                 self->reportSourcesFound(session, mediaFolder, std::move(readiness));
                         });
}

void EditorWorkspaceController::reportSourcesFound(const std::shared_ptr<EditSession>& session,
                                                   const std::filesystem::path& mediaFolder,
                                                   MediaResolver::PreviewReadiness readiness)
{
    setRelinkMissingNames(std::move(readiness.unresolvedSourceLabels));
    if (!relinkMissingNames_.empty())
        setShowRelinkMedia(true);
    const EditSession::Timeline* timeline = session->findActiveTimeline();
    const bool hasClips = timeline && !timeline->clips.empty();

    // A project whose pictures resolve to no file has its build dropped.
    if (!readiness.canBuildPreview) {
        engine_->dropPreview();
        if (hasClips || !session->sources.empty())
            engine_->setStatus(openedWebTavlek_ ? "Web project loaded — relink media folder with your original clips"
                                                : "Project loaded — relink media folder with your clip files");
        else
            engine_->setStatus("Project loaded — import media with Import in Media Pool");
        return;
    }
    setImportHintDismissed(true);
    // The files shown in place of missing ones are the engine's to name, in front of these words.
    if (!relinkMissingNames_.empty()) {
        engine_->setStatus("Project loaded — " +
                           NumberText::integer(static_cast<std::int64_t>(relinkMissingNames_.size())) +
                           " clip(s) need relinking");
    }
    // No pictures until the media is relinked: a card would otherwise keep a stand-in's picture
    // and rate once the real file is back.
    if (!relinkMissingNames_.empty())
        return;
    std::string status = openedWebTavlek_ ? "Web project loaded" : "Project loaded";
    status += session->tool == DesktopJobTool::browserExport
                  ? " — Grade OFF · overlays are not in JSON; if preview shows graphics, open Source in a video "
                    "player (camera originals only)"
                  : " — media ready";
    engine_->setStatus(status);
    whenPictureShownMakePosters(session, mediaFolder, std::move(readiness.files));
}

void EditorWorkspaceController::whenPictureShownMakePosters(const std::shared_ptr<EditSession>& session,
                                                            const std::filesystem::path& mediaFolder,
                                                            MediaResolver::SourceFileMap files)
{
    // Poster frames decode a frame of every source: they wait for the first picture rather than
    // compete with it for the cores (and, for a huge frame, for memory), and then read the
    // headers the build read.
    const QPointer<EditorWorkspaceController> self(this);
    engine_->whenPictureShown([self, opened = std::weak_ptr<EditSession>(session), mediaFolder, files = std::move(files)] {
        const std::shared_ptr<EditSession> session = opened.lock();
        if (self && session && session == self->engine_->session())
            self->generateThumbnailsForSources(allSourceIds(*session), mediaFolder, &files);
    });
}

// ---- lanes ----

void EditorWorkspaceController::resetLayoutTrackCounts(const EditSession& session)
{
    const std::vector<EditSession::Clip>& clips = activeClips(&session);
    // No clip of a kind counts as lane 0: the floors of 2 and 1 apply. Both are counted before
    // either is set: the change signals reach views that may look at the session.
    const int videoTracks = std::max(highestLane(clips, &EditSession::isVisualTimelineClip), 2);
    const int audioTracks = std::max(highestLane(clips, &EditSession::isAudioClip), 1);
    setLayoutVideoTracks(videoTracks);
    setLayoutAudioTracks(audioTracks);
}

int EditorWorkspaceController::timelineLaneCount() const
{
    const std::vector<EditSession::Clip>& clips = activeClips(engine_->session().get());
    const int visual = std::max(highestLane(clips, &isPictureClip), 1);
    const int audio = std::max(highestLane(clips, &EditSession::isAudioClip), 1);
    return std::max(layoutVideoTracks_, visual) + std::max(layoutAudioTracks_, audio);
}

double EditorWorkspaceController::timelineStripHeight() const
{
    const int lanes = std::max(timelineLaneCount(), 3);
    return laneRowHeight_ * lanes + 2.0 * (lanes - 1) + 12;
}

void EditorWorkspaceController::clipDroppedOnTrack(int lane, bool video)
{
    if (video)
        setLayoutVideoTracks(std::min(std::max(lane, layoutVideoTracks_), maximumVideoLanes));
    else
        setLayoutAudioTracks(std::min(std::max(lane, layoutAudioTracks_), maximumAudioLanes));
}

} // namespace velmora
