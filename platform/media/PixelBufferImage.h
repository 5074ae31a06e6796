#pragma once

#include "platform/image/Image.h"
#include "platform/media/PixelBuffer.h"

namespace velmora {

// Conversions between pixel buffers and float images, as the platform's image framework does
// when it wraps or renders into a buffer.

// The R'G'B' image of a buffer, extent (0, 0, width, height), row 0 = the buffer's top row.
// Y'CbCr buffers are converted with the matrix and range of their attachments (BT.709 video
// range when untagged), chroma repeated over its block, alpha 1; BGRA is read as full-range
// 8-bit with its alpha. The image carries the buffer's attachments as tags.
// Rows split across cores.
Image imageFromPixelBuffer(const PixelBuffer& buffer);

// Renders `image` into `buffer` over the rectangle (0, 0, width, height) of the image's y-up
// space (the buffer's top row is y = height - 1); pixels outside the image are black.
// Y'CbCr buffers: the matrix and range of the buffer's attachments (BT.709 video range when
// untagged); chroma is the average of the R'G'B' over its 2×2 (4:2:0) or 2×1 (4:2:2) block;
// every value is rounded to the nearest code value of the buffer's depth and clamped; NaN
// counts as 0. Written straight from float, with no 8-bit step in between; the image's pending
// steps run on the way. Rows split across cores; nothing is allocated per frame.
void renderImageToPixelBuffer(const Image& image, PixelBuffer& buffer);

} // namespace velmora
