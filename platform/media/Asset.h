#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/image/Geometry.h"
#include "platform/image/Image.h"
#include "platform/media/MediaTime.h"

namespace velmora {

enum class MediaType { video, audio, other };

// One track (stream) of an asset, as probed when the asset was opened. Immutable.
struct AssetTrack {
    // The stream's index in the file; what readers and generators are given to pick a track.
    int trackID = -1;
    MediaType mediaType = MediaType::other;
    // FFmpeg's codec name ("hevc", "h264", "prores", "aac", "png", …).
    std::string codecName;
    // The track's span on the asset's timeline (asset times start at 0 for every file: a
    // container start offset is taken away).
    MediaTimeRange timeRange;

    // Video: encoded width and height in pixels, before rotation.
    int width = 0;
    int height = 0;
    // Video: frames per second the stream declares (its average rate, else its base rate);
    // 0 when the file declares none.
    double nominalFrameRate = 0;
    // Video: the shortest frame duration the stream declares (1 / base rate); invalid when unknown.
    MediaTime minFrameDuration;
    // Video: clockwise rotation to apply for display, one of 0, 90, 180, 270.
    int rotationDegrees = 0;
    // Video: the display orientation as a transform of the encoded picture in a y-down pixel
    // space (x' = a x + c y + tx, y' = b x + d y + ty) that maps the encoded rectangle
    // (0, 0, width, height) onto the displayed one with its corner at the origin. Identity for
    // an unrotated track.
    AffineTransform preferredTransform;
    // Video: bits per luma sample of the decoded picture (8, 10, 12); 0 when unknown.
    int bitDepth = 0;
    // Video: colour tags of the stream ("VideoRange", "ITU_R_709_2", …); empty where untagged.
    ImageTags colorTags;

    // Audio.
    int sampleRate = 0;
    int channelCount = 0;

    // Width and height after rotation.
    int displayWidth() const { return rotationDegrees % 180 == 0 ? width : height; }
    int displayHeight() const { return rotationDegrees % 180 == 0 ? height : width; }
};

// A media file opened and probed: its duration and tracks. Opening reads the container's
// header (and, for formats without one, the first packets), not the whole file.
//
// Immutable after open and safe to share between threads; readers and generators open the file
// again for themselves.
class Asset {
public:
    // Throws velmora::Error of domain "media": fileNotFound when nothing is at the path,
    // cannotOpen (with FFmpeg's or libheif's text) for a folder, an unreadable, unknown or corrupt file (a
    // still picture whose size cannot be read included), pictureTooLarge for a still picture of
    // more than maximumStillPixels pixels.
    static std::shared_ptr<const Asset> open(const std::filesystem::path& path);
    // As open, but an MP4 or QuickTime file's tracks are read from its header alone, without the
    // probing that decodes frames (a frame of a huge movie costs hundreds of megabytes): sizes,
    // rotation, rates, durations, start offset and colour primaries, transfer and matrix are the
    // same; a track's bit depth may stay 0 and its colour range unset. A header that leaves out
    // a codec, a size, a sample rate or channels, or every duration is probed all the same. For
    // readers that need no more: poster frames, the preview's composition, the player.
    static std::shared_ptr<const Asset> openFromHeader(const std::filesystem::path& path);
    // How many times this process has read a file's header to open it as an asset (open and
    // openFromHeader, whether or not that succeeded); for diagnostics. Any thread.
    static std::uint64_t headerReadCount();

    // The most pixels a still picture may have: 16000 x 16000. Decoding one takes up to 2 GB
    // (16-bit RGBA) before it is scaled down; FFmpeg itself refuses pictures of about 16250 x
    // 16250 and more.
    static constexpr std::int64_t maximumStillPixels = std::int64_t{16000} * 16000;

    const std::filesystem::path& url() const { return url_; }
    // The container's duration, else the longest track's end; zero for a still image.
    MediaTime duration() const { return duration_; }
    double durationSeconds() const { return duration_.seconds(); }
    // The container's short name as FFmpeg knows it ("mov,mp4,m4a,3gp,3g2,mj2", "png_pipe", …);
    // "heif" for a HEIF or HEIC picture, which libheif reads in FFmpeg's place.
    const std::string& formatName() const { return formatName_; }
    // True for a still image file (PNG, JPEG, TIFF, BMP, HEIF, …): one picture shown at any time.
    bool isStillImage() const { return stillImage_; }

    const std::vector<AssetTrack>& tracks() const { return tracks_; }
    std::vector<AssetTrack> tracks(MediaType type) const;
    const AssetTrack* firstTrack(MediaType type) const;
    const AssetTrack* track(int trackID) const;

    // The container's start time that asset times are measured from, in microseconds.
    std::int64_t startOffsetMicroseconds() const { return startOffsetUs_; }

private:
    Asset() = default;
    static std::shared_ptr<const Asset> openHeif(const std::filesystem::path& path);
    static std::shared_ptr<const Asset> open(const std::filesystem::path& path, bool probeStreams);

    std::filesystem::path url_;
    MediaTime duration_ = MediaTime::zero();
    std::string formatName_;
    bool stillImage_ = false;
    std::vector<AssetTrack> tracks_;
    std::int64_t startOffsetUs_ = 0;
};

} // namespace velmora
