#pragma once

#include <functional>
#include <mutex>
#include <thread>

namespace velmora {

// A thread whose body begins only once the thread is stored in its owner.
//
// A body whose end lets its owner go on (a completion that wakes a waiting caller, who then
// destroys the owner) must not run before the starter has stored the thread: the owner would
// find nothing to join, and the store would land on a freed owner. start() holds the thread's
// mutex from before the thread exists until it is stored, and the body first takes that mutex.
//
// join() and the destructor may run on any thread, the thread itself included (it is then
// detached: a thread cannot join itself).
class StoredThread {
public:
    // What a test makes of the moment between the thread's start and its store: `started` runs
    // on the starter before the store, `waitingForStore` on the new thread while its body waits.
    struct TestHooks {
        std::function<void()> started;
        std::function<void()> waitingForStore;
    };

    StoredThread() = default;
    ~StoredThread();
    StoredThread(const StoredThread&) = delete;
    StoredThread& operator=(const StoredThread&) = delete;

    // Starts `body` on a new thread; at most once. Throws std::system_error when no thread can
    // be made.
    void start(std::function<void()> body);
    void setTestHooks(TestHooks hooks) { hooks_ = std::move(hooks); }

    bool joinable() const;
    // True on the thread itself.
    bool isCurrent() const;
    // Waits for the thread to end; on the thread itself, detaches it instead.
    void join();

private:
    mutable std::mutex mutex_;
    std::thread thread_; // guarded by mutex_
    TestHooks hooks_;
};

} // namespace velmora
