#include "model/CanvasSizeLimit.h"

#include "model/JsonDecoding.h"
#include "platform/foundation/NumberText.h"

namespace velmora::CanvasSizeLimit {

bool accepts(int side)
{
    return side >= minimumSide && side <= maximumSide;
}

std::string refusalText(std::string_view dimension, int side)
{
    return "The canvas " + std::string(dimension) + " " + NumberText::integer(side) +
           " is not supported: a canvas side must be a whole number of " + NumberText::integer(minimumSide) +
           " to " + NumberText::integer(maximumSide) + " pixels.";
}

void check(std::optional<int> side, const CodingPath& path)
{
    if (!side || accepts(*side)) {
        return;
    }
    const std::string dimension = path.empty() ? std::string("side") : path.back();
    JsonDecoding::throwDataCorrupted(refusalText(dimension, *side), path);
}

std::optional<int> decodeSide(const KeyedContainer& container, std::string_view key)
{
    const std::optional<int> side = container.decodeIfPresent<int>(key);
    check(side, container.pathFor(key));
    return side;
}

} // namespace velmora::CanvasSizeLimit
