// Poster frames of the media pool's video sources, made on a worker and stored on the main queue.

#include "workspace/EditorWorkspaceController.h"

#include <QPointer>

#include "workspace/pool/SourceMediaReading.h"

namespace velmora {

namespace {

// One poster frame to make: a source and its file. Copied to the worker; never the session.
struct PosterRequest {
    std::string sourceId;
    std::filesystem::path file;
};

} // namespace

void EditorWorkspaceController::generateThumbnailsForSources(const std::vector<std::string>& ids,
                                                             const std::filesystem::path& mediaFolder)
{
    const std::shared_ptr<EditSession>& session = engine_->session();
    if (ids.empty() || !session)
        return;
    std::vector<PosterRequest> requests;
    for (const std::string& id : ids) {
        const EditSession::Source* source = sourceWithId(*session, id);
        // Only the file directly in the folder: no search, no name matching.
        if (source && source->type == "video" && !source->thumbnailData)
            requests.push_back({id, mediaFolder / source->fileName});
    }
    if (requests.empty())
        return;

    // The results belong to this project: another one opened or created meanwhile must not get
    // them (nor be rebound to this one's folder and file).
    const std::weak_ptr<EditSession> requestedFor = session;
    const QPointer<EditorWorkspaceController> self(this);
    runInBackground_([requests = std::move(requests), requestedFor, self, queue = mainQueue_, closing = closing_] {
        std::vector<std::pair<std::string, std::vector<std::uint8_t>>> made;
        for (const PosterRequest& request : requests) {
            // The workspace is going (the window closing, the application quitting): it waits
            // for this thread, so the rest is left undone.
            if (closing->load())
                return;
            if (std::optional<std::vector<std::uint8_t>> jpeg = SourceMediaReading::posterFrameJPEG(request.file))
                made.emplace_back(request.sourceId, std::move(*jpeg));
        }
        if (made.empty())
            return;
        queue->post([self, requestedFor, made = std::move(made)]() mutable {
            if (self)
                self->storeThumbnails(requestedFor, std::move(made));
        });
    });
}

void EditorWorkspaceController::storeThumbnails(const std::weak_ptr<EditSession>& requestedFor,
                                                std::vector<std::pair<std::string, std::vector<std::uint8_t>>> thumbnails)
{
    const std::shared_ptr<EditSession> session = engine_->session();
    if (!session || session != requestedFor.lock())
        return;
    bool stored = false;
    for (auto& [id, jpeg] : thumbnails) {
        // The first picture made for a source wins; a source removed meanwhile is skipped.
        EditSession::Source* source = sourceWithId(*session, id);
        if (source && !source->thumbnailData) {
            source->thumbnailData = std::move(jpeg);
            stored = true;
        }
    }
    if (!stored)
        return;
    // The adoption below tears the preview player down for its rebuild: whether there is a preview
    // is asked first.
    const bool previewShown = engine_->avPlayer() != nullptr;
    // Poster frames are not saved with the project: storing them leaves its unsaved-changes mark
    // as it was.
    readoptSession(true);
    if (previewShown)
        engine_->setStatus("Thumbnails ready — drag clips to the timeline");
}

} // namespace velmora
