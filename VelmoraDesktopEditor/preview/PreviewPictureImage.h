#pragma once

#include <QImage>

#include "platform/image/Image.h"
#include "platform/media/PixelBuffer.h"

// The pictures the program monitor paints, as QImages in the one layout QPainter draws fastest:
// 32-bit premultiplied ARGB, which is the byte order of the players' BGRA buffers.
namespace velmora::PreviewPictureImage {

// A QImage over the pixels of a BGRA buffer, without copying them: the image keeps the buffer
// (and so keeps it out of its pool) until its last copy is gone. The player's frames are opaque
// or transparent black, so their straight alpha reads as premultiplied. A null image for an
// empty buffer or one of another format. Any thread.
QImage wrapBgraBuffer(const PixelBuffer& buffer);

// The pixels of an opaque `image`, its extent moved to the origin, rendered into a new BGRA buffer (8 bits, values
// clamped and rounded, rows across cores) and wrapped as above. A null image for an image
// without pixels. Any thread; the graded still is converted on its grading queue.
QImage fromImage(const Image& image);

} // namespace velmora::PreviewPictureImage
