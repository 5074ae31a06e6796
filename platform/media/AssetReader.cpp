#include "platform/media/AssetReader.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <thread>

#include "platform/media/internal/FFmpegSupport.h"
#include "platform/media/internal/FrameConvert.h"
#include "platform/media/internal/StreamDecoder.h"

namespace velmora {

struct AssetReader::State {
    std::atomic<AssetReaderStatus> status{AssetReaderStatus::unknown};
    mutable std::mutex mutex;
    std::optional<Error> error;   // guarded by mutex
    int activeOutputs = 0;        // guarded by mutex
    // Immutable once reading has started.
    MediaTimeRange range{MediaTime::zero(), MediaTime::positiveInfinity()};

    bool isCancelled() const { return status.load() == AssetReaderStatus::cancelled; }

    void fail(const Error& e)
    {
        std::lock_guard lock(mutex);
        const AssetReaderStatus s = status.load();
        if (s == AssetReaderStatus::reading || s == AssetReaderStatus::unknown) {
            error = e;
            status = AssetReaderStatus::failed;
        }
    }

    void outputFinished()
    {
        std::lock_guard lock(mutex);
        if (--activeOutputs <= 0) {
            AssetReaderStatus expected = AssetReaderStatus::reading;
            status.compare_exchange_strong(expected, AssetReaderStatus::completed);
        }
    }
};

// A sample on its way to the caller; for an output of images, with the decoded (and perhaps
// scaled) frame the caller's thread converts.
struct ProducedSample {
    std::optional<SampleBuffer> sample;
    ffmpeg::FramePtr picture;
    ImageTags tags;
};

struct AssetReaderTrackOutput::Impl {
    AssetTrack track;
    MediaType type = MediaType::video;
    PixelFormat pixelFormat = PixelFormat::p010;
    bool images = false;
    AVColorSpace streamColorSpace = AVCOL_SPC_UNSPECIFIED;
    int neededWidth = 0;
    int neededHeight = 0;
    int sampleRate = 48000;
    int channels = 2;

    // Set when added to a reader.
    std::filesystem::path path;
    std::int64_t startOffsetUs = 0;
    std::shared_ptr<AssetReader::State> state;
    bool added = false;

    // Guards everything below: copyNextSampleBuffer runs under it.
    std::mutex mutex;
    ffmpeg::InputFormatPtr format;
    AVStream* stream = nullptr;
    ffmpeg::CodecContextPtr decoder;
    std::optional<ffmpeg::StreamDecoder> decoding;
    ffmpeg::FramePtr frame;
    bool endReached = false;
    bool positioned = false; // seek done and first frame primed
    bool finished = false;
    MediaTime rangeStart;
    MediaTime rangeEnd;

    // Video.
    ffmpeg::FrameConverter converter;
    ffmpeg::FrameScaler scaler;
    // Used by the caller's thread only (one at a time).
    ffmpeg::FrameImageConverter imageConverter;
    std::unique_ptr<PixelBufferPool> pool;
    MediaTime nominalFrameDuration;
    MediaTime lastFrameEnd;

    // Audio.
    ffmpeg::SwrPtr swr;
    int swrInRate = 0;
    int swrInFormat = -1;
    AVChannelLayout swrInLayout{};
    bool swrFlushed = false;
    std::int64_t nextSample = 0; // position of the next resampled frame on the output rate
    bool samplePositionKnown = false;
    std::int64_t startSample = 0;
    std::int64_t endSample = INT64_MAX;
    std::vector<float> resampled;

    ~Impl()
    {
        stopWorkerThread();
        av_channel_layout_uninit(&swrInLayout);
    }

