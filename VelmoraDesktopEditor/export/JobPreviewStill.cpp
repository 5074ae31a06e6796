#include "export/JobPreviewStill.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <system_error>
#include <utility>

#include <nlohmann/json.hpp>

#include "export/FrameTiming.h"
#include "export/JobFileReading.h"
#include "export/SecurityScope.h"
#include "export/SingleVideoExport.h"
#include "export/SourceFrameDecoding.h"
#include "export/TimelineExportSetup.h"
#include "export/TimelineExportState.h"
#include "export/TimelineFrameRenderer.h"
#include "grading/BasicGrade.h"
#include "grading/GammaCompensation.h"
#include "grading/GradeKernels.h"
#include "grading/GradingCaches.h"
#include "grading/LutApplication.h"
#include "grading/MoodGrade.h"
#include "model/DesktopJobReading.h"
#include "model/Job.h"
#include "model/LutResolution.h"
#include "model/UnreadableMedia.h"
#include "model/ProjectLUTResolver.h"
#include "platform/media/FrameStart.h"
#include "platform/foundation/RegularFiles.h"
#include "platform/foundation/StringText.h"
#include "platform/image/Resample.h"
#include "platform/media/ImageGenerator.h"

namespace velmora::Exporter {

namespace {

constexpr std::int32_t kPreviewTimescale = 60000;
// The largest output side a preview is rendered at; larger job sizes are refused as 407.
constexpr int kMaxOutputSide = 16384;

Error previewError(int code, std::string message)
{
    return Error("preview", code, std::move(message));
}

std::string fixed3(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
    return result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string("nan");
}

// ---- single video ---------------------------------------------------------------------------

// The cube a single-video still grades through: the one its export grades with (singleVideoCube:
// the override, else the job's own LUT, a file looked up in `mediaFolder`), refused as the export
// refuses it. The still always grades through a LUT: a job without one is refused in the cube
// parser's domain and code, saying that a LUT override gives the job one.
CubeLUT singleVideoPreviewCube(const std::optional<std::filesystem::path>& lutOverrideURL, const Job& job,
                               const std::optional<std::filesystem::path>& mediaFolder)
{
    if (std::optional<CubeLUT> cube = singleVideoCube(lutOverrideURL, job, mediaFolder)) {
        return std::move(*cube);
    }
    try {
        return parseCube(job.grade.lutCube);
    } catch (const Error& error) {
        throw Error(error.domain(), error.code(),
                    "This job has no LUT. The Match Grade preview grades through a LUT: choose a LUT override to give "
                    "the job one.");
    }
}

PreviewFrameResult renderSingleVideoStill(const std::filesystem::path& jobURL, nlohmann::json document,
                                          const std::optional<std::filesystem::path>& lutOverrideURL,
                                          const std::optional<std::filesystem::path>& inputURL,
                                          const std::optional<std::filesystem::path>& mediaFolderURL,
                                          std::optional<double> timeSeconds, std::optional<double> gammaPower,
                                          double compContrast, double compSaturation, double compBrightness,
                                          double compTint)
{
    if (!inputURL) {
        throw previewError(PreviewStillCode::noInputVideo, "Choose Input Video.");
    }
    const Job job = DesktopJobReading::singleVideoJob(jobURL, std::exchange(document, nullptr));
    const CubeLUT cube = singleVideoPreviewCube(lutOverrideURL, job, mediaFolderURL);
    const CubeFilter filter = makeCubeFilter(cube);

    std::shared_ptr<const Asset> asset;
    try {
        asset = Asset::open(*inputURL);
    } catch (const Error&) {
        // An input that cannot be opened has no frame to show.
        throw previewError(PreviewStillCode::decodeFailed, "Failed to decode preview frame.");
    }
    const double assetSeconds = asset->durationSeconds();
    const double duration = std::isfinite(assetSeconds) && assetSeconds > 0 ? assetSeconds : 10.0;
    double t = timeSeconds.value_or(duration * 0.5);
    t = std::max(std::min(t, duration), 0.0);

    // The generator's size limit is the encoded picture size, as the video's own frame size.
    int width = 1920;
    int height = 1080;
    if (const AssetTrack* track = asset->firstTrack(MediaType::video)) {
        width = std::max(track->width, 1);
        height = std::max(track->height, 1);
    }

    Image picture;
    try {
        ImageGenerator generator(asset);
        generator.appliesPreferredTrackTransform = true;
        generator.maximumWidth = width;
        generator.maximumHeight = height;
        // The frame the export writes at t, not the nearest one the decoder reaches first.
        generator.requestedTimeToleranceBefore = MediaTime::zero();
        generator.requestedTimeToleranceAfter = MediaTime::zero();
        generator.takesFrameStartingAtOrAfter = true;
        picture = generator.copyImage(MediaTime::fromSeconds(t, kPreviewTimescale));
    } catch (const Error&) {
        throw previewError(PreviewStillCode::decodeFailed, "Failed to decode preview frame.");
    }

    Image graded = filter.outputImage(picture).value_or(picture);
    graded = crop(graded, integralRect(graded.extent()));
    graded = applyLookAdjust(graded, compContrast, compSaturation, compBrightness);
    graded = applyTempTintImage(graded, 0, compTint);
    graded = applyGammaCompensation(graded, gammaPower);
    if (!graded.hasPixels() || integralRect(graded.extent()).isEmpty()) {
        throw previewError(PreviewStillCode::singleVideoRender, "Failed to render preview.");
    }

    PreviewFrameResult result;
    result.cgImage = graded.rendered();
    result.displayTimeSeconds = t;
    result.pickedTimeSeconds = t;
    result.minTimeSeconds = 0;
    result.maxTimeSeconds = duration;
    result.label = inputURL->filename().string();
    return result;
}

// ---- timeline -------------------------------------------------------------------------------

const EditorJobV2::Timeline& previewTimeline(const EditorJobV2& job)
{
    if (const EditorJobV2::Timeline* timeline = activeJobTimeline(job)) {
        return *timeline;
    }
    throw previewError(PreviewStillCode::noTimeline, "No timeline in job.");
}

const EditorJobV2::Clip& previewClip(const EditorJobV2::Timeline& timeline)
{
    for (const auto& clip : timeline.clips) {
        const std::string kind = StringText::lowercased(StringText::trimmed(clip.type.value_or("")));
        if (kind == "video" || kind == "image") {
            return clip;
        }
    }
    throw previewError(PreviewStillCode::noVideoClip, "No video clip in timeline.");
}

// The file the export reads for the source (resolveTimelineSourceFiles), so that the still shows
// the picture the movie gets.
std::filesystem::path previewSourceFile(const EditorJobV2& job, const EditorJobV2::Source& source,
                                        const std::filesystem::path& mediaFolder, const ResolvedMedia* resolved)
{
    const std::map<std::string, std::filesystem::path> files = resolveTimelineSourceFiles(job, mediaFolder, resolved);
    if (const auto found = files.find(source.id); found != files.end()) {
        return found->second;
    }
    throw previewError(PreviewStillCode::missingSourceFile, "Missing source file: " + source.fileName);
}

struct BaseFrame {
    Image image;
    double pickedSeconds = 0;
};

// The frame the export decodes for this time (same reader window, same pick, same still sizing),
// black when the file yields none: a still that cannot be decoded is shown, not reported.
BaseFrame decodeBaseFrame(const std::shared_ptr<const Asset>& asset, double snapped, const MediaTime& target,
                          double fps, int outW, int outH)
{
    if (asset) {
        if (const AssetTrack* track = asset->firstTrack(MediaType::video)) {
            if (auto frame = decodeSourceFrameAt(asset, *track, track->preferredTransform, snapped, fps, outW, outH)) {
                return BaseFrame{std::move(frame->image), frame->pickedSeconds};
            }
        }
    }
    return BaseFrame{Image::filled(outW, outH, Color{0, 0, 0, 1}), target.seconds()};
}

// The LUT step of the timeline export, so that the still shows the look the movie gets: the
// clip's own LUT at the clip's strength, else the job-wide LUT (a usable override, else the
// job's own) at full strength; each as the export decided it (timelineLuts).
Image applyPreviewLut(const Image& image, const EditorJobV2::Clip& clip, const ResolvedLuts& luts,
                      const std::optional<std::filesystem::path>& lutOverrideURL)
{
    if (const auto own = luts.clips.find(clipLutKey(clip)); own != luts.clips.end() && own->second.grades()) {
        const CachedCubeRef cube = makeCachedCube(own->second.text);
        const double strength = clip.grade && clip.grade->lutStrength ? *clip.grade->lutStrength : 1.0;
        return applyCubeLUTImage(image, cube->cube, cube->filter, strength);
    }
    if (const std::string global = timelineGlobalLutText(*luts.job, lutOverrideURL); !global.empty()) {
        const CachedCubeRef cube = makeCachedCube(global);
        return applyCubeLUTImage(image, cube->cube, cube->filter, 1.0);
    }
    return image;
}

PreviewFrameResult renderTimelineStill(const std::filesystem::path& jobURL, nlohmann::json document,
                                       const std::optional<std::filesystem::path>& lutOverrideURL,
                                       const std::optional<std::filesystem::path>& mediaFolderURL,
                                       std::optional<double> timeSeconds, std::optional<double> gammaPower,
                                       double compContrast, double compSaturation, double compBrightness,
                                       double compTint, const ResolvedMedia* resolved)
{
    if (!mediaFolderURL) {
        throw previewError(PreviewStillCode::noMediaFolder, "Choose Media Folder.");
    }
    // The parsed text goes once the job is read from it.
    const EditorJobV2 job = DesktopJobReading::timelineJob(jobURL, std::exchange(document, nullptr));
    const EditorJobV2::Timeline& timeline = previewTimeline(job);
    const EditorJobV2::Clip& clip = previewClip(timeline);
    if (!clip.sourceId) {
        throw previewError(PreviewStillCode::clipWithoutSource, "Clip missing sourceId.");
    }
    const auto source = std::find_if(job.sources.begin(), job.sources.end(),
                                     [&clip](const EditorJobV2::Source& s) { return s.id == *clip.sourceId; });
    if (source == job.sources.end()) {
        throw previewError(PreviewStillCode::noSourceEntry, "Missing source entry.");
    }
    const auto [outW, outH] = timelineOutputSize(job);
    const std::filesystem::path file = previewSourceFile(job, *source, *mediaFolderURL, resolved);
    // What the export of this job refuses, the still refuses with the export's own error: a
    // picture drawn without its file or its look would show what no movie will.
    if (std::optional<std::string> why = RegularFiles::unreadableReason(file)) {
        throw exportError(TimelineExportCode::unreadableSources, UnreadableMedia::text({source->fileName}, *why));
    }
    const ResolvedLuts luts = timelineLuts(job, timeline, *mediaFolderURL, std::nullopt,
                                           resolvesFolder(resolved, *mediaFolderURL) ? resolved->givenLuts() : nullptr);
    requireLuts(timeline, luts, lutOverrideURL);

    std::shared_ptr<const Asset> asset;
    try {
        asset = Asset::open(file);
    } catch (const Error&) {
        asset.reset(); // decoded as black below
    }

    // The clip's source range as the export reads it: a clip that continues a piece of its file
    // before it starts where that piece ended, its range moved along with it. Without an out
    // point the range ends where the frame rule's reading of the clip ends, at its speed.
    const double ownIn = clip.inPoint.value_or(0);
    std::map<std::string, SourceVideo> sources;
    if (asset) {
        sources.emplace(*clip.sourceId, SourceVideo::of(*asset));
    }
    const auto index = static_cast<std::size_t>(&clip - timeline.clips.data());
    const ClipTiming ruled =
        timelineFrameMap(timeline.clips, FrameTiming{}, std::move(sources), true).clips()[index];
    const double continued = ruled.inPoint;
    const bool moved = continued > std::max(ownIn, 0.0);
    const double in = moved ? continued : ownIn;
    const double out = clip.outPoint ? *clip.outPoint + (moved ? continued - ownIn : 0.0)
                                     : TimelineFrameMap::sourceTime(ruled, ruled.duration);
    double t = timeSeconds.value_or((in + out) * 0.5);
    t = std::max(std::min(t, out), in);
    const double fps = std::max(previewFrameRate(asset.get(), job.output), 1.0);
    // The frame an export shows at t, as the timeline's frame rule picks it; black past the end of
    // the file's video, as every export shows it there.
    const TimelineFrameMap::SourcePick pick = jobPreviewSourceFrame(asset.get(), job.output, t);
    const std::optional<std::int64_t> frameIndex = pick.frame;
    // Sizes and times that cannot be turned into pixels and frame numbers are refused.
    if (outW < 1 || outH < 1 || outW > kMaxOutputSide || outH > kMaxOutputSide || !frameIndex ||
        *frameIndex >= 9000000000000000) {
        throw previewError(PreviewStillCode::timelineRender, "Failed to render preview.");
    }
    const std::int64_t frame = *frameIndex;
    // The frame picked is the one shown, and its start the time it was picked at, though it may
    // start after the range's end (a range ending inside a frame); the time shown on the slider
    // stays within the range.
    const double frameStart = static_cast<double>(frame) / fps;
    const double snapped = std::max(std::min(frameStart, out), in);
    const MediaTime target = MediaTime::fromSeconds(frameStart, kPreviewTimescale);

    // The cache lock is held for the lookup and for the store only; two calls missing one frame
    // both decode it and both store it.
    const std::string key = previewBaseFrameKey(file.string(), frame, outW, outH);
    BaseFrame base;
    if (pick.pastEnd) {
        base = BaseFrame{Image::filled(outW, outH, Color{0, 0, 0, 1}), target.seconds()};
    } else if (std::optional<Image> cached = previewBaseFrameCache().lookup(key)) {
        base = BaseFrame{std::move(*cached), target.seconds()};
    } else {
        base = decodeBaseFrame(asset, frameStart, target, fps, outW, outH);
        previewBaseFrameCache().store(key, base.image);
    }

    const std::optional<EditorJobV2::ClipGrade::GradeParams>& params = clip.effectiveGradeParams();
    Image graded = applyPreviewLut(base.image, clip, luts, lutOverrideURL);
    graded = applyMoodImage(graded, params);
    graded = applyBasicGradeImage(graded, params, outW, outH);
    graded = crop(graded, IntRect{0, 0, outW, outH});
    graded = applyLookAdjust(graded, compContrast, compSaturation, compBrightness);
    graded = applyCompTintImage(graded, compTint);
    graded = applyGammaCompensation(graded, gammaPower);
    if (!graded.hasPixels() || integralRect(graded.extent()).isEmpty()) {
        throw previewError(PreviewStillCode::timelineRender, "Failed to render preview.");
    }

    PreviewFrameResult result;
    result.cgImage = graded.rendered();
    result.displayTimeSeconds = snapped;
    result.pickedTimeSeconds = base.pickedSeconds;
    result.minTimeSeconds = in;
    result.maxTimeSeconds = out;
    result.label = source->fileName;
    result.debugGrade = previewGradeDescription(params);
    return result;
}

} // namespace

TimelineFrameMap::SourcePick jobPreviewSourceFrame(const Asset* asset, const std::optional<EditorJobV2::Output>& output,
                                                   double sourceSeconds)
{
    SourceVideo video = asset ? SourceVideo::of(*asset) : SourceVideo{};
    if (!video.frameRate && !video.still) {
        video.frameRate = std::max(previewFrameRate(asset, output), 1.0);
    }
    return TimelineFrameMap::pickSourceFrame(video, sourceSeconds);
}

std::string previewGradeDescription(const std::optional<EditorJobV2::ClipGrade::GradeParams>& params)
{
    std::string text;
    text.reserve(132);
    text += "kernels: mood=";
    text += moodKernel() ? "1" : "0";
    text += " basic=";
    text += basicGradeKernel() ? "1" : "0";
    text += " tempTint=";
    text += tempTintKernel() ? "1" : "0";

    const std::string key = params && params->moodKey ? StringText::trimmed(*params->moodKey) : std::string();
    const double type = moodTypeForKey(key);
    const bool switchedOn = params && ((params->isMoodEnabled && params->isMoodEnabled->value) ||
                                       (params->moodEnabled && params->moodEnabled->value));
    double amount = 1;
    if (params) {
        amount = params->moodIntensity ? *params->moodIntensity : params->moodAmount.value_or(1);
        amount = std::clamp(amount, 0.0, 1.0);
    }
    text += "  mood=";
    text += key.empty() ? "none" : key;
    text += " type=";
    text += std::to_string(static_cast<long long>(std::round(type)));
    text += " enabled=";
    text += switchedOn && type > 0.5 && !key.empty() ? "1" : "0";
    text += " amt=";
    text += fixed3(amount);

    using P = EditorJobV2::ClipGrade::GradeParams;
    const auto value = [&params](std::optional<double> P::*field) {
        const std::optional<double> held = params ? (*params).*field : std::nullopt;
        return fixed3(held.value_or(0.0));
    };
    text += "  basic: e=" + value(&P::exposure);
    text += " c=" + value(&P::contrast);
    text += " hi=" + value(&P::highlights);
    text += " sh=" + value(&P::shadows);
    text += " sat=" + value(&P::saturation);
    text += " vib=" + value(&P::vibrance);
    text += " temp=" + value(&P::temperature);
    text += " tint=" + value(&P::tint);
    return text;
}

PreviewFrameResult renderPreviewFrame(const std::filesystem::path& jobURL,
                                      const std::optional<std::filesystem::path>& lutOverrideURL,
                                      const std::optional<std::filesystem::path>& inputURL,
                                      const std::optional<std::filesystem::path>& mediaFolderURL,
                                      std::optional<double> timeSeconds, const std::string& gammaMode,
                                      double compContrast, double compSaturation, double compBrightness,
                                      double compTint, const ResolvedMedia* resolvedMedia)
{
    return withSecurityScope({jobURL, lutOverrideURL, inputURL, mediaFolderURL}, [&] {
        // Read as its export reads it: its kind first, the whole job once what the kind needs is there.
        nlohmann::json document = DesktopJobReading::document(jobURL, readJobFileBytes(jobURL));
        const std::optional<double> gammaPower = resolveGammaMode(gammaMode).gammaPower;
        if (DesktopJobReading::kindOf(jobURL, document) == DesktopJobReading::Kind::timeline) {
            return renderTimelineStill(jobURL, std::move(document), lutOverrideURL, mediaFolderURL, timeSeconds,
                                       gammaPower, compContrast, compSaturation, compBrightness, compTint,
                                       resolvedMedia);
        }
        return renderSingleVideoStill(jobURL, std::move(document), lutOverrideURL, inputURL, mediaFolderURL,
                                      timeSeconds, gammaPower, compContrast, compSaturation, compBrightness, compTint);
    });
}

} // namespace velmora::Exporter
