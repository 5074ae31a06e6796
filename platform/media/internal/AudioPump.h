#pragma once

// Private to the media layer: the player's audio thread.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/media/AudioMixRenderer.h"
#include "platform/media/internal/PlayerCore.h"

namespace velmora::internal {

// Renders the current item's audio mix from the newest audio restart on, in blocks of 10 ms,
// into the core's sink whenever it has room for one, so that the sound runs at most the sink's
// bound ahead of what plays. Before each block it takes up an audio mix set on the item since
// the last one, and applies the player's volume. Silence when the audio generation was started
// for a rate other than 1, and after a source failed (the failure is recorded on the item); the
// sound keeps flowing until the item's end, since a device sink's consumption is the clock.
//
// Runs on its own thread (run()), which the Player joins.
class AudioPump {
public:
    static constexpr int blockFrames = 480;

    explicit AudioPump(PlayerCore& core);
    ~AudioPump();

    void run();

private:
    // Fills `block_` with the next block; false when the generation's sound has ended.
    bool renderBlock(MediaTime& presentationTime);

    PlayerCore& core_;
    std::shared_ptr<PlayerItem> item_;
    std::unique_ptr<AudioMixRenderer> renderer_;
    std::uint64_t mixGeneration_ = 0;
    bool silent_ = false;
    MediaTime start_;
    std::int64_t position_ = 0; // frames rendered since start_
    std::int64_t total_ = 0;    // frames from start_ to the item's end (unbounded when silent for a rate)
    std::vector<float> block_;
};

} // namespace velmora::internal
