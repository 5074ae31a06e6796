#include "platform/media/internal/VideoFrameSource.h"

#include "platform/media/FrameStart.h"

#include <algorithm>
#include <chrono>

namespace velmora::internal {

namespace {

// Decoded frames waiting for the reader: enough to keep the decoder busy while the reader
// composes, bounded so that 4K frames do not pile up.
constexpr std::size_t kMaximumQueuedFrames = 4;
constexpr std::size_t kMaximumQueuedBytes = std::size_t{128} << 20;
// Within this distance ahead of where the decoder stands a request decodes forward instead of
// seeking: going back to a key frame costs as much for the usual key-frame spacing.
const MediaTime kForwardLimit(2, 1);
// Pictures of this many pixels and more are huge: hundreds of megabytes decoded.
constexpr std::int64_t kHugePixels = std::int64_t{64} << 20;
// A huge picture is scaled down when that leaves at most this share of its pixels: scaling every
// frame of a picture only a little too large costs more than holding it.
constexpr std::int64_t kReductionFactor = 4;

std::size_t bytesOf(const AVFrame* frame)
{
    std::size_t bytes = 0;
    for (const AVBufferRef* buffer : frame->buf) {
        if (buffer) {
            bytes += buffer->size;
        }
    }
    return bytes;
}

} // namespace

VideoFrameSource::VideoFrameSource(std::shared_ptr<const Asset> asset, int trackID, int neededSide)
    : asset_(std::move(asset)), trackID_(trackID), still_(asset_->isStillImage()), position_(MediaTime::zero())
{
    format_ = ffmpeg::openInput(asset_->url(), false);
    if (trackID_ < 0 || static_cast<unsigned>(trackID_) >= format_->nb_streams ||
        format_->streams[trackID_]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
        throw MediaError::make(MediaError::noSuchTrack, "\"" + asset_->url().filename().string() +
                                                            "\" has no video track " + std::to_string(trackID_) + ".");
    }
    stream_ = format_->streams[trackID_];
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        format_->streams[i]->discard = static_cast<int>(i) == trackID_ ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    decoder_ = ffmpeg::openDecoder(stream_, 0, neededSide, neededSide);
    const int width = stream_->codecpar->width;
    const int height = stream_->codecpar->height;
    if (decoder_->lowres > 0) {
        storedWidth_ = width;
        storedHeight_ = height;
    } else if (neededSide > 0 && std::int64_t{width} * height >= kHugePixels) {
        const auto [reducedWidth, reducedHeight] = ffmpeg::readSize(width, height, neededSide, neededSide);
        if (std::int64_t{reducedWidth} * reducedHeight * kReductionFactor <= std::int64_t{width} * height) {
            reducedWidth_ = reducedWidth;
            reducedHeight_ = reducedHeight;
            storedWidth_ = width;
            storedHeight_ = height;
        }
    }
    neededSide_ = neededSide;
    decoding_.emplace(*format_, *stream_, *decoder_, asset_->url().filename().string(),
                      asset_->startOffsetMicroseconds());
    decoded_ = ffmpeg::allocFrame();
    nominalDuration_ = MediaTime(1, 30);
    if (stream_->avg_frame_rate.num > 0 && stream_->avg_frame_rate.den > 0) {
        nominalDuration_ = MediaTime(stream_->avg_frame_rate.den, stream_->avg_frame_rate.num);
    } else if (const AssetTrack* track = asset_->track(trackID_); track && track->minFrameDuration.isNumeric()) {
        nominalDuration_ = track->minFrameDuration;
    }
    requestedTime_ = MediaTime::zero();
    worker_ = std::thread([this] { run(); });
}

VideoFrameSource::~VideoFrameSource()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

// ---- decoding thread ----

bool VideoFrameSource::superseded(std::uint64_t serial) const
{
    std::lock_guard lock(mutex_);
    return stopping_ || requestedSerial_ != serial;
}

int VideoFrameSource::decodeNext()
{
    return decoding_->receive(*decoded_);
}

void VideoFrameSource::deliver(std::uint64_t serial)
{
    SourceFrame frame;
    frame.serial = serial;
    frame.time = decoding_->assetTime(decoded_->best_effort_timestamp);
    if (!frame.time.isNumeric()) {
        frame.time = lastEnd_.isNumeric() ? lastEnd_ : MediaTime::zero();
    }
    frame.duration = decoded_->pkt_duration > 0 ? ffmpeg::toMediaTime(decoded_->pkt_duration, stream_->time_base)
                                                : nominalDuration_;
    lastEnd_ = frame.time + frame.duration;
    if (reducedWidth_ > 0 && decoded_->width > reducedWidth_ && decoded_->height > reducedHeight_) {
        // The full picture goes as soon as its reduction is made.
        frame.frame = reducer_.scale(decoded_.get(), reducedWidth_, reducedHeight_);
        av_frame_unref(decoded_.get());
    } else {
        frame.frame = ffmpeg::allocFrame();
        av_frame_move_ref(frame.frame.get(), decoded_.get());
    }
    frame.bytes = bytesOf(frame.frame.get());

    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] {
        return stopping_ || requestedSerial_ != serial ||
               (queue_.size() < kMaximumQueuedFrames && (queue_.empty() || queuedBytes_ + frame.bytes <= kMaximumQueuedBytes));
    });
    if (stopping_ || requestedSerial_ != serial) {
        return;
    }
    queuedBytes_ += frame.bytes;
    queue_.push_back(std::move(frame));
    changed_.notify_all();
}

