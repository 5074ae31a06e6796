#include "inspectors/PlatformSourcePlayback.h"

#include <exception>

namespace velmora {

SourcePlayback openPlatformSourcePlayback(const std::filesystem::path& file, std::shared_ptr<MainQueue> mainQueue,
                                          AudioSinkFactory audioSinks)
{
    std::shared_ptr<PlatformPreviewPlayer> player;
    try {
        player = PlatformPreviewPlayer::openFile(file, PlayerItem::FileTracks::videoAndAudio, std::move(mainQueue),
                                                 audioSinks ? audioSinks() : makeDefaultAudioSink());
    } catch (const std::exception&) {
        return {}; // the viewer shows stills and the waveform instead
    }
    std::shared_ptr<VideoOutput> output = player->videoOutput();
    return SourcePlayback{std::move(player), [output] { return latestPicture(*output); }};
}

QImage latestPicture(const VideoOutput& output)
{
    const std::optional<VideoOutput::Frame> frame = output.latestFrame();
    if (!frame || !frame->buffer || frame->buffer.format() != PixelFormat::bgra) {
        return {};
    }
    // Published frames are never written again, so the image may read the buffer in place.
    auto* held = new PixelBuffer(frame->buffer);
    return QImage(
        static_cast<const uchar*>(held->baseAddress(0)), held->width(), held->height(), held->bytesPerRow(0),
        QImage::Format_RGB32, [](void* buffer) { delete static_cast<PixelBuffer*>(buffer); }, held);
}

} // namespace velmora
