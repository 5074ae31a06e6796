#pragma once

#include <memory>
#include <mutex>

#include "platform/dispatch/Clock.h"
#include "platform/media/AudioSink.h"

namespace velmora {

// A sink for machines without an audio device: it plays nothing, but consumes its queue in real
// time as `clock` tells it, so that a player keeps time and its sound is paced as on a device.
//
// The clock runs regardless of the queue: when the writer falls behind, the time it missed is
// lost to the queue (as a device plays silence through an underrun) while playedFrames() keeps
// counting.
class NullAudioSink : public AudioSink {
public:
    // `capacityFrames`: the queue's bound (default 40 ms), at least 1.
    explicit NullAudioSink(std::shared_ptr<Clock> clock, std::int64_t capacityFrames = 1920);

    std::int64_t writableFrames() const override;
    std::int64_t write(std::span<const float> samples, const MediaTime& presentationTime) override;
    void start() override;
    void pause() override;
    void flush() override;
    std::int64_t playedFrames() const override;

    std::int64_t capacityFrames() const { return capacity_; }

protected:
    // Frames taken from the queue by the consumer so far (they left the queue in write order).
    std::int64_t consumedFrames() const;
    // Frames accepted by write() so far, less those dropped by flush().
    std::int64_t writtenFrames() const;

private:
    // Brings the counters up to the clock. Requires mutex_.
    void update() const;

    const std::shared_ptr<Clock> clock_;
    const std::int64_t capacity_;
    mutable std::mutex mutex_;
    // Guarded by mutex_; mutable because reading the counters brings them up to date.
    mutable bool running_ = false;
    mutable double startedAt_ = 0;     // clock seconds at start()
    mutable std::int64_t playedBase_ = 0; // frames played before the last start()
    mutable std::int64_t played_ = 0;  // frames the clock has consumed
    mutable std::int64_t consumed_ = 0; // frames of the queue consumed (never above written_)
    std::int64_t written_ = 0;
};

} // namespace velmora
