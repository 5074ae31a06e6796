#include "platform/media/AudioMix.h"

#include <algorithm>
#include <limits>

namespace velmora {

namespace {

__extension__ typedef __int128 Int128;

constexpr std::int64_t kFrameMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kFrameMax = std::numeric_limits<std::int64_t>::max();

// The first frame n with origin + n / sampleRate >= time.
std::int64_t firstFrameAtOrAfter(const MediaTime& time, const MediaTime& origin, int sampleRate)
{
    const MediaTime offset = time - origin;
    if (offset.isPositiveInfinity()) {
        return kFrameMax;
    }
    if (!offset.isNumeric()) {
        return kFrameMin;
    }
    const Int128 numerator = Int128(offset.value()) * sampleRate;
    const Int128 denominator = offset.timescale();
    Int128 quotient = numerator / denominator;
    if (numerator % denominator != 0 && numerator > 0) {
        ++quotient;
    }
    return static_cast<std::int64_t>(
        std::clamp<Int128>(quotient, Int128(kFrameMin), Int128(kFrameMax)));
}

double interpolate(const AudioVolumeRamp& ramp, const MediaTime& time)
{
    const double fraction = (time - ramp.timeRange.start).seconds() / ramp.timeRange.duration.seconds();
    return ramp.startVolume + (double(ramp.endVolume) - ramp.startVolume) * fraction;
}

} // namespace

void AudioMixInputParameters::setVolume(float volume, const MediaTime& atTime)
{
    setVolumeRamp(volume, volume, MediaTimeRange(atTime, MediaTime::zero()));
}

void AudioMixInputParameters::setVolumeRamp(float startVolume, float endVolume, const MediaTimeRange& timeRange)
{
    if (!timeRange.start.isNumeric() || !timeRange.duration.isNumeric()
        || timeRange.duration < MediaTime::zero()) {
        return;
    }
    const AudioVolumeRamp ramp{timeRange, startVolume, endVolume};
    for (AudioVolumeRamp& existing : ramps_) {
        if (existing.timeRange == timeRange) {
            existing = ramp;
            return;
        }
    }
    ramps_.push_back(ramp);
}

int AudioMixInputParameters::governingRamp(const MediaTime& time, bool& covering) const
{
    int best = -1;
    for (std::size_t i = 0; i < ramps_.size(); ++i) {
        const AudioVolumeRamp& ramp = ramps_[i];
        if (ramp.timeRange.duration > MediaTime::zero() && ramp.timeRange.containsTime(time)) {
            if (best < 0 || ramp.timeRange.start >= ramps_[best].timeRange.start) {
                best = static_cast<int>(i);
            }
        }
    }
    if (best >= 0) {
        covering = true;
        return best;
    }
    covering = false;
    for (std::size_t i = 0; i < ramps_.size(); ++i) {
        const AudioVolumeRamp& ramp = ramps_[i];
        const MediaTime end = ramp.timeRange.end();
        if (end > time) {
            continue;
        }
        if (best < 0) {
            best = static_cast<int>(i);
            continue;
        }
        const AudioVolumeRamp& current = ramps_[best];
        const MediaTime currentEnd = current.timeRange.end();
        if (end > currentEnd || (end == currentEnd && ramp.timeRange.start >= current.timeRange.start)) {
            best = static_cast<int>(i);
        }
    }
    return best;
}

float AudioMixInputParameters::volume(const MediaTime& time) const
{
    bool covering = false;
    const int index = governingRamp(time, covering);
    if (index < 0) {
        return 1.0f;
    }
    const AudioVolumeRamp& ramp = ramps_[index];
    return covering ? static_cast<float>(interpolate(ramp, time)) : ramp.endVolume;
}

std::vector<AudioVolumePiece> AudioMixInputParameters::volumePieces(int sampleRate, const MediaTime& origin) const
{
    std::vector<MediaTime> boundaries;
    boundaries.reserve(ramps_.size() * 2);
    for (const AudioVolumeRamp& ramp : ramps_) {
        boundaries.push_back(ramp.timeRange.start);
        boundaries.push_back(ramp.timeRange.end());
    }
    std::sort(boundaries.begin(), boundaries.end());
    boundaries.erase(std::unique(boundaries.begin(), boundaries.end()), boundaries.end());

    std::vector<AudioVolumePiece> pieces;
    pieces.reserve(boundaries.size() + 1);
    auto append = [&pieces](std::int64_t first, std::int64_t end, double startGain, double slope) {
        if (first >= end) {
            return;
        }
        if (!pieces.empty() && slope == 0.0 && pieces.back().slope == 0.0
            && pieces.back().startGain == startGain) {
            pieces.back().endFrame = end;
            return;
        }
        pieces.push_back(AudioVolumePiece{first, end, startGain, slope});
    };

    if (boundaries.empty()) {
        append(kFrameMin, kFrameMax, 1.0, 0.0);
        return pieces;
    }
    append(kFrameMin, firstFrameAtOrAfter(boundaries.front(), origin, sampleRate), 1.0, 0.0);
    for (std::size_t i = 0; i < boundaries.size(); ++i) {
        const std::int64_t first = firstFrameAtOrAfter(boundaries[i], origin, sampleRate);
        const std::int64_t end = i + 1 < boundaries.size()
                                     ? firstFrameAtOrAfter(boundaries[i + 1], origin, sampleRate)
                                     : kFrameMax;
        if (first >= end) {
            continue;
        }
        bool covering = false;
        const int index = governingRamp(boundaries[i], covering);
        if (index < 0) {
            append(first, end, 1.0, 0.0);
            continue;
        }
        const AudioVolumeRamp& ramp = ramps_[index];
        if (!covering) {
            append(first, end, ramp.endVolume, 0.0);
            continue;
        }
        // Gain at frame `first`, then the ramp's change per frame.
        const MediaTime firstTime = origin + MediaTime(first, sampleRate);
        const double slope = (double(ramp.endVolume) - ramp.startVolume)
                             / (ramp.timeRange.duration.seconds() * sampleRate);
        append(first, end, interpolate(ramp, firstTime), slope);
    }
    return pieces;
}

const AudioMixInputParameters* AudioMix::parametersForTrack(int trackID) const
{
    for (const AudioMixInputParameters& parameters : inputParameters) {
        if (parameters.trackID() == trackID) {
            return &parameters;
        }
    }
    return nullptr;
}

} // namespace velmora
