#include "editing/PreviewFrameTiming.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/FrameRates.h"

namespace velmora {

namespace {

// 2^53: frame numbers up to it are exact in a double.
constexpr double kLargestFrame = 9007199254740992.0;

} // namespace

FrameGrid FrameGrid::ofRate(double fps)
{
    const RateTimebase timebase = rateTimebase(fps);
    return {{timebase.step, timebase.timescale}};
}

std::int64_t FrameGrid::index(double seconds) const
{
    const double frames = std::floor(seconds * rate() + 1e-6);
    if (std::isnan(frames)) {
        return 0;
    }
    return static_cast<std::int64_t>(std::clamp(frames, -kLargestFrame, kLargestFrame));
}

double FrameGrid::start(std::int64_t index) const
{
    return static_cast<double>(index) * static_cast<double>(frame.value) / static_cast<double>(frame.timescale);
}

double FrameGrid::snap(double seconds) const
{
    return std::max(start(index(seconds)), 0.0);
}

double FrameGrid::frameCount(double length) const
{
    return std::round(length * static_cast<double>(frame.timescale) / static_cast<double>(frame.value));
}

std::int64_t FrameGrid::lastFrame(double length) const
{
    const double count = frameCount(length);
    if (!std::isfinite(count)) {
        return 0;
    }
    return static_cast<std::int64_t>(std::clamp(count - 1, 0.0, kLargestFrame));
}

} // namespace velmora

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

FrameGrid pictureGrid(std::optional<double> projectFps)
{
    return FrameGrid::ofRate(projectFrameRate(projectFps));
}

FrameDuration observerInterval(std::optional<float> nominalFrameRate)
{
    const FrameDuration frame = frameDuration(nominalFrameRate);
    return {frame.value, frame.timescale};
}

} // namespace velmora::PreviewFrameTiming
