#pragma once

// Private to the media layer: PNG stills read with libpng row by row, so that a picture far
// larger than the size it is shown at is reduced while it is decoded and never sits whole in
// memory. FFmpeg still demuxes PNG files; its decoder reads them at full size where no reduction
// applies.

#include <filesystem>
#include <optional>

#include "platform/media/internal/FFmpegSupport.h"

namespace velmora::png {

// The IHDR chunk of a PNG file.
struct Header {
    int width = 0;
    int height = 0;
    int bitDepth = 8; // bits per sample: 1, 2, 4, 8 or 16
    int colorType = 0; // PNG colour type: 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
    bool interlaced = false;
};

// The header of the PNG file at `path`; nothing for a file that does not start with a PNG
// signature and an IHDR chunk, or that cannot be read. Reads 33 bytes. Any thread.
std::optional<Header> readHeader(const std::filesystem::path& path);

// The pixel format FFmpeg's PNG decoder gives a picture of this header (transparency chunks,
// which only the decoder sees, aside); AV_PIX_FMT_NONE for a header no PNG may have.
AVPixelFormat decoderPixelFormat(const Header& header);

// True when decodeReduced reads the picture (every picture that is not interlaced: an interlaced
// one has to be whole before any row is complete).
bool canDecodeReduced(const Header& header);

// The picture with every `factor` × `factor` block of pixels averaged into one pixel (rounded to
// nearest); blocks at the right and bottom edges hold fewer pixels and average what they hold.
// The result is ceil(width / factor) × ceil(height / factor) pixels, full range R'G'B' with an
// alpha channel (opaque when the file has none): RGBA for pictures of up to 8 bits, RGBA64LE for
// 16-bit ones. Memory: the result plus one row of the file. `factor` >= 1.
// Throws velmora::Error (media, decodeFailed) naming the file, with libpng's message. Any thread.
ffmpeg::FramePtr decodeReduced(const std::filesystem::path& path, int factor);

} // namespace velmora::png
