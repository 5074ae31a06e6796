#pragma once

#include <cstddef>
#include <memory>
#include <utility>

namespace velmora {

// Where a span of pixels lies, for position-dependent steps: the extent-space coordinates of the
// centre of the span's first pixel (x) and of its row (y). Successive pixels are at x + 1, x + 2...
struct SpanPosition {
    double x = 0;
    double y = 0;
};

// One deferred per-pixel step of an Image: a function run over spans of one row, in place, on
// straight-alpha float RGBA. `state` holds everything the step precomputed when it was made and
// is immutable, so one PixelOp may run on many threads at once. `where` is null for the colour of
// a constant image; position-dependent steps then treat the pixel as having no position.
//
// The function is called once per span (up to a few hundred pixels), never per pixel; make()
// turns a State with `void apply(float*, std::size_t, const SpanPosition*) const` into one so that
// the compiler sees the whole per-pixel loop.
struct PixelOp {
    using Fn = void (*)(const void* state, float* rgba, std::size_t count, const SpanPosition* where);

    Fn fn = nullptr;
    std::shared_ptr<const void> state;
    // True when the result depends on the pixel's position (vignette, dither).
    bool positional = false;

    void run(float* rgba, std::size_t count, const SpanPosition* where) const
    {
        fn(state.get(), rgba, count, where);
    }

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
};

} // namespace velmora
