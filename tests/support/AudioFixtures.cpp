#include "support/AudioFixtures.h"

#include <algorithm>
#include <cmath>

#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

namespace velmora::test {

namespace {

std::string number(double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.6f", value);
    return buffer;
}

} // namespace

void makeToneFile(const std::filesystem::path& path, const std::vector<Tone>& tones, int sampleRate, int channels)
{
    std::string inputs;
    std::string graph;
    for (std::size_t i = 0; i < tones.size(); ++i) {
        const Tone& tone = tones[i];
        if (tone.frequency > 0) {
            inputs += " -f lavfi -i " + shellQuote("sine=frequency=" + number(tone.frequency) + ":sample_rate="
                                                   + std::to_string(sampleRate) + ":duration=" + number(tone.seconds));
        } else {
            // The length is the source's own: an input option `-t` here would apply to the next
            // input, and a silence that never ends fills the disk.
            inputs += " -f lavfi -i " + shellQuote("anullsrc=channel_layout=mono:sample_rate=" + std::to_string(sampleRate)
                                                   + ":duration=" + number(tone.seconds));
        }
        graph += "[" + std::to_string(i) + ":a]";
    }
    graph += "concat=n=" + std::to_string(tones.size()) + ":v=0:a=1";
    // Every channel carries the tone at full level (a plain upmix would lower it by 3 dB).
    graph += ",pan=" + std::to_string(channels) + "c|";
    for (int c = 0; c < channels; ++c) {
        graph += (c ? "|c" : "c") + std::to_string(c) + "=c0";
    }
    graph += "[a]";
    const std::string extension = path.extension().string();
    const std::string codec = extension == ".wav" ? "-c:a pcm_s16le" : "-c:a aac -b:a 192k";
    generateMedia(inputs + " -filter_complex " + shellQuote(graph) + " -map '[a]' -ac " + std::to_string(channels) +
                      " -ar " + std::to_string(sampleRate) + " " + codec,
                  path);
}

double toneAmplitude(std::span<const float> interleaved, int channels, int channel, std::int64_t first,
                     std::int64_t count, double frequency, int sampleRate)
{
    const double omega = 2.0 * M_PI * frequency / sampleRate;
    const double coefficient = 2.0 * std::cos(omega);
    double s1 = 0;
    double s2 = 0;
    for (std::int64_t n = 0; n < count; ++n) {
        const double x = interleaved[static_cast<std::size_t>((first + n) * channels + channel)];
        const double s0 = x + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / double(count);
}

double peakLevel(std::span<const float> interleaved, int channels, int channel, std::int64_t first,
                 std::int64_t count)
{
    double peak = 0;
    for (std::int64_t n = 0; n < count; ++n) {
        peak = std::max(peak, double(std::fabs(interleaved[static_cast<std::size_t>((first + n) * channels + channel)])));
    }
    return peak;
}

std::int64_t firstFrameAbove(std::span<const float> interleaved, int channels, int channel, double threshold)
{
    const std::int64_t frames = static_cast<std::int64_t>(interleaved.size()) / channels;
    for (std::int64_t n = 0; n < frames; ++n) {
        if (std::fabs(interleaved[static_cast<std::size_t>(n * channels + channel)]) > threshold) {
            return n;
        }
    }
    return -1;
}

} // namespace velmora::test
