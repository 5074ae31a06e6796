#include "platform/media/internal/FrameCompositor.h"

#include <algorithm>
#include <cmath>

#include "platform/dispatch/ConcurrentPerform.h"
#include "platform/image/Composite.h"
#include "platform/image/Resample.h"
#include "platform/media/PixelBufferImage.h"

namespace velmora::internal {

namespace {

constexpr std::uint32_t kOpaqueBlack = 0xff000000u; // B, G, R, A bytes on a little-endian machine
constexpr std::size_t kMaximumScalers = 4;
// Below this, a coefficient of a transform counts as zero.
constexpr double kZero = 1e-9;

// The transform between y-down pixel spaces (source of height h, render area of height H) as
// the image layer's y-up spaces see it.
AffineTransform yUp(const AffineTransform& transform, double h, double H)
{
    return AffineTransform{1, 0, 0, -1, 0, h}.concatenating(transform).concatenating(AffineTransform{1, 0, 0, -1, 0, H});
}

// `value` rounded to the nearest multiple of `step`, within [0, limit].
int alignedEdge(double value, int step, int limit)
{
    const double rounded = std::round(value / step) * step;
    return static_cast<int>(std::clamp(rounded, 0.0, static_cast<double>(limit)));
}

int swsColorspace(AVColorSpace space)
{
    switch (space) {
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M: return SWS_CS_ITU601;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return SWS_CS_BT2020;
    case AVCOL_SPC_SMPTE240M: return SWS_CS_SMPTE240M;
    default: return SWS_CS_ITU709; // untagged pictures are BT.709
    }
}

bool isFullRange(const AVFrame* frame)
{
    switch (frame->format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P: return true;
    default: return frame->color_range == AVCOL_RANGE_JPEG;
    }
}

void freeNothing(void*, std::uint8_t*) {}

void fillRows(PixelBuffer& canvas, int x, int y, int width, int height)
{
    if (width <= 0 || height <= 0) {
        return;
    }
    std::uint8_t* base = canvas.baseAddress(0);
    const std::ptrdiff_t stride = canvas.bytesPerRow(0);
    for (int row = y; row < y + height; ++row) {
        auto* pixels = reinterpret_cast<std::uint32_t*>(base + stride * row) + x;
        std::fill(pixels, pixels + width, kOpaqueBlack);
    }
}

} // namespace

FrameCompositor::FrameCompositor(int threads)
    : threads_(std::max(1, threads)), source_(ffmpeg::allocFrame()), target_(ffmpeg::allocFrame())
{
}

void FrameCompositor::fillBlack(PixelBuffer& canvas)
{
    fillRows(canvas, 0, 0, canvas.width(), canvas.height());
}

bool FrameCompositor::place(const CompositorLayer& layer, int canvasWidth, int canvasHeight, Placement& out) const
{
    const AffineTransform& t = layer.transform;
    const bool upright = std::fabs(t.b) < kZero && std::fabs(t.c) < kZero && std::fabs(t.a) > kZero && std::fabs(t.d) > kZero;
    const bool turned = std::fabs(t.a) < kZero && std::fabs(t.d) < kZero && std::fabs(t.b) > kZero && std::fabs(t.c) > kZero;
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(layer.frame->format));
    if ((!upright && !turned) || !desc ||
        (desc->flags & (AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_PAL)) ||
        !std::isfinite(t.tx) || !std::isfinite(t.ty)) {
        return false;
    }
    out = Placement{};
    out.swapped = turned;
    out.flipX = upright ? t.a < 0 : t.c < 0;
    out.flipY = upright ? t.d < 0 : t.b < 0;

