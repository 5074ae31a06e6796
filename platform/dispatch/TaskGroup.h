#pragma once

#include <functional>
#include <memory>

namespace velmora {

// Background work with an owner that waits for it. Each task runs on Qt's global thread pool
// (as `startOnThreadPool`); `waitForAll`, also run by the destructor, returns once every task
// started so far has ended and its captures are destroyed, so nothing a task holds outlives the
// owner. The group never interrupts a task: the owner tells its tasks to stop (a token or flag
// they poll) before it lets the group go, and a task must never wait for the owner's thread.
// Everything the owner did before `start` is visible to the task; everything the task did is
// visible to the owner once `waitForAll` returns. `start` and `waitForAll` are for the owner's
// thread only.
class TaskGroup {
public:
    TaskGroup();
    ~TaskGroup();
    TaskGroup(const TaskGroup&) = delete;
    TaskGroup& operator=(const TaskGroup&) = delete;

    // `work` must not throw.
    void start(std::function<void()> work);
    void waitForAll();

private:
    struct State;
    // Shared with the running tasks, which signal their end through it.
    std::shared_ptr<State> state_;
};

} // namespace velmora
