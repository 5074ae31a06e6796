#pragma once

#include <optional>

namespace velmora {

// The timeline zoom: a slider from 0 to 100 mapped logarithmically onto pixels per second,
// one slider unit being a factor of 30000^(1/100) (about 1.108).
namespace TimelineZoom {

inline constexpr double ppsMin = 0.02;
inline constexpr double ppsMax = 600.0;

// The zoom of a new timeline; what uiToPps and ppsToUI fall back to for a value that is not a
// number.
inline constexpr double ppsDefault = 100.0;

double uiToPps(double sliderValue);
double ppsToUI(double pixelsPerSecond);

// Limits to [ppsMin, ppsMax]; not-a-number gives ppsMax, as an unbounded value would (not
// ppsDefault).
double clampPps(double pixelsPerSecond);

// What a timeline without a usable stored zoom is drawn at.
inline constexpr double ppsWhenUnset = 80.0;

// The zoom a timeline is drawn, read out and snapped at: its stored zoom limited to [ppsMin,
// ppsMax], or ppsWhenUnset for none or one that is not a positive number (which would put every
// clip at one place or mirror the lanes).
double shownPps(std::optional<double> stored);

} // namespace TimelineZoom

} // namespace velmora
