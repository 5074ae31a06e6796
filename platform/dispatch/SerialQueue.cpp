#include "platform/dispatch/SerialQueue.h"

#include <algorithm>
#include <pthread.h>

#include "platform/dispatch/Semaphore.h"

namespace velmora {

SerialQueue::SerialQueue(std::string label)
    : label_(std::move(label))
{
    worker_ = std::thread([this] { run(); });
    const std::string shortName = label_.substr(0, 15);
    pthread_setname_np(worker_.native_handle(), shortName.c_str());
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    cv_.notify_all();
    if (worker_.joinable()) {
        if (worker_.get_id() == std::this_thread::get_id()) {
            // The last owner let go from inside a work item: the thread cannot join itself.
            worker_.detach();
        } else {
            worker_.join();
        }
    }
}

void SerialQueue::async(std::function<void()> work)
{
    {
        std::lock_guard lock(mutex_);
        items_.push_back(std::move(work));
    }
    cv_.notify_one();
}

void SerialQueue::sync(const std::function<void()>& work)
{
    if (isCurrent()) {
        work();
        return;
    }
    Semaphore done;
    std::exception_ptr failure;
    async([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        done.signal();
    });
    done.wait();
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void SerialQueue::asyncAfter(double seconds, std::function<void()> work)
{
    const auto due = std::chrono::steady_clock::now()
        + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(std::max(0.0, seconds)));
    {
        std::lock_guard lock(mutex_);
        delayed_.push_back(Delayed{due, delayedOrder_++, std::move(work)});
    }
    cv_.notify_one();
}

bool SerialQueue::isCurrent() const
{
    return worker_.get_id() == std::this_thread::get_id();
}

void SerialQueue::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        // Move due delayed items to the FIFO in due order.
        const auto now = std::chrono::steady_clock::now();
        std::sort(delayed_.begin(), delayed_.end(), [](const Delayed& a, const Delayed& b) {
            return a.due != b.due ? a.due < b.due : a.order < b.order;
        });
        while (!delayed_.empty() && delayed_.front().due <= now) {
            items_.push_back(std::move(delayed_.front().work));
            delayed_.erase(delayed_.begin());
        }
        if (!items_.empty()) {
            auto work = std::move(items_.front());
            items_.pop_front();
            lock.unlock();
            work();
            lock.lock();
            continue;
        }
        if (stopping_) {
            return;
        }
        if (delayed_.empty()) {
            cv_.wait(lock);
        } else {
            cv_.wait_until(lock, delayed_.front().due);
        }
    }
}

} // namespace velmora
