#include "platform/media/NullAudioSink.h"

#include <algorithm>
#include <cmath>

namespace velmora {

NullAudioSink::NullAudioSink(std::shared_ptr<Clock> clock, std::int64_t capacityFrames)
    : clock_(clock ? std::move(clock) : systemClock()), capacity_(std::max<std::int64_t>(capacityFrames, 1))
{
}

void NullAudioSink::update() const
{
    if (!running_) {
        return;
    }
    // Counted from the start, not summed per call, so that no rounding error builds up.
    const double elapsed = std::max(0.0, clock_->now() - startedAt_);
    const std::int64_t played = playedBase_ + std::llround(elapsed * sampleRate);
    if (played > played_) {
        consumed_ = std::min(written_, consumed_ + (played - played_));
        played_ = played;
    }
}

std::int64_t NullAudioSink::writableFrames() const
{
    std::lock_guard lock(mutex_);
    update();
    return capacity_ - (written_ - consumed_);
}

std::int64_t NullAudioSink::write(std::span<const float> samples, const MediaTime&)
{
    std::lock_guard lock(mutex_);
    update();
    const std::int64_t frames = static_cast<std::int64_t>(samples.size()) / channelCount;
    const std::int64_t taken = std::clamp<std::int64_t>(capacity_ - (written_ - consumed_), 0, frames);
    written_ += taken;
    return taken;
}

void NullAudioSink::start()
{
    std::lock_guard lock(mutex_);
    if (!running_) {
        running_ = true;
        startedAt_ = clock_->now();
        playedBase_ = played_;
    }
}

void NullAudioSink::pause()
{
    std::lock_guard lock(mutex_);
    update();
    running_ = false;
}

void NullAudioSink::flush()
{
    std::lock_guard lock(mutex_);
    update();
    running_ = false;
    written_ = consumed_;
}

std::int64_t NullAudioSink::playedFrames() const
{
    std::lock_guard lock(mutex_);
    update();
    return played_;
}

std::int64_t NullAudioSink::consumedFrames() const
{
    std::lock_guard lock(mutex_);
    update();
    return consumed_;
}

std::int64_t NullAudioSink::writtenFrames() const
{
    std::lock_guard lock(mutex_);
    return written_;
}

} // namespace velmora