    void open(int threads, int width, int height)
    {
        neededWidth = std::max(0, width);
        neededHeight = std::max(0, height);
        format = ffmpeg::openInput(path, false);
        if (track.trackID < 0 || static_cast<unsigned>(track.trackID) >= format->nb_streams) {
            throw MediaError::make(MediaError::noSuchTrack, "\"" + path.string() + "\" has no track " +
                                                                std::to_string(track.trackID) + ".");
        }
        stream = format->streams[track.trackID];
        streamColorSpace = stream->codecpar->color_space;
        for (unsigned i = 0; i < format->nb_streams; ++i) {
            format->streams[i]->discard = static_cast<int>(i) == track.trackID ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        }
        // One decoding thread per usable core: FFmpeg's own choice adds one more, and every
        // frame thread keeps whole frames of its own.
        decoder = ffmpeg::openDecoder(stream, threads, neededWidth, neededHeight);
        decoding.emplace(*format, *stream, *decoder, path.filename().string(), startOffsetUs);
        frame = ffmpeg::allocFrame();
        if (track.minFrameDuration.isNumeric()) {
            nominalFrameDuration = track.minFrameDuration;
        }
        if (track.nominalFrameRate > 0) {
            nominalFrameDuration = MediaTime::fromSeconds(1.0 / track.nominalFrameRate, 600000);
            if (stream->avg_frame_rate.num > 0 && stream->avg_frame_rate.den > 0) {
                nominalFrameDuration = MediaTime(stream->avg_frame_rate.den, stream->avg_frame_rate.num);
            }
        }
        if (!nominalFrameDuration.isNumeric()) {
            nominalFrameDuration = MediaTime(1, 30);
        }
        rangeStart = state->range.start;
        rangeEnd = state->range.end();
        if (type == MediaType::audio) {
            const MediaTime s = rangeStart.convertScale(sampleRate);
            startSample = s.isNumeric() ? s.value() : 0;
            const MediaTime e = rangeEnd.convertScale(sampleRate);
            endSample = e.isNumeric() ? e.value() : INT64_MAX;
        }
    }

    // 0 with a frame in `frame`, AVERROR_EOF at the end of the stream, AVERROR_EXIT when
    // cancelled; throws on a decoder failure.
    int receiveFrame()
    {
        return decoding->receive(*frame, [this] { return state->isCancelled(); });
    }

    // Seeks to the key frame before the range start and decodes the first frame, going back
    // further while the first frame lies after the start (a key frame whose display time is
    // later than its decode position). Answers as receiveFrame(), with that frame in `frame`.
    int position()
    {
        positioned = true;
        const MediaTime preroll = type == MediaType::audio ? MediaTime(1, 5) : MediaTime::zero();
        MediaTime target = rangeStart - preroll;
        if (target <= MediaTime::zero()) {
            // A fresh demuxer already stands at the start.
            return receiveFrame();
        }
        return decoding->seekBefore(target, *frame, [this] { return state->isCancelled(); });
    }

    int nextFrame()
    {
        if (!positioned) {
            return position();
        }
        av_frame_unref(frame.get());
        return receiveFrame();
    }

    ProducedSample nextVideo()
    {
        for (;;) {
            const int rc = nextFrame();
            if (rc != 0) {
                finish();
                return {};
            }
            MediaTime time = decoding->assetTime(frame->best_effort_timestamp);
            if (!time.isNumeric()) {
                time = lastFrameEnd.isNumeric() ? lastFrameEnd : MediaTime::zero();
            }
            MediaTime duration = frame->pkt_duration > 0 ? ffmpeg::toMediaTime(frame->pkt_duration, stream->time_base)
                                                         : nominalFrameDuration;
            lastFrameEnd = time + duration;
            if (time >= rangeEnd) {
                finish();
                return {};
            }
            if (time + duration <= rangeStart) {
                continue; // decoded on the way to the range
            }
            const auto [width, height] = ffmpeg::readSize(frame->width, frame->height, neededWidth, neededHeight);
            ProducedSample produced;
            produced.sample.emplace();
            SampleBuffer& sample = *produced.sample;
            sample.presentationTime = time;
            sample.duration = duration;
            ImageTags tags = ffmpeg::frameTags(frame.get(), stream->codecpar);
            if (images || isYCbCr(pixelFormat)) {
                tags.colorRange = "VideoRange";
            } else {
                tags.colorRange.clear();
                tags.yCbCrMatrix.clear();
            }
            if (images) {
                // Kept as decoded (or scaled in its planes): the caller's thread converts it.
                if (width != frame->width || height != frame->height) {
                    produced.picture = scaler.scale(frame.get(), width, height);
                } else {
                    produced.picture = ffmpeg::allocFrame();
                    av_frame_move_ref(produced.picture.get(), frame.get());
                }
                produced.tags = std::move(tags);
                return produced;
            }
            if (!pool || pool->width() != width || pool->height() != height) {
                pool = std::make_unique<PixelBufferPool>(pixelFormat, width, height);
            }
            sample.imageBuffer = pool->createPixelBuffer();
            converter.convert(frame.get(), sample.imageBuffer);
            sample.imageBuffer.attachments() = tags;
            return produced;
        }
    }

