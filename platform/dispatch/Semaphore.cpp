#include "platform/dispatch/Semaphore.h"

#include <chrono>

namespace velmora {

void Semaphore::signal()
{
    {
        std::lock_guard lock(mutex_);
        ++count_;
    }
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
