#include "export/TimelineExport.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <tuple>
#include <unistd.h>

#include "export/ClipSelection.h"
#include "export/PartialMovie.h"
#include "export/TimelineAudioMix.h"
#include "export/TimelineExportPulls.h"
#include "export/TimelineExportSetup.h"
#include "export/TimelineFramePipeline.h"
#include "export/TimelineFrameRenderer.h"
#include "grading/GammaCompensation.h"
#include "grading/LutApplication.h"
#include "model/DesktopJobTool.h"
#include "platform/foundation/FileError.h"
#include "platform/media/AudioMixRenderer.h"
#include "platform/text/TextEngine.h"

namespace velmora::Exporter {

namespace {

constexpr double kWaitLimitSeconds = 14400;
// How often the waiting caller looks at the writer.
constexpr double kWatchSeconds = 0.25;
constexpr std::int64_t kAudioBitRate = 192000;

std::string framesText(const char* format, std::int64_t written, std::int64_t total)
{
    char text[160];
    std::snprintf(text, sizeof text, format, static_cast<long long>(written), static_cast<long long>(total));
    return text;
}

// Everything one export runs with, declared in the order it is built. Destruction runs in
// reverse: the pull queues drain first (their pulls return at once: the state is stopped),
// then the decoding threads end and release the readers, then the writer (joining its
// completion), and the state queue last, since the writer's completion still uses it.
struct ExportRun {
    explicit ExportRun(std::int64_t framesTotal, bool hasAudio, TimelineProgressCallback progress,
                       std::shared_ptr<Clock> clock)
        : state(framesTotal, hasAudio, std::move(progress), std::move(clock))
    {
    }

    ~ExportRun()
    {
        state.stopAll();
        if (pipeline) {
            pipeline->stop();
        }
        if (audioMix) {
            audioMix->cancelReading();
        }
        renderQueue.reset();
        audioQueue.reset();
        if (pipeline) {
            pipeline->join();
        }
    }

    TimelineExportState state;
    std::unique_ptr<AssetWriter> writer;
    std::shared_ptr<AssetWriterInput> videoInput;
    std::shared_ptr<AssetWriterInput> audioInput;
    std::unique_ptr<AssetWriterInputPixelBufferAdaptor> adaptor;
    std::unique_ptr<AudioMixRenderer> audioMix;
    std::unique_ptr<TimelineFrameRenderer> renderer;
    std::unique_ptr<TimelineFramePipeline> pipeline;
    std::unique_ptr<SerialQueue> renderQueue;
    std::unique_ptr<SerialQueue> audioQueue;
};

// Refuses, before anything is written, an output that cannot be written: a folder in its place,
// or a folder that does not exist or cannot be written to. The error names the output as the
// single-video export's does ("Could not write “cut.mp4”: Permission denied.").
void checkOutputLocation(const std::filesystem::path& outputURL)
{
    std::error_code ec;
    if (std::filesystem::is_directory(outputURL, ec)) {
        throw FileError::fromErrno(EISDIR, "Could not write", outputURL);
    }
    const std::filesystem::path folder = outputURL.has_parent_path() ? outputURL.parent_path() : ".";
    if (!std::filesystem::is_directory(folder, ec)) {
        throw FileError::fromErrno(ENOENT, "Could not write", outputURL);
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        throw FileError::fromErrno(errno, "Could not write", outputURL);
    }
}

// Waits for the export's done signal at most `limit` seconds (298 after that). Meanwhile it
// watches the writer: a writer that stops on its own (an encoder or file failure on its own
// thread) asks for no more data, so no pull would ever end the export; the watch ends it with
// the writer's error.
void waitForExport(ExportRun& run, std::int64_t framesTotal, double limit)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(std::max(limit, 0.0));
    for (;;) {
        const double remaining = std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
        if (remaining <= 0) {
            run.state.failExport(exportError(TimelineExportCode::timedOut,
                                             framesText("Export timed out after 4 hours at frame %lld of %lld.",
                                                        run.state.framesWritten(), framesTotal)));
            return;
        }
        if (run.state.waitForDone(std::min(remaining, kWatchSeconds))) {
            return;
        }
        const AssetWriterStatus status = run.writer->status();
        if ((status == AssetWriterStatus::failed || status == AssetWriterStatus::cancelled) &&
            !run.state.isStopped()) {
            const std::optional<Error> error = run.writer->error();
            run.state.failExport(error ? *error
                                       : exportError(TimelineExportCode::failed,
                                                     framesText("Export failed at frame %lld of %lld.",
                                                                run.state.framesWritten(), framesTotal)));
        }
    }
}

} // namespace

