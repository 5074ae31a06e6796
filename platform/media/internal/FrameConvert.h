#pragma once

// Private to the media layer: decoded FFmpeg frames into pixel buffers and float images.

#include <optional>
#include <utility>

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

// The size a frame of width × height is read at by a consumer that uses it at neededWidth ×
// neededHeight (either 0: at full size). A frame more than twice as large as needed in both
// directions (for the aspect-fill cover of the needed size) comes down, keeping its aspect, to
// the smallest size that still covers twice the needed size; anything smaller stays as it is,
// so the consumer's own fit does the final resampling as it does for every other frame.
std::pair<int, int> readSize(int width, int height, int neededWidth, int neededHeight);

// Converts decoded frames into pixel buffers of another format, keeping video-range Y'CbCr in
// video range. At the same size the usual decoder outputs are repacked (rows split across
// cores); anything else goes through libswscale (area averaging when the buffer is smaller than
// the frame), whose context is kept for the next frame. One converter per thread.
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
    int swsTargetWidth_ = 0;
    int swsTargetHeight_ = 0;
};

// Scales decoded frames in their own pixel format (planes, depth, range and colour tags kept;
// formats libswscale cannot write into 16-bit RGBA or Y'CbCr 4:4:4): by area averaging below half
// size, so that an oversized frame is never converted at full size, bicubic otherwise. Keeps its
// libswscale context for the next frame of the same geometry. One scaler per thread.
class FrameScaler {
public:
    // A new frame of width × height holding `frame` scaled. Throws velmora::Error (media,
    // decodeFailed) when the frame's format cannot be scaled.
    FramePtr scale(const AVFrame* frame, int width, int height);

private:
    SwsPtr sws_;
    int format_ = -1;
    int range_ = -1;
    int sourceWidth_ = 0;
    int sourceHeight_ = 0;
    int width_ = 0;
    int height_ = 0;
};

// Converts decoded frames of any format into float R'G'B' images: Y'CbCr straight from the
// decoder's planes in one pass (rows split across cores) with the frame's matrix (the stream's
// when the frame has none, BT.709 when neither has one) and range, RGB and grey as they are.
// The image comes from the image pool. Keeps its libswscale context between frames.
class FrameImageConverter {
public:
    // `streamSpace`: the stream's matrix, for frames that carry none.
    Image convert(const AVFrame* frame, AVColorSpace streamSpace = AVCOL_SPC_UNSPECIFIED);

private:
    SwsPtr sws_;
    FramePtr scratch_;
    int swsSource_ = -1;
    int swsWidth_ = 0;
    int swsHeight_ = 0;
};

} // namespace velmora::ffmpeg
