#pragma once

#include <cstdint>
#include <memory>

#include <QImage>

namespace velmora {

class VideoOutput;

// The newest picture of a player's video output, as a QImage for painting. The views poll it
// from a timer on the main thread rather than take the output's frame callback, so that any
// number of views can show one player, and painting never runs on the player's threads.
//
// Main thread only (the output itself may be written by the player's threads meanwhile).
class PlayerPictureFeed {
public:
    // Follows `output` from now on (none: no picture); forgets the picture of the previous one.
    void setOutput(std::shared_ptr<VideoOutput> output);
    const std::shared_ptr<VideoOutput>& output() const { return output_; }

    // Takes the output's latest frame when it is not the one already taken. True when the
    // picture changed (a new frame, or the output was cleared and the picture went).
    bool pull();

    // The picture; null before the first frame or without an output. Shares the frame's pixels.
    const QImage& image() const { return image_; }

private:
    std::shared_ptr<VideoOutput> output_;
    std::uint64_t serial_ = 0; // serial of the frame in image_; 0 for none
    QImage image_;
};

} // namespace velmora
