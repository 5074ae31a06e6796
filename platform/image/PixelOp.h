#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace velmora {

// Where a span of pixels lies, for position-dependent steps: the extent-space coordinates of the
// centre of the span's first pixel (x) and of its row (y). Successive pixels are at x + 1, x + 2...
struct SpanPosition {
    double x = 0;
    double y = 0;
};

// A span of one row in planar form: the four components in separate arrays, each 32-byte aligned
// and holding `paddedCount` floats (count rounded up to a multiple of 8). Lanes from count to
// paddedCount hold finite filler that a step may compute on freely; their results are dropped.
struct PlanarSpan {
    float* r = nullptr;
    float* g = nullptr;
    float* b = nullptr;
    float* a = nullptr;
    std::size_t count = 0;
    std::size_t paddedCount = 0;
    // Null for the colour of a constant image: position-dependent steps then leave it as it is.
    const SpanPosition* where = nullptr;
};

// The most pixels a span holds.
inline constexpr std::size_t maxSpanPixels = 256;

// One deferred per-pixel step of an Image: a function run over spans of one row, in place, on
// straight-alpha float RGBA. `state` holds everything the step precomputed when it was made and
// is immutable, so one PixelOp may run on many threads at once. The function is called once per
// span (up to maxSpanPixels pixels), never per pixel.
//
// Two forms. Interleaved (make): State has
//   void apply(float* rgba, std::size_t count, const SpanPosition* where) const
// on r, g, b, a interleaved; `where` is null for a constant image's colour. Planar (makePlanar):
// State has
//   void applyPlanar(const PlanarSpan& span) const
// and suits code that works on several pixels at once (see LaneLoop.h). A chain of planar steps
// runs without converting between the forms.
struct PixelOp {
    using Fn = void (*)(const void* state, float* rgba, std::size_t count, const SpanPosition* where);
    using PlanarFn = void (*)(const void* state, const PlanarSpan& span);

    Fn fn = nullptr;
    PlanarFn planarFn = nullptr;
    std::shared_ptr<const void> state;
    // True when the result depends on the pixel's position (vignette, dither).
    bool positional = false;

    bool isPlanar() const { return planarFn != nullptr; }

    template <class State>
    static PixelOp make(State s, bool positional = false)
    {
        PixelOp op;
        op.state = std::make_shared<const State>(std::move(s));
        op.fn = [](const void* st, float* rgba, std::size_t count, const SpanPosition* where) {
            static_cast<const State*>(st)->apply(rgba, count, where);
        };
        op.positional = positional;
        return op;
    }

    template <class State>
    static PixelOp makePlanar(State s, bool positional = false)
    {
        PixelOp op;
        op.state = std::make_shared<const State>(std::move(s));
        op.planarFn = [](const void* st, const PlanarSpan& span) {
            static_cast<const State*>(st)->applyPlanar(span);
        };
        op.positional = positional;
        return op;
    }
};

// Runs `ops` in order over a planar span (count <= maxSpanPixels), converting to and from the
// interleaved form around interleaved steps. When given, `beforeStep(context, k)` is called
// before step k (0 to ops.size() - 1), which lets the caller spread memory traffic of its own over
// the steps' arithmetic.
void runPixelOps(const std::vector<PixelOp>& ops, const PlanarSpan& span,
                 void (*beforeStep)(void* context, std::size_t step) = nullptr, void* context = nullptr);

// Conversions between interleaved RGBA and a planar span; deinterleave fills the padding lanes
// with zeros.
void deinterleave(const float* rgba, const PlanarSpan& span);
void interleave(const PlanarSpan& span, float* rgba);
// interleave with stores that bypass the caches, for frames too large to stay in them (saves
// reading the destination before writing it). Call finishStreaming() before another thread
// reads what was written.
void interleaveStreaming(const PlanarSpan& span, float* rgba);
void finishStreaming();

} // namespace velmora
