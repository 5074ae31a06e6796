#include "platform/dispatch/ManualMainQueue.h"

#include <algorithm>
#include <chrono>

namespace velmora {

ManualMainQueue::ManualMainQueue()
    : owner_(std::this_thread::get_id())
{
}

void ManualMainQueue::post(std::function<void()> work)
{
    {
        std::lock_guard lock(mutex_);
        items_.push_back(Item{now_, order_++, CancelHandle{}, std::move(work)});
    }
    cv_.notify_all();
}

CancelHandle ManualMainQueue::postDelayed(double seconds, std::function<void()> work)
{
    CancelHandle handle;
    {
        std::lock_guard lock(mutex_);
        items_.push_back(Item{now_ + std::max(0.0, seconds), order_++, handle, std::move(work)});
    }
    cv_.notify_all();
    return handle;
}

bool ManualMainQueue::isCurrent() const
{
    return std::this_thread::get_id() == owner_;
}

double ManualMainQueue::now() const
{
    std::lock_guard lock(mutex_);
    return now_;
}

bool ManualMainQueue::takeDue(Item& out)
{
    std::lock_guard lock(mutex_);
    auto best = items_.end();
    for (auto it = items_.begin(); it != items_.end(); ++it) {
        if (it->due > now_) {
            continue;
        }
        if (best == items_.end() || it->due < best->due || (it->due == best->due && it->order < best->order)) {
            best = it;
        }
    }
    if (best == items_.end()) {
        return false;
    }
    out = std::move(*best);
    items_.erase(best);
    return true;
}

int ManualMainQueue::runUntilIdle()
{
    int count = 0;
    Item item;
    while (takeDue(item)) {
        if (!item.handle.isCancelled()) {
            item.work();
            ++count;
        }
    }
    return count;
}

int ManualMainQueue::advance(double seconds)
{
    double target = 0.0;
    {
        std::lock_guard lock(mutex_);
        target = now_ + std::max(0.0, seconds);
    }
    int count = runUntilIdle();
    for (;;) {
        double next = target;
        bool found = false;
        {
            std::lock_guard lock(mutex_);
            for (const auto& item : items_) {
                if (item.due <= target && (!found || item.due < next)) {
                    next = item.due;
                    found = true;
                }
            }
            now_ = found ? std::max(now_, next) : target;
        }
        count += runUntilIdle();
        if (!found) {
            return count;
        }
    }
}

bool ManualMainQueue::runUntil(const std::function<bool()>& done, double timeoutSeconds)
{
    using SteadyClock = std::chrono::steady_clock;
    const SteadyClock::time_point deadline = SteadyClock::now()
        + std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(timeoutSeconds));
    for (;;) {
        runUntilIdle();
        if (done()) {
            return true;
        }
        std::unique_lock lock(mutex_);
        const bool hasDue = std::any_of(items_.begin(), items_.end(), [this](const Item& i) { return i.due <= now_; });
        if (!hasDue) {
            const SteadyClock::time_point slice = SteadyClock::now() + std::chrono::milliseconds(20);
            if (cv_.wait_until(lock, std::min(deadline, slice)) == std::cv_status::timeout
                && SteadyClock::now() >= deadline) {
                lock.unlock();
                runUntilIdle();
                return done();
            }
        }
    }
}

int ManualMainQueue::pendingCount() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(items_.begin(), items_.end(), [](const Item& i) { return !i.handle.isCancelled(); }));
}

} // namespace velmora
