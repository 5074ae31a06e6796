#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "export/TimelineFrameRenderer.h"
#include "platform/media/PixelBuffer.h"

namespace velmora::Exporter {

// Runs the two stages of a TimelineFrameRenderer ahead of the writer, each on a thread of its
// own, so that decoding the next frames, grading them and encoding the current one overlap and
// the encoder does not wait. Frames come out strictly in index order; a frame that fails comes
// out as its error, and nothing is produced after it.
//
// Memory is bounded: the decoded frames (float pictures, the largest buffers of an export)
// waiting for the grade or being graded are at most `readAhead`, counting the one the grading
// stage works on; `renderAhead` finished frames wait for the writer. The reading stage starts
// a frame only once there is room for it, so that it never holds a decoded frame while it
// waits; with `readAhead` 1 it converts the next frame once the last one is graded, while the
// decoder's own threads keep decoding ahead.
class TimelineFramePipeline {
public:
    struct Frame {
        std::int64_t index = 0;
        PixelBuffer buffer;
        // Set instead of the buffer when the frame failed.
        std::exception_ptr error;
    };

    TimelineFramePipeline(TimelineFrameRenderer& renderer, PixelBufferPool& pool, std::int64_t framesTotal,
                          std::size_t readAhead = 1, std::size_t renderAhead = 1);
    // Stops and joins.
    ~TimelineFramePipeline();
    TimelineFramePipeline(const TimelineFramePipeline&) = delete;
    TimelineFramePipeline& operator=(const TimelineFramePipeline&) = delete;

    // Starts both stages at frame 0.
    void start();
    // The next frame in order, waiting at most `seconds`; none when it is not ready in time or
    // the pipeline has stopped. Called from one thread (the writer's video pull).
    std::optional<Frame> next(double seconds);
    // Stops both stages and cancels the clip readers' reading; they are released by the
    // reading stage as it ends. Any thread, any number of times.
    void stop();
    // Waits for both stages to end. Not from either stage's thread.
    void join();

    bool isStopped() const;

private:
    template <class Item>
    class BoundedQueue {
    public:
        // With `heldUntilReleased`, an item taken out keeps its room until release() says the
        // taker is done with it, so that `capacity` bounds the items queued and being worked on.
        explicit BoundedQueue(std::size_t capacity, bool heldUntilReleased = false)
            : capacity_(capacity == 0 ? 1 : capacity), heldUntilReleased_(heldUntilReleased)
        {
        }
        // False when the queue was closed before the item could go in.
        bool push(Item item);
        // Waits until an item would go in at once; false when the queue was closed first.
        bool waitForRoom();
        // The next item; none once closed and empty, or when `seconds` (if given) pass first.
        std::optional<Item> pop(std::optional<double> seconds);
        // Gives back the room of an item taken out (heldUntilReleased only).
        void release();
        void close();

    private:
        bool hasRoom() const { return items_.size() + held_ < capacity_; }

        const std::size_t capacity_;
        const bool heldUntilReleased_;
        std::mutex mutex_;
        std::condition_variable changed_;
        std::deque<Item> items_; // guarded by mutex_
        std::size_t held_ = 0;   // guarded by mutex_: taken out and not yet released
        bool closed_ = false;    // guarded by mutex_
    };

    struct ReadItem {
        FrameSource source;
        std::exception_ptr error;
    };

    void readLoop();
    void renderLoop();

    TimelineFrameRenderer& renderer_;
    PixelBufferPool& pool_;
    const std::int64_t framesTotal_;

    mutable std::mutex stopMutex_;
    bool stopped_ = false; // guarded by stopMutex_

    BoundedQueue<ReadItem> read_;
    BoundedQueue<Frame> rendered_;
    std::thread reader_;
    std::thread grader_;
};

} // namespace velmora::Exporter
