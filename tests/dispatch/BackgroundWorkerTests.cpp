#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/dispatch/BackgroundWorker.h"

namespace velmora {
namespace {

// A gate a work item waits at; opened by the test, or after `limit` at the latest, so that a
// worker whose destruction waits for the item is seen to have waited rather than hanging.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    bool reached = false;

    void waitAt(std::chrono::seconds limit)
    {
        std::unique_lock lock(mutex);
        reached = true;
        changed.notify_all();
        changed.wait_for(lock, limit, [&] { return open; });
    }
    void waitUntilReached()
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return reached; });
    }
    void openIt()
    {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
};

TEST(BackgroundWorker, DestroyingItWaitsForNoWorkAndSkipsWhatIsQueuedAfterTheStop)
{
    auto gate = std::make_shared<Gate>();
    auto running = std::make_shared<std::atomic<bool>>(true);
    auto queuedRan = std::make_shared<std::atomic<bool>>(false);
    {
        BackgroundWorker worker("test.left");
        const std::stop_token stop = worker.stopToken();
        worker.run([gate, running] {
            gate->waitAt(std::chrono::seconds(20));
            running->store(false);
        });
        worker.run([stop, queuedRan] {
            if (!stop.stop_requested())
                queuedRan->store(true);
        });
        gate->waitUntilReached();
    }
    // The worker is gone while its item still runs.
    EXPECT_TRUE(running->load());
    EXPECT_TRUE(BackgroundWorker::workLeftRunning());
    gate->openIt();
    BackgroundWorker::joinLeftWork();
    EXPECT_FALSE(running->load());
    EXPECT_FALSE(queuedRan->load());
    EXPECT_FALSE(BackgroundWorker::workLeftRunning());
}

} // namespace
} // namespace velmora
