#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include <QImage>

#include "platform/dispatch/MainQueue.h"
#include "preview/PreviewPlayer.h"

namespace velmora {

// A source file opened for playback: the player (picture and sound) and its picture.
struct SourcePlayback {
    std::shared_ptr<PreviewPlayer> player;
    // The picture the player shows now; a null image while it has none. Main thread; called
    // often while playing, so it should only hand over the newest frame it holds.
    std::function<QImage()> currentPicture;
};

// What the source viewer runs on, injected so that tests can stand in for the platform.
struct SourceViewerServices {
    // Where background results come back. Default: the application's (QtMainQueue).
    std::shared_ptr<MainQueue> mainQueue;
    // Opens a video or audio file for playback; a playback without a player when the file
    // cannot be played. Default: the platform player with the default sound output
    // (openPlatformSourcePlayback).
    std::function<SourcePlayback(const std::filesystem::path& file)> openPlayback;
    // The file's duration in seconds (any value, also not finite), or nothing when it cannot be
    // read. Run off the main thread. Default: the media probe's duration.
    std::function<std::optional<double>(const std::filesystem::path& file)> probeDuration;
};

} // namespace velmora
