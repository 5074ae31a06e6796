#include "preview/PreviewLutFindings.h"

namespace velmora {

std::optional<LutResolution> PreviewLutFindings::knownLut(const LutResolving::Cache& answers,
                                                          const std::optional<EditorJobV2::ClipGrade>& grade)
{
    bool unknown = false;
    LutResolution answer = LutResolving::forClipGrade(grade, [&](const std::string& reference) {
        std::optional<LutResolution> known = answers.known(reference);
        unknown = unknown || !known;
        return known.value_or(LutResolution{});
    });
    if (unknown) {
        return std::nullopt;
    }
    return answer;
}

} // namespace velmora
