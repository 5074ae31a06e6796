#pragma once

#include <cstddef>
#include <functional>

namespace velmora {

// Runs body(begin, end) over [0, count) split into contiguous chunks on a process-wide pool
// of worker threads (one per usable core, each named "velmora.perform") and the calling
// thread, and returns when every chunk is done. Chunks hold at least `minChunk` indices. Nested
// calls from a body run inline on that thread. A body that throws fails the call: the chunks not
// yet started are skipped, and once every running one has ended the first exception is rethrown
// on the calling thread, which then holds the only reference to it.
void concurrentPerform(std::size_t count, std::size_t minChunk,
                       const std::function<void(std::size_t begin, std::size_t end)>& body);

// The number of threads concurrentPerform uses (workers plus the caller): usableCoreCount()
// when the pool was first used.
std::size_t concurrencyWidth();

// The cores the calling thread may run on (its CPU affinity), further limited by a CPU quota
// of its control group (cgroup v2 "cpu.max", rounded up); at least 1.
std::size_t usableCoreCount();

} // namespace velmora
