// The media pool's cards, their selection and opening, and the import hint banner's rule.

#include "workspace/EditorWorkspaceController.h"

#include <algorithm>
#include <map>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/foundation/NumberText.h"
#include "platform/foundation/ShownText.h"
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

// The detail lines of one refresh by size and rate: a pool's footage comes in a few of them,
// each written once (a map, so that a pool of many sizes costs no more than writing each).
class DetailLines {
public:
    const std::string& of(const EditSession::Source& source)
    {
        const auto [line, added] = lines_.try_emplace(Key{source.width, source.height, source.framerate});
        if (added)
            line->second = detailLine(source);
        return line->second;
    }

private:
    using Key = std::tuple<std::optional<int>, std::optional<int>, std::optional<double>>;
    std::map<Key, std::string> lines_;
};

// Assigns `value` unless `target` already holds it; true when it did not.
template <typename T, typename U>
bool assignChanged(T& target, const U& value)
{
    if (target == value)
        return false;
    target = value;
    return true;
}

} // namespace

std::vector<EditorWorkspaceController::MediaPoolCard> EditorWorkspaceController::mediaPoolCards() const
{
    std::vector<MediaPoolCard> cards;
    refreshMediaPoolCards(cards);
    return cards;
}

bool EditorWorkspaceController::refreshMediaPoolCards(std::vector<MediaPoolCard>& cards) const
{
    const std::shared_ptr<EditSession>& session = engine_->session();
    if (!session) {
        const bool changed = !cards.empty();
        cards.clear();
        return changed;
    }
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
    bool changed = cards.size() != session->sources.size();
    cards.resize(session->sources.size());
    DetailLines detailLines;
    auto card = cards.begin();
    for (const EditSession::Source& source : session->sources) {
        changed |= assignChanged(card->sourceId, source.id);
        changed |= assignChanged(card->fileName, shownText(source.fileName));
        // The picture's bytes are shared: the same ones compare by their address.
        changed |= assignChanged(card->thumbnailData, source.thumbnailData);
        changed |= assignChanged(card->placeholderSymbol, placeholderSymbol(source.type));
        const auto reason = unreadable.empty() ? unreadable.end() : unreadable.find(source.id);
        changed |= assignChanged(card->detail, reason != unreadable.end() ? reason->second : detailLines.of(source));
        changed |= assignChanged(card->selected, highlighted && *highlighted == source.id);
        ++card;
    }
    return changed;
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
