// The media pool's cards, their selection and opening, and the import hint banner's rule.

#include "workspace/EditorWorkspaceController.h"

#include <algorithm>
#include <map>

#include "platform/foundation/NumberText.h"
#include "preview/StatusText.h"

namespace velmora {

namespace {

// The symbol of a card without a picture: the test is exact, so a type "Video" is not a video.
const std::string& placeholderSymbol(const std::optional<std::string>& type)
{
    static const std::string video = "video";
    static const std::string photo = "photo";
    static const std::string speaker = "speaker.wave.2";
    if (type == "video")
        return video;
    if (type == "image")
        return photo;
    return speaker;
}

// "1920×1080 · 29.97 fps", "1920×1080" without a rate, nothing without both dimensions.
std::string detailLine(const EditSession::Source& source)
{
    if (!source.width || !source.height)
        return {};
    std::string detail = NumberText::integer(*source.width) + "×" + NumberText::integer(*source.height);
    if (source.framerate)
        detail += " · " + StatusText::fixed(*source.framerate, 2) + " fps";
    return detail;
}

} // namespace

std::vector<EditorWorkspaceController::MediaPoolCard> EditorWorkspaceController::mediaPoolCards() const
{
    std::vector<MediaPoolCard> cards;
    const std::shared_ptr<EditSession>& session = engine_->session();
    if (!session)
        return cards;
    // Without a pool selection, the card of the selected timeline clip's source is highlighted.
    std::optional<std::string> highlighted = selectedSourceId_;
    if (!highlighted) {
        if (const std::optional<EditSession::Clip> clip = selectedClip())
            highlighted = clip->sourceId;
    }
    // A file that cannot be read says why on its card. The preview's build, on its worker,
    // found which ones (and the player and still requests name those failing since): a refresh
    // reads what was kept and never touches the media folder.
    const std::map<std::string, std::string>& unreadable = engine_->unreadableSources();
    // Runs on every refresh of the pool, for thousands of sources: a card shares its source's
    // picture bytes and builds no text it does not show.
    cards.reserve(session->sources.size());
    for (const EditSession::Source& source : session->sources) {
        const auto reason = unreadable.empty() ? unreadable.end() : unreadable.find(source.id);
        cards.push_back({source.id, source.fileName, source.thumbnailData, placeholderSymbol(source.type),
                         reason != unreadable.end() ? reason->second : detailLine(source),
                         highlighted && *highlighted == source.id});
    }
    return cards;
}

void EditorWorkspaceController::selectPoolSource(const std::string& sourceId)
{
    engine_->clearClipSelection();
    setSelectedSourceId(sourceId);
}

void EditorWorkspaceController::openPoolSource(const std::string& sourceId)
{
    const std::shared_ptr<EditSession>& session = engine_->session();
    if (!session)
        return;
    const EditSession::Source* source = sourceWithId(*session, sourceId);
    if (!source)
        return;
    const EditSession::Source chosen = *source;
    setSourceViewerTimelineClipId(std::nullopt);
    openSourceViewer(chosen, std::nullopt);
}

bool EditorWorkspaceController::importHintShown() const
{
    const std::shared_ptr<EditSession>& session = engine_->session();
    return !importHintDismissed_ && session && session->sources.empty();
}

} // namespace velmora
