#include "platform/media/FrameStart.h"

#include <cmath>

namespace velmora {

std::optional<std::int64_t> firstFrameStartingAtOrAfter(double seconds, double fps)
{
    if (!std::isfinite(seconds) || !std::isfinite(fps) || !(fps > 0)) {
        return std::nullopt;
    }
    const double frames = std::ceil((seconds - kFrameStartToleranceSeconds) * fps);
    // 2^63: the first value a signed 64-bit index cannot hold.
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(frames) || frames >= limit) {
        return std::nullopt;
    }
    return frames > 0 ? static_cast<std::int64_t>(frames) : 0;
}

std::optional<double> frameStartAtOrAfter(double seconds, double fps)
{
    const auto index = firstFrameStartingAtOrAfter(seconds, fps);
    if (!index) {
        return std::nullopt;
    }
    return static_cast<double>(*index) / fps;
}

} // namespace velmora
