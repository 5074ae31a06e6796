#include "export/FastSingleClipPath.h"

#include <algorithm>
#include <cmath>
#include <system_error>

#include "export/ClipSelection.h"
#include "export/FrameTiming.h"
#include "export/JobFileReading.h"
#include "export/SecurityScope.h"
#include "export/SingleVideoExport.h"
#include "export/SourceFrameDecoding.h"
#include "export/SourceTiming.h"
#include "export/TimelineExportSetup.h"
#include "export/TimelineFrameRenderer.h"
#include "grading/BasicGrade.h"
#include "grading/MoodGrade.h"
#include "model/MediaResolver.h"
#include "model/ProjectLUTResolver.h"
#include "platform/foundation/FrameRates.h"
#include "platform/foundation/JsonWriting.h"
#include "platform/foundation/RemovedOnExit.h"
#include "platform/foundation/StringText.h"
#include "platform/foundation/Uuid.h"
#include "platform/media/FrameStart.h"

namespace velmora::Exporter {

namespace {

constexpr double kMaximumStartOffset = 0.05;
// Fades of this length or less are not drawn by the timeline export either.
constexpr double kShortestFade = 0.02;

std::string clipKind(const std::optional<std::string>& type)
{
    return StringText::lowercased(StringText::trimmed(type.value_or("")));
}

std::optional<std::filesystem::path> inputFileFor(const EditorJobV2& job, const std::string& sourceId,
                                                  const std::filesystem::path& mediaFolderURL,
                                                  const ResolvedMedia* resolved)
{
    const std::map<std::string, std::filesystem::path> files = resolveTimelineSourceFiles(job, mediaFolderURL, resolved);
    if (const auto it = files.find(sourceId); it != files.end()) {
        return it->second;
    }
    return std::nullopt;
}

// Whether the timeline export would grade the clip: a LUT of its own (as the export's answers
// `luts` have it), or a mood or basic grade that changes a picture (tested on the grade steps
// themselves, which hand a picture back untouched when their parameters are neutral).
bool clipHasOwnGrade(const EditorJobV2::Clip& clip, const ResolvedLuts& luts)
{
    if (const auto answer = luts.clips.find(clipLutKey(clip)); answer != luts.clips.end() && answer->second.grades()) {
        return true;
    }
    const auto& params = clip.effectiveGradeParams();
    if (!params) {
        return false;
    }
    const Image probe = Image::filled(2, 2, Color{0.25f, 0.5f, 0.75f, 1});
    return !applyMoodImage(probe, params).isIdenticalTo(probe) ||
           !applyBasicGradeImage(probe, params, 2, 2).isIdenticalTo(probe);
}

} // namespace

std::optional<FastSingleClipCandidate> fastSingleClipCandidate(const EditorJobV2& job,
                                                               const std::filesystem::path& mediaFolderURL,
                                                               const ResolvedMedia* resolved)
{
    const EditorJobV2::Timeline* timeline = activeJobTimeline(job);
    if (!timeline) {
        return std::nullopt;
    }
    const EditorJobV2::Clip* videoClip = nullptr;
    int videoClips = 0;
    for (const auto& clip : timeline->clips) {
        const std::string kind = clipKind(clip.type);
        if (kind == "text" || kind == "image" || kind == "audio" || kind == "sound") {
            return std::nullopt;
        }
        if (kind == "video") {
            ++videoClips;
            videoClip = &clip;
        }
    }
    if (videoClips != 1) {
        return std::nullopt;
    }
    const EditorJobV2::Clip& clip = *videoClip;
    if (clip.startTime && !(std::fabs(*clip.startTime) < kMaximumStartOffset)) {
        return std::nullopt;
    }
    if (!canUseFastStreamExport(clip) || !clip.sourceId) {
        return std::nullopt;
    }
    std::optional<std::filesystem::path> input = inputFileFor(job, *clip.sourceId, mediaFolderURL, resolved);
    if (!input) {
        return std::nullopt;
    }
    return FastSingleClipCandidate{clip, std::move(*input)};
}

namespace {

// Whether streaming `input` gives the movie the timeline export would (fastPathFor says when).
bool keepsTimelineResult(const EditorJobV2& job, const FastSingleClipCandidate& candidate, const ResolvedLuts& luts,
                         const Asset& input)
{
    const EditorJobV2::Clip& clip = candidate.clip;
    if (clipHasOwnGrade(clip, luts)) {
        return false;
    }
    if (clip.fadeIn.value_or(0) > kShortestFade || clip.fadeOut.value_or(0) > kShortestFade) {
        return false;
    }
    const double opacity = clip.opacity.value_or(1);
    if (!(std::clamp(opacity, 0.0, 1.0) >= 0.9999)) {
        return false;
    }
    const AssetTrack* track = input.firstTrack(MediaType::video);
    if (!track) {
        return false;
    }
    // A job that names no size asks for none: the movie then has the source's size (the timeline
    // export's 1920 x 1080 fallback is not a request). Only a named size that differs declines.
    const std::optional<int> none;
    const std::optional<int>& namedWidth =
        job.output && job.output->width ? job.output->width : (job.project ? job.project->width : none);
    const std::optional<int>& namedHeight =
        job.output && job.output->height ? job.output->height : (job.project ? job.project->height : none);
    if ((namedWidth && *namedWidth != track->displayWidth()) ||
        (namedHeight && *namedHeight != track->displayHeight())) {
        return false;
    }
    Job::Output output;
    output.fps = timelineFrameTiming(job, &input).fps;
    const FrameTiming timing = resolveFps(input, output);
    const double written = static_cast<double>(timing.timescale) / static_cast<double>(timing.step);
    const std::optional<double> source = trackFrameRate(*track);
    return source && sameFrameRate(*source, written);
}

} // namespace

std::optional<FastPathFrames> fastPathFrames(const EditorJobV2& job, const EditorJobV2::Clip& clip, const Asset& input)
{
    const AssetTrack* track = input.firstTrack(MediaType::video);
    if (!track || !clip.sourceId) {
        return std::nullopt;
    }
    const EditorJobV2::Timeline& timeline = exportTimeline(job);
    const FrameTiming timing = timelineFrameTiming(job, &input);
    const std::int64_t count = timelineFramesTotal(timelineExportDuration(timeline), timing);
    const SourceVideo video = SourceVideo::of(input);
    const TimelineFrameMap map = timelineFrameMap(timeline.clips, timing, {{*clip.sourceId, video}});
    // The path streams consecutive source frames from the first: it takes the job only where the
    // timeline shows exactly those, with no gap, on every frame it writes (checked one by one once
    // the file is known to hold that many).
    const ShownFrame first = map.frame(0);
    if (first.gap() || first.sourceId != clip.sourceId || !first.sourceFrame || !video.videoEnd ||
        !video.frameRate || static_cast<double>(*first.sourceFrame + count - 1) / *video.frameRate >= *video.videoEnd) {
        return std::nullopt;
    }
    for (std::int64_t n = 1; n < count; ++n) {
        const ShownFrame shown = map.frame(n);
        if (shown.gap() || shown.sourceId != clip.sourceId || shown.sourceFrame != *first.sourceFrame + n) {
            return std::nullopt;
        }
    }
    return FastPathFrames{*first.sourceFrame, count, sourceFrameRate(*track)};
}

std::optional<FastPath> fastPathFor(const EditorJobV2& job, const std::optional<std::filesystem::path>& lutOverrideURL,
                                    const std::filesystem::path& mediaFolderURL, const ResolvedMedia* resolvedMedia)
{
    std::optional<FastSingleClipCandidate> candidate = fastSingleClipCandidate(job, mediaFolderURL, resolvedMedia);
    if (!candidate) {
        return std::nullopt;
    }
    // A clip whose LUT is missing is refused here as the timeline export refuses it: unrefused,
    // the clip would count as ungraded and stream through without its look.
    ResolvedLuts luts = timelineLuts(job, *activeJobTimeline(job), mediaFolderURL, std::nullopt,
                                     resolvesFolder(resolvedMedia, mediaFolderURL) ? resolvedMedia->givenLuts() : nullptr);
    requireLuts(*activeJobTimeline(job), luts, lutOverrideURL);
    // A source that cannot be opened is left to the timeline export, which reports it by name.
    std::shared_ptr<const Asset> asset;
    try {
        asset = Asset::open(candidate->inputURL);
    } catch (const Error&) {
        return std::nullopt;
    }
    if (!keepsTimelineResult(job, *candidate, luts, *asset)) {
        return std::nullopt;
    }
    std::optional<FastPathFrames> frames = fastPathFrames(job, candidate->clip, *asset);
    if (!frames) {
        return std::nullopt;
    }
    return FastPath{std::move(*candidate), std::move(asset), *frames, std::move(luts)};
}

nlohmann::json fastPathTemporaryJob(const EditorJobV2& job, double fps, double sourceIn, double sourceOut,
                                    const std::filesystem::path& outputURL)
{
    nlohmann::json output = nlohmann::json::object();
    output["fps"] = fps;
    // The container the timeline export would write: the name's, else the job's.
    output["container"] =
        movieFileType(outputURL, job.output ? job.output->container : std::nullopt) == FileType::mpeg4 ? "mp4" : "mov";
    if (job.output && job.output->width) {
        output["width"] = *job.output->width;
    } else if (job.project && job.project->width) {
        output["width"] = *job.project->width;
    }
    if (job.output && job.output->height) {
        output["height"] = *job.output->height;
    } else if (job.project && job.project->height) {
        output["height"] = *job.project->height;
    }
    if (job.output && job.output->targetBitrate) {
        output["targetBitrate"] = *job.output->targetBitrate;
    }
    return nlohmann::json{
        {"version", 1},
        {"grade", {{"lutCube", job.grade.lutCube}}},
        {"output", std::move(output)},
        {"sourceInSeconds", sourceIn},
        {"sourceOutSeconds", sourceOut},
    };
}

std::optional<ExportResult> tryFastExportTimelineJobAsSingleFile(
    const EditorJobV2& job, const std::optional<std::filesystem::path>& lutOverrideURL,
    const std::filesystem::path& mediaFolderURL, const std::filesystem::path& outputURL,
    std::optional<std::int64_t> bitrateOverrideBps, const std::string& gammaMode, double compContrast,
    double compSaturation, double compBrightness, double compTint, const CancellationCallback& isCancelled,
    const ResolvedMedia* resolvedMedia)
{
    const std::optional<FastPath> fastPath = fastPathFor(job, lutOverrideURL, mediaFolderURL, resolvedMedia);
    if (!fastPath) {
        return std::nullopt;
    }
    const FastPathFrames& frames = fastPath->frames;
    const ResolvedLuts& luts = fastPath->luts;
    const std::shared_ptr<const Asset>& asset = fastPath->input;
    // The range starts where the first frame does: the single-video export shows from the first
    // frame starting at or after it, and the frame limit ends the movie.
    const double frameSeconds = 1 / frames.sourceFps;
    const double sourceIn = static_cast<double>(frames.first) * frameSeconds;
    const double sourceOut = static_cast<double>(frames.first + frames.count) * frameSeconds;
    const double fps = timelineFrameTiming(job, asset.get()).fps;
    // The job-wide LUT as the timeline export takes it: a usable override, else the job's own
    // reference where it resolves, else none (which the single-video export would refuse).
    const bool overrideGrades = isUsableLutOverride(lutOverrideURL);
    EditorJobV2 streamed = job;
    if (!overrideGrades && !luts.job->grades()) {
        streamed.grade.lutCube = std::string(ProjectLUTResolver::noLutSentinel);
    }
    const std::optional<std::filesystem::path> streamedOverride =
        overrideGrades ? lutOverrideURL : std::optional<std::filesystem::path>();
    const std::string text =
        JsonWriting::prettySortedText(fastPathTemporaryJob(streamed, fps, sourceIn, sourceOut, outputURL));

    const std::filesystem::path jobFile = std::filesystem::temp_directory_path() /
                                          (std::string(fastPathJobFilePrefix) + Uuid::randomText().substr(0, 8) + ".json");
    JsonWriting::saveFileAtomically(jobFile, text);
    const RemovedOnExit removal(jobFile);

    const std::filesystem::path inputURL = fastPath->candidate.inputURL;
    return withSecurityScope({jobFile, streamedOverride, inputURL, mediaFolderURL, outputURL}, [&] {
        const Job singleVideoJob = Job::fromJSON(readJobFileBytes(jobFile));
        SingleVideoExportOptions options;
        options.isCancelled = isCancelled;
        // A timeline sounds only through its audio clips, and this one has none: the movie is as
        // silent as the timeline export would write it, whatever sound the clip's file holds.
        options.sourceAudio = false;
        options.frameLimit = frames.count;
        return exportSingleVideo(singleVideoJob, streamedOverride, inputURL, mediaFolderURL, outputURL,
                                 bitrateOverrideBps, gammaMode, compContrast, compSaturation, compBrightness, compTint,
                                 options);
    });
}

} // namespace velmora::Exporter
