#include "platform/dispatch/StoredThread.h"

namespace velmora {

StoredThread::~StoredThread()
{
    join();
}

void StoredThread::start(std::function<void()> body)
{
    // The hooks are copied: once the thread has been stored, the body may destroy this.
    const TestHooks hooks = hooks_;
    std::lock_guard stored(mutex_);
    std::thread started([this, body = std::move(body), waiting = hooks.waitingForStore] {
        {
            std::unique_lock gate(mutex_, std::try_to_lock);
            if (!gate.owns_lock()) {
                if (waiting) {
                    waiting();
                }
                gate.lock();
            }
        }
        // `this` is not touched from here on: the body may destroy the owner.
        body();
    });
    if (hooks.started) {
        hooks.started();
    }
    thread_ = std::move(started);
}

bool StoredThread::joinable() const
{
    std::lock_guard lock(mutex_);
    return thread_.joinable();
}

bool StoredThread::isCurrent() const
{
    std::lock_guard lock(mutex_);
    return thread_.get_id() == std::this_thread::get_id();
}

void StoredThread::join()
{
    std::thread ending;
    {
        std::lock_guard lock(mutex_);
        ending = std::move(thread_);
    }
    if (!ending.joinable()) {
        return;
    }
    if (ending.get_id() == std::this_thread::get_id()) {
        ending.detach();
    } else {
        ending.join();
    }
}

} // namespace velmora
