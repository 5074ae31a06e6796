#include "editing/TimelineZoom.h"

#include <algorithm>
#include <cmath>

namespace velmora::TimelineZoom {

namespace {
constexpr double kLogRange = 10.308952660644293; // ln(ppsMax / ppsMin) = ln 30000
}

double uiToPps(double sliderValue)
{
    if (std::isnan(sliderValue)) {
        return ppsDefault;
    }
    const double exponent = sliderValue < 100 ? std::max(sliderValue, 0.0) / 100.0 : 1.0;
    return ppsMin * std::pow(30000.0, exponent);
}

double ppsToUI(double pixelsPerSecond)
{
    if (std::isnan(pixelsPerSecond)) {
        pixelsPerSecond = ppsDefault;
    }
    if (pixelsPerSecond >= ppsMax) {
        return 100.0;
    }
    return 100.0 * std::log(std::max(pixelsPerSecond, ppsMin) / ppsMin) / kLogRange;
}

double clampPps(double pixelsPerSecond)
{
    // NaN counts as the widest zoom, as an unbounded value would.
    if (std::isnan(pixelsPerSecond)) {
        return ppsMax;
    }
    return std::max(std::min(pixelsPerSecond, ppsMax), ppsMin);
}

double shownPps(std::optional<double> stored)
{
    return stored && std::isfinite(*stored) && *stored > 0 ? clampPps(*stored) : ppsWhenUnset;
}

} // namespace velmora::TimelineZoom
