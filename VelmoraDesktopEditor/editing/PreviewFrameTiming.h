#pragma once

#include <cstdint>
#include <optional>

namespace velmora {

// A frame duration as an exact rational number of seconds (value / timescale).
struct FrameDuration {
    std::int64_t value = 0;
    std::int32_t timescale = 1;

    double seconds() const { return static_cast<double>(value) / static_cast<double>(timescale); }
    bool operator==(const FrameDuration&) const = default;
};

// The time grid of the preview: the frame duration that composition, frame stepping and the
// timeline frame rate use for a video track, and the UI refresh interval during playback.
namespace PreviewFrameTiming {

// The UI refresh interval while playing: 1/120 s.
inline constexpr FrameDuration playbackUIInterval{1, 120};

// Frame duration for a video track of the given nominal frame rate (absent: no track).
// Rates near 59.94, 23.976 and 30 snap to those rates; other rates round to a whole number of
// frames per second between 24 and 240. A rate that is not a finite number counts as no track.
FrameDuration frameDuration(std::optional<float> nominalFrameRate);

// The interval of the periodic time observer: one frame.
FrameDuration observerInterval(std::optional<float> nominalFrameRate);

} // namespace PreviewFrameTiming

} // namespace velmora
