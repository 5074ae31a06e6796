#pragma once

#include <filesystem>
#include <mutex>
#include <optional>

#include "model/ResolvedMedia.h"

namespace velmora {

// Which file each source of one job reads in one media folder, decided once and shared by the
// job's preview stills and its export: the answer handed over with the job (the Edit
// workspace's monitor), else the export's own lookup (Exporter::resolveJobSourceFiles), made
// by the first render or export that asks, on its thread. Made on the main thread without
// touching a file; asked on any thread but the main one.
class JobMediaResolution {
public:
    JobMediaResolution(std::filesystem::path jobURL, std::filesystem::path mediaFolder,
                       std::optional<ResolvedMedia> handedOver = std::nullopt);

    // Whether this answers for the job and folder.
    bool answersFor(const std::filesystem::path& jobURL, const std::filesystem::path& mediaFolder) const;
    // The files; null where the job is not a timeline job or cannot be read (the export then
    // reports what it finds).
    const ResolvedMedia* media();

private:
    std::filesystem::path jobURL_;
    std::filesystem::path mediaFolder_;
    std::once_flag once_;
    std::optional<ResolvedMedia> media_;
};

} // namespace velmora
