#pragma once

// Private to the media layer: the shared state behind AssetWriter and its inputs.

#include <atomic>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/dispatch/SerialQueue.h"
#include "platform/dispatch/StoredThread.h"
#include "platform/media/AssetWriter.h"
#include "platform/media/internal/EncodeQueue.h"
#include "platform/media/internal/Encoders.h"
#include "platform/media/internal/FFmpegSupport.h"

namespace velmora {

// How far one track may run ahead of another before it waits.
inline const MediaTime kInterleaveWindow(1, 2);
// Video frames waiting for the encoder; one more may be encoding.
inline constexpr std::size_t kEncodeQueueDepth = 2;

struct AssetWriterInputCore {
    MediaType type = MediaType::video;
    VideoOutputSettings video;
    AudioOutputSettings audio;
    AssetWriterInput* handle = nullptr; // the public object, for its settable fields

    // Set when added; immutable afterwards.
    std::weak_ptr<AssetWriterCore> writer;
    int streamIndex = -1;

    // Encoding state: guarded by encodeMutex. Lock order: an input's encodeMutex, then the
    // writer's muxMutex, then its stateMutex; never one input's encodeMutex after muxMutex.
    std::mutex encodeMutex;
    std::unique_ptr<ffmpeg::VideoEncoder> videoEncoder;
    std::unique_ptr<ffmpeg::AudioEncoder> audioEncoder;
    AVRational timeBase{1, 90000};
    std::int64_t lastVideoPts = INT64_MIN;
    std::int64_t nextAudioSample = 0;
    bool flushed = false;

    // Video: the encoding thread, made when writing starts and ended by finishing or cancelling.
    std::unique_ptr<ffmpeg::EncodeQueue> encodeQueue;

    // Readiness and requests: guarded by the writer's stateMutex.
    MediaTime appendedEnd = MediaTime::zero();
    bool finished = false;
    SerialQueue* queue = nullptr;
    std::function<void()> block;
    bool pumpScheduled = false;
    std::uint64_t progress = 0;
    int inFlight = 0; // video frames appended and not yet encoded
    bool failureNotified = false; // the block was called once after the writer failed
};

struct AssetWriterCore : std::enable_shared_from_this<AssetWriterCore> {
    std::filesystem::path url;
    FileType fileType = FileType::quickTimeMovie;
    std::int32_t movieTimeScale = 0;

    mutable std::mutex stateMutex;
    std::atomic<AssetWriterStatus> status{AssetWriterStatus::unknown};
    std::optional<Error> error;                              // guarded by stateMutex
    std::vector<std::shared_ptr<AssetWriterInputCore>> inputs; // fixed once writing starts
    MediaTime sessionStart = MediaTime::zero();              // guarded by stateMutex
    bool finishing = false;                                  // guarded by stateMutex
    bool fileCreated = false;                                // guarded by stateMutex

    // Muxing: guarded by muxMutex.
    std::mutex muxMutex;
    ffmpeg::OutputFormatPtr format;
    bool headerWritten = false;
    std::vector<std::deque<ffmpeg::PacketPtr>> queues;
    std::vector<bool> ended;
    std::vector<AVRational> packetTimeBases;
    std::vector<bool> encoderReady;

    // Completes the movie. Stored before it runs: its completion may let the owner destroy the
    // writer at once, and the writer's destructor must find the thread to join.
    StoredThread finisher;

    ~AssetWriterCore() { stopEncodeQueues(); }

    // Ends every video input's encoding thread (dropping what is queued); joins them.
    void stopEncodeQueues();
    // Records the first error and moves a writing writer to failed.
    void fail(const Error& e);

    // Readiness and the pulls; stateMutex held where the name says Locked.
    bool readyLocked(const AssetWriterInputCore& input) const;
    void schedulePumpLocked(const std::shared_ptr<AssetWriterInputCore>& input, double delay);
    void kickLocked();
    void kick();
    void runPump(const std::shared_ptr<AssetWriterInputCore>& input);

    // Muxing. Writes queued packets in decode-time order while every open stream has one waiting.
    void writeReadyPacketsLocked();
    void enqueue(int stream, ffmpeg::PacketPtr packet);
    void streamEnded(int stream);
    // Called with the input's encodeMutex held once its encoder is open: fills the stream's
    // parameters, and writes the header when every encoder is open.
    void encoderOpened(AssetWriterInputCore& input, const AVCodecContext* context);

    // Flushes an input's encoder and ends its stream; opens a video encoder that never saw a
    // frame so the header can be written. Takes the input's encodeMutex.
    void flushInput(AssetWriterInputCore& input);
    // Ends an input: a video input's thread encodes what is queued and flushes; waits for it.
    void finishInput(AssetWriterInputCore& input);
    // Runs on a video input's encoding thread.
    void encodeFrame(AssetWriterInputCore& input, const PixelBuffer& frame, const MediaTime& relative);
    void startEncodeQueue(AssetWriterInputCore& input);

    // Closes the output and deletes the file if this writer created it.
    void closeAndRemoveFile();
    void releaseEncoders();
    // Completes the movie (on the finishing thread); a writer that did not complete loses its file.
    void finish();
};

} // namespace velmora
