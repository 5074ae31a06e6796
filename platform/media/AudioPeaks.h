#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

// Peak levels of a file's sound, for waveform pictures.
namespace velmora::AudioPeaks {

// Interleaved samples per block: 512 frames of stereo.
inline constexpr int defaultBlockSamples = 1024;

// The peak level of every run of `blockSamples` interleaved samples of the file's first audio
// track, in file order. The track is decoded at its own sample rate and channel count and each
// sample is measured as 16-bit PCM would hold it: |s| / 32768 with s the sample rounded to 16
// bits, so a level lies in 0…1 of full scale. Blocks run on across decoded buffers; a last,
// partial block of at least one sample counts. Memory: one float per block, whatever the length.
//
// Nothing when the file cannot be opened, has no audio track, or the read does not run to the
// end (a decode failure, or `isCancelled` answering true; it is asked between buffers). An
// empty list for a track that decodes to no samples. A block size below 1 counts as 1.
//
// Threads: any thread; it blocks while it reads the whole track.
std::optional<std::vector<float>> readBlockPeaks(const std::filesystem::path& file,
                                                 int blockSamples = defaultBlockSamples,
                                                 const std::function<bool()>& isCancelled = {});

} // namespace velmora::AudioPeaks