    void setUpResampler()
    {
        AVChannelLayout inLayout{};
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels == 0) {
            av_channel_layout_default(&inLayout, std::max(1, frame->ch_layout.nb_channels));
        } else {
            av_channel_layout_copy(&inLayout, &frame->ch_layout);
        }
        if (swr && swrInRate == frame->sample_rate && swrInFormat == frame->format &&
            av_channel_layout_compare(&swrInLayout, &inLayout) == 0) {
            av_channel_layout_uninit(&inLayout);
            return;
        }
        AVChannelLayout outLayout{};
        av_channel_layout_default(&outLayout, channels);
        SwrContext* raw = nullptr;
        int rc = swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_FLT, sampleRate, &inLayout,
                                     static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
        ffmpeg::SwrPtr context(raw);
        av_channel_layout_uninit(&outLayout);
        if (rc >= 0) {
            rc = swr_init(context.get());
        }
        if (rc < 0) {
            av_channel_layout_uninit(&inLayout);
            throw ffmpeg::error(MediaError::decodeFailed, "Cannot resample the audio of \"" + path.filename().string() + "\"", rc);
        }
        swr = std::move(context);
        swrInRate = frame->sample_rate;
        swrInFormat = frame->format;
        av_channel_layout_uninit(&swrInLayout);
        swrInLayout = inLayout;
    }

    // Hands out resampled frames [nextSample, nextSample + count) cut to the range.
    std::optional<SampleBuffer> emit(int count)
    {
        const std::int64_t first = nextSample;
        const std::int64_t end = nextSample + count;
        nextSample = end;
        const std::int64_t from = std::max(first, startSample);
        const std::int64_t to = std::min(end, endSample);
        if (to <= from) {
            return std::nullopt;
        }
        SampleBuffer sample;
        sample.presentationTime = MediaTime(from, sampleRate);
        sample.duration = MediaTime(to - from, sampleRate);
        sample.audioFrameCount = static_cast<int>(to - from);
        sample.audioChannels = channels;
        sample.audioSampleRate = sampleRate;
        const float* begin = resampled.data() + (from - first) * channels;
        sample.audioSamples.assign(begin, begin + (to - from) * channels);
        return sample;
    }

