#include "export/SourceFrameDecoding.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <tuple>

#include "export/FrameTiming.h"
#include "grading/BasicGrade.h"
#include "grading/LutApplication.h"
#include "platform/foundation/FrameRates.h"
#include "platform/image/Resample.h"
#include "platform/media/AssetReader.h"
#include "platform/media/FrameStart.h"
#include "platform/media/ImageGenerator.h"

namespace velmora::Exporter {

namespace {

constexpr std::int32_t kTargetTimescale = 60000;
constexpr int kMaxSamples = 300;


// `target` is `targetSeconds` on the reader's time scale, which bounds the window; the frame is
// picked against the unrounded time, as every reader picks it (startsAtOrAfter).
std::optional<SourceFrame> decodeWithReader(const std::shared_ptr<const Asset>& asset, const AssetTrack& track,
                                            const AffineTransform& transform, double targetSeconds,
                                            const MediaTime& target, double fps, int outW, int outH)
{
    try {
        AssetReader reader(asset);
        const MediaTime preroll = MediaTime::fromSeconds(std::max(2.0 / fps, 0.001), kTargetTimescale);
        const MediaTime window = MediaTime::fromSeconds(std::max(6.0 / fps, 0.2), kTargetTimescale);
        reader.setTimeRange(MediaTimeRange(std::max(MediaTime(0, kTargetTimescale), target - preroll), window));
        auto output = AssetReaderTrackOutput::videoImages(track);
        output->alwaysCopiesSampleData = false;
        output->decodesAhead = false; // a few frames, read once: no worker thread for them
        // An oversized frame comes down in its planes before anything is made of it.
        std::tie(output->neededWidth, output->neededHeight) = storedPictureSize(transform, outW, outH);
        if (!reader.canAdd(*output)) {
            return std::nullopt;
        }
        reader.add(output);
        if (!reader.startReading()) {
            return std::nullopt;
        }
        Image image;
        double picked = 0;
        for (int i = 0; i < kMaxSamples; ++i) {
            std::optional<SampleBuffer> sample = output->copyNextSampleBuffer();
            if (!sample) {
                break;
            }
            if (!sample->hasImage()) {
                continue;
            }
            image = std::move(sample->image);
            picked = sample->presentationTime.seconds();
            if (startsAtOrAfter(picked, targetSeconds)) {
                break;
            }
        }
        reader.cancelReading();
        if (!image.hasPixels()) {
            return std::nullopt;
        }
        tagPixelBufferDecode(image.tags);
        if (transform != AffineTransform::identity()) {
            image = affineTransform(image, imageSpaceTransform(transform, image.width(), image.height()));
        }
        return SourceFrame{fitToOutput(image, outW, outH), picked};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<SourceFrame> decodeWithGenerator(const std::shared_ptr<const Asset>& asset, const AssetTrack& track,
                                               const MediaTime& target, int outW, int outH)
{
    try {
        ImageGenerator generator(asset);
        generator.appliesPreferredTrackTransform = true;
        std::tie(generator.maximumWidth, generator.maximumHeight) =
            fillingSize(std::abs(track.displayWidth()), std::abs(track.displayHeight()), outW, outH);
        generator.requestedTimeToleranceBefore = MediaTime::zero();
        generator.requestedTimeToleranceAfter = MediaTime::zero();
        return SourceFrame{fitToOutput(generator.copyImage(target), outW, outH), target.seconds()};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

double sourceFrameRate(const AssetTrack& track)
{
    return trackFrameRate(track).value_or(exactFrameRate(defaultFrameRate));
}

std::optional<double> snappedSourceTime(double seconds, double fps)
{
    return frameStartAtOrAfter(seconds, fps);
}

std::pair<int, int> storedPictureSize(const AffineTransform& transform, int width, int height)
{
    const bool straight = transform.b == 0 && transform.c == 0;
    const bool quarter = transform.a == 0 && transform.d == 0;
    if (straight) {
        return {width, height};
    }
    if (quarter) {
        return {height, width};
    }
    const int side = std::max(width, height);
    return {side, side};
}

std::pair<int, int> fillingSize(int width, int height, int outW, int outH)
{
    if (width <= 0 || height <= 0 || outW <= 0 || outH <= 0) {
        return {outW, outH};
    }
    const double scale = std::min(1.0, std::max(static_cast<double>(outW) / width, static_cast<double>(outH) / height));
    return {std::clamp(static_cast<int>(std::ceil(width * scale - 1e-9)), 1, width),
            std::clamp(static_cast<int>(std::ceil(height * scale - 1e-9)), 1, height)};
}

AffineTransform imageSpaceTransform(const AffineTransform& transform, int width, int height)
{
    const Rect shown = transform.apply(Rect{0, 0, static_cast<double>(width), static_cast<double>(height)});
    const AffineTransform toYDown{1, 0, 0, -1, 0, static_cast<double>(height)};
    const AffineTransform toYUp{1, 0, 0, -1, 0, 2 * shown.y + shown.height};
    return toYDown.concatenating(transform).concatenating(toYUp);
}

std::optional<Image> decodeSourceFrameForExport(const std::shared_ptr<const Asset>& asset, const AssetTrack& track,
                                                const AffineTransform& transform, double sourceTimeSeconds, int outW,
                                                int outH)
{
    if (!asset || outW <= 0 || outH <= 0) {
        return std::nullopt;
    }
    const double fps = sourceFrameRate(track);
    const std::optional<double> snapped = snappedSourceTime(sourceTimeSeconds, fps);
    if (!snapped) {
        return std::nullopt;
    }
    std::optional<SourceFrame> frame = decodeSourceFrameAt(asset, track, transform, *snapped, fps, outW, outH);
    if (!frame) {
        return std::nullopt;
    }
    return std::move(frame->image);
}

std::optional<SourceFrame> decodeSourceFrameAt(const std::shared_ptr<const Asset>& asset, const AssetTrack& track,
                                               const AffineTransform& transform, double targetSeconds, double fps,
                                               int outW, int outH)
{
    const MediaTime target = MediaTime::fromSeconds(targetSeconds, kTargetTimescale);
    if (!asset || outW <= 0 || outH <= 0 || !target.isNumeric()) {
        return std::nullopt;
    }
    // A still has one picture, which the generator decodes at the size it is used at.
    if (!asset->isStillImage()) {
        if (auto frame = decodeWithReader(asset, track, transform, targetSeconds, target, fps, outW, outH)) {
            return frame;
        }
    }
    return decodeWithGenerator(asset, track, target, outW, outH);
}

} // namespace velmora::Exporter
