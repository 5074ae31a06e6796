#include "platform/media/internal/StreamDecoder.h"

#include <algorithm>

namespace velmora::ffmpeg {

StreamDecoder::StreamDecoder(AVFormatContext& format, const AVStream& stream, AVCodecContext& decoder,
                             std::string fileName, std::int64_t startOffsetMicroseconds)
    : format_(&format), stream_(&stream), decoder_(&decoder), fileName_(std::move(fileName)),
      startOffset_(startOffsetMicroseconds, 1000000), packet_(allocPacket())
{
}

int StreamDecoder::receive(AVFrame& frame, const std::function<bool()>& cancelled)
{
    for (;;) {
        if (cancelled && cancelled()) {
            return AVERROR_EXIT;
        }
        int rc = avcodec_receive_frame(decoder_, &frame);
        if (rc == 0) {
            return rc;
        }
        if (rc == AVERROR_EOF) {
            releaseReferenceFrames();
            return rc;
        }
        if (rc != AVERROR(EAGAIN)) {
            if (rc == AVERROR_INVALIDDATA) {
                continue;
            }
            throw error(MediaError::decodeFailed, "Cannot decode \"" + fileName_ + "\"", rc);
        }
        if (inputEnded_) {
            releaseReferenceFrames();
            return AVERROR_EOF;
        }
        rc = av_read_frame(format_, packet_.get());
        if (rc < 0) {
            inputEnded_ = true;
            rc = avcodec_send_packet(decoder_, nullptr);
            if (rc < 0 && rc != AVERROR_EOF) {
                throw error(MediaError::decodeFailed, "Cannot finish decoding", rc);
            }
            continue;
        }
        if (packet_->stream_index != stream_->index) {
            av_packet_unref(packet_.get());
            continue;
        }
        rc = avcodec_send_packet(decoder_, packet_.get());
        av_packet_unref(packet_.get());
        if (rc < 0 && rc != AVERROR(EAGAIN) && rc != AVERROR_INVALIDDATA) {
            throw error(MediaError::decodeFailed, "Cannot decode \"" + fileName_ + "\"", rc);
        }
    }
}

void StreamDecoder::releaseReferenceFrames()
{
    // Nothing is decoded after the end without a seek, which starts the decoder afresh anyway;
    // what it kept for reference (for a huge movie, hundreds of megabytes) goes now.
    avcodec_flush_buffers(decoder_);
}

void StreamDecoder::seek(std::int64_t timestamp)
{
    if (av_seek_frame(format_, stream_->index, timestamp, AVSEEK_FLAG_BACKWARD) < 0) {
        av_seek_frame(format_, stream_->index, 0, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_BYTE);
    }
    avcodec_flush_buffers(decoder_);
    inputEnded_ = false;
}

void StreamDecoder::seekToStart()
{
    if (stream_->start_time != AV_NOPTS_VALUE) {
        seek(stream_->start_time);
        return;
    }
    // No timestamp names the first frame: a byte seek to the start where the format allows one.
    const bool byteSeek = format_->iformat && (format_->iformat->flags & AVFMT_NO_BYTE_SEEK) == 0;
    if (!byteSeek || av_seek_frame(format_, stream_->index, 0, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_BYTE) < 0) {
        av_seek_frame(format_, stream_->index, 0, AVSEEK_FLAG_BACKWARD);
    }
    avcodec_flush_buffers(decoder_);
    inputEnded_ = false;
}

int StreamDecoder::seekBefore(const MediaTime& target, AVFrame& frame, const std::function<bool()>& cancelled)
{
    // A stream without a start time (a raw elementary stream) has no timestamps to seek by: its
    // frames are counted from the first one, so every seek starts there.
    if (!target.isNumeric() || target <= MediaTime::zero() || stream_->start_time == AV_NOPTS_VALUE) {
        seekToStart();
        return receive(frame, cancelled);
    }
    MediaTime seekTime = target;
    for (int attempt = 0;; ++attempt) {
        if (seekTime > MediaTime::zero()) {
            seek(streamTimestamp(seekTime));
        } else {
            seekToStart();
        }
        const int rc = receive(frame, cancelled);
        if (rc != 0) {
            return rc;
        }
        const MediaTime shown = assetTime(frame.best_effort_timestamp);
        if (!shown.isNumeric() || shown <= target || seekTime <= MediaTime::zero() || attempt >= 6) {
            return 0;
        }
        av_frame_unref(&frame);
        seekTime = std::max(MediaTime::zero(), seekTime - MediaTime(std::int64_t{1} << attempt, 1));
    }
}

MediaTime StreamDecoder::assetTime(std::int64_t pts) const
{
    const MediaTime t = toMediaTime(pts, stream_->time_base);
    return t.isNumeric() && startOffset_.value() != 0 ? t - startOffset_ : t;
}

std::int64_t StreamDecoder::streamTimestamp(const MediaTime& time) const
{
    return fromMediaTime(startOffset_.value() != 0 ? time + startOffset_ : time, stream_->time_base);
}

} // namespace velmora::ffmpeg
