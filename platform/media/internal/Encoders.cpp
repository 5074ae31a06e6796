#include "platform/media/internal/Encoders.h"

#include <cmath>
#include <string>

#include "platform/dispatch/internal/HandOver.h"
#include "platform/foundation/FrameRates.h"

namespace velmora::ffmpeg {

namespace {

// Encoder speed settings a user exporting a master at the requested bit rate accepts: close
// to the slower presets' quality at that rate, at several times their speed (bench/README.md).
constexpr const char* kX265Preset = "fast";
constexpr const char* kX264Preset = "medium";


// The rate on the time base its frames are stamped on (rateTimebase): 12.5 as 25/2, the
// NTSC rates as the 1001-based ratios cameras use.
AVRational frameRateOf(double fps)
{
    const RateTimebase timebase = rateTimebase(fps);
    return {timebase.timescale, static_cast<int>(timebase.step)};
}

const AVCodec* findEncoder(const char* name)
{
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec) {
        throw MediaError::make(MediaError::encoderNotFound,
                               std::string("The encoder \"") + name + "\" is not available in this FFmpeg build.");
    }
    return codec;
}

struct PixelBufferRef {
    PixelBuffer buffer;
};

// Called by FFmpeg on whichever of its threads drops the frame's last reference, after its threads
// passed the frame among themselves: the buffer was handed over when the frame was sent.
void releasePixelBuffer(void* opaque, std::uint8_t*)
{
    internal::takeOver(opaque);
    delete static_cast<PixelBufferRef*>(opaque);
}

// Takes every packet the encoder has ready; EAGAIN and EOF end the loop, anything else fails.
template <class OnPacket>
void receivePackets(AVCodecContext* context, const char* failure, OnPacket onPacket)
{
    for (;;) {
        PacketPtr packet = allocPacket();
        const int rc = avcodec_receive_packet(context, packet.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) {
            return;
        }
        if (rc < 0) {
            throw error(MediaError::encodeFailed, failure, rc);
        }
        onPacket(std::move(packet));
    }
}

} // namespace

PixelFormat nativePixelFormat(VideoCodecType codec)
{
    switch (codec) {
    case VideoCodecType::hevc: return PixelFormat::yuv420p10;
    case VideoCodecType::h264: return PixelFormat::yuv420p;
    case VideoCodecType::proRes422: return PixelFormat::yuv422p10;
    }
    return PixelFormat::yuv420p;
}

AVRational videoTimeBase(const VideoOutputSettings& settings, std::int32_t mediaTimeScale)
{
    if (mediaTimeScale > 0) {
        return {1, mediaTimeScale};
    }
    const double fps = settings.compressionProperties ? settings.compressionProperties->expectedSourceFrameRate : 0;
    if (fps > 0 && std::isfinite(fps)) {
        // Every frame of the rate starts on a tick of its timescale.
        return {1, frameRateOf(fps).num};
    }
    return {1, 90000};
}

VideoEncoder::VideoEncoder(VideoOutputSettings settings, AVRational timeBase, bool globalHeader)
    : settings_(std::move(settings)), timeBase_(timeBase), globalHeader_(globalHeader)
{
}

