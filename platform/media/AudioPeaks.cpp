#include "platform/media/AudioPeaks.h"

#include <algorithm>
#include <cmath>

#include "platform/media/Asset.h"
#include "platform/media/AssetReader.h"

namespace velmora::AudioPeaks {
namespace {

// What the reader's resampler accepts; a track outside it is read at the nearest it allows.
constexpr int kMaximumChannels = 16;
constexpr int kMaximumSampleRate = 768000;
constexpr int kFallbackSampleRate = 48000;

// A float sample as the 16-bit integer it becomes in PCM (rounded, clipped), over 32768.
float sixteenBitLevel(float sample)
{
    if (std::isnan(sample)) {
        return 0;
    }
    const float clipped = std::clamp(sample * 32768.0f, -32768.0f, 32767.0f);
    return std::fabs(std::nearbyint(clipped)) / 32768.0f;
}

} // namespace

std::optional<std::vector<float>> readBlockPeaks(const std::filesystem::path& file, int blockSamples,
                                                 const std::function<bool()>& isCancelled)
{
    blockSamples = std::max(blockSamples, 1);
    try {
        const std::shared_ptr<const Asset> asset = Asset::open(file);
        const AssetTrack* track = asset->firstTrack(MediaType::audio);
        if (!track) {
            return std::nullopt;
        }
        const int sampleRate =
            track->sampleRate >= 1 ? std::min(track->sampleRate, kMaximumSampleRate) : kFallbackSampleRate;
        const int channels = std::clamp(track->channelCount, 1, kMaximumChannels);
        AssetReader reader(asset);
        const std::shared_ptr<AssetReaderTrackOutput> output =
            AssetReaderTrackOutput::audio(*track, sampleRate, channels);
        reader.add(output);
        if (!reader.startReading()) {
            return std::nullopt;
        }

        std::vector<float> peaks;
        int count = 0;
        float peak = 0;
        while (reader.status() == AssetReaderStatus::reading) {
            if (isCancelled && isCancelled()) {
                reader.cancelReading();
                return std::nullopt;
            }
            const std::optional<SampleBuffer> buffer = output->copyNextSampleBuffer();
            if (!buffer) {
                break;
            }
            const std::size_t samples =
                std::min(buffer->audioSamples.size(),
                         static_cast<std::size_t>(std::max(buffer->audioFrameCount, 0)) *
                             static_cast<std::size_t>(std::max(buffer->audioChannels, 0)));
            for (std::size_t i = 0; i < samples; ++i) {
                peak = std::max(peak, sixteenBitLevel(buffer->audioSamples[i]));
                if (++count == blockSamples) {
                    peaks.push_back(peak);
                    count = 0;
                    peak = 0;
                }
            }
        }
        if (reader.status() != AssetReaderStatus::completed) {
            return std::nullopt;
        }
        if (count > 0) {
            peaks.push_back(peak);
        }
        return peaks;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace velmora::AudioPeaks
