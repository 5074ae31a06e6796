#pragma once

#include <atomic>
#include <functional>
#include <memory>

namespace velmora {

// Cancels a piece of delayed work that has not run yet. Copies share the one flag.
class CancelHandle {
public:
    CancelHandle() : cancelled_(std::make_shared<std::atomic<bool>>(false)) {}
    void cancel() const { cancelled_->store(true); }
    bool isCancelled() const { return cancelled_->load(); }

private:
    std::shared_ptr<std::atomic<bool>> cancelled_;
};

// The thread that owns the model, the engine and the views. Background work returns to it
// with `post`. Implementations: QtMainQueue (the Qt event loop) and ManualMainQueue (tests).
class MainQueue {
public:
    virtual ~MainQueue() = default;

    // Runs `work` on the main thread later, in posting order. Callable from any thread.
    virtual void post(std::function<void()> work) = 0;
    // Runs `work` on the main thread after `seconds`, unless cancelled first.
    virtual CancelHandle postDelayed(double seconds, std::function<void()> work) = 0;
    // True on the main thread.
    virtual bool isCurrent() const = 0;
};

} // namespace velmora
