#include "export/SourceTiming.h"

#include <algorithm>
#include <cmath>

#include "model/ClipSpeed.h"

namespace velmora::Exporter {

double effectiveSourceOutPoint(double inPoint, std::optional<double> outPoint, double timelineDuration,
                               double speed, std::optional<double> assetDuration)
{
    const double in = std::isfinite(inPoint) ? std::max(inPoint, 0.0) : 0.0;
    const double duration = std::isfinite(timelineDuration) ? std::max(timelineDuration, 0.0) : 0.0;
    const double factor = effectiveClipSpeed(speed);
    double end = in + duration * factor;
    if (outPoint && std::isfinite(*outPoint) && *outPoint > in + 0.0001) {
        end = std::max(end, *outPoint);
    }
    if (assetDuration && std::isfinite(*assetDuration) && *assetDuration > 0.05) {
        end = std::min(end, *assetDuration);
    }
    return std::max(end, in + 0.001);
}

} // namespace velmora::Exporter
