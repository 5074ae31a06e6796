#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "platform/foundation/Error.h"
#include "platform/media/AudioMix.h"
#include "platform/media/Composition.h"
#include "platform/media/MediaTime.h"
#include "platform/media/SampleBuffer.h"

namespace velmora {

// Renders the audio tracks of a composition, with the levels of an audio mix, to 48 kHz stereo
// float samples (interleaved left/right), pulled chunk by chunk.
//
// Each edit's source is decoded from its file, converted to 48 kHz stereo (mono is copied to
// both channels at full level), and, when the edit is scaled, time-stretched with its pitch kept;
// the envelope of the track's mix parameters is applied per sample and all tracks are summed
// in float (no clipping: the sum may exceed ±1). Empty edits and time past a track's end are
// silence; a source that ends before its edit does is padded with silence.
//
// Threads: nextChunk and the status accessors belong to one thread at a time (the reading
// queue); cancelReading may be called from any thread and takes effect at the next check,
// at the latest at the next chunk.
class AudioMixRenderer {
public:
    static constexpr int sampleRate = 48000;
    static constexpr int channelCount = 2;

    enum class Status { reading, completed, failed, cancelled };

    // One rendered piece of the mix.
    struct Chunk {
        // frameCount() × 2 interleaved samples; valid until the next call or destruction.
        std::span<const float> samples;
        // Frames from the start of the rendered range.
        std::int64_t firstFrame = 0;
        // Composition time of the first frame, on timescale 48000.
        MediaTime presentationTime;

        std::int64_t frameCount() const { return static_cast<std::int64_t>(samples.size()) / channelCount; }
    };

    // Renders `timeRange` of the composition, by default all of it (zero to its duration). The
    // composition and mix are copied; no file is opened until the first chunk needs it.
    AudioMixRenderer(Composition composition, AudioMix audioMix,
                     std::optional<MediaTimeRange> timeRange = std::nullopt);
    ~AudioMixRenderer();
    AudioMixRenderer(const AudioMixRenderer&) = delete;
    AudioMixRenderer& operator=(const AudioMixRenderer&) = delete;

    // The next up to `maxFrames` frames (at least 1 is asked for), or none when reading has
    // ended: status() then tells whether it completed, failed (error() holds why: a source
    // that cannot be opened or decoded, domain "media") or was cancelled.
    std::optional<Chunk> nextChunk(int maxFrames = 4096);

    // The next chunk as a sample buffer of its own (48 kHz, 2 channels, presentation time on
    // the composition's time line), ready to append to a writer's audio input; none as for
    // nextChunk().
    std::optional<SampleBuffer> copyNextSampleBuffer(int maxFrames = 4096);

    // Replaces the levels from the next chunk on; the chunks already given keep theirs. Same
    // thread as nextChunk().
    void setAudioMix(const AudioMix& audioMix);

    void cancelReading();

    Status status() const;
    std::optional<Error> error() const;

    // Frames the whole range renders to, and frames delivered so far.
    std::int64_t totalFrames() const;
    std::int64_t framesRendered() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace velmora
