// Importing media: the panels, copying into the media folder, new sources with their size, rate
// and picture, and the frame-rate question afterwards.

#include "workspace/EditorWorkspaceController.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <utility>

#include <QPointer>

#include "model/DesktopJobTool.h"
#include "model/FrameRateLimit.h"
#include "model/MediaFolderPath.h"
#include "model/MediaResolver.h"
#include "model/ProjectMediaFolder.h"
#include "platform/foundation/FileError.h"
#include "platform/foundation/FrameRates.h"
#include "platform/foundation/NumberText.h"
#include "platform/foundation/StringText.h"
#include "platform/foundation/Utf8.h"
#include "platform/foundation/Uuid.h"
#include "platform/ui/FilePanels.h"
#include "preview/StatusText.h"
#include "workspace/EditorWorkspaceText.h"
#include "workspace/pool/SourceMediaReading.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

constexpr char importPanelMessage[] = "Select source files or a folder of media files";
constexpr std::size_t failuresShown = 5;
constexpr std::size_t alreadyInPoolNamesShown = 3;
constexpr std::size_t failuresNamedInStatus = 3;
// Rates closer than this to the project's ask nothing.
constexpr double frameRateQuestionThreshold = 0.45;
// Why a file whose name is not UTF-8 is left out.
constexpr char notUtf8Name[] = "the name is not UTF-8 text, which a project cannot store (rename the file, then "
                               "import it)";

bool isImportable(const fs::path& file)
{
    std::string extension = StringText::lowercased(file.extension().string());
    if (!extension.empty())
        extension.erase(extension.begin());
    const std::vector<std::string>& accepted = EditorWorkspaceController::importableExtensions();
    return std::find(accepted.begin(), accepted.end(), extension) != accepted.end();
}

bool sameContents(const fs::path& a, const fs::path& b)
{
    std::error_code ec;
    const auto size = fs::file_size(a, ec);
    if (ec || size != fs::file_size(b, ec) || ec)
        return false;
    std::ifstream first(a, std::ios::binary);
    std::ifstream second(b, std::ios::binary);
    std::vector<char> left(1 << 20);
    std::vector<char> right(1 << 20);
    while (first && second) {
        first.read(left.data(), static_cast<std::streamsize>(left.size()));
        second.read(right.data(), static_cast<std::streamsize>(right.size()));
        if (first.gcount() != second.gcount() ||
            !std::equal(left.begin(), left.begin() + first.gcount(), right.begin()))
            return false;
    }
    return first.eof() && second.eof();
}

// Copies `source` to `target` without ever replacing a file: the copy is written under a hidden
// temporary name beside the target and renamed onto the target's name only once complete, so a
// failed copy leaves nothing behind. A file already at the target counts as copied when it holds
// the same bytes, and as a failure otherwise (camera file names repeat from card to card).
// Returns the failure's text, none on success.
constexpr char differentFile[] = "a different file with this name is already in the media folder";

std::optional<std::string> copyWithoutReplacing(const fs::path& source, const fs::path& target)
{
    std::error_code ec;
    if (fs::exists(target, ec))
        return sameContents(source, target) ? std::nullopt : std::optional<std::string>(differentFile);

    // A short name of its own: any name the file system holds must import, and one of 255 bytes
    // leaves no room for more.
    const fs::path temporary = target.parent_path() / (".velmora-import-" + Uuid::randomText().substr(0, 8));
    fs::copy_file(source, temporary, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return FileError::make(ec, "copy", source).localizedDescription();
    }
    int renameError = 0;
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
        renameError = errno;
        if (renameError == EINVAL || renameError == ENOSYS || renameError == ENOTSUP) {
            // A file system that cannot refuse to replace: look first, then rename.
            renameError = fs::exists(target, ec) ? EEXIST : 0;
            if (!renameError) {
                fs::rename(temporary, target, ec);
                renameError = ec.value();
            }
        }
    }
    if (renameError == 0)
        return std::nullopt;
    std::optional<std::string> failure;
    if (renameError != EEXIST)
        failure = FileError::fromErrno(renameError, "copy", source).localizedDescription();
    else if (!sameContents(source, target)) // another file took the name while copying
        failure = differentFile;
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return failure;
}