void VideoEncoder::open(const ImageTags& frameTags)
{
    const AVCodec* codec = findEncoder(encoderName(settings_.codec));
    CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) {
        throw std::bad_alloc();
    }
    const VideoCompressionProperties* compression =
        settings_.compressionProperties ? &*settings_.compressionProperties : nullptr;
    context->width = settings_.width;
    context->height = settings_.height;
    context->time_base = timeBase_;
    context->pix_fmt = avPixelFormat(nativePixelFormat(settings_.codec));
    context->sample_aspect_ratio = {1, 1};
    const double fps = compression ? compression->expectedSourceFrameRate : 0;
    if (fps > 0 && std::isfinite(fps)) {
        context->framerate = frameRateOf(fps);
        nominalDuration_ = std::max<std::int64_t>(
            1, std::llround(static_cast<double>(timeBase_.den) / (fps * timeBase_.num)));
    }
    if (globalHeader_) {
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    context->thread_count = 0;

    // Primaries and matrix as the settings say (BT.709 by default); the transfer function the
    // frame carries, else the settings', else BT.709. Always video range.
    const VideoColorProperties* color = settings_.colorProperties ? &*settings_.colorProperties : nullptr;
    auto pick = [](const std::string& first, const std::string& second) {
        return !first.empty() ? first : (!second.empty() ? second : std::string("ITU_R_709_2"));
    };
    context->color_primaries =
        primariesFromTag(pick(color ? color->colorPrimaries : "", frameTags.colorPrimaries));
    context->colorspace = matrixFromTag(pick(color ? color->yCbCrMatrix : "", frameTags.yCbCrMatrix));
    const std::string transfer = pick(frameTags.transferFunction, color ? color->transferFunction : "");
    context->color_trc = transferFromTag(transfer, frameTags.gammaLevel);
    if (context->color_trc == AVCOL_TRC_UNSPECIFIED) {
        context->color_trc = AVCOL_TRC_BT709;
    }
    if (context->color_primaries == AVCOL_PRI_UNSPECIFIED) {
        context->color_primaries = AVCOL_PRI_BT709;
    }
    if (context->colorspace == AVCOL_SPC_UNSPECIFIED) {
        context->colorspace = AVCOL_SPC_BT709;
    }
    context->color_range = AVCOL_RANGE_MPEG;
    if (settings_.codec != VideoCodecType::proRes422) {
        context->chroma_sample_location = AVCHROMA_LOC_LEFT;
    }

    Options options;
    switch (settings_.codec) {
    case VideoCodecType::hevc: {
        options.set("preset", kX265Preset);
        options.set("profile", "main10");
        std::string params = "log-level=error:open-gop=0";
        if (compression) {
            if (!compression->allowFrameReordering) {
                params += ":bframes=0";
            }
            if (compression->maxKeyFrameInterval) {
                // x265 turns an interval of one frame into an intra-only stream of another profile
                // (Rext); two keeps Main 10 at the lowest rates.
                params += ":keyint=" + std::to_string(std::max(*compression->maxKeyFrameInterval, 2));
            }
            if (compression->averageBitRate) {
                context->bit_rate = *compression->averageBitRate;
            }
            if (compression->dataRateLimits && compression->dataRateLimits->second > 0) {
                const double bits = static_cast<double>(compression->dataRateLimits->first) * 8.0;
                context->rc_max_rate = static_cast<std::int64_t>(bits / compression->dataRateLimits->second);
                context->rc_buffer_size = static_cast<int>(std::min(bits, 2.0e9));
            }
        }
        options.set("x265-params", params);
        break;
    }
    case VideoCodecType::h264: {
        options.set("preset", kX264Preset);
        options.set("profile", "high");
        if (compression) {
            if (!compression->allowFrameReordering) {
                context->max_b_frames = 0;
                options.set("x264-params", "bframes=0");
            }
            if (compression->maxKeyFrameInterval) {
                context->gop_size = *compression->maxKeyFrameInterval;
            }
            if (compression->h264EntropyMode && *compression->h264EntropyMode == "CAVLC") {
                options.set("coder", "cavlc");
            }
            if (compression->averageBitRate) {
                context->bit_rate = *compression->averageBitRate;
            }
            if (compression->dataRateLimits && compression->dataRateLimits->second > 0) {
                const double bits = static_cast<double>(compression->dataRateLimits->first) * 8.0;
                context->rc_max_rate = static_cast<std::int64_t>(bits / compression->dataRateLimits->second);
                context->rc_buffer_size = static_cast<int>(std::min(bits, 2.0e9));
            }
        }
        break;
    }
    case VideoCodecType::proRes422:
        options.set("profile", "standard");
        options.set("vendor", "apl0");
        break;
    }
    const int rc = avcodec_open2(context.get(), codec, options.get());
    if (rc < 0) {
        throw error(MediaError::encodeFailed, std::string("Cannot open the ") + codec->name + " encoder", rc);
    }
    context_ = std::move(context);
    frame_ = allocFrame();
    wrapper_ = allocFrame();
}

