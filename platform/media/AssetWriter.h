#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "platform/dispatch/SerialQueue.h"
#include "platform/foundation/Error.h"
#include "platform/media/Asset.h"
#include "platform/media/OutputSettings.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/SampleBuffer.h"

namespace velmora {

class AssetWriter;
struct AssetWriterCore;
struct AssetWriterInputCore;

// One track of the movie being written: video frames or audio samples, encoded as its
// settings say.
//
// Inputs are fed from the queue handed to requestMediaDataWhenReady(): the writer calls the
// block there whenever the input is ready, and the block appends while isReadyForMoreMediaData()
// holds, then returns (or marks the input finished). Readiness keeps the tracks of a movie
// within about a second of each other, so the file is interleaved; the track that lags is always
// ready, so two inputs never wait on each other.
//
// append() encodes on the calling thread and may be called from any one thread at a time per
// input; different inputs may append concurrently.
class AssetWriterInput {
public:
    static std::shared_ptr<AssetWriterInput> video(const VideoOutputSettings& settings);
    static std::shared_ptr<AssetWriterInput> audio(const AudioOutputSettings& settings = {});
    ~AssetWriterInput();

    MediaType mediaType() const;
    const VideoOutputSettings& videoSettings() const;
    const AudioOutputSettings& audioSettings() const;
    // The layout the encoder takes: frames in it are encoded without conversion.
    PixelFormat nativePixelFormat() const;

    // Kept for callers that set it; the writer never drops data either way.
    bool expectsMediaDataInRealTime = false;
    // The track's time scale (ticks per second); 0 picks one that holds the expected frame rate
    // exactly. Set before the writer starts.
    std::int32_t mediaTimeScale = 0;

    bool isReadyForMoreMediaData() const;

    // Calls `block` on `queue` whenever the input is ready, until it is marked finished or the
    // writer stops. The queue must outlive that. Call once, after adding the input.
    void requestMediaDataWhenReady(SerialQueue& queue, std::function<void()> block);

    // Appends a sample: a video frame (imageBuffer, presentationTime) or interleaved float audio
    // at the settings' rate and channel count. False when the writer is not writing or the sample
    // could not be encoded (the writer then has failed; see its error()).
    bool append(const SampleBuffer& sample);
    // No more samples: the track is complete. Further appends are refused.
    void markAsFinished();

private:
    friend class AssetWriter;
    friend class AssetWriterInputPixelBufferAdaptor;
    explicit AssetWriterInput(std::shared_ptr<AssetWriterInputCore> core);
    std::shared_ptr<AssetWriterInputCore> core_;
};

// Appends pixel buffers to a video input, with a pool of buffers in the format and size the
// caller renders into. 'x420', '420v' and 'sv22' frames are repacked into the encoder's planar
// layout; frames already in that layout (nativePixelFormat()) go to the encoder as they are.
class AssetWriterInputPixelBufferAdaptor {
public:
    // Throws velmora::Error (media, invalidArgument) for a non-video input or a bad size.
    AssetWriterInputPixelBufferAdaptor(std::shared_ptr<AssetWriterInput> input, PixelFormat sourcePixelFormat,
                                       int width, int height);

    const std::shared_ptr<AssetWriterInput>& assetWriterInput() const { return input_; }
    PixelBufferPool& pixelBufferPool() { return pool_; }

    bool append(const PixelBuffer& pixelBuffer, const MediaTime& presentationTime);

private:
    std::shared_ptr<AssetWriterInput> input_;
    PixelBufferPool pool_;
};

enum class AssetWriterStatus { unknown, writing, completed, failed, cancelled };

// Where a writer puts its movie: a file it creates, or an empty file its caller has just created
// for it (and may hold an advisory lock on while it is written).
enum class AssetWriterTarget { newFile, claimedEmptyFile };

// Writes an MPEG-4 or QuickTime movie from its inputs.
//
// Life: construct, add inputs, startWriting(), startSession(time), feed the inputs,
// finishWriting(completion). cancelWriting() — or dropping a writer that has not finished —
// removes the partial file, as does a failure. Errors come back through status() and error().
class AssetWriter {
public:
    // Throws velmora::Error (media, writeFailed) when its folder does not exist, or when a file
    // already exists at `url` (newFile) or `url` is not an empty regular file (claimedEmptyFile).
    AssetWriter(const std::filesystem::path& url, FileType fileType,
                AssetWriterTarget target = AssetWriterTarget::newFile);
    ~AssetWriter();
    AssetWriter(const AssetWriter&) = delete;
    AssetWriter& operator=(const AssetWriter&) = delete;

    const std::filesystem::path& outputURL() const;
    FileType outputFileType() const;

    // The movie's time scale; 0 keeps the container's default. Set before startWriting().
    std::int32_t movieTimeScale = 0;

    // False for a second input of a kind, an input added elsewhere, after writing started,
    // for a video size the codec cannot take, or for a codec the container cannot hold
    // (ProRes in MPEG-4).
    bool canAdd(const AssetWriterInput& input) const;
    // Throws velmora::Error of domain "media": incompatibleContainer for ProRes in MPEG-4,
    // invalidArgument for an odd or absurd size, invalidState otherwise — so such a movie is
    // refused before anything is rendered.
    void add(const std::shared_ptr<AssetWriterInput>& input);

    // Creates the file and opens the encoders. False on failure, with error() set.
    bool startWriting();
    // Samples are timed from `time`: a sample at that time is at the start of the movie.
    void startSession(const MediaTime& time);

    // Marks every input finished, drains the encoders and completes the file on a thread of the
    // writer's own, then calls `completion` there (also when the writer had failed or was
    // cancelled; status() tells).
    void finishWriting(std::function<void()> completion);
    // Stops writing and removes the partial file. No effect once finishing has begun.
    void cancelWriting();

    AssetWriterStatus status() const;
    std::optional<Error> error() const;

private:
    std::shared_ptr<AssetWriterCore> core_;
};

} // namespace velmora