bool isSameFile(const fs::path& a, const fs::path& b)
{
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

// Why a file whose name the pool already lists (as `pooledName`, in any letter case) is left
// out: none when it is the pooled file itself or holds the same bytes (imported again), the
// reason when the media folder holds a different file under that name (another card's C0001.MP4).
// A pooled file not in the media folder cannot be compared: the name alone decides.
std::optional<std::string> differentFromPooled(const fs::path& url, const fs::path& dest, const std::string& pooledName)
{
    const fs::path pooled = dest / pooledName;
    std::error_code ec;
    if (!fs::is_regular_file(pooled, ec) || isSameFile(url, pooled) || sameContents(url, pooled))
        return std::nullopt;
    return std::string(differentFile);
}

// "%.3f" without ".000": 25 → "25", 23.976 → "23.976", 29.97 → "29.970".
std::string clipRateLabel(double rate)
{
    std::string label = StatusText::fixed(rate, 3);
    for (std::size_t at = label.find(".000"); at != std::string::npos; at = label.find(".000"))
        label.erase(at, 4);
    return label;
}

std::string joined(const std::vector<std::string>& items, std::size_t count, const std::string& separator)
{
    std::string text;
    for (std::size_t i = 0; i < std::min(count, items.size()); ++i)
        text += (i ? separator : "") + items[i];
    return text;
}

} // namespace

const std::vector<std::string>& EditorWorkspaceController::importableExtensions()
{
    static const std::vector<std::string> extensions = {"mov", "mp4",  "m4v",  "avi", "mkv", "mp3",
                                                        "wav", "aac",  "m4a",  "jpg", "jpeg", "png",
                                                        "tiff", "tif", "heic", "heif", "bmp"};
    return extensions;
}

// ---- the panels ----

void EditorWorkspaceController::importMedia()
{
    FilePanelRequest request;
    request.kind = FilePanelRequest::Kind::openFiles;
    request.canChooseDirectories = true;
    request.title = importPanelMessage;
    request.acceptLabel = "Import Media";
    request.extensions = importableExtensions();
    runPanel(request, [this](std::vector<fs::path> chosen) { importChosen(chosen); });
}

void EditorWorkspaceController::importChosen(const std::vector<fs::path>& chosen)
{
    // A cancelled panel chooses nothing and does nothing.
    if (chosen.empty())
        return;
    std::vector<fs::path> files;
    for (const fs::path& item : chosen) {
        std::error_code ec;
        if (!fs::is_directory(item, ec)) {
            files.push_back(item);
            continue;
        }
        // A folder gives its direct contents as listed, subfolders included (they are skipped
        // later for their extension), hidden entries left out; one that cannot be listed, nothing.
        std::vector<fs::path> entries;
        for (fs::directory_iterator it(item, ec), end; !ec && it != end; it.increment(ec)) {
            if (!StringText::hasPrefix(it->path().filename().string(), "."))
                entries.push_back(it->path());
        }
        if (!ec)
            files.insert(files.end(), entries.begin(), entries.end());
    }
    processImportedFiles(files);
}

// ---- copying and sources ----

fs::path EditorWorkspaceController::importMediaDestinationFolder(const EditSession& session)
{
    if (mediaFolderURL_)
        return ProjectMediaFolder::ensureExists(MediaFolderPath::standardized(*mediaFolderURL_));
    const std::optional<fs::path> projectFolder =
        sessionURL_ ? std::optional(fs::absolute(*sessionURL_).parent_path()) : std::nullopt;
    if (const std::optional<fs::path> saved = MediaFolderPath::resolvedURL(session.mediaFolder, projectFolder))
        return ProjectMediaFolder::ensureExists(*saved);
    return ensureProjectMediaFolder(&session);
}

