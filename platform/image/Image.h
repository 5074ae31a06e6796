#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/image/Geometry.h"
#include "platform/image/PixelOp.h"

namespace velmora {

// Colour metadata carried with an image or a pixel buffer. Metadata only: nothing in the image
// layer converts colours by these tags (the grade works on the decoded R'G'B' values as they are).
// Empty strings and an absent gamma level mean "not tagged".
struct ImageTags {
    std::string colorRange;       // "VideoRange" or "FullRange"
    std::string yCbCrMatrix;      // e.g. "ITU_R_709_2"
    std::string colorPrimaries;   // e.g. "ITU_R_709_2"
    std::string transferFunction; // e.g. "ITU_R_709_2", "sRGB"
    std::optional<double> gammaLevel;

    bool operator==(const ImageTags&) const = default;
};

// A float32 RGBA image with straight (not premultiplied) alpha.
//
// Three kinds:
// - empty: the default value; extent() is empty.
// - constant: one colour over an infinite extent (Image::constant).
// - pixels: width x height pixels with a finite, whole-pixel extent.
//
// Coordinates. extent() is in the y-up space of the design's image framework: (x, y) is the
// bottom-left corner, y grows upwards, pixel (i, j) of the extent covers [x+i, x+i+1) x
// [y+j, y+j+1) and its centre is at +0.5. Storage runs the other way: row(0) is the TOP row
// (extent y + height - 1), row(height - 1) the bottom row, as decoders and encoders lay frames out.
// A row holds width() pixels of 4 floats (r, g, b, a); rows are rowStride() floats apart
// (at least 4 * width(); larger for crops that share their parent's pixels).
//
// Value semantics. Copies are cheap: pixels are shared and immutable. To change pixels, call
// mutableRow(), which first detaches (copies the pixels when another Image shares them), or
// build a new image with Image::allocate. Crops share their parent's pixels.
//
// Deferred per-pixel steps. Colour operations (grading steps, colour matrix, gamma, ...) do not
// touch pixels: they return an image with the step appended to a list of pending PixelOps. The
// steps run, all of them in one pass over spans of rows (each span stays in the L1 cache while
// every step runs over it) split across cores, the first time pixels are read (row(), pixel(),
// rendered()) or streamed out with renderRows(). Copies of one image share that rendering, so it
// happens once. A constant image applies steps to its colour at once.
//
// Threads. An Image may be read (row, pixel, renderRows, copies) from several threads at once;
// the first reader renders and the others wait for it. mutableRow() and assignment need the
// usual exclusive access to that Image object.
class Image {
public:
    // The empty image.
    Image();

    // A colour over the infinite extent.
    static Image constant(const Color& color);

    // A new image of width x height pixels whose extent starts at (x, y), with uninitialised
    // pixels taken from the process-wide buffer pool. Rows are tightly packed (stride 4 * width).
    // Throws std::invalid_argument for a negative or absurd size (over 2^30 pixels).
    static Image allocate(int width, int height, int x = 0, int y = 0);
    // Like allocate, every pixel set to `color`.
    static Image filled(int width, int height, const Color& color, int x = 0, int y = 0);

    bool isEmpty() const { return kind_ == Kind::empty; }
    bool isConstant() const { return kind_ == Kind::constant; }
    bool hasPixels() const { return kind_ == Kind::pixels; }

    // Pixels; 0 for empty and constant images.
    int width() const { return width_; }
    int height() const { return height_; }
    // The bottom-left corner in y-up space (0 for empty and constant images).
    int originX() const { return x_; }
    int originY() const { return y_; }
    // Empty, infinite (constant) or (originX, originY, width, height).
    Rect extent() const;

    // The colour of a constant image (transparent black otherwise).
    Color constantColor() const { return constant_; }

    // Storage row `i` (0 = top) after every pending step has run. Valid while this Image (or a
    // copy sharing its pixels) lives and is not mutated. Requires hasPixels() and 0 <= i < height.
    const float* row(int i) const;
    // Floats between successive rows of row().
    std::ptrdiff_t rowStride() const;

    // The pixel whose centre is at (x + 0.5, y + 0.5) in extent space; transparent black outside
    // the extent; the colour of a constant image anywhere.
    Color pixel(int x, int y) const;

    // Writable storage row `i` (0 = top). The first call renders pending steps and copies the
    // pixels when they are shared with another Image; later calls are cheap.
    float* mutableRow(int i);
    // Renders pending steps and makes this Image the only owner of its pixels.
    void makeWritable();

    // Renders storage rows [firstRow, firstRow + rowCount) with every pending step into `dst`
    // (rows `dstStride` floats apart, 4 floats per pixel) without keeping the result. Lets a
    // converter stream a graded frame straight into its output format without a full float
    // frame in between. Safe to call from several threads on disjoint rows.
    void renderRows(int firstRow, int rowCount, float* dst, std::ptrdiff_t dstStride) const;

    // This image with every pending step done (itself when none is pending).
    Image rendered() const;

    // Pending per-pixel steps, oldest first.
    const std::vector<PixelOp>& pendingOps() const;
    bool hasPendingOps() const { return ops_ && !ops_->empty(); }

    // An image whose pixels are this image's with `op` appended to the pending steps.
    // Constant images apply a colour step at once. Empty images return themselves.
    Image appending(PixelOp op) const;

    // When this image is `base` with steps appended (same source pixels and geometry, and
    // base's pending steps a prefix of this image's), the appended steps; otherwise nothing.
    // Lets a blend of an image with a recoloured copy of itself run as one step.
    std::optional<std::vector<PixelOp>> stepsAfter(const Image& base) const;

    // True when both values are the same image: same kind, extent, pixels and pending steps (a
    // copy is identical to its source; a recomputed equal-valued image is not).
    bool isIdenticalTo(const Image& other) const;

    // A view of the part of this image inside `rect` (whole pixels, extent space), sharing pixels
    // and pending steps. A constant image gives a filled pixel image; no overlap gives the empty
    // image.
    Image croppedTo(const IntRect& rect) const;
    // The same pixels with the extent moved by whole pixels. Pending position-dependent steps
    // are rendered first, so they keep the positions they were defined for.
    Image translatedBy(int dx, int dy) const;

    ImageTags tags;

private:
    enum class Kind { empty, constant, pixels };
    struct Render;

    const float* storageBase() const; // rendered pixels, top row first
    void renderRowsInto(int firstRow, int rowCount, float* dst, std::ptrdiff_t dstStride,
                        bool streaming) const;

    Kind kind_ = Kind::empty;
    Color constant_{0, 0, 0, 0};
    int width_ = 0;
    int height_ = 0;
    int x_ = 0;
    int y_ = 0;
    // Source pixels (before pending steps): `pixels_` keeps the buffer alive, `data_` points at
    // the top-left pixel of this image within it.
    std::shared_ptr<const float> pixels_;
    const float* data_ = nullptr;
    std::ptrdiff_t stride_ = 0;
    // Pending steps, shared by copies; never modified once built.
    std::shared_ptr<const std::vector<PixelOp>> ops_;
    // The rendering of source + ops, shared by copies and made once on first read.
    std::shared_ptr<Render> render_;
};

} // namespace velmora
