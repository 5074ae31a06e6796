#pragma once

#include <optional>

namespace velmora::Exporter {

// A clip speed as the export reads it: a magnitude above 10 is a percentage (150 means 1.5),
// anything else a factor; a missing or non-finite speed is 1. The sign is kept.
double exportSpeedFactor(std::optional<double> speed);

// The source time, in seconds, at which a clip's media ends: the in point (negative or
// non-finite counts as 0) plus the timeline duration times the speed factor (read by
// effectiveClipSpeed: at least 0.0625);
// extended to the out point when one is given past the in point; limited to the asset's
// duration when that is known (above 0.05 s); never less than the in point + 0.001 s.
double effectiveSourceOutPoint(double inPoint, std::optional<double> outPoint, double timelineDuration,
                               double speed, std::optional<double> assetDuration);

} // namespace velmora::Exporter
