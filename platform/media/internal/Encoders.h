#pragma once

// Private to the media layer: the writer's encoders. Each encoder is driven by one thread at a
// time (the writer serialises calls per input) and hands every packet it produces to a sink.

#include <deque>
#include <functional>

#include "platform/media/OutputSettings.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/internal/FFmpegSupport.h"
#include "platform/media/internal/FrameConvert.h"

namespace velmora::ffmpeg {

using PacketSink = std::function<void(PacketPtr)>;

// The pixel format a codec's encoder takes.
PixelFormat nativePixelFormat(VideoCodecType codec);

// A time base for a video stream: 1 / mediaTimeScale when given, else one that holds the
// expected frame rate's frame times exactly (NTSC rates on 1001-based scales), else 1/90000.
AVRational videoTimeBase(const VideoOutputSettings& settings, std::int32_t mediaTimeScale);

class VideoEncoder {
public:
    VideoEncoder(VideoOutputSettings settings, AVRational timeBase, bool globalHeader);

    bool isOpen() const { return static_cast<bool>(context_); }
    // Opens the encoder with the colour tags of the first frame (settings win for primaries
    // and matrix, the frame's transfer function wins). Throws velmora::Error.
    void open(const ImageTags& frameTags);
    const AVCodecContext* context() const { return context_.get(); }

    // Encodes a frame stamped `pts` (in the time base), converting it to the encoder's format
    // first when it is in another. Packets go to `sink`, each with its duration set.
    void encode(const PixelBuffer& frame, std::int64_t pts, const PacketSink& sink);
    // Drains the encoder; the last packet gets the duration of the one before it.
    void flush(const PacketSink& sink);

private:
    void drain(const PacketSink& sink);
    void deliver(PacketPtr packet, const PacketSink& sink);

    VideoOutputSettings settings_;
    AVRational timeBase_;
    bool globalHeader_;
    CodecContextPtr context_;
    FramePtr frame_;
    FramePtr wrapper_;
    FrameConverter converter_;
    std::unique_ptr<PixelBufferPool> nativePool_;
    PacketPtr held_;                  // the newest packet, waiting for its successor's time
    std::int64_t lastDuration_ = 0;
    std::int64_t nominalDuration_ = 0;
};

class AudioEncoder {
public:
    AudioEncoder(AudioOutputSettings settings, bool globalHeader);

    // Throws velmora::Error.
    void open();
    const AVCodecContext* context() const { return context_.get(); }
    int sampleRate() const { return settings_.sampleRate; }
    int channels() const { return settings_.channels; }

    // Appends interleaved float frames; full encoder frames are encoded at once.
    void append(const float* interleaved, int frames, const PacketSink& sink);
    void appendSilence(std::int64_t frames, const PacketSink& sink);
    void flush(const PacketSink& sink);

private:
    void encodeFrames(bool final, const PacketSink& sink);
    void drain(const PacketSink& sink);

    AudioOutputSettings settings_;
    bool globalHeader_;
    CodecContextPtr context_;
    AudioFifoPtr fifo_;
    FramePtr frame_;
    std::vector<float> planar_;
    std::int64_t nextPts_ = 0;
};

} // namespace velmora::ffmpeg
