#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "platform/image/Image.h"
#include "platform/media/Asset.h"

// What the media pool learns from a source's file: its picture size and frame rate, read when
// it is imported, and the small JPEG picture its card shows. Stateless; any thread (the poster
// frames of videos are made on a worker, the rest on the main thread).
namespace velmora::SourceMediaReading {

// The size of a card's picture: larger pictures are scaled down to fit, keeping their aspect.
inline constexpr int thumbnailMaximumWidth = 320;
inline constexpr int thumbnailMaximumHeight = 180;
// JPEG quality of a card's picture (a compression factor of 0.72).
inline constexpr int thumbnailJpegQuality = 72;

struct MediaInfo {
    // Displayed size in pixels: a rotated video's turned, a still's as stored.
    std::optional<int> width;
    std::optional<int> height;
    // Frames per second of a video that declares more than 1.
    std::optional<double> framerate;
    // A still's card picture.
    std::optional<std::vector<std::uint8_t>> thumbnailData;
};

// The first video track's displayed size and frame rate; nothing for a file that cannot be read
// or holds no video.
MediaInfo readVideo(const std::filesystem::path& file);

// A still picture's size in pixels (HEIF and HEIC included) and its card picture; nothing for a
// file that cannot be decoded. `opened`, when given, is the file already opened: its header is
// not read again.
MediaInfo readImage(const std::filesystem::path& file, const std::shared_ptr<const Asset>& opened = nullptr);

// readVideo and, with `withPoster`, the poster frame from the same opening of the file: the frame
// at 0.5 s, else 1 s, else 2 s (each within 0.12 s), upright, scaled to fit 320 × 180, as JPEG;
// none when the file has no video or no frame lies near those times (a clip shorter than about
// 0.4 s). `opened`, when given, is the file already opened (from its header at least): its
// header is not read again.
MediaInfo readVideoWithPoster(const std::filesystem::path& file, bool withPoster,
                              const std::shared_ptr<const Asset>& opened = nullptr);

// The picture as JPEG at the cards' quality; nothing when it has no pixels or encoding fails.
std::optional<std::vector<std::uint8_t>> encodeJPEG(const Image& picture);

} // namespace velmora::SourceMediaReading
