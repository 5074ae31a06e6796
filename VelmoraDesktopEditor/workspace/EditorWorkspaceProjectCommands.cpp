// The project commands of the top bar: new, open panels, media folder and relink, save, save as,
// export return and the hand-off to the 10-bit Export workspace.

#include "workspace/EditorWorkspaceController.h"

#include <system_error>

#include <QPointer>

#include "controls/VelmoraWorkflowState.h"
#include "model/MediaFolderPath.h"
#include "model/MediaResolver.h"
#include "model/ProjectLUTResolver.h"
#include "model/ProjectMediaFolder.h"
#include "model/VelmoraProjectFile.h"
#include "platform/foundation/FileError.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/NumberText.h"
#include "platform/foundation/ShownText.h"
#include "platform/foundation/StringText.h"
#include "platform/foundation/Utf8.h"
#include "platform/ui/FilePanels.h"
#include "platform/ui/FileRevealer.h"
#include "workspace/EditorWorkspaceText.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

FilePanelRequest openPanel(void (*configure)(OpenPanelConfiguration&))
{
    OpenPanelConfiguration configuration;
    configure(configuration);
    FilePanelRequest request;
    request.kind = configuration.allowsMultipleSelection ? FilePanelRequest::Kind::openFiles
                                                         : FilePanelRequest::Kind::openFile;
    request.title = configuration.message;
    request.acceptLabel = configuration.prompt;
    request.extensions = configuration.allowedFileTypes;
    request.allowsOtherFileTypes = configuration.allowsOtherFileTypes;
    request.canChooseDirectories = configuration.canChooseDirectories;
    return request;
}

// Why a project cannot store `folder` (MediaFolderPath::storedText gave none), with what to do:
// inside the folder, a project always stores it (as ".").
std::string unstorableFolderReason(const fs::path& folder)
{
    std::string reason = "its path ends in white space, which a project cannot store";
    for (const fs::path& part : folder) {
        if (!Utf8::isValid(part.string())) {
            reason = "the name \u201C" + FileError::shownName(part) +
                     "\u201D in its path is not UTF-8 text, which a project cannot store";
            break;
        }
    }
    return reason + " (rename that folder, or save the project inside \u201C" + FileError::shownName(folder) +
           "\u201D";
}

} // namespace

void EditorWorkspaceController::runPanel(const FilePanelRequest& request, std::function<void(std::vector<fs::path>)> done)
{
    if (!filePanels_)
        return;
    // A kind of panel not used yet starts in the open project's folder.
    FilePanelRequest placed = request;
    if (placed.directory.empty() && sessionURL_)
        placed.directory = sessionURL_->parent_path();
    QPointer<EditorWorkspaceController> self(this);
    filePanels_->run(placed, [self, done = std::move(done)](std::vector<fs::path> chosen) {
        if (self)
            done(std::move(chosen));
    });
}

void EditorWorkspaceController::runPanelForOne(const FilePanelRequest& request,
                                               std::function<void(const fs::path&)> done)
{
    runPanel(request, [done = std::move(done)](std::vector<fs::path> chosen) {
        if (!chosen.empty())
            done(chosen.front());
    });
}

bool EditorWorkspaceController::reportingFailure(const std::function<void()>& work)
{
    try {
        work();
        return true;
    } catch (const Error& error) {
        reportError(error.localizedDescription());
    } catch (const std::exception& error) {
        reportError(error.what());
    }
    return false;
}

// ---- the title row ----

std::string EditorWorkspaceController::resolvedProjectDisplayName() const
{
    const std::string name = StringText::trimmed(projectName(engine_->session().get()).value_or(""));
    if (!name.empty() && !VelmoraProjectFile::isPlaceholderName(name))
        return shownText(name);
    if (const std::optional<fs::path> bound = boundProjectFile())
        return VelmoraProjectFile::displayName(*bound);
    return "Untitled Project";
}

std::string EditorWorkspaceController::versionBadgeText() const
{
    return EditorWorkspaceText::versionBadge(shortVersion_, buildNumber_);
}

// ---- new project ----

EditorWorkspaceController::DiscardQuestion EditorWorkspaceController::discardQuestionFor(DiscardReason reason)
{
    const char* discard = "Discard & New Project";
    switch (reason) {
    case DiscardReason::newProject: break;
    case DiscardReason::open: discard = "Discard & Open"; break;
    case DiscardReason::switchMode: discard = "Discard & Switch"; break;
    case DiscardReason::quit: discard = "Discard & Quit"; break;
    }
    return {reason, "Discard unsaved changes?", discard, "Cancel"};
}

