#pragma once

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

} // namespace TimelineZoom

} // namespace velmora