bool VideoFrameSource::position(const MediaTime& target, std::uint64_t serial)
{
    if (!decoding_) {
        decoder_ = ffmpeg::openDecoder(stream_, 0, neededSide_, neededSide_);
        decoding_.emplace(*format_, *stream_, *decoder_, asset_->url().filename().string(),
                          asset_->startOffsetMicroseconds());
    }
    lastEnd_ = MediaTime::invalid();
    if (still_ || !target.isNumeric() || target <= MediaTime::zero()) {
        const int rc = decoding_->seekBefore(MediaTime::zero(), *decoded_);
        if (rc == 0) {
            deliver(serial);
        }
        return rc == 0;
    }
    // Back to the key frame the target's display starts from.
    if (decoding_->seekBefore(target, *decoded_) != 0) {
        return false;
    }
    // Forward to the frame shown at the target; the reader takes the last one before it too.
    ffmpeg::FramePtr previous = ffmpeg::allocFrame();
    bool hasPrevious = false;
    for (;;) {
        if (superseded(serial)) {
            return false;
        }
        const MediaTime t = decoding_->assetTime(decoded_->best_effort_timestamp);
        const MediaTime d = decoded_->pkt_duration > 0 ? ffmpeg::toMediaTime(decoded_->pkt_duration, stream_->time_base)
                                                       : nominalDuration_;
        if (!t.isNumeric() || t + d > target) {
            deliver(serial);
            return true;
        }
        av_frame_unref(previous.get());
        av_frame_move_ref(previous.get(), decoded_.get());
        hasPrevious = true;
        if (decodeNext() != 0) {
            // The target lies past the last frame: that frame stays on screen.
            if (hasPrevious) {
                av_frame_move_ref(decoded_.get(), previous.get());
                deliver(serial);
            }
            return false;
        }
    }
}

