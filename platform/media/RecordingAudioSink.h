#pragma once

#include <mutex>
#include <vector>

#include "platform/media/NullAudioSink.h"

namespace velmora {

// A NullAudioSink that keeps what it plays, with the item time of every sample, so that a test
// can listen to a player. Only what the clock has consumed counts as played: what a flush drops
// from the queue is not in the recording.
class RecordingAudioSink final : public NullAudioSink {
public:
    // A stretch of samples whose item times follow one another without a gap.
    struct Run {
        MediaTime start; // item time of the first frame, on timescale 48000 when the player wrote it
        std::vector<float> samples; // interleaved stereo

        std::int64_t frameCount() const { return static_cast<std::int64_t>(samples.size()) / channelCount; }
    };

    using NullAudioSink::NullAudioSink;

    std::int64_t write(std::span<const float> samples, const MediaTime& presentationTime) override;
    void flush() override;

    // The samples played so far, in the order they were played.
    std::vector<Run> recording() const;

private:
    struct Block {
        std::int64_t firstFrame = 0; // position in the sink's queue (written frames before it)
        MediaTime time;
        std::vector<float> samples;
    };

    mutable std::mutex blocksMutex_;
    std::vector<Block> blocks_; // guarded by blocksMutex_
};

} // namespace velmora
