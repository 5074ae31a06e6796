#include "platform/media/Player.h"

#include <pthread.h>

#include <algorithm>
#include <cmath>

#include "platform/media/MediaError.h"
#include "platform/media/internal/AudioPump.h"
#include "platform/media/internal/PlayerCore.h"
#include "platform/media/internal/TimeMath.h"
#include "platform/media/internal/VideoProducer.h"

namespace velmora {

namespace {

template <typename Body>
std::thread namedThread(const char* name, Body body)
{
    return std::thread([name, body = std::move(body)]() mutable {
        pthread_setname_np(pthread_self(), name);
        body();
    });
}

} // namespace

Player::Player(std::shared_ptr<MainQueue> mainQueue, std::shared_ptr<AudioSink> audioSink)
    : core_(std::make_shared<internal::PlayerCore>(std::move(mainQueue),
                                                   audioSink ? std::move(audioSink) : makeDefaultAudioSink())),
      producer_(std::make_unique<internal::VideoProducer>(*core_)),
      pump_(std::make_unique<internal::AudioPump>(*core_))
{
    presenterThread_ = namedThread("velmora.present", [this] { core_->run(); });
    videoThread_ = namedThread("velmora.video", [this] { producer_->run(); });
    audioThread_ = namedThread("velmora.sound", [this] { pump_->run(); });
}

Player::~Player()
{
    {
        std::lock_guard lock(core_->mutex);
        core_->stopping = true;
        core_->stopRequested = true;
        core_->supersedeSeekLocked();
        core_->stopClockLocked();
    }
    core_->changed.notify_all();
    presenterThread_.join();
    videoThread_.join();
    audioThread_.join();
}

void Player::replaceCurrentItem(std::shared_ptr<PlayerItem> item)
{
    {
        std::lock_guard lock(core_->mutex);
        core_->supersedeSeekLocked();
        core_->restartLocked(MediaTime::zero());
        core_->item = std::move(item);
        core_->output->clear();
        core_->notifyOutput = true;
    }
    core_->changed.notify_all();
}

std::shared_ptr<PlayerItem> Player::currentItem() const
{
    std::lock_guard lock(core_->mutex);
    return core_->item;
}

void Player::setRate(double rate)
{
    if (!(rate > 0) || !std::isfinite(rate)) {
        rate = 0;
    }
    {
        std::lock_guard lock(core_->mutex);
        internal::PlayerCore& core = *core_;
        if (rate == core.rate) {
            return;
        }
        core.stopClockLocked();
        const bool wasPlaying = core.rate > 0;
        core.rate = rate;
        if (rate == 0) {
            if (wasPlaying) {
                core.jumpLocked(core.anchorTime);
            }
        } else if ((rate == 1.0) != (core.audioRate == 1.0)) {
            // The queued sound was made for another rate.
            core.restartAudioLocked(core.anchorTime);
        }
    }
    core_->changed.notify_all();
}

double Player::rate() const
{
    std::lock_guard lock(core_->mutex);
    return core_->rate;
}

Player::TimeControlStatus Player::timeControlStatus() const
{
    std::lock_guard lock(core_->mutex);
    if (core_->rate == 0) {
        return TimeControlStatus::paused;
    }
    return core_->clockRunning ? TimeControlStatus::playing : TimeControlStatus::waitingToPlay;
}

MediaTime Player::currentTime() const
{
    std::lock_guard lock(core_->mutex);
    return core_->currentTimeLocked();
}

void Player::seek(const MediaTime& time, std::function<void(bool)> completion)
{
    seek(time, MediaTime::zero(), MediaTime::zero(), std::move(completion));
}

void Player::seek(const MediaTime& time, const MediaTime& /*toleranceBefore*/, const MediaTime& toleranceAfter,
                  std::function<void(bool)> completion)
{
    // A seek never lands before its time, which any tolerance before allows.
    {
        std::lock_guard lock(core_->mutex);
        internal::PlayerCore& core = *core_;
        if (!core.item || !time.isValid()) {
            core.postCompletion(std::move(completion), false);
            return;
        }
        core.supersedeSeekLocked();
        const MediaTime end = std::max(MediaTime::zero(), core.duration());
        const MediaTime target = std::clamp(time, MediaTime::zero(), end);
        const MediaTime latest = target + std::max(MediaTime::zero(), toleranceAfter);

        const std::optional<MediaTime> landed = core.landOnMadeFrameLocked(target, latest);
        if (landed) {
            core.stopClockLocked();
            core.anchorTime = *landed;
            core.restartAudioLocked(*landed);
            core.postCompletion(std::move(completion), true);
            core.jumpLocked(*landed);
        } else {
            core.restartLocked(target);
            core.pendingSeek = std::move(completion);
        }
    }
    core_->changed.notify_all();
}

Player::TimeObserverToken Player::addPeriodicTimeObserver(const MediaTime& interval,
                                                          std::function<void(const MediaTime&)> block)
{
    if (!interval.isNumeric()) {
        throw MediaError::make(MediaError::invalidArgument, "A time observer needs an interval of a number of seconds.");
    }
    const MediaTime step = std::max(interval, MediaTime(1, 1000));
    std::lock_guard lock(core_->mutex);
    internal::TimeObserver observer;
    observer.token = core_->nextObserverToken++;
    observer.interval = step;
    observer.block = std::make_shared<const std::function<void(const MediaTime&)>>(std::move(block));
    observer.lastTick = internal::floorDivide(core_->currentTimeLocked(), step);
    core_->observers.push_back(std::move(observer));
    return core_->observers.back().token;
}

void Player::removeTimeObserver(TimeObserverToken token)
{
    std::lock_guard lock(core_->mutex);
    std::erase_if(core_->observers, [&](const internal::TimeObserver& o) { return o.token == token; });
}

void Player::setVolume(float volume)
{
    if (std::isnan(volume)) {
        return;
    }
    std::lock_guard lock(core_->mutex);
    core_->volume = std::clamp(volume, 0.0f, 1.0f);
}

float Player::volume() const
{
    std::lock_guard lock(core_->mutex);
    return core_->volume;
}

const std::shared_ptr<VideoOutput>& Player::videoOutput() const
{
    return core_->output;
}

Player::Statistics Player::statistics() const
{
    std::lock_guard lock(core_->mutex);
    return {core_->statistics.framesDisplayed, core_->statistics.framesDropped};
}

} // namespace velmora
