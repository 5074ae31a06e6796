#include "platform/media/internal/HeifStill.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include <libheif/heif.h>
#include "platform/media/MediaError.h"

namespace velmora::heif {

namespace {

struct ContextDeleter {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleDeleter {
    void operator()(const heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageDeleter {
    void operator()(const heif_image* image) const { heif_image_release(image); }
};
using ContextPtr = std::unique_ptr<heif_context, ContextDeleter>;
using HandlePtr = std::unique_ptr<const heif_image_handle, HandleDeleter>;
using ImagePtr = std::unique_ptr<const heif_image, ImageDeleter>;

Error failure(MediaError::Code code, const std::string& what, const heif_error& error)
{
    std::string message = what;
    if (error.message && *error.message)
        message += " (" + std::string(error.message) + ")";
    return MediaError::make(code, message + ".");
}

// The file's primary picture; `code` is the error code a failure is reported with.
HandlePtr openPrimary(const std::filesystem::path& path, MediaError::Code code)
{
    ContextPtr context(heif_context_alloc());
    if (!context)
        throw MediaError::make(code, "Cannot read " + MediaError::quotedName(path) + ": out of memory.");
    heif_error error = heif_context_read_from_file(context.get(), path.c_str(), nullptr);
    if (error.code != heif_error_Ok)
        throw failure(code, "Cannot read the picture of " + MediaError::quotedName(path), error);
    heif_image_handle* handle = nullptr;
    error = heif_context_get_primary_image_handle(context.get(), &handle);
    if (error.code != heif_error_Ok || !handle)
        throw failure(code, "Cannot read the picture of " + MediaError::quotedName(path), error);
    // The handle keeps the file's data alive by itself.
    return HandlePtr(handle);
}

// A sample of `bits` bits widened to 16 bits, so that the largest value becomes 65535.
std::uint16_t widened(std::uint16_t sample, int bits)
{
    const std::uint32_t maximum = (1u << bits) - 1;
    const std::uint32_t value = std::min<std::uint32_t>(sample, maximum);
    return static_cast<std::uint16_t>((value * 65535u + maximum / 2) / maximum);
}

} // namespace

bool isHeifStart(const unsigned char* bytes, std::size_t length)
{
    if (length < 12)
        return false;
    return heif_check_filetype(bytes, static_cast<int>(length)) == heif_filetype_yes_supported;
}

StillInfo probe(const std::filesystem::path& path)
{
    const HandlePtr handle = openPrimary(path, MediaError::cannotOpen);
    StillInfo info;
    info.width = heif_image_handle_get_width(handle.get());
    info.height = heif_image_handle_get_height(handle.get());
    const int bits = heif_image_handle_get_luma_bits_per_pixel(handle.get());
    info.bitDepth = bits > 0 ? bits : 8;
    return info;
}

ffmpeg::FramePtr decodePrimaryImage(const std::filesystem::path& path)
{
    const HandlePtr handle = openPrimary(path, MediaError::decodeFailed);
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    int bits = heif_image_handle_get_luma_bits_per_pixel(handle.get());
    bits = bits > 0 ? std::min(bits, 16) : 8;
    const bool deep = bits > 8;
    const heif_chroma chroma = deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                    : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);

    heif_image* decoded = nullptr;
    const heif_error error = heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB, chroma, nullptr);
    const ImagePtr image(decoded);
    if (error.code != heif_error_Ok || !image)
        throw failure(MediaError::decodeFailed, "Cannot decode the picture of " + MediaError::quotedName(path), error);

    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* pixels = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (!pixels || width <= 0 || height <= 0)
        throw MediaError::make(MediaError::decodeFailed,
                               "The picture of " + MediaError::quotedName(path) + " holds no pixels.");

    ffmpeg::FramePtr frame = ffmpeg::allocFrame();
    frame->format = deep ? (alpha ? AV_PIX_FMT_RGBA64LE : AV_PIX_FMT_RGB48LE) : (alpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24);
    frame->width = width;
    frame->height = height;
    frame->color_range = AVCOL_RANGE_JPEG;
    frame->best_effort_timestamp = 0;
    if (const int rc = av_frame_get_buffer(frame.get(), 64); rc < 0)
        throw ffmpeg::error(MediaError::decodeFailed, "Cannot allocate a picture", rc);

    const int channels = alpha ? 4 : 3;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * channels * (deep ? 2 : 1);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* source = pixels + static_cast<std::ptrdiff_t>(stride) * y;
        std::uint8_t* target = frame->data[0] + static_cast<std::ptrdiff_t>(frame->linesize[0]) * y;
        if (!deep) {
            std::memcpy(target, source, rowBytes);
            continue;
        }
        // libheif gives deep samples at their own bit depth; the frame formats want 16 bits.
        for (std::size_t i = 0; i < rowBytes; i += 2) {
            const auto sample = static_cast<std::uint16_t>(source[i] | (source[i + 1] << 8));
            const std::uint16_t wide = widened(sample, bits);
            target[i] = static_cast<std::uint8_t>(wide & 0xff);
            target[i + 1] = static_cast<std::uint8_t>(wide >> 8);
        }
    }
    return frame;
}

} // namespace velmora::heif
