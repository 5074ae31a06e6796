#pragma once

#include <cstdint>
#include <functional>

#include "export/TimelineExportState.h"
#include "export/TimelineFramePipeline.h"
#include "platform/media/AssetWriter.h"
#include "platform/media/AudioMixRenderer.h"

namespace velmora::Exporter {

// The video input's pull on "export.timeline.render": appends the pipeline's frames in order
// at n · step / timescale while the input is ready, with progress; tests the cancel request
// before every frame (and while a frame is awaited), so a cancel takes effect within a frame;
// when the last frame is in, marks the input finished, reports "Encoding audio…" and finishes
// the movie when the audio is done too. A failed frame or append ends the export through
// failExport.
class TimelineVideoPull {
public:
    TimelineVideoPull(TimelineExportState& state, TimelineFramePipeline& pipeline,
                      AssetWriterInputPixelBufferAdaptor& adaptor, AssetWriter& writer, std::int32_t timescale,
                      std::int64_t step, CancellationCallback isCancelled,
                      std::function<bool(std::int64_t frame)> refuseAppend = {},
                      std::function<bool(std::int64_t frame)> stopWriterAfter = {});

    void operator()();

private:
    void pull();
    // True when the export was ended: a cancel (248) or a cancel callback that failed.
    bool endedByCancel();

    TimelineExportState& state_;
    TimelineFramePipeline& pipeline_;
    AssetWriterInputPixelBufferAdaptor& adaptor_;
    AssetWriter& writer_;
    const std::int32_t timescale_;
    const std::int64_t step_;
    const CancellationCallback isCancelled_;
    const std::function<bool(std::int64_t)> refuseAppend_;
    // A test's stand-in for a writer that stops on its own after frame n.
    const std::function<bool(std::int64_t)> stopWriterAfter_;
};

// Faults a test injects into the audio pump: chunk n refused by the writer without an error of
// its own (241), a mix that ends failed without an error of its own (242), and a call on the
// audio queue once the mix has ended, before the pump acts on its end.
struct TimelineAudioPumpFaults {
    std::function<bool(std::int64_t chunk)> refuseAppend;
    bool mixFailsSilently = false;
    std::function<void(TimelineExportState&)> atEndOfMix;
};

// The audio input's pump on "export.timeline.audio": copies the mix's 48 kHz stereo samples to
// the AAC input while it is ready, and silence after the mix's end up to `duration`, so sound
// and picture last as long as the timeline. At the end it marks the input finished, reports
// "Finalizing…" (or leaves that report to the video side when the picture is not done yet, so
// the phases arrive in order) and finishes the movie when the picture is done too. A failed mix
// (242), a refused append (241) or a cancel (248) ends the export.
class TimelineAudioPump {
public:
    using Faults = TimelineAudioPumpFaults;

    TimelineAudioPump(TimelineExportState& state, AudioMixRenderer& mix, AssetWriterInput& input, AssetWriter& writer,
                      const MediaTime& duration, CancellationCallback isCancelled,
                      TimelineAudioPumpFaults faults = {});

    void operator()();

private:
    void pump();
    bool endedByCancel();
    void endOfAudio();
    // The next chunk of silence up to the end, or none at the end.
    std::optional<SampleBuffer> silence() const;

    TimelineExportState& state_;
    AudioMixRenderer& mix_;
    AssetWriterInput& input_;
    AssetWriter& writer_;
    const CancellationCallback isCancelled_;
    const Faults faults_;
    // 48 kHz frames of the whole movie.
    const std::int64_t endFrame_;
    // Audio queue only.
    std::int64_t chunksAppended_ = 0;
    std::int64_t nextFrame_ = 0;
    bool mixEnded_ = false;
};

} // namespace velmora::Exporter
