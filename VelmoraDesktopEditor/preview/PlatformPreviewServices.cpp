#include "preview/PlatformPreviewServices.h"

#include "preview/PlatformCompositionBuilder.h"

namespace velmora {

TimelineScrubAudio::PlayerOpener platformScrubAudioOpener(std::shared_ptr<MainQueue> mainQueue,
                                                          AudioSinkFactory audioSinks)
{
    if (!audioSinks) {
        audioSinks = defaultAudioSinkFactory();
    }
    return [mainQueue = std::move(mainQueue), audioSinks = std::move(audioSinks)](const std::filesystem::path& file) {
        return std::shared_ptr<PreviewPlayer>(
            PlatformPreviewPlayer::openFile(file, PlayerItem::FileTracks::audioOnly, mainQueue, audioSinks()));
    };
}

TimelinePreviewEngine::Services platformPreviewServices(std::shared_ptr<MainQueue> mainQueue,
                                                        AudioSinkFactory audioSinks)
{
    TimelinePreviewEngine::Services services;
    services.mainQueue = mainQueue;
    services.compositionBuilder = std::make_shared<PlatformCompositionBuilder>(mainQueue, audioSinks);
    services.openScrubAudioPlayer = platformScrubAudioOpener(std::move(mainQueue), std::move(audioSinks));
    return services;
}

} // namespace velmora
