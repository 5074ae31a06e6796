#include "export/MovieContainer.h"

#include "platform/foundation/StringText.h"

namespace velmora::MovieContainer {

std::optional<std::string> ofName(const std::filesystem::path& file)
{
    const std::string extension = StringText::lowercased(file.extension().string());
    if (extension == ".mp4" || extension == ".m4v")
        return "mp4";
    if (extension == ".mov")
        return "mov";
    return std::nullopt;
}

} // namespace velmora::MovieContainer
