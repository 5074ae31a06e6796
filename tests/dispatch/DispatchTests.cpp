#include "platform/dispatch/ConcurrentPerform.h"
#include "platform/dispatch/ManualMainQueue.h"
#include "platform/dispatch/QtMainQueue.h"
#include "platform/dispatch/Semaphore.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/dispatch/internal/HandOver.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace velmora {
namespace {

TEST(SerialQueue, RunsItemsInOrderOnOneNamedThread)
{
    std::vector<int> order;
    std::string name;
    {
        SerialQueue queue("export.timeline.render");
        for (int i = 0; i < 100; ++i) {
            queue.async([&order, i] { order.push_back(i); });
        }
        queue.sync([&] {
            char buffer[32] = {};
            pthread_getname_np(pthread_self(), buffer, sizeof buffer);
            name = buffer;
        });
    }
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(order[i], i);
    }
    EXPECT_EQ(name, "export.timeline");
}

TEST(SerialQueue, SyncFromItsOwnThreadRunsInline)
{
    SerialQueue queue("q");
    bool ran = false;
    queue.sync([&] { queue.sync([&] { ran = true; }); });
    EXPECT_TRUE(ran);
}

TEST(SerialQueue, SyncRethrowsTheWorkItemsException)
{
    SerialQueue queue("q");
    EXPECT_THROW(queue.sync([] { throw std::runtime_error("boom"); }), std::runtime_error);
}

TEST(SerialQueue, DestructionDrainsQueuedWork)
{
    std::atomic<int> count{0};
    {
        SerialQueue queue("q");
        for (int i = 0; i < 50; ++i) {
            queue.async([&] { ++count; });
        }
    }
    EXPECT_EQ(count.load(), 50);
}

// The worker is held until both items are queued, so that however late this thread gets to the
// second call, the delayed item is not yet due or is due behind the immediate one; and it never
// runs before its delay.
TEST(SerialQueue, AsyncAfterRunsLaterThanImmediateWork)
{
    std::vector<int> order;
    std::chrono::steady_clock::duration waited{};
    Semaphore held;
    Semaphore done;
    SerialQueue queue("q");
    queue.async([&] { held.wait(); });
    const auto asked = std::chrono::steady_clock::now();
    queue.asyncAfter(0.05, [&] {
        waited = std::chrono::steady_clock::now() - asked;
        order.push_back(2);
        done.signal();
    });
    queue.async([&] { order.push_back(1); });
    held.signal();
    ASSERT_TRUE(done.waitFor(60));
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_GE(waited, std::chrono::milliseconds(50));
}

TEST(Semaphore, TimedWaitFailsWithoutSignalAndSucceedsWithOne)
{
    Semaphore semaphore;
    EXPECT_FALSE(semaphore.waitFor(0.01));
    semaphore.signal();
    EXPECT_TRUE(semaphore.waitFor(0.01));
}

TEST(ManualMainQueue, DelayedWorkRunsAtItsVirtualTimeAndCanBeCancelled)
{
    ManualMainQueue main;
    std::vector<std::string> ran;
    main.postDelayed(0.12, [&] { ran.push_back("rebuild"); });
    CancelHandle cancelled = main.postDelayed(0.05, [&] { ran.push_back("cancelled"); });
    main.post([&] { ran.push_back("now"); });
    cancelled.cancel();

    EXPECT_EQ(main.runUntilIdle(), 1);
    EXPECT_EQ(ran, (std::vector<std::string>{"now"}));
    main.advance(0.1);
    EXPECT_EQ(ran.size(), 1u);
    main.advance(0.02);
    EXPECT_EQ(ran, (std::vector<std::string>{"now", "rebuild"}));
    EXPECT_EQ(main.pendingCount(), 0);
}

TEST(ManualMainQueue, RunUntilReceivesPostsFromBackgroundThreads)
{
    ManualMainQueue main;
    SerialQueue worker("worker");
    bool arrived = false;
    worker.async([&] { main.post([&] { arrived = main.isCurrent(); }); });
    EXPECT_TRUE(main.runUntil([&] { return arrived; }, 5));
}

// A background job may hold the last reference to a queue: released there, the queue leaves
// its Qt object to the main thread, where the work posted before still runs.
TEST(QtMainQueue, ReleasedOnABackgroundThreadStillDeliversOnTheMainThread)
{
    int argc = 1;
    char name[] = "dispatch_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    auto queue = std::make_shared<QtMainQueue>();
    EXPECT_TRUE(queue->isCurrent());
    QThread* ranOn = nullptr;
    std::thread worker([queue = std::move(queue), &ranOn]() mutable {
        EXPECT_FALSE(queue->isCurrent());
        queue->post([&ranOn] { ranOn = QThread::currentThread(); });
        queue.reset();
    });
    worker.join();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(ranOn, QThread::currentThread());
}