    const int w = layer.frame->width;
    const int h = layer.frame->height;
    const Rect placed = t.apply(Rect{0, 0, static_cast<double>(w), static_cast<double>(h)});
    const double x0 = std::max(placed.x, 0.0);
    const double y0 = std::max(placed.y, 0.0);
    const double x1 = std::min(placed.maxX(), static_cast<double>(canvasWidth));
    const double y1 = std::min(placed.maxY(), static_cast<double>(canvasHeight));
    out.dstX = static_cast<int>(std::lround(x0));
    out.dstY = static_cast<int>(std::lround(y0));
    out.dstWidth = static_cast<int>(std::lround(x1)) - out.dstX;
    out.dstHeight = static_cast<int>(std::lround(y1)) - out.dstY;
    if (out.dstWidth <= 0 || out.dstHeight <= 0) {
        return true; // nothing of it shows
    }
    out.visible = true;
    out.coversCanvas = out.dstX == 0 && out.dstY == 0 && out.dstWidth == canvasWidth && out.dstHeight == canvasHeight;

    // The part of the source that shows, cut on chroma sample boundaries so that the planes can
    // be addressed from the cut's corner.
    const Rect visible = t.inverted().apply(Rect{x0, y0, x1 - x0, y1 - y0});
    const bool chroma = !(desc->flags & AV_PIX_FMT_FLAG_RGB) && desc->nb_components >= 3;
    const int stepX = chroma ? 1 << desc->log2_chroma_w : 1;
    const int stepY = chroma ? 1 << desc->log2_chroma_h : 1;
    int sx0 = alignedEdge(visible.x, stepX, w);
    int sx1 = std::max(alignedEdge(visible.maxX(), stepX, w), std::min(w, sx0 + stepX));
    int sy0 = alignedEdge(visible.y, stepY, h);
    int sy1 = std::max(alignedEdge(visible.maxY(), stepY, h), std::min(h, sy0 + stepY));
    if (visible.maxX() >= w - 0.5) {
        sx1 = w; // an odd width keeps its last column
    }
    if (visible.maxY() >= h - 0.5) {
        sy1 = h;
    }
    sx0 = std::min(sx0, sx1 - 1);
    sy0 = std::min(sy0, sy1 - 1);
    out.srcX = sx0 - sx0 % stepX;
    out.srcY = sy0 - sy0 % stepY;
    out.srcWidth = sx1 - out.srcX;
    out.srcHeight = sy1 - out.srcY;
    return true;
}

FrameCompositor::Scaler& FrameCompositor::scalerFor(const AVFrame* frame, int srcWidth, int srcHeight, int dstWidth,
                                                    int dstHeight)
{
    const int colorspace = swsColorspace(frame->colorspace);
    const int srcRange = isFullRange(frame) ? 1 : 0;
    ++uses_;
    for (Scaler& s : scalers_) {
        if (s.srcWidth == srcWidth && s.srcHeight == srcHeight && s.srcFormat == frame->format &&
            s.dstWidth == dstWidth && s.dstHeight == dstHeight && s.colorspace == colorspace && s.srcRange == srcRange) {
            s.lastUse = uses_;
            return s;
        }
    }
    ffmpeg::SwsPtr context(sws_alloc_context());
    if (!context) {
        throw std::bad_alloc();
    }
    SwsContext* c = context.get();
    av_opt_set_int(c, "srcw", srcWidth, 0);
    av_opt_set_int(c, "srch", srcHeight, 0);
    av_opt_set_int(c, "src_format", frame->format, 0);
    av_opt_set_int(c, "dstw", dstWidth, 0);
    av_opt_set_int(c, "dsth", dstHeight, 0);
    av_opt_set_int(c, "dst_format", AV_PIX_FMT_BGRA, 0);
    av_opt_set_int(c, "sws_flags", SWS_BILINEAR, 0);
    av_opt_set_int(c, "threads", threads_, 0);
    const int rc = sws_init_context(c, nullptr, nullptr);
    if (rc < 0) {
        const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
        throw ffmpeg::error(MediaError::decodeFailed,
                            std::string("Cannot scale pictures of ") + (desc ? desc->name : "an unknown format"), rc);
    }
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    if (desc && !(desc->flags & AV_PIX_FMT_FLAG_RGB) && desc->nb_components >= 3) {
        sws_setColorspaceDetails(c, sws_getCoefficients(colorspace), srcRange, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                                 0, 1 << 16, 1 << 16);
    }
    Scaler fresh{std::move(context), srcWidth, srcHeight, frame->format, dstWidth, dstHeight, colorspace, srcRange, uses_};
    if (scalers_.size() < kMaximumScalers) {
        scalers_.push_back(std::move(fresh));
        return scalers_.back();
    }
    Scaler& oldest = *std::min_element(scalers_.begin(), scalers_.end(),
                                       [](const Scaler& a, const Scaler& b) { return a.lastUse < b.lastUse; });
    oldest = std::move(fresh);
    return oldest;
}

