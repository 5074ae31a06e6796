#include "model/UnreadableMedia.h"

#include "platform/foundation/ShownText.h"

namespace velmora::UnreadableMedia {

std::string text(const std::vector<std::string>& names, const std::string& reason)
{
    std::string joined;
    for (std::size_t i = 0; i < names.size() && i < namesShown; ++i) {
        joined += (i > 0 ? ", " : "") + shownText(names[i]);
    }
    return "Cannot read " + joined + " (" + reason + ")";
}

} // namespace velmora::UnreadableMedia
