#pragma once

#include <memory>

#include "platform/media/AudioSink.h"

namespace velmora {

// Sound on the default output device through Qt Multimedia's QAudioSink: 48 kHz stereo float in
// pull mode, the device reading from a ring buffer that write() fills.
//
// The QAudioSink lives on a thread of this sink's own with an event loop, so the sink works
// whatever the caller's thread does; that thread is joined by the destructor. playedFrames()
// follows the device's own count of processed audio, between its reports by the steady clock,
// and never runs ahead of what the device has been given.
class QtAudioSink final : public AudioSink {
public:
    // The default output device's sink, or nullptr when there is no Qt application object (its
    // event loop needs one), no output device, or the device does not take 48 kHz stereo float.
    // `capacityFrames`: the ring buffer's bound (default 50 ms).
    static std::shared_ptr<QtAudioSink> makeDefault(std::int64_t capacityFrames = 2400);

    ~QtAudioSink() override;
    QtAudioSink(const QtAudioSink&) = delete;
    QtAudioSink& operator=(const QtAudioSink&) = delete;

    std::int64_t writableFrames() const override;
    std::int64_t write(std::span<const float> samples, const MediaTime& presentationTime) override;
    void start() override;
    void pause() override;
    void flush() override;
    std::int64_t playedFrames() const override;

    struct Impl;

private:
    explicit QtAudioSink(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace velmora
