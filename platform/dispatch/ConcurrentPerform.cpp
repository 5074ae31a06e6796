#include "platform/dispatch/ConcurrentPerform.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <exception>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace velmora {

namespace {

// The name of every pool worker (at most 15 characters, the kernel's limit).
constexpr const char* kWorkerName = "velmora.perform";

thread_local bool insideBody = false;

// Marks the calling thread as running a body for the scope's duration, also when it throws.
class InsideBody {
public:
    InsideBody() : was_(insideBody) { insideBody = true; }
    ~InsideBody() { insideBody = was_; }
    InsideBody(const InsideBody&) = delete;
    InsideBody& operator=(const InsideBody&) = delete;

private:
    bool was_;
};

struct Job {
    const std::function<void(std::size_t, std::size_t)>* body = nullptr;
    std::size_t count = 0;
    std::size_t chunk = 1;
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> remaining{0}; // chunks not yet finished
    std::atomic<bool> failed{false};
    std::mutex mutex;
    std::condition_variable done;
    std::exception_ptr failure; // the first body's exception; guarded by mutex

    // Takes and runs chunks until none are left. Returns when this thread has no more to do.
    // Once a body has thrown, the chunks left are counted off without running.
    void work() noexcept
    {
        for (;;) {
            const std::size_t begin = next.fetch_add(chunk);
            if (begin >= count) {
                return;
            }
            const std::size_t end = std::min(count, begin + chunk);
            if (!failed.load(std::memory_order_relaxed)) {
                // The handler ends before the failure is published: the runtime's own hold on
                // the exception is then released ahead of the caller's wake-up, not after it.
                std::exception_ptr thrown;
                try {
                    const InsideBody inside;
                    (*body)(begin, end);
                } catch (...) {
                    thrown = std::current_exception();
                }
                if (thrown) {
                    std::lock_guard lock(mutex);
                    if (!failure) {
                        failure = std::move(thrown);
                    }
                    failed = true;
                }
            }
            if (remaining.fetch_sub(1) == 1) {
                std::lock_guard lock(mutex);
                done.notify_all();
            }
        }
    }
};

class Pool {
public:
    Pool()
    {
        const std::size_t cores = usableCoreCount();
        for (std::size_t i = 1; i < cores; ++i) {
            threads_.emplace_back([this] { loop(); });
            // A new thread starts with its creator's name, and the pool starts on whichever
            // thread first splits work: its workers carry a name of their own instead of
            // passing for that thread's.
            pthread_setname_np(threads_.back().native_handle(), kWorkerName);
        }
    }

    std::size_t width() const { return threads_.size() + 1; }

    void submit(const std::shared_ptr<Job>& job, std::size_t helpers)
    {
        {
            std::lock_guard lock(mutex_);
            for (std::size_t i = 0; i < helpers; ++i) {
                jobs_.push_back(job);
            }
        }
        if (helpers == 1) {
            cv_.notify_one();
        } else {
            cv_.notify_all();
        }
    }

private:
    void loop()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            cv_.wait(lock, [this] { return !jobs_.empty(); });
            auto job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job->work();
            job.reset();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::shared_ptr<Job>> jobs_;
    std::vector<std::thread> threads_;
};

// Never destroyed: background queues (a still being graded, say) may still split work across
// the pool while the process exits and static objects are torn down.
Pool& pool()
{
    static Pool* const instance = new Pool;
    return *instance;
}

// The CPU quota of this process's cgroup v2 group in cores, rounded up; nullopt when there is
// none ("max") or it cannot be read.
std::optional<std::size_t> cgroupCoreQuota()
{
    std::ifstream membership("/proc/self/cgroup");
    std::string line;
    std::string group;
    while (std::getline(membership, line)) {
        if (line.starts_with("0::")) {
            group = line.substr(3);
        }
    }
    if (group.empty()) {
        return std::nullopt;
    }
    std::ifstream limit("/sys/fs/cgroup" + (group == "/" ? std::string() : group) + "/cpu.max");
    std::string quota;
    long long period = 0;
    if (!(limit >> quota >> period) || quota == "max" || period <= 0) {
        return std::nullopt;
    }
    char* end = nullptr;
    const long long microseconds = std::strtoll(quota.c_str(), &end, 10);
    if (end == quota.c_str() || *end != '\0' || microseconds <= 0) {
        return std::nullopt;
    }
    return static_cast<std::size_t>((microseconds + period - 1) / period);
}

} // namespace

std::size_t usableCoreCount()
{
    std::size_t cores = 0;
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
        cores = static_cast<std::size_t>(CPU_COUNT(&allowed));
    }
    if (cores == 0) {
        cores = std::thread::hardware_concurrency();
    }
    if (const auto quota = cgroupCoreQuota()) {
        cores = std::min(cores, *quota);
    }
    return std::max<std::size_t>(1, cores);
}

std::size_t concurrencyWidth()
{
    return pool().width();
}

void concurrentPerform(std::size_t count, std::size_t minChunk,
                       const std::function<void(std::size_t, std::size_t)>& body)
{
    if (count == 0) {
        return;
    }
    minChunk = std::max<std::size_t>(1, minChunk);
    const std::size_t width = insideBody ? 1 : pool().width();
    // About four chunks per thread balances uneven rows without much scheduling cost.
    std::size_t chunk = std::max(minChunk, (count + width * 4 - 1) / (width * 4));
    const std::size_t chunks = (count + chunk - 1) / chunk;
    if (chunks <= 1 || width == 1) {
        const InsideBody inside;
        body(0, count);
        return;
    }
    auto job = std::make_shared<Job>();
    job->body = &body;
    job->count = count;
    job->chunk = chunk;
    job->remaining = chunks;
    pool().submit(job, std::min(chunks - 1, width - 1));
    job->work();
    // The failure leaves the job before it is rethrown. Workers may still hold the job (a queued
    // share not yet taken, or one about to be let go) and free it after the caller has read the
    // exception; the only ordering there is the exception's own reference count, which the race
    // detector cannot see. Taken out here, the exception lives and dies on the calling thread.
    std::exception_ptr failure;
    {
        std::unique_lock lock(job->mutex);
        job->done.wait(lock, [&] { return job->remaining.load() == 0; });
        failure = std::move(job->failure);
    }
    if (failure) {
        std::rethrow_exception(std::move(failure));
    }
}

} // namespace velmora
