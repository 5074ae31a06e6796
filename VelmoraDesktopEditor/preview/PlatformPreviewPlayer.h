#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include "platform/dispatch/MainQueue.h"
#include "platform/media/AudioSink.h"
#include "platform/media/Player.h"
#include "platform/media/PlayerItem.h"
#include "preview/PreviewPlayer.h"

namespace velmora {

// Makes the sink of one player; each player needs a sink of its own.
using AudioSinkFactory = std::function<std::shared_ptr<AudioSink>()>;

// The default: the desktop's output device, or a sink that keeps real time without one.
AudioSinkFactory defaultAudioSinkFactory();

// The preview player over the platform player: one item, its picture in videoOutput() and its
// sound in a sink of its own.
//
// Threads: main thread (the main queue's), which receives the seek completions and time
// observer calls. The player's own threads start at once and begin decoding the item.
class PlatformPreviewPlayer final : public PreviewPlayer {
public:
    // A paused player at time zero of `item` (not null).
    PlatformPreviewPlayer(std::shared_ptr<MainQueue> mainQueue, std::shared_ptr<PlayerItem> item,
                          std::shared_ptr<AudioSink> audioSink);
    ~PlatformPreviewPlayer() override;

    // A player of one media file as it is (file time is item time). Throws what
    // PlayerItem::fromFile throws.
    static std::shared_ptr<PlatformPreviewPlayer> openFile(const std::filesystem::path& file,
                                                           PlayerItem::FileTracks tracks,
                                                           std::shared_ptr<MainQueue> mainQueue,
                                                           std::shared_ptr<AudioSink> audioSink);

    void play() override;
    void pause() override;
    double rate() const override;
    void setRate(double rate) override;
    MediaTime currentTime() const override;
    void seek(const MediaTime& time, const MediaTime& toleranceBefore, const MediaTime& toleranceAfter,
              std::function<void(bool finished)> completion) override;
    TimeObserverToken addPeriodicTimeObserver(const MediaTime& interval,
                                              std::function<void(const MediaTime& time)> callback) override;
    void removeTimeObserver(TimeObserverToken token) override;
    void setVolume(float volume) override;
    MediaTime itemDuration() const override;
    std::shared_ptr<VideoOutput> videoOutput() const override;
    void setAudioMix(AudioMix audioMix) override;
    void setMediaFailureHandler(MediaFailureHandler handler) override;

    const std::shared_ptr<PlayerItem>& item() const { return item_; }
    // Whether the player plays, or waits for its first frame or its sound to start playing.
    Player::TimeControlStatus timeControlStatus() const { return player_.timeControlStatus(); }
    // For measurements: frames shown and dropped.
    Player::Statistics statistics() const { return player_.statistics(); }

private:
    const std::shared_ptr<PlayerItem> item_;
    const std::shared_ptr<MainQueue> mainQueue_;
    Player player_;
};

} // namespace velmora
