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

// The frame grid everything a user sees is counted on: frame n starts at exactly
// n × frame.value / frame.timescale seconds, and the frame at time t is ⌊t × rate + 1e-6⌋ (the
// small term keeps a frame's own start, computed in floating point, on that frame). The paused
// picture, its graded still, the time read-out, frame steps and the export all count frames on
// one grid; whoever needs a frame number or a frame's start asks it.
struct FrameGrid {
    FrameDuration frame{1, 30};

    // The grid of a rate, on the export's time base (rateTimebase).
    static FrameGrid ofRate(double fps);

    // Frames per second, exactly timescale / value.
    double rate() const { return static_cast<double>(frame.timescale) / static_cast<double>(frame.value); }
    // The frame shown at `seconds` (floored, so negative before 0); 0 for a time that is not a
    // finite number, clamped to ±2^53 frames.
    std::int64_t index(double seconds) const;
    // The start of frame `index`, in seconds.
    double start(std::int64_t index) const;
    // The start of the frame shown at `seconds`, never below 0.
    double snap(double seconds) const;
    // The frames a timeline of `length` seconds has on this grid, as its export writes them: its
    // length in frames rounded to the nearest whole number (frames 0 … count − 1). Not a finite
    // number for a length that is not one.
    double frameCount(double length) const;
    // The last of those frames, at least 0 (a length that is not a finite number gives 0): the
    // last frame the playhead can name, so the monitor and the export end on the same frame.
    std::int64_t lastFrame(double length) const;

    bool operator==(const FrameGrid&) const = default;
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

// The grid of the program monitor and its read-out: the grid of the rate the project runs at
// (projectFrameRate), which its render job hands the export.
FrameGrid pictureGrid(std::optional<double> projectFps);

// The interval of the periodic time observer: one frame.
FrameDuration observerInterval(std::optional<float> nominalFrameRate);

} // namespace PreviewFrameTiming

} // namespace velmora
