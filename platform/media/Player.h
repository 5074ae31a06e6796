#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "platform/dispatch/MainQueue.h"
#include "platform/media/AudioSink.h"
#include "platform/media/MediaTime.h"
#include "platform/media/PlayerItem.h"
#include "platform/media/VideoOutput.h"

namespace velmora {

namespace internal {
class PlayerCore;
class VideoProducer;
class AudioPump;
} // namespace internal

// Plays a PlayerItem: its picture into a VideoOutput, its sound into an AudioSink, on the
// clock of that sink (the device's played audio, or real time without a device).
//
// Inside, three threads of the player's own, joined by bounded queues: the video thread makes
// the item's frames on its frame grid ahead of the playhead (decoding each file on a decoder
// thread of its own), the audio thread renders the audio mix into the sink, and the
// presentation thread shows each frame when the clock reaches it (dropping frames that come too
// late), stops at the item's end and calls the time observers.
//
// Threads: the members that change the player (the item, the rate, seeks, time observers, the
// volume) belong to the main queue's thread; the const members may be called from any thread.
// Seek completions and time observers run on the main queue. The destructor stops and joins every
// thread of the player; a sink of the caller's is left paused.
class Player {
public:
    enum class TimeControlStatus {
        paused,
        // Asked to play, waiting for the first frame of a seek or for the sound to be ready.
        waitingToPlay,
        playing,
    };
    struct Statistics {
        std::int64_t framesDisplayed = 0;
        // Frames skipped because their time had passed before they could be shown.
        std::int64_t framesDropped = 0;
    };
    using TimeObserverToken = std::uint64_t;

    // `audioSink`: where the sound goes; nullptr takes makeDefaultAudioSink().
    explicit Player(std::shared_ptr<MainQueue> mainQueue, std::shared_ptr<AudioSink> audioSink = nullptr);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Starts over with `item` (none: nothing to play) at time zero, keeping the rate; a seek
    // still pending completes with false. The output shows the item's first frame once made.
    void replaceCurrentItem(std::shared_ptr<PlayerItem> item);
    std::shared_ptr<PlayerItem> currentItem() const;

    void play() { setRate(1.0); }
    void pause() { setRate(0.0); }
    // Plays at `rate` times the normal speed (silent at rates other than 1); 0, a negative rate
    // or NaN pauses. Playing stops by itself at the item's end, where the rate goes back to 0.
    void setRate(double rate);
    // The rate asked for; 0 while paused.
    double rate() const;
    TimeControlStatus timeControlStatus() const;

    // The item time now: the clock while playing, else where the player stands (the target of a
    // seek from the moment it is asked). Zero to the item's duration.
    MediaTime currentTime() const;

    // Moves to `time` (clamped to the item) and shows the frame there. The frame may lie up to
    // `toleranceBefore` before and `toleranceAfter` after the time, which lets the player land on
    // a frame it has already made; otherwise it lands on the frame at the time itself. Playing
    // continues from there once the frame and the sound are ready. `completion` runs on the main
    // queue: true once the frame is shown, false when a later seek, a replaced item or the
    // player's end came first.
    void seek(const MediaTime& time, const MediaTime& toleranceBefore, const MediaTime& toleranceAfter,
              std::function<void(bool finished)> completion = nullptr);
    // A seek with no tolerance.
    void seek(const MediaTime& time, std::function<void(bool finished)> completion = nullptr);

    // Calls `block` on the main queue with the current time every `interval` of item time while
    // playing (when the time passes a whole multiple of the interval; calls that would pile up
    // on a busy main queue are merged into one with the newest time), and after every jump: a
    // seek landing, playback starting or pausing, and the stop at the end. Intervals below a
    // millisecond count as one. Throws velmora::Error (media, invalidArgument) for an interval
    // that is not a number.
    TimeObserverToken addPeriodicTimeObserver(const MediaTime& interval,
                                              std::function<void(const MediaTime& time)> block);
    // Calls already on the main queue for it are dropped.
    void removeTimeObserver(TimeObserverToken token);

    // 0 (silent) to 1; applies from the next 10 ms of sound.
    void setVolume(float volume);
    float volume() const;

    const std::shared_ptr<VideoOutput>& videoOutput() const;
    Statistics statistics() const;

private:
    std::shared_ptr<internal::PlayerCore> core_;
    std::unique_ptr<internal::VideoProducer> producer_;
    std::unique_ptr<internal::AudioPump> pump_;
    std::thread presenterThread_;
    std::thread videoThread_;
    std::thread audioThread_;
};

} // namespace velmora
