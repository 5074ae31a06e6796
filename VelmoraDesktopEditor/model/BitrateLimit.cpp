#include "model/BitrateLimit.h"

#include "model/JsonDecoding.h"
#include "platform/foundation/NumberText.h"

namespace velmora::BitrateLimit {

bool accepts(std::int64_t bps)
{
    return bps >= minimumBps && bps <= maximumBps;
}

namespace {

// `shown` is the rate as the refusal names it, with its unit where it is a number.
std::string refusal(const std::string& shown)
{
    return "The bit rate " + shown + " is not supported: a bit rate must be a whole number of " +
           NumberText::integer(minimumBps) + " to " + NumberText::integer(maximumBps) + " bits per second.";
}

} // namespace

std::string refusalText(std::int64_t bps)
{
    return refusal(NumberText::integer(bps) + " b/s");
}

std::optional<std::int64_t> decodeBitrate(const KeyedContainer& container, std::string_view key)
{
    return JsonDecoding::readField([&]() -> std::optional<std::int64_t> {
        const nlohmann::json* found = container.value(key);
        if (!found || found->is_null()) {
            return std::nullopt;
        }
        std::int64_t bps = 0;
        try {
            bps = JsonValueReader<std::int64_t>::read(*found, CodingPlace(container.codingPath(), key));
        } catch (const DecodingError&) {
            // Text, a fraction or a list where the rate belongs is a rate that cannot be used,
            // refused in the words of one out of range.
            JsonDecoding::throwDataCorrupted(
                refusal(JsonDecoding::quotedValue(*found) + (found->is_number() ? " b/s" : "")), container.pathFor(key));
        }
        if (!accepts(bps)) {
            JsonDecoding::throwDataCorrupted(refusalText(bps), container.pathFor(key));
        }
        return bps;
    });
}

} // namespace velmora::BitrateLimit
