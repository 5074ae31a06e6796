#include "platform/media/PixelBufferImage.h"

#include "platform/media/internal/YuvConvert.h"

namespace velmora {

namespace {

yuv::Planes planesOf(const PixelBuffer& buffer, bool forWriting)
{
    yuv::Planes p;
    p.width = buffer.width();
    p.height = buffer.height();
    for (int i = 0; i < buffer.planeCount(); ++i) {
        p.data[i] = const_cast<std::uint8_t*>(buffer.baseAddress(i));
        p.stride[i] = buffer.bytesPerRow(i);
    }
    const ImageTags& tags = buffer.attachments();
    p.matrix = yuv::matrixFromTag(tags.yCbCrMatrix);
    p.fullRange = tags.colorRange == "FullRange";
    switch (buffer.format()) {
    case PixelFormat::p010:
        // 10-bit codes in the top bits of 16-bit words: read as 16-bit video range (the same
        // levels), written as 10-bit codes shifted into place.
        p.bytesPerSample = 2;
        p.bitDepth = 16;
        p.storeShift = forWriting ? 6 : 0;
        p.interleavedChroma = true;
        break;
    case PixelFormat::nv12:
        p.interleavedChroma = true;
        break;
    case PixelFormat::p216:
        p.bytesPerSample = 2;
        p.bitDepth = 16;
        p.chromaShiftY = 0;
        p.interleavedChroma = true;
        break;
    case PixelFormat::yuv420p:
        break;
    case PixelFormat::yuv420p10:
        p.bytesPerSample = 2;
        p.bitDepth = 10;
        break;
    case PixelFormat::yuv422p10:
        p.bytesPerSample = 2;
        p.bitDepth = 10;
        p.chromaShiftY = 0;
        break;
    case PixelFormat::bgra:
        break;
    }
    return p;
}

} // namespace

Image imageFromPixelBuffer(const PixelBuffer& buffer)
{
    Image image = buffer.format() == PixelFormat::bgra
                      ? yuv::bgraToImage(buffer.baseAddress(0), buffer.bytesPerRow(0), buffer.width(), buffer.height())
                      : yuv::toImage(planesOf(buffer, false));
    image.tags = buffer.attachments();
    return image;
}

void renderImageToPixelBuffer(const Image& image, PixelBuffer& buffer)
{
    if (buffer.format() == PixelFormat::bgra) {
        yuv::imageToBgra(image, buffer.baseAddress(0), buffer.bytesPerRow(0), buffer.width(), buffer.height());
        return;
    }
    yuv::fromImage(image, planesOf(buffer, true));
}

} // namespace velmora