void EditorWorkspaceController::processImportedFiles(const std::vector<fs::path>& urls)
{
    std::shared_ptr<EditSession> session = engine_->session();
    if (!session)
        session = std::make_shared<EditSession>(EditSession::blankProject());
    session->ensureDefaultTimelineIfNeeded();
    if (!session->tool)
        session->tool = DesktopJobTool::editSession;
    if (!session->version)
        session->version = 2;
    const fs::path dest = importMediaDestinationFolder(*session);

    std::vector<std::string> newIds;
    std::vector<std::string> alreadyInPool;
    std::vector<std::string> failures;
    for (const fs::path& url : urls) {
        const std::string name = url.filename().string();
        const fs::path target = dest / name;
        if (!isImportable(url))
            continue;
        // A project names its sources in JSON, which holds UTF-8 text only: a source named
        // otherwise would make the project impossible to save. The file is left where it is.
        if (!Utf8::isValid(name)) {
            failures.push_back(FileError::shownName(url) + ": " + notUtf8Name);
            continue;
        }
        const std::string lowerName = StringText::lowercased(name);
        if (const auto pooled =
                std::find_if(session->sources.begin(), session->sources.end(),
                             [&](const EditSession::Source& source) {
                                 return StringText::lowercased(source.fileName) == lowerName;
                             });
            pooled != session->sources.end()) {
            // The name stays the pooled file's either way; a different file is a file left out,
            // and said so, not one already there.
            if (const std::optional<std::string> different = differentFromPooled(url, dest, pooled->fileName))
                failures.push_back(name + ": " + *different);
            else
                alreadyInPool.push_back(name);
            continue;
        }
        // A file chosen from inside the media folder itself stays where it is.
        if (!isSameFile(url, target)) {
            if (const std::optional<std::string> failure = copyWithoutReplacing(url, target)) {
                failures.push_back(name + ": " + *failure);
                continue;
            }
        }
        EditSession::Source source(Uuid::randomText(), name, EditSession::normalizedClipType(std::nullopt, name));
        // Size, rate and picture are read from the copy.
        SourceMediaReading::MediaInfo info;
        if (source.type == "video")
            info = SourceMediaReading::readVideo(target);
        else if (source.type == "image")
            info = SourceMediaReading::readImage(target);
        source.width = info.width;
        source.height = info.height;
        source.framerate = info.framerate;
        if (info.thumbnailData) {
            source.thumbnailData = SharedBytes(std::move(*info.thumbnailData));
        }
        newIds.push_back(source.id);
        session->sources.push_back(std::move(source));
    }

    // An import that adds nothing leaves the project as it was: nothing to save, nothing to
    // build again.
    if (!newIds.empty()) {
        // As the project's document stores it (none when it cannot): a render job written from
        // the session before the next save carries it too.
        session->mediaFolder = MediaFolderPath::storedText(dest, sessionURL_);
        setMediaFolderURL(dest);
        engine_->adoptSession(session, dest, sessionURL_, false);
        if (MediaResolver::canBuildPreview(*session, dest)) {
            if (engine_->avPlayer())
                engine_->reloadComposition(std::nullopt);
            else
                engine_->load(session, dest, sessionURL_);
        }
    }
    if (!failures.empty())
        reportError("Some files were not imported:\n" + joined(failures, failuresShown, "\n"));
    // The status line names the files left out and why, as the alert does: the alert may be
    // dismissed unread, and the status is what the eye is on after an import.
    std::string leftOut;
    if (!failures.empty()) {
        leftOut = joined(failures, failuresNamedInStatus, "; ");
        if (failures.size() > failuresNamedInStatus)
            leftOut += "; " + NumberText::integer(static_cast<std::int64_t>(failures.size() - failuresNamedInStatus)) +
                       " more — see error details";
    }
    importLeftOutWords_ = leftOut.empty() ? std::string() : (newIds.empty() ? "Import failed — " : "not imported: ") + leftOut;
    if (!newIds.empty())
        engine_->setStatus("Added " + NumberText::integer(static_cast<std::int64_t>(newIds.size())) +
                           " clip(s) to media pool — double-click to open, or drag to timeline" +
                           (leftOut.empty() ? "" : "; " + importLeftOutWords_));
    else if (!failures.empty())
        engine_->setStatus(importLeftOutWords_);
    else if (!alreadyInPool.empty())
        engine_->setStatus("Already in media pool: " + joined(alreadyInPool, alreadyInPoolNamesShown, ", "));
    else
        engine_->setStatus("No new clips imported (unsupported file type or empty selection)");
    importLeftOutNews_ = engine_->statusNewsNumber();
    if (!session->sources.empty())
        setImportHintDismissed(true);
    if (!newIds.empty())
        setProjectDirty(true);
    generateThumbnailsForSources(newIds, dest);
    promptProjectFpsFromImportedClips(newIds);
}

