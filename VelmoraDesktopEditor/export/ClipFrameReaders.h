#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/image/Geometry.h"
#include "platform/image/Image.h"
#include "platform/media/Asset.h"
#include "platform/media/AssetReader.h"
#include "platform/media/ImageGenerator.h"
#include "platform/media/PixelBuffer.h"

namespace velmora::Exporter {

// One source file of a timeline export, opened once at set-up and shared by every clip cut
// from it. Immutable once rendering starts, apart from the generator's own serialised state.
struct ExportSource {
    std::shared_ptr<const Asset> asset;
    // The asset's first video track (points into `asset`); null when it has none.
    const AssetTrack* videoTrack = nullptr;
    // The track's display orientation (AssetTrack::preferredTransform); identity without one.
    AffineTransform transform;
    // Null when the asset has no picture.
    std::shared_ptr<ImageGenerator> generator;
    // Seconds, when finite and above 0.05.
    std::optional<double> duration;
};

// A source picture as a reader delivers it: an image already turned upright and fitted to the
// output (aspect fill), or nothing.
struct SourcePicture {
    Image image;

    bool hasPicture() const { return !image.isEmpty(); }
};

// A sequential reader over one clip span: it hands out the source's frames in order.
struct TimelineStreamReader {
    std::shared_ptr<AssetReader> reader;
    std::shared_ptr<AssetReaderTrackOutput> output;
    AffineTransform transform;
    // The next sample to hand out, and its picture once made (a slower source shows one sample
    // on several output frames).
    std::optional<SampleBuffer> pending;
    SourcePicture pendingPicture;
};

// A reader over one clip span that walks forward to each requested time.
struct TimelineSeekReader {
    std::shared_ptr<AssetReader> reader;
    std::shared_ptr<AssetReaderTrackOutput> output;
    AffineTransform transform;
    // The sample the search stands on, and its picture once made.
    std::optional<SampleBuffer> currentSample;
    SourcePicture currentPicture;
    bool started = false;
};

// Faults a test may inject into reader construction; both default to none.
struct ClipReaderFaults {
    // Answer true to make a new reader refuse its output (stream: true for the stream reader).
    std::function<bool(bool stream)> refuseOutput;
    // Answer true to make a new reader's start fail without an error of its own.
    std::function<bool(bool stream)> refuseStart;
};

// The two reader slots of a timeline export and the four ways it obtains a clip's picture at
// a source time: the stream reader, the seek reader, the image generator and a one-off decode.
//
// A slot keeps its reader while consecutive frames bring the same reader key, so a clip
// decodes sequentially instead of seeking per frame. Both readers compare the frames'
// presentation times with the requested time, so a source whose frame rate differs from the
// export's keeps its speed; a new reader starts at the first time it is asked for.
//
// Threads: every picture call and closeAll() belong to the one thread that renders frames in
// order. cancelAll() may come from any thread: it cancels the held readers' reading (which
// makes a decode in progress end early) without touching the slots; the rendering thread
// empties them.
class ClipFrameReaders {
public:
    ClipFrameReaders(int outW, int outH, double frameDuration, ClipReaderFaults faults = {});
    ~ClipFrameReaders();
    ClipFrameReaders(const ClipFrameReaders&) = delete;
    ClipFrameReaders& operator=(const ClipFrameReaders&) = delete;

    // The stream path: the stream slot's reader for `key` (opened over inPoint ... sourceEnd,
    // replacing another key's), walked to `sourceTime`; a one-off decode when it has run dry.
    // Throws Error("export", 231 / 232) or the reader's own error.
    SourcePicture streamPicture(const ExportSource& source, const std::string& key, double inPoint,
                                double sourceEnd, double sourceTime);
    // The seek path: closes the stream slot, then as the stream path with the seek slot
    // (Error("export", 233 / 234)). At most 600 samples are passed per request.
    SourcePicture seekPicture(const ExportSource& source, const std::string& key, double inPoint, double sourceEnd,
                              double sourceTime);
    // The image generator path: the source's generator at exactly `sourceTime`, fitted to the
    // output; nothing when it has no generator or the request fails. A still picture is fitted
    // once and kept for every later request.
    SourcePicture generatorPicture(const ExportSource& source, double sourceTime);
    // A one-off decode of the frame at `sourceTime`, fitted to the output. The last one is kept:
    // a later request that snaps to the same source frame (a source whose frames last longer
    // than the export's) reuses it instead of decoding the frame again.
    SourcePicture oneOffDecode(const ExportSource& source, double sourceTime);

    // Cancels and empties both slots (a frame without a clip, or the end of rendering).
    void closeAll();
    // Cancels the reading of the readers held now. Any thread.
    void cancelAll();

    // The keys the slots were opened for; empty for an empty slot.
    const std::string& streamKey() const { return streamKey_; }
    const std::string& seekKey() const { return seekKey_; }
    // How many readers have been opened so far (stream, seek), and how many one-off decodes run.
    int streamReadersOpened() const { return streamOpened_; }
    int seekReadersOpened() const { return seekOpened_; }
    int oneOffDecodes() const { return oneOffDecodes_; }

private:
    struct Opened {
        std::shared_ptr<AssetReader> reader;
        std::shared_ptr<AssetReaderTrackOutput> output;
    };
    Opened openReader(const ExportSource& source, double start, double sourceEnd, bool stream) const;
    // Walks `current` forward to the first sample at or after `sourceTime`, and fits its frame
    // to the output.
    SourcePicture walkTo(std::optional<SampleBuffer>& current, SourcePicture& currentPicture,
                         AssetReaderTrackOutput& output, const AffineTransform& transform, double sourceTime) const;
    // A decoded frame turned by the track's `transform` and fitted to the output; done on the
    // reading thread, so that frames waiting for the grade hold the output's size.
    SourcePicture pictureOf(const SampleBuffer& sample, const AffineTransform& transform) const;
    void closeStream();
    void closeSeek();

    const int outW_;
    const int outH_;
    // Still pictures already fitted to the output, by asset.
    std::map<const Asset*, Image> fittedStills_;
    // The last one-off decode: its asset, the source frame time it snapped to, and its picture.
    struct OneOff {
        std::shared_ptr<const Asset> asset;
        double snappedTime = 0;
        Image image;
    };
    std::optional<OneOff> lastOneOff_;
    const double frameDuration_;
    const ClipReaderFaults faults_;

    // Rendering thread only.
    std::string streamKey_;
    std::string seekKey_;
    int streamOpened_ = 0;
    int seekOpened_ = 0;
    int oneOffDecodes_ = 0;

    // The slot readers: written by the rendering thread, read by cancelAll(); the mutex is
    // held only to set or copy the pointers.
    mutable std::mutex slotMutex_;
    std::shared_ptr<TimelineStreamReader> stream_;
    std::shared_ptr<TimelineSeekReader> seek_;
};

} // namespace velmora::Exporter
