#include "platform/dispatch/BackgroundWorker.h"

#include <system_error>

#include "platform/dispatch/SerialQueue.h"

namespace velmora {

BackgroundWorker::BackgroundWorker(std::string label, std::function<void()> onThreadStart)
    : label_(std::move(label)), onThreadStart_(std::move(onThreadStart))
{
}

BackgroundWorker::~BackgroundWorker()
{
    stop_.request_stop();
    queue_.reset();
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
