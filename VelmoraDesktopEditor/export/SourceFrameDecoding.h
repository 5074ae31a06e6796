#pragma once

#include <memory>
#include <optional>
#include <utility>

#include "platform/image/Geometry.h"
#include "platform/image/Image.h"
#include "platform/media/Asset.h"

namespace velmora::Exporter {

// The frame rate a source is snapped with: the track's own (trackFrameRate), else 59.94 read as
// its exact fraction 60000/1001.
double sourceFrameRate(const AssetTrack& track);

// The source time a request is snapped to: the start of the first frame of `fps` starting at or
// after it (frameStartAtOrAfter), at least 0. Nothing for a time whose frame index does not fit
// 64 bits (or is NaN).
std::optional<double> snappedSourceTime(double seconds, double fps);

// The orientation `transform` (given in the y-down pixel space of AssetTrack::preferredTransform)
// expressed in the image layer's y-up space, for an encoded picture of width × height: applied
// with affineTransform() it turns the decoded image upright with its extent at the origin.
AffineTransform imageSpaceTransform(const AffineTransform& transform, int width, int height);

// The size, in pixels of the stored picture, that shows as width × height once `transform` (a
// track's orientation) turns it: the sides swapped for a quarter turn, the larger side both ways
// for a turn that is not a multiple of a quarter. What a reader is told the frames are needed at.
std::pair<int, int> storedPictureSize(const AffineTransform& transform, int width, int height);

// The size an image generator has to hand out a picture of `width` × `height` (as displayed) at,
// so that fitToOutput fills outW × outH from it without enlarging it: the picture scaled by
// max(outW / width, outH / height), rounded up, and never above its own size. Setting it as the
// generator's maximum size keeps a huge still from being decoded and converted at full size.
std::pair<int, int> fillingSize(int width, int height, int outW, int outH);

// A decoded source frame and the presentation time of the frame it shows.
struct SourceFrame {
    Image image;
    double pickedSeconds = 0;
};

// The decoding of decodeSourceFrameForExport for a `targetSeconds` already on the source's frame
// grid of `fps`, with the time of the frame picked (the preview still shows the same frame).
// Nothing for a time that is not a finite number.
std::optional<SourceFrame> decodeSourceFrameAt(const std::shared_ptr<const Asset>& asset, const AssetTrack& track,
                                               const AffineTransform& transform, double targetSeconds, double fps,
                                               int outW, int outH);

// One source frame for the timeline export when a clip cannot be streamed: the frame of `track`
// displayed at `sourceTimeSeconds` snapped to the source's frame grid, decoded straight into
// float R'G'B' by a short-lived reader over a window of a few frames before it, tagged BT.709
// where untagged, turned by `transform` (the track's orientation as AssetTrack reports it) and
// fitted to outW × outH (aspect fill). When the reader cannot deliver, an image generator on the
// asset (rotation applied by the generator, size limited to fillingSize) answers instead; a
// still picture goes to the generator straight away.
// Nothing when neither path yields a frame; failures are not reported.
std::optional<Image> decodeSourceFrameForExport(const std::shared_ptr<const Asset>& asset, const AssetTrack& track,
                                                const AffineTransform& transform, double sourceTimeSeconds, int outW,
                                                int outH);

} // namespace velmora::Exporter
