#include "preview/PreviewStandingWarnings.h"

#include <cstddef>

#include "preview/StatusLine.h"
#include "preview/StatusText.h"

namespace velmora {

namespace {

// The names not said elsewhere, as far as the words take them: they name five and tell one from
// more, so six of a kind say as much as all of them.
std::vector<std::string> namedHere(const std::vector<std::string>& names, const std::set<std::string>& saidElsewhere)
{
    constexpr std::size_t enough = 6;
    std::vector<std::string> kept;
    for (const std::string& name : names) {
        if (kept.size() == enough) {
            break;
        }
        if (!saidElsewhere.contains(name)) {
            kept.push_back(name);
        }
    }
    return kept;
}

} // namespace

std::optional<std::string> PreviewStandingWarnings::lutText(const std::set<std::string>& saidElsewhere) const
{
    const std::vector<std::string> missing = namedHere(missingLuts, saidElsewhere);
    const std::vector<std::string> unusable = namedHere(unusableLuts, saidElsewhere);
    if (missing.empty() && unusable.empty()) {
        return std::nullopt;
    }
    if (unusable.empty()) {
        return StatusText::missingLuts(missing);
    }
    const std::string notUsable = StatusText::unusableLuts(unusable);
    return missing.empty() ? notUsable : StatusText::missingLuts(missing) + std::string(StatusLine::separator) + notUsable;
}

} // namespace velmora
