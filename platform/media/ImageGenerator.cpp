#include "platform/media/ImageGenerator.h"

#include "platform/media/FrameStart.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <tuple>
#include <utility>

#include "platform/dispatch/ConcurrentPerform.h"
#include "platform/media/internal/FFmpegSupport.h"
#include "platform/media/internal/FrameConvert.h"
#include "platform/media/internal/HeifStill.h"
#include "platform/media/internal/PngStill.h"
#include "platform/media/internal/StreamDecoder.h"

namespace velmora {

namespace {

// Within this distance ahead of the decoded position a request decodes forward instead of
// seeking: cheaper than going back to a key frame for scrubbing and frame steps.
const MediaTime kForwardDecodeLimit(2, 1);

// The image turned clockwise by a quarter turn count of 1, 2 or 3.
Image rotated(const Image& source, int degrees)
{
    if (degrees != 90 && degrees != 180 && degrees != 270) {
        return source;
    }
    const int w = source.width();
    const int h = source.height();
    const int ow = degrees == 180 ? w : h;
    const int oh = degrees == 180 ? h : w;
    Image out = Image::allocate(ow, oh);
    float* base = out.mutableRow(0);
    const std::ptrdiff_t stride = out.rowStride();
    concurrentPerform(static_cast<std::size_t>(oh), 16, [&](std::size_t b, std::size_t e) {
        for (std::size_t r = b; r < e; ++r) {
            float* dst = base + stride * static_cast<std::ptrdiff_t>(r);
            for (int c = 0; c < ow; ++c) {
                int sr = 0;
                int sc = 0;
                if (degrees == 90) {
                    sr = h - 1 - c;
                    sc = static_cast<int>(r);
                } else if (degrees == 180) {
                    sr = h - 1 - static_cast<int>(r);
                    sc = w - 1 - c;
                } else {
                    sr = c;
                    sc = w - 1 - static_cast<int>(r);
                }
                const float* src = source.row(sr) + 4 * sc;
                std::copy(src, src + 4, dst + 4 * c);
            }
        }
    });
    out.tags = source.tags;
    return out;
}

// The size a picture of w × h pixels (before rotation) is handed out at: the rotated picture
// scaled down, keeping its aspect, to fit the maximum size (0: no limit), never up. Before rotation.
std::pair<int, int> targetSize(int w, int h, int rotation, int maxWidth, int maxHeight)
{
    const bool quarter = rotation == 90 || rotation == 270;
    const int dw = quarter ? h : w;
    const int dh = quarter ? w : h;
    double scale = 1.0;
    if (maxWidth > 0) {
        scale = std::min(scale, static_cast<double>(maxWidth) / dw);
    }
    if (maxHeight > 0) {
        scale = std::min(scale, static_cast<double>(maxHeight) / dh);
    }
    int tw = std::max(1, static_cast<int>(std::lround(dw * scale)));
    int th = std::max(1, static_cast<int>(std::lround(dh * scale)));
    if (quarter) {
        std::swap(tw, th);
    }
    return {tw, th};
}

} // namespace

struct ImageGenerator::Impl {
    std::shared_ptr<const Asset> asset;
    AssetTrack track;
    bool still = false;
    // A HEIF picture: decoded by libheif into `current` once; no demuxer, stream or decoder.
    bool heif = false;

    ffmpeg::InputFormatPtr format;
    AVStream* stream = nullptr;
    ffmpeg::CodecContextPtr decoder;
    std::optional<ffmpeg::StreamDecoder> decoding;
    ffmpeg::FramePtr incoming;
    ffmpeg::FramePtr current;
    bool hasCurrent = false;
    MediaTime currentTime;
    MediaTime currentDuration;
    bool atEnd = false; // the decoder has given its last frame since the last seek
    MediaTime nominalDuration = MediaTime(1, 30);

    ffmpeg::FrameScaler scaler;
    ffmpeg::FramePtr scaled;
    ffmpeg::FrameImageConverter converter;

    // A still: how much the picture in `current` is reduced (each side divided by it; 1 at full
    // size, 0 before the first decode), and its size at full size.
    int stillFactor = 0;
    int fullWidth = 0;
    int fullHeight = 0;

    // The last picture handed out, for a repeated request.
    bool hasCached = false;
    // The frame's time as the generator counts it: frames of a stream without timestamps all
    // carry the same (absent) one.
    MediaTime cachedTime;
    int cachedRotation = -1;
    int cachedWidth = 0;
    int cachedHeight = 0;
    Image cached;

    // The reduced decoding size that pictures of at most maxWidth × maxHeight call for.
    int neededFor(int rotation, int maxWidth, int maxHeight) const
    {
        const int w = stream->codecpar->width;
        const int h = stream->codecpar->height;
        if (w <= 0 || h <= 0) {
            return 0;
        }
        const auto [tw, th] = targetSize(w, h, rotation, maxWidth, maxHeight);
        return ffmpeg::lowresFor(w, h, tw, th, decoder->codec ? decoder->codec->max_lowres : 0);
    }