// Ends the process with `message` unless disarmed within `bound`: a test whose failure is a
// deadlock fails with words instead of holding the run until its time limit.
class DeadlockWatchdog {
public:
    DeadlockWatchdog(std::chrono::seconds bound, const char* message)
        : thread_([this, bound, message] {
              std::unique_lock lock(mutex_);
              if (!disarmed_.wait_for(lock, bound, [this] { return done_; })) {
                  std::fprintf(stderr, "%s\n", message);
                  std::fflush(stderr);
                  std::_Exit(EXIT_FAILURE);
              }
          })
    {
    }
    ~DeadlockWatchdog()
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        disarmed_.notify_one();
        thread_.join();
    }
    DeadlockWatchdog(const DeadlockWatchdog&) = delete;
    DeadlockWatchdog& operator=(const DeadlockWatchdog&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable disarmed_;
    bool done_ = false;
    std::thread thread_;
};

// At quit, Qt deletes the blocks never delivered while it holds its posted-event list locked. A
// block may hold the last reference to the queue that posted it, with more blocks behind it:
// the queue then goes away inside that deletion and must neither remove nor post events.
TEST(QtMainQueue, AnUndeliveredBlockHoldingTheLastReferenceLetsTheApplicationGo)
{
    DeadlockWatchdog watchdog(std::chrono::seconds(60),
        "QtMainQueue.AnUndeliveredBlockHoldingTheLastReferenceLetsTheApplicationGo: destroying the "
        "application deadlocked (the queue went inside Qt's deletion of the undelivered blocks)");
    int argc = 1;
    char name[] = "dispatch_tests";
    char* argv[] = {name, nullptr};
    auto application = std::make_unique<QCoreApplication>(argc, argv);
    auto queue = std::make_shared<QtMainQueue>();
    bool ran = false;
    queue->post([queue] {});
    queue->post([&ran] { ran = true; });
    queue->postDelayed(0.0, [&ran] { ran = true; });
    queue.reset();
    application.reset();
    EXPECT_FALSE(ran);
}

// Runs the main thread's events until `done` holds (at most ten seconds).
bool processEventsUntil(const std::function<bool()>& done)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < giveUp)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

// What a worker wrote before posting is there when the block runs on the main thread. Only
// ThreadSanitizer can fail it: the hand-over must be visible to it as such (no report), without
// suppressing anything that runs below QtCore's frames.
TEST(QtMainQueue, ABlockSeesWhatItsPosterWroteBeforePostingUnderThreadSanitizer)
{
    int argc = 1;
    char name[] = "dispatch_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    auto queue = std::make_shared<QtMainQueue>();
    std::vector<int> written;
    std::atomic<int> seen = 0;
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i)
            written.push_back(i);
        queue->post([&] { seen = static_cast<int>(written.size()); });
        // Stays alive while the block runs, so that only the hand-over orders the two threads.
        while (seen == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    EXPECT_TRUE(processEventsUntil([&] { return seen != 0; }));
    worker.join();
    EXPECT_EQ(seen, 100);
}

