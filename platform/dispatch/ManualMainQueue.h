#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dispatch/MainQueue.h"

namespace velmora {

// A main queue for tests: work runs only when the test says so, on the test's thread, and
// delayed work runs against virtual time. `post` may be called from any thread.
class ManualMainQueue final : public MainQueue {
public:
    ManualMainQueue();

    void post(std::function<void()> work) override;
    CancelHandle postDelayed(double seconds, std::function<void()> work) override;
    bool isCurrent() const override;

    // Virtual time in seconds since construction.
    double now() const;
    // Runs everything due now, including work posted by that work. Returns the number run.
    int runUntilIdle();
    // Moves virtual time forward by `seconds`, running delayed work at its due times in order.
    int advance(double seconds);
    // Waits in real time (at most `timeoutSeconds`) for background threads, running posted
    // work as it arrives, until `done` holds. Returns `done()`.
    bool runUntil(const std::function<bool()>& done, double timeoutSeconds);
    // Number of items waiting (immediate and delayed, cancelled ones excluded).
    int pendingCount() const;

private:
    struct Item {
        double due;
        std::uint64_t order;
        CancelHandle handle;
        std::function<void()> work;
    };
    bool takeDue(Item& out);

    std::thread::id owner_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Item> items_; // guarded by mutex_
    std::uint64_t order_ = 0; // guarded by mutex_
    double now_ = 0.0;        // guarded by mutex_
};

} // namespace velmora
