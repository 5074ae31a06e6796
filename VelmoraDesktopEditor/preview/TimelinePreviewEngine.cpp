// The engine's published state, taking over a session, project settings and the clean feed.

#include "preview/TimelinePreviewEngine.h"

#include <algorithm>
#include <cmath>

#include <QScopedValueRollback>

#include "editing/PreviewFrameTiming.h"
#include "grading/GradeCompositionContext.h"
#include "grading/PreviewFrameGrader.h"
#include "model/MediaResolver.h"
#include "model/VelmoraProjectFile.h"
#include "platform/dispatch/QtMainQueue.h"
#include "platform/foundation/NumberText.h"

namespace velmora {

namespace {

TimelinePreviewEngine::Services withDefaults(TimelinePreviewEngine::Services services)
{
    if (!services.mainQueue) {
        services.mainQueue = std::make_shared<QtMainQueue>();
    }
    if (!services.clock) {
        services.clock = systemClock();
    }
    return services;
}

} // namespace

TimelinePreviewEngine::TimelinePreviewEngine(QObject* parent) : TimelinePreviewEngine(Services{}, parent) {}

TimelinePreviewEngine::TimelinePreviewEngine(Services services, QObject* parent) : QObject(parent)
{
    services = withDefaults(std::move(services));
    mainQueue_ = std::move(services.mainQueue);
    clock_ = std::move(services.clock);
    compositionBuilder_ = std::move(services.compositionBuilder);
    readabilityCheck_ = std::move(services.readabilityCheck);
    scrubAudio_ = std::make_shared<TimelineScrubAudio>(mainQueue_, std::move(services.openScrubAudioPlayer));
    runInBackground_ = services.runInBackground;
    lutNames_ = std::make_unique<LutNameCatalog>(mainQueue_, std::move(services.runInBackground),
                                                 [this] {
                                                     // The names offered now are looked up too.
                                                     lookUpMissingClipLuts();
                                                     emit lutNamesChanged();
                                                 });
}

TimelinePreviewEngine::~TimelinePreviewEngine()
{
    if (rebuildWorkItem_) {
        rebuildWorkItem_->cancel();
    }
    removeTimeObserver();
}

// ---- published state ----

void TimelinePreviewEngine::setIsPlaying(bool value)
{
    isPlaying_ = value;
    emit isPlayingChanged();
}

void TimelinePreviewEngine::setPlayheadSeconds(double value)
{
    playheadSeconds_ = value;
    emit playheadSecondsChanged();
}

void TimelinePreviewEngine::setPlaybackMotionSeconds(double value)
{
    playbackMotionSeconds_ = value;
    emit playbackMotionSecondsChanged();
}

void TimelinePreviewEngine::setDurationSeconds(double value)
{
    durationSeconds_ = value;
    emit durationSecondsChanged();
}

void TimelinePreviewEngine::setLastError(std::optional<std::string> value)
{
    lastError_ = std::move(value);
    emit lastErrorChanged();
}

void TimelinePreviewEngine::setAvPlayer(std::shared_ptr<PreviewPlayer> player)
{
    avPlayer_ = std::move(player);
    emit avPlayerChanged();
}

void TimelinePreviewEngine::setGradePreviewEnabledValue(bool value)
{
    gradePreviewEnabled_ = value;
    emit gradePreviewEnabledChanged();
}

void TimelinePreviewEngine::setSelectedClipId(std::optional<std::string> id)
{
    selectedClipId_ = std::move(id);
    // The grade word speaks of the selected clip's LUT.
    redrawStatus();
    emit selectedClipIdChanged();
}

void TimelinePreviewEngine::setFocusClipId(std::optional<std::string> id)
{
    focusClipId_ = std::move(id);
    emit focusClipIdChanged();
}

void TimelinePreviewEngine::setTimelineRevision(int revision)
{
    timelineRevision_ = revision;
    // Every change of the timeline or of which one is shown moves the revision: a selection of a
    // clip that left the screen goes before the views hear of it.
    forgetSelectionOutOfSight();
    emit timelineRevisionChanged();
}

void TimelinePreviewEngine::setRippleEditEnabled(bool enabled)
{
    rippleEditEnabled_ = enabled;
    emit rippleEditEnabledChanged();
}

void TimelinePreviewEngine::setMagneticSnapEnabled(bool enabled)
{
    magneticSnapEnabled_ = enabled;
    emit magneticSnapEnabledChanged();
}

void TimelinePreviewEngine::setSession(std::shared_ptr<EditSession> session)
{
    session_ = std::move(session);
    emit sessionChanged();
}

void TimelinePreviewEngine::setUnlinkedMediaStems(std::set<std::string> stems)
{
    unlinkedMediaStems_ = std::move(stems);
    emit unlinkedMediaStemsChanged();
}

void TimelinePreviewEngine::setProjectLutReferenceValue(std::string value)
{
    projectLutReference_ = std::move(value);
    emit projectLutReferenceChanged();
}

void TimelinePreviewEngine::setProjectLutCube(std::string value)
{
    projectLutCube_ = std::move(value);
    emit projectLutCubeChanged();
}

void TimelinePreviewEngine::setOutputWidth(int value)
{
    outputWidth_ = value;
    emit outputWidthChanged();
}

void TimelinePreviewEngine::setOutputHeight(int value)
{
    outputHeight_ = value;
    emit outputHeightChanged();
}

void TimelinePreviewEngine::setGradePreviewRevision(int value)
{
    gradePreviewRevision_ = value;
    emit gradePreviewRevisionChanged();
}

void TimelinePreviewEngine::setPreviewFadeOpacity(double value)
{
    previewFadeOpacity_ = value;
    emit previewFadeOpacityChanged();
}

void TimelinePreviewEngine::setGradePreviewInteractive(bool value)
{
    gradePreviewInteractive_ = value;
    emit gradePreviewInteractiveChanged();
}

void TimelinePreviewEngine::setPlayhead(double seconds)
{
    setPlaybackMotionSeconds(seconds);
    setPlayheadSeconds(seconds);
}

void TimelinePreviewEngine::placePlayhead(double seconds)
{
    const double t = snapToFrameGrid(seconds);
    setPlayhead(t);
    updatePreviewFadeOpacity(t);
}

void TimelinePreviewEngine::republishSession()
{
    emit sessionChanged();
    // A clip's LUT reference may have changed, and with it what the status line warns of.
    refreshStatus();
}

void TimelinePreviewEngine::bumpTimelineRevision()
{
    setTimelineRevision(timelineRevision_ + 1);
}

void TimelinePreviewEngine::bumpGradePreviewRevision()
{
    setGradePreviewRevision(gradePreviewRevision_ + 1);
}

void TimelinePreviewEngine::bumpTimelineScrollRequest(TimelineScrollAnchor anchor)
{
    timelineScrollAnchor_ = anchor;
    ++timelineScrollRequest_;
    emit timelineScrollRequestChanged();
}

std::vector<EditSession::Marker> TimelinePreviewEngine::activeMarkers() const
{
    if (!session_) {
        return {};
    }
    const auto index = session_->activeTimelineIndex();
    return index ? session_->timelines[*index].markers : std::vector<EditSession::Marker>{};
}

// ---- taking over a session ----

void TimelinePreviewEngine::takeCanvasFromProject()
{
    const std::optional<EditSession::Project>& project = session_->project;
    setOutputWidth(project && project->width ? *project->width : 1920);
    setOutputHeight(project && project->height ? *project->height : 1080);
}

void TimelinePreviewEngine::load(std::shared_ptr<EditSession> session, const std::filesystem::path& mediaFolder,
                                 const std::optional<std::filesystem::path>& sessionFile)
{
    if (!session) {
        return;
    }
    session->normalizeAllClipTiming();
    if (session != session_) {
        forgetWordsOfAnotherProject();
    }
    session_ = std::move(session);
    mediaFolderURL_ = mediaFolder;
    if (sessionFile) {
        sessionFileURL_ = sessionFile;
    }
    refreshProjectLUT(mediaFolder);
    takeCanvasFromProject();
    rebuildComposition(false, std::nullopt, false);
    refreshLutNames();
    // Published once the build is under way: the views read the whole timeline on this signal
    // (tens of milliseconds for thousands of clips), which the build need not wait for.
    emit sessionChanged();
}

void TimelinePreviewEngine::forgetWordsOfAnotherProject()
{
    // What was said of the project before, and the LUT the user chose there, are not this one's.
    luts_.lutWarning.reset();
    luts_.pausedAt.reset();
    statusLine_.forgetNews();
}

void TimelinePreviewEngine::openSession(std::shared_ptr<EditSession> session, const std::filesystem::path& mediaFolder,
                                        const std::optional<std::filesystem::path>& sessionFile,
                                        std::function<void(MediaResolver::PreviewReadiness)> onSourcesResolved)
{
    ++sourcesResolvedNumber_;
    onSourcesResolved_ = std::move(onSourcesResolved);
    sourcesResolvedFor_ = session;
    takeSession(std::move(session), mediaFolder, sessionFile, false, false, true);
}

void TimelinePreviewEngine::answerSourcesResolved(std::uint64_t number, MediaResolver::PreviewReadiness readiness)
{
    if (number != sourcesResolvedNumber_ || !onSourcesResolved_ || !session_ ||
        sourcesResolvedFor_.lock() != session_) {
        return;
    }
    // Taken first: the answer may open another project.
    const std::function<void(MediaResolver::PreviewReadiness)> answer = std::move(onSourcesResolved_);
    onSourcesResolved_ = nullptr;
    answer(std::move(readiness));
}

void TimelinePreviewEngine::resolveSourcesWithoutBuild()
{
    if (!session_ || !mediaFolderURL_) {
        return;
    }
    const QPointer<TimelinePreviewEngine> self(this);
    const std::uint64_t number = sourcesResolvedNumber_;
    // The map is kept as a build's would be: the engine's answer until a build makes another.
    const auto answer = [self, number, resolved = ++sourceFiles_.resolvedNumber,
                         owner = std::weak_ptr<const EditSession>(session_)](const EditSession& session,
                                                                             const std::filesystem::path& folder) {
        MediaResolver::PreviewReadiness readiness = MediaResolver::previewReadiness(session, folder);
        return [self, number, resolved, owner, folder, inputs = MediaResolver::resolutionInputs(session),
                readiness = std::move(readiness)]() mutable {
            if (!self) {
                return;
            }
            std::optional<MediaResolver::SourceFileMap> files;
            if (!readiness.files.empty()) {
                files = readiness.files;
            }
            self->keepResolvedFiles(resolved, owner, folder, std::move(inputs), std::move(files),
                                    MediaResolver::standInText(readiness.standIns));
            self->answerSourcesResolved(number, std::move(readiness));
        };
    };
    if (!runInBackground_) {
        mainQueue_->post(answer(*session_, *mediaFolderURL_));
        return;
    }
    runInBackground_([answer, queue = mainQueue_, session = std::make_shared<const EditSession>(*session_),
                      folder = *mediaFolderURL_] { queue->post(answer(*session, folder)); });
}

void TimelinePreviewEngine::adoptSession(std::shared_ptr<EditSession> session,
                                         const std::optional<std::filesystem::path>& mediaFolder,
                                         const std::optional<std::filesystem::path>& sessionFile, bool reloadPreview)
{
    takeSession(std::move(session), mediaFolder, sessionFile, reloadPreview, reloadPreview);
}

void TimelinePreviewEngine::reloadSession(std::shared_ptr<EditSession> session,
                                          const std::optional<std::filesystem::path>& mediaFolder,
                                          const std::optional<std::filesystem::path>& sessionFile)
{
    // Another session than the open one is a project taken, whose history is not this one's.
    const bool sameSession = session && session == session_;
    takeSession(std::move(session), mediaFolder, sessionFile, true, !sameSession);
}

void TimelinePreviewEngine::takeSession(std::shared_ptr<EditSession> session,
                                        const std::optional<std::filesystem::path>& mediaFolder,
                                        const std::optional<std::filesystem::path>& sessionFile, bool reloadPreview,
                                        bool forgetHistory, bool buildFirst)
{
    if (!session) {
        return;
    }
    const bool sameSession = session == session_;
    const bool firstFolder = !mediaFolderURL_.has_value();
    if (!sameSession) {
        forgetWordsOfAnotherProject();
    }
    // Another project, another folder or a reload (the folder's files may have changed): the
    // map of files waits for the build's, and nothing hands on the old one meanwhile.
    if (!sameSession || mediaFolder != mediaFolderURL_ || reloadPreview || buildFirst) {
        sourceFiles_.resolved.reset();
    }
    session->ensureDefaultTimelineIfNeeded();
    session->normalizeAllClipTiming();
    if (buildFirst && mediaFolder) {
        // The build copies the session and works on its worker; the views reading the whole
        // timeline on the publication below (tens of milliseconds for thousands of clips) and
        // whatever the caller does next need not wait before it starts.
        session_ = session;
        mediaFolderURL_ = mediaFolder;
        if (sessionFile) {
            sessionFileURL_ = sessionFile;
        }
        requestBuild(false, std::nullopt, false, true);
    }
    setSession(session);
    if (sessionFile) {
        sessionFileURL_ = sessionFile;
    }
    refreshProjectLUT(mediaFolder);
    takeCanvasFromProject();

    // The timeline's own length: the read-out shows it before any build, and keeps it when the
    // build fails (a sound file missing leaves the sound clips on the timeline).
    const double duration = timelineLength(*session);
    setDurationSeconds(duration);

    bumpTimelineRevision();
    if (!sameSession) {
        emit anotherProjectTaken();
    }
    bumpGradePreviewRevision();
    PreviewFrameGrader::invalidateLutBaseCache();

    if (forgetHistory) {
        setUnlinkedMediaStems({});
        clearUndoHistory();
    }

    const std::string summary = timelineClipSummary(*session);
    if (!mediaFolder) {
        dropPreview();
        refreshLutNames();
        setStatus("Loaded " + summary + " — choose Media Folder…");
        return;
    }
    if (!reloadPreview) {
        mediaFolderURL_ = mediaFolder;
        refreshLutNames();
        // An opening's build, asked for above, says what it does.
        if (!buildFirst) {
            setStatus(firstFolder ? "Loaded " + summary
                                  : "Updated media pool (" + NumberText::integer(static_cast<std::int64_t>(
                                        session->sources.size())) + " sources)");
        }
        return;
    }
    // A build under way for the same folder counts as a preview that exists, and the open project
    // taken again (poster frames stored, a rate answered) keeps its playhead even without one: a
    // result landing in the background never sends the playhead back to the start, where the
    // next cut would go.
    if (mediaFolderURL_ && (avPlayer_ || compositionBuilding_ || sameSession) &&
        MediaFolderPath::standardized(*mediaFolderURL_) == MediaFolderPath::standardized(*mediaFolder)) {
        reloadComposition(std::nullopt);
        refreshLutNames();
    } else {
        load(session, *mediaFolder, std::nullopt); // lists the LUT names itself
    }
    // The taking says what it loaded in place of the news before it, which spoke of the session
    // as it was (a taking without reload says "Loaded …" too: named once).
    if (hasNothingToPreview()) {
        setStatus("Loaded " + summary);
    } else {
        statusLine_.forgetNews();
        statusLine_.announceBuild("Loaded " + summary + " — building preview…");
    }
}

void TimelinePreviewEngine::dropPreview()
{
    // Neither a build still running for the session shown before nor a rebuild still waiting for
    // an edit of it may install a player now.
    ++rebuildGeneration_;
    compositionBuilding_ = false;
    if (rebuildWorkItem_) {
        rebuildWorkItem_->cancel();
    }
    stopPlayer();
    setAvPlayer(nullptr);
    previewAudioBusByClipId_.clear();
    setIsPlaying(false);
    setPlaybackMotionSeconds(0);
    setPlayheadSeconds(0);
    sourceFiles_.headers.clear();
    sourceFiles_.headersReadForMap.reset();
    releaseWorkAfterPicture();
}

void TimelinePreviewEngine::whenPictureShown(std::function<void()> work)
{
    if (!work) {
        return;
    }
    if (!awaitingPicture_) {
        work();
        return;
    }
    workAfterPicture_.push_back(std::move(work));
}

void TimelinePreviewEngine::releaseWorkAfterPicture()
{
    awaitingPicture_ = false;
    // Taken first: the work may ask for more.
    std::vector<std::function<void()>> waiting = std::move(workAfterPicture_);
    workAfterPicture_.clear();
    for (const std::function<void()>& work : waiting) {
        work();
    }
}

std::string TimelinePreviewEngine::timelineClipSummary(const EditSession& session)
{
    const auto index = session.activeTimelineIndex();
    if (!index) {
        return "0 clips";
    }
    const EditSession::Timeline& timeline = session.timelines[*index];
    const std::string label = timeline.name ? *timeline.name : timeline.id;
    std::int64_t videoCount = 0;
    std::int64_t audioCount = 0;
    for (const EditSession::Clip& clip : timeline.clips) {
        if (EditSession::normalizedClipType(clip.type, clip.name) == "video") {
            ++videoCount;
        }
        if (EditSession::isAudioClip(clip)) {
            ++audioCount;
        }
    }
    std::string summary = label + ": " + NumberText::integer(videoCount) + " video, " + NumberText::integer(audioCount)
        + " audio";
    if (session.timelines.size() >= 2) {
        summary += " (" + NumberText::integer(static_cast<std::int64_t>(session.timelines.size()))
            + " timelines in file)";
    }
    return summary;
}

void TimelinePreviewEngine::reloadComposition(std::optional<double> seekToSeconds)
{
    if (!session_ || !mediaFolderURL_) {
        return;
    }
    republishSession();
    rebuildComposition(!seekToSeconds.has_value(), seekToSeconds, false);
}

void TimelinePreviewEngine::applyProjectSettings(const std::string& name, int width, int height, double fps,
                                                 const std::string& lutReference)
{
    if (!session_) {
        return;
    }
    EditSession::Project project = session_->project.value_or(EditSession::Project{});
    project.name = name;
    project.width = width;
    project.height = height;
    project.fps = fps;
    session_->project = std::move(project);

    republishSession();
    setOutputWidth(width);
    setOutputHeight(height);
    setProjectLutReference(lutReference);
    bumpTimelineRevision();
    reloadComposition(std::nullopt);
    setStatus("Project settings updated — canvas " + NumberText::integer(width) + "×" + NumberText::integer(height));
}

void TimelinePreviewEngine::applyProjectNameFromFile(const std::filesystem::path& fileURL, bool forceFromFilename)
{
    if (!session_) {
        return;
    }
    VelmoraProjectFile::applyFilenameToProjectName(*session_, fileURL, forceFromFilename);
    republishSession();
}

void TimelinePreviewEngine::syncTimelineTrimAndPreview(bool reloadComposition)
{
    if (!session_) {
        return;
    }
    // The normalisation is what opening the saved document does too: no edit of the project.
    const QScopedValueRollback<bool> normalising(normalisingTimeline_, true);
    const bool changed = session_->normalizeAllClipTiming();
    republishSession();
    bumpTimelineRevision();
    PreviewFrameGrader::invalidateLutBaseCache();
    if (changed || reloadComposition) {
        if (mediaFolderURL_) {
            this->reloadComposition(playheadSeconds_);
        }
        return;
    }
    bumpGradePreviewRevision();
    emit objectWillChange();
}

double TimelinePreviewEngine::previewFrameRate() const
{
    return frameGrid().rate();
}

FrameGrid TimelinePreviewEngine::frameGrid() const
{
    std::optional<double> projectFps;
    if (session_ && session_->project) {
        projectFps = session_->project->fps;
    }
    return PreviewFrameTiming::pictureGrid(projectFps);
}

MediaTime TimelinePreviewEngine::pictureTime(double seconds) const
{
    if (!std::isfinite(seconds)) {
        return MediaTime::invalid();
    }
    const FrameGrid grid = frameGrid();
    return MediaTime(grid.frame.value, grid.frame.timescale).multipliedBy(std::max<std::int64_t>(grid.index(seconds), 0));
}

namespace {

// A length this close past a frame's start ends on it.
constexpr double kEndOnFrameTolerance = 1e-9;

} // namespace

double TimelinePreviewEngine::lastPlayheadSeconds() const
{
    if (!(durationSeconds_ > 0)) {
        return 0;
    }
    // The end itself, where the timeline shows nothing, when it lies on a frame's start or within
    // the export's last frame; the start of that last frame when the end lies inside a frame the
    // export does not write (a length rounded down to whole frames). The export counts the frames
    // of the timeline's own length, not of the player's item, whose duration is rounded up to its
    // time scale and so can reach into one frame more.
    const FrameGrid grid = frameGrid();
    const double written = session_ ? timelineLength(*session_) : durationSeconds_;
    const std::int64_t last = grid.lastFrame(written > 0 ? written : durationSeconds_);
    const std::int64_t atEnd = grid.index(durationSeconds_);
    if (atEnd <= last || grid.start(atEnd) >= durationSeconds_ - kEndOnFrameTolerance) {
        return durationSeconds_;
    }
    return std::clamp(grid.start(last), 0.0, durationSeconds_);
}

TimelineFrameMap TimelinePreviewEngine::frameMap() const
{
    const EditSession::Timeline* timeline = session_ ? session_->findActiveTimeline() : nullptr;
    if (!timeline) {
        return TimelineFrameMap({}, frameGrid(), {});
    }
    std::vector<ClipTiming> clips;
    clips.reserve(timeline->clips.size());
    for (const EditSession::Clip& clip : timeline->clips) {
        clips.push_back(ClipTiming::of(clip));
    }
    std::map<std::string, SourceVideo> sources = knownSourceVideo(clips);
    return TimelineFrameMap(std::move(clips), frameGrid(), std::move(sources));
}

ShownFrame TimelinePreviewEngine::shownFrameAt(double at, const std::optional<std::string>& preferredClipId) const
{
    const EditSession::Timeline* timeline = session_ ? session_->findActiveTimeline() : nullptr;
    if (!timeline) {
        return {};
    }
    // Asked on every playhead move: only the clips covering the frame, and the video clip each
    // of them follows (which the rule's continuation reads), are read, never copied all.
    const FrameGrid grid = frameGrid();
    const std::int64_t frame = grid.index(at);
    const std::vector<EditSession::Clip>& all = timeline->clips;
    std::vector<std::size_t> indexes;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const EditSession::Clip& clip = all[i];
        const auto [first, end] =
            TimelineFrameMap::framesOf(grid, clip.startTime.value_or(0), clip.duration.value_or(0));
        const std::string kind = EditSession::normalizedClipType(clip.type, clip.name);
        if (frame >= first && frame < end && (kind == "video" || kind == "image")) {
            indexes.push_back(i);
        }
    }
    const auto isVideo = [](const EditSession::Clip& clip) {
        return EditSession::normalizedClipType(clip.type, clip.name) == "video";
    };
    // Session clips have ids of their own, so each is found where it sorts: right after the
    // video clip of the latest (start, stored place) before its own.
    const std::size_t covering = indexes.size();
    for (std::size_t k = 0; k < covering; ++k) {
        const std::size_t i = indexes[k];
        if (!isVideo(all[i]) || !all[i].sourceId) {
            continue;
        }
        const double start = all[i].startTime.value_or(0);
        std::optional<std::size_t> previous;
        for (std::size_t j = 0; j < all.size(); ++j) {
            const double s = all[j].startTime.value_or(0);
            if (j == i || !(s < start || (s == start && j < i)) || !isVideo(all[j])) {
                continue;
            }
            const double best = previous ? all[*previous].startTime.value_or(0) : 0;
            if (!previous || s > best || (s == best && j > *previous)) {
                previous = j;
            }
        }
        if (previous && std::find(indexes.begin(), indexes.end(), *previous) == indexes.end()) {
            indexes.push_back(*previous);
        }
    }
    std::sort(indexes.begin(), indexes.end());
    std::vector<ClipTiming> clips;
    clips.reserve(indexes.size());
    std::optional<std::size_t> preferred;
    for (std::size_t i : indexes) {
        if (preferredClipId && all[i].id == *preferredClipId) {
            preferred = clips.size();
        }
        clips.push_back(ClipTiming::of(all[i]));
    }
    std::map<std::string, SourceVideo> sources = knownSourceVideo(clips);
    const TimelineFrameMap map(std::move(clips), grid, std::move(sources));
    // A preferred clip that does not cover the frame (a predecessor read only for its end) is
    // not asked for.
    if (preferred) {
        const auto [first, end] = TimelineFrameMap::framesOf(grid, map.clips()[*preferred].start,
                                                             map.clips()[*preferred].duration);
        if (frame < first || frame >= end) {
            preferred.reset();
        }
    }
    ShownFrame shown = preferred ? map.clipFrame(*preferred, frame) : map.frame(frame);
    if (shown.clip) {
        shown.clip = indexes[*shown.clip];
    }
    return shown;
}

