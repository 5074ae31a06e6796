#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "export/FrameTiming.h"
#include "grading/LutApplication.h"
#include "platform/dispatch/Semaphore.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/foundation/Error.h"
#include "platform/image/Geometry.h"
#include "platform/image/Image.h"
#include "platform/media/AssetReader.h"
#include "platform/media/AssetWriter.h"

// The running half of a single-video match-grade export: the per-frame grade, the two pulls
// that feed the writer, and the protocol that finishes the movie exactly once.
namespace velmora::Exporter {

// Codes of the single-video export (domain "export"); these errors carry no message.
namespace SingleVideoExportCode {
inline constexpr int noVideoTrack = 1;
inline constexpr int videoOutputRefused = 2;
inline constexpr int videoInputRefused = 3;
inline constexpr int writerStart = 4;
// The video reader did not start, or stopped with a failure that carries no error of its own.
inline constexpr int videoReader = 5;
inline constexpr int frameAppend = 6;
// The movie was not completed: the wait ran out, or the writer ended without an error.
inline constexpr int notCompleted = 7;
// The job names a LUT that gives no usable cube.
inline constexpr int missingLut = 8;
// The job's range starts after the video's last frame (this one carries a message).
inline constexpr int rangePastVideo = 9;
inline constexpr int audioReaderStart = 50;
inline constexpr int audioAppend = 61;
inline constexpr int audioReader = 62;
} // namespace SingleVideoExportCode

// An error of the "export" domain for a failure of the single-video export that comes with no
// error of its own: the code, and words saying which step failed.
Error singleVideoError(int code);

// What every frame of a single-video export goes through, fixed once per export.
struct SingleVideoFrameGrade {
    // The job's conversion LUT; none for an export without one.
    std::optional<CubeFilter> lutFilter;
    // The workspace's look compensation; limited to its ranges when applied, skipped when neutral.
    double compContrast = 1;
    double compSaturation = 1;
    double compBrightness = 0;
    double compTint = 0;
    std::optional<double> gammaPower;
    // The orientation of the source track (AssetTrack::preferredTransform, y-down pixels).
    AffineTransform orientation;
    // The movie's frame size; a decoded frame of another size or orientation is turned upright
    // and scaled to fill it.
    int width = 0;
    int height = 0;
};

// One decoded frame graded for the movie: upright and fitted to the output size, then the LUT,
// the look compensation, the tint compensation and the gamma compensation (deferred steps that
// run while the frame is written into the encoder's buffer). Nothing when the LUT filter gives
// no picture: such a frame is dropped.
std::optional<Image> gradeSingleVideoFrame(const Image& decoded, const SingleVideoFrameGrade& grade);

// Everything the pulls work on. The objects are owned by the caller and must outlive the
// SingleVideoPumps built on them.
struct SingleVideoWiring {
    AssetWriter* writer = nullptr;
    std::shared_ptr<AssetWriterInput> videoInput;
    AssetWriterInputPixelBufferAdaptor* adaptor = nullptr;
    // The reader of a movie; both null for a still picture, which `still` holds instead.
    AssetReader* videoReader = nullptr;
    std::shared_ptr<AssetReaderTrackOutput> videoOutput;
    // A still picture, decoded once at about the movie's size and upright: the movie's one frame.
    std::optional<Image> still;
    // All three present, or all absent for a movie without sound.
    std::shared_ptr<AssetWriterInput> audioInput;
    AssetReader* audioReader = nullptr;
    std::shared_ptr<AssetReaderTrackOutput> audioOutput;
    // The start of the range both readers read: taken off the audio's time stamps, so that the
    // sound of a trimmed source starts with its first frame at zero.
    MediaTime readStart = MediaTime::zero();
    FrameTiming timing;
    // The most frames the movie gets (the first ones of the range); none: every frame read.
    std::optional<std::int64_t> frameLimit;
    SingleVideoFrameGrade grade;
    // Stamped on every output frame.
    std::string transferCV;
    std::optional<double> gammaLevel;
};

// The two pulls of one export and their shared state.
//
// Threads: the frame pump runs on "export.video", the audio pump on "export.audio"; the state
// below is read and written only in synchronous blocks on "export.state", and no block on that
// queue calls out, so the pulls never wait on each other through it. The caller starts the
// pulls, then waits on its own thread.
class SingleVideoPumps {
public:
    explicit SingleVideoPumps(SingleVideoWiring wiring);
    // Drains both pull queues (a pull still queued sees the export finished and returns), so
    // nothing runs on the wiring once the object is gone.
    ~SingleVideoPumps();
    SingleVideoPumps(const SingleVideoPumps&) = delete;
    SingleVideoPumps& operator=(const SingleVideoPumps&) = delete;

    // Hands the pulls to the writer's inputs: audio first, when there is audio, then video.
    void start();

    // Waits for the movie at most `seconds`, then answers how it ended: returns when the
    // writer completed; throws the first recorded failure, else the writer's error, else
    // Error("export", 7). When the wait runs out, everything is stopped first (inputs marked
    // finished, readers and writer cancelled), so no pull runs on after the call. A true
    // `isCancelled` (asked on the calling thread about twenty times a second) stops everything the
    // same way and ends the export with Error("export", 248, "Export cancelled.").
    void waitForCompletion(double seconds, const std::function<bool()>& isCancelled = {});

    std::int64_t framesAppended();

private:
    void framePump();
    void audioPump();
    // Fails the export with the writer's error when the writer failed or was cancelled;
    // answers whether it had.
    bool endIfWriterFailed();
    // Ends the video side: the movie is finished once the audio side has ended too.
    void endVideo();
    void endAudio();
    // Records the first failure, tears the export down once and wakes the waiting caller;
    // only the first error is kept.
    void fail(const Error& error);
    // Cancels the readers and the writer and marks the inputs finished.
    void tearDown();
    // Opens once, when the export has neither failed nor begun finishing and both sides are done.
    bool finishGate();
    void finishWriting();
    bool isFinished();

    const SingleVideoWiring wiring_;
    // The still has been taken (it is the export's one frame, whatever became of it). Only the
    // frame pull touches it.
    bool stillTaken_ = false;
    // Shared with the writer's finishing thread, which may signal it after the wait has ended.
    const std::shared_ptr<Semaphore> semaphore_ = std::make_shared<Semaphore>(0);

    // Guarded by stateQueue_.
    bool finished_ = false;
    bool finalizing_ = false;
    bool videoDone_ = false;
    bool audioDone_;
    bool tornDown_ = false;
    std::optional<Error> failure_;
    std::int64_t framesAppended_ = 0;

    // Destroyed first (the pull queues before the state queue they use), after running what is
    // still queued on them.
    SerialQueue stateQueue_{"export.state"};
    SerialQueue videoQueue_{"export.video"};
    SerialQueue audioQueue_{"export.audio"};
};

} // namespace velmora::Exporter
