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
    return JsonDecoding::readField([&]() -> std::optional<double> {
        const nlohmann::json* value = container.value(key);
        if (!value || value->is_null()) {
            return std::nullopt;
        }
        if (!value->is_number()) {
            // Text ("NaN") or a list where the rate belongs is a rate that cannot be used, refused
            // in the words of one out of range.
            JsonDecoding::throwDataCorrupted(refusal(JsonDecoding::quotedValue(*value)), container.pathFor(key));
        }
        const double fps = value->get<double>();
        check(fps, container.pathFor(key));
        return fps;
    });
}

void checkFpsFraction(const KeyedContainer& container, std::string_view numeratorKey,
                      std::optional<std::int64_t> fpsNumerator, std::optional<std::int64_t> fpsDenominator)
{
    if (!fpsNumerator || !fpsDenominator || *fpsNumerator < 1 || *fpsDenominator < 1) {
        return;
    }
    const double fps = static_cast<double>(*fpsNumerator) / static_cast<double>(*fpsDenominator);
    JsonDecoding::readField([&] { check(fps, container.pathFor(numeratorKey)); });
}

} // namespace velmora::FrameRateLimit
