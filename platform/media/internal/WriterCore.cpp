#include "platform/media/internal/WriterCore.h"

namespace velmora {

void AssetWriterCore::stopEncodeQueues()
{
    for (const auto& input : inputs) {
        if (input->encodeQueue) {
            input->encodeQueue->stop();
        }
    }
}

void AssetWriterCore::fail(const Error& e)
{

    std::lock_guard lock(stateMutex);
    const AssetWriterStatus s = status.load();
    if (s != AssetWriterStatus::writing && s != AssetWriterStatus::unknown) {
        return;
    }
    error = e;
    status = AssetWriterStatus::failed;
    // A failure found on an encoding thread reaches no caller of append(): ask each open input's
    // source once more, so that it sees the refusal and the failure instead of waiting for a
    // call that would never come.
    kickLocked();
}

bool AssetWriterCore::readyLocked(const AssetWriterInputCore& input) const
{
    if (status.load() != AssetWriterStatus::writing || input.finished || finishing) {
        return false;
    }
    if (input.encodeQueue && input.inFlight > static_cast<int>(kEncodeQueueDepth)) {
        return false;
    }
    for (const auto& other : inputs) {
        if (other.get() != &input && !other->finished && input.appendedEnd > other->appendedEnd + kInterleaveWindow) {
            return false;
        }
    }
    return true;
}

void AssetWriterCore::schedulePumpLocked(const std::shared_ptr<AssetWriterInputCore>& input, double delay)
{
    const bool failureNoticeDue =
        status.load() == AssetWriterStatus::failed && !input->failureNotified && !input->finished;
    if (!input->queue || !input->block || input->pumpScheduled || (!readyLocked(*input) && !failureNoticeDue)) {
        return;
    }
    input->pumpScheduled = true;
    std::weak_ptr<AssetWriterCore> weak = weak_from_this();
    auto work = [weak, input] {
        if (auto self = weak.lock()) {
            self->runPump(input);
        }
    };
    if (delay > 0) {
        input->queue->asyncAfter(delay, std::move(work));
    } else {
        input->queue->async(std::move(work));
    }
}

void AssetWriterCore::kickLocked()
{
    for (const auto& input : inputs) {
        schedulePumpLocked(input, 0);
    }
}

void AssetWriterCore::kick()
{
    std::lock_guard lock(stateMutex);
    kickLocked();
}

void AssetWriterCore::runPump(const std::shared_ptr<AssetWriterInputCore>& input)
{
    std::function<void()> block;
    std::uint64_t before = 0;
    {
        std::lock_guard lock(stateMutex);
        const bool failureNotice = status.load() == AssetWriterStatus::failed && !input->failureNotified &&
                                   !input->finished;
        if (failureNotice) {
            input->failureNotified = true;
        } else if (!readyLocked(*input)) {
            input->pumpScheduled = false;
            return;
        }
        block = input->block;
        before = input->progress;
    }
    try {
        block();
    } catch (const Error& e) {
        fail(e);
    } catch (const std::exception& e) {
        fail(MediaError::make(MediaError::writeFailed, std::string("A writer input's source failed: ") + e.what()));
    }
    std::lock_guard lock(stateMutex);
    input->pumpScheduled = false;
    // A block that appended nothing while ready is asked again shortly rather than at once,
    // so an idle source does not spin.
    schedulePumpLocked(input, input->progress != before ? 0.0 : 0.002);
    kickLocked();
}

void AssetWriterCore::writeReadyPacketsLocked()
{
    if (!headerWritten) {
        return;
    }
    for (;;) {
        int best = -1;
        for (std::size_t i = 0; i < queues.size(); ++i) {
            if (queues[i].empty()) {
                if (!ended[i]) {
                    return; // its next packet may come first
                }
                continue;
            }
            if (best < 0 || av_compare_ts(queues[i].front()->dts, packetTimeBases[i], queues[best].front()->dts,
                                          packetTimeBases[best]) < 0) {
                best = static_cast<int>(i);
            }
        }
        if (best < 0) {
            return;
        }
        ffmpeg::PacketPtr packet = std::move(queues[best].front());
        queues[best].pop_front();
        AVStream* stream = format->streams[best];
        av_packet_rescale_ts(packet.get(), packetTimeBases[best], stream->time_base);
        packet->stream_index = best;
        const int rc = av_write_frame(format.get(), packet.get());
        if (rc < 0) {
            throw ffmpeg::error(MediaError::writeFailed, "Cannot write \"" + url.filename().string() + "\"", rc);
        }
    }
}

void AssetWriterCore::enqueue(int stream, ffmpeg::PacketPtr packet)
{
    std::lock_guard lock(muxMutex);
    if (!format) {
        return; // cancelled
    }
    queues[stream].push_back(std::move(packet));
    writeReadyPacketsLocked();
}

void AssetWriterCore::streamEnded(int stream)
{
    std::lock_guard lock(muxMutex);
    if (!format) {
        return;
    }
    ended[stream] = true;
    writeReadyPacketsLocked();
}

void AssetWriterCore::encoderOpened(AssetWriterInputCore& input, const AVCodecContext* context)
{
    std::lock_guard lock(muxMutex);
    if (!format) {
        return;
    }
    AVStream* stream = format->streams[input.streamIndex];
    int rc = avcodec_parameters_from_context(stream->codecpar, context);
    if (rc < 0) {
        throw ffmpeg::error(MediaError::writeFailed, "Cannot describe a track", rc);
    }
    stream->time_base = context->time_base;
    if (input.type == MediaType::video) {
        if (input.video.codec == VideoCodecType::hevc) {
            stream->codecpar->codec_tag = MKTAG('h', 'v', 'c', '1');
        }
        if (context->framerate.num > 0) {
            stream->avg_frame_rate = context->framerate;
        }
    }
    packetTimeBases[input.streamIndex] = context->time_base;
    encoderReady[input.streamIndex] = true;
    for (bool ready : encoderReady) {
        if (!ready) {
            return;
        }
    }
    ffmpeg::Options options;
    for (const auto& in : inputs) {
        if (in->type == MediaType::video) {
            options.set("video_track_timescale", std::to_string(in->timeBase.den));
        }
    }
    if (movieTimeScale > 0) {
        options.set("movie_timescale", std::to_string(movieTimeScale));
    }
    rc = avformat_write_header(format.get(), options.get());
    if (rc < 0) {
        throw ffmpeg::error(MediaError::writeFailed, "Cannot start \"" + url.filename().string() + "\"", rc);
    }
    headerWritten = true;
    writeReadyPacketsLocked();
}

void AssetWriterCore::flushInput(AssetWriterInputCore& input)
{
    std::lock_guard lock(input.encodeMutex);
    if (input.flushed || status.load() != AssetWriterStatus::writing) {
        return;
    }
    input.flushed = true;
    const int index = input.streamIndex;
    auto sink = [this, index](ffmpeg::PacketPtr p) { enqueue(index, std::move(p)); };
    if (input.videoEncoder) {
        if (!input.videoEncoder->isOpen()) {
            input.videoEncoder->open(ImageTags{});
            encoderOpened(input, input.videoEncoder->context());
        }
        input.videoEncoder->flush(sink);
    } else if (input.audioEncoder) {
        input.audioEncoder->flush(sink);
    }
    streamEnded(index);
}

void AssetWriterCore::finishInput(AssetWriterInputCore& input)
{
    if (input.encodeQueue) {
        input.encodeQueue->finish();
        input.encodeQueue->join();
        return;
    }
    flushInput(input);
}

void AssetWriterCore::encodeFrame(AssetWriterInputCore& input, const PixelBuffer& frame, const MediaTime& relative)
{
    try {
        std::lock_guard lock(input.encodeMutex);
        if (status.load() != AssetWriterStatus::writing || input.flushed) {
            return;
        }
        const int index = input.streamIndex;
        auto sink = [this, index](ffmpeg::PacketPtr p) { enqueue(index, std::move(p)); };
        if (!input.videoEncoder->isOpen()) {
            input.videoEncoder->open(frame.attachments());
            encoderOpened(input, input.videoEncoder->context());
        }
        std::int64_t pts = ffmpeg::fromMediaTime(relative, input.timeBase);
        if (input.lastVideoPts != INT64_MIN && pts <= input.lastVideoPts) {
            pts = input.lastVideoPts + 1; // keep time moving forward for the container
        }
        input.lastVideoPts = pts;
        input.videoEncoder->encode(frame, pts, sink);
    } catch (const Error& e) {
        fail(e);
    } catch (const std::bad_alloc&) {
        fail(MediaError::make(MediaError::encodeFailed, "Out of memory while encoding."));
    }
}

void AssetWriterCore::startEncodeQueue(AssetWriterInputCore& input)
{
    AssetWriterInputCore* in = &input;
    input.encodeQueue = std::make_unique<ffmpeg::EncodeQueue>(
        kEncodeQueueDepth, [this, in](const PixelBuffer& frame, const MediaTime& time) { encodeFrame(*in, frame, time); },
        [this, in] {
            try {
                flushInput(*in);
            } catch (const Error& e) {
                fail(e);
            } catch (const std::bad_alloc&) {
                fail(MediaError::make(MediaError::encodeFailed, "Out of memory while encoding."));
            }
        },
        [this, in] {
            {
                std::lock_guard lock(stateMutex);
                --in->inFlight;
            }
            kick();
        });
}

void AssetWriterCore::closeAndRemoveFile()
{
    {
        std::lock_guard lock(muxMutex);
        format.reset();
        for (auto& q : queues) {
            q.clear();
        }
    }
    bool created = false;
    {
        std::lock_guard lock(stateMutex);
        created = fileCreated;
        fileCreated = false;
    }
    if (created) {
        std::error_code ec;
        std::filesystem::remove(url, ec);
    }
}

void AssetWriterCore::releaseEncoders()
{
    for (const auto& input : inputs) {
        std::lock_guard lock(input->encodeMutex);
        input->videoEncoder.reset();
        input->audioEncoder.reset();
    }
}

void AssetWriterCore::finish()
{
    try {
        if (status.load() == AssetWriterStatus::writing) {
            for (const auto& input : inputs) {
                finishInput(*input);
            }
            std::lock_guard lock(muxMutex);
            if (format && status.load() == AssetWriterStatus::writing) {
                writeReadyPacketsLocked();
                const int rc = av_write_trailer(format.get());
                if (rc < 0) {
                    throw ffmpeg::error(MediaError::writeFailed, "Cannot complete \"" + url.filename().string() + "\"", rc);
                }
                const int closed = avio_closep(&format->pb);
                if (closed < 0) {
                    throw ffmpeg::error(MediaError::writeFailed, "Cannot close \"" + url.filename().string() + "\"", closed);
                }
                format.reset();
            }
        }
    } catch (const Error& e) {
        fail(e);
    } catch (const std::bad_alloc&) {
        fail(MediaError::make(MediaError::writeFailed, "Out of memory while completing the movie."));
    }
    stopEncodeQueues();
    releaseEncoders();
    AssetWriterStatus expected = AssetWriterStatus::writing;
    status.compare_exchange_strong(expected, AssetWriterStatus::completed);
    if (status.load() != AssetWriterStatus::completed) {
        closeAndRemoveFile();
    }
}

} // namespace velmora
