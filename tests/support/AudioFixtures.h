#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace velmora::test {

// One sine tone of a tone file: `frequency` in Hz lasting `seconds`. A frequency of 0 is silence.
struct Tone {
    double frequency = 440;
    double seconds = 1;
};

// Writes an audio file holding `tones` one after another, each a sine of amplitude 1/8, made by
// the ffmpeg tool. The codec follows the extension: ".wav" 16-bit PCM, ".m4a" or ".mp4" AAC.
// Throws std::runtime_error with the tool's output when it fails.
void makeToneFile(const std::filesystem::path& path, const std::vector<Tone>& tones, int sampleRate = 48000,
                  int channels = 1);

// The amplitude of a sine of `frequency` in `count` frames from `first` of one channel of
// interleaved samples (Goertzel). A steady sine of amplitude A whose period divides the window
// gives A.
double toneAmplitude(std::span<const float> interleaved, int channels, int channel, std::int64_t first,
                     std::int64_t count, double frequency, int sampleRate);

// The largest absolute sample of one channel in `count` frames from `first`.
double peakLevel(std::span<const float> interleaved, int channels, int channel, std::int64_t first,
                 std::int64_t count);

// The first frame of one channel whose absolute sample exceeds `threshold`, or -1.
std::int64_t firstFrameAbove(std::span<const float> interleaved, int channels, int channel, double threshold);

} // namespace velmora::test
