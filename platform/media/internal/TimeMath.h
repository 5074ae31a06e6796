#pragma once

// Private to the media layer: exact arithmetic on media times.

#include <cstdint>

#include "platform/media/MediaTime.h"

namespace velmora::internal {

// ⌊time / step⌋ exactly: how many whole steps lie between zero and `time` (negative before
// zero). The largest count for +inf, the smallest for anything non-numeric or a step that is not
// a positive number.
std::int64_t floorDivide(const MediaTime& time, const MediaTime& step);

} // namespace velmora::internal
