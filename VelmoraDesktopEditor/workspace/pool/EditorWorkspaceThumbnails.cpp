// The media pool's pictures, sizes and rates of video and still sources, made on a worker and
// stored on the main queue. A project document carries none of them, so an opened project gets
// them here again, as an import gave them.

#include "workspace/EditorWorkspaceController.h"

#include <string_view>
#include <unordered_map>

#include <QPointer>

#include "workspace/pool/SourceMediaReading.h"

namespace velmora {

namespace {

// The first source with each id: thousands of results are stored at once.
std::unordered_map<std::string_view, EditSession::Source*> sourcesById(EditSession& session)
{
    std::unordered_map<std::string_view, EditSession::Source*> byId;
    byId.reserve(session.sources.size());
    for (EditSession::Source& source : session.sources)
        byId.emplace(source.id, &source);
    return byId;
}

// One source to read: its file, and whether it is a still or a video. Copied to the worker; never
// the session.
struct PosterRequest {
    std::string sourceId;
    std::filesystem::path file;
    bool still = false;
    bool wantsPicture = false;
    // The file as the preview's build read it; none: its header is read here.
    std::shared_ptr<const Asset> header;
};

} // namespace

// What was read of a source's file: its size and rate, never its picture.
struct EditorWorkspaceController::SourceSize {
    std::string sourceId;
    SourceMediaReading::MediaInfo info;
};

void EditorWorkspaceController::generateThumbnailsForSources(const std::vector<std::string>& ids,
                                                             const std::filesystem::path& mediaFolder,
                                                             const MediaResolver::SourceFileMap* files)
{
    const std::shared_ptr<EditSession>& session = engine_->session();
    if (ids.empty() || !session)
        return;
    std::vector<PosterRequest> requests;
    const auto& read = engine_->sourceHeaders();
    const auto byId = sourcesById(*session);
    for (const std::string& id : ids) {
        const auto found = byId.find(id);
        const EditSession::Source* source = found != byId.end() ? found->second : nullptr;
        // The types are exact: a missing type or "Video" is left alone.
        if (!source || (source->type != "video" && source->type != "image"))
            continue;
        if (!source->thumbnailData || !source->width || !source->height) {
            // The file the preview shows for the source, wherever the lookup found it (a
            // subfolder, a stand-in); a source it does not know, just imported, by its name.
            const auto found = files ? files->find(id) : MediaResolver::SourceFileMap::const_iterator();
            std::filesystem::path file = files && found != files->end() ? found->second : mediaFolder / source->fileName;
            const auto header = read.find(file.native());
            requests.push_back({id, std::move(file), source->type == "image", !source->thumbnailData,
                                header != read.end() ? header->second : nullptr});
        }
    }
    if (requests.empty())
        return;

    // The results belong to this project: another one opened or created meanwhile must not get
    // them (nor be rebound to this one's folder and file).
    const std::weak_ptr<EditSession> requestedFor = session;
    const QPointer<EditorWorkspaceController> self(this);
    runInBackground_([requests = std::move(requests), requestedFor, self, queue = mainQueue_, closing = closing_] {
        std::vector<std::pair<std::string, std::vector<std::uint8_t>>> made;
        std::vector<SourceSize> sizes;
        for (const PosterRequest& request : requests) {
            // The workspace is going (the window closing, the application quitting): the rest
            // is left undone.
            if (closing->load())
                return;
            SourceMediaReading::MediaInfo info =
                request.still ? SourceMediaReading::readImage(request.file, request.header)
                              : SourceMediaReading::readVideoWithPoster(request.file, request.wantsPicture, request.header);
            if (request.wantsPicture && info.thumbnailData)
                made.emplace_back(request.sourceId, std::move(*info.thumbnailData));
            info.thumbnailData.reset();
            if (info.width && info.height)
                sizes.push_back({request.sourceId, std::move(info)});
        }
        if (made.empty() && sizes.empty())
            return;
        queue->post([self, requestedFor, made = std::move(made), sizes = std::move(sizes)]() mutable {
            if (!self)
                return;
            self->storeSourceSizes(requestedFor, sizes);
            self->storeThumbnails(requestedFor, std::move(made));
        });
    });
}

void EditorWorkspaceController::storeSourceSizes(const std::weak_ptr<EditSession>& requestedFor,
                                                 const std::vector<SourceSize>& sizes)
{
    const std::shared_ptr<EditSession> session = engine_->session();
    if (!session || session != requestedFor.lock())
        return;
    // Only what a source lacks: a size read at import stays.
    bool stored = false;
    const auto byId = sourcesById(*session);
    for (const SourceSize& size : sizes) {
        const auto found = byId.find(size.sourceId);
        EditSession::Source* source = found != byId.end() ? found->second : nullptr;
        if (!source || (source->width && source->height))
            continue;
        source->width = size.info.width;
        source->height = size.info.height;
        if (!source->framerate)
            source->framerate = size.info.framerate;
        stored = true;
    }
    if (stored)
        emit mediaPoolPicturesChanged();
}

void EditorWorkspaceController::storeThumbnails(const std::weak_ptr<EditSession>& requestedFor,
                                                std::vector<std::pair<std::string, std::vector<std::uint8_t>>> thumbnails)
{
    const std::shared_ptr<EditSession> session = engine_->session();
    if (!session || session != requestedFor.lock())
        return;
    bool stored = false;
    const auto byId = sourcesById(*session);
    for (auto& [id, jpeg] : thumbnails) {
        // The first picture made for a source wins; a source removed meanwhile is skipped.
        const auto found = byId.find(id);
        EditSession::Source* source = found != byId.end() ? found->second : nullptr;
        if (source && !source->thumbnailData) {
            source->thumbnailData = SharedBytes(std::move(jpeg));
            stored = true;
        }
    }
    if (!stored)
        return;
    // Only the media pool shows these pictures: the session is not republished (with thousands
    // of clips that stops the main thread for a large part of a second), the preview, the undo
    // history and the unsaved-changes mark stay as they are.
    emit mediaPoolPicturesChanged();
    // A LUT just chosen that cannot grade its clip stays named: it is what the user acts on. A
    // build under way has dropped the player only to install the next one, whose own words
    // follow these.
    if ((!engine_->avPlayer() && !engine_->isBuildingPreview()) || engine_->shownLutWarning())
        return;
    // The engine names a missing LUT, a file that cannot be read and one shown in place of a
    // missing one in front of these words. The files the import left out stay named while no
    // other news was written since the import's.
    const bool leftOutShown = !importLeftOutWords_.empty() && engine_->statusNewsNumber() == importLeftOutNews_;
    engine_->setStatus((leftOutShown ? importLeftOutWords_ + " · " : "") + "Thumbnails ready — drag clips to the timeline");
    if (leftOutShown)
        importLeftOutNews_ = engine_->statusNewsNumber();
}

} // namespace velmora