    std::optional<SampleBuffer> nextAudio()
    {
        for (;;) {
            if (nextSample >= endSample && samplePositionKnown) {
                finish();
                return std::nullopt;
            }
            const int rc = nextFrame();
            if (rc == AVERROR_EXIT) {
                finish();
                return std::nullopt;
            }
            if (rc != 0) {
                // Drain the resampler's delay line once, then stop.
                if (swr && !swrFlushed) {
                    swrFlushed = true;
                    const int capacity = std::max(0, swr_get_out_samples(swr.get(), 0)) + 32;
                    resampled.resize(static_cast<std::size_t>(capacity) * channels);
                    auto* out = reinterpret_cast<std::uint8_t*>(resampled.data());
                    const int n = swr_convert(swr.get(), &out, capacity, nullptr, 0);
                    if (n > 0) {
                        if (auto sample = emit(n)) {
                            return sample;
                        }
                    }
                }
                finish();
                return std::nullopt;
            }
            setUpResampler();
            if (!samplePositionKnown) {
                const MediaTime t = decoding->assetTime(frame->best_effort_timestamp);
                const MediaTime onRate = (t.isNumeric() ? t : MediaTime::zero()).convertScale(sampleRate);
                nextSample = onRate.value();
                samplePositionKnown = true;
            }
            const int capacity = swr_get_out_samples(swr.get(), frame->nb_samples) + 32;
            resampled.resize(static_cast<std::size_t>(capacity) * channels);
            auto* out = reinterpret_cast<std::uint8_t*>(resampled.data());
            const int n = swr_convert(swr.get(), &out, capacity, const_cast<const std::uint8_t**>(frame->extended_data),
                                      frame->nb_samples);
            if (n < 0) {
                throw ffmpeg::error(MediaError::decodeFailed, "Cannot resample audio", n);
            }
            if (n == 0) {
                continue;
            }
            if (auto sample = emit(n)) {
                return sample;
            }
        }
    }

    // The decoder has nothing more to give (end of range, end of file, cancel or failure): it
    // and the demuxer go now, with the frame buffers the decoder keeps for reuse, which for a
    // huge picture are most of the memory, even while the caller still holds the last sample.
    void finish()
    {
        endReached = true;
        decoding.reset();
        decoder.reset();
        format.reset();
        stream = nullptr;
        frame.reset();
    }

    // The caller has received the end: the reader hears of it once.
    void reportFinished()
    {
        if (!finished) {
            finished = true;
            state->outputFinished();
        }
    }

    // The next sample, or nothing at the end; failures are recorded on the reader.
    ProducedSample produce()
    {
        std::lock_guard lock(mutex);
        if (endReached || state->status.load() != AssetReaderStatus::reading) {
            endReached = true;
            return {};
        }
        try {
            if (type == MediaType::video) {
                return nextVideo();
            }
            return ProducedSample{nextAudio(), nullptr, {}};
        } catch (const Error& e) {
            state->fail(e);
        } catch (const std::bad_alloc&) {
            state->fail(MediaError::make(MediaError::decodeFailed, "Out of memory while decoding."));
        }
        endReached = true;
        return {};
    }

    bool isReading() const { return state && !finished && state->status.load() == AssetReaderStatus::reading; }

    // The caller's next produced sample: the one looked at by nextSampleTime(), else a new one.
    ProducedSample takeNext()
    {
        if (peeked) {
            ProducedSample next = std::move(*peeked);
            peeked.reset();
            return next;
        }
        return worker.joinable() ? takeFromWorker() : produce();
    }
    // Caller's side: taken for a look at its time, not yet handed out.
    std::optional<ProducedSample> peeked;

    // The caller's side of a produced sample: an output of images converts the frame here, so
    // that only decoded frames wait in the queue and one float frame is made per sample taken.
    std::optional<SampleBuffer> deliver(ProducedSample produced)
    {
        if (!produced.picture || !produced.sample) {
            return std::move(produced.sample);
        }
        try {
            produced.sample->image = imageConverter.convert(produced.picture.get(), streamColorSpace);
            produced.sample->image.tags = std::move(produced.tags);
            return std::move(produced.sample);
        } catch (const Error& e) {
            state->fail(e);
        } catch (const std::bad_alloc&) {
            state->fail(MediaError::make(MediaError::decodeFailed, "Out of memory while decoding."));
        }
        return std::nullopt;
    }

    // Decoding ahead: a worker thread keeps up to prefetchDepth() samples ready, so decoding the
    // next frame overlaps the caller's work on this one.
    std::thread worker;
    std::mutex queueMutex;
    std::condition_variable queueChanged;
    std::deque<ProducedSample> queue; // guarded by queueMutex; no sample marks the end
    bool stopWorker = false;          // guarded by queueMutex

