#include "model/BitrateLimit.h"

#include "model/JsonDecoding.h"
#include "platform/foundation/NumberText.h"

namespace velmora::BitrateLimit {

bool accepts(std::int64_t bps)
{
    return bps >= minimumBps && bps <= maximumBps;
}

std::string refusalText(std::int64_t bps)
{
    return "The bit rate " + NumberText::integer(bps) +
           " b/s is not supported: a bit rate must be a whole number of " + NumberText::integer(minimumBps) +
           " to " + NumberText::integer(maximumBps) + " bits per second.";
}

std::optional<std::int64_t> decodeBitrate(const KeyedContainer& container, std::string_view key)
{
    const std::optional<std::int64_t> bps = container.decodeIfPresent<std::int64_t>(key);
    if (bps && !accepts(*bps)) {
        JsonDecoding::throwDataCorrupted(refusalText(*bps), container.pathFor(key));
    }
    return bps;
}

} // namespace velmora::BitrateLimit
