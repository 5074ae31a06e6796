#include "export/TimelineExportPulls.h"

#include <algorithm>

namespace velmora::Exporter {

namespace {

// How long the video pull waits for the next frame before it looks at the cancel request and
// the stop flag again.
constexpr double kFramePollSeconds = 0.05;
// Frames of audio per append: about 85 ms at 48 kHz.
constexpr int kAudioChunkFrames = 4096;
constexpr std::int32_t kSampleRate = AudioMixRenderer::sampleRate;
constexpr int kChannels = AudioMixRenderer::channelCount;

// Tests the cancel request; a cancel ends the export with 248, a callback that throws with its
// error. True when the export was ended.
bool cancelRequested(TimelineExportState& state, const CancellationCallback& isCancelled)
{
    if (!isCancelled) {
        return false;
    }
    try {
        if (!isCancelled()) {
            return false;
        }
    } catch (...) {
        state.failExport(std::current_exception());
        return true;
    }
    state.failExport(exportError(TimelineExportCode::cancelled, "Export cancelled."));
    return true;
}

} // namespace

TimelineVideoPull::TimelineVideoPull(TimelineExportState& state, TimelineFramePipeline& pipeline,
                                     AssetWriterInputPixelBufferAdaptor& adaptor, AssetWriter& writer,
                                     std::int32_t timescale, std::int64_t step, CancellationCallback isCancelled,
                                     std::function<bool(std::int64_t)> refuseAppend,
                                     std::function<bool(std::int64_t)> stopWriterAfter)
    : state_(state), pipeline_(pipeline), adaptor_(adaptor), writer_(writer), timescale_(timescale), step_(step),
      isCancelled_(std::move(isCancelled)), refuseAppend_(std::move(refuseAppend)),
      stopWriterAfter_(std::move(stopWriterAfter))
{
}

bool TimelineVideoPull::endedByCancel()
{
    return cancelRequested(state_, isCancelled_);
}

void TimelineVideoPull::operator()()
{
    // Whatever goes wrong in here ends the export: an error left to the writer would stop the
    // pulls without waking the waiting caller.
    try {
        pull();
    } catch (...) {
        state_.failExport(std::current_exception());
    }
}

void TimelineVideoPull::pull()
{
    if (state_.isStopped() || state_.videoStopTest()) {
        return;
    }
    AssetWriterInput& input = *adaptor_.assetWriterInput();
    const std::int64_t total = state_.framesTotal();
    while (input.isReadyForMoreMediaData()) {
        if (endedByCancel()) {
            return;
        }
        const std::int64_t n = state_.framesWritten();
        if (n >= total) {
            break;
        }
        std::optional<TimelineFramePipeline::Frame> frame;
        while (!frame) {
            frame = pipeline_.next(kFramePollSeconds);
            if (!frame && (state_.isStopped() || endedByCancel())) {
                return;
            }
        }
        if (frame->error) {
            state_.failExport(frame->error);
            return;
        }
        const bool refused = refuseAppend_ && refuseAppend_(n);
        if (refused || !adaptor_.append(frame->buffer, MediaTime(n * step_, timescale_))) {
            std::optional<Error> writerError = refused ? std::nullopt : writer_.error();
            state_.failExport(writerError ? *writerError
                                          : exportError(TimelineExportCode::frameAppend, "Failed to append frame"));
            return;
        }
        frame.reset(); // the buffer goes back to the pool before the next frame is awaited
        state_.reportFrameProgress(state_.addWrittenFrame());
        if (stopWriterAfter_ && stopWriterAfter_(n)) {
            writer_.cancelWriting();
            return;
        }
    }
    bool reportFinalizing = false;
    if (state_.framesWritten() < total || state_.isStopped() || !state_.claimVideoDone(&reportFinalizing)) {
        return;
    }
    input.markAsFinished();
    state_.reportProgress(TimelineExportPhase::encodingAudio, true);
    if (reportFinalizing) {
        state_.reportProgress(TimelineExportPhase::finalizing, true);
    }
    state_.finishIfReady();
}

TimelineAudioPump::TimelineAudioPump(TimelineExportState& state, AudioMixRenderer& mix, AssetWriterInput& input,
                                     AssetWriter& writer, const MediaTime& duration, CancellationCallback isCancelled,
                                     Faults faults)
    : state_(state), mix_(mix), input_(input), writer_(writer), isCancelled_(std::move(isCancelled)),
      faults_(std::move(faults)), endFrame_(duration.convertScale(kSampleRate).value())
{
}

bool TimelineAudioPump::endedByCancel()
{
    return cancelRequested(state_, isCancelled_);
}

void TimelineAudioPump::operator()()
{
    try {
        pump();
    } catch (...) {
        state_.failExport(std::current_exception());
    }
}

void TimelineAudioPump::pump()
{
    if (state_.isStopped() || state_.audioStopTest()) {
        return;
    }
    if (endedByCancel()) {
        return;
    }
    while (input_.isReadyForMoreMediaData()) {
        std::optional<SampleBuffer> sample;
        if (!mixEnded_) {
            sample = mix_.copyNextSampleBuffer(kAudioChunkFrames);
            mixEnded_ = !sample;
        }
        if (!sample && !faults_.mixFailsSilently && mix_.status() != AudioMixRenderer::Status::failed) {
            sample = silence();
        }
        if (!sample) {
            endOfAudio();
            return;
        }
        nextFrame_ = sample->presentationTime.convertScale(kSampleRate).value() + sample->audioFrameCount;
        const bool refused = faults_.refuseAppend && faults_.refuseAppend(chunksAppended_);
        if (refused || !input_.append(*sample)) {
            std::optional<Error> writerError = refused ? std::nullopt : writer_.error();
            state_.failExport(writerError ? *writerError
                                          : exportError(TimelineExportCode::audioAppend, "Failed to append audio"));
            return;
        }
        ++chunksAppended_;
        if (endedByCancel()) {
            return;
        }
    }
}

std::optional<SampleBuffer> TimelineAudioPump::silence() const
{
    const std::int64_t remaining = endFrame_ - nextFrame_;
    if (remaining <= 0) {
        return std::nullopt;
    }
    SampleBuffer sample;
    sample.audioSampleRate = kSampleRate;
    sample.audioChannels = kChannels;
    sample.audioFrameCount = static_cast<int>(std::min<std::int64_t>(remaining, kAudioChunkFrames));
    sample.audioSamples.assign(static_cast<std::size_t>(sample.audioFrameCount) * kChannels, 0.0f);
    sample.presentationTime = MediaTime(nextFrame_, kSampleRate);
    sample.duration = MediaTime(sample.audioFrameCount, kSampleRate);
    return sample;
}

void TimelineAudioPump::endOfAudio()
{
    const bool failed = faults_.mixFailsSilently || mix_.status() == AudioMixRenderer::Status::failed;
    if (faults_.atEndOfMix) {
        faults_.atEndOfMix(state_);
    }
    if (failed) {
        // The sound is never marked done: a picture side that ends meanwhile finds it missing
        // and cannot complete the movie, so this failure is the one reported, whatever the
        // order in which the two sides end.
        std::optional<Error> readerError = faults_.mixFailsSilently ? std::nullopt : mix_.error();
        state_.failExport(readerError ? *readerError
                                      : exportError(TimelineExportCode::audioReader, "Audio reader failed"));
        return;
    }
    input_.markAsFinished();
    const bool videoDone = state_.markAudioDone();
    if (videoDone) {
        state_.reportProgress(TimelineExportPhase::finalizing, true);
    }
    state_.finishIfReady();
}

} // namespace velmora::Exporter
