#pragma once

// Private to the media layer: the state a Player's threads share, and its presentation thread.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/dispatch/MainQueue.h"
#include "platform/media/AudioSink.h"
#include "platform/media/PlayerItem.h"
#include "platform/media/VideoOutput.h"

namespace velmora::internal {

// A composed frame waiting for its time.
struct QueuedFrame {
    PixelBuffer buffer;
    MediaTime time;
    MediaTime duration;
    std::size_t bytes = 0;
};

struct TimeObserver {
    std::uint64_t token = 0;
    MediaTime interval;
    std::shared_ptr<const std::function<void(const MediaTime&)>> block;
    std::int64_t lastTick = 0;     // the interval count at the last call
    bool callPending = false;      // a call is on the main queue
    MediaTime pendingTime;         // the time that call reports
};

// Everything a player's threads share, under one lock.
//
// Threads: the main thread (the Player's API), the presentation thread (run() below), the video
// thread (VideoProducer) and the audio thread (AudioPump). The Player owns the core through a
// shared_ptr and joins the three threads before letting it go; work posted to the main queue
// holds the core weakly.
//
// Resets. Seeking, stopping and replacing the item reset in this order, all under `mutex`:
// 1. a pending seek is completed with false (posted to the main queue);
// 2. the clock stops at the current time (the sink pauses);
// 3. the sound restarts: the sink's queue is flushed and the audio generation bumped, so the
//    audio thread drops what it renders for the old position and starts anew;
// 4. the picture restarts: the generation is bumped and the frame queue emptied, so the video
//    thread drops the frame it is composing, aborts a decoder wait and starts anew;
// 5. the item (on a replacement) and the position change, and everyone waiting is woken.
// The presentation thread shows the new generation's first frame, completes the seek, and
// starts the clock again once the sound is primed.
class PlayerCore : public std::enable_shared_from_this<PlayerCore> {
public:
    struct Statistics {
        std::int64_t framesDisplayed = 0;
        std::int64_t framesDropped = 0;
    };

    // At most this many composed frames and bytes wait in the queue, besides the time bound of
    // the item's forward buffer.
    static constexpr std::size_t maximumQueuedFrames = 120;
    static constexpr std::size_t maximumQueuedBytes = std::size_t{256} << 20;
    // While the rate is 0 only the next frame waits: enough to step on by a frame or start
    // playing at once, without holding a whole forward buffer of frames (hundreds of megabytes
    // at 1080p) that may never be shown. Playing lifts the bound.
    static constexpr std::size_t maximumPausedQueuedFrames = 1;

    PlayerCore(std::shared_ptr<MainQueue> mainQueue, std::shared_ptr<AudioSink> sink);

    const std::shared_ptr<MainQueue> mainQueue;
    const std::shared_ptr<AudioSink> sink;
    const std::shared_ptr<VideoOutput> output;

    std::mutex mutex;
    std::condition_variable changed; // any change of the state below

    // Guarded by mutex.
    bool stopping = false;
    std::shared_ptr<PlayerItem> item;
    // The picture: the generation bumps with every restart; the first frame of a generation is
    // the one at `restartTime` and is shown as soon as it comes (`landing`).
    std::uint64_t generation = 0;
    MediaTime restartTime = MediaTime::zero();
    bool landing = false;
    std::optional<std::function<void(bool)>> pendingSeek; // the completion of a seek not landed yet
    std::deque<QueuedFrame> frames;
    std::size_t queuedBytes = 0;
    bool videoEnded = false;
    // The sound: rendered from `audioStart` for the audio generation; silence unless `audioRate`
    // is 1.
    std::uint64_t audioGeneration = 0;
    MediaTime audioStart = MediaTime::zero();
    double audioRate = 1.0;
    bool audioPrimed = false;
    bool audioEnded = false;
    float volume = 1.0f;
    // The clock: item time = anchorTime + (sink frames played since anchorPlayed) × rate.
    double rate = 0.0;
    bool clockRunning = false;
    MediaTime anchorTime = MediaTime::zero();
    std::int64_t anchorPlayed = 0;
    std::vector<TimeObserver> observers;
    std::uint64_t nextObserverToken = 1;
    Statistics statistics;
    bool notifyOutput = false; // the output changed and its callback is due

    // Mirrors for waits that cannot take the lock: set with it held.
    std::atomic<bool> stopRequested{false};
    std::atomic<std::uint64_t> generationMirror{0};

    // Require mutex.
    MediaTime duration() const; // of the item; zero without one
    MediaTime currentTimeLocked() const;
    void startClockLocked();
    void stopClockLocked();
    // Steps 2 to 4 of the resets, for a new position `time`.
    void restartLocked(const MediaTime& time);
    void restartAudioLocked(const MediaTime& time);
    void supersedeSeekLocked();
    QueuedFrame popFrameLocked();
    // Shows `frame` on the output.
    void showLocked(QueuedFrame frame);
    // Shows the latest queued frame due at `time`, dropping the ones before it (counted as
    // dropped when `countDrops`).
    void showDueLocked(const MediaTime& time, bool countDrops);
    // A call of every time observer with `time` (a jump: seek, play, pause, end).
    void jumpLocked(const MediaTime& time);
    void postObserverLocked(TimeObserver& observer, const MediaTime& time);
    void postCompletion(std::function<void(bool)> completion, bool finished) const;
    // For a seek to `target` landing no later than `latest`: shows a frame already made (the one
    // shown, or one in the queue, dropping those before it) and answers the time it lands at.
    // None when the picture has to start over.
    std::optional<MediaTime> landOnMadeFrameLocked(const MediaTime& target, const MediaTime& latest);
    // Whether the video thread may queue another frame.
    bool roomForFrameLocked(std::size_t frameBytes) const;

    // The presentation thread: lands restarts, starts the clock, shows frames on time, stops at
    // the end and calls the time observers. Returns when `stopping` is set.
    void run();

private:
    // One turn of run(): what it did, and how long it may sleep (none: until woken).
    std::optional<double> presentLocked();
};

} // namespace velmora::internal