void VideoFrameSource::run()
{
    std::uint64_t working = ~std::uint64_t{0};
    bool atEnd = false;
    for (;;) {
        std::uint64_t serial = 0;
        MediaTime target;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] {
                return stopping_ || requestedSerial_ != working ||
                       (!atEnd && queue_.size() < kMaximumQueuedFrames && queuedBytes_ < kMaximumQueuedBytes);
            });
            if (stopping_) {
                return;
            }
            serial = requestedSerial_;
            target = requestedTime_;
        }
        bool more = true;
        try {
            if (serial != working) {
                working = serial;
                more = position(target, serial);
            } else {
                more = decodeNext() == 0;
                if (more) {
                    deliver(serial);
                }
            }
        } catch (const Error& failure) {
            std::lock_guard lock(mutex_);
            if (requestedSerial_ == serial && !error_) {
                error_ = failure;
            }
            more = false;
        } catch (const std::bad_alloc&) {
            std::lock_guard lock(mutex_);
            if (requestedSerial_ == serial && !error_) {
                error_ = MediaError::make(MediaError::decodeFailed, "Out of memory while decoding.");
            }
            more = false;
        }
        atEnd = !more;
        if (atEnd && reducedWidth_ > 0 && !superseded(serial)) {
            // The decoder of huge pictures keeps hundreds of megabytes in its pool of frames:
            // with nothing left to decode it goes, and the next seek opens it again (a request
            // merely replaced by a newer one keeps it for that one).
            decoding_.reset();
            decoder_.reset();
        }
        if (atEnd) {
            std::lock_guard lock(mutex_);
            if (requestedSerial_ == serial) {
                ended_ = true;
            }
            changed_.notify_all();
        }
    }
}

// ---- reading thread ----

void VideoFrameSource::requestSeek(const MediaTime& time)
{
    {
        std::lock_guard lock(mutex_);
        ++requestedSerial_;
        requestedTime_ = time;
        queue_.clear();
        queuedBytes_ = 0;
        ended_ = false;
        error_.reset();
    }
    changed_.notify_all();
    current_.reset();
    previousStart_ = MediaTime::invalid();
    position_ = time;
}

SourceFrame* VideoFrameSource::peek(const std::function<bool()>& abort)
{
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!queue_.empty()) {
            // Elements of a deque stay where they are while the decoder appends.
            return &queue_.front();
        }
        if (error_) {
            const Error failure = *error_;
            error_.reset();
            ended_ = true;
            throw failure;
        }
        if (ended_ || (abort && abort())) {
            return nullptr;
        }
        // Aborts are not signalled on this condition: look again now and then.
        changed_.wait_for(lock, std::chrono::milliseconds(10));
    }
}

const SourceFrame* VideoFrameSource::frameAt(const MediaTime& time, const std::function<bool()>& abort)
{
    const MediaTime wanted = time - kFrameStartTolerance;
    if (!still_) {
        // The frame held answers when it starts at or after the time and the one before it did
        // not; a frame held before the time is left behind by decoding forward when the time lies
        // a little ahead, and anything else seeks.
        const bool answered =
            current_ && current_->time >= wanted && previousStart_.isNumeric() && previousStart_ < wanted;
        const bool forward = current_ && current_->time < wanted && wanted - current_->time <= kForwardLimit;
        const bool seeking = !current_ && position_.isNumeric() && position_ == time;
        if (!answered && !forward && !seeking) {
            requestSeek(time);
        }
    }
    for (;;) {
        if (current_ && (still_ || current_->time >= wanted)) {
            break;
        }
        const SourceFrame* next = peek(abort);
        if (!next) {
            break;
        }
        std::lock_guard lock(mutex_);
        previousStart_ = current_ ? current_->time : MediaTime::invalid();
        current_ = std::move(queue_.front());
        queue_.pop_front();
        queuedBytes_ -= current_->bytes;
        position_ = current_->time;
        changed_.notify_all();
    }
    if (abort && abort()) {
        return nullptr;
    }
    return current_ ? &*current_ : nullptr;
}

void VideoFrameSource::prepare(const MediaTime& time)
{
    if (still_) {
        return;
    }
    const bool forward = position_.isNumeric() && position_ <= time + kFrameStartTolerance && time - position_ <= kForwardLimit;
    if (!forward) {
        requestSeek(time);
    }
}

} // namespace velmora::internal
