#include "platform/media/internal/PlayerCore.h"

#include <algorithm>
#include <chrono>

#include "platform/media/internal/TimeMath.h"

namespace velmora::internal {

namespace {

// The presentation thread looks at the clock at least this often while playing (a device clock
// may drift from the steady one it sleeps by) and sleeps at least this long between looks.
constexpr double kLongestSleep = 0.02;
constexpr double kShortestSleep = 0.001;

// Whether a frame of `frameTime` and `frameDuration` is the one shown at `time` on an item
// ending at `end`.
bool shows(const MediaTime& frameTime, const MediaTime& frameDuration, const MediaTime& time, const MediaTime& end)
{
    const MediaTime frameEnd = frameTime + frameDuration;
    return frameTime <= time && (time < frameEnd || (time == end && frameEnd >= end));
}

} // namespace

PlayerCore::PlayerCore(std::shared_ptr<MainQueue> mainQueue_, std::shared_ptr<AudioSink> sink_)
    : mainQueue(std::move(mainQueue_)), sink(std::move(sink_)), output(std::make_shared<VideoOutput>())
{
}

MediaTime PlayerCore::duration() const
{
    return item ? item->duration() : MediaTime::zero();
}

MediaTime PlayerCore::currentTimeLocked() const
{
    MediaTime time = anchorTime;
    if (clockRunning) {
        const std::int64_t played = sink->playedFrames() - anchorPlayed;
        time = rate == 1.0 ? anchorTime + MediaTime(played, AudioSink::sampleRate)
                           : anchorTime + MediaTime::fromSeconds(static_cast<double>(played) * rate / AudioSink::sampleRate,
                                                                 AudioSink::sampleRate);
    }
    return std::clamp(time, MediaTime::zero(), std::max(MediaTime::zero(), duration()));
}

void PlayerCore::startClockLocked()
{
    anchorPlayed = sink->playedFrames();
    sink->start();
    clockRunning = true;
    changed.notify_all(); // the audio thread waits for the sink to make room from now on
}

void PlayerCore::stopClockLocked()
{
    if (!clockRunning) {
        return;
    }
    anchorTime = currentTimeLocked();
    sink->pause();
    clockRunning = false;
}

void PlayerCore::restartAudioLocked(const MediaTime& time)
{
    stopClockLocked();
    sink->flush();
    ++audioGeneration;
    audioStart = time;
    // Paused, the sound is made ready for playing at the normal rate.
    audioRate = rate > 0 ? rate : 1.0;
    audioPrimed = false;
    audioEnded = false;
    changed.notify_all();
}

void PlayerCore::restartLocked(const MediaTime& time)
{
    restartAudioLocked(time);
    ++generation;
    generationMirror = generation;
    restartTime = time;
    frames.clear();
    queuedBytes = 0;
    videoEnded = false;
    landing = true;
    anchorTime = time;
    changed.notify_all();
}

void PlayerCore::supersedeSeekLocked()
{
    if (pendingSeek) {
        postCompletion(std::move(*pendingSeek), false);
        pendingSeek.reset();
    }
}

void PlayerCore::showLocked(QueuedFrame frame)
{
    output->publish({std::move(frame.buffer), frame.time, frame.duration, 0});
    notifyOutput = true;
    ++statistics.framesDisplayed;
}

void PlayerCore::jumpLocked(const MediaTime& time)
{
    for (TimeObserver& observer : observers) {
        observer.lastTick = floorDivide(time, observer.interval);
        postObserverLocked(observer, time);
    }
}

void PlayerCore::postObserverLocked(TimeObserver& observer, const MediaTime& time)
{
    observer.pendingTime = time;
    if (observer.callPending) {
        return; // the call on its way reports the newest time
    }
    observer.callPending = true;
    mainQueue->post([weak = weak_from_this(), token = observer.token] {
        const std::shared_ptr<PlayerCore> core = weak.lock();
        if (!core) {
            return;
        }
        std::shared_ptr<const std::function<void(const MediaTime&)>> block;
        MediaTime time;
        {
            std::lock_guard lock(core->mutex);
            const auto found = std::find_if(core->observers.begin(), core->observers.end(),
                                            [&](const TimeObserver& o) { return o.token == token; });
            if (found == core->observers.end()) {
                return; // removed meanwhile
            }
            found->callPending = false;
            time = found->pendingTime;
            block = found->block;
        }
        (*block)(time);
    });
}

void PlayerCore::postCompletion(std::function<void(bool)> completion, bool finished) const
{
    if (completion) {
        mainQueue->post([completion = std::move(completion), finished] { completion(finished); });
    }
}

bool PlayerCore::roomForFrameLocked(std::size_t frameBytes) const
{
    if (frames.empty()) {
        return true;
    }
    const std::size_t frameBound = rate > 0 ? maximumQueuedFrames : maximumPausedQueuedFrames;
    if (frames.size() >= frameBound || queuedBytes + frameBytes > maximumQueuedBytes) {
        return false;
    }
    const double ahead = (frames.back().time - currentTimeLocked()).seconds();
    return ahead < item->preferredForwardBufferDuration();
}

QueuedFrame PlayerCore::popFrameLocked()
{
    QueuedFrame frame = std::move(frames.front());
    frames.pop_front();
    queuedBytes -= frame.bytes;
    changed.notify_all(); // room for the video thread
    return frame;
}

void PlayerCore::showDueLocked(const MediaTime& time, bool countDrops)
{
    while (frames.size() >= 2 && frames[1].time <= time) {
        popFrameLocked();
        statistics.framesDropped += countDrops ? 1 : 0;
    }
    if (!frames.empty() && frames.front().time <= time) {
        showLocked(popFrameLocked());
    }
}

std::optional<MediaTime> PlayerCore::landOnMadeFrameLocked(const MediaTime& target, const MediaTime& latest)
{
    if (landing) {
        return std::nullopt; // what is queued belongs to a restart still under way
    }
    const MediaTime end = std::max(MediaTime::zero(), duration());
    const std::optional<VideoOutput::Frame> shown = output->latestFrame();
    if (shown && shows(shown->time, shown->duration, target, end)) {
        return target;
    }
    for (std::size_t i = 0; i < frames.size() && frames[i].time <= latest; ++i) {
        const bool atTarget = shows(frames[i].time, frames[i].duration, target, end);
        if (atTarget || frames[i].time > target) {
            const MediaTime landed = atTarget ? target : frames[i].time;
            while (i-- > 0) {
                popFrameLocked();
            }
            showLocked(popFrameLocked());
            return landed;
        }
    }
    return std::nullopt;
}

std::optional<double> PlayerCore::presentLocked()
{
    if (!item) {
        return std::nullopt;
    }
    const MediaTime end = duration();

    // A restart lands on its first frame (or on nothing, for an item without picture).
    if (landing) {
        if (!frames.empty()) {
            showLocked(popFrameLocked());
            landing = false;
        } else if (videoEnded || !item->hasVideo()) {
            output->clear();
            notifyOutput = true;
            landing = false;
        } else {
            return std::nullopt;
        }
        if (pendingSeek) {
            postCompletion(std::move(*pendingSeek), true);
            pendingSeek.reset();
        }
        jumpLocked(anchorTime);
        changed.notify_all();
    }

    if (rate > 0 && !clockRunning) {
        if (anchorTime >= end) {
            rate = 0; // nothing left to play
            jumpLocked(anchorTime);
            return std::nullopt;
        }
        if (!audioPrimed && !audioEnded) {
            return std::nullopt; // the audio thread wakes us
        }
        startClockLocked();
        jumpLocked(anchorTime);
    }
    if (!clockRunning) {
        // Stopped where a frame made late (the last one, at the end) is due: it is shown.
        showDueLocked(anchorTime, false);
        return std::nullopt;
    }

    const MediaTime now = currentTimeLocked();
    showDueLocked(now, true);

    if (now >= end) {
        stopClockLocked();
        anchorTime = end;
        rate = 0;
        jumpLocked(end);
        return std::nullopt;
    }

    MediaTime next = end;
    for (TimeObserver& observer : observers) {
        const std::int64_t tick = floorDivide(now, observer.interval);
        if (tick != observer.lastTick) {
            observer.lastTick = tick;
            postObserverLocked(observer, now);
        }
        next = std::min(next, observer.interval.multipliedBy(tick + 1));
    }
    if (!frames.empty()) {
        next = std::min(next, frames.front().time);
    }
    return std::clamp((next - now).seconds() / rate, kShortestSleep, kLongestSleep);
}

void PlayerCore::run()
{
    std::unique_lock lock(mutex);
    while (!stopping) {
        const std::optional<double> sleep = presentLocked();
        if (notifyOutput) {
            notifyOutput = false;
            lock.unlock();
            output->notify();
            lock.lock();
            continue;
        }
        if (stopping) {
            break;
        }
        if (sleep) {
            changed.wait_for(lock, std::chrono::duration<double>(*sleep));
        } else {
            changed.wait(lock);
        }
    }
}

} // namespace velmora::internal
