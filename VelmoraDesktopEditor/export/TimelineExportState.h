#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "export/TimelineExportProgress.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Semaphore.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/foundation/Error.h"
#include "platform/media/AssetWriter.h"

namespace velmora::Exporter {

using TimelineProgressCallback = std::function<void(const TimelineExportProgress&)>;
using CancellationCallback = std::function<bool()>;

// An error of the export engine: domain "export".
Error exportError(int code, std::string message);

// Codes of the timeline export (domain "export").
namespace TimelineExportCode {
inline constexpr int noTimelines = 210;
inline constexpr int zeroDuration = 211;
inline constexpr int missingSources = 212;
inline constexpr int invalidFrameRate = 213;
inline constexpr int missingLuts = 214;
inline constexpr int unreadableSources = 215;
inline constexpr int invalidBitrate = 216;
inline constexpr int pixelBufferAllocation = 220;
inline constexpr int frameAppend = 221;
inline constexpr int streamReaderOutput = 231;
inline constexpr int streamReaderStart = 232;
inline constexpr int seekReaderOutput = 233;
inline constexpr int seekReaderStart = 234;
inline constexpr int writerStart = 239;
inline constexpr int audioReaderStart = 240;
inline constexpr int audioAppend = 241;
inline constexpr int audioReader = 242;
inline constexpr int cancelled = 248;
inline constexpr int timedOut = 298;
inline constexpr int failed = 299;
} // namespace TimelineExportCode

// What the video pull, the audio pump, the writer's completion and the waiting caller of one
// timeline export share, and the operations that end the export exactly once.
//
// Every flag and counter below is read and written only inside synchronous blocks on the
// serial queue "export.timeline.state", each block one read or one write; no block ever calls
// out (no decoding, encoding, writer call or callback runs on that queue), so the pulls can
// never wait on each other through it. None of the operations may be called from a block
// running on that queue.
class TimelineExportState {
public:
    // `audioDone` starts true for an export without audio, so the video side finishes alone.
    TimelineExportState(std::int64_t framesTotal, bool hasAudio, TimelineProgressCallback progress,
                        std::shared_ptr<Clock> clock = systemClock());
    ~TimelineExportState();
    TimelineExportState(const TimelineExportState&) = delete;
    TimelineExportState& operator=(const TimelineExportState&) = delete;

    // Wiring, once, before either pull runs. The writer and inputs must outlive every call that
    // may reach them (failExport, finishIfReady).
    void attachWriter(AssetWriter* writer, std::shared_ptr<AssetWriterInput> videoInput,
                      std::shared_ptr<AssetWriterInput> audioInput);
    // Run by every failExport: stops frame production and cancels and releases the clip
    // readers. Must be callable from any thread, more than once.
    void setStopReading(std::function<void()> stopReading);
    // Run once, by the failExport that stops the export (never once finishing has begun): lets
    // the movie being written go at once, before the writer's cancel has waited for its encoder.
    void setDiscardOutput(std::function<void()> discardOutput);

    std::int64_t framesTotal() const { return framesTotal_; }

    // Flag operations (state queue).
    bool isStopped();
    // True when the export has stopped or the video side has finished.
    bool videoStopTest();
    // True when the export has stopped or the audio side has finished.
    bool audioStopTest();
    // Sets videoDone and answers true when neither videoDone nor stopped is set. When the audio
    // side finished first, `reportFinalizing` is set: the "Finalizing…" report falls to the
    // video side, after its own, so the phases arrive in order.
    bool claimVideoDone(bool* reportFinalizing = nullptr);
    // Sets audioDone; true when the video side is done, so the audio side reports
    // "Finalizing…" now (otherwise the video side will).
    bool markAudioDone();
    bool isVideoDone();
    // Counts one appended frame; the new count.
    std::int64_t addWrittenFrame();
    std::int64_t framesWritten();
    // min(framesWritten, framesTotal).
    std::int64_t framesCompleted();
    std::exception_ptr firstError();

    // Ends the export with `error`: only the first error is recorded (and stops both sides);
    // the teardown runs on every call: reading stops, writing is cancelled (which removes the
    // partial file), both inputs are marked finished, and the waiting caller is woken.
    void failExport(std::exception_ptr error);
    void failExport(const Error& error);
    // Opens at most once, when neither side has stopped the export and both are done: sets
    // `finishing` and `stopped` and answers true.
    bool finalizeIfReady();
    // finalizeIfReady(), and when it opens, the writer's finish with signalDoneOnce() as its
    // completion.
    void finishIfReady();
    // Signals the waiting caller once; later calls do nothing.
    void signalDoneOnce();

    // Reports the current frame count under `phase` through the progress callback, unless
    // `force` is false and less than 0.2 s have passed since the last report. Runs the callback
    // on the calling thread; a callback that throws fails the export.
    void reportProgress(const std::string& phase, bool force);
    // The regular "Rendering video" report after an append that made framesWritten `count`:
    // at multiples of 12 and at the last frame, at most once per 0.2 s.
    void reportFrameProgress(std::int64_t count);
    // A report with the given count, unthrottled, on the calling thread; the callback's error
    // reaches the caller (the caller's "Done").
    void reportExactProgress(std::int64_t framesCompleted, const std::string& phase);

    // Waits for the done signal at most `seconds`; true when it came.
    bool waitForDone(double seconds);

    // Sets `stopped` without recording anything, so that pulls still queued return at once
    // while the export is being torn down.
    void stopAll();

private:
    void callProgress(const TimelineExportProgress& progress);

    const std::int64_t framesTotal_;
    const TimelineProgressCallback progress_;
    const std::shared_ptr<Clock> clock_;

    // Immutable after wiring.
    AssetWriter* writer_ = nullptr;
    std::shared_ptr<AssetWriterInput> videoInput_;
    std::shared_ptr<AssetWriterInput> audioInput_;
    std::function<void()> stopReading_;
    std::function<void()> discardOutput_;

    Semaphore done_;

    // Guarded by queue_.
    std::exception_ptr firstError_;
    bool stopped_ = false;
    bool videoDone_ = false;
    bool audioDone_;
    bool finishing_ = false;
    bool doneSignalled_ = false;
    bool finalizingOwedByVideo_ = false;
    std::int64_t framesWritten_ = 0;
    double lastProgressTime_;

    // Last member: destroyed first, after running whatever is still queued on it.
    SerialQueue queue_{"export.timeline.state"};
};

} // namespace velmora::Exporter