    // Samples kept ready. An output of images keeps one decoded frame: the worker feeds the
    // decoder its next packets (so that its frame threads go on to the frames after) while the
    // caller converts the one before, and a deeper queue would only hold more decoded frames.
    std::size_t prefetchDepth() const { return images ? 1 : 2; }

    void startWorker()
    {
        worker = std::thread([this] {
            const std::size_t depth = prefetchDepth();
            for (;;) {
                {
                    std::unique_lock lock(queueMutex);
                    queueChanged.wait(lock, [&] { return stopWorker || queue.size() < depth; });
                    if (stopWorker) {
                        return;
                    }
                }
                ProducedSample sample = produce();
                const bool end = !sample.sample;
                std::lock_guard lock(queueMutex);
                if (stopWorker) {
                    return;
                }
                queue.push_back(std::move(sample));
                queueChanged.notify_all();
                if (end) {
                    return;
                }
            }
        });
    }

    ProducedSample takeFromWorker()
    {
        std::unique_lock lock(queueMutex);
        for (;;) {
            if (!queue.empty()) {
                ProducedSample sample = std::move(queue.front());
                queue.pop_front();
                queueChanged.notify_all();
                return sample;
            }
            if (state->isCancelled()) {
                return {};
            }
            // Cancellation does not notify this condition; look again now and then.
            queueChanged.wait_for(lock, std::chrono::milliseconds(20));
        }
    }

    void stopWorkerThread()
    {
        {
            std::lock_guard lock(queueMutex);
            stopWorker = true;
        }
        queueChanged.notify_all();
        if (worker.joinable()) {
            worker.join();
        }
    }
};

