#include "platform/dispatch/Semaphore.h"

#include <chrono>

namespace velmora {

void Semaphore::signal()
{
    // Notified under the lock: a waiter that wakes may destroy the semaphore at once (SerialQueue::sync
    // keeps it on its stack), so nothing may touch it after the lock is released.
    std::lock_guard lock(mutex_);
    ++count_;
    cv_.notify_one();
}

void Semaphore::wait()
{
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return count_ > 0; });
    --count_;
}

bool Semaphore::waitFor(double seconds)
{
    std::unique_lock lock(mutex_);
    const auto timeout = std::chrono::duration<double>(seconds < 0 ? 0 : seconds);
    if (!cv_.wait_for(lock, timeout, [this] { return count_ > 0; })) {
        return false;
    }
    --count_;
    return true;
}

} // namespace velmora
