#pragma once

#include <filesystem>
#include <memory>

#include <QImage>

#include "inspectors/SourceViewerServices.h"
#include "platform/media/VideoOutput.h"
#include "preview/PlatformPreviewPlayer.h"

namespace velmora {

// A media file on the platform player, picture and sound, for the source viewer: a playback
// without a player when the file cannot be played. Main thread.
SourcePlayback openPlatformSourcePlayback(const std::filesystem::path& file, std::shared_ptr<MainQueue> mainQueue,
                                          AudioSinkFactory audioSinks = defaultAudioSinkFactory());

// The frame a player shows as a QImage that shares its pixels (no copy; the frame's buffer stays
// out of the player's pool while the image lives); a null image before the first frame.
QImage latestPicture(const VideoOutput& output);

} // namespace velmora
