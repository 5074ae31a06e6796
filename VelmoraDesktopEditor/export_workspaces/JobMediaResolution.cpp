#include "export_workspaces/JobMediaResolution.h"

#include "export/JobRouting.h"

namespace velmora {

JobMediaResolution::JobMediaResolution(std::filesystem::path jobURL, std::filesystem::path mediaFolder,
                                       std::optional<ResolvedMedia> handedOver)
    : jobURL_(std::move(jobURL)), mediaFolder_(std::move(mediaFolder))
{
    if (handedOver && handedOver->mediaFolder == mediaFolder_) {
        media_ = std::move(handedOver);
        std::call_once(once_, [] {});
    }
}

bool JobMediaResolution::answersFor(const std::filesystem::path& jobURL, const std::filesystem::path& mediaFolder) const
{
    return jobURL == jobURL_ && mediaFolder == mediaFolder_;
}

const ResolvedMedia* JobMediaResolution::media()
{
    std::call_once(once_, [this] { media_ = Exporter::resolveJobSourceFiles(jobURL_, mediaFolder_); });
    return media_ ? &*media_ : nullptr;
}

} // namespace velmora