TimelineExportPlan planTimelineExport(const EditorJobV2& job, const std::optional<std::filesystem::path>& lutOverrideURL,
                                      const std::filesystem::path& mediaFolderURL,
                                      const std::optional<std::filesystem::path>& sessionFile,
                                      const ResolvedMedia* resolvedMedia, const ResolvedLuts* resolvedLuts)
{
    const EditorJobV2::Timeline& timeline = exportTimeline(job);
    const double duration = timelineExportDuration(timeline);
    TimelineExportPlan plan;
    TimelineRenderSetup& setup = plan.render;
    std::tie(setup.width, setup.height) = timelineOutputSize(job);
    setup.clips = timeline.clips;
    setup.overlays = DesktopJobTool::overlayRenderFlags(timeline.clips);

    plan.sourceFiles = resolveTimelineSourceFiles(job, mediaFolderURL, resolvedMedia);
    requireSourceFiles(job, timeline, plan.sourceFiles);
    plan.luts = timelineLuts(job, timeline, mediaFolderURL, sessionFile, resolvedLuts);
    requireLuts(timeline, plan.luts, lutOverrideURL);
    if (const std::string lutText = timelineGlobalLutText(*plan.luts.job, lutOverrideURL); !lutText.empty()) {
        setup.globalLut = makeCachedCube(lutText);
    }
    setup.clipLutTexts = timelineClipLutTexts(plan.luts);

    setup.sources = openExportSources(visualSourceIds(timeline), plan.sourceFiles, setup.width, setup.height);
    // A job without a frame rate takes one from its sources; any of them will do.
    plan.timing = timelineFrameTiming(job, setup.sources.empty() ? nullptr : setup.sources.begin()->second.asset.get());
    setGeneratorTolerance(setup.sources, plan.timing);
    setup.timescale = plan.timing.timescale;
    setup.step = plan.timing.step;
    setup.frameDuration = static_cast<double>(plan.timing.step) / static_cast<double>(plan.timing.timescale);
    setup.framesTotal = timelineFramesTotal(duration, plan.timing);
    plan.frameMap = renderFrameMap(setup);
    return plan;
}