// ---- the frame-rate question ----

void EditorWorkspaceController::promptProjectFpsFromImportedClips(const std::vector<std::string>& sourceIds)
{
    const std::shared_ptr<EditSession> session = engine_->session();
    if (sourceIds.empty() || !session)
        return;
    const EditSession::Source* video = nullptr;
    for (const std::string& id : sourceIds) {
        const EditSession::Source* source = sourceWithId(*session, id);
        if (source && EditSession::normalizedClipType(source->type, source->fileName) == "video") {
            video = source;
            break;
        }
    }
    // A rate past the limit is not offered: the project could not be read back or exported.
    if (!video || !video->framerate || !FrameRateLimit::accepts(*video->framerate) || *video->framerate <= 1)
        return;
    const double clipRate = *video->framerate;
    const double projectRate = velmora::projectFrameRate(session->project ? session->project->fps : std::nullopt);
    if (std::abs(clipRate - projectRate) < frameRateQuestionThreshold)
        return;

    const std::string clipLabel = clipRateLabel(clipRate);
    const std::string projectLabel = StatusText::fixed(projectRate, 2);
    FrameRateQuestion question;
    question.message = "Match project frame rate to clip?";
    question.informativeText = video->fileName + " is " + clipLabel + " fps.\nThe project is set to " + projectLabel +
                               " fps.\n\nUsing the clip rate avoids export timing issues.";
    question.useClipRate = "Use " + clipLabel + " fps";
    question.keepProjectRate = "Keep " + projectLabel + " fps";
    // Asked once the import has finished.
    QPointer<EditorWorkspaceController> self(this);
    mainQueue_->post([self, question, clipRate, fileName = video->fileName, session] {
        if (!self)
            return;
        self->questionedClipRate_ = clipRate;
        self->questionedFileName_ = fileName;
        self->questionedSession_ = session;
        self->frameRateQuestion_ = question;
        emit self->frameRateQuestionChanged();
    });
}

void EditorWorkspaceController::answerFrameRateQuestion(bool useClipRate)
{
    if (!frameRateQuestion_)
        return;
    frameRateQuestion_.reset();
    const std::shared_ptr<EditSession> asked = std::exchange(questionedSession_, nullptr);
    emit frameRateQuestionChanged();
    if (!useClipRate)
        return;
    std::shared_ptr<EditSession> session = engine_->session() ? engine_->session() : asked;
    if (!session)
        return;
    if (!session->project)
        session->project = EditSession::Project();
    session->project->fps = questionedClipRate_;
    engine_->reloadSession(session, mediaFolderURL_, sessionURL_);
    engine_->setStatus("Project frame rate set to " + StatusText::fixed(questionedClipRate_, 3) + " fps (from " +
                       questionedFileName_ + ")");
    setProjectDirty(true);
}

} // namespace velmora
