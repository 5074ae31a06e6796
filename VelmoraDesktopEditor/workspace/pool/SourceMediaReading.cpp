#include "workspace/pool/SourceMediaReading.h"

#include <array>
#include <cmath>

#include <QBuffer>
#include <QImage>

#include "export_workspaces/StillImageConversion.h"
#include "platform/media/Asset.h"
#include "platform/media/ImageGenerator.h"

namespace velmora::SourceMediaReading {

namespace {

// Grabbed frames may lie this far before or after the time asked for.
const MediaTime posterTolerance(72, 600); // 0.12 s
// The times a poster frame is looked for, in order.
const std::array<MediaTime, 3> posterTimes = {MediaTime(300, 600), MediaTime(1, 1), MediaTime(2, 1)};

void sizeForThumbnail(ImageGenerator& generator)
{
    generator.appliesPreferredTrackTransform = true;
    generator.maximumWidth = thumbnailMaximumWidth;
    generator.maximumHeight = thumbnailMaximumHeight;
}

// The size and rate of an opened video, as readVideo reads them.
void readSizeAndRate(const Asset& asset, MediaInfo& info)
{
    if (const AssetTrack* track = asset.firstTrack(MediaType::video)) {
        info.width = track->displayWidth();
        info.height = track->displayHeight();
        if (std::isfinite(track->nominalFrameRate) && track->nominalFrameRate > 1)
            info.framerate = track->nominalFrameRate;
    }
}

std::optional<std::vector<std::uint8_t>> posterFrameJPEG(const std::shared_ptr<const Asset>& asset)
{
    if (!asset->firstTrack(MediaType::video) || asset->isStillImage())
        return std::nullopt;
    try {
        ImageGenerator generator(asset);
        generator.decoderThreads = 1;
        sizeForThumbnail(generator);
        generator.requestedTimeToleranceBefore = posterTolerance;
        generator.requestedTimeToleranceAfter = posterTolerance;
        const MediaTime duration = asset->duration();
        for (const MediaTime& time : posterTimes) {
            // The generator answers a time past the end with the last frame; a poster frame must
            // lie near the time asked for.
            if (duration.isNumeric() && duration > MediaTime::zero() && time - posterTolerance >= duration)
                continue;
            try {
                if (auto jpeg = encodeJPEG(generator.copyImage(time)))
                    return jpeg;
            } catch (const std::exception&) {
                // This time failed: the next one may not.
            }
        }
    } catch (const std::exception&) {
        // No picture track the generator can read.
    }
    return std::nullopt;
}

} // namespace

MediaInfo readVideo(const std::filesystem::path& file)
{
    MediaInfo info;
    try {
        readSizeAndRate(*Asset::open(file), info);
    } catch (const std::exception&) {
        // An unreadable video is imported all the same, without size or rate.
    }
    return info;
}

MediaInfo readImage(const std::filesystem::path& file, const std::shared_ptr<const Asset>& opened)
{
    MediaInfo info;
    try {
        std::shared_ptr<const Asset> asset = opened ? opened : Asset::open(file);
        const AssetTrack* picture = asset->firstTrack(MediaType::video);
        if (!picture)
            return info;
        const int width = picture->displayWidth();
        const int height = picture->displayHeight();
        ImageGenerator generator(std::move(asset));
        sizeForThumbnail(generator);
        info.thumbnailData = encodeJPEG(generator.copyImage(MediaTime::zero()));
        info.width = width;
        info.height = height;
    } catch (const std::exception&) {
        // A picture that cannot be decoded is imported without size or picture.
    }
    return info;
}

MediaInfo readVideoWithPoster(const std::filesystem::path& file, bool withPoster,
                              const std::shared_ptr<const Asset>& opened)
{
    MediaInfo info;
    std::shared_ptr<const Asset> asset = opened;
    try {
        // Probing would decode a frame only to learn what the header already says.
        if (!asset)
            asset = Asset::openFromHeader(file);
    } catch (const std::exception&) {
        return info;
    }
    readSizeAndRate(*asset, info);
    if (withPoster)
        info.thumbnailData = posterFrameJPEG(asset);
    return info;
}

std::optional<std::vector<std::uint8_t>> encodeJPEG(const Image& picture)
{
    const QImage image = stillImageToQImage(picture);
    if (image.isNull())
        return std::nullopt;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.convertToFormat(QImage::Format_RGB888).save(&buffer, "JPEG", thumbnailJpegQuality) || bytes.isEmpty())
        return std::nullopt;
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

} // namespace velmora::SourceMediaReading