void VideoEncoder::encode(const PixelBuffer& frame, std::int64_t pts, const PacketSink& sink)
{
    if (frame.width() != settings_.width || frame.height() != settings_.height) {
        throw MediaError::make(MediaError::invalidArgument,
                               "A frame of " + std::to_string(frame.width()) + " x " + std::to_string(frame.height()) +
                                   " cannot be written to a " + std::to_string(settings_.width) + " x " +
                                   std::to_string(settings_.height) + " movie.");
    }
    const PixelFormat native = nativePixelFormat(settings_.codec);
    PixelBuffer input = frame;
    if (frame.format() != native) {
        if (!nativePool_) {
            nativePool_ = std::make_unique<PixelBufferPool>(native, settings_.width, settings_.height);
        }
        input = nativePool_->createPixelBuffer();
        av_frame_unref(wrapper_.get());
        wrapper_->format = avPixelFormat(frame.format());
        wrapper_->width = frame.width();
        wrapper_->height = frame.height();
        wrapper_->color_range = frame.attachments().colorRange == "FullRange" ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
        wrapper_->colorspace = matrixFromTag(frame.attachments().yCbCrMatrix);
        for (int i = 0; i < frame.planeCount(); ++i) {
            wrapper_->data[i] = const_cast<std::uint8_t*>(frame.baseAddress(i));
            wrapper_->linesize[i] = static_cast<int>(frame.bytesPerRow(i));
        }
        if (frame.format() == PixelFormat::bgra) {
            wrapper_->color_range = AVCOL_RANGE_JPEG;
        }
        converter_.convert(wrapper_.get(), input);
    }

    // Hand the buffer to the encoder without a copy; it stays alive while the encoder holds it.
    av_frame_unref(frame_.get());
    frame_->format = context_->pix_fmt;
    frame_->width = settings_.width;
    frame_->height = settings_.height;
    for (int i = 0; i < input.planeCount(); ++i) {
        frame_->data[i] = input.baseAddress(i);
        frame_->linesize[i] = static_cast<int>(input.bytesPerRow(i));
    }
    auto* ref = new PixelBufferRef{input};
    frame_->buf[0] = av_buffer_create(input.baseAddress(0),
                                      static_cast<int>(input.bytesPerRow(0) * input.height()), releasePixelBuffer, ref,
                                      AV_BUFFER_FLAG_READONLY);
    if (!frame_->buf[0]) {
        delete ref;
        throw std::bad_alloc();
    }
    frame_->pts = pts;
    frame_->color_primaries = context_->color_primaries;
    frame_->color_trc = context_->color_trc;
    frame_->colorspace = context_->colorspace;
    frame_->color_range = context_->color_range;
    internal::handOver(ref);
    const int rc = avcodec_send_frame(context_.get(), frame_.get());
    av_frame_unref(frame_.get());
    if (rc < 0) {
        throw error(MediaError::encodeFailed, "The video encoder refused a frame", rc);
    }
    drain(sink);
}

void VideoEncoder::drain(const PacketSink& sink)
{
    receivePackets(context_.get(), "The video encoder failed",
                   [&](PacketPtr packet) { deliver(std::move(packet), sink); });
}

void VideoEncoder::deliver(PacketPtr packet, const PacketSink& sink)
{
    if (held_) {
        std::int64_t duration = packet->pts - held_->pts;
        if (duration <= 0) {
            duration = lastDuration_ > 0 ? lastDuration_ : std::max<std::int64_t>(1, nominalDuration_);
        }
        held_->duration = duration;
        lastDuration_ = duration;
        sink(std::move(held_));
    }
    held_ = std::move(packet);
}

void VideoEncoder::flush(const PacketSink& sink)
{
    if (!context_) {
        return;
    }
    const int rc = avcodec_send_frame(context_.get(), nullptr);
    if (rc < 0 && rc != AVERROR_EOF) {
        throw error(MediaError::encodeFailed, "Cannot finish the video stream", rc);
    }
    drain(sink);
    if (held_) {
        // The last frame lasts one frame step as the others did; the nominal duration, rounded
        // from the expected rate, only when the stream has a single frame.
        held_->duration = lastDuration_ > 0 ? lastDuration_ : std::max<std::int64_t>(1, nominalDuration_);
        sink(std::move(held_));
    }
}

AudioEncoder::AudioEncoder(AudioOutputSettings settings, bool globalHeader)
    : settings_(settings), globalHeader_(globalHeader)
{
}

