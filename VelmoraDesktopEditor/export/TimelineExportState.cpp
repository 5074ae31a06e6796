#include "export/TimelineExportState.h"

#include <algorithm>

namespace velmora::Exporter {

namespace {

constexpr double kProgressInterval = 0.2;
constexpr std::int64_t kProgressFrameStep = 12;

} // namespace

Error exportError(int code, std::string message)
{
    return Error("export", code, std::move(message));
}

TimelineExportState::TimelineExportState(std::int64_t framesTotal, bool hasAudio, TimelineProgressCallback progress,
                                         std::shared_ptr<Clock> clock)
    : framesTotal_(framesTotal), progress_(std::move(progress)), clock_(clock ? std::move(clock) : systemClock()),
      audioDone_(!hasAudio), lastProgressTime_(clock_->now())
{
}

TimelineExportState::~TimelineExportState() = default;

void TimelineExportState::attachWriter(AssetWriter* writer, std::shared_ptr<AssetWriterInput> videoInput,
                                       std::shared_ptr<AssetWriterInput> audioInput)
{
    writer_ = writer;
    videoInput_ = std::move(videoInput);
    audioInput_ = std::move(audioInput);
}

void TimelineExportState::setStopReading(std::function<void()> stopReading)
{
    stopReading_ = std::move(stopReading);
}

void TimelineExportState::setDiscardOutput(std::function<void()> discardOutput)
{
    discardOutput_ = std::move(discardOutput);
}

bool TimelineExportState::isStopped()
{
    bool value = false;
    queue_.sync([&] { value = stopped_; });
    return value;
}

bool TimelineExportState::videoStopTest()
{
    bool value = false;
    queue_.sync([&] { value = stopped_ || videoDone_; });
    return value;
}

bool TimelineExportState::audioStopTest()
{
    bool value = false;
    queue_.sync([&] { value = stopped_ || audioDone_; });
    return value;
}

bool TimelineExportState::claimVideoDone(bool* reportFinalizing)
{
    bool claimed = false;
    bool finalizing = false;
    queue_.sync([&] {
        if (!videoDone_ && !stopped_) {
            videoDone_ = true;
            claimed = true;
            finalizing = finalizingOwedByVideo_;
        }
    });
    if (reportFinalizing) {
        *reportFinalizing = finalizing;
    }
    return claimed;
}

bool TimelineExportState::markAudioDone()
{
    bool videoDone = false;
    queue_.sync([&] {
        audioDone_ = true;
        videoDone = videoDone_;
        finalizingOwedByVideo_ = !videoDone_;
    });
    return videoDone;
}

bool TimelineExportState::isVideoDone()
{
    bool value = false;
    queue_.sync([&] { value = videoDone_; });
    return value;
}

std::int64_t TimelineExportState::addWrittenFrame()
{
    std::int64_t value = 0;
    queue_.sync([&] { value = ++framesWritten_; });
    return value;
}

std::int64_t TimelineExportState::framesWritten()
{
    std::int64_t value = 0;
    queue_.sync([&] { value = framesWritten_; });
    return value;
}

std::int64_t TimelineExportState::framesCompleted()
{
    return std::min(framesWritten(), framesTotal_);
}

std::exception_ptr TimelineExportState::firstError()
{
    std::exception_ptr value;
    queue_.sync([&] { value = firstError_; });
    return value;
}

void TimelineExportState::failExport(const Error& error)
{
    failExport(std::make_exception_ptr(error));
}

void TimelineExportState::failExport(std::exception_ptr error)
{
    bool stoppedHere = false;
    queue_.sync([&] {
        if (!stopped_) {
            firstError_ = error;
            stopped_ = true;
            stoppedHere = true;
        }
    });
    if (stoppedHere && discardOutput_) {
        discardOutput_();
    }
    if (stopReading_) {
        stopReading_();
    }
    // Writing is cancelled before the inputs are marked finished, so that marking them does not
    // drain the encoders of a movie that is thrown away. Once finishing has begun the cancel is
    // refused and the writer's own outcome decides.
    if (writer_) {
        writer_->cancelWriting();
    }
    if (audioInput_) {
        audioInput_->markAsFinished();
    }
    if (videoInput_) {
        videoInput_->markAsFinished();
    }
    signalDoneOnce();
}

bool TimelineExportState::finalizeIfReady()
{
    bool ready = false;
    queue_.sync([&] {
        if (!stopped_ && !finishing_ && videoDone_ && audioDone_) {
            finishing_ = true;
            stopped_ = true;
            ready = true;
        }
    });
    return ready;
}

void TimelineExportState::finishIfReady()
{
    if (finalizeIfReady() && writer_) {
        writer_->finishWriting([this] { signalDoneOnce(); });
    }
}

void TimelineExportState::signalDoneOnce()
{
    bool signal = false;
    queue_.sync([&] {
        if (!doneSignalled_) {
            doneSignalled_ = true;
            signal = true;
        }
    });
    if (signal) {
        done_.signal();
    }
}

void TimelineExportState::reportProgress(const std::string& phase, bool force)
{
    const double now = clock_->now();
    bool report = false;
    std::int64_t completed = 0;
    queue_.sync([&] {
        if (force || now - lastProgressTime_ >= kProgressInterval) {
            lastProgressTime_ = now;
            completed = std::min(framesWritten_, framesTotal_);
            report = true;
        }
    });
    if (report) {
        callProgress(TimelineExportProgress{completed, framesTotal_, phase});
    }
}

void TimelineExportState::reportFrameProgress(std::int64_t count)
{
    if (count % kProgressFrameStep == 0 || count >= framesTotal_) {
        reportProgress(TimelineExportPhase::renderingVideo, false);
    }
}

void TimelineExportState::reportExactProgress(std::int64_t framesCompleted, const std::string& phase)
{
    if (progress_) {
        progress_(TimelineExportProgress{framesCompleted, framesTotal_, phase});
    }
}

void TimelineExportState::callProgress(const TimelineExportProgress& progress)
{
    if (!progress_) {
        return;
    }
    try {
        progress_(progress);
    } catch (...) {
        failExport(std::current_exception());
    }
}

bool TimelineExportState::waitForDone(double seconds)
{
    return done_.waitFor(seconds);
}

void TimelineExportState::stopAll()
{
    queue_.sync([&] { stopped_ = true; });
}

} // namespace velmora::Exporter
