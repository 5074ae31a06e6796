#include "model/CanvasSizeLimit.h"

#include "model/JsonDecoding.h"
#include "platform/foundation/NumberText.h"

namespace velmora::CanvasSizeLimit {

bool accepts(int side)
{
    return side >= minimumSide && side <= maximumSide;
}

namespace {

std::string refusal(std::string_view dimension, const std::string& shown)
{
    return "The canvas " + std::string(dimension) + " " + shown +
           " is not supported: a canvas side must be a whole number of " + NumberText::integer(minimumSide) +
           " to " + NumberText::integer(maximumSide) + " pixels.";
}

} // namespace

std::string refusalText(std::string_view dimension, int side)
{
    return refusal(dimension, NumberText::integer(side));
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
    return JsonDecoding::readField([&]() -> std::optional<int> {
        const nlohmann::json* value = container.value(key);
        if (!value || value->is_null()) {
            return std::nullopt;
        }
        int side = 0;
        try {
            side = JsonValueReader<int>::read(*value, CodingPlace(container.codingPath(), key));
        } catch (const DecodingError&) {
            // Text, a fraction or a side past what an int holds is a side that cannot be used,
            // refused in the words of one out of range.
            JsonDecoding::throwDataCorrupted(refusal(key, JsonDecoding::quotedValue(*value)), container.pathFor(key));
        }
        check(side, container.pathFor(key));
        return side;
    });
}

} // namespace velmora::CanvasSizeLimit
