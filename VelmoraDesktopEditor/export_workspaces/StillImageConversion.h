#pragma once

#include <QImage>

#include "platform/image/Image.h"

namespace velmora {

// The pixels of `image` as an 8-bit RGBA picture of the same size, top row first: each channel
// clamped to 0 … 1 and rounded to the nearest code value, NaN as 0. An image without pixels
// (empty or constant) gives a null QImage. Runs on any thread; the rows are split across cores.
QImage stillImageToQImage(const Image& image);

} // namespace velmora
