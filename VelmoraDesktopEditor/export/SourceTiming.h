#pragma once

#include <optional>

#include "model/ClipSpeed.h"

namespace velmora::Exporter {

// The source time, in seconds, at which a clip's media ends: the in point (negative or
// non-finite counts as 0) plus the timeline duration times the clip's rate (effectiveClipSpeed);
// extended to the out point when one is given past the in point; limited to the asset's
// duration when that is known (above 0.05 s); never less than the in point + 0.001 s.
double effectiveSourceOutPoint(double inPoint, std::optional<double> outPoint, double timelineDuration,
                               double speed, std::optional<double> assetDuration);

} // namespace velmora::Exporter
