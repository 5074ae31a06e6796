#include "preview/PlayerPictureFeed.h"

#include "platform/media/VideoOutput.h"
#include "preview/PreviewPictureImage.h"

namespace velmora {

void PlayerPictureFeed::setOutput(std::shared_ptr<VideoOutput> output)
{
    if (output == output_) {
        return;
    }
    output_ = std::move(output);
    serial_ = 0;
    image_ = QImage();
    pull();
}

bool PlayerPictureFeed::pull()
{
    const std::optional<VideoOutput::Frame> frame = output_ ? output_->latestFrame() : std::nullopt;
    const std::uint64_t serial = frame ? frame->serial : 0;
    if (serial == serial_) {
        return false;
    }
    serial_ = serial;
    image_ = frame ? PreviewPictureImage::wrapBgraBuffer(frame->buffer) : QImage();
    return true;
}

} // namespace velmora