ExportResult exportEditorTimeline(const EditorJobV2& job, const std::optional<std::filesystem::path>& lutOverrideURL,
                                  const std::filesystem::path& mediaFolderURL, const std::filesystem::path& outputURL,
                                  std::optional<std::int64_t> bitrateOverrideBps, EditorVideoCodec codec,
                                  const std::string& gammaMode, double compContrast, double compSaturation,
                                  double compBrightness, double compTint,
                                  const std::optional<std::filesystem::path>& sessionFile,
                                  TimelineProgressCallback progress, CancellationCallback isCancelled,
                                  const TimelineExportFaults& faults, const ResolvedMedia* resolvedMedia,
                                  const ResolvedLuts* resolvedLuts)
{
    // What will be rendered, decided and checked before any file is touched.
    const GammaModeResolution gamma = resolveGammaMode(gammaMode);
    TimelineExportPlan plan =
        planTimelineExport(job, lutOverrideURL, mediaFolderURL, sessionFile, resolvedMedia, resolvedLuts);
    const FrameTiming timing = plan.timing;
    const int width = plan.render.width;
    const int height = plan.render.height;
    const std::int64_t framesTotal = plan.render.framesTotal;
    const std::int64_t bitrate = timelineBitrate(bitrateOverrideBps, job, width, height, timing.fps);
    const FileType fileType = movieFileType(outputURL, job.output ? job.output->container : std::nullopt);
    std::optional<TimelineAudioMix> mix = makeTimelineAudioMix(plan.render.clips, plan.sourceFiles, timing.timescale);
    if (plan.render.overlays.text || plan.render.overlays.lowerThirds) {
        ensureTextEngine();
    }
    checkOutputLocation(outputURL);

    // The movie is written under a temporary name beside the output.
    PartialMovie partial(outputURL);
    ExportRun run(framesTotal, mix.has_value(), std::move(progress), faults.clock);
    run.writer = std::make_unique<AssetWriter>(partial.path(), fileType, AssetWriterTarget::claimedEmptyFile);
    run.writer->movieTimeScale = timing.timescale;

    run.videoInput = AssetWriterInput::video(
        makeWriterSettings(width, height, timing.fps, bitrate, gamma.transferAV, codec));
    run.videoInput->expectsMediaDataInRealTime = false;
    run.videoInput->mediaTimeScale = timing.timescale;
    run.adaptor = std::make_unique<AssetWriterInputPixelBufferAdaptor>(run.videoInput, renderPixelFormat(codec),
                                                                       width, height);
    run.writer->add(run.videoInput);

    if (mix) {
        AudioOutputSettings audioSettings;
        audioSettings.sampleRate = 48000;
        audioSettings.channels = 2;
        audioSettings.bitRate = kAudioBitRate;
        run.audioInput = AssetWriterInput::audio(audioSettings);
        run.audioInput->expectsMediaDataInRealTime = false;
        run.writer->add(run.audioInput);
        run.audioMix = std::make_unique<AudioMixRenderer>(std::move(mix->composition), std::move(mix->audioMix));
    }
    run.state.attachWriter(run.writer.get(), run.videoInput, run.audioInput);
    // A stopped export's partial movie goes at once: a cancel's (or a quit's) answer need not
    // wait for the encoder to let go of the frames in flight.
    run.state.setDiscardOutput([&partial] { partial.discard(); });

    if (!run.writer->startWriting()) {
        if (auto error = run.writer->error()) {
            throw *error;
        }
        throw exportError(TimelineExportCode::writerStart, "Failed to start export writer.");
    }
    run.writer->startSession(MediaTime::zero());
    run.state.reportExactProgress(0, TimelineExportPhase::renderingVideo);

    TimelineRenderSetup setup = std::move(plan.render);
    setup.compContrast = compContrast;
    setup.compSaturation = compSaturation;
    setup.compBrightness = compBrightness;
    setup.compTint = compTint;
    setup.gamma = gamma;
    setup.readerFaults = faults.readers;
    setup.refusePixelBuffer = faults.refusePixelBuffer;
    run.renderer = std::make_unique<TimelineFrameRenderer>(std::move(setup), std::move(plan.frameMap));

    // One float picture at a time (its conversion and its grade take turns; both use every
    // core) and one finished frame waiting: the writer's own queue and the encoder's threads
    // keep the encoder busy, and every further frame would only raise the peak memory.
    run.pipeline = std::make_unique<TimelineFramePipeline>(*run.renderer, run.adaptor->pixelBufferPool(),
                                                           framesTotal, 1, 1);
    run.state.setStopReading([&run] {
        run.pipeline->stop();
        if (run.audioMix) {
            run.audioMix->cancelReading();
        }
    });

    run.renderQueue = std::make_unique<SerialQueue>("export.timeline.render");
    run.audioQueue = std::make_unique<SerialQueue>("export.timeline.audio");
    run.pipeline->start();
    if (run.audioInput && run.audioMix) {
        run.audioInput->requestMediaDataWhenReady(
            *run.audioQueue,
            TimelineAudioPump(run.state, *run.audioMix, *run.audioInput, *run.writer,
                              MediaTime(framesTotal * timing.step, timing.timescale), isCancelled,
                              TimelineAudioPump::Faults{faults.refuseAudioAppend, faults.audioMixFailsSilently, faults.atEndOfMix}));
    }
    run.videoInput->requestMediaDataWhenReady(
        *run.renderQueue, TimelineVideoPull(run.state, *run.pipeline, *run.adaptor, *run.writer, timing.timescale,
                                            timing.step, isCancelled, faults.refuseAppend, faults.stopWriterAfter));

    waitForExport(run, framesTotal, faults.waitLimitSeconds.value_or(kWaitLimitSeconds));
    if (const std::exception_ptr error = run.state.firstError()) {
        try {
            std::rethrow_exception(error);
        } catch (const Error& failure) {
            throw partial.namingOutput(failure);
        }
    }
    // The writer's completion signalled; once it returns from finishing, its status is final.
    const AssetWriterStatus status =
        faults.writerLosesOutcome ? AssetWriterStatus::failed : run.writer->status();
    if (status != AssetWriterStatus::completed) {
        const std::optional<Error> writerError = faults.writerLosesOutcome ? std::nullopt : run.writer->error();
        if (writerError) {
            throw partial.namingOutput(*writerError);
        }
        throw exportError(TimelineExportCode::failed,
                          framesText("Export failed at frame %lld of %lld.", run.state.framesWritten(), framesTotal));
    }
    partial.commit();
    run.state.reportExactProgress(framesTotal, TimelineExportPhase::done);
    return ExportResult{outputURL, timing.fps, width, height};
}

} // namespace velmora::Exporter