double TimelinePreviewEngine::timelineLength(const EditSession& session)
{
    const EditSession::Timeline* timeline = session.findActiveTimeline();
    if (!timeline) {
        return 0;
    }
    double length = timeline->duration && std::isfinite(*timeline->duration) ? std::max(*timeline->duration, 0.0) : 0.0;
    for (const EditSession::Clip& clip : timeline->clips) {
        const std::string kind = EditSession::normalizedClipType(clip.type, clip.name);
        const double end = clip.startTime.value_or(0) + clip.duration.value_or(0);
        if ((kind == "video" || kind == "image" || kind == "audio") && std::isfinite(end)) {
            length = std::max(length, end);
        }
    }
    return length;
}

double TimelinePreviewEngine::snapToFrameGrid(double seconds) const
{
    return frameGrid().snap(seconds);
}

// ---- clean feed ----

void TimelinePreviewEngine::openCleanFeedWindow()
{
    if (cleanFeedWindowOpener_) {
        cleanFeedWindowOpener_(*this);
    }
}

void TimelinePreviewEngine::closeCleanFeedWindow()
{
    if (cleanFeedController_) {
        cleanFeedController_->performClose();
    }
}

void TimelinePreviewEngine::toggleCleanFeedWindow()
{
    if (cleanFeedController_ && cleanFeedController_->isWindowVisible()) {
        cleanFeedController_->performClose();
    } else {
        openCleanFeedWindow();
    }
}

} // namespace velmora