void EditorWorkspaceController::confirmDiscard(DiscardReason reason, std::function<void()> proceed,
                                               std::function<void()> declined)
{
    if (!projectDirty_) {
        proceed();
        return;
    }
    afterDiscard_ = std::move(proceed);
    afterKeeping_ = std::move(declined);
    discardQuestion_ = discardQuestionFor(reason);
    emit discardQuestionChanged();
}

void EditorWorkspaceController::answerDiscardQuestion(bool discard)
{
    if (!discardQuestion_)
        return;
    // Taken first: what runs may ask again, or remove this workspace.
    std::function<void()> proceed = std::move(afterDiscard_);
    std::function<void()> declined = std::move(afterKeeping_);
    afterDiscard_ = nullptr;
    afterKeeping_ = nullptr;
    discardQuestion_.reset();
    emit discardQuestionChanged();
    if (discard && proceed)
        proceed();
    else if (!discard && declined)
        declined();
}

void EditorWorkspaceController::newProject()
{
    confirmDiscard(DiscardReason::newProject, [this] { startNewProject(); });
}

void EditorWorkspaceController::startNewProject()
{
    auto session = std::make_shared<EditSession>(EditSession::blankProject());
    setSuppressDirtyMark(true);
    leavePreviousProject();
    setSessionURL(std::nullopt);
    setImportHintDismissed(false);
    setRelinkMissingNames({});
    const fs::path folder = ensureProjectMediaFolder(session.get());
    setLayoutVideoTracks(2);
    setLayoutAudioTracks(1);
    engine_->closeCleanFeedWindow();
    engine_->adoptSession(session, folder, std::nullopt, true);
    resetLayoutTrackCounts(*session);
    setProjectDirty(false);
    setSuppressDirtyMark(false);
    engine_->setStatus("New project — use Import in Media Pool to add clips");
}

fs::path EditorWorkspaceController::ensureProjectMediaFolder(const EditSession* session)
{
    std::optional<std::string> name = projectName(session);
    if (!name)
        name = projectName(engine_->session().get());
    const fs::path folder = ProjectMediaFolder::ensureExists(ProjectMediaFolder::url(sessionURL_, name));
    setMediaFolderURL(folder);
    return folder;
}

// ---- opening and the media folder ----

void EditorWorkspaceController::pickSession()
{
    confirmDiscard(DiscardReason::open, [this] {
        runPanelForOne(openPanel(&VelmoraProjectFile::configureProjectOpenPanel),
                       [this](const fs::path& file) { loadSession(file, false); });
    });
}

void EditorWorkspaceController::pickWebJobJSON()
{
    confirmDiscard(DiscardReason::open, [this] {
        runPanelForOne(openPanel(&VelmoraProjectFile::configureWebJobOpenPanel),
                       [this](const fs::path& file) { loadSession(file, true); });
    });
}

void EditorWorkspaceController::pickMediaFolderForRelink()
{
    FilePanelRequest request;
    request.kind = FilePanelRequest::Kind::openFolder;
    request.title = relinkMissingNames_.empty()
                        ? "Select the folder that contains your source MP4/MOV files (e.g., DJI_….MP4)."
                        : "Select the folder containing the missing clips listed in the relink dialog.";
    request.acceptLabel = "Choose";
    runPanelForOne(request, [this](const fs::path& folder) {
        applyMediaFolder(MediaFolderPath::standardized(folder));
    });
}

void EditorWorkspaceController::applyMediaFolder(const fs::path& url)
{
    const std::shared_ptr<EditSession> session = engine_->session();
    // A folder the project's document cannot store is refused now rather than found unsaveable
    // (or lost) later.
    const std::optional<std::string> stored = MediaFolderPath::storedText(url, sessionURL_);
    if (session && !stored) {
        reportError("Could not use \u201C" + FileError::shownName(url) + "\u201D as the media folder: " +
                    unstorableFolderReason(url) + ", then choose it again).");
        return;
    }
    setMediaFolderURL(url);
    if (!session)
        return;
    session->mediaFolder = stored;
    setProjectDirty(true);
    MediaResolver::PreviewReadiness found = MediaResolver::previewReadiness(*session, url);
    setRelinkMissingNames(std::move(found.unresolvedSourceLabels));
    reloadPreview();
    if (relinkMissingNames_.empty()) {
        setShowRelinkMedia(false);
        setImportHintDismissed(true);
        engine_->setStatus("Media linked — timeline ready");
    } else {
        // The files shown in place of missing ones are the engine's to name, in front of these.
        engine_->setStatus(NumberText::integer(static_cast<std::int64_t>(relinkMissingNames_.size())) +
                           " clip(s) still missing — check Media Folder");
        setShowRelinkMedia(true);
        return;
    }
    generateThumbnailsForSources(allSourceIds(*session), url, &found.files);
}

