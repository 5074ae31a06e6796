#include "platform/media/internal/FrameConvert.h"

#include <algorithm>
#include <cmath>

#include "platform/dispatch/ConcurrentPerform.h"

namespace velmora::ffmpeg {

namespace {

struct Layout {
    int bytes = 1;
    int depth = 8;
    int sx = 1;
    int sy = 1;
    bool interleaved = false;
    bool gray = false;
    bool full = false;
};

std::optional<Layout> layoutOf(int format)
{
    switch (format) {
    case AV_PIX_FMT_YUV420P: return Layout{1, 8, 1, 1};
    case AV_PIX_FMT_YUVJ420P: return Layout{1, 8, 1, 1, false, false, true};
    case AV_PIX_FMT_YUV422P: return Layout{1, 8, 1, 0};
    case AV_PIX_FMT_YUVJ422P: return Layout{1, 8, 1, 0, false, false, true};
    case AV_PIX_FMT_YUV444P: return Layout{1, 8, 0, 0};
    case AV_PIX_FMT_YUVJ444P: return Layout{1, 8, 0, 0, false, false, true};
    case AV_PIX_FMT_YUV420P10LE: return Layout{2, 10, 1, 1};
    case AV_PIX_FMT_YUV422P10LE: return Layout{2, 10, 1, 0};
    case AV_PIX_FMT_YUV444P10LE: return Layout{2, 10, 0, 0};
    case AV_PIX_FMT_YUV420P12LE: return Layout{2, 12, 1, 1};
    case AV_PIX_FMT_YUV422P12LE: return Layout{2, 12, 1, 0};
    case AV_PIX_FMT_YUV444P12LE: return Layout{2, 12, 0, 0};
    case AV_PIX_FMT_YUV420P16LE: return Layout{2, 16, 1, 1};
    case AV_PIX_FMT_YUV422P16LE: return Layout{2, 16, 1, 0};
    case AV_PIX_FMT_YUV444P16LE: return Layout{2, 16, 0, 0};
    case AV_PIX_FMT_NV12: return Layout{1, 8, 1, 1, true};
    case AV_PIX_FMT_P010LE:
    case AV_PIX_FMT_P016LE: return Layout{2, 16, 1, 1, true};
    case AV_PIX_FMT_P210LE:
    case AV_PIX_FMT_P216LE: return Layout{2, 16, 1, 0, true};
    case AV_PIX_FMT_GRAY8: return Layout{1, 8, 0, 0, false, true};
    case AV_PIX_FMT_GRAY10LE: return Layout{2, 10, 0, 0, false, true};
    case AV_PIX_FMT_GRAY12LE: return Layout{2, 12, 0, 0, false, true};
    case AV_PIX_FMT_GRAY16LE: return Layout{2, 16, 0, 0, false, true};
    default: return std::nullopt;
    }
}

yuv::Matrix matrixOf(AVColorSpace space)
{
    switch (space) {
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M: return yuv::Matrix::bt601;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return yuv::Matrix::bt2020;
    case AVCOL_SPC_SMPTE240M: return yuv::Matrix::smpte240;
    default: return yuv::Matrix::bt709;
    }
}

int swsCoefficientsOf(yuv::Matrix matrix)
{
    switch (matrix) {
    case yuv::Matrix::bt601: return SWS_CS_ITU601;
    case yuv::Matrix::bt2020: return SWS_CS_BT2020;
    case yuv::Matrix::smpte240: return SWS_CS_SMPTE240M;
    case yuv::Matrix::bt709: break;
    }
    return SWS_CS_ITU709;
}

// Where a pixel buffer's samples sit, and how deep they are as stored (P010 and P216 as 16-bit
// words, whose video-range levels equal 10-bit codes shifted into the top bits).
Layout layoutOf(PixelFormat format)
{
    switch (format) {
    case PixelFormat::p010: return Layout{2, 16, 1, 1, true};
    case PixelFormat::nv12: return Layout{1, 8, 1, 1, true};
    case PixelFormat::p216: return Layout{2, 16, 1, 0, true};
    case PixelFormat::yuv420p: return Layout{1, 8, 1, 1};
    case PixelFormat::yuv420p10: return Layout{2, 10, 1, 1};
    case PixelFormat::yuv422p10: return Layout{2, 10, 1, 0};
    case PixelFormat::bgra: break;
    }
    return Layout{1, 8, 0, 0};
}

} // namespace

AVPixelFormat avPixelFormat(PixelFormat format)
{
    switch (format) {
    case PixelFormat::p010: return AV_PIX_FMT_P010LE;
    case PixelFormat::nv12: return AV_PIX_FMT_NV12;
    case PixelFormat::p216: return AV_PIX_FMT_P216LE;
    case PixelFormat::bgra: return AV_PIX_FMT_BGRA;
    case PixelFormat::yuv420p: return AV_PIX_FMT_YUV420P;
    case PixelFormat::yuv420p10: return AV_PIX_FMT_YUV420P10LE;
    case PixelFormat::yuv422p10: return AV_PIX_FMT_YUV422P10LE;
    }
    return AV_PIX_FMT_NONE;
}

namespace {

template <typename S, typename D>
inline D convertSample(S v, int up, int down, unsigned max)
{
    if (up > 0) {
        return static_cast<D>(static_cast<unsigned>(v) << up);
    }
    if (down > 0) {
        const unsigned rounded = (static_cast<unsigned>(v) + (1u << (down - 1))) >> down;
        return static_cast<D>(std::min(rounded, max));
    }
    return static_cast<D>(v);
}

// Copies samples between layouts with the same chroma subsampling, changing depth by shifts.
template <typename S, typename D>
void repackRows(const yuv::Planes& src, const yuv::Planes& dst, int up, int down, unsigned max, int firstRow,
                int endRow)
{
    const int chromaWidth = (src.width + (1 << src.chromaShiftX) - 1) >> src.chromaShiftX;
    for (int r = firstRow; r < endRow; ++r) {
        const S* ys = reinterpret_cast<const S*>(src.data[0] + src.stride[0] * r);
        D* yd = reinterpret_cast<D*>(dst.data[0] + dst.stride[0] * r);
        for (int x = 0; x < src.width; ++x) {
            yd[x] = convertSample<S, D>(ys[x], up, down, max);
        }
        // Chroma rows are written by the first luma row of their block.
        if ((r & ((1 << src.chromaShiftY) - 1)) != 0) {
            continue;
        }
        const int cr = r >> src.chromaShiftY;
        const S* us = reinterpret_cast<const S*>(src.data[1] + src.stride[1] * cr);
        const S* vs = src.interleavedChroma ? us + 1 : reinterpret_cast<const S*>(src.data[2] + src.stride[2] * cr);
        const int ss = src.interleavedChroma ? 2 : 1;
        D* ud = reinterpret_cast<D*>(dst.data[1] + dst.stride[1] * cr);
        D* vd = dst.interleavedChroma ? ud + 1 : reinterpret_cast<D*>(dst.data[2] + dst.stride[2] * cr);
        const int ds = dst.interleavedChroma ? 2 : 1;
        for (int x = 0; x < chromaWidth; ++x) {
            ud[x * ds] = convertSample<S, D>(us[x * ss], up, down, max);
            vd[x * ds] = convertSample<S, D>(vs[x * ss], up, down, max);
        }
    }
}

yuv::Planes planesOfBuffer(PixelBuffer& buffer)
{
    const Layout l = layoutOf(buffer.format());
    yuv::Planes p;
    for (int i = 0; i < buffer.planeCount(); ++i) {
        p.data[i] = buffer.baseAddress(i);
        p.stride[i] = buffer.bytesPerRow(i);
    }
    p.width = buffer.width();
    p.height = buffer.height();
    p.bytesPerSample = l.bytes;
    p.bitDepth = l.depth;
    p.chromaShiftX = l.sx;
    p.chromaShiftY = l.sy;
    p.interleavedChroma = l.interleaved;
    return p;
}

void repack(const yuv::Planes& src, const yuv::Planes& dst)
{
    const int up = std::max(0, dst.bitDepth - src.bitDepth);
    const int down = std::max(0, src.bitDepth - dst.bitDepth);
    const unsigned max = (1u << dst.bitDepth) - 1;
    const std::size_t minRows = std::max<std::size_t>(2, 65536 / std::max(1, src.width));
    concurrentPerform(static_cast<std::size_t>(src.height), minRows, [&](std::size_t b, std::size_t e) {
        // Chunks start on a chroma block boundary so that every chroma row has one writer.
        const int block = 1 << src.chromaShiftY;
        int first = static_cast<int>(b);
        int end = static_cast<int>(e);
        first = (first + block - 1) / block * block;
        end = end >= src.height ? src.height : (end + block - 1) / block * block;
        if (first >= end) {
            return;
        }
        if (src.bytesPerSample == 1 && dst.bytesPerSample == 1) {
            repackRows<std::uint8_t, std::uint8_t>(src, dst, up, down, max, first, end);
        } else if (src.bytesPerSample == 1) {
            repackRows<std::uint8_t, std::uint16_t>(src, dst, up, down, max, first, end);
        } else if (dst.bytesPerSample == 1) {
            repackRows<std::uint16_t, std::uint8_t>(src, dst, up, down, max, first, end);
        } else {
            repackRows<std::uint16_t, std::uint16_t>(src, dst, up, down, max, first, end);
        }
    });
}

Image rgba64ToImage(const AVFrame* frame)
{
    const int w = frame->width;
    const int h = frame->height;
    Image image = Image::allocate(w, h);
    float* base = image.mutableRow(0);
    const std::ptrdiff_t stride = image.rowStride();
    concurrentPerform(static_cast<std::size_t>(h), 64, [&](std::size_t b, std::size_t e) {
        constexpr float scale = 1.0f / 65535.0f;
        for (std::size_t r = b; r < e; ++r) {
            const auto* in = reinterpret_cast<const std::uint16_t*>(frame->data[0] + frame->linesize[0] * r);
            float* out = base + stride * static_cast<std::ptrdiff_t>(r);
            for (int i = 0; i < 4 * w; ++i) {
                out[i] = in[i] * scale;
            }
        }
    });
    return image;
}

} // namespace

std::optional<yuv::Planes> planesOf(const AVFrame* frame)
{
    const std::optional<Layout> layout = layoutOf(frame->format);
    if (!layout) {
        return std::nullopt;
    }
    yuv::Planes p;
    for (int i = 0; i < 3; ++i) {
        p.data[i] = frame->data[i];
        p.stride[i] = frame->linesize[i];
    }
    p.width = frame->width;
    p.height = frame->height;
    p.bytesPerSample = layout->bytes;
    p.bitDepth = layout->depth;
    p.chromaShiftX = layout->sx;
    p.chromaShiftY = layout->sy;
    p.interleavedChroma = layout->interleaved;
    p.gray = layout->gray;
    p.fullRange = layout->full || frame->color_range == AVCOL_RANGE_JPEG;
    p.matrix = matrixOf(frame->colorspace);
    return p;
}

ImageTags frameTags(const AVFrame* frame, const AVCodecParameters* stream)
{
    const bool jpegFormat = frame->format == AV_PIX_FMT_YUVJ420P || frame->format == AV_PIX_FMT_YUVJ422P ||
                            frame->format == AV_PIX_FMT_YUVJ444P;
    AVColorRange range = frame->color_range != AVCOL_RANGE_UNSPECIFIED ? frame->color_range
                                                                         : (stream ? stream->color_range : AVCOL_RANGE_UNSPECIFIED);
    if (jpegFormat) {
        range = AVCOL_RANGE_JPEG;
    }
    return tagsOf(range,
                  frame->colorspace != AVCOL_SPC_UNSPECIFIED ? frame->colorspace
                                                              : (stream ? stream->color_space : AVCOL_SPC_UNSPECIFIED),
                  frame->color_primaries != AVCOL_PRI_UNSPECIFIED
                      ? frame->color_primaries
                      : (stream ? stream->color_primaries : AVCOL_PRI_UNSPECIFIED),
                  frame->color_trc != AVCOL_TRC_UNSPECIFIED ? frame->color_trc
                                                            : (stream ? stream->color_trc : AVCOL_TRC_UNSPECIFIED));
}

std::pair<int, int> readSize(int width, int height, int neededWidth, int neededHeight)
{
    if (width <= 0 || height <= 0 || neededWidth <= 0 || neededHeight <= 0) {
        return {width, height};
    }
    const double w = width;
    const double h = height;
    // Twice the aspect-fill scale: the frame still covers twice the needed size.
    const double k = 2 * std::max(neededWidth / w, neededHeight / h);
    if (k >= 1) {
        return {width, height};
    }
    // A hair under the exact product, so that a side landing on a whole number is not rounded up.
    const auto side = [k](double length) {
        return std::max(1, static_cast<int>(std::ceil(length * k - 1e-9)));
    };
    return {std::min(width, side(w)), std::min(height, side(h))};
}

void FrameConverter::convert(const AVFrame* frame, PixelBuffer& destination)
{
    const std::optional<yuv::Planes> source = planesOf(frame);
    const PixelFormat target = destination.format();
    const bool sameSize = destination.width() == frame->width && destination.height() == frame->height;
    if (sameSize && source && !source->gray && !source->fullRange && target != PixelFormat::bgra) {
        const Layout dst = layoutOf(target);
        if (dst.sx == source->chromaShiftX && dst.sy == source->chromaShiftY) {
            repack(*source, planesOfBuffer(destination));
            return;
        }
    }
    const yuv::Matrix matrix = source ? source->matrix : matrixOf(frame->colorspace);
    const int fullIn = (source && source->fullRange) || frame->color_range == AVCOL_RANGE_JPEG ? 1 : 0;
    const int format = frame->format;
    // The yuvj formats make libswscale convert range by itself; name them by their layout and
    // pass the range explicitly instead.
    int swsSourceFormat = format;
    if (format == AV_PIX_FMT_YUVJ420P) swsSourceFormat = AV_PIX_FMT_YUV420P;
    if (format == AV_PIX_FMT_YUVJ422P) swsSourceFormat = AV_PIX_FMT_YUV422P;
    if (format == AV_PIX_FMT_YUVJ444P) swsSourceFormat = AV_PIX_FMT_YUV444P;
    const int targetFormat = avPixelFormat(target);
    if (!sws_ || swsSource_ != swsSourceFormat || swsWidth_ != frame->width || swsHeight_ != frame->height ||
        swsTarget_ != targetFormat || swsRange_ != fullIn || swsMatrix_ != static_cast<int>(matrix) ||
        swsTargetWidth_ != destination.width() || swsTargetHeight_ != destination.height()) {
        // Area averaging for a smaller buffer: bicubic filters for large ratios outgrow what
        // libswscale accepts, and a box over the source pixels is what a downscale wants.
        const int filter = sameSize || destination.width() > frame->width || destination.height() > frame->height
                               ? SWS_BICUBIC
                               : SWS_AREA;
        sws_.reset(sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(swsSourceFormat),
                                  destination.width(), destination.height(), static_cast<AVPixelFormat>(targetFormat),
                                  filter | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr));
        if (!sws_) {
            throw MediaError::make(MediaError::decodeFailed,
                                   std::string("Cannot convert frames of ") +
                                       (av_get_pix_fmt_name(static_cast<AVPixelFormat>(format))
                                            ? av_get_pix_fmt_name(static_cast<AVPixelFormat>(format))
                                            : "an unknown format") +
                                       " to " + pixelFormatName(target) + ".");
        }
        const int* table = sws_getCoefficients(swsCoefficientsOf(matrix));
        const int fullOut = target == PixelFormat::bgra ? 1 : 0;
        sws_setColorspaceDetails(sws_.get(), table, fullIn, table, fullOut, 0, 1 << 16, 1 << 16);
        swsSource_ = swsSourceFormat;
        swsWidth_ = frame->width;
        swsHeight_ = frame->height;
        swsTarget_ = targetFormat;
        swsRange_ = fullIn;
        swsMatrix_ = static_cast<int>(matrix);
        swsTargetWidth_ = destination.width();
        swsTargetHeight_ = destination.height();
    }
    std::uint8_t* dstData[4] = {};
    int dstStride[4] = {};
    for (int i = 0; i < destination.planeCount(); ++i) {
        dstData[i] = destination.baseAddress(i);
        dstStride[i] = static_cast<int>(destination.bytesPerRow(i));
    }
    const int rc = sws_scale(sws_.get(), frame->data, frame->linesize, 0, frame->height, dstData, dstStride);
    if (rc < 0) {
        throw error(MediaError::decodeFailed, "Cannot convert a decoded frame", rc);
    }
}

