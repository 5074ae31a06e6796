#include "preview/PlatformCompositionBuilder.h"

#include <exception>
#include <variant>

#include "platform/media/PlayerItem.h"
#include "preview/PreviewPlayerItem.h"

namespace velmora {

namespace {

using ItemOutcome = std::variant<PreviewPlayerItem::PlayerItemBuild, Error>;

ItemOutcome buildItem(const PreviewCompositionBuilder::Request& request,
                      const PreviewPlayerItem::FilesFound& filesFound)
{
    try {
        // The engine clears its grade context itself when it installs the newest build: a
        // context handed back from here could arrive for a build that is no longer current.
        PreviewPlayerItem::PlayerItemBuild built = PreviewPlayerItem::makePlayerItem(
            *request.session, request.mediaFolder, PreviewPlayerItem::previewTimescale, false, nullptr,
            request.readabilityCheck, filesFound);
        built.item->setPreferredForwardBufferDuration(PlayerItem::maximumForwardBufferDuration);
        return built;
    } catch (const Error& error) {
        return error;
    } catch (const std::exception& error) {
        return Error(PreviewPlayerItem::previewErrorDomain, 0, error.what());
    }
}

// On the main thread: the player over a built item (its sink is opened there, where the sound
// system's objects live).
PreviewCompositionOutcome playerFor(ItemOutcome outcome, const std::shared_ptr<MainQueue>& mainQueue,
                                    const AudioSinkFactory& audioSinks)
{
    if (Error* error = std::get_if<Error>(&outcome)) {
        return std::move(*error);
    }
    PreviewPlayerItem::PlayerItemBuild& built = std::get<PreviewPlayerItem::PlayerItemBuild>(outcome);
    PreviewComposition composition;
    composition.player = std::make_shared<PlatformPreviewPlayer>(mainQueue, std::move(built.item), audioSinks());
    composition.transform = built.transform;
    composition.audioBusByClipId = std::move(built.audioBusByClipId);
    composition.sourceFiles = std::move(built.sourceFiles);
    composition.unreadableSources = std::move(built.unreadableSources);
    composition.assets = std::move(built.assets);
    return composition;
}

} // namespace

PlatformCompositionBuilder::PlatformCompositionBuilder(std::shared_ptr<MainQueue> mainQueue, AudioSinkFactory audioSinks)
    : mainQueue_(std::move(mainQueue)), audioSinks_(audioSinks ? std::move(audioSinks) : defaultAudioSinkFactory())
{
}

PlatformCompositionBuilder::~PlatformCompositionBuilder()
{
    tickets_->closing = true;
}

void PlatformCompositionBuilder::build(Request request, std::function<void(PreviewCompositionOutcome)> completion)
{
    const std::uint64_t ticket = ++tickets_->newest;
    queue_.async([tickets = tickets_, ticket, mainQueue = mainQueue_, audioSinks = audioSinks_,
                  request = std::move(request), completion = std::move(completion)] {
        bool found = false;
        const PreviewPlayerItem::FilesFound filesFound = [&](const MediaResolver::SourceFileMap* files) {
            found = true;
            if (request.filesFound) {
                request.filesFound(files);
            }
        };
        ItemOutcome outcome = tickets->closing || ticket != tickets->newest
                                  ? ItemOutcome(Error(PreviewPlayerItem::previewErrorDomain, supersededCode,
                                                      "A newer preview build was asked for"))
                                  : buildItem(request, filesFound);
        if (!found && request.filesFound && !tickets->closing) {
            std::optional<MediaResolver::SourceFileMap> files;
            try {
                files = MediaResolver::sourceFileMap(*request.session, request.mediaFolder);
            } catch (const Error&) {
            }
            request.filesFound(files ? &*files : nullptr);
        }
        mainQueue->post([completion, outcome = std::move(outcome), mainQueue, audioSinks]() mutable {
            completion(playerFor(std::move(outcome), mainQueue, audioSinks));
        });
    });
}

} // namespace velmora
