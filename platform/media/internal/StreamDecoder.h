#pragma once

// Private to the media layer: the packet-to-frame loop of the readers that pull decoded frames
// one at a time (the asset reader, the image generator and the player's video frame source).

#include <functional>
#include <string>

#include "platform/media/internal/FFmpegSupport.h"

namespace velmora::ffmpeg {

// Decodes one stream of a demuxer frame by frame.
//
// Packets of the demuxer's other streams are passed over. A damaged packet or frame
// (AVERROR_INVALIDDATA) is skipped, as players do. The end of the input, or a failed read (a file
// cut short decodes what there is), sends the decoder the flush packet once, so that the frames
// it still holds come out. EAGAIN and EOF are states; every other failure throws velmora::Error
// (media, decodeFailed).
//
// The demuxer, the stream and the decoder are the owner's and outlive this object; nothing else
// reads the demuxer or drives the decoder meanwhile. One thread at a time.
class StreamDecoder {
public:
    // `fileName` names the file in the text of an error.
    StreamDecoder(AVFormatContext& format, const AVStream& stream, AVCodecContext& decoder, std::string fileName);

    // 0 with the next frame in `frame`, AVERROR_EOF when the stream has no more frames, or
    // AVERROR_EXIT when `cancelled` (asked before every step, when given) answers true.
    int receive(AVFrame& frame, const std::function<bool()>& cancelled = {});
    // Call after seeking the demuxer: the decoder drops the frames it holds and the input is
    // read again.
    void restart();

private:
    AVFormatContext* format_;
    const AVStream* stream_;
    AVCodecContext* decoder_;
    std::string fileName_;
    PacketPtr packet_;
    bool inputEnded_ = false;
};

} // namespace velmora::ffmpeg
