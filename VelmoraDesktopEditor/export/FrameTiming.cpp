#include "export/FrameTiming.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "export/MovieContainer.h"
#include "export/TimelineExportState.h"
#include "export/WriterSettings.h"
#include "model/FrameRateLimit.h"
#include "platform/foundation/FrameRates.h"

namespace velmora::Exporter {

namespace {

bool usableRate(std::optional<double> fps)
{
    return fps && std::isfinite(*fps) && *fps > 0;
}

// Both fpsNum and fpsDen present, each at least 1, and fpsNum within the 32-bit timescale.
std::optional<FrameTiming> exactTiming(std::optional<std::int64_t> fpsNum, std::optional<std::int64_t> fpsDen)
{
    if (!fpsNum || !fpsDen || *fpsNum < 1 || *fpsDen < 1 || *fpsNum > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return FrameTiming{static_cast<double>(*fpsNum) / static_cast<double>(*fpsDen), static_cast<std::int32_t>(*fpsNum),
                       *fpsDen};
}

FrameTiming timingOf(const Asset* asset, std::optional<double> outputFps)
{
    double fps = 30;
    if (asset) {
        fps = chooseFps(asset, outputFps);
    } else if (usableRate(outputFps)) {
        fps = *outputFps;
    }
    return fpsToTimebase(fps);
}

std::string lowercased(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    return text;
}

bool isMpeg4Name(const std::string& name)
{
    const std::string lower = lowercased(name);
    return lower == "mp4" || lower == "m4v";
}

} // namespace

double chooseFps(const Asset* asset, std::optional<double> jobFps)
{
    if (jobFps && *jobFps > 0) {
        return *jobFps;
    }
    const AssetTrack* track = asset ? asset->firstTrack(MediaType::video) : nullptr;
    if (!track) {
        return 30;
    }
    const double r = track->nominalFrameRate;
    if (!(r > 0) || !std::isfinite(r)) {
        return 30;
    }
    // Any other rate is the footage's own: rounded to a whole rate it would retime every frame.
    return nearNtscRate(r).value_or(exactFrameRate(r));
}

FrameTiming fpsToTimebase(double fps)
{
    const double timed = timedFrameRate(fps);
    const RateTimebase timebase = rateTimebase(timed);
    return {timed, timebase.timescale, timebase.step};
}

FrameTiming resolveFps(const Asset* asset, const std::optional<EditorJobV2::Output>& output)
{
    if (output) {
        if (auto exact = exactTiming(output->fpsNum, output->fpsDen)) {
            return *exact;
        }
    }
    return timingOf(asset, output ? output->fps : std::nullopt);
}

FrameTiming resolveFps(const Asset& asset, const std::optional<Job::Output>& output)
{
    if (output) {
        if (auto exact = exactTiming(output->fpsNum, output->fpsDen)) {
            return *exact;
        }
    }
    return timingOf(&asset, output ? output->fps : std::nullopt);
}

void requireExportableFps(double fps)
{
    if (!FrameRateLimit::accepts(fps)) {
        throw exportError(TimelineExportCode::invalidFrameRate, FrameRateLimit::refusalText(fps));
    }
}

FileType movieFileType(const std::filesystem::path& outputURL, const std::optional<std::string>& container)
{
    // A name that says what it is gets what it says: the job's container (a render job always
    // says "mp4") decides only for a name without a movie extension.
    std::optional<std::string> chosen = MovieContainer::ofName(outputURL);
    if (!chosen && container && isMpeg4Name(*container)) {
        chosen = "mp4";
    }
    return chosen == "mp4" ? FileType::mpeg4 : FileType::quickTimeMovie;
}

FileType singleVideoFileType(const std::filesystem::path& outputURL, const Job& job)
{
    return movieFileType(outputURL, job.output ? job.output->container : std::nullopt);
}

TimelineFrameMap timelineFrameMap(const std::vector<EditorJobV2::Clip>& clips, const FrameTiming& timing,
                                  std::map<std::string, SourceVideo> sources, bool includeImages)
{
    std::vector<ClipTiming> timings;
    timings.reserve(clips.size());
    for (const EditorJobV2::Clip& clip : clips) {
        timings.push_back(ClipTiming::of(clip, includeImages));
    }
    return TimelineFrameMap(std::move(timings), FrameGrid{{timing.step, timing.timescale}}, std::move(sources));
}

double previewFrameRate(const Asset* asset, const std::optional<EditorJobV2::Output>& output)
{
    if (const AssetTrack* track = asset ? asset->firstTrack(MediaType::video) : nullptr) {
        if (const std::optional<double> rate = trackFrameRate(*track)) {
            return *rate;
        }
    }
    return std::max(resolveFps(nullptr, output).fps, 1.0);
}

} // namespace velmora::Exporter
