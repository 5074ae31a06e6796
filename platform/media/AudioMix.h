#pragma once

#include <cstdint>
#include <vector>

#include "platform/media/MediaTime.h"

namespace velmora {

// A volume change of one mix input: from `startVolume` to `endVolume`, linearly, over
// `timeRange` (composition time). A zero-length range is a set point: the volume becomes
// `startVolume` at that instant.
struct AudioVolumeRamp {
    MediaTimeRange timeRange;
    float startVolume = 1.0f;
    float endVolume = 1.0f;

    friend bool operator==(const AudioVolumeRamp&, const AudioVolumeRamp&) = default;
};

// One straight piece of a volume envelope over output sample frames:
// gain(n) = startGain + slope × (n − firstFrame) for firstFrame <= n < endFrame. Ramps (slope not 0)
// always have finite bounds; constant pieces may start at INT64_MIN or end at INT64_MAX.
struct AudioVolumePiece {
    std::int64_t firstFrame = 0;
    std::int64_t endFrame = 0;
    double startGain = 1.0;
    double slope = 0.0;
};

// The volume envelope of one composition track in a mix.
//
// Evaluation at time t: a ramp whose range covers t gives its linear interpolation (when
// several do, the one starting last); otherwise the volume at the end of the ramp or set point
// that ended last at or before t; before any of them, 1.0. Setting a ramp or point with the
// same range as an earlier one replaces it.
class AudioMixInputParameters {
public:
    AudioMixInputParameters() = default;
    explicit AudioMixInputParameters(int trackID) : trackID_(trackID) {}

    int trackID() const { return trackID_; }
    void setTrackID(int trackID) { trackID_ = trackID; }

    // Non-numeric times and negative durations are ignored.
    void setVolume(float volume, const MediaTime& atTime);
    void setVolumeRamp(float startVolume, float endVolume, const MediaTimeRange& timeRange);

    // In the order they were set.
    const std::vector<AudioVolumeRamp>& volumeRamps() const { return ramps_; }

    float volume(const MediaTime& time) const;

    // The envelope as straight pieces over sample frames at `sampleRate`, frame 0 being the
    // composition time `origin`. The pieces are ordered, do not overlap and cover every frame
    // from INT64_MIN to INT64_MAX, so a renderer can walk them with a cursor.
    std::vector<AudioVolumePiece> volumePieces(int sampleRate, const MediaTime& origin) const;

private:
    // The ramp that decides the volume at `time`, or -1 for the default of 1.0. `covering`
    // tells whether the ramp is being interpolated (true) or held at its end volume.
    int governingRamp(const MediaTime& time, bool& covering) const;

    int trackID_ = 0;
    std::vector<AudioVolumeRamp> ramps_;
};

// The level settings of a composition's audio tracks. Tracks without parameters play at 1.0.
struct AudioMix {
    std::vector<AudioMixInputParameters> inputParameters;

    // The first parameters for `trackID`, or nullptr.
    const AudioMixInputParameters* parametersForTrack(int trackID) const;
};

} // namespace velmora
