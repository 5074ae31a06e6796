#include "export/SingleVideoPumps.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <new>
#include <utility>

#include "export/SourceFrameDecoding.h"
#include "export/TimelineExportState.h"
#include "grading/BasicGrade.h"
#include "grading/GammaCompensation.h"
#include "platform/image/Resample.h"
#include "platform/media/MediaError.h"
#include "platform/media/PixelBufferImage.h"

namespace velmora::Exporter {

namespace {

// A failure thrown inside a pull that is not an error of ours (allocation, a bad argument of a
// library) still has to end the export rather than leave the caller waiting.
Error errorFromException(std::exception_ptr failure, int fallbackCode)
{
    try {
        std::rethrow_exception(failure);
    } catch (const Error& error) {
        return error;
    } catch (const std::bad_alloc&) {
        return MediaError::make(MediaError::encodeFailed, "Out of memory while exporting.");
    } catch (const std::exception& error) {
        return Error("export", fallbackCode, error.what());
    } catch (...) {
        return singleVideoError(fallbackCode);
    }
}

} // namespace

Error singleVideoError(int code)
{
    namespace C = SingleVideoExportCode;
    const char* words = "The export failed.";
    switch (code) {
    case C::noVideoTrack:
        words = "The input file has no video track to export.";
        break;
    case C::videoOutputRefused:
        words = "The input file's video cannot be decoded into the pictures the export grades.";
        break;
    case C::videoInputRefused:
        words = "The movie writer does not take the video settings of this export.";
        break;
    case C::writerStart:
        words = "The movie file could not be started.";
        break;
    case C::videoReader:
        words = "Reading the input file's video failed.";
        break;
    case C::frameAppend:
        words = "A frame could not be written to the movie.";
        break;
    case C::notCompleted:
        words = "The movie was not completed.";
        break;
    case C::audioReaderStart:
    case C::audioReader:
        words = "Reading the input file's sound failed.";
        break;
    case C::audioAppend:
        words = "The sound could not be written to the movie.";
        break;
    default:
        break;
    }
    return Error("export", code, words);
}

std::optional<Image> gradeSingleVideoFrame(const Image& decoded, const SingleVideoFrameGrade& grade)
{
    Image frame = decoded;
    // Geometry first, on the plain decoded pixels: the colour steps below stay deferred and run
    // in one pass while the frame is written into the encoder's buffer.
    if (frame.hasPixels() && grade.orientation != AffineTransform::identity()) {
        frame = affineTransform(frame, imageSpaceTransform(grade.orientation, frame.width(), frame.height()));
    }
    const IntRect extent = integralRect(frame.extent());
    if (grade.width > 0 && grade.height > 0 &&
        (extent.x != 0 || extent.y != 0 || extent.width != grade.width || extent.height != grade.height)) {
        frame = fitToOutput(frame, grade.width, grade.height);
    }
    if (grade.lutFilter) {
        std::optional<Image> filtered = grade.lutFilter->outputImage(frame);
        if (!filtered) {
            return std::nullopt;
        }
        frame = std::move(*filtered);
    }
    frame = applyLookAdjust(frame, grade.compContrast, grade.compSaturation, grade.compBrightness);
    frame = applyCompTintImage(frame, grade.compTint);
    return applyGammaCompensation(frame, grade.gammaPower);
}

SingleVideoPumps::SingleVideoPumps(SingleVideoWiring wiring)
    : wiring_(std::move(wiring)), audioDone_(!wiring_.audioInput)
{
}

SingleVideoPumps::~SingleVideoPumps()
{
    // Normally the export has ended by now; if not (the caller is unwinding), stop it so that
    // the writer schedules no further pulls on the queues about to go.
    if (!isFinished()) {
        fail(singleVideoError(SingleVideoExportCode::notCompleted));
    }
}

void SingleVideoPumps::start()
{
    if (wiring_.audioInput) {
        wiring_.audioInput->requestMediaDataWhenReady(audioQueue_, [this] { audioPump(); });
    }
    wiring_.videoInput->requestMediaDataWhenReady(videoQueue_, [this] { framePump(); });
}

void SingleVideoPumps::waitForCompletion(double seconds, const std::function<bool()>& isCancelled)
{
    // Waits in slices and watches the writer meanwhile, so that a writer failure nothing else
    // reported (one between two pulls) still ends the export at once. The slices are short
    // enough that a stop asked for (a quit among others) is seen within a twentieth of a second.
    constexpr double kWatchSeconds = 0.05;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(std::max(seconds, 0.0));
    for (;;) {
        const double remaining = std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
        if (remaining <= 0) {
            // Out of time: stop both pulls, the readers and the writer before answering.
            std::optional<Error> writerError = wiring_.writer->error();
            fail(writerError ? *writerError : singleVideoError(SingleVideoExportCode::notCompleted));
            break;
        }
        if (isCancelled && isCancelled()) {
            fail(exportError(TimelineExportCode::cancelled, "Export cancelled."));
            break;
        }
        if (semaphore_->waitFor(std::min(remaining, kWatchSeconds))) {
            break;
        }
        if (!isFinished() && wiring_.writer->status() == AssetWriterStatus::failed) {
            endIfWriterFailed();
        }
    }
    std::optional<Error> failure;
    stateQueue_.sync([&] { failure = failure_; });
    if (failure) {
        throw *failure;
    }
    if (wiring_.writer->status() != AssetWriterStatus::completed) {
        std::optional<Error> writerError = wiring_.writer->error();
        throw writerError ? *writerError : singleVideoError(SingleVideoExportCode::notCompleted);
    }
}

std::int64_t SingleVideoPumps::framesAppended()
{
    std::int64_t count = 0;
    stateQueue_.sync([&] { count = framesAppended_; });
    return count;
}

bool SingleVideoPumps::isFinished()
{
    bool finished = false;
    stateQueue_.sync([&] { finished = finished_; });
    return finished;
}

bool SingleVideoPumps::endIfWriterFailed()
{
    const AssetWriterStatus status = wiring_.writer->status();
    if (status != AssetWriterStatus::failed && status != AssetWriterStatus::cancelled) {
        return false;
    }
    std::optional<Error> writerError = wiring_.writer->error();
    fail(writerError ? *writerError : singleVideoError(SingleVideoExportCode::notCompleted));
    return true;
}

void SingleVideoPumps::framePump()
{
    // A writer that failed on its own thread calls each pull once more and is then never ready
    // again: the pull is the one to end the export.
    if (isFinished() || endIfWriterFailed()) {
        return;
    }
    try {
        AssetWriterInput& input = *wiring_.videoInput;
        for (;;) {
            if (!input.isReadyForMoreMediaData()) {
                endIfWriterFailed();
                return;
            }
            std::optional<Image> frame;
            if (wiring_.still) {
                if (stillTaken_) {
                    endVideo();
                    return;
                }
                stillTaken_ = true;
                frame = gradeSingleVideoFrame(*wiring_.still, wiring_.grade);
            } else {
                if (wiring_.videoReader->status() != AssetReaderStatus::reading) {
                    endVideo();
                    return;
                }
                if (wiring_.frameLimit && framesAppended() >= *wiring_.frameLimit) {
                    // Every frame asked for is written: the rest of the range is not read.
                    wiring_.videoReader->cancelReading();
                    endVideo();
                    return;
                }
                std::optional<SampleBuffer> sample = wiring_.videoOutput->copyNextSampleBuffer();
                if (!sample) {
                    endVideo();
                    return;
                }
                if (!sample->hasImage()) {
                    continue;
                }
                // The decoded frame goes back to the image pool at the end of this block, before
                // the output buffer is taken.
                frame = gradeSingleVideoFrame(sample->image, wiring_.grade);
            }
            if (!frame) {
                continue;
            }
            PixelBuffer buffer = wiring_.adaptor->pixelBufferPool().createPixelBuffer();
            if (!buffer) {
                continue;
            }
            tagPixelBufferExport(buffer.attachments(), wiring_.transferCV, wiring_.gammaLevel);
            renderImageToPixelBuffer(*frame, buffer);

            std::int64_t index = 0;
            stateQueue_.sync([&] { index = framesAppended_; });
            const MediaTime time(index * wiring_.timing.step, wiring_.timing.timescale);
            if (!wiring_.adaptor->append(buffer, time)) {
                std::optional<Error> writerError = wiring_.writer->error();
                fail(writerError ? *writerError : singleVideoError(SingleVideoExportCode::frameAppend));
                return;
            }
            stateQueue_.sync([&] { ++framesAppended_; });
        }
    } catch (...) {
        fail(errorFromException(std::current_exception(), SingleVideoExportCode::frameAppend));
    }
}

void SingleVideoPumps::endVideo()
{
    // A reader that stopped on a failure has not reached the end of the source: the movie
    // would be cut short, so the export fails instead.
    if (wiring_.videoReader && wiring_.videoReader->status() == AssetReaderStatus::failed) {
        std::optional<Error> readerError = wiring_.videoReader->error();
        fail(readerError ? *readerError : singleVideoError(SingleVideoExportCode::videoReader));
        return;
    }
    wiring_.videoInput->markAsFinished();
    stateQueue_.sync([&] { videoDone_ = true; });
    if (finishGate()) {
        finishWriting();
    }
}

void SingleVideoPumps::audioPump()
{
    if (isFinished() || endIfWriterFailed()) {
        return;
    }
    try {
        AssetWriterInput& input = *wiring_.audioInput;
        for (;;) {
            if (!input.isReadyForMoreMediaData()) {
                endIfWriterFailed();
                return;
            }
            std::optional<SampleBuffer> sample = wiring_.audioOutput->copyNextSampleBuffer();
            if (!sample) {
                endAudio();
                return;
            }
            sample->presentationTime = sample->presentationTime - wiring_.readStart;
            if (!input.append(*sample)) {
                std::optional<Error> writerError = wiring_.writer->error();
                fail(writerError ? *writerError : singleVideoError(SingleVideoExportCode::audioAppend));
                return;
            }
        }
    } catch (...) {
        fail(errorFromException(std::current_exception(), SingleVideoExportCode::audioAppend));
    }
}

void SingleVideoPumps::endAudio()
{
    wiring_.audioInput->markAsFinished();
    stateQueue_.sync([&] { audioDone_ = true; });
    if (wiring_.audioReader->status() == AssetReaderStatus::failed) {
        std::optional<Error> readerError = wiring_.audioReader->error();
        fail(readerError ? *readerError : singleVideoError(SingleVideoExportCode::audioReader));
        return;
    }
    if (finishGate()) {
        finishWriting();
    }
}

bool SingleVideoPumps::finishGate()
{
    bool open = false;
    stateQueue_.sync([&] {
        if (!finished_ && !finalizing_ && videoDone_ && audioDone_) {
            finalizing_ = true;
            finished_ = true;
            open = true;
        }
    });
    return open;
}

void SingleVideoPumps::finishWriting()
{
    wiring_.writer->finishWriting([semaphore = semaphore_] { semaphore->signal(); });
}

void SingleVideoPumps::fail(const Error& error)
{
    bool first = false;
    stateQueue_.sync([&] {
        if (!finished_) {
            failure_ = error;
            finished_ = true;
        }
        first = !tornDown_;
        tornDown_ = true;
    });
    // One caller tears down, the others only wake the waiting caller: the readers and the
    // writer are cancelled from one thread only, never from two at once.
    if (first) {
        tearDown();
    }
    semaphore_->signal();
}

void SingleVideoPumps::tearDown()
{
    // Readers first, so that a pull blocked in decoding returns at once; cancelling the writer
    // marks every input finished (marking them one by one first would drain the encoders only
    // to throw their output away) and removes the partial movie.
    if (wiring_.videoReader) {
        wiring_.videoReader->cancelReading();
    }
    if (wiring_.audioReader) {
        wiring_.audioReader->cancelReading();
    }
    wiring_.writer->cancelWriting();
    if (wiring_.audioInput) {
        wiring_.audioInput->markAsFinished();
    }
    wiring_.videoInput->markAsFinished();
}

} // namespace velmora::Exporter
