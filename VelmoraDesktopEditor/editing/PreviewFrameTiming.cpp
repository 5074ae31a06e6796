#include "editing/PreviewFrameTiming.h"

#include <algorithm>
#include <cmath>

namespace velmora::PreviewFrameTiming {

FrameDuration frameDuration(std::optional<float> nominalFrameRate)
{
    double rate = nominalFrameRate ? static_cast<double>(*nominalFrameRate) : 0.0;
    if (!std::isfinite(rate)) {
        rate = 0.0;
    }
    if (rate > 50 && rate < 62) {
        return {1001, 60000};
    }
    if (rate > 23 && rate < 26) {
        return {1001, 24000};
    }
    if (rate > 29 && rate < 31) {
        return {1, 30};
    }
    const double whole = std::clamp(std::round(rate), 24.0, 240.0);
    return {1, static_cast<std::int32_t>(whole)};
}

FrameDuration observerInterval(std::optional<float> nominalFrameRate)
{
    const FrameDuration frame = frameDuration(nominalFrameRate);
    return {frame.value, frame.timescale};
}

} // namespace velmora::PreviewFrameTiming
