#include "model/MediaNameLookup.h"

namespace velmora::MediaNameLookup {

namespace fs = std::filesystem;

FileNames::FileNames(const std::vector<fs::path>& files) : files(files)
{
    names.reserve(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        names.push_back(files[i].filename().string());
        if (NameMatching::isAscii(names.back())) {
            firstAscii.emplace(names.back(), i);
        } else {
            nonAscii.push_back(i);
        }
    }
}

std::size_t FileNames::firstExactly(std::string_view name) const
{
    if (!NameMatching::isAscii(name)) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (NameMatching::equalsExactly(names[i], name)) {
                return i;
            }
        }
        return names.size();
    }
    std::size_t first = names.size();
    if (const auto found = firstAscii.find(std::string(name)); found != firstAscii.end()) {
        first = found->second;
    }
    for (const std::size_t i : nonAscii) {
        if (i >= first) {
            break;
        }
        if (NameMatching::equalsExactly(names[i], name)) {
            return i;
        }
    }
    return first;
}

} // namespace velmora::MediaNameLookup
