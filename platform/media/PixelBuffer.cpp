#include "platform/media/PixelBuffer.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/media/MediaError.h"

namespace velmora {

namespace {

constexpr std::size_t kAlignment = 64;
constexpr std::size_t kPlaneSlack = 64;

std::size_t alignUp(std::size_t value)
{
    return (value + kAlignment - 1) / kAlignment * kAlignment;
}

struct FreeDeleter {
    void operator()(std::uint8_t* p) const { std::free(p); }
};

struct PlaneGeometry {
    int width = 0;        // samples or CbCr pairs
    int height = 0;
    int bytesPerUnit = 0; // per sample or pair
};

struct FormatGeometry {
    int planeCount = 0;
    PlaneGeometry planes[3];
};

FormatGeometry geometryOf(PixelFormat format, int width, int height)
{
    const int halfW = (width + 1) / 2;
    const int halfH = (height + 1) / 2;
    switch (format) {
    case PixelFormat::p010: return {2, {{width, height, 2}, {halfW, halfH, 4}, {}}};
    case PixelFormat::nv12: return {2, {{width, height, 1}, {halfW, halfH, 2}, {}}};
    case PixelFormat::p216: return {2, {{width, height, 2}, {halfW, height, 4}, {}}};
    case PixelFormat::bgra: return {1, {{width, height, 4}, {}, {}}};
    case PixelFormat::yuv420p: return {3, {{width, height, 1}, {halfW, halfH, 1}, {halfW, halfH, 1}}};
    case PixelFormat::yuv420p10: return {3, {{width, height, 2}, {halfW, halfH, 2}, {halfW, halfH, 2}}};
    case PixelFormat::yuv422p10: return {3, {{width, height, 2}, {halfW, height, 2}, {halfW, height, 2}}};
    }
    return {};
}

} // namespace

struct PixelBuffer::Storage {
    PixelFormat format = PixelFormat::bgra;
    int width = 0;
    int height = 0;
    FormatGeometry geometry;
    std::size_t offsets[3] = {};
    std::size_t strides[3] = {};
    std::unique_ptr<std::uint8_t, FreeDeleter> memory;
    std::size_t bytes = 0;
    ImageTags tags;
};

std::string pixelFormatName(PixelFormat format)
{
    const auto code = static_cast<std::uint32_t>(format);
    std::string name(4, ' ');
    for (int i = 0; i < 4; ++i) {
        name[i] = static_cast<char>((code >> (24 - 8 * i)) & 0xff);
    }
    return name;
}

std::optional<PixelFormat> pixelFormatFromCode(std::uint32_t code)
{
    for (PixelFormat f : {PixelFormat::p010, PixelFormat::nv12, PixelFormat::p216, PixelFormat::bgra,
                          PixelFormat::yuv420p, PixelFormat::yuv420p10, PixelFormat::yuv422p10}) {
        if (static_cast<std::uint32_t>(f) == code) {
            return f;
        }
    }
    return std::nullopt;
}

bool isYCbCr(PixelFormat format)
{
    return format != PixelFormat::bgra;
}

PixelBuffer PixelBuffer::create(PixelFormat format, int width, int height)
{
    if (width < 1 || height < 1 || width > 16384 || height > 16384) {
        throw MediaError::make(MediaError::invalidArgument, "A pixel buffer of " + std::to_string(width) + " x " +
                                                                std::to_string(height) + " pixels cannot be made.");
    }
    auto storage = std::make_shared<Storage>();
    storage->format = format;
    storage->width = width;
    storage->height = height;
    storage->geometry = geometryOf(format, width, height);
    std::size_t total = 0;
    for (int p = 0; p < storage->geometry.planeCount; ++p) {
        const PlaneGeometry& plane = storage->geometry.planes[p];
        storage->strides[p] = alignUp(static_cast<std::size_t>(plane.width) * plane.bytesPerUnit);
        storage->offsets[p] = total;
        total += alignUp(storage->strides[p] * plane.height + kPlaneSlack);
    }
    void* memory = std::aligned_alloc(kAlignment, total);
    if (!memory) {
        throw std::bad_alloc();
    }
    std::memset(memory, 0, total);
    storage->memory.reset(static_cast<std::uint8_t*>(memory));
    storage->bytes = total;
    return PixelBuffer(std::move(storage));
}

PixelFormat PixelBuffer::format() const { return storage_->format; }
int PixelBuffer::width() const { return storage_->width; }
int PixelBuffer::height() const { return storage_->height; }
int PixelBuffer::planeCount() const { return storage_->geometry.planeCount; }
int PixelBuffer::planeWidth(int plane) const { return storage_->geometry.planes[plane].width; }
int PixelBuffer::planeHeight(int plane) const { return storage_->geometry.planes[plane].height; }

std::uint8_t* PixelBuffer::baseAddress(int plane)
{
    return storage_->memory.get() + storage_->offsets[plane];
}

const std::uint8_t* PixelBuffer::baseAddress(int plane) const
{
    return storage_->memory.get() + storage_->offsets[plane];
}

std::ptrdiff_t PixelBuffer::bytesPerRow(int plane) const
{
    return static_cast<std::ptrdiff_t>(storage_->strides[plane]);
}

ImageTags& PixelBuffer::attachments() { return storage_->tags; }
const ImageTags& PixelBuffer::attachments() const { return storage_->tags; }

void PixelBuffer::fillBlack()
{
    const PixelFormat f = storage_->format;
    for (int p = 0; p < planeCount(); ++p) {
        std::uint8_t* base = baseAddress(p);
        const std::ptrdiff_t stride = bytesPerRow(p);
        const int rows = planeHeight(p);
        const int units = planeWidth(p);
        for (int y = 0; y < rows; ++y) {
            std::uint8_t* row = base + stride * y;
            switch (f) {
            case PixelFormat::bgra:
                std::memset(row, 0, static_cast<std::size_t>(units) * 4);
                break;
            case PixelFormat::nv12:
            case PixelFormat::yuv420p:
                std::memset(row, p == 0 ? 16 : 128, static_cast<std::size_t>(units) * (f == PixelFormat::nv12 && p == 1 ? 2 : 1));
                break;
            case PixelFormat::p010:
            case PixelFormat::p216: {
                auto* words = reinterpret_cast<std::uint16_t*>(row);
                std::fill(words, words + units * (p == 1 ? 2 : 1), static_cast<std::uint16_t>(p == 0 ? 4096 : 32768));
                break;
            }
            case PixelFormat::yuv420p10:
            case PixelFormat::yuv422p10: {
                auto* words = reinterpret_cast<std::uint16_t*>(row);
                std::fill(words, words + units, static_cast<std::uint16_t>(p == 0 ? 64 : 512));
                break;
            }
            }
        }
    }
}

// The handles of a pooled buffer share a control block of their own, whose deleter marks the
// buffer free (release order) when the last handle goes; the pool takes a buffer back only after
// reading that mark (acquire order), so every write through the old handles happens before the
// buffer's next use. The deleter keeps the slot, and with it the buffer, alive.
struct PixelBufferPool::Slot {
    std::shared_ptr<PixelBuffer::Storage> storage;
    std::atomic<bool> inUse{false};
};

PixelBuffer PixelBufferPool::handOut(const std::shared_ptr<Slot>& slot)
{
    slot->inUse.store(true, std::memory_order_relaxed); // only the pool, under its lock, sets it
    return PixelBuffer(std::shared_ptr<PixelBuffer::Storage>(
        slot->storage.get(), [slot](PixelBuffer::Storage*) { slot->inUse.store(false, std::memory_order_release); }));
}

PixelBufferPool::PixelBufferPool(PixelFormat format, int width, int height)
    : format_(format), width_(width), height_(height)
{
    // Refuse an impossible size now rather than at the first frame.
    auto slot = std::make_shared<Slot>();
    slot->storage = PixelBuffer::create(format, width, height).storage_;
    slots_.push_back(std::move(slot));
}

PixelBufferPool::~PixelBufferPool() = default;

PixelBuffer PixelBufferPool::createPixelBuffer()
{
    std::lock_guard lock(mutex_);
    for (const auto& slot : slots_) {
        if (!slot->inUse.load(std::memory_order_acquire)) {
            slot->storage->tags = ImageTags{};
            return handOut(slot);
        }
    }
    auto slot = std::make_shared<Slot>();
    slot->storage = PixelBuffer::create(format_, width_, height_).storage_;
    slots_.push_back(slot);
    return handOut(slot);
}

std::size_t PixelBufferPool::bufferCount() const
{
    std::lock_guard lock(mutex_);
    return slots_.size();
}

} // namespace velmora
