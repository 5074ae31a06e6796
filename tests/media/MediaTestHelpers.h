#pragma once

#include <filesystem>
#include <stdexcept>

#include "platform/image/Image.h"
#include "platform/media/Asset.h"
#include "platform/media/AssetReader.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/PixelBufferImage.h"
#include "support/MediaFixtures.h"

namespace velmora::test {

// The frame of `movie` shown at `seconds` (the first whose time reaches it), decoded by the media
// layer the editor reads with, as rendered pixels.
inline Image decodedFrame(const std::filesystem::path& movie, double seconds)
{
    auto asset = Asset::open(movie);
    const AssetTrack* track = asset->firstTrack(MediaType::video);
    if (!track)
        throw std::runtime_error("no video in " + movie.string());
    AssetReader reader(asset);
    auto output = AssetReaderTrackOutput::video(*track, PixelFormat::p010);
    reader.add(output);
    reader.startReading();
    while (auto sample = output->copyNextSampleBuffer()) {
        if (sample->hasImageBuffer() && sample->presentationTime.seconds() + 0.001 >= seconds)
            return imageFromPixelBuffer(sample->imageBuffer).rendered();
    }
    throw std::runtime_error("no frame at the time in " + movie.string());
}

// The frame-stamp number of a decoded buffer, read from its luma (Y'CbCr, video range) or its
// green channel (BGRA).
inline int stampOf(const PixelBuffer& buffer)
{
    return readFrameStamp(
        [&](int x, int y) -> double {
            const std::uint8_t* row = buffer.baseAddress(0) + buffer.bytesPerRow(0) * y;
            switch (buffer.format()) {
            case PixelFormat::p010:
            case PixelFormat::p216:
                return (reinterpret_cast<const std::uint16_t*>(row)[x] - 4096.0) / 56064.0;
            case PixelFormat::yuv420p10:
            case PixelFormat::yuv422p10:
                return (reinterpret_cast<const std::uint16_t*>(row)[x] - 64.0) / 876.0;
            case PixelFormat::nv12:
            case PixelFormat::yuv420p:
                return (row[x] - 16.0) / 219.0;
            case PixelFormat::bgra:
                return row[4 * x + 1] / 255.0;
            }
            return -1;
        },
        buffer.width(), buffer.height());
}

// The frame-stamp number of a float image (its green channel; row 0 at the top).
inline int stampOf(const Image& image)
{
    return readFrameStamp([&](int x, int y) -> double { return image.row(y)[4 * x + 1]; }, image.width(),
                          image.height());
}

} // namespace velmora::test
