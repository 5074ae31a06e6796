#pragma once

#include <vector>

#include "platform/media/MediaTime.h"
#include "platform/media/PixelBuffer.h"

namespace velmora {

// One unit of media read from or written to a file: a video frame or a run of audio samples,
// with its presentation time and duration on the asset's timeline.
struct SampleBuffer {
    MediaTime presentationTime;
    MediaTime duration;

    // Video: the frame. Null for audio and for outputs that deliver float images.
    PixelBuffer imageBuffer;
    // Video read as float images: the frame as R'G'B' (row 0 at the top, alpha 1), tagged with
    // the frame's colours. Empty otherwise.
    Image image;

    // Audio: interleaved 32-bit float samples, audioFrameCount frames of audioChannels each,
    // at audioSampleRate frames per second. Empty for video.
    std::vector<float> audioSamples;
    int audioFrameCount = 0;
    int audioChannels = 0;
    int audioSampleRate = 0;

    bool hasImageBuffer() const { return static_cast<bool>(imageBuffer); }
    bool hasImage() const { return image.hasPixels(); }
};

} // namespace velmora
