#pragma once

#include <memory>
#include <mutex>
#include <optional>

#include "platform/image/Image.h"
#include "platform/media/Asset.h"

namespace velmora {

// Pictures of an asset at chosen times, as float R'G'B' images: the frame of the first video
// track displayed at the time (within the tolerances), or the picture of a still image file at
// any time.
//
// Decoding state is kept between calls: a later time close ahead decodes forward, anything else
// seeks back to a key frame and decodes forward from there; the same frame asked twice in a row
// is converted once. Y'CbCr is converted with the frame's matrix and range (BT.709 video range
// when untagged). Calls are serialised internally; one generator may be shared between threads.
class ImageGenerator {
public:
    // Throws velmora::Error (media, noSuchTrack) when the asset has no picture.
    explicit ImageGenerator(std::shared_ptr<const Asset> asset);
    ~ImageGenerator();
    ImageGenerator(const ImageGenerator&) = delete;
    ImageGenerator& operator=(const ImageGenerator&) = delete;

    const std::shared_ptr<const Asset>& asset() const { return asset_; }

    // Set these before a request; they apply to every later one.
    // Rotate the picture as the track's display orientation says.
    bool appliesPreferredTrackTransform = false;
    // The largest size the picture may have after rotation; it is scaled down to fit, keeping
    // its aspect, and never scaled up. 0 in either dimension means no limit in that dimension.
    int maximumWidth = 0;
    int maximumHeight = 0;
    // How far before and after the requested time the frame may lie. Infinite by default (any
    // nearby frame, the cheapest to reach); zero asks for the frame displayed at the time.
    MediaTime requestedTimeToleranceBefore = MediaTime::positiveInfinity();
    MediaTime requestedTimeToleranceAfter = MediaTime::positiveInfinity();
    // With zero tolerances: take the frame an export writes at the time instead of the one
    // displayed there, that is the first frame starting at or after the time (within a
    // microsecond), the last frame for a time after the track's end.
    bool takesFrameStartingAtOrAfter = false;
    // Decoder threads (0: one per core). A generator asked for one picture in the background
    // (a poster frame) wants 1: a thread per core costs more to start and stop than the frame
    // costs to decode, and the threads' start-up holds up the rest of the process.
    int decoderThreads = 0;

    // The picture at `time`, with its extent at the origin. Times before the start give the first
    // frame, times past the end the last one. `actualTime` receives the frame's presentation time.
    // Throws velmora::Error of domain "media" when the file cannot be decoded.
    Image copyImage(const MediaTime& time, MediaTime* actualTime = nullptr);

private:
    struct Impl;
    std::shared_ptr<const Asset> asset_;
    std::mutex mutex_;
    std::unique_ptr<Impl> impl_;
};

} // namespace velmora
