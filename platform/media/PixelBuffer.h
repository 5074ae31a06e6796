#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/image/Image.h"

namespace velmora {

constexpr std::uint32_t fourCharCode(const char (&code)[5])
{
    return (std::uint32_t(std::uint8_t(code[0])) << 24) | (std::uint32_t(std::uint8_t(code[1])) << 16) |
           (std::uint32_t(std::uint8_t(code[2])) << 8) | std::uint32_t(std::uint8_t(code[3]));
}

// Pixel layouts of frames handed between decoders, the image layer and encoders. The bi-planar
// and BGRA formats carry the platform's four-character codes; the planar ones are the layouts
// the encoders take (FFmpeg's yuv420p, yuv420p10le, yuv422p10le).
enum class PixelFormat : std::uint32_t {
    // 'x420': 10-bit 4:2:0, Y plane + interleaved CbCr plane, 16-bit little-endian words with
    // the code value in the top 10 bits (P010).
    p010 = fourCharCode("x420"),
    // '420v': 8-bit 4:2:0, Y plane + interleaved CbCr plane (NV12).
    nv12 = fourCharCode("420v"),
    // 'sv22': 16-bit 4:2:2, Y plane + interleaved CbCr plane (P216); 16-bit video range puts
    // black at 4096 and white at 60160, so 10-bit content is its code value × 64.
    p216 = fourCharCode("sv22"),
    // 'BGRA': 8-bit B, G, R, A, full range.
    bgra = fourCharCode("BGRA"),
    // 8-bit 4:2:0, three planes.
    yuv420p = fourCharCode("y420"),
    // 10-bit 4:2:0, three planes of 16-bit little-endian words holding the code value in the low
    // 10 bits.
    yuv420p10 = fourCharCode("y42a"),
    // 10-bit 4:2:2, three planes, low 10 bits as yuv420p10.
    yuv422p10 = fourCharCode("y22a"),
};

// The format's four-character code text ("x420") for messages and tests.
std::string pixelFormatName(PixelFormat format);
// The format with that four-character code, if it is one of ours.
std::optional<PixelFormat> pixelFormatFromCode(std::uint32_t code);
bool isYCbCr(PixelFormat format);

// A frame in memory: planes of samples with row strides, and colour attachments.
//
// A handle with shared ownership, like the platform's pixel buffer reference: copies refer to
// the same pixels and attachments. Rows and plane starts are 64-byte aligned and every plane has
// slack after its last row, so vector code may read a little past the end of a row.
// Nothing here is synchronised: one thread writes a buffer, then hands it on.
class PixelBuffer {
public:
    PixelBuffer() = default;

    // A new buffer, not pooled, with zeroed samples and no attachments. Sizes from 1 to 16384.
    // Throws velmora::Error (media, invalidArgument) for other sizes.
    static PixelBuffer create(PixelFormat format, int width, int height);

    explicit operator bool() const { return static_cast<bool>(storage_); }
    bool isSameBuffer(const PixelBuffer& other) const { return storage_ == other.storage_; }

    PixelFormat format() const;
    int width() const;
    int height() const;
    int planeCount() const;
    // Samples (for interleaved CbCr: pairs) per row and rows of a plane.
    int planeWidth(int plane) const;
    int planeHeight(int plane) const;
    std::uint8_t* baseAddress(int plane);
    const std::uint8_t* baseAddress(int plane) const;
    std::ptrdiff_t bytesPerRow(int plane) const;

    // Colour attachments ("ColorRange" "VideoRange", matrix, primaries, transfer function, gamma
    // level); empty fields are untagged. Shared by every handle of this buffer.
    ImageTags& attachments();
    const ImageTags& attachments() const;

    // Sets every sample to black (video-range black and neutral chroma, or transparent BGRA).
    void fillBlack();

private:
    friend class PixelBufferPool;
    struct Storage;
    explicit PixelBuffer(std::shared_ptr<Storage> storage) : storage_(std::move(storage)) {}
    std::shared_ptr<Storage> storage_;
};

// Buffers of one format and size, reused: a buffer whose handles are all released goes back
// to the pool and is handed out again, so a steady stream of frames allocates nothing.
// Thread-safe; buffers stay valid after the pool is gone.
class PixelBufferPool {
public:
    PixelBufferPool(PixelFormat format, int width, int height);
    ~PixelBufferPool();
    PixelBufferPool(const PixelBufferPool&) = delete;
    PixelBufferPool& operator=(const PixelBufferPool&) = delete;

    // A free buffer (attachments cleared, samples as last written) or a new one.
    PixelBuffer createPixelBuffer();

    PixelFormat format() const { return format_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // Buffers made so far (in use or free).
    std::size_t bufferCount() const;

private:
    // A pooled buffer and whether a handle to it is out.
    struct Slot;
    static PixelBuffer handOut(const std::shared_ptr<Slot>& slot);

    PixelFormat format_;
    int width_;
    int height_;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Slot>> slots_; // guarded by mutex_
};

} // namespace velmora
