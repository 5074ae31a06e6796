#include "model/FrameRateLimit.h"

#include <cmath>

#include "model/JsonDecoding.h"
#include "platform/foundation/NumberText.h"

namespace velmora::FrameRateLimit {

bool accepts(double fps)
{
    return std::isfinite(fps) && fps <= maximumFps;
}

std::string refusalText(double fps)
{
    return "The frame rate " + NumberText::shortest(fps) +
           " fps is not supported: a frame rate must be a finite number of at most " +
           NumberText::shortest(maximumFps) + " frames per second.";
}

void check(std::optional<double> fps, const CodingPath& path)
{
    if (!fps || accepts(*fps)) {
        return;
    }
    JsonDecoding::throwDataCorrupted(refusalText(*fps), path);
}

std::optional<double> decodeFps(const KeyedContainer& container, std::string_view key)
{
    const std::optional<double> fps = container.decodeIfPresent<double>(key);
    check(fps, container.pathFor(key));
    return fps;
}

void checkFpsFraction(const KeyedContainer& container, std::string_view numeratorKey,
                      std::optional<std::int64_t> fpsNumerator, std::optional<std::int64_t> fpsDenominator)
{
    if (!fpsNumerator || !fpsDenominator || *fpsNumerator < 1 || *fpsDenominator < 1) {
        return;
    }
    const double fps = static_cast<double>(*fpsNumerator) / static_cast<double>(*fpsDenominator);
    check(fps, container.pathFor(numeratorKey));
}

} // namespace velmora::FrameRateLimit
