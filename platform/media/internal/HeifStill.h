#pragma once

// Private to the media layer: HEIF and HEIC stills (the pictures phones take), which FFmpeg 5.1
// cannot read, read with libheif instead. An Asset opened from such a file is a still image of
// format heifFormatName; the image generator decodes it through decodePrimaryImage.

#include <filesystem>
#include <optional>

#include "platform/media/internal/FFmpegSupport.h"

namespace velmora::heif {

// Asset::formatName() of a picture read by libheif.
inline constexpr const char* heifFormatName = "heif";

// The primary picture of a HEIF file as it is displayed (its rotation, mirroring and crop
// applied), in pixels.
struct StillInfo {
    int width = 0;
    int height = 0;
    // Bits per luma sample as stored (8, 10, 12).
    int bitDepth = 8;
};

// True when a file's first `length` bytes (ffmpeg::readFileStart) start like a HEIF file that
// libheif can read. False for any other file and for one that could not be read (whoever opens
// it next reports that). Any thread.
bool isHeifStart(const unsigned char* bytes, std::size_t length);

// The size of the file's primary picture. Throws velmora::Error (media, cannotOpen) with
// libheif's message when the file cannot be read. Any thread.
StillInfo probe(const std::filesystem::path& path);

// The primary picture, displayed orientation, as an RGB frame of full range: RGB24 or RGBA
// (with an alpha channel) for 8-bit pictures, RGB48LE or RGBA64LE with samples scaled to 16 bits
// for deeper ones. Throws velmora::Error (media, decodeFailed) with libheif's message. Any thread.
ffmpeg::FramePtr decodePrimaryImage(const std::filesystem::path& path);

} // namespace velmora::heif
