#include "model/FrameRateLimit.h"

#include <cmath>

#include "model/JsonDecoding.h"
#include "platform/foundation/NumberText.h"

namespace velmora::FrameRateLimit {

bool accepts(double fps)
{
    return std::isfinite(fps) && fps <= maximumFps;
}

namespace {

// `shown` is the rate as the refusal names it, with its unit where it is a number.
std::string refusal(const std::string& shown)
{
    return "The frame rate " + shown + " is not supported: a frame rate must be a finite number of at most " +
           NumberText::shortest(maximumFps) + " frames per second.";
}

} // namespace

std::string refusalText(double fps)
{
    return refusal(NumberText::shortest(fps) + " fps");
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
    std::optional<double> fps;
    try {
        fps = container.decodeIfPresent<double>(key);
    } catch (const DecodingError&) {
        // Text ("NaN") or a list where the rate belongs is a rate that cannot be used, refused in
        // the words of one out of range.
        JsonDecoding::throwDataCorrupted(refusal(JsonDecoding::quotedValue(*container.value(key))),
                                         container.pathFor(key));
    }
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
