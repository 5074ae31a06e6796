#include "preview/PreviewPictureImage.h"

#include "platform/media/PixelBufferImage.h"

namespace velmora::PreviewPictureImage {

QImage wrapBgraBuffer(const PixelBuffer& buffer)
{
    if (!buffer || buffer.format() != PixelFormat::bgra) {
        return {};
    }
    // The image's clean-up drops this handle, on whichever thread lets go of the last copy;
    // releasing a buffer handle is thread-safe.
    auto* held = new PixelBuffer(buffer);
    // The const-data form: a QImage that is painted into copies its pixels first, so a published
    // frame is never written.
    return QImage(
        static_cast<const uchar*>(held->baseAddress(0)), held->width(), held->height(), static_cast<qsizetype>(held->bytesPerRow(0)),
        QImage::Format_ARGB32_Premultiplied, [](void* info) { delete static_cast<PixelBuffer*>(info); }, held);
}

QImage fromImage(const Image& image)
{
    if (!image.hasPixels() || image.width() < 1 || image.height() < 1) {
        return {};
    }
    PixelBuffer buffer = PixelBuffer::create(PixelFormat::bgra, image.width(), image.height());
    const bool atOrigin = image.originX() == 0 && image.originY() == 0;
    renderImageToPixelBuffer(atOrigin ? image : image.translatedBy(-image.originX(), -image.originY()), buffer);
    return wrapBgraBuffer(buffer);
}

} // namespace velmora::PreviewPictureImage