FramePtr FrameScaler::scale(const AVFrame* frame, int width, int height)
{
    const int format = frame->format;
    // The same format on both sides, so that libswscale converts neither range nor matrix;
    // formats it cannot write (palettes, a few packed layouts) come out as 16-bit RGBA or
    // Y'CbCr 4:4:4 by their kind.
    int output = format;
    if (!sws_isSupportedOutput(static_cast<AVPixelFormat>(format))) {
        const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
        const bool rgb = desc && (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL));
        output = rgb ? AV_PIX_FMT_RGBA64LE : AV_PIX_FMT_YUV444P16LE;
    }
    if (!sws_ || format_ != format || range_ != frame->color_range || sourceWidth_ != frame->width ||
        sourceHeight_ != frame->height || width_ != width || height_ != height) {
        // Averaging below half size, where bicubic taps would skip source pixels.
        const double factor = std::min(static_cast<double>(width) / frame->width,
                                       static_cast<double>(height) / frame->height);
        const int filter = factor < 0.5 ? SWS_AREA : SWS_BICUBIC;
        sws_.reset(sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(format), width, height,
                                  static_cast<AVPixelFormat>(output), filter | SWS_ACCURATE_RND, nullptr, nullptr,
                                  nullptr));
        if (!sws_) {
            const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(format));
            throw MediaError::make(MediaError::decodeFailed, std::string("Cannot scale frames of ") +
                                                                 (name ? name : "an unknown format") + ".");
        }
        // The range as it is on both sides (a change of layout only).
        const int full = frame->color_range == AVCOL_RANGE_JPEG ? 1 : 0;
        const int* table = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(sws_.get(), table, full, table, full, 0, 1 << 16, 1 << 16);
        format_ = format;
        range_ = frame->color_range;
        sourceWidth_ = frame->width;
        sourceHeight_ = frame->height;
        width_ = width;
        height_ = height;
    }
    FramePtr scaled = allocFrame();
    scaled->format = output;
    scaled->width = width;
    scaled->height = height;
    int rc = av_frame_get_buffer(scaled.get(), 64);
    if (rc < 0) {
        throw error(MediaError::decodeFailed, "Cannot allocate a scaled frame", rc);
    }
    rc = av_frame_copy_props(scaled.get(), frame);
    if (rc >= 0) {
        rc = sws_scale(sws_.get(), frame->data, frame->linesize, 0, frame->height, scaled->data, scaled->linesize);
    }
    if (rc < 0) {
        throw error(MediaError::decodeFailed, "Cannot scale a decoded frame", rc);
    }
    return scaled;
}

