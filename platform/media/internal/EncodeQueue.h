#pragma once

// Private to the media layer: the writer's video encoding thread. Frames handed to push() are
// encoded in order on a thread of the queue's own, so the caller renders the next frame while
// the encoder works on this one. At most `depth` frames wait.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/media/MediaTime.h"
#include "platform/media/PixelBuffer.h"

namespace velmora::ffmpeg {

class EncodeQueue {
public:
    // `encode` runs for each frame, `finish` once after the last one (when finish() was asked
    // for), `frameDone` after each frame; all on the queue's thread and none may throw.
    EncodeQueue(std::size_t depth, std::function<void(const PixelBuffer&, const MediaTime&)> encode,
                std::function<void()> finish, std::function<void()> frameDone);
    // Stops as stop() does.
    ~EncodeQueue();
    EncodeQueue(const EncodeQueue&) = delete;
    EncodeQueue& operator=(const EncodeQueue&) = delete;

    // Queues a frame, waiting while the queue is full. False once finishing or stopped.
    bool push(PixelBuffer frame, const MediaTime& time);
    // No more frames: the thread encodes what is queued, runs `finish` and ends. Returns at once.
    void finish();
    // Waits for the thread to end (after finish() or stop()).
    void join();
    // Drops the frames still queued and waits for the frame being encoded, if any.
    void stop();

private:
    void run();

    struct Item {
        PixelBuffer frame;
        MediaTime time;
    };

    std::function<void(const PixelBuffer&, const MediaTime&)> encode_;
    std::function<void()> finish_;
    std::function<void()> frameDone_;
    std::size_t depth_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> items_; // guarded by mutex_
    bool finishing_ = false; // guarded by mutex_
    bool stopping_ = false;  // guarded by mutex_
    std::mutex joinMutex_; // one joiner at a time: cancel and finish may race from two threads
    std::thread thread_;   // joined under joinMutex_
    std::thread::id workerId_; // set once at construction
};

} // namespace velmora::ffmpeg
