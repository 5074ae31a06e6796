#include "export/JobRouting.h"

#include <utility>

#include <nlohmann/json.hpp>

#include "export/FastSingleClipPath.h"
#include "export/JobFileReading.h"
#include "export/SecurityScope.h"
#include "export/SingleVideoExport.h"
#include "export/TimelineExport.h"
#include "export/TimelineExportSetup.h"
#include "model/DesktopJobReading.h"

namespace velmora::Exporter {

namespace {

constexpr const char* kFastPathPhase = "Done (fast single-clip)";

} // namespace

ExportResult routeJob(const std::filesystem::path& jobURL, const std::optional<std::filesystem::path>& lutOverrideURL,
                      const std::optional<std::filesystem::path>& inputURL,
                      const std::optional<std::filesystem::path>& mediaFolderURL,
                      const std::filesystem::path& outputURL, std::optional<std::int64_t> bitrateOverrideBps,
                      const std::string& gammaMode, double compContrast, double compSaturation,
                      double compBrightness, double compTint, const TimelineProgressCallback& timelineProgress,
                      const CancellationCallback& isCancelled, const ResolvedMedia* resolvedMedia)
{
    // The job is read as the 10-bit Export workspace read it when it was chosen: its kind first,
    // then, once what that kind needs is there, the whole job. The parsed text goes once read.
    nlohmann::json document = DesktopJobReading::document(jobURL, readJobFileBytes(jobURL));
    if (DesktopJobReading::kindOf(jobURL, document) == DesktopJobReading::Kind::timeline) {
        if (!mediaFolderURL) {
            throw Error("export", JobRoutingCode::noMediaFolder, "Choose Media Folder containing your source clips.");
        }
        const EditorJobV2 job = DesktopJobReading::timelineJob(jobURL, std::exchange(document, nullptr));
        if (std::optional<ExportResult> result =
                tryFastExportTimelineJobAsSingleFile(job, lutOverrideURL, *mediaFolderURL, outputURL, bitrateOverrideBps,
                                                     gammaMode, compContrast, compSaturation, compBrightness,
                                                     compTint, isCancelled, resolvedMedia)) {
            if (timelineProgress) {
                timelineProgress(TimelineExportProgress{1, 1, kFastPathPhase});
            }
            return *result;
        }
        return exportEditorTimeline(job, lutOverrideURL, *mediaFolderURL, outputURL, bitrateOverrideBps,
                                    EditorVideoCodec::hevc10, gammaMode, compContrast, compSaturation, compBrightness,
                                    compTint, std::nullopt, timelineProgress, isCancelled, {}, resolvedMedia,
                                    resolvesFolder(resolvedMedia, *mediaFolderURL) ? resolvedMedia->givenLuts() : nullptr);
    }
    if (!inputURL) {
        throw Error("export", JobRoutingCode::noInputVideo, "Choose Input Video.");
    }
    const Job job = DesktopJobReading::singleVideoJob(jobURL, std::exchange(document, nullptr));
    SingleVideoExportOptions options;
    options.isCancelled = isCancelled;
    return exportSingleVideo(job, lutOverrideURL, *inputURL, mediaFolderURL, outputURL, bitrateOverrideBps, gammaMode,
                             compContrast, compSaturation, compBrightness, compTint, options);
}

std::optional<ResolvedMedia> resolveJobSourceFiles(const std::filesystem::path& jobURL,
                                                   const std::filesystem::path& mediaFolderURL)
{
    try {
        return withSecurityScope({jobURL, mediaFolderURL}, [&]() -> std::optional<ResolvedMedia> {
            nlohmann::json document = DesktopJobReading::document(jobURL, readJobFileBytes(jobURL));
            if (DesktopJobReading::kindOf(jobURL, document) != DesktopJobReading::Kind::timeline) {
                return std::nullopt;
            }
            return ResolvedMedia{mediaFolderURL,
                                 resolveTimelineSourceFiles(
                                     DesktopJobReading::timelineJob(jobURL, std::exchange(document, nullptr)),
                                     mediaFolderURL)};
        });
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

ExportResult exportJob(const std::filesystem::path& jobURL, const std::optional<std::filesystem::path>& lutOverrideURL,
                       const std::optional<std::filesystem::path>& inputURL,
                       const std::optional<std::filesystem::path>& mediaFolderURL,
                       const std::filesystem::path& outputURL, std::optional<std::int64_t> bitrateOverrideBps,
                       const std::string& gammaMode, double compContrast, double compSaturation,
                       double compBrightness, double compTint, TimelineProgressCallback timelineProgress,
                       CancellationCallback isCancelled, const ResolvedMedia* resolvedMedia)
{
    return withSecurityScope({jobURL, lutOverrideURL, inputURL, mediaFolderURL, outputURL}, [&] {
        return routeJob(jobURL, lutOverrideURL, inputURL, mediaFolderURL, outputURL, bitrateOverrideBps, gammaMode,
                        compContrast, compSaturation, compBrightness, compTint, timelineProgress, isCancelled, resolvedMedia);
    });
}

} // namespace velmora::Exporter