    // Back to before open(): nothing decoded, nothing handed out.
    void close()
    {
        decoding.reset();
        decoder.reset();
        format.reset();
        stream = nullptr;
        hasCurrent = false;
        atEnd = false;
        currentTime = MediaTime::invalid();
        hasCached = false;
    }

    void open(int threads, int rotation, int maxWidth, int maxHeight)
    {
        format = ffmpeg::openInput(asset->url(), false);
        stream = format->streams[track.trackID];
        for (unsigned i = 0; i < format->nb_streams; ++i) {
            format->streams[i]->discard = static_cast<int>(i) == track.trackID ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        }
        int neededWidth = 0;
        int neededHeight = 0;
        if (maxWidth > 0 && maxHeight > 0 && stream->codecpar->width > 0 && stream->codecpar->height > 0) {
            std::tie(neededWidth, neededHeight) =
                targetSize(stream->codecpar->width, stream->codecpar->height, rotation, maxWidth, maxHeight);
        }
        decoder = ffmpeg::openDecoder(stream, threads, neededWidth, neededHeight);
        decoding.emplace(*format, *stream, *decoder, asset->url().filename().string(),
                         asset->startOffsetMicroseconds());
        incoming = ffmpeg::allocFrame();
        current = ffmpeg::allocFrame();
        if (stream->avg_frame_rate.num > 0 && stream->avg_frame_rate.den > 0) {
            nominalDuration = MediaTime(stream->avg_frame_rate.den, stream->avg_frame_rate.num);
        } else if (track.minFrameDuration.isNumeric()) {
            nominalDuration = track.minFrameDuration;
        }
    }

    // Decodes the next frame into `current`: 0, or AVERROR_EOF when the stream has no more.
    int decodeNext() { return take(decoding->receive(*incoming)); }

    // Makes the frame a decoding step left in `incoming` the current one; `rc` is the step's answer.
    int take(int rc)
    {
        if (rc != 0) {
            atEnd = true;
            return rc;
        }
        av_frame_unref(current.get());
        av_frame_move_ref(current.get(), incoming.get());
        hasCurrent = true;
        MediaTime t = decoding->assetTime(current->best_effort_timestamp);
        if (!t.isNumeric()) {
            t = currentTime.isNumeric() ? currentTime + currentDuration : MediaTime::zero();
        }
        currentTime = t;
        currentDuration = current->pkt_duration > 0 ? ffmpeg::toMediaTime(current->pkt_duration, stream->time_base)
                                                    : nominalDuration;
        return 0;
    }


    // Leaves in `current` the frame to show for `time`: the first frame whose span meets
    // [time - before, time + after], decoding forward from where the decoder stands when that is
    // close ahead, else from the key frame before the time.
    void locate(const MediaTime& time, const MediaTime& before, const MediaTime& after)
    {
        const MediaTime low = time - before;
        const MediaTime high = time + after;
        auto acceptable = [&] {
            return hasCurrent && currentTime <= high && currentTime + currentDuration > low;
        };
        if (acceptable()) {
            return;
        }
        const bool forward = hasCurrent && !atEnd && time > currentTime && time - currentTime <= kForwardDecodeLimit;
        if (!forward) {
            atEnd = false;
            hasCurrent = false;
            currentTime = MediaTime::invalid();
            take(decoding->seekBefore(time, *incoming));
            if (!hasCurrent) {
                throw MediaError::make(MediaError::decodeFailed,
                                       "\"" + asset->url().filename().string() + "\" has no picture to show.");
            }
            if (acceptable() || currentTime > high) {
                return;
            }
        }
        for (;;) {
            if (decodeNext() != 0) {
                if (!hasCurrent) {
                    throw MediaError::make(MediaError::decodeFailed,
                                           "\"" + asset->url().filename().string() + "\" has no picture to show.");
                }
                return; // past the end: the last frame
            }
            if (acceptable() || currentTime > high) {
                return;
            }
        }
    }

    // Leaves in `current` the still's picture with enough pixels for a request of the given
    // rotation and maximum size. A PNG is reduced while it is decoded, by the largest whole
    // factor that keeps at least the pixels asked for, so that memory follows the size the
    // picture is used at; other stills (and PNGs that cannot be read row by row) are decoded
    // whole, once. A later request for more detail decodes again.
    void prepareStill(int rotation, int maxWidth, int maxHeight)
    {
        if (heif) {
            if (!hasCurrent) {
                current = heif::decodePrimaryImage(asset->url());
                stillDecoded(1, current->width, current->height);
            }
            return;
        }
        const int w = track.width;
        const int h = track.height;
        int factor = 1;
        if (w > 0 && h > 0) {
            const auto [tw, th] = targetSize(w, h, rotation, maxWidth, maxHeight);
            factor = std::max(1, std::min(w / tw, h / th));
        }
        if (hasCurrent && stillFactor <= factor) {
            return; // what is there has the detail asked for
        }
        if (factor > 1) {
            const std::optional<png::Header> header = png::readHeader(asset->url());
            if (header && header->width == w && header->height == h && png::canDecodeReduced(*header)) {
                current = png::decodeReduced(asset->url(), factor);
                stillDecoded(factor, w, h);
                return;
            }
        }
        // Whole, through FFmpeg: a fresh demuxer stands at the picture.
        decoding.reset();
        decoder.reset();
        format.reset();
        stream = nullptr;
        hasCurrent = false;
        currentTime = MediaTime::invalid();
        open(0, rotation, 0, 0);
        if (decodeNext() != 0) {
            throw MediaError::make(MediaError::decodeFailed,
                                   "\"" + asset->url().filename().string() + "\" has no picture to show.");
        }
        stillDecoded(1, current->width, current->height);
    }

