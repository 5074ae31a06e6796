#include "platform/foundation/ShownText.h"

#include "platform/foundation/StringText.h"

namespace velmora {

std::string shownText(std::string_view text)
{
    return StringText::shortenedInMiddle(text, shownTextBytes);
}

} // namespace velmora
