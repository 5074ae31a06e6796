#pragma once

#include <QImage>

#include "platform/image/Image.h"

namespace velmora {

// The pixels of an image as an 8-bit RGBA QImage of its size, top row first: each component
// clamped to 0…1 and rounded to the nearest code (not a number counts as 0). Pending steps run
// first. A null QImage for an image without pixels. Any thread; rows are converted across cores.
QImage toQImage(const Image& image);

} // namespace velmora