void FrameCompositor::scale(const AVFrame* frame, const Placement& placement, int dstWidth, int dstHeight,
                            std::uint8_t* dst, std::ptrdiff_t dstStride)
{
    Scaler& scaler = scalerFor(frame, placement.srcWidth, placement.srcHeight, dstWidth, dstHeight);

    // The source: the decoded frame's planes from the cut's corner on.
    av_frame_unref(source_.get());
    int rc = av_frame_ref(source_.get(), frame);
    if (rc < 0) {
        throw ffmpeg::error(MediaError::decodeFailed, "Cannot reference a decoded frame", rc);
    }
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    bool shifted[AV_NUM_DATA_POINTERS] = {};
    for (int c = 0; c < desc->nb_components; ++c) {
        const int plane = desc->comp[c].plane;
        if (shifted[plane]) {
            continue;
        }
        shifted[plane] = true;
        const bool chroma = (c == 1 || c == 2) && !(desc->flags & AV_PIX_FMT_FLAG_RGB);
        const int x = chroma ? placement.srcX >> desc->log2_chroma_w : placement.srcX;
        const int y = chroma ? placement.srcY >> desc->log2_chroma_h : placement.srcY;
        source_->data[plane] += static_cast<std::ptrdiff_t>(y) * source_->linesize[plane] +
                                static_cast<std::ptrdiff_t>(x) * desc->comp[c].step;
    }
    source_->width = placement.srcWidth;
    source_->height = placement.srcHeight;

    // The target: the caller's memory, wrapped without taking ownership.
    av_frame_unref(target_.get());
    target_->format = AV_PIX_FMT_BGRA;
    target_->width = dstWidth;
    target_->height = dstHeight;
    target_->data[0] = dst;
    target_->linesize[0] = static_cast<int>(dstStride);
    target_->buf[0] = av_buffer_create(dst, static_cast<std::size_t>(dstStride) * dstHeight, freeNothing, nullptr, 0);
    if (!target_->buf[0]) {
        av_frame_unref(source_.get());
        throw std::bad_alloc();
    }
    rc = sws_scale_frame(scaler.context.get(), target_.get(), source_.get());
    av_frame_unref(target_.get());
    av_frame_unref(source_.get());
    if (rc < 0) {
        throw ffmpeg::error(MediaError::decodeFailed, "Cannot scale a decoded frame", rc);
    }
}