AssetReaderTrackOutput::AssetReaderTrackOutput(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
AssetReaderTrackOutput::~AssetReaderTrackOutput() = default;

std::shared_ptr<AssetReaderTrackOutput> AssetReaderTrackOutput::video(const AssetTrack& track, PixelFormat pixelFormat)
{
    auto impl = std::make_unique<Impl>();
    impl->track = track;
    impl->type = MediaType::video;
    impl->pixelFormat = pixelFormat;
    return std::shared_ptr<AssetReaderTrackOutput>(new AssetReaderTrackOutput(std::move(impl)));
}

std::shared_ptr<AssetReaderTrackOutput> AssetReaderTrackOutput::videoImages(const AssetTrack& track)
{
    auto impl = std::make_unique<Impl>();
    impl->track = track;
    impl->type = MediaType::video;
    impl->images = true;
    return std::shared_ptr<AssetReaderTrackOutput>(new AssetReaderTrackOutput(std::move(impl)));
}

std::shared_ptr<AssetReaderTrackOutput> AssetReaderTrackOutput::audio(const AssetTrack& track, int sampleRate,
                                                                      int channels)
{
    if (sampleRate < 1 || sampleRate > 768000 || channels < 1 || channels > 16) {
        throw MediaError::make(MediaError::invalidArgument, "Audio of " + std::to_string(sampleRate) + " Hz and " +
                                                                std::to_string(channels) + " channels cannot be read.");
    }
    auto impl = std::make_unique<Impl>();
    impl->track = track;
    impl->type = MediaType::audio;
    impl->sampleRate = sampleRate;
    impl->channels = channels;
    return std::shared_ptr<AssetReaderTrackOutput>(new AssetReaderTrackOutput(std::move(impl)));
}

const AssetTrack& AssetReaderTrackOutput::track() const { return impl_->track; }
MediaType AssetReaderTrackOutput::mediaType() const { return impl_->type; }

std::optional<SampleBuffer> AssetReaderTrackOutput::copyNextSampleBuffer()
{
    Impl& impl = *impl_;
    if (!impl.isReading()) {
        return std::nullopt;
    }
    std::optional<SampleBuffer> sample = impl.deliver(impl.takeNext());
    if (!sample) {
        impl.reportFinished();
    }
    return sample;
}

std::optional<MediaTime> AssetReaderTrackOutput::nextSampleTime()
{
    Impl& impl = *impl_;
    if (!impl.isReading()) {
        return std::nullopt;
    }
    if (!impl.peeked) {
        impl.peeked = impl.takeNext();
    }
    if (!impl.peeked->sample) {
        return std::nullopt;
    }
    return impl.peeked->sample->presentationTime;
}

bool AssetReaderTrackOutput::skipNextSample()
{
    Impl& impl = *impl_;
    if (!nextSampleTime()) {
        return false;
    }
    impl.peeked.reset();
    return true;
}

AssetReader::AssetReader(std::shared_ptr<const Asset> asset) : asset_(std::move(asset)), state_(std::make_shared<State>())
{
    if (!asset_) {
        throw MediaError::make(MediaError::invalidArgument, "A reader needs an asset.");
    }
    std::error_code ec;
    if (!std::filesystem::exists(asset_->url(), ec)) {
        throw MediaError::make(MediaError::fileNotFound,
                               "The file \"" + asset_->url().string() + "\" does not exist.");
    }
}

AssetReader::~AssetReader() = default;

void AssetReader::setTimeRange(const MediaTimeRange& range)
{
    if (state_->status.load() != AssetReaderStatus::unknown) {
        throw MediaError::make(MediaError::invalidState, "The time range is set before reading starts.");
    }
    if (!range.start.isValid() || !range.duration.isValid() || range.duration < MediaTime::zero()) {
        throw MediaError::make(MediaError::invalidArgument, "The time range to read is not valid.");
    }
    state_->range = range;
}

MediaTimeRange AssetReader::timeRange() const { return state_->range; }

bool AssetReader::canAdd(const AssetReaderTrackOutput& output) const
{
    if (state_->status.load() != AssetReaderStatus::unknown || output.impl_->added) {
        return false;
    }
    const AssetTrack* track = asset_->track(output.impl_->track.trackID);
    return track && track->mediaType == output.impl_->type;
}

void AssetReader::add(std::shared_ptr<AssetReaderTrackOutput> output)
{
    if (!output || !canAdd(*output)) {
        throw MediaError::make(MediaError::invalidState, "This output cannot be added to the reader.");
    }
    output->impl_->added = true;
    output->impl_->state = state_;
    output->impl_->path = asset_->url();
    output->impl_->startOffsetUs = asset_->startOffsetMicroseconds();
    outputs_.push_back(std::move(output));
}

bool AssetReader::startReading()
{
    if (state_->status.load() != AssetReaderStatus::unknown) {
        return false;
    }
    try {
        for (auto& output : outputs_) {
            std::lock_guard lock(output->impl_->mutex);
            output->impl_->open(output->decoderThreads, output->neededWidth, output->neededHeight);
        }
    } catch (const Error& e) {
        state_->fail(e);
        return false;
    }
    {
        std::lock_guard lock(state_->mutex);
        state_->activeOutputs = static_cast<int>(outputs_.size());
        AssetReaderStatus expected = AssetReaderStatus::unknown;
        state_->status.compare_exchange_strong(expected, outputs_.empty() ? AssetReaderStatus::completed
                                                                          : AssetReaderStatus::reading);
    }
    if (state_->status.load() != AssetReaderStatus::reading) {
        return state_->status.load() == AssetReaderStatus::completed;
    }
    for (auto& output : outputs_) {
        if (output->decodesAhead) {
            output->impl_->startWorker();
        }
    }
    return true;
}

void AssetReader::cancelReading()
{
    std::lock_guard lock(state_->mutex);
    const AssetReaderStatus s = state_->status.load();
    if (s == AssetReaderStatus::unknown || s == AssetReaderStatus::reading) {
        state_->status = AssetReaderStatus::cancelled;
    }
}

AssetReaderStatus AssetReader::status() const { return state_->status.load(); }

std::optional<Error> AssetReader::error() const
{
    std::lock_guard lock(state_->mutex);
    return state_->error;
}

} // namespace velmora
