#include "platform/image/Image.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <xmmintrin.h>

#include "platform/dispatch/ConcurrentPerform.h"
#include "platform/image/ImagePool.h"

namespace velmora {

namespace {

constexpr long long maxPixels = 1LL << 30;

// Renderings larger than this are written with cache-bypassing stores: they cannot stay in the
// caches anyway, and skipping the read of the destination saves a third of the memory traffic.
constexpr std::size_t streamingBytes = std::size_t{16} << 20;

const std::vector<PixelOp>& noOps()
{
    static const std::vector<PixelOp> empty;
    return empty;
}

} // namespace

// The once-made rendering of (source pixels + pending steps), shared by copies of an Image.
struct Image::Render {
    std::once_flag once;
    std::atomic<bool> done{false};
    std::shared_ptr<float> pixels; // tightly packed, top row first
};

Image::Image() = default;

Image Image::constant(const Color& color)
{
    Image image;
    image.kind_ = Kind::constant;
    image.constant_ = color;
    return image;
}

Image Image::allocate(int width, int height, int x, int y)
{
    if (width < 0 || height < 0 || static_cast<long long>(width) * height > maxPixels) {
        throw std::invalid_argument("image size out of range");
    }
    Image image;
    if (width == 0 || height == 0) {
        return image;
    }
    image.kind_ = Kind::pixels;
    image.width_ = width;
    image.height_ = height;
    image.x_ = x;
    image.y_ = y;
    auto buffer = ImagePool::acquire(static_cast<std::size_t>(width) * height * 4);
    image.data_ = buffer.get();
    image.pixels_ = std::move(buffer);
    image.stride_ = static_cast<std::ptrdiff_t>(width) * 4;
    return image;
}

Image Image::filled(int width, int height, const Color& color, int x, int y)
{
    Image image = allocate(width, height, x, y);
    if (!image.hasPixels()) {
        return image;
    }
    float* base = const_cast<float*>(image.data_);
    const std::size_t count = static_cast<std::size_t>(width) * height;
    concurrentPerform(static_cast<std::size_t>(height), 16, [&](std::size_t begin, std::size_t end) {
        const std::size_t w = static_cast<std::size_t>(width);
        for (std::size_t i = begin * w; i < end * w && i < count; ++i) {
            base[i * 4 + 0] = color.r;
            base[i * 4 + 1] = color.g;
            base[i * 4 + 2] = color.b;
            base[i * 4 + 3] = color.a;
        }
    });
    return image;
}

Rect Image::extent() const
{
    switch (kind_) {
    case Kind::empty:
        return {};
    case Kind::constant:
        return Rect::infinite();
    case Kind::pixels:
        break;
    }
    return {static_cast<double>(x_), static_cast<double>(y_), static_cast<double>(width_),
            static_cast<double>(height_)};
}

const std::vector<PixelOp>& Image::pendingOps() const
{
    return ops_ ? *ops_ : noOps();
}

namespace {

// The next span's source, fetched into the cache a slice before each step of the current span,
// so that reading it costs no wait when its turn comes.
struct NextSource {
    const float* begin = nullptr;
    std::size_t floats = 0;
    std::size_t slice = 0; // floats per step (a multiple of 16)

