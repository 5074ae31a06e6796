#pragma once

// Private to the media layer: decoded pictures placed into the player's frames.

#include <cstdint>
#include <span>
#include <vector>

#include "platform/image/Geometry.h"
#include "platform/image/Image.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/internal/FFmpegSupport.h"
#include "platform/media/internal/FrameConvert.h"

namespace velmora::internal {

// One picture of a frame and where it goes: `transform` maps its encoded pixels (y down) into the
// render area (y down), as a video composition's layer transform does.
struct CompositorLayer {
    const AVFrame* frame = nullptr;
    AffineTransform transform;
};

// Draws layers into BGRA frames of the render size.
//
// Layers whose transform keeps the axes (any scale, flips and quarter turns) are scaled straight
// from the decoded planes into the frame by libswscale, rows split across threads: the visible
// part of the source is cut out first, so a picture cropped by a fill is never scaled whole.
// Other transforms go through float images (bilinear). Pictures are opaque: the top layer that
// covers the frame hides everything under it.
//
// One compositor per thread; it keeps its scaling contexts and scratch memory between frames.
class FrameCompositor {
public:
    explicit FrameCompositor(int threads);

    // Draws `layers` (top first) into `canvas` (BGRA), black where none covers it. Throws
    // velmora::Error (media, decodeFailed) when a picture cannot be converted.
    void compose(std::span<const CompositorLayer> layers, PixelBuffer& canvas);

    // The layers placed by their transforms as one float image in the y-up space of the render
    // area (height `renderHeight`), not cut to it: what a video composition's handler takes.
    Image placedImage(std::span<const CompositorLayer> layers, int renderHeight);

    // Opaque black over the whole canvas.
    static void fillBlack(PixelBuffer& canvas);

private:
    // An axis-keeping layer's cut of the source and its place on the canvas.
    struct Placement {
        bool visible = false;
        bool coversCanvas = false;
        // Source x runs down the canvas and source y across it (a quarter turn).
        bool swapped = false;
        // The scaled picture runs against the canvas's x or y axis.
        bool flipX = false;
        bool flipY = false;
        int srcX = 0, srcY = 0, srcWidth = 0, srcHeight = 0;
        int dstX = 0, dstY = 0, dstWidth = 0, dstHeight = 0;
    };
    struct Scaler {
        ffmpeg::SwsPtr context;
        int srcWidth = 0;
        int srcHeight = 0;
        int srcFormat = -1;
        int dstWidth = 0;
        int dstHeight = 0;
        int colorspace = -1;
        int srcRange = -1;
        std::uint64_t lastUse = 0;
    };

    // Where an axis-keeping layer lands, or false when it needs the float path.
    bool place(const CompositorLayer& layer, int canvasWidth, int canvasHeight, Placement& out) const;
    void drawPlaced(const CompositorLayer& layer, const Placement& placement, PixelBuffer& canvas);
    void composeFloat(std::span<const CompositorLayer> layers, PixelBuffer& canvas);
    // Scales the source rectangle `placement` cuts out to dstWidth × dstHeight at `dst`.
    void scale(const AVFrame* frame, const Placement& placement, int dstWidth, int dstHeight, std::uint8_t* dst,
               std::ptrdiff_t dstStride);
    Scaler& scalerFor(const AVFrame* frame, int srcWidth, int srcHeight, int dstWidth, int dstHeight);
    Image imageOf(const AVFrame* frame);

    const int threads_;
    std::vector<Scaler> scalers_;
    std::uint64_t uses_ = 0;
    ffmpeg::FramePtr source_;
    ffmpeg::FramePtr target_;
    std::vector<std::uint32_t> scratch_; // scaled picture before a flip or quarter turn
    std::vector<Placement> placements_;
    ffmpeg::FrameImageConverter converter_;
};

} // namespace velmora::internal