// ---- saving ----

void EditorWorkspaceController::saveProject()
{
    if (!engine_->session())
        return;
    // Only this editor's own project document is written over; any other file the project was
    // opened from asks for a place, as a new project does.
    if (const std::optional<fs::path> bound = boundProjectFile())
        persistProject(*bound, false);
    else
        saveProjectAs();
}

void EditorWorkspaceController::saveProjectAs()
{
    const std::shared_ptr<EditSession>& session = engine_->session();
    if (!session)
        return;
    FilePanelRequest request;
    request.kind = FilePanelRequest::Kind::saveFile;
    request.extensions = {std::string(VelmoraProjectFile::fileExtension)};
    request.suggestedName = VelmoraProjectFile::defaultSaveFilename(*session);
    runPanelForOne(request, [this](const fs::path& file) { finishSaveAs(file); });
}

void EditorWorkspaceController::finishSaveAs(const fs::path& chosen)
{
    const fs::path url = VelmoraProjectFile::normalizedURL(chosen);
    // The panel asked before replacing the file it named, not the one the extension makes of
    // it: that one may be another project, and is left alone unless it is this project's own.
    std::error_code ec;
    const std::optional<fs::path> bound = boundProjectFile();
    if (url != chosen && fs::exists(url, ec) && !(bound && fs::equivalent(url, *bound, ec))) {
        reportError("A file named “" + FileError::shownName(url) +
                    "” already exists in this folder. To replace it, choose that file; otherwise enter another "
                    "name.");
        return;
    }
    // Nothing is bound, renamed, created or moved to another media folder unless the document is
    // written: the title and later saves never name a file that was not saved.
    const fs::path folder = mediaFolderForSaveAs(url);
    if (!persistProject(url, true, folder))
        return;
    setSessionURL(url);
    setMediaFolderURL(ProjectMediaFolder::ensureExists(folder));
}

fs::path EditorWorkspaceController::mediaFolderForSaveAs(const fs::path& file) const
{
    const std::shared_ptr<EditSession>& session = engine_->session();
    // Pointing the project at an empty folder would lose its media: a folder that holds some of
    // the project's files stays the project's media folder wherever the document goes.
    if (session && !session->sources.empty() && mediaFolderURL_) {
        std::error_code ec;
        if (fs::is_directory(*mediaFolderURL_, ec) &&
            MediaResolver::unresolvedSourceLabels(*session, *mediaFolderURL_).size() < session->sources.size())
            return *mediaFolderURL_;
    }
    // Named as the project will be once the file names it.
    EditSession named;
    named.project = session ? session->project : std::nullopt;
    VelmoraProjectFile::applyFilenameToProjectName(named, file, true);
    return ProjectMediaFolder::url(file, projectName(&named));
}

void EditorWorkspaceController::persistProject(const fs::path& url, bool forceNameFromFile)
{
    persistProject(url, forceNameFromFile, mediaFolderURL_);
}

bool EditorWorkspaceController::persistProject(const fs::path& url, bool forceNameFromFile,
                                               const std::optional<fs::path>& mediaFolder)
{
    const std::shared_ptr<EditSession> session = engine_->session();
    if (!session)
        return true;
    // The name and media folder are written into the session for the document; a failed write
    // takes both back before anything shows them.
    const std::optional<EditSession::Project> projectBefore = session->project;
    const std::optional<std::string> folderBefore = session->mediaFolder;
    VelmoraProjectFile::applyFilenameToProjectName(*session, url, forceNameFromFile);
    const std::optional<std::string> stored =
        mediaFolder ? MediaFolderPath::storedText(*mediaFolder, url) : session->mediaFolder;
    // A folder the document cannot store is left out of it rather than failing the save (a
    // project moved by Save As away from a folder stored relative to it): the save is said so.
    if (mediaFolder)
        session->mediaFolder = stored;
    if (!reportingFailure([&] { session->saveProject(url, stored); })) {
        session->project = projectBefore;
        session->mediaFolder = folderBefore;
        return false;
    }
    engine_->applyProjectNameFromFile(url, forceNameFromFile);
    setProjectDirty(false);
    std::string status = "Saved " + FileError::shownName(url);
    if (mediaFolder && !stored)
        status += " \u2014 media folder \u201C" + FileError::shownName(*mediaFolder) + "\u201D not stored: " +
                  unstorableFolderReason(*mediaFolder) + ", then choose it with Media Folder\u2026)";
    engine_->setStatus(status);
    return true;
}

