#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velmora {

// A FIFO queue of work run one item at a time on one worker thread named after the label
// (the first 15 characters, as the kernel keeps them). Destruction runs every item already
// queued, then joins the worker; delayed items not yet due are dropped.
class SerialQueue {
public:
    explicit SerialQueue(std::string label);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const { return label_; }

    void async(std::function<void()> work);
    // Runs `work` on the queue and waits for it. Called from the queue's own thread it runs
    // inline instead of deadlocking.
    void sync(const std::function<void()>& work);
    void asyncAfter(double seconds, std::function<void()> work);

    // True on the queue's worker thread.
    bool isCurrent() const;

private:
    void run();

    struct Delayed {
        std::chrono::steady_clock::time_point due;
        std::uint64_t order;
        std::function<void()> work;
    };

    std::string label_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> items_; // guarded by mutex_
    std::vector<Delayed> delayed_;             // guarded by mutex_
    std::uint64_t delayedOrder_ = 0;           // guarded by mutex_
    bool stopping_ = false;                    // guarded by mutex_
    std::thread worker_;
};

} // namespace velmora
