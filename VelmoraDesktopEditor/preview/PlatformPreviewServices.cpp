#include "preview/PlatformPreviewServices.h"

#include "platform/dispatch/BackgroundWorker.h"
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
    // The LUT listings (and an opening's source lookup without a build) run on a thread started
    // by the first one, shared by the engines made from copies of these services and joined when
    // the last copy goes (the work touches the disk and posts to the main queue, nothing else).
    // Called on the main thread only.
    services.runInBackground = [worker = std::make_shared<BackgroundWorker>("velmora.luts")](
                                   std::function<void()> work) { worker->run(std::move(work)); };
    return services;
}

} // namespace velmora
