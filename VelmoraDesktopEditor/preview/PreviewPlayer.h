#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>

#include "platform/foundation/Error.h"
#include "platform/media/AudioMix.h"
#include "platform/media/MediaTime.h"

namespace velmora {

class VideoOutput;

// The player of the preview composition as the engine drives it: one item (the composition),
// a rate, a position, seeks with tolerances and a periodic time observer. Implemented over the
// platform player; tests use a fake.
//
// Threads: every call is made on the main thread, and every callback (seek completions, time
// observer) is delivered on the main queue, never from inside the call that caused it.
class PreviewPlayer {
public:
    using TimeObserverToken = std::uint64_t;

    virtual ~PreviewPlayer() = default;

    // Plays at the current rate (1 when it is 0). The engine sets the rate before playing.
    virtual void play() = 0;
    // Rate 0; the position stays.
    virtual void pause() = 0;
    virtual double rate() const = 0;
    virtual void setRate(double rate) = 0;

    // The item's current position; invalid when it is not known.
    virtual MediaTime currentTime() const = 0;

    // Moves to `time`, landing anywhere in [time − toleranceBefore, time + toleranceAfter].
    // A newer seek supersedes an older one still running: the older completion gets false.
    // `completion` (may be empty) receives true when the seek finished.
    virtual void seek(const MediaTime& time, const MediaTime& toleranceBefore, const MediaTime& toleranceAfter,
                      std::function<void(bool finished)> completion) = 0;

    // Calls `callback` with the current time every `interval` of playback and on every jump of
    // the position. The token removes it; removing an unknown token does nothing.
    virtual TimeObserverToken addPeriodicTimeObserver(const MediaTime& interval,
                                                      std::function<void(const MediaTime& time)> callback) = 0;
    virtual void removeTimeObserver(TimeObserverToken token) = 0;

    // Output volume, 0 to 1.
    virtual void setVolume(float volume) = 0;

    // The duration of the item; invalid while it is not known.
    virtual MediaTime itemDuration() const = 0;

    // Replaces the levels of the item's audio tracks (keyed by the composition's track ids),
    // heard from the next block of sound on, while it plays. A player without sound or without
    // an item ignores it.
    virtual void setAudioMix(AudioMix /*audioMix*/) {}

    // The picture the player shows, for the program view and the paused still; none for a
    // player without a picture.
    virtual std::shared_ptr<VideoOutput> videoOutput() const { return nullptr; }

    // Called on the main thread with the media file and the failure each time the player
    // cannot open or decode a file (it goes on, black or silent there). A player that never
    // fails ignores it.
    using MediaFailureHandler = std::function<void(const std::filesystem::path& file, const Error& error)>;
    virtual void setMediaFailureHandler(MediaFailureHandler /*handler*/) {}
};

} // namespace velmora
