#include "preview/PlatformPreviewPlayer.h"

namespace velmora {

AudioSinkFactory defaultAudioSinkFactory()
{
    return [] { return makeDefaultAudioSink(); };
}

PlatformPreviewPlayer::PlatformPreviewPlayer(std::shared_ptr<MainQueue> mainQueue, std::shared_ptr<PlayerItem> item,
                                             std::shared_ptr<AudioSink> audioSink)
    : item_(std::move(item)), mainQueue_(mainQueue), player_(std::move(mainQueue), std::move(audioSink))
{
    player_.replaceCurrentItem(item_);
}

PlatformPreviewPlayer::~PlatformPreviewPlayer()
{
    item_->setFailureHandler(nullptr);
}

void PlatformPreviewPlayer::setMediaFailureHandler(MediaFailureHandler handler)
{
    if (!handler) {
        item_->setFailureHandler(nullptr);
        return;
    }
    item_->setFailureHandler([queue = mainQueue_, handler = std::move(handler)](const std::filesystem::path& file,
                                                                               const Error& error) {
        queue->post([handler, file, error] { handler(file, error); });
    });
}

std::shared_ptr<PlatformPreviewPlayer> PlatformPreviewPlayer::openFile(const std::filesystem::path& file,
                                                                       PlayerItem::FileTracks tracks,
                                                                       std::shared_ptr<MainQueue> mainQueue,
                                                                       std::shared_ptr<AudioSink> audioSink)
{
    return std::make_shared<PlatformPreviewPlayer>(std::move(mainQueue), PlayerItem::fromFile(file, tracks),
                                                   std::move(audioSink));
}

void PlatformPreviewPlayer::play()
{
    const double rate = player_.rate();
    player_.setRate(rate > 0 ? rate : 1.0);
}

void PlatformPreviewPlayer::pause()
{
    player_.pause();
}

double PlatformPreviewPlayer::rate() const
{
    return player_.rate();
}

void PlatformPreviewPlayer::setRate(double rate)
{
    player_.setRate(rate);
}

MediaTime PlatformPreviewPlayer::currentTime() const
{
    return player_.currentTime();
}

void PlatformPreviewPlayer::seek(const MediaTime& time, const MediaTime& toleranceBefore,
                                 const MediaTime& toleranceAfter, std::function<void(bool finished)> completion)
{
    player_.seek(time, toleranceBefore, toleranceAfter, std::move(completion));
}

PreviewPlayer::TimeObserverToken
PlatformPreviewPlayer::addPeriodicTimeObserver(const MediaTime& interval,
                                               std::function<void(const MediaTime& time)> callback)
{
    return player_.addPeriodicTimeObserver(interval, std::move(callback));
}

void PlatformPreviewPlayer::removeTimeObserver(TimeObserverToken token)
{
    player_.removeTimeObserver(token);
}

void PlatformPreviewPlayer::setVolume(float volume)
{
    player_.setVolume(volume);
}

MediaTime PlatformPreviewPlayer::itemDuration() const
{
    return item_->duration();
}

std::shared_ptr<VideoOutput> PlatformPreviewPlayer::videoOutput() const
{
    return player_.videoOutput();
}

void PlatformPreviewPlayer::setAudioMix(AudioMix audioMix)
{
    item_->setAudioMix(std::move(audioMix));
}

} // namespace velmora