// ---- export return and hand-off ----

void EditorWorkspaceController::readoptSession(bool reloadPreview)
{
    const bool wasSuppressed = suppressDirtyMark_;
    setSuppressDirtyMark(true);
    if (reloadPreview)
        engine_->reloadSession(engine_->session(), mediaFolderURL_, sessionURL_);
    else
        engine_->adoptSession(engine_->session(), mediaFolderURL_, sessionURL_, false);
    setSuppressDirtyMark(wasSuppressed);
}

void EditorWorkspaceController::leavePreviousProject()
{
    closeSourceViewer();
    if (showGradeInspector_)
        closeGradeInspector();
    engine_->setSelectedClipId(std::nullopt);
    engine_->setFocusClipId(std::nullopt);
    setLutPickerSelection(std::string(ProjectLUTResolver::noLutSentinel));
    engine_->setGradePreviewEnabled(false);
    engine_->dropPreview();
    engine_->clearUndoHistory();
}

void EditorWorkspaceController::exportReturn()
{
    const std::shared_ptr<EditSession> session = engine_->session();
    if (!session)
        return;
    session->syncSourcesFromTimelines();
    session->normalizeAllClipTiming();
    // Writing a copy for the browser editor saves nothing: the unsaved-changes mark stays.
    readoptSession(false);

    std::string base = "desktop_project";
    if (sessionURL_)
        base = VelmoraProjectFile::displayName(*sessionURL_);
    else if (const auto name = projectName(session.get()))
        base = *name;
    FilePanelRequest request;
    request.kind = FilePanelRequest::Kind::saveFile;
    request.extensions = {"json"};
    request.suggestedName = base + "_edit_return.json";
    runPanelForOne(request, [this](const fs::path& file) { finishExportReturn(file); });
}

void EditorWorkspaceController::finishExportReturn(const fs::path& chosen)
{
    const std::shared_ptr<EditSession> session = engine_->session();
    if (!session)
        return;
    session->syncSourcesFromTimelines();
    session->normalizeAllClipTiming();
    // The copy stores the media folder as a project document beside it would, or leaves it out;
    // the session keeps it as its own document stores it.
    const std::optional<std::string> kept =
        mediaFolderURL_ ? MediaFolderPath::storedText(*mediaFolderURL_, sessionURL_) : session->mediaFolder;
    const std::optional<std::string> stored =
        mediaFolderURL_ ? MediaFolderPath::storedText(*mediaFolderURL_, chosen) : session->mediaFolder;
    if (mediaFolderURL_)
        session->mediaFolder = stored;
    const bool written = reportingFailure([&] { session->saveReturnCopy(chosen, stored); });
    session->mediaFolder = kept;
    if (!written)
        return;
    readoptSession(false);
    if (!fileRevealer_)
        return;
    // The file is written whether or not anything can show it; the status line says where.
    QPointer<EditorWorkspaceController> self(this);
    fileRevealer_->reveal(chosen, [self, name = FileError::shownName(chosen)] {
        if (self)
            self->engine_->setStatus("Saved " + name + " — no file manager is available to show it");
    });
}

void EditorWorkspaceController::handoffToExportTab()
{
    if (!engine_->session())
        return;
    // The switch drops this workspace with its project: the job is written only once the user
    // let the unsaved changes go.
    confirmDiscard(DiscardReason::switchMode, [this] { sendTimelineToExportTab(); });
}

void EditorWorkspaceController::sendTimelineToExportTab()
{
    const std::shared_ptr<EditSession> session = engine_->session();
    if (!session)
        return;
    std::unique_ptr<ClaimedScratchFile> job;
    // The files the monitor shows go with the job, so that the 10-bit workspace's preview and
    // export read them; the job names them too, for readers that look names up.
    std::optional<ResolvedMedia> shown = engine_->resolvedMedia();
    // And the LUTs as the monitor grades with them, where the engine has decided them all.
    if (shown)
        shown->luts = engine_->resolvedLuts(shown->mediaFolder, engine_->lutSessionFileURL());
    if (!reportingFailure([&] {
            job = VelmoraWorkflowState::writeHandoffJob(fs::temp_directory_path(),
                                                        session->renderJobText(shown ? &shown->files : nullptr));
        }))
        return;
    // The shell replaces this workspace once control is back in the event loop: the engine is
    // still here for the status line.
    workflow_->openExportTab(std::move(job), mediaFolderURL_, std::move(shown));
    engine_->setStatus("Sent timeline to 10-bit Export tab");
}

} // namespace velmora
