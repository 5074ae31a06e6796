#pragma once

#include <atomic>
#include <cstdint>

// Hand-overs of work between threads through Qt (its event queue, its thread pool), as the race
// detector can see them. Qt orders everything the giving thread did before the hand-over ahead
// of the work, but through synchronisation inside QtCore, which the race detector does not see
// (the library is not instrumented). A release increment just before handing over, and an
// acquire load on the receiving side before anything handed over is read, say the same in our
// own code, where it sees them: the hand-over is understood without a suppression covering what
// runs under QtCore's frames, so a race the hand-over does not order (the giver writing after it
// handed over) is still reported. One atomic operation per hand-over.
namespace velmora::internal {

inline std::atomic<std::uint64_t> handOvers{0};

// The giving thread, after the last write to what it hands over, just before handing it over.
inline void handOver()
{
    handOvers.fetch_add(1, std::memory_order_release);
}

// The receiving thread, before it reads anything handed over (and before destroying it).
inline void takeOver()
{
    (void)handOvers.load(std::memory_order_acquire);
}

} // namespace velmora::internal
