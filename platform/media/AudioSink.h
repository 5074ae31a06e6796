#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "platform/dispatch/Clock.h"
#include "platform/media/MediaTime.h"

namespace velmora {

// Where a player's sound goes: 48 kHz stereo float, interleaved left/right, through a small
// queue that the output consumes in real time.
//
// The output's consumption is the player's clock: `playedFrames()` counts the frames consumed
// since the sink was made, advancing only between start() and pause(). A sink on a device counts
// what the device has played; a sink without one counts real time from a clock.
//
// Threads: every member may be called from any thread; the implementations lock what they share
// with their consuming side.
class AudioSink {
public:
    static constexpr int sampleRate = 48000;
    static constexpr int channelCount = 2;

    virtual ~AudioSink() = default;

    // Frames write() takes now without going past the queue's bound.
    virtual std::int64_t writableFrames() const = 0;
    // Queues `samples` (whole frames, interleaved), which play at item time `presentationTime`
    // (for sinks that record it). Takes at most writableFrames() frames and returns how many.
    virtual std::int64_t write(std::span<const float> samples, const MediaTime& presentationTime) = 0;

    // Starts or resumes consuming the queue.
    virtual void start() = 0;
    // Stops consuming; the queue is kept.
    virtual void pause() = 0;
    // Drops everything queued and not yet played. Leaves the sink paused.
    virtual void flush() = 0;

    // Frames played since the sink was made. Never goes back.
    virtual std::int64_t playedFrames() const = 0;
};

// The sink for a player: Qt Multimedia's default output device when there is one (and a Qt
// application object to run it), otherwise a NullAudioSink on `clock`.
std::shared_ptr<AudioSink> makeDefaultAudioSink(std::shared_ptr<Clock> clock = systemClock());

} // namespace velmora
