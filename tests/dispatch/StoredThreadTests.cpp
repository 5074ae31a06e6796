#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "platform/dispatch/Semaphore.h"
#include "platform/dispatch/StoredThread.h"

namespace velmora {
namespace {

// The owner of a thread whose body, like a completion, lets the owner go: here it destroys it.
struct Owner {
    StoredThread thread;
};

TEST(StoredThread, TheBodyRunsOnlyOnceTheThreadIsStored)
{
    std::mutex mutex;
    std::condition_variable changed;
    bool bodyEnded = false;       // guarded by mutex
    bool waitingForStore = false; // guarded by mutex
    bool foundItselfStored = false;
    Semaphore done;

    StoredThread thread;
    // The starter does not store the thread until the body has run, or is waiting for the store.
    thread.setTestHooks({[&] {
                             std::unique_lock lock(mutex);
                             changed.wait(lock, [&] { return bodyEnded || waitingForStore; });
                         },
                         [&] {
                             std::lock_guard lock(mutex);
                             waitingForStore = true;
                             changed.notify_all();
                         }});
    thread.start([&] {
        foundItselfStored = thread.joinable() && thread.isCurrent();
        {
            std::lock_guard lock(mutex);
            bodyEnded = true;
            changed.notify_all();
        }
        done.signal();
    });
    done.wait();
    thread.join();
    EXPECT_TRUE(waitingForStore);
    EXPECT_TRUE(foundItselfStored);
}

TEST(StoredThread, TheBodyMayDestroyItsOwner)
{
    // As a completion that lets its owner go: the thread, found stored, is detached.
    auto* owner = new Owner;
    Semaphore done;
    bool foundItselfStored = false;
    owner->thread.start([&, owner] {
        foundItselfStored = owner->thread.isCurrent();
        delete owner;
        done.signal();
    });
    done.wait();
    EXPECT_TRUE(foundItselfStored);
}

TEST(StoredThread, JoinWaitsForTheBodyAndLeavesNothingToJoin)
{
    StoredThread thread;
    EXPECT_FALSE(thread.joinable());
    bool ran = false;
    thread.start([&] { ran = true; });
    thread.join();
    EXPECT_TRUE(ran);
    EXPECT_FALSE(thread.joinable());
    EXPECT_FALSE(thread.isCurrent());
    thread.join(); // nothing left: returns at once
}

} // namespace
} // namespace velmora