// A deliberate race in a block posted through the main queue: the worker writes after it posted,
// unordered against the block's read. Never run in the normal suite; under ThreadSanitizer
// (tests/support/tsan.supp says how) it must be reported, which shows that the suppressions do
// not hide our own code running below QtCore's frames.
TEST(QtMainQueue, DISABLED_ARaceInAPostedBlockIsReportedUnderThreadSanitizer)
{
    int argc = 1;
    char name[] = "dispatch_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    auto queue = std::make_shared<QtMainQueue>();
    int shared = 0;
    std::atomic<bool> ran = false;
    std::thread worker([&] {
        queue->post([&] {
            EXPECT_GE(shared, 0);
            ran = true;
        });
        shared = 1;
        while (!ran)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    EXPECT_TRUE(processEventsUntil([&] { return ran.load(); }));
    worker.join();
}

// A deliberate race between two unrelated hand-overs: one thread writes and hands over one object,
// another takes over a different object and reads. Taking over one object orders nothing after
// the giver of another, so under ThreadSanitizer (tests/support/tsan.supp says how) it must be
// reported. The threads meet through a relaxed flag, which the detector sees as no ordering.
TEST(HandOver, DISABLED_UnrelatedHandOversLeaveARaceReportedUnderThreadSanitizer)
{
    int shared = 0;
    const int first = 0;
    const int second = 0;
    std::atomic<bool> handedOver = false;
    std::thread giver([&] {
        shared = 1;
        internal::handOver(&first);
        handedOver.store(true, std::memory_order_relaxed);
    });
    std::thread receiver([&] {
        while (!handedOver.load(std::memory_order_relaxed))
            std::this_thread::yield();
        internal::takeOver(&second);
        EXPECT_EQ(shared, 1);
    });
    giver.join();
    receiver.join();
}

TEST(ConcurrentPerform, CoversEveryIndexExactlyOnce)
{
    for (std::size_t count : {0u, 1u, 7u, 1000u, 2161u}) {
        std::vector<std::atomic<int>> hits(count);
        concurrentPerform(count, 1, [&](std::size_t begin, std::size_t end) {
            for (std::size_t i = begin; i < end; ++i) {
                hits[i]++;
            }
        });
        for (std::size_t i = 0; i < count; ++i) {
            ASSERT_EQ(hits[i].load(), 1) << "count " << count << " index " << i;
        }
    }
}

// Inline (one chunk) and across the pool, where every chunk throws: the call fails with the first
// exception, whichever thread ran it, and the pool still works afterwards.
TEST(ConcurrentPerform, AThrowingBodyFailsTheCallWithItsException)
{
    for (std::size_t count : {1u, 5000u}) {
        try {
            concurrentPerform(count, 1, [](std::size_t, std::size_t) {
                throw std::system_error(std::make_error_code(std::errc::permission_denied), "open");
            });
            ADD_FAILURE() << "no exception for count " << count;
        } catch (const std::system_error& error) {
            EXPECT_EQ(error.code(), std::make_error_code(std::errc::permission_denied));
        }
        std::atomic<std::size_t> covered = 0;
        concurrentPerform(count, 1, [&](std::size_t begin, std::size_t end) { covered += end - begin; });
        EXPECT_EQ(covered.load(), count);
    }
}

// The call's failure belongs to its caller alone: once the caller's handler has ended, the
// exception is gone, even while every pool worker is busy and the call's queued shares of work
// are still waiting for one. Nothing a worker frees later can touch what the caller read.
TEST(ConcurrentPerform, ABodysExceptionEndsWithTheCallersHandler)
{
    struct Thrown : std::runtime_error {
        std::shared_ptr<int> token = std::make_shared<int>();
        Thrown() : std::runtime_error("body") {}
    };
    const std::size_t width = concurrencyWidth();
    Semaphore started;
    Semaphore release;
    std::thread occupier([&] {
        concurrentPerform(width, 1, [&](std::size_t, std::size_t) {
            started.signal();
            release.wait();
        });
    });
    for (std::size_t i = 0; i < width; ++i)
        started.wait();
    std::weak_ptr<int> token;
    try {
        concurrentPerform(64, 1, [&](std::size_t, std::size_t) {
            Thrown thrown;
            token = thrown.token;
            throw thrown;
        });
        ADD_FAILURE() << "no exception";
    } catch (const Thrown& error) {
        EXPECT_STREQ(error.what(), "body");
    }
    EXPECT_TRUE(token.expired());
    for (std::size_t i = 0; i < width; ++i)
        release.signal();
    occupier.join();
}

// Whichever thread starts the pool, its workers go by the pool's name, never by the starter's.
// The pool starts once a process, so the test runs in a fresh run of this binary of its own,
// where a thread with another name is the pool's first user.
TEST(ConcurrentPerform, ItsWorkersGoByTheirOwnName)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string expected = "perform " + std::to_string(usableCoreCount() - 1) + ", thumbs 0\\.";
    const auto startAndCount = [] {
        std::thread([] {
            pthread_setname_np(pthread_self(), "velmora.thumbs");
            concurrencyWidth();
        }).join();
        std::map<std::string, std::size_t> names;
        for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
            std::string name;
            std::getline(std::ifstream(task.path() / "comm"), name);
            ++names[name];
        }
        std::fprintf(stderr, "perform %zu, thumbs %zu.\n", names["velmora.perform"], names["velmora.thumbs"]);
        std::exit(0);
    };
    EXPECT_EXIT(startAndCount(), ::testing::ExitedWithCode(0), expected);
}

TEST(ConcurrentPerform, CountsOnlyTheCoresTheProcessMayUse)
{
    cpu_set_t all;
    ASSERT_EQ(::sched_getaffinity(0, sizeof all, &all), 0);
    // A thread of its own, so narrowing its affinity leaves the test's thread as it was.
    std::size_t whenNarrowed = 0;
    int wanted = 0;
    std::thread([&] {
        cpu_set_t narrowed;
        CPU_ZERO(&narrowed);
        for (int cpu = 0; cpu < CPU_SETSIZE && wanted < 2; ++cpu) {
            if (CPU_ISSET(cpu, &all)) {
                CPU_SET(cpu, &narrowed);
                ++wanted;
            }
        }
        if (::sched_setaffinity(0, sizeof narrowed, &narrowed) == 0) {
            whenNarrowed = usableCoreCount();
        }
    }).join();
    EXPECT_EQ(whenNarrowed, static_cast<std::size_t>(wanted));
    EXPECT_LE(usableCoreCount(), static_cast<std::size_t>(CPU_COUNT(&all)));
    EXPECT_GE(concurrencyWidth(), 1u);
}

TEST(ConcurrentPerform, NestedCallsRunInline)
{
    std::atomic<int> total{0};
    concurrentPerform(8, 1, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            concurrentPerform(10, 1, [&](std::size_t b, std::size_t e) { total += static_cast<int>(e - b); });
        }
    });
    EXPECT_EQ(total.load(), 80);
}

} // namespace
} // namespace velmora
