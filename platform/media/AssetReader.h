#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/media/Asset.h"
#include "platform/media/SampleBuffer.h"

namespace velmora {

class AssetReader;

// One track of an asset decoded in presentation order: video frames converted to one pixel
// format, or audio resampled to interleaved float.
//
// Video frames come out from the frame displayed at the reader's start time up to the last one
// that begins before its end; each carries its best-effort presentation time and duration.
// Audio comes out trimmed to the range to the sample.
//
// copyNextSampleBuffer() is called from one thread at a time; the reader's cancelReading() may
// be called from any thread meanwhile.
class AssetReaderTrackOutput {
public:
    ~AssetReaderTrackOutput();

    // A video output in `pixelFormat` ('x420', '420v', 'sv22', 'BGRA' or a planar format);
    // Y'CbCr formats stay in video range, BGRA is full range.
    static std::shared_ptr<AssetReaderTrackOutput> video(const AssetTrack& track, PixelFormat pixelFormat);
    // A video output of float R'G'B' images (SampleBuffer::image), converted in one pass from the
    // decoder's own planes with the frame's matrix and range (the stream's matrix when the frame
    // has none; BT.709 video range when untagged), rows split across cores, on the thread that
    // asks for the sample. The same values as a 'x420' output turned into an image, within float
    // rounding; tagged as that output's buffers are.
    static std::shared_ptr<AssetReaderTrackOutput> videoImages(const AssetTrack& track);
    // An audio output: 32-bit float, interleaved, `sampleRate` frames per second, `channels`
    // channels (mixed down or up as FFmpeg's resampler does).
    static std::shared_ptr<AssetReaderTrackOutput> audio(const AssetTrack& track, int sampleRate = 48000,
                                                         int channels = 2);

    const AssetTrack& track() const;
    MediaType mediaType() const;

    // When false, frames may share memory with later ones only after the caller has let them go:
    // buffers come from a pool and are reused once released. Copies are never needed, so both
    // values behave alike; the flag is kept for callers that set it.
    bool alwaysCopiesSampleData = true;
    // Decoder threads (0: one per core). Short-lived readers that want one frame may ask for 1.
    int decoderThreads = 0;
    // Decode on a thread of the output's own, ahead of the caller (two samples; one decoded frame
    // for an output of images, which the caller's thread converts meanwhile), so that decoding
    // overlaps the caller's work. Set before reading starts.
    bool decodesAhead = true;
    // The size, in pixels of the stored (not yet rotated) picture, at which the caller uses the
    // frames (aspect fill), when it knows it; 0 reads frames at full size. A frame more than
    // twice as large as that in both directions is scaled down in its decoded planes, keeping
    // its aspect, to the smallest size covering twice the needed size before anything else is
    // made of it, so memory and work follow the size used rather than the size stored. Set
    // before reading starts.
    int neededWidth = 0;
    int neededHeight = 0;

    // The next sample, or nothing at the end of the range, after a failure (the reader's status
    // and error tell which) or once reading was cancelled.
    std::optional<SampleBuffer> copyNextSampleBuffer();
    // The presentation time of the sample copyNextSampleBuffer() gives next, without making its
    // picture; nothing when none follows. With skipNextSample(), a caller looking for a later
    // time passes over frames without converting them.
    std::optional<MediaTime> nextSampleTime();
    // Drops the sample copyNextSampleBuffer() would give next; false when none follows.
    bool skipNextSample();

private:
    friend class AssetReader;
    struct Impl;
    explicit AssetReaderTrackOutput(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

enum class AssetReaderStatus { unknown, reading, completed, failed, cancelled };

// Reads tracks of an asset over a time range through the outputs added to it. Each output opens
// the file for itself, so outputs never wait on each other.
class AssetReader {
public:
    // Throws velmora::Error (media, fileNotFound) when the asset's file has gone.
    explicit AssetReader(std::shared_ptr<const Asset> asset);
    ~AssetReader();
    AssetReader(const AssetReader&) = delete;
    AssetReader& operator=(const AssetReader&) = delete;

    const std::shared_ptr<const Asset>& asset() const { return asset_; }

    // The span to read; the whole asset by default. Set before startReading(). A range beyond
    // the asset's end simply ends early.
    void setTimeRange(const MediaTimeRange& range);
    MediaTimeRange timeRange() const;

    // True for an output on a track of this asset, not added yet, before reading starts.
    bool canAdd(const AssetReaderTrackOutput& output) const;
    // Throws velmora::Error (media, invalidState) when canAdd() is false.
    void add(std::shared_ptr<AssetReaderTrackOutput> output);
    const std::vector<std::shared_ptr<AssetReaderTrackOutput>>& outputs() const { return outputs_; }

    // Opens every output's decoder and seeks to the start of the range. False on failure, with
    // status() failed and error() set.
    bool startReading();
    // Stops reading: outputs return nothing from now on. Safe from any thread.
    void cancelReading();

    AssetReaderStatus status() const;
    std::optional<Error> error() const;

    // Shared between the reader and its outputs.
    struct State;

private:
    std::shared_ptr<const Asset> asset_;
    std::shared_ptr<State> state_;
    std::vector<std::shared_ptr<AssetReaderTrackOutput>> outputs_;
};

} // namespace velmora
