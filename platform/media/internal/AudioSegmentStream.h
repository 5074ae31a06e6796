#pragma once

// Private to the media layer's .cpp files.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "platform/media/MediaTime.h"

namespace velmora::internal {

// The audio of one composition edit as a stream of 48 kHz stereo float frames: the source
// track decoded from `sourceStart` on, converted to 48 kHz stereo, cut after `sourceDuration`
// and, when `tempo` is not 1, played `tempo` times faster with its pitch kept. Frames beyond
// what the source gives are silence, so a caller can always read exactly what it needs.
//
// Not thread-safe; `cancelled` is polled while decoding.
class AudioSegmentStream {
public:
    struct Parameters {
        std::filesystem::path url;
        int trackID = -1;
        MediaTime sourceStart;    // asset time (container start offset removed)
        MediaTime sourceDuration; // source time to play from sourceStart
        double tempo = 1.0;       // source seconds per output second
    };

    // Opens the file and its decoder and seeks. Throws Error of domain "media": the file is
    // missing or unreadable, the track does not exist or is not audio, or it cannot be decoded.
    AudioSegmentStream(const Parameters& parameters, const std::atomic<bool>* cancelled);
    ~AudioSegmentStream();
    AudioSegmentStream(const AudioSegmentStream&) = delete;
    AudioSegmentStream& operator=(const AudioSegmentStream&) = delete;

    // Writes `frames` interleaved stereo frames to `out`. Returns false when it stopped early
    // because of cancellation. Throws Error on a decoding failure.
    bool read(float* out, std::int64_t frames);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace velmora::internal
