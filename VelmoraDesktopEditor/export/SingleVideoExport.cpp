#include "export/SingleVideoExport.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <system_error>
#include <tuple>

#include "export/FrameTiming.h"
#include "export/JobFileReading.h"
#include "export/PartialMovie.h"
#include "export/SingleVideoPumps.h"
#include "export/TimelineExportSetup.h"
#include "export/SourceFrameDecoding.h"
#include "export/WriterSettings.h"
#include "grading/GammaCompensation.h"
#include "grading/LutApplication.h"
#include "model/LutResolution.h"
#include "model/ProjectLUTResolver.h"
#include "platform/foundation/NumberText.h"
#include "platform/media/ImageGenerator.h"
#include "platform/media/MediaError.h"

namespace velmora::Exporter {

namespace {

constexpr int kAudioSampleRate = 48000;
constexpr int kAudioChannels = 2;
constexpr std::int64_t kAudioBitRate = 192000;
constexpr double kMinimumRangeSeconds = 0.05;
// Frames of a range beyond this many are not counted (2^53: exact in a double).
constexpr double kLongestCountedRange = 9007199254740992.0;

std::optional<CubeLUT> parsedOrNone(const std::string& text)
{
    try {
        return parseCube(text);
    } catch (const Error&) {
        return std::nullopt;
    }
}

// Refuses an output the movie cannot replace: the movie being read (through any link) or a
// folder. Nothing is removed: the complete movie is moved over the output at the end.
void checkOutputIsReplaceable(const std::filesystem::path& inputURL, const std::filesystem::path& outputURL)
{
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(outputURL, ec);
    if (ec || !std::filesystem::exists(status)) {
        return;
    }
    if (std::filesystem::equivalent(inputURL, outputURL, ec)) {
        throw MediaError::make(MediaError::writeFailed,
                               "Cannot write " + MediaError::quotedName(outputURL) +
                                   ": it is the video being exported.");
    }
    if (std::filesystem::is_directory(status)) {
        throw MediaError::make(MediaError::writeFailed,
                               "Cannot write " + MediaError::quotedName(outputURL) + ": it is a folder.");
    }
}

// The span the readers read: the job's source range when both ends are given and in order, on
// twice the movie's timescale where that fits, so that both a frame's start and its middle fall
// on a tick.
std::optional<MediaTimeRange> sourceRange(const Job& job, std::int32_t movieTimescale)
{
    const std::int32_t timescale =
        movieTimescale <= std::numeric_limits<std::int32_t>::max() / 2 ? 2 * movieTimescale : movieTimescale;
    if (!job.sourceInSeconds || !job.sourceOutSeconds || !(*job.sourceInSeconds < *job.sourceOutSeconds)) {
        return std::nullopt;
    }
    const double in = *job.sourceInSeconds;
    const double length = std::max(*job.sourceOutSeconds - in, kMinimumRangeSeconds);
    const MediaTime start = MediaTime::fromSeconds(in, timescale);
    const MediaTime duration = MediaTime::fromSeconds(length, timescale);
    if (!start.isNumeric() || !duration.isNumeric()) {
        return std::nullopt;
    }
    return MediaTimeRange(start, duration);
}

} // namespace

std::optional<CubeLUT> singleVideoCubeLoader(const std::string& lutText,
                                             const std::optional<std::filesystem::path>& mediaFolder)
{
    const LutResolution answer = LutResolving::forJobReference(lutText, mediaFolder, std::nullopt);
    return answer.grades() ? parsedOrNone(answer.text) : std::nullopt;
}

std::optional<CubeLUT> singleVideoCube(const std::optional<std::filesystem::path>& lutOverrideURL, const Job& job,
                                       const std::optional<std::filesystem::path>& mediaFolder)
{
    if (lutOverrideURL) {
        const LutResolution chosen = LutResolving::forOverrideFile(*lutOverrideURL);
        if (!chosen.grades()) {
            throw Error("export", SingleVideoExportCode::missingLut, lutOverrideRefusal(chosen));
        }
        return parseCube(chosen.text);
    }
    const LutResolution answer = LutResolving::forJobReference(job.grade.lutCube, mediaFolder, std::nullopt);
    if (answer.kind == LutResolution::Kind::none) {
        return std::nullopt;
    }
    if (answer.grades()) {
        // Text that grades is text the reader reads.
        return parseCube(answer.text);
    }
    if (answer.name == ProjectLUTResolver::embeddedLutLabel) {
        throw Error("export", SingleVideoExportCode::missingLut,
                    "This job's LUT is not usable .cube text: " + answer.reason +
                        ". Choose a LUT override to give the job one.");
    }
    // A file that is there is named with why it cannot grade, as the timeline routes name it.
    if (answer.kind == LutResolution::Kind::unusable) {
        throw Error("export", SingleVideoExportCode::missingLut,
                    answer.description() + "\n\nTip: choose a usable .cube file (or another LUT) as the LUT override.");
    }
    throw Error("export", SingleVideoExportCode::missingLut,
                "Missing LUT file:\n" + answer.name +
                    "\n\nTip: choose the .cube file (or another LUT) as the LUT override.");
}

std::pair<int, int> singleVideoOutputSize(const AssetTrack& track, std::optional<std::int64_t> maxWidth)
{
    int width = std::max(std::abs(track.displayWidth()), 1);
    int height = std::max(std::abs(track.displayHeight()), 1);
    if (maxWidth && *maxWidth >= 1 && *maxWidth < width) {
        const double scale = static_cast<double>(*maxWidth) / width;
        const auto evenSide = [scale](int side) {
            const double scaled = std::round(side * scale);
            return std::max(2, 2 * static_cast<int>(std::trunc(scaled / 2)));
        };
        width = evenSide(width);
        height = evenSide(height);
    }
    return {width, height};
}

std::int64_t singleVideoAutomaticBitrate(int width, int height, double fps)
{
    const double pixels = static_cast<double>(width) * static_cast<double>(height) / 8294400.0;
    double rate = 150000000.0 * pixels * (fps / 59.94);
    if (!(rate >= 20000000.0)) {
        rate = 20000000.0; // also for a rate that is not a number
    }
    rate = std::min(rate, 200000000.0);
    return static_cast<std::int64_t>(rate);
}

std::optional<SourceFrameRange> singleVideoFrames(const Job& job, const Asset& asset, const FrameTiming& timing)
{
    const AssetTrack* track = asset.firstTrack(MediaType::video);
    if (!track || asset.isStillImage() || !job.sourceInSeconds || !job.sourceOutSeconds ||
        !(*job.sourceInSeconds < *job.sourceOutSeconds)) {
        return std::nullopt;
    }
    const double in = std::max(*job.sourceInSeconds, 0.0);
    const double length = std::max(*job.sourceOutSeconds - *job.sourceInSeconds, kMinimumRangeSeconds);
    if (!std::isfinite(in) || !std::isfinite(length)) {
        return std::nullopt;
    }
    EditorJobV2::Clip clip;
    clip.type = "video";
    clip.sourceId = "input";
    clip.startTime = 0;
    clip.duration = length;
    clip.inPoint = in;
    // A range too long to count in frames reads the file to its end.
    if (!(length * timing.fps < kLongestCountedRange)) {
        return std::nullopt;
    }
    const SourceVideo video = SourceVideo::of(asset);
    const TimelineFrameMap map = timelineFrameMap({clip}, timing, {{"input", video}});
    const ShownFrame first = map.frame(0);
    if (first.gap()) {
        // The range's first frame would start at or past the end of the file's video.
        return SourceFrameRange{0, 0, sourceFrameRate(*track)};
    }
    if (!first.sourceFrame) {
        return std::nullopt;
    }
    const std::int64_t total = timelineFramesTotal(length, timing);
    // The frames up to the first past the end of the file's video (counted one by one only where
    // the file's end bounds them).
    std::int64_t count = video.videoEnd ? 1 : total;
    while (count < total && !map.frame(count).gap()) {
        ++count;
    }
    return SourceFrameRange{*first.sourceFrame, count, sourceFrameRate(*track)};
}

ExportResult exportSingleVideo(const Job& job, const std::optional<std::filesystem::path>& lutOverrideURL,
                               const std::filesystem::path& inputURL,
                               const std::optional<std::filesystem::path>& mediaFolderURL,
                               const std::filesystem::path& outputURL, std::optional<std::int64_t> bitrateOverrideBps,
                               const std::string& gammaMode, double compContrast, double compSaturation,
                               double compBrightness, double compTint, const SingleVideoExportOptions& options)
{
    const GammaModeResolution gamma = resolveGammaMode(gammaMode);
    const std::optional<CubeLUT> cube = singleVideoCube(lutOverrideURL, job, mediaFolderURL);

    const std::shared_ptr<const Asset> asset = Asset::open(inputURL);
    if (job.output && job.output->fps) {
        requireExportableFps(*job.output->fps);
    }
    const FrameTiming timing = resolveFps(*asset, job.output);
    requireExportableFps(timing.fps);
    requireExportableBitrate(bitrateOverrideBps);
    std::optional<std::int64_t> bitrate = bitrateOverrideBps;
    if (!bitrate && job.output) {
        bitrate = job.output->targetBitrate;
    }

    const AssetTrack* videoTrack = asset->firstTrack(MediaType::video);
    if (!videoTrack) {
        throw singleVideoError(SingleVideoExportCode::noVideoTrack);
    }
    const auto [width, height] = singleVideoOutputSize(*videoTrack, job.output ? job.output->maxWidth : std::nullopt);
    if (!bitrate) {
        bitrate = singleVideoAutomaticBitrate(width, height, timing.fps);
    }

    // A range that starts after the video's last frame has nothing to write: refused before a
    // movie of no pictures could be reported done.
    const std::optional<SourceFrameRange> rangeFrames = singleVideoFrames(job, *asset, timing);
    if (rangeFrames && rangeFrames->count == 0) {
        throw Error("export", SingleVideoExportCode::rangePastVideo,
                    "The range from " + NumberText::shortest(std::max(*job.sourceInSeconds, 0.0)) +
                        " s starts after the last frame of the video: there is nothing to export.");
    }

    checkOutputIsReplaceable(inputURL, outputURL);

    // Written beside the output and moved over it once complete, so a failed export leaves an
    // older movie as it was; errors of the writer name the output, not the hidden file.
    PartialMovie partial(outputURL);
    try {
        SingleVideoFrameGrade grade;
        if (cube) {
            grade.lutFilter = makeCubeFilter(*cube);
        }
        grade.compContrast = compContrast;
        grade.compSaturation = compSaturation;
        grade.compBrightness = compBrightness;
        grade.compTint = compTint;
        grade.gammaPower = gamma.gammaPower;
        grade.orientation = videoTrack->preferredTransform;
        grade.width = width;
        grade.height = height;

        // A still is the movie's one frame: decoded once, upright, at about the movie's size, so
        // that a huge picture never sits whole in memory; a movie is read frame by frame.
        std::optional<Image> still;
        std::unique_ptr<AssetReader> videoReader;
        std::shared_ptr<AssetReaderTrackOutput> videoOutput;
        std::optional<MediaTimeRange> range = sourceRange(job, timing.timescale);
        // The frames the timeline would show for the range: read from the middle of the first,
        // so that neither the frame before it nor a rounding of its start comes first; the sound
        // starts with that frame.
        std::optional<MediaTimeRange> soundRange = range;
        std::optional<std::int64_t> frameLimit = options.frameLimit;
        if (const std::optional<SourceFrameRange>& frames = rangeFrames; frames && range) {
            const double frameSeconds = 1 / frames->sourceFps;
            const double firstStart = static_cast<double>(frames->first) * frameSeconds;
            const double end = static_cast<double>(frames->first + frames->count) * frameSeconds;
            const std::int32_t ticks = range->start.timescale();
            range = MediaTimeRange::fromStartEnd(MediaTime::fromSeconds(firstStart + frameSeconds / 2, ticks),
                                                 MediaTime::fromSeconds(end, ticks));
            soundRange = MediaTimeRange::fromStartEnd(MediaTime::fromSeconds(firstStart, ticks),
                                                      MediaTime::fromSeconds(end, ticks));
            frameLimit = std::min(frameLimit.value_or(frames->count), frames->count);
        }
        if (asset->isStillImage()) {
            ImageGenerator generator(asset);
            generator.appliesPreferredTrackTransform = true;
            std::tie(generator.maximumWidth, generator.maximumHeight) = fillingSize(
                std::abs(videoTrack->displayWidth()), std::abs(videoTrack->displayHeight()), width, height);
            still = generator.copyImage(MediaTime::zero());
            grade.orientation = AffineTransform::identity();
        } else {
            videoReader = std::make_unique<AssetReader>(asset);
            if (range) {
                videoReader->setTimeRange(*range);
            }
            // Float frames straight from the decoder's planes, converted on the pulling thread.
            videoOutput = AssetReaderTrackOutput::videoImages(*videoTrack);
            videoOutput->alwaysCopiesSampleData = false;
            // A source far larger than the movie comes down in its decoded planes.
            std::tie(videoOutput->neededWidth, videoOutput->neededHeight) =
                storedPictureSize(videoTrack->preferredTransform, width, height);
            if (!videoReader->canAdd(*videoOutput)) {
                throw singleVideoError(SingleVideoExportCode::videoOutputRefused);
            }
            videoReader->add(videoOutput);
        }

        AssetWriter writer(partial.path(), singleVideoFileType(outputURL, job), AssetWriterTarget::claimedEmptyFile);
        auto videoInput = AssetWriterInput::video(
            makeWriterSettings(width, height, timing.fps, bitrate, gamma.transferAV, EditorVideoCodec::hevc10));
        videoInput->expectsMediaDataInRealTime = false;
        videoInput->mediaTimeScale = timing.timescale;

        // Sound, when the input has some and both the reader and the writer take it; a refusal on
        // either side leaves a movie without sound rather than a track that is never fed.
        std::unique_ptr<AssetReader> audioReader;
        std::shared_ptr<AssetReaderTrackOutput> audioOutput;
        std::shared_ptr<AssetWriterInput> audioInput;
        if (const AssetTrack* audioTrack = options.sourceAudio ? asset->firstTrack(MediaType::audio) : nullptr) {
            audioReader = std::make_unique<AssetReader>(asset);
            if (soundRange) {
                audioReader->setTimeRange(*soundRange);
            }
            auto output = AssetReaderTrackOutput::audio(*audioTrack, kAudioSampleRate, kAudioChannels);
            output->alwaysCopiesSampleData = false;
            if (audioReader->canAdd(*output)) {
                audioReader->add(output);
                AudioOutputSettings settings;
                settings.sampleRate = kAudioSampleRate;
                settings.channels = kAudioChannels;
                settings.bitRate = kAudioBitRate;
                auto input = AssetWriterInput::audio(settings);
                input->expectsMediaDataInRealTime = false;
                if (writer.canAdd(*input)) {
                    writer.add(input);
                    audioOutput = std::move(output);
                    audioInput = std::move(input);
                }
            }
            if (!audioInput) {
                audioReader.reset();
            }
        }

        AssetWriterInputPixelBufferAdaptor adaptor(videoInput, PixelFormat::p010, width, height);
        if (!writer.canAdd(*videoInput)) {
            throw singleVideoError(SingleVideoExportCode::videoInputRefused);
        }
        writer.add(videoInput);
        if (!writer.startWriting()) {
            throw singleVideoError(SingleVideoExportCode::writerStart);
        }
        writer.startSession(MediaTime::zero());
        if (videoReader && !videoReader->startReading()) {
            throw singleVideoError(SingleVideoExportCode::videoReader);
        }
        if (audioReader && !audioReader->startReading()) {
            std::optional<Error> readerError = audioReader->error();
            throw readerError ? *readerError : singleVideoError(SingleVideoExportCode::audioReaderStart);
        }

        SingleVideoWiring wiring;
        wiring.writer = &writer;
        wiring.videoInput = videoInput;
        wiring.adaptor = &adaptor;
        wiring.videoReader = videoReader.get();
        wiring.videoOutput = videoOutput;
        wiring.still = std::move(still);
        wiring.audioInput = audioInput;
        wiring.audioReader = audioReader.get();
        wiring.audioOutput = audioOutput;
        // A range that starts before the file does is read from the file's start.
        wiring.readStart = soundRange ? std::max(soundRange->start, MediaTime::zero()) : MediaTime::zero();
        wiring.timing = timing;
        wiring.frameLimit = frameLimit;
        wiring.grade = std::move(grade);
        wiring.transferCV = gamma.transferCV;
        wiring.gammaLevel = gamma.gammaLevel;

        SingleVideoPumps pumps(std::move(wiring));
        pumps.start();
        pumps.waitForCompletion(options.waitLimitSeconds, options.isCancelled);
        partial.commit();
    } catch (const Error& error) {
        throw partial.namingOutput(error);
    }
    return ExportResult{outputURL, timing.fps, width, height};
}

} // namespace velmora::Exporter
