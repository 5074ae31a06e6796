#include "platform/dispatch/TaskGroup.h"

#include <condition_variable>
#include <mutex>

#include "platform/dispatch/ThreadPoolStart.h"

namespace velmora {

struct TaskGroup::State {
    std::mutex mutex;
    std::condition_variable ended;
    int running = 0; // guarded by mutex
};

TaskGroup::TaskGroup() : state_(std::make_shared<State>()) {}

TaskGroup::~TaskGroup()
{
    waitForAll();
}

void TaskGroup::start(std::function<void()> work)
{
    {
        std::lock_guard lock(state_->mutex);
        ++state_->running;
    }
    startOnThreadPool([state = state_, work = std::move(work)]() mutable {
        work();
        // The captures go before the owner hears of the end: what they hold (a queue, a file
        // handle, a pointer to the owner) may not outlive it.
        work = nullptr;
        // Notified under the lock: the owner may destroy the group as soon as it sees the count
        // drop; the state itself lives on in this task's copy.
        std::lock_guard lock(state->mutex);
        --state->running;
        state->ended.notify_all();
    });
}

void TaskGroup::waitForAll()
{
    std::unique_lock lock(state_->mutex);
    state_->ended.wait(lock, [this] { return state_->running == 0; });
}

} // namespace velmora