Image FrameImageConverter::convert(const AVFrame* frame, AVColorSpace streamSpace)
{
    const AVColorSpace space = frame->colorspace != AVCOL_SPC_UNSPECIFIED ? frame->colorspace : streamSpace;
    if (std::optional<yuv::Planes> planes = planesOf(frame)) {
        planes->matrix = matrixOf(space);
        return yuv::toImage(*planes);
    }
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    if (!desc) {
        throw MediaError::make(MediaError::decodeFailed, "A decoded frame has an unknown pixel format.");
    }
    const bool rgb = (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) || desc->nb_components < 3;
    const AVPixelFormat target = rgb ? AV_PIX_FMT_RGBA64LE : AV_PIX_FMT_YUV444P16LE;
    if (!sws_ || swsSource_ != frame->format || swsWidth_ != frame->width || swsHeight_ != frame->height) {
        sws_.reset(sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->width,
                                  frame->height, target, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
                                  nullptr, nullptr));
        if (!sws_) {
            throw MediaError::make(MediaError::decodeFailed,
                                   std::string("Cannot convert frames of ") + desc->name + " for display.");
        }
        if (!rgb) {
            // Keep the range as it is: the matrix step below reads it from the frame.
            const int full = frame->color_range == AVCOL_RANGE_JPEG ? 1 : 0;
            const int* table = sws_getCoefficients(SWS_CS_ITU709);
            sws_setColorspaceDetails(sws_.get(), table, full, table, full, 0, 1 << 16, 1 << 16);
        }
        scratch_ = allocFrame();
        scratch_->format = target;
        scratch_->width = frame->width;
        scratch_->height = frame->height;
        const int rc = av_frame_get_buffer(scratch_.get(), 64);
        if (rc < 0) {
            throw error(MediaError::decodeFailed, "Cannot allocate a conversion frame", rc);
        }
        swsSource_ = frame->format;
        swsWidth_ = frame->width;
        swsHeight_ = frame->height;
    }
    const int rc = sws_scale(sws_.get(), frame->data, frame->linesize, 0, frame->height, scratch_->data,
                             scratch_->linesize);
    if (rc < 0) {
        throw error(MediaError::decodeFailed, "Cannot convert a decoded frame", rc);
    }
    if (rgb) {
        return rgba64ToImage(scratch_.get());
    }
    yuv::Planes planes = *planesOf(scratch_.get());
    planes.fullRange = frame->color_range == AVCOL_RANGE_JPEG;
    planes.matrix = matrixOf(space);
    return yuv::toImage(planes);
}

} // namespace velmora::ffmpeg