void AudioEncoder::open()
{
    const AVCodec* codec = findEncoder("aac");
    CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) {
        throw std::bad_alloc();
    }
    context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context->sample_rate = settings_.sampleRate;
    av_channel_layout_default(&context->ch_layout, settings_.channels);
    context->bit_rate = settings_.bitRate;
    context->time_base = {1, settings_.sampleRate};
    if (globalHeader_) {
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    int rc = avcodec_open2(context.get(), codec, nullptr);
    if (rc < 0) {
        throw error(MediaError::encodeFailed, "Cannot open the aac encoder", rc);
    }
    fifo_.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, settings_.channels, std::max(1, context->frame_size) * 4));
    if (!fifo_) {
        throw std::bad_alloc();
    }
    frame_ = allocFrame();
    frame_->format = AV_SAMPLE_FMT_FLTP;
    frame_->sample_rate = settings_.sampleRate;
    av_channel_layout_copy(&frame_->ch_layout, &context->ch_layout);
    frame_->nb_samples = context->frame_size;
    rc = av_frame_get_buffer(frame_.get(), 0);
    if (rc < 0) {
        throw error(MediaError::encodeFailed, "Cannot allocate an audio frame", rc);
    }
    context_ = std::move(context);
}

void AudioEncoder::append(const float* interleaved, int frames, const PacketSink& sink)
{
    if (frames <= 0) {
        return;
    }
    const int channels = settings_.channels;
    planar_.resize(static_cast<std::size_t>(frames) * channels);
    void* planes[16] = {};
    for (int c = 0; c < channels; ++c) {
        float* plane = planar_.data() + static_cast<std::size_t>(c) * frames;
        for (int i = 0; i < frames; ++i) {
            plane[i] = interleaved[static_cast<std::size_t>(i) * channels + c];
        }
        planes[c] = plane;
    }
    const int rc = av_audio_fifo_write(fifo_.get(), planes, frames);
    if (rc < frames) {
        throw error(MediaError::encodeFailed, "Cannot queue audio for the encoder", rc < 0 ? rc : AVERROR(ENOMEM));
    }
    encodeFrames(false, sink);
}

void AudioEncoder::appendSilence(std::int64_t frames, const PacketSink& sink)
{
    const int chunk = 4096;
    std::vector<float> silence(static_cast<std::size_t>(chunk) * settings_.channels, 0.0f);
    while (frames > 0) {
        const int n = static_cast<int>(std::min<std::int64_t>(frames, chunk));
        append(silence.data(), n, sink);
        frames -= n;
    }
}

void AudioEncoder::encodeFrames(bool final, const PacketSink& sink)
{
    const int frameSize = context_->frame_size > 0 ? context_->frame_size : 1024;
    while (av_audio_fifo_size(fifo_.get()) >= frameSize || (final && av_audio_fifo_size(fifo_.get()) > 0)) {
        const int n = std::min(av_audio_fifo_size(fifo_.get()), frameSize);
        int rc = av_frame_make_writable(frame_.get());
        if (rc < 0) {
            throw error(MediaError::encodeFailed, "Cannot reuse the audio frame", rc);
        }
        frame_->nb_samples = n;
        rc = av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame_->data), n);
        if (rc < n) {
            throw error(MediaError::encodeFailed, "Cannot read queued audio", rc < 0 ? rc : AVERROR_BUG);
        }
        frame_->pts = nextPts_;
        nextPts_ += n;
        rc = avcodec_send_frame(context_.get(), frame_.get());
        if (rc < 0) {
            throw error(MediaError::encodeFailed, "The audio encoder refused samples", rc);
        }
        drain(sink);
    }
}

void AudioEncoder::drain(const PacketSink& sink)
{
    receivePackets(context_.get(), "The audio encoder failed", [&](PacketPtr packet) { sink(std::move(packet)); });
}

void AudioEncoder::flush(const PacketSink& sink)
{
    if (!context_) {
        return;
    }
    encodeFrames(true, sink);
    const int rc = avcodec_send_frame(context_.get(), nullptr);
    if (rc < 0 && rc != AVERROR_EOF) {
        throw error(MediaError::encodeFailed, "Cannot finish the audio stream", rc);
    }
    drain(sink);
}

} // namespace velmora::ffmpeg
