#include "platform/ui/FilePanels.h"

#include <algorithm>

#include "platform/foundation/StringText.h"

namespace velmora {

std::filesystem::path FilePanelRequest::completedSaveName(const std::filesystem::path& typed) const
{
    if (kind != Kind::saveFile || defaultSuffix.empty())
        return typed;
    const std::string dotted = typed.extension().string();
    const std::string extension = dotted.empty() ? std::string() : StringText::lowercased(dotted.substr(1));
    const auto listed = [&extension](const std::vector<std::string>& list) {
        return !extension.empty() && std::any_of(list.begin(), list.end(), [&extension](const std::string& entry) {
                   return StringText::lowercased(entry) == extension;
               });
    };
    if (listed(extensions))
        return typed;
    std::filesystem::path completed = typed;
    if (listed(replacedExtensions))
        completed.replace_extension(defaultSuffix);
    else
        completed += "." + defaultSuffix;
    return completed;
}

} // namespace velmora
