#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "platform/image/Image.h"
#include "platform/media/MediaTime.h"
#include "platform/media/PixelBuffer.h"

namespace velmora {

// The picture a player shows: its latest frame, a BGRA buffer (8 bits, full range) at the item's
// render size, with the item time range it covers.
//
// Threads: every member may be called from any thread. Published buffers are never written
// again (the player takes fresh ones from its pool), so a copy may be read at leisure; holding
// it only keeps that buffer out of the pool.
class VideoOutput {
public:
    struct Frame {
        PixelBuffer buffer;
        MediaTime time;     // item time at which the frame starts
        MediaTime duration; // how long it is shown
        std::uint64_t serial = 0; // grows with every published frame
    };

    // The latest frame, none before the first or after clear().
    std::optional<Frame> latestFrame() const;

    // The latest frame's buffer when it is the one displayed at `itemTime` (its range holds the
    // time, its end included); an empty buffer otherwise. `itemTimeForDisplay` receives the
    // frame's time.
    PixelBuffer copyPixelBuffer(const MediaTime& itemTime, MediaTime* itemTimeForDisplay = nullptr) const;

    // The latest frame as a float image (row 0 at the top), the empty image when there is none.
    Image latestImage() const;

    // Called after every published frame and after clear(), on the publishing thread (the
    // player's presentation thread or the thread replacing its item), with no lock of the player
    // held. Keep it short and hop to your own thread. Replaces the previous callback; nullptr
    // removes it.
    void setFrameCallback(std::function<void()> callback);

    // The player's side: publish() and clear() change the frame; the publisher then calls
    // notify() once it has let go of its own locks.
    void publish(Frame frame);
    void clear();
    void notify();

private:
    mutable std::mutex mutex_;
    std::optional<Frame> latest_;     // guarded by mutex_
    std::uint64_t serial_ = 0;        // guarded by mutex_
    std::mutex callbackMutex_;        // taken alone, never with mutex_
    std::function<void()> callback_;  // guarded by callbackMutex_
};

} // namespace velmora
