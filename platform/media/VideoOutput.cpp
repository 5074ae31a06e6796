#include "platform/media/VideoOutput.h"

#include "platform/media/PixelBufferImage.h"

namespace velmora {

std::optional<VideoOutput::Frame> VideoOutput::latestFrame() const
{
    std::lock_guard lock(mutex_);
    return latest_;
}

PixelBuffer VideoOutput::copyPixelBuffer(const MediaTime& itemTime, MediaTime* itemTimeForDisplay) const
{
    std::lock_guard lock(mutex_);
    if (!latest_ || !itemTime.isNumeric() || itemTime < latest_->time ||
        itemTime > latest_->time + latest_->duration) {
        return PixelBuffer();
    }
    if (itemTimeForDisplay) {
        *itemTimeForDisplay = latest_->time;
    }
    return latest_->buffer;
}

Image VideoOutput::latestImage() const
{
    const std::optional<Frame> frame = latestFrame();
    return frame && frame->buffer ? imageFromPixelBuffer(frame->buffer) : Image();
}

void VideoOutput::setFrameCallback(std::function<void()> callback)
{
    std::lock_guard lock(callbackMutex_);
    callback_ = std::move(callback);
}

void VideoOutput::publish(Frame frame)
{
    std::lock_guard lock(mutex_);
    frame.serial = ++serial_;
    latest_ = std::move(frame);
}

void VideoOutput::clear()
{
    std::lock_guard lock(mutex_);
    latest_.reset();
}

void VideoOutput::notify()
{
    std::lock_guard lock(callbackMutex_);
    if (callback_) {
        callback_();
    }
}

} // namespace velmora