    void stillDecoded(int factor, int width, int height)
    {
        hasCurrent = true;
        hasCached = false;
        stillFactor = factor;
        fullWidth = width;
        fullHeight = height;
    }

    Image render(int rotation, int maxWidth, int maxHeight)
    {
        const int w = current->width;
        const int h = current->height;
        // A frame decoded at a reduced size is sized from the stream's, as if it had been
        // decoded whole.
        const bool reduced = decoder && decoder->lowres > 0 && stream;
        const int fullW = reduced ? stream->codecpar->width : w;
        const int fullH = reduced ? stream->codecpar->height : h;
        // A reduced still is sized from its full size, as if it had been decoded whole.
        const auto [tw, th] = stillFactor > 0 ? targetSize(fullWidth, fullHeight, rotation, maxWidth, maxHeight)
                                              : targetSize(fullW, fullH, rotation, maxWidth, maxHeight);
        const MediaTime frameTime = stillFactor > 0 ? MediaTime::zero() : currentTime;
        if (hasCached && cachedTime == frameTime && cachedRotation == rotation &&
            cachedWidth == tw && cachedHeight == th) {
            return cached;
        }
        const AVFrame* source = current.get();
        if (tw != w || th != h) {
            scaled = scaler.scale(current.get(), tw, th);
            source = scaled.get();
        }
        // The stream's matrix for frames that carry none, as the tags below say.
        Image image = converter.convert(source, stream ? stream->codecpar->color_space : AVCOL_SPC_UNSPECIFIED);
        image.tags = ffmpeg::frameTags(current.get(), stream ? stream->codecpar : nullptr);
        image = rotated(image, rotation);
        cached = image;
        hasCached = true;
        cachedTime = frameTime;
        cachedRotation = rotation;
        cachedWidth = tw;
        cachedHeight = th;
        return image;
    }
};

ImageGenerator::ImageGenerator(std::shared_ptr<const Asset> asset) : asset_(std::move(asset))
{
    if (!asset_) {
        throw MediaError::make(MediaError::invalidArgument, "An image generator needs an asset.");
    }
    const AssetTrack* track = asset_->firstTrack(MediaType::video);
    if (!track) {
        throw MediaError::make(MediaError::noSuchTrack,
                               "\"" + asset_->url().filename().string() + "\" has no pictures.");
    }
    impl_ = std::make_unique<Impl>();
    impl_->asset = asset_;
    impl_->track = *track;
    impl_->still = asset_->isStillImage();
    impl_->heif = asset_->formatName() == heif::heifFormatName;
}

ImageGenerator::~ImageGenerator() = default;

Image ImageGenerator::copyImage(const MediaTime& time, MediaTime* actualTime)
{
    std::lock_guard lock(mutex_);
    Impl& impl = *impl_;
    const int rotation = appliesPreferredTrackTransform ? impl.track.rotationDegrees : 0;
    if (impl.heif || impl.still) {
        // Every time shows the one picture.
        impl.prepareStill(rotation, maximumWidth, maximumHeight);
    } else {
        // A decoder opened for smaller pictures than these is opened again for them.
        if (impl.decoder && impl.decoder->lowres > 0 &&
            (maximumWidth <= 0 || maximumHeight <= 0 ||
             impl.neededFor(rotation, maximumWidth, maximumHeight) < impl.decoder->lowres)) {
            impl.close();
        }
        if (!impl.decoder) {
            impl.open(std::max(decoderThreads, 0), rotation, maximumWidth, maximumHeight);
        }
        const MediaTime t = time.isNumeric() ? time : MediaTime::zero();
        const MediaTime before = requestedTimeToleranceBefore.isValid() && requestedTimeToleranceBefore >= MediaTime::zero()
                                     ? requestedTimeToleranceBefore
                                     : MediaTime::zero();
        const MediaTime after = requestedTimeToleranceAfter.isValid() && requestedTimeToleranceAfter >= MediaTime::zero()
                                    ? requestedTimeToleranceAfter
                                    : MediaTime::zero();
        impl.locate(t, before, after);
        if (takesFrameStartingAtOrAfter && impl.hasCurrent && !impl.atEnd && impl.currentTime < t - kFrameStartTolerance) {
            // The frame under the time started before it: an export takes the next one (the
            // last frame stays when there is none).
            impl.decodeNext();
        }
    }
    if (actualTime) {
        *actualTime = impl.still ? time : impl.currentTime;
    }
    return impl.render(rotation, maximumWidth, maximumHeight);
}

} // namespace velmora
