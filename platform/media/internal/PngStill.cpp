#include "platform/media/internal/PngStill.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>
#include "platform/media/MediaError.h"

namespace velmora::png {

namespace {

std::uint32_t bigEndian32(const unsigned char* bytes)
{
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
           std::uint32_t{bytes[3]};
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// libpng reports errors by longjmp to the setjmp of the running call. Every call into libpng
// below goes through one of the guarded functions, whose frames hold nothing to destroy, so the
// jump skips no destructor; the message is kept here for the error thrown afterwards.
struct Reading {
    png_structp png = nullptr;
    png_infop info = nullptr;
    char message[256] = {};
};

void onError(png_structp png, png_const_charp message)
{
    auto* reading = static_cast<Reading*>(png_get_error_ptr(png));
    std::snprintf(reading->message, sizeof reading->message, "%s", message ? message : "");
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// Reads the header and sets the transforms that give 8- or 16-bit RGBA rows. False on an error.
bool readInfo(Reading& reading, std::FILE* file, bool& deep)
{
    if (setjmp(png_jmpbuf(reading.png))) {
        return false;
    }
    png_init_io(reading.png, file);
    // A damaged sample shows as a damaged pixel, as with FFmpeg's decoder; checking every
    // chunk's CRC and the stream's Adler-32 costs a tenth of the decode of a huge picture.
    png_set_crc_action(reading.png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#ifdef PNG_IGNORE_ADLER32
    png_set_option(reading.png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
    png_read_info(reading.png, reading.info);
    const png_byte colorType = png_get_color_type(reading.png, reading.info);
    deep = png_get_bit_depth(reading.png, reading.info) == 16;
    // Palettes, grey of fewer than 8 bits and transparency chunks become 8-bit RGB(A).
    png_set_expand(reading.png);
    if ((colorType & PNG_COLOR_MASK_COLOR) == 0) {
        png_set_gray_to_rgb(reading.png);
    }
    if ((colorType & PNG_COLOR_MASK_ALPHA) == 0 && !png_get_valid(reading.png, reading.info, PNG_INFO_tRNS)) {
        png_set_filler(reading.png, deep ? 0xffff : 0xff, PNG_FILLER_AFTER);
    }
    png_read_update_info(reading.png, reading.info);
    return true;
}

bool readRow(Reading& reading, png_bytep row)
{
    if (setjmp(png_jmpbuf(reading.png))) {
        return false;
    }
    png_read_row(reading.png, row, nullptr);
    return true;
}

// Adds one row of RGBA samples (8 bits, or 16 bits big-endian) into the sums of its blocks.
void accumulate(const png_byte* row, int width, bool deep, int factor, std::uint64_t* sums)
{
    for (int start = 0; start < width; start += factor, sums += 4) {
        const int end = std::min(start + factor, width);
        std::uint64_t r = 0;
        std::uint64_t g = 0;
        std::uint64_t b = 0;
        std::uint64_t a = 0;
        if (!deep) {
            for (const png_byte* pixel = row + 4 * start; pixel < row + 4 * end; pixel += 4) {
                r += pixel[0];
                g += pixel[1];
                b += pixel[2];
                a += pixel[3];
            }
        } else {
            for (const png_byte* pixel = row + 8 * start; pixel < row + 8 * end; pixel += 8) {
                r += (unsigned{pixel[0]} << 8) | pixel[1];
                g += (unsigned{pixel[2]} << 8) | pixel[3];
                b += (unsigned{pixel[4]} << 8) | pixel[5];
                a += (unsigned{pixel[6]} << 8) | pixel[7];
            }
        }
        sums[0] += r;
        sums[1] += g;
        sums[2] += b;
        sums[3] += a;
    }
}

// Writes the averages of one row of blocks into `target` and clears the sums.
void emit(std::uint64_t* sums, int width, int outWidth, int factor, int rows, bool deep, std::uint8_t* target)
{
    for (int ox = 0; ox < outWidth; ++ox) {
        const int columns = std::min(factor, width - ox * factor);
        const std::uint64_t count = static_cast<std::uint64_t>(columns) * static_cast<std::uint64_t>(rows);
        for (int c = 0; c < 4; ++c) {
            const std::uint64_t mean = (sums[4 * ox + c] + count / 2) / count;
            if (deep) {
                const auto value = static_cast<std::uint16_t>(mean);
                target[8 * ox + 2 * c] = static_cast<std::uint8_t>(value & 0xff);
                target[8 * ox + 2 * c + 1] = static_cast<std::uint8_t>(value >> 8);
            } else {
                target[4 * ox + c] = static_cast<std::uint8_t>(mean);
            }
            sums[4 * ox + c] = 0;
        }
    }
}

} // namespace

std::optional<Header> readHeader(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::array<unsigned char, 33> head{};
    file.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    if (file.gcount() != static_cast<std::streamsize>(head.size())) {
        return std::nullopt;
    }
    static constexpr unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (std::memcmp(head.data(), signature, sizeof signature) != 0 || std::memcmp(head.data() + 12, "IHDR", 4) != 0) {
        return std::nullopt;
    }
    const std::uint32_t width = bigEndian32(head.data() + 16);
    const std::uint32_t height = bigEndian32(head.data() + 20);
    if (width == 0 || height == 0 || width > 0x7fffffffu || height > 0x7fffffffu) {
        return std::nullopt;
    }
    Header header;
    header.width = static_cast<int>(width);
    header.height = static_cast<int>(height);
    header.bitDepth = head[24];
    header.colorType = head[25];
    header.interlaced = head[28] != 0;
    return header;
}

AVPixelFormat decoderPixelFormat(const Header& header)
{
    const bool deep = header.bitDepth == 16;
    switch (header.colorType) {
    case 0:
        if (deep) {
            return AV_PIX_FMT_GRAY16BE;
        }
        return header.bitDepth == 1 ? AV_PIX_FMT_MONOBLACK : AV_PIX_FMT_GRAY8;
    case 2: return deep ? AV_PIX_FMT_RGB48BE : (header.bitDepth == 8 ? AV_PIX_FMT_RGB24 : AV_PIX_FMT_NONE);
    case 3: return header.bitDepth <= 8 ? AV_PIX_FMT_PAL8 : AV_PIX_FMT_NONE;
    case 4: return deep ? AV_PIX_FMT_YA16BE : (header.bitDepth == 8 ? AV_PIX_FMT_YA8 : AV_PIX_FMT_NONE);
    case 6: return deep ? AV_PIX_FMT_RGBA64BE : (header.bitDepth == 8 ? AV_PIX_FMT_RGBA : AV_PIX_FMT_NONE);
    default: return AV_PIX_FMT_NONE;
    }
}

bool canDecodeReduced(const Header& header)
{
    return !header.interlaced && decoderPixelFormat(header) != AV_PIX_FMT_NONE;
}

ffmpeg::FramePtr decodeReduced(const std::filesystem::path& path, int factor)
{
    factor = std::max(factor, 1);
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        throw MediaError::make(MediaError::decodeFailed,
                               "Cannot read the picture of " + MediaError::quotedName(path) + ".");
    }
    Reading reading;
    reading.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reading, onError, onWarning);
    if (reading.png) {
        reading.info = png_create_info_struct(reading.png);
    }
    const auto destroy = [](Reading* r) { png_destroy_read_struct(&r->png, r->info ? &r->info : nullptr, nullptr); };
    const std::unique_ptr<Reading, decltype(destroy)> guard(&reading, destroy);
    if (!reading.png || !reading.info) {
        throw MediaError::make(MediaError::decodeFailed,
                               "Cannot read the picture of " + MediaError::quotedName(path) + ": out of memory.");
    }
    const auto failure = [&] {
        std::string message = "Cannot decode the picture of " + MediaError::quotedName(path);
        if (reading.message[0] != '\0') {
            message += " (" + std::string(reading.message) + ")";
        }
        return MediaError::make(MediaError::decodeFailed, message + ".");
    };

    bool deep = false;
    if (!readInfo(reading, file.get(), deep)) {
        throw failure();
    }
    const auto width = static_cast<int>(png_get_image_width(reading.png, reading.info));
    const auto height = static_cast<int>(png_get_image_height(reading.png, reading.info));
    const std::size_t pixelBytes = deep ? 8 : 4;
    if (png_get_interlace_type(reading.png, reading.info) != PNG_INTERLACE_NONE ||
        png_get_rowbytes(reading.png, reading.info) != static_cast<std::size_t>(width) * pixelBytes) {
        throw MediaError::make(MediaError::decodeFailed,
                               "The picture of " + MediaError::quotedName(path) + " cannot be read row by row.");
    }

    const int outWidth = (width + factor - 1) / factor;
    const int outHeight = (height + factor - 1) / factor;
    ffmpeg::FramePtr frame = ffmpeg::allocFrame();
    frame->format = deep ? AV_PIX_FMT_RGBA64LE : AV_PIX_FMT_RGBA;
    frame->width = outWidth;
    frame->height = outHeight;
    frame->color_range = AVCOL_RANGE_JPEG;
    frame->best_effort_timestamp = 0;
    if (const int rc = av_frame_get_buffer(frame.get(), 64); rc < 0) {
        throw ffmpeg::error(MediaError::decodeFailed, "Cannot allocate a picture", rc);
    }

    std::vector<png_byte> row(static_cast<std::size_t>(width) * pixelBytes);
    std::vector<std::uint64_t> sums(static_cast<std::size_t>(outWidth) * 4, 0);
    for (int y = 0; y < height; ++y) {
        if (!readRow(reading, row.data())) {
            throw failure();
        }
        accumulate(row.data(), width, deep, factor, sums.data());
        const int rowInBlock = y % factor;
        if (rowInBlock == factor - 1 || y == height - 1) {
            std::uint8_t* target = frame->data[0] + static_cast<std::ptrdiff_t>(frame->linesize[0]) * (y / factor);
            emit(sums.data(), width, outWidth, factor, rowInBlock + 1, deep, target);
        }
    }
    return frame;
}

} // namespace velmora::png
