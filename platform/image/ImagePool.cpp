#include "platform/image/ImagePool.h"

#include <sys/mman.h>

#include <mutex>
#include <new>
#include <vector>

namespace velmora::ImagePool {

namespace {

constexpr std::align_val_t alignment{64};
// Buffers of this size and above (a 1080p float frame is 33 MB) sit on 2 MB pages where the
// kernel allows them: writing a frame then costs a fraction of the page-table walks, which for
// the cache-bypassing stores of a frame conversion are a large share of the time.
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kHugePageMinimum = 8 * kHugePage;
constexpr std::align_val_t hugeAlignment{kHugePage};

bool onHugePages(std::size_t bytes)
{
    return bytes >= kHugePageMinimum;
}

struct Idle {
    float* data;
    std::size_t floats;
};

struct Pool {
    std::mutex mutex;
    std::vector<Idle> idle; // most recently released last
    std::size_t idleBytes = 0;
    // Enough for a few 4K float frames in flight between the decoder, the grade and the encoder.
    std::size_t limit = std::size_t{768} << 20;
};

Pool& pool()
{
    // Never destroyed: buffers may be released from static destructors of other units.
    static Pool* instance = new Pool;
    return *instance;
}

void freeBuffer(float* data, std::size_t floats)
{
    if (onHugePages(floats * sizeof(float))) {
        ::operator delete[](data, hugeAlignment);
    } else {
        ::operator delete[](data, alignment);
    }
}

// Moves the oldest idle buffers into `toFree` until the idle bytes are within the limit; the
// caller holds the pool's mutex and frees them after letting it go.
void takeOverLimit(Pool& p, std::vector<Idle>& toFree)
{
    std::size_t drop = 0;
    while (p.idleBytes > p.limit && drop < p.idle.size()) {
        p.idleBytes -= p.idle[drop].floats * sizeof(float);
        toFree.push_back(p.idle[drop]);
        ++drop;
    }
    p.idle.erase(p.idle.begin(), p.idle.begin() + static_cast<std::ptrdiff_t>(drop));
}

void release(float* data, std::size_t floats)
{
    Pool& p = pool();
    const std::size_t bytes = floats * sizeof(float);
    std::vector<Idle> toFree;
    {
        std::lock_guard lock(p.mutex);
        if (bytes <= p.limit) {
            p.idle.push_back({data, floats});
            p.idleBytes += bytes;
            data = nullptr;
            takeOverLimit(p, toFree);
        }
    }
    if (data) {
        freeBuffer(data, floats);
    }
    for (const Idle& f : toFree) {
        freeBuffer(f.data, f.floats);
    }
}

} // namespace

std::shared_ptr<float> acquire(std::size_t floatCount)
{
    if (floatCount == 0) {
        floatCount = 1;
    }
    float* data = nullptr;
    {
        Pool& p = pool();
        std::lock_guard lock(p.mutex);
        for (std::size_t i = p.idle.size(); i-- > 0;) {
            if (p.idle[i].floats == floatCount) {
                data = p.idle[i].data;
                p.idleBytes -= floatCount * sizeof(float);
                p.idle.erase(p.idle.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        }
    }
    if (!data) {
        if (floatCount > (~std::size_t{0}) / sizeof(float)) {
            throw std::bad_alloc();
        }
        const std::size_t bytes = floatCount * sizeof(float);
        if (onHugePages(bytes)) {
            data = static_cast<float*>(::operator new[](bytes, hugeAlignment));
            ::madvise(data, bytes & ~(kHugePage - 1), MADV_HUGEPAGE);
        } else {
            data = static_cast<float*>(::operator new[](bytes, alignment));
        }
    }
    try {
        return std::shared_ptr<float>(data, [floatCount](float* f) { release(f, floatCount); });
    } catch (...) {
        freeBuffer(data, floatCount);
        throw;
    }
}

std::size_t retainedBytes()
{
    std::lock_guard lock(pool().mutex);
    return pool().idleBytes;
}

std::size_t retainedByteLimit()
{
    std::lock_guard lock(pool().mutex);
    return pool().limit;
}

void setRetainedByteLimit(std::size_t bytes)
{
    Pool& p = pool();
    std::vector<Idle> toFree;
    {
        std::lock_guard lock(p.mutex);
        p.limit = bytes;
        takeOverLimit(p, toFree);
    }
    for (const Idle& f : toFree) {
        freeBuffer(f.data, f.floats);
    }
}

} // namespace velmora::ImagePool
