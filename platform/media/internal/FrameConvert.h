#pragma once

// Private to the media layer: decoded FFmpeg frames into pixel buffers and float images.

#include <optional>

#include "platform/image/Image.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/internal/FFmpegSupport.h"
#include "platform/media/internal/YuvConvert.h"

namespace velmora::ffmpeg {

// FFmpeg's name for one of our pixel formats.
AVPixelFormat avPixelFormat(PixelFormat format);

// The planes of a decoded Y'CbCr frame in a layout the converters read directly (planar 4:2:0,
// 4:2:2 and 4:4:4 at 8 to 16 bits, NV12, P010, grey), with the frame's matrix and range
// (BT.709 video range when untagged; the yuvj formats are full range).
std::optional<yuv::Planes> planesOf(const AVFrame* frame);

// Colour tags of a decoded frame, falling back to the stream's where the frame has none.
ImageTags frameTags(const AVFrame* frame, const AVCodecParameters* stream);

// Converts decoded frames into pixel buffers of another format at the same size, keeping
// video-range Y'CbCr in video range. The usual decoder outputs are repacked without scaling
// (rows split across cores); anything else goes through libswscale, whose context is kept for
// the next frame. One converter per thread.
class FrameConverter {
public:
    // Throws velmora::Error (media, decodeFailed) when the conversion cannot be set up.
    void convert(const AVFrame* frame, PixelBuffer& destination);

private:
    SwsPtr sws_;
    int swsSource_ = -1;
    int swsWidth_ = 0;
    int swsHeight_ = 0;
    int swsTarget_ = -1;
    int swsRange_ = -1;
    int swsMatrix_ = -1;
};

// Converts decoded frames of any format into float R'G'B' images: Y'CbCr with the frame's
// matrix and range, RGB and grey as they are. Keeps its libswscale context between frames.
class FrameImageConverter {
public:
    Image convert(const AVFrame* frame);

private:
    SwsPtr sws_;
    FramePtr scratch_;
    int swsSource_ = -1;
    int swsWidth_ = 0;
    int swsHeight_ = 0;
};

} // namespace velmora::ffmpeg
