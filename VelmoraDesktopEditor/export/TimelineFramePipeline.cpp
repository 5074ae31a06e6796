#include "export/TimelineFramePipeline.h"

#include <chrono>
#include <pthread.h>

namespace velmora::Exporter {

template <class Item>
bool TimelineFramePipeline::BoundedQueue<Item>::push(Item item)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return closed_ || hasRoom(); });
    if (closed_) {
        return false;
    }
    items_.push_back(std::move(item));
    changed_.notify_all();
    return true;
}

template <class Item>
bool TimelineFramePipeline::BoundedQueue<Item>::waitForRoom()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return closed_ || hasRoom(); });
    return !closed_;
}

template <class Item>
std::optional<Item> TimelineFramePipeline::BoundedQueue<Item>::pop(std::optional<double> seconds)
{
    std::unique_lock lock(mutex_);
    auto ready = [this] { return closed_ || !items_.empty(); };
    if (seconds) {
        if (!changed_.wait_for(lock, std::chrono::duration<double>(std::max(0.0, *seconds)), ready)) {
            return std::nullopt;
        }
    } else {
        changed_.wait(lock, ready);
    }
    if (items_.empty()) {
        return std::nullopt;
    }
    Item item = std::move(items_.front());
    items_.pop_front();
    if (heldUntilReleased_) {
        ++held_;
    } else {
        changed_.notify_all();
    }
    return item;
}

template <class Item>
void TimelineFramePipeline::BoundedQueue<Item>::release()
{
    std::lock_guard lock(mutex_);
    if (held_ > 0) {
        --held_;
    }
    changed_.notify_all();
}

template <class Item>
void TimelineFramePipeline::BoundedQueue<Item>::close()
{
    std::lock_guard lock(mutex_);
    closed_ = true;
    items_.clear();
    changed_.notify_all();
}

TimelineFramePipeline::TimelineFramePipeline(TimelineFrameRenderer& renderer, PixelBufferPool& pool,
                                             std::int64_t framesTotal, std::size_t readAhead,
                                             std::size_t renderAhead)
    : renderer_(renderer), pool_(pool), framesTotal_(framesTotal), read_(readAhead, true),
      rendered_(renderAhead)
{
}

TimelineFramePipeline::~TimelineFramePipeline()
{
    stop();
    join();
}

void TimelineFramePipeline::start()
{
    reader_ = std::thread([this] { readLoop(); });
    pthread_setname_np(reader_.native_handle(), "export.read");
    grader_ = std::thread([this] { renderLoop(); });
    pthread_setname_np(grader_.native_handle(), "export.grade");
}

bool TimelineFramePipeline::isStopped() const
{
    std::lock_guard lock(stopMutex_);
    return stopped_;
}

void TimelineFramePipeline::stop()
{
    {
        std::lock_guard lock(stopMutex_);
        stopped_ = true;
    }
    read_.close();
    rendered_.close();
    renderer_.readers().cancelAll();
}

void TimelineFramePipeline::join()
{
    if (reader_.joinable()) {
        reader_.join();
    }
    if (grader_.joinable()) {
        grader_.join();
    }
}

std::optional<TimelineFramePipeline::Frame> TimelineFramePipeline::next(double seconds)
{
    return rendered_.pop(seconds);
}

void TimelineFramePipeline::readLoop()
{
    for (std::int64_t n = 0; n < framesTotal_ && !isStopped(); ++n) {
        if (!read_.waitForRoom()) {
            break;
        }
        ReadItem item;
        try {
            item.source = renderer_.readFrame(n);
        } catch (...) {
            item.source.index = n;
            item.error = std::current_exception();
        }
        const bool failed = static_cast<bool>(item.error);
        if (!read_.push(std::move(item)) || failed) {
            break;
        }
    }
    // The readers belong to this thread: it releases them, whatever ended the loop.
    renderer_.readers().closeAll();
}

void TimelineFramePipeline::renderLoop()
{
    for (std::int64_t n = 0; n < framesTotal_; ++n) {
        std::optional<ReadItem> item = read_.pop(std::nullopt);
        if (!item) {
            return;
        }
        Frame frame;
        frame.index = item->source.index;
        if (item->error) {
            frame.error = item->error;
        } else {
            try {
                frame.buffer = renderer_.renderFrame(item->source, pool_);
            } catch (...) {
                frame.error = std::current_exception();
            }
        }
        item.reset(); // the float picture goes back to the pool before the reader may start another
        read_.release();
        const bool failed = static_cast<bool>(frame.error);
        if (!rendered_.push(std::move(frame)) || failed) {
            return;
        }
    }
}

} // namespace velmora::Exporter