    static void beforeStep(void* context, std::size_t step)
    {
        const auto* next = static_cast<const NextSource*>(context);
        const std::size_t end = std::min(next->floats, (step + 1) * next->slice);
        for (std::size_t f = step * next->slice; f < end; f += 16) {
            _mm_prefetch(reinterpret_cast<const char*>(next->begin + f), _MM_HINT_T0);
        }
    }
};

} // namespace

void Image::renderRowsInto(int firstRow, int rowCount, float* dst, std::ptrdiff_t dstStride,
                           bool streaming) const
{
    const std::vector<PixelOp>& ops = pendingOps();
    const std::size_t w = static_cast<std::size_t>(width_);
    alignas(64) float planes[4][maxSpanPixels];
    for (int r = 0; r < rowCount; ++r) {
        const int i = firstRow + r;
        const float* src = data_ + static_cast<std::ptrdiff_t>(i) * stride_;
        float* out = dst + static_cast<std::ptrdiff_t>(r) * dstStride;
        if (ops.empty()) {
            std::memcpy(out, src, w * 4 * sizeof(float));
            continue;
        }
        // Storage row i is extent row (height - 1 - i) from the bottom.
        SpanPosition where{x_ + 0.5, static_cast<double>(y_) + (height_ - 1 - i) + 0.5};
        for (std::size_t begin = 0; begin < w; begin += maxSpanPixels) {
            const std::size_t n = std::min(maxSpanPixels, w - begin);
            where.x = x_ + static_cast<double>(begin) + 0.5;
            const PlanarSpan span{planes[0], planes[1], planes[2], planes[3], n, (n + 7) & ~std::size_t{7}, &where};
            deinterleave(src + begin * 4, span);
            NextSource next;
            if (begin + n < w) {
                next.begin = src + (begin + n) * 4;
                next.floats = std::min(maxSpanPixels, w - begin - n) * 4;
            } else if (r + 1 < rowCount) {
                next.begin = src + stride_;
                next.floats = std::min(maxSpanPixels, w) * 4;
            }
            next.slice = (next.floats / ops.size() + 15) / 16 * 16;
            runPixelOps(ops, span, next.begin ? &NextSource::beforeStep : nullptr, &next);
            if (streaming) {
                interleaveStreaming(span, out + begin * 4);
            } else {
                interleave(span, out + begin * 4);
            }
        }
    }
    if (streaming) {
        finishStreaming();
    }
}

void Image::renderRows(int firstRow, int rowCount, float* dst, std::ptrdiff_t dstStride) const
{
    if (!hasPixels() || firstRow < 0 || rowCount < 0 || firstRow + rowCount > height_) {
        throw std::out_of_range("Image::renderRows: rows outside the image");
    }
    if (render_ && render_->done.load(std::memory_order_acquire)) {
        const float* base = render_->pixels.get();
        const std::size_t rowFloats = static_cast<std::size_t>(width_) * 4;
        for (int r = 0; r < rowCount; ++r) {
            std::memcpy(dst + r * dstStride, base + (firstRow + r) * rowFloats,
                        rowFloats * sizeof(float));
        }
        return;
    }
    renderRowsInto(firstRow, rowCount, dst, dstStride, false);
}

const float* Image::storageBase() const
{
    if (!hasPendingOps()) {
        return data_;
    }
    Render& render = *render_;
    std::call_once(render.once, [&] {
        auto buffer = ImagePool::acquire(static_cast<std::size_t>(width_) * height_ * 4);
        float* base = buffer.get();
        const std::ptrdiff_t rowFloats = static_cast<std::ptrdiff_t>(width_) * 4;
        const std::size_t minRows = std::max<std::size_t>(1, 16384 / std::max(1, width_));
        const bool streaming = static_cast<std::size_t>(width_) * height_ * 16 > streamingBytes;
        concurrentPerform(static_cast<std::size_t>(height_), minRows,
                          [&](std::size_t begin, std::size_t end) {
                              renderRowsInto(static_cast<int>(begin), static_cast<int>(end - begin),
                                             base + static_cast<std::ptrdiff_t>(begin) * rowFloats,
                                             rowFloats, streaming);
                          });
        render.pixels = std::move(buffer);
        render.done.store(true, std::memory_order_release);
    });
    return render.pixels.get();
}

const float* Image::row(int i) const
{
    if (!hasPixels() || i < 0 || i >= height_) {
        throw std::out_of_range("Image::row: row outside the image");
    }
    return storageBase() + static_cast<std::ptrdiff_t>(i) * rowStride();
}

std::ptrdiff_t Image::rowStride() const
{
    return hasPendingOps() ? static_cast<std::ptrdiff_t>(width_) * 4 : stride_;
}

Color Image::pixel(int x, int y) const
{
    if (isConstant()) {
        return constant_;
    }
    if (!hasPixels() || x < x_ || y < y_ || x - x_ >= width_ || y - y_ >= height_) {
        return {};
    }
    const float* p = row(y_ + height_ - 1 - y) + static_cast<std::ptrdiff_t>(x - x_) * 4;
    return {p[0], p[1], p[2], p[3]};
}

void Image::makeWritable()
{
    if (!hasPixels()) {
        return;
    }
    const bool shared = pixels_.use_count() > 1;
    if (!hasPendingOps() && !shared) {
        return;
    }
    auto buffer = ImagePool::acquire(static_cast<std::size_t>(width_) * height_ * 4);
    float* base = buffer.get();
    const std::ptrdiff_t rowFloats = static_cast<std::ptrdiff_t>(width_) * 4;
    const std::size_t minRows = std::max<std::size_t>(1, 16384 / std::max(1, width_));
    concurrentPerform(static_cast<std::size_t>(height_), minRows,
                      [&](std::size_t begin, std::size_t end) {
                          renderRows(static_cast<int>(begin), static_cast<int>(end - begin),
                                     base + static_cast<std::ptrdiff_t>(begin) * rowFloats,
                                     rowFloats);
                      });
    pixels_ = std::move(buffer);
    data_ = base;
    stride_ = rowFloats;
    ops_.reset();
    render_.reset();
}

float* Image::mutableRow(int i)
{
    if (!hasPixels() || i < 0 || i >= height_) {
        throw std::out_of_range("Image::mutableRow: row outside the image");
    }
    makeWritable();
    return const_cast<float*>(data_) + static_cast<std::ptrdiff_t>(i) * stride_;
}

Image Image::rendered() const
{
    if (!hasPendingOps()) {
        return *this;
    }
    const float* base = storageBase();
    Image out = *this;
    out.pixels_ = std::shared_ptr<const float>(render_->pixels, base);
    out.data_ = base;
    out.stride_ = static_cast<std::ptrdiff_t>(width_) * 4;
    out.ops_.reset();
    out.render_.reset();
    return out;
}

Image Image::appending(PixelOp op) const
{
    if (isEmpty()) {
        return *this;
    }
    if (isConstant()) {
        Image out = *this;
        alignas(64) float planes[4][8] = {{constant_.r}, {constant_.g}, {constant_.b}, {constant_.a}};
        const PlanarSpan span{planes[0], planes[1], planes[2], planes[3], 1, 8, nullptr};
        runPixelOps({op}, span);
        out.constant_ = {planes[0][0], planes[1][0], planes[2][0], planes[3][0]};
        return out;
    }
    // Steps appended after a rendering start from the rendered pixels, so a long chain built
    // step by step over an image that was read in between does not redo the earlier steps.
    Image base = (render_ && render_->done.load(std::memory_order_acquire)) ? rendered() : *this;
    auto ops = std::make_shared<std::vector<PixelOp>>(base.pendingOps());
    ops->push_back(std::move(op));
    base.ops_ = std::move(ops);
    base.render_ = std::make_shared<Render>();
    return base;
}

std::optional<std::vector<PixelOp>> Image::stepsAfter(const Image& base) const
{
    if (!hasPixels() || kind_ != base.kind_ || width_ != base.width_ ||
        height_ != base.height_ || x_ != base.x_ || y_ != base.y_ || data_ != base.data_ ||
        stride_ != base.stride_) {
        return std::nullopt;
    }
    const std::vector<PixelOp>& mine = pendingOps();
    const std::vector<PixelOp>& theirs = base.pendingOps();
    if (theirs.size() > mine.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < theirs.size(); ++i) {
        if (mine[i].fn != theirs[i].fn || mine[i].state != theirs[i].state) {
            return std::nullopt;
        }
    }
    return std::vector<PixelOp>(mine.begin() + static_cast<std::ptrdiff_t>(theirs.size()),
                                mine.end());
}

bool Image::isIdenticalTo(const Image& other) const
{
    return kind_ == other.kind_ && constant_ == other.constant_ && width_ == other.width_ &&
           height_ == other.height_ && x_ == other.x_ && y_ == other.y_ &&
           data_ == other.data_ && stride_ == other.stride_ && ops_ == other.ops_;
}

Image Image::croppedTo(const IntRect& rect) const
{
    if (isEmpty() || rect.isEmpty()) {
        return {};
    }
    if (isConstant()) {
        if (rect.width * rect.height > maxPixels || rect.x < INT32_MIN || rect.y < INT32_MIN ||
            rect.x + rect.width > INT32_MAX || rect.y + rect.height > INT32_MAX) {
            throw std::invalid_argument("crop of a constant image too large");
        }
        Image out = filled(static_cast<int>(rect.width), static_cast<int>(rect.height), constant_,
                           static_cast<int>(rect.x), static_cast<int>(rect.y));
        out.tags = tags;
        return out;
    }
    const IntRect inside = intersection(rect, IntRect{x_, y_, width_, height_});
    if (inside.isEmpty()) {
        return {};
    }
    Image base = (render_ && render_->done.load(std::memory_order_acquire)) ? rendered() : *this;
    Image out = base;
    const long long top = (static_cast<long long>(y_) + height_) - (inside.y + inside.height);
    const long long left = inside.x - x_;
    out.data_ = base.data_ + top * base.stride_ + left * 4;
    out.x_ = static_cast<int>(inside.x);
    out.y_ = static_cast<int>(inside.y);
    out.width_ = static_cast<int>(inside.width);
    out.height_ = static_cast<int>(inside.height);
    if (out.hasPendingOps()) {
        out.render_ = std::make_shared<Render>();
    }
    return out;
}

Image Image::translatedBy(int dx, int dy) const
{
    if (!hasPixels() || (dx == 0 && dy == 0)) {
        return *this;
    }
    bool positional = false;
    for (const PixelOp& op : pendingOps()) {
        positional = positional || op.positional;
    }
    Image out = positional ? rendered() : *this;
    const long long nx = static_cast<long long>(x_) + dx;
    const long long ny = static_cast<long long>(y_) + dy;
    if (nx < INT32_MIN || ny < INT32_MIN || nx + width_ > INT32_MAX || ny + height_ > INT32_MAX) {
        throw std::invalid_argument("image translated out of range");
    }
    out.x_ = static_cast<int>(nx);
    out.y_ = static_cast<int>(ny);
    if (out.hasPendingOps()) {
        // Same steps, new geometry: the shared rendering would still be right (no positional
        // step), but a separate one keeps the rule "a rendering belongs to one geometry" simple.
        out.render_ = std::make_shared<Render>();
    }
    return out;
}

} // namespace velmora
