#include "platform/media/internal/EncodeQueue.h"

namespace velmora::ffmpeg {

EncodeQueue::EncodeQueue(std::size_t depth, std::function<void(const PixelBuffer&, const MediaTime&)> encode,
                         std::function<void()> finish, std::function<void()> frameDone)
    : encode_(std::move(encode)), finish_(std::move(finish)), frameDone_(std::move(frameDone)),
      depth_(depth > 0 ? depth : 1)
{
    thread_ = std::thread([this] { run(); });
    workerId_ = thread_.get_id();
}

EncodeQueue::~EncodeQueue()
{
    stop();
}

bool EncodeQueue::push(PixelBuffer frame, const MediaTime& time)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopping_ || finishing_ || items_.size() < depth_; });
    if (stopping_ || finishing_) {
        return false;
    }
    items_.push_back(Item{std::move(frame), time});
    changed_.notify_all();
    return true;
}

void EncodeQueue::finish()
{
    std::lock_guard lock(mutex_);
    finishing_ = true;
    changed_.notify_all();
}

void EncodeQueue::join()
{
    // The encoding thread itself may end up here through a failure callback; it cannot join
    // itself and has nothing to wait for.
    if (workerId_ == std::this_thread::get_id()) {
        return;
    }
    std::lock_guard lock(joinMutex_);
    if (thread_.joinable()) {
        thread_.join();
    }
}

void EncodeQueue::stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        items_.clear();
        changed_.notify_all();
    }
    join();
}

void EncodeQueue::run()
{
    for (;;) {
        Item item;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || finishing_ || !items_.empty(); });
            if (stopping_) {
                return;
            }
            if (items_.empty()) {
                break; // finishing with nothing left
            }
            item = std::move(items_.front());
            items_.pop_front();
            changed_.notify_all();
        }
        encode_(item.frame, item.time);
        item.frame = PixelBuffer(); // back to its pool before the caller is told
        frameDone_();
    }
    finish_();
}

} // namespace velmora::ffmpeg