void FrameCompositor::drawPlaced(const CompositorLayer& layer, const Placement& p, PixelBuffer& canvas)
{
    std::uint8_t* base = canvas.baseAddress(0);
    const std::ptrdiff_t stride = canvas.bytesPerRow(0);
    if (!p.swapped && !p.flipX && !p.flipY) {
        scale(layer.frame, p, p.dstWidth, p.dstHeight, base + stride * p.dstY + 4 * static_cast<std::ptrdiff_t>(p.dstX),
              stride);
        return;
    }
    // Scaled as stored, then turned or mirrored into place.
    const int scaledWidth = p.swapped ? p.dstHeight : p.dstWidth;
    const int scaledHeight = p.swapped ? p.dstWidth : p.dstHeight;
    scratch_.resize(static_cast<std::size_t>(scaledWidth) * scaledHeight);
    scale(layer.frame, p, scaledWidth, scaledHeight, reinterpret_cast<std::uint8_t*>(scratch_.data()),
          static_cast<std::ptrdiff_t>(scaledWidth) * 4);
    const std::uint32_t* scaled = scratch_.data();
    concurrentPerform(static_cast<std::size_t>(p.dstHeight), 16, [&](std::size_t begin, std::size_t end) {
        for (std::size_t row = begin; row < end; ++row) {
            const int j = static_cast<int>(row);
            auto* out = reinterpret_cast<std::uint32_t*>(base + stride * (p.dstY + j)) + p.dstX;
            if (!p.swapped) {
                const std::uint32_t* in = scaled + static_cast<std::ptrdiff_t>(p.flipY ? scaledHeight - 1 - j : j) * scaledWidth;
                for (int i = 0; i < p.dstWidth; ++i) {
                    out[i] = in[p.flipX ? scaledWidth - 1 - i : i];
                }
            } else {
                // Canvas row j is scaled column u; canvas column i is scaled row v.
                const int u = p.flipY ? scaledWidth - 1 - j : j;
                for (int i = 0; i < p.dstWidth; ++i) {
                    const int v = p.flipX ? scaledHeight - 1 - i : i;
                    out[i] = scaled[static_cast<std::ptrdiff_t>(v) * scaledWidth + u];
                }
            }
        }
    });
}

Image FrameCompositor::imageOf(const AVFrame* frame)
{
    return converter_.convert(frame);
}

void FrameCompositor::composeFloat(std::span<const CompositorLayer> layers, PixelBuffer& canvas)
{
    const IntRect area{0, 0, canvas.width(), canvas.height()};
    Image picture = Image::filled(canvas.width(), canvas.height(), Color{0, 0, 0, 1});
    for (auto layer = layers.rbegin(); layer != layers.rend(); ++layer) {
        const Image placed = affineTransformCropped(
            imageOf(layer->frame), yUp(layer->transform, layer->frame->height, canvas.height()), area);
        picture = sourceOver(placed, picture, area);
    }
    renderImageToPixelBuffer(picture, canvas);
}

Image FrameCompositor::placedImage(std::span<const CompositorLayer> layers, int renderHeight)
{
    Image picture;
    for (auto layer = layers.rbegin(); layer != layers.rend(); ++layer) {
        const Image placed =
            affineTransform(imageOf(layer->frame), yUp(layer->transform, layer->frame->height, renderHeight));
        picture = picture.isEmpty() ? placed : sourceOver(placed, picture);
    }
    return picture;
}

void FrameCompositor::compose(std::span<const CompositorLayer> layers, PixelBuffer& canvas)
{
    const int width = canvas.width();
    const int height = canvas.height();
    placements_.resize(layers.size());
    for (std::size_t i = 0; i < layers.size(); ++i) {
        if (!place(layers[i], width, height, placements_[i])) {
            composeFloat(layers, canvas);
            return;
        }
    }
    // Layers under the top one that covers the canvas do not show.
    std::size_t shown = layers.size();
    bool covered = false;
    for (std::size_t i = 0; i < layers.size() && !covered; ++i) {
        covered = placements_[i].coversCanvas;
        shown = i + 1;
    }
    if (!covered) {
        if (layers.size() == 1 && placements_[0].visible) {
            const Placement& p = placements_[0];
            fillRows(canvas, 0, 0, width, p.dstY);
            fillRows(canvas, 0, p.dstY, p.dstX, p.dstHeight);
            fillRows(canvas, p.dstX + p.dstWidth, p.dstY, width - p.dstX - p.dstWidth, p.dstHeight);
            fillRows(canvas, 0, p.dstY + p.dstHeight, width, height - p.dstY - p.dstHeight);
        } else {
            fillBlack(canvas);
        }
    }
    for (std::size_t i = shown; i-- > 0;) {
        if (placements_[i].visible) {
            drawPlaced(layers[i], placements_[i], canvas);
        }
    }
}

} // namespace velmora::internal
