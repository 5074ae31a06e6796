#include "platform/dispatch/BackgroundWorker.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/dispatch/SerialQueue.h"

namespace velmora {

BackgroundWorker::BackgroundWorker(std::string label, std::function<void()> onThreadStart)
    : label_(std::move(label)), onThreadStart_(std::move(onThreadStart))
{
}

namespace {

// The queues of destroyed workers, each with the flag its last item raises. Joined once ended
// (at the next hand-over), or by the process's end.
class LeftWork {
public:
    void adopt(std::unique_ptr<SerialQueue> queue)
    {
        auto ended = std::make_shared<std::atomic<bool>>(false);
        queue->async([ended] { ended->store(true); });
        // Declared before the lock, so destroyed after it is released: the ended queues are
        // joined outside it, at once, their threads being idle.
        std::vector<Left> finished;
        std::lock_guard lock(mutex_);
        for (auto it = left_.begin(); it != left_.end();) {
            if (it->ended->load()) {
                finished.push_back(std::move(*it));
                it = left_.erase(it);
            } else {
                ++it;
            }
        }
        left_.push_back(Left{std::move(queue), std::move(ended)});
    }

    bool running()
    {
        std::lock_guard lock(mutex_);
        return std::any_of(left_.begin(), left_.end(), [](const Left& left) { return !left.ended->load(); });
    }

    void joinAll()
    {
        std::vector<Left> all;
        {
            std::lock_guard lock(mutex_);
            all = std::exchange(left_, {});
        }
        all.clear();
    }

private:
    struct Left {
        std::unique_ptr<SerialQueue> queue;
        std::shared_ptr<std::atomic<bool>> ended;
    };
    std::mutex mutex_;
    std::vector<Left> left_; // guarded by mutex_
};

LeftWork& leftWork()
{
    static LeftWork left;
    return left;
}

} // namespace

BackgroundWorker::~BackgroundWorker()
{
    stop_.request_stop();
    if (queue_) {
        leftWork().adopt(std::move(queue_));
    }
}

bool BackgroundWorker::workLeftRunning()
{
    return leftWork().running();
}

void BackgroundWorker::joinLeftWork()
{
    leftWork().joinAll();
}

void BackgroundWorker::run(std::function<void()> work)
{
    if (!queue_) {
        try {
            queue_ = std::make_unique<SerialQueue>(label_);
        } catch (const std::system_error&) {
            work();
            return;
        }
        if (onThreadStart_) {
            queue_->async(onThreadStart_);
        }
    }
    queue_->async(std::move(work));
}

} // namespace velmora
