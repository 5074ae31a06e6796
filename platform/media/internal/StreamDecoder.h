#pragma once

// Private to the media layer: the packet-to-frame loop of the readers that pull decoded frames
// one at a time (the asset reader, the image generator and the player's video frame source).

#include <cstdint>
#include <functional>
#include <string>

#include "platform/media/internal/FFmpegSupport.h"

namespace velmora::ffmpeg {

// Decodes one stream of a demuxer frame by frame.
//
// Packets of the demuxer's other streams are passed over. A damaged packet or frame
// (AVERROR_INVALIDDATA) is skipped, as players do. The end of the input, or a failed read (a file
// cut short decodes what there is), sends the decoder the flush packet once, so that the frames
// it still holds come out; once they are out, the decoder lets go of the frames it kept for
// reference. EAGAIN and EOF are states; every other failure throws velmora::Error (media,
// decodeFailed).
//
// Times of the asset start at the container's start offset; the stream's own timestamps are in
// its time base.
//
// The demuxer, the stream and the decoder are the owner's and outlive this object; nothing else
// reads the demuxer or drives the decoder meanwhile. One thread at a time.
class StreamDecoder {
public:
    // `fileName` names the file in the text of an error.
    StreamDecoder(AVFormatContext& format, const AVStream& stream, AVCodecContext& decoder, std::string fileName,
                  std::int64_t startOffsetMicroseconds);

    // 0 with the next frame in `frame`, AVERROR_EOF when the stream has no more frames, or
    // AVERROR_EXIT when `cancelled` (asked before every step, when given) answers true.
    int receive(AVFrame& frame, const std::function<bool()>& cancelled = {});
    // Moves the demuxer to the key frame at or before `timestamp` (the stream's time base), or
    // to the start of the file where it refuses (some files refuse a seek before their first key
    // frame); the decoder drops the frames it holds and the input is read again.
    void seek(std::int64_t timestamp);
    // Moves to the stream's first frame: its start time, or for a stream without one (a raw
    // elementary stream, whose timestamps the parser makes up) the start of the file.
    void seekToStart();
    // Decodes into `frame` the frame from which the display of `target` (a time of the asset)
    // starts: the demuxer goes to the key frame at or before the target, and further back (1, 2,
    // 4 … s, six times at most) while the first frame decoded is displayed after it (a key frame
    // shown later than it is stored). A target at or before zero, or not numeric, and any target
    // in a stream without a start time (no timestamps to seek by: its frames are counted from
    // the first) start at the stream's first frame. Answers as receive().
    int seekBefore(const MediaTime& target, AVFrame& frame, const std::function<bool()>& cancelled = {});

    // A timestamp of the stream as a time of the asset; invalid for AV_NOPTS_VALUE.
    MediaTime assetTime(std::int64_t pts) const;
    // A time of the asset as a timestamp of the stream, rounded to nearest.
    std::int64_t streamTimestamp(const MediaTime& time) const;

private:
    // At the end of the input: the decoder lets go of the frames it keeps for reference.
    void releaseReferenceFrames();

    AVFormatContext* format_;
    const AVStream* stream_;
    AVCodecContext* decoder_;
    std::string fileName_;
    MediaTime startOffset_;
    PacketPtr packet_;
    bool inputEnded_ = false;
};

} // namespace velmora::ffmpeg
