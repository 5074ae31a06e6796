#pragma once

// Private to the media layer: the player's reader of one video track.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/media/Asset.h"
#include "platform/media/internal/FFmpegSupport.h"
#include "platform/media/internal/FrameConvert.h"
#include "platform/media/internal/StreamDecoder.h"

namespace velmora::internal {

// A decoded picture with its span on the asset's timeline.
struct SourceFrame {
    ffmpeg::FramePtr frame;
    MediaTime time;
    MediaTime duration;
    std::uint64_t serial = 0; // the seek it was decoded after
    std::size_t bytes = 0;    // memory its buffers hold
};

// One video track of a file decoded in presentation order on a thread of its own, a few frames
// ahead of its reader (bounded in frames and bytes), answering "the frame displayed at this
// time" by decoding forward when the time lies a little ahead and seeking otherwise.
//
// Threads: every member but the constructor and destructor belongs to one reading thread. The
// decoding thread is joined by the destructor.
class VideoFrameSource {
public:
    // Opens the file and its decoder; the decoding thread starts at the beginning of the track.
    // A reader that shows the pictures no larger than neededSide × neededSide (0: any size)
    // may get them decoded at a reduced size, never below twice that (see ffmpeg::openDecoder);
    // a huge picture that its decoder cannot reduce is scaled down in its planes as soon as it
    // is decoded (see ffmpeg::readSize), so that the full one is never held while it is shown.
    // Throws velmora::Error (media) when the track cannot be opened or decoded.
    VideoFrameSource(std::shared_ptr<const Asset> asset, int trackID, int neededSide = 0);
    ~VideoFrameSource();
    VideoFrameSource(const VideoFrameSource&) = delete;
    VideoFrameSource& operator=(const VideoFrameSource&) = delete;

    const Asset& asset() const { return *asset_; }
    // The stream's picture size when its frames come at a reduced size (0 × 0 when they come
    // at full size). Immutable; any thread.
    int storedWidth() const { return storedWidth_; }
    int storedHeight() const { return storedHeight_; }

    // The frame shown for asset time `time`, the one an export writes there: the first frame
    // starting at or after it (within a microsecond), the track's last frame for a time after
    // it; a still image's one picture at any time. Valid until the next call. nullptr when the track holds no frame, or when `abort` answered true
    // while waiting for the decoder. Throws velmora::Error when decoding failed.
    const SourceFrame* frameAt(const MediaTime& time, const std::function<bool()>& abort);

    // Lets the decoder get to `time` ahead of a later frameAt(time), when it cannot reach it by
    // decoding forward from where it stands.
    void prepare(const MediaTime& time);

private:
    // Decoding thread.
    void run();
    // Seeks the demuxer before `target` and decodes up to it, going back further while the first
    // frame lands after it. False when a newer seek or the stop interrupted it.
    bool position(const MediaTime& target, std::uint64_t serial);
    // 0 with a frame in `decoded_`, AVERROR_EOF at the end; throws on a decoder failure.
    int decodeNext();
    bool superseded(std::uint64_t serial) const;
    // Queues `decoded_` for the reader unless a newer seek came meanwhile; waits for room.
    void deliver(std::uint64_t serial);

    // Reading thread.
    void requestSeek(const MediaTime& time);
    // The next frame of the current seek, waiting for the decoder; nullptr at the end or on abort.
    SourceFrame* peek(const std::function<bool()>& abort);

    const std::shared_ptr<const Asset> asset_;
    const int trackID_;
    const bool still_;
    int storedWidth_ = 0;  // immutable after the constructor
    int storedHeight_ = 0; // immutable after the constructor
    // The size a huge decoded picture is scaled down to (0 × 0: none is); immutable after the
    // constructor.
    int reducedWidth_ = 0;
    int reducedHeight_ = 0;

    // Decoding thread only (set up by the constructor before the thread starts). The decoder is
    // none between the end of a huge picture's track and the next seek.
    ffmpeg::InputFormatPtr format_;
    AVStream* stream_ = nullptr;
    int neededSide_ = 0;
    ffmpeg::CodecContextPtr decoder_;
    std::optional<ffmpeg::StreamDecoder> decoding_;
    ffmpeg::FramePtr decoded_;
    ffmpeg::FrameScaler reducer_;
    MediaTime nominalDuration_;
    MediaTime lastEnd_;

    // Shared between the two threads.
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<SourceFrame> queue_;     // guarded by mutex_; frames of the newest seek only
    std::size_t queuedBytes_ = 0;       // guarded by mutex_
    std::uint64_t requestedSerial_ = 0; // guarded by mutex_; the newest seek asked for
    MediaTime requestedTime_;           // guarded by mutex_; where it goes (invalid: the start)
    bool ended_ = false;                // guarded by mutex_; the newest seek's frames are all queued
    std::optional<Error> error_;        // guarded by mutex_; a decoding failure, once
    bool stopping_ = false;             // guarded by mutex_

    // Reading thread only.
    std::optional<SourceFrame> current_;
    MediaTime position_; // where the decoder stands for the reader: current_'s time or the seek's target
    MediaTime previousStart_; // the frame before current_ since the last seek; invalid when unknown

    std::thread worker_;
};

} // namespace velmora::internal
