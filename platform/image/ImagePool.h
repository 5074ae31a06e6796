#pragma once

#include <cstddef>
#include <memory>

namespace velmora::ImagePool {

// Pixel buffers for Image, recycled: when the last owner of a buffer lets it go, the buffer
// returns to the pool (up to retainedByteLimit() bytes of idle buffers; beyond that it is freed)
// and the next request for the same number of floats takes it back without touching the
// allocator or faulting in fresh pages, which for a 4K float frame (133 MB) is most of the cost.
// Thread-safe.

// A buffer of `floatCount` floats, 64-byte aligned, contents unspecified.
// Throws std::bad_alloc when memory runs out.
std::shared_ptr<float> acquire(std::size_t floatCount);

// Idle bytes held by the pool now.
std::size_t retainedBytes();
std::size_t retainedByteLimit();
// Changes the idle limit (0 disables recycling) and frees idle buffers beyond it.
void setRetainedByteLimit(std::size_t bytes);

} // namespace velmora::ImagePool
