#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/dispatch/ConcurrentPerform.h"
#include "platform/dispatch/ThreadPriority.h"

namespace velmora {
namespace {

int niceOf(id_t thread)
{
    return getpriority(PRIO_PROCESS, thread);
}

// A background thread that lowers its priority and then splits work across the shared pool
// leaves the pool's workers, which the window's own work also runs on, at the process's priority.
TEST(ThreadPriority, ALoweredThreadLeavesTheSharedWorkersAtTheProcesssPriority)
{
    const int own = niceOf(static_cast<id_t>(syscall(SYS_gettid)));
    if (own >= 10) {
        GTEST_SKIP() << "the process already runs at nice " << own;
    }
    int lowered = own;
    std::thread background([&] {
        lowerCurrentThreadPriority(10);
        lowered = niceOf(static_cast<id_t>(syscall(SYS_gettid)));
        concurrentPerform(1000, 1, [](std::size_t, std::size_t) {});
    });
    background.join();
    EXPECT_EQ(lowered, 10);

    int threads = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        const auto thread = static_cast<id_t>(std::stoul(task.path().filename().string()));
        EXPECT_EQ(niceOf(thread), own) << "thread " << thread;
        ++threads;
    }
    EXPECT_GE(threads, static_cast<int>(concurrencyWidth()));
}

} // namespace
} // namespace velmora
