#include "platform/media/internal/AudioSegmentStream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/media/internal/FFmpegSupport.h"
#include "platform/media/internal/FilterLibrary.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace velmora::internal {

namespace {

constexpr int kRate = 48000;
constexpr int kChannels = 2;
// Decoding starts this much before the first wanted sample, so that codecs with overlapping
// transforms (AAC) have settled by then.
constexpr double kPreRollSeconds = 0.2;
// Beyond these factors a stretch would need so many stages that nothing recognisable is left;
// such an edit is silent.
constexpr double kMinTempo = 1.0 / 65536.0;
constexpr double kMaxTempo = 65536.0;
// A tempo this close to 1 plays the source unchanged.
constexpr double kUnityTolerance = 1e-9;
// A slowing stage of the stretcher runs ahead of the ideal timing by about this much for each
// unit of (1 / tempo - 1), measured at 48 kHz; left alone, slowed sound would lead its picture.
constexpr double kSlowStageLeadSeconds = 0.009;

struct FilterGraphDeleter {
    // Only a graph that exists is freed, and making it loaded the library.
    void operator()(AVFilterGraph* graph) const { FilterLibrary::get().graphFree(&graph); }
};
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphDeleter>;

// The tempo as a product of factors within 0.5...2. The stretcher accepts up to 100 in one
// stage, but above 2 it drops whole windows of input instead of blending them.
std::vector<double> tempoStages(double tempo)
{
    std::vector<double> stages;
    while (tempo > 2.0) {
        stages.push_back(2.0);
        tempo /= 2.0;
    }
    while (tempo < 0.5) {
        stages.push_back(0.5);
        tempo /= 0.5;
    }
    stages.push_back(tempo);
    return stages;
}

void check(int rc, MediaError::Code code, const std::string& what)
{
    if (rc < 0) {
        throw ffmpeg::error(code, what, rc);
    }
}

} // namespace

struct AudioSegmentStream::Impl {
    const std::atomic<bool>* cancelled = nullptr;
    std::filesystem::path url;

    ffmpeg::InputFormatPtr format;
    ffmpeg::CodecContextPtr decoder;
    AVStream* stream = nullptr;
    ffmpeg::PacketPtr packet;
    ffmpeg::FramePtr decoded;

    ffmpeg::SwrPtr resampler;
    int resamplerRate = 0;
    int resamplerFormat = AV_SAMPLE_FMT_NONE;
    AVChannelLayout resamplerLayout{};

    FilterGraphPtr graph;
    AVFilterContext* graphSource = nullptr;
    AVFilterContext* graphSink = nullptr;
    ffmpeg::FramePtr filtered;
    std::int64_t filterPts = 0;

    ffmpeg::AudioFifoPtr fifo;
    std::vector<float> scratch;
    std::vector<const std::uint8_t*> inputPlanes;

    double startSeconds = 0;     // first wanted source sample, asset time
    double containerOffset = 0;  // seconds between file timestamps and asset time
    double expectedNext = 0;     // asset time of the next decoded frame when it has no timestamp
    std::int64_t sourceFramesLeft = 0;
    bool started = false;
    bool demuxDone = false;
    bool sourceLimitReached = false;
    bool finished = false;

    ~Impl() { av_channel_layout_uninit(&resamplerLayout); }

    bool isCancelled() const { return cancelled && cancelled->load(std::memory_order_relaxed); }

    void open(const Parameters& parameters);
    void buildStretcher(double tempo);
    void produce();
    void handleFrame(const AVFrame& frame);
    void configureResampler(const AVFrame& frame);
    void pushLimited(const float* data, std::int64_t frames);
    void pushSilence(std::int64_t frames);
    void feedStretcher(const float* data, std::int64_t frames);
    void drainStretcher();
    void writeFifo(const float* data, std::int64_t frames);
    void endOfSource();
    float* scratchFor(std::int64_t frames);
};

void AudioSegmentStream::Impl::open(const Parameters& parameters)
{
    url = parameters.url;
    format = ffmpeg::openInput(parameters.url, false);
    if (parameters.trackID < 0 || parameters.trackID >= static_cast<int>(format->nb_streams)
        || format->streams[parameters.trackID]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) {
        throw MediaError::make(MediaError::noSuchTrack,
                               "\"" + parameters.url.string() + "\" has no audio track "
                                   + std::to_string(parameters.trackID) + ".");
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (static_cast<int>(i) != parameters.trackID) {
            format->streams[i]->discard = AVDISCARD_ALL;
        }
    }
    stream = format->streams[parameters.trackID];
    decoder = ffmpeg::openDecoder(stream, 1);
    packet = ffmpeg::allocPacket();
    decoded = ffmpeg::allocFrame();

    if (format->start_time != AV_NOPTS_VALUE && format->start_time > 0) {
        containerOffset = static_cast<double>(format->start_time) / AV_TIME_BASE;
    }
    if (startSeconds > 0) {
        const double target = std::max(0.0, startSeconds - kPreRollSeconds) + containerOffset;
        const auto timestamp = static_cast<std::int64_t>(std::llround(target / av_q2d(stream->time_base)));
        if (av_seek_frame(format.get(), stream->index, timestamp, AVSEEK_FLAG_BACKWARD) < 0) {
            // Not seekable: decode from the beginning and drop what comes before the start.
            av_seek_frame(format.get(), stream->index, 0, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
        }
        avcodec_flush_buffers(decoder.get());
    }
}

void AudioSegmentStream::Impl::buildStretcher(double tempo)
{
    const FilterLibrary& filters = FilterLibrary::get();
    graph.reset(filters.graphAlloc());
    if (!graph) {
        throw std::bad_alloc();
    }
    graph->nb_threads = 1;
    auto make = [this, &filters](const char* filterName, const char* name) {
        const AVFilter* filter = filters.getByName(filterName);
        if (!filter) {
            throw MediaError::make(MediaError::decodeFailed,
                                   std::string("The audio filter \"") + filterName + "\" is not available.");
        }
        AVFilterContext* context = filters.graphAllocFilter(graph.get(), filter, name);
        if (!context) {
            throw std::bad_alloc();
        }
        return context;
    };
    auto init = [&filters](AVFilterContext* context) {
        check(filters.initStr(context, nullptr), MediaError::decodeFailed, "Cannot set up the audio time stretch");
    };
    auto link = [&filters](AVFilterContext* from, AVFilterContext* to) {
        check(filters.link(from, 0, to, 0), MediaError::decodeFailed, "Cannot set up the audio time stretch");
    };

    graphSource = make("abuffer", "in");
    check(av_opt_set_int(graphSource, "sample_rate", kRate, AV_OPT_SEARCH_CHILDREN), MediaError::decodeFailed,
          "Cannot set up the audio time stretch");
    check(av_opt_set_sample_fmt(graphSource, "sample_fmt", AV_SAMPLE_FMT_FLT, AV_OPT_SEARCH_CHILDREN),
          MediaError::decodeFailed, "Cannot set up the audio time stretch");
    check(av_opt_set_q(graphSource, "time_base", AVRational{1, kRate}, AV_OPT_SEARCH_CHILDREN),
          MediaError::decodeFailed, "Cannot set up the audio time stretch");
    check(av_opt_set(graphSource, "channel_layout", "stereo", AV_OPT_SEARCH_CHILDREN), MediaError::decodeFailed,
          "Cannot set up the audio time stretch");
    init(graphSource);

    AVFilterContext* previous = graphSource;
    int index = 0;
    double leadSeconds = 0;
    for (const double stage : tempoStages(tempo)) {
        leadSeconds = leadSeconds / stage + (stage < 1.0 ? kSlowStageLeadSeconds * (1.0 / stage - 1.0) : 0.0);
        const std::string name = "tempo" + std::to_string(index++);
        AVFilterContext* stretch = make("atempo", name.c_str());
        check(av_opt_set_double(stretch, "tempo", stage, AV_OPT_SEARCH_CHILDREN), MediaError::decodeFailed,
              "Cannot set up the audio time stretch");
        init(stretch);
        link(previous, stretch);
        previous = stretch;
    }

    AVFilterContext* toFloat = make("aformat", "format");
    check(av_opt_set(toFloat, "sample_fmts", "flt", AV_OPT_SEARCH_CHILDREN), MediaError::decodeFailed,
          "Cannot set up the audio time stretch");
    check(av_opt_set(toFloat, "channel_layouts", "stereo", AV_OPT_SEARCH_CHILDREN), MediaError::decodeFailed,
          "Cannot set up the audio time stretch");
    check(av_opt_set(toFloat, "sample_rates", "48000", AV_OPT_SEARCH_CHILDREN), MediaError::decodeFailed,
          "Cannot set up the audio time stretch");
    init(toFloat);
    link(previous, toFloat);

    graphSink = make("abuffersink", "out");
    init(graphSink);
    link(toFloat, graphSink);
    check(filters.graphConfig(graph.get(), nullptr), MediaError::decodeFailed,
          "Cannot set up the audio time stretch");
    filtered = ffmpeg::allocFrame();
    // Delaying the stretched sound by its lead keeps it in step; the frames it pushes past the
    // edit's end are cut there.
    const auto leadFrames = static_cast<std::int64_t>(std::llround(leadSeconds * kRate));
    for (std::int64_t left = leadFrames; left > 0;) {
        const std::int64_t count = std::min<std::int64_t>(left, 4096);
        float* block = scratchFor(count);
        std::fill(block, block + count * kChannels, 0.0f);
        writeFifo(block, count);
        left -= count;
    }
}

void AudioSegmentStream::Impl::produce()
{
    if (!demuxDone) {
        const int rc = av_read_frame(format.get(), packet.get());
        if (rc == AVERROR_EOF) {
            demuxDone = true;
            avcodec_send_packet(decoder.get(), nullptr);
        } else if (rc < 0) {
            throw ffmpeg::error(MediaError::decodeFailed, "Cannot read \"" + url.string() + "\"", rc);
        } else {
            if (packet->stream_index == stream->index) {
                const int sent = avcodec_send_packet(decoder.get(), packet.get());
                // A damaged packet is dropped, as a player would; the rest of the file still plays.
                if (sent < 0 && sent != AVERROR_INVALIDDATA && sent != AVERROR(EAGAIN)) {
                    av_packet_unref(packet.get());
                    throw ffmpeg::error(MediaError::decodeFailed, "Cannot decode \"" + url.string() + "\"", sent);
                }
            }
            av_packet_unref(packet.get());
        }
    }
    for (;;) {
        const int rc = avcodec_receive_frame(decoder.get(), decoded.get());
        if (rc == AVERROR(EAGAIN)) {
            break;
        }
        if (rc == AVERROR_EOF) {
            endOfSource();
            break;
        }
        if (rc == AVERROR_INVALIDDATA) {
            continue;
        }
        check(rc, MediaError::decodeFailed, "Cannot decode \"" + url.string() + "\"");
        handleFrame(*decoded);
        av_frame_unref(decoded.get());
        if (finished) {
            break;
        }
    }
}

void AudioSegmentStream::Impl::handleFrame(const AVFrame& frame)
{
    if (frame.sample_rate <= 0 || frame.nb_samples <= 0) {
        return;
    }
    const double rate = frame.sample_rate;
    const int count = frame.nb_samples;
    const std::int64_t pts = frame.best_effort_timestamp;
    const double time = pts != AV_NOPTS_VALUE ? pts * av_q2d(stream->time_base) - containerOffset
                                              : (started ? expectedNext : startSeconds);
    expectedNext = time + count / rate;

    int skip = 0;
    if (!started) {
        if (expectedNext <= startSeconds) {
            return;
        }
        if (time < startSeconds) {
            skip = static_cast<int>(std::clamp<long long>(std::llround((startSeconds - time) * rate), 0, count));
        } else {
            pushSilence(std::llround((time - startSeconds) * kRate));
        }
        started = true;
        if (finished || sourceLimitReached) {
            return;
        }
    }

    configureResampler(frame);
    const int channels = frame.ch_layout.nb_channels;
    const int bytesPerSample = av_get_bytes_per_sample(static_cast<AVSampleFormat>(frame.format));
    const bool planar = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame.format));
    inputPlanes.resize(static_cast<std::size_t>(planar ? channels : 1));
    for (std::size_t c = 0; c < inputPlanes.size(); ++c) {
        const std::size_t offset = static_cast<std::size_t>(skip) * bytesPerSample * (planar ? 1 : channels);
        inputPlanes[c] = frame.extended_data[c] + offset;
    }
    const int inputCount = count - skip;
    const int capacity = swr_get_out_samples(resampler.get(), inputCount);
    check(capacity, MediaError::decodeFailed, "Cannot convert the audio of \"" + url.string() + "\"");
    std::uint8_t* output = reinterpret_cast<std::uint8_t*>(scratchFor(capacity));
    const int converted = swr_convert(resampler.get(), &output, capacity, inputPlanes.data(), inputCount);
    check(converted, MediaError::decodeFailed, "Cannot convert the audio of \"" + url.string() + "\"");
    pushLimited(scratch.data(), converted);
    if (sourceLimitReached) {
        endOfSource();
    }
}

void AudioSegmentStream::Impl::configureResampler(const AVFrame& frame)
{
    AVChannelLayout layout{};
    if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame.ch_layout.nb_channels <= 0) {
        av_channel_layout_default(&layout, std::max(frame.ch_layout.nb_channels, 1));
    } else {
        check(av_channel_layout_copy(&layout, &frame.ch_layout), MediaError::decodeFailed,
              "Cannot convert the audio of \"" + url.string() + "\"");
    }
    if (resampler && resamplerRate == frame.sample_rate && resamplerFormat == frame.format
        && av_channel_layout_compare(&resamplerLayout, &layout) == 0) {
        av_channel_layout_uninit(&layout);
        return;
    }
    if (resampler) {
        // The stream changed its format: keep what the old converter still holds.
        const int capacity = std::max(swr_get_out_samples(resampler.get(), 0), 0);
        std::uint8_t* output = reinterpret_cast<std::uint8_t*>(scratchFor(capacity));
        const int converted = swr_convert(resampler.get(), &output, capacity, nullptr, 0);
        if (converted > 0) {
            pushLimited(scratch.data(), converted);
        }
        resampler.reset();
    }
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    SwrContext* raw = nullptr;
    int rc = swr_alloc_set_opts2(&raw, &stereo, AV_SAMPLE_FMT_FLT, kRate, &layout,
                                 static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
    ffmpeg::SwrPtr context(raw);
    if (rc < 0) {
        av_channel_layout_uninit(&layout);
        throw ffmpeg::error(MediaError::decodeFailed, "Cannot convert the audio of \"" + url.string() + "\"", rc);
    }
    if (layout.nb_channels == 1) {
        // Mono plays at full level on both sides, not at the -3 dB of a centre downmix.
        const double matrix[2] = {1.0, 1.0};
        rc = swr_set_matrix(context.get(), matrix, 1);
    }
    if (rc >= 0) {
        rc = swr_init(context.get());
    }
    if (rc < 0) {
        av_channel_layout_uninit(&layout);
        throw ffmpeg::error(MediaError::decodeFailed, "Cannot convert the audio of \"" + url.string() + "\"", rc);
    }
    resampler = std::move(context);
    resamplerRate = frame.sample_rate;
    resamplerFormat = frame.format;
    av_channel_layout_uninit(&resamplerLayout);
    resamplerLayout = layout;
}

void AudioSegmentStream::Impl::pushLimited(const float* data, std::int64_t frames)
{
    if (sourceLimitReached || frames <= 0) {
        return;
    }
    const std::int64_t count = std::min(frames, sourceFramesLeft);
    sourceFramesLeft -= count;
    if (count > 0) {
        if (graph) {
            feedStretcher(data, count);
        } else {
            writeFifo(data, count);
        }
    }
    if (sourceFramesLeft == 0) {
        sourceLimitReached = true;
    }
}

void AudioSegmentStream::Impl::pushSilence(std::int64_t frames)
{
    constexpr std::int64_t kBlock = 4096;
    while (frames > 0 && !sourceLimitReached) {
        const std::int64_t count = std::min(frames, kBlock);
        float* block = scratchFor(count);
        std::fill(block, block + count * kChannels, 0.0f);
        pushLimited(block, count);
        frames -= count;
    }
}

void AudioSegmentStream::Impl::feedStretcher(const float* data, std::int64_t frames)
{
    ffmpeg::FramePtr input = ffmpeg::allocFrame();
    input->format = AV_SAMPLE_FMT_FLT;
    input->sample_rate = kRate;
    input->nb_samples = static_cast<int>(frames);
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    check(av_channel_layout_copy(&input->ch_layout, &stereo), MediaError::decodeFailed, "Cannot stretch audio");
    input->pts = filterPts;
    filterPts += frames;
    check(av_frame_get_buffer(input.get(), 0), MediaError::decodeFailed, "Cannot stretch audio");
    std::memcpy(input->data[0], data, static_cast<std::size_t>(frames) * kChannels * sizeof(float));
    check(FilterLibrary::get().buffersrcAddFrameFlags(graphSource, input.get(), 0), MediaError::decodeFailed,
          "Cannot stretch audio");
    drainStretcher();
}

void AudioSegmentStream::Impl::drainStretcher()
{
    for (;;) {
        const int rc = FilterLibrary::get().buffersinkGetFrame(graphSink, filtered.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) {
            return;
        }
        check(rc, MediaError::decodeFailed, "Cannot stretch audio");
        writeFifo(reinterpret_cast<const float*>(filtered->data[0]), filtered->nb_samples);
        av_frame_unref(filtered.get());
    }
}

void AudioSegmentStream::Impl::writeFifo(const float* data, std::int64_t frames)
{
    void* planes[1] = {const_cast<float*>(data)};
    if (av_audio_fifo_write(fifo.get(), planes, static_cast<int>(frames)) < frames) {
        throw std::bad_alloc();
    }
}

void AudioSegmentStream::Impl::endOfSource()
{
    if (finished) {
        return;
    }
    if (resampler && !sourceLimitReached) {
        for (;;) {
            const int capacity = std::max(swr_get_out_samples(resampler.get(), 0), 0);
            if (capacity == 0) {
                break;
            }
            std::uint8_t* output = reinterpret_cast<std::uint8_t*>(scratchFor(capacity));
            const int converted = swr_convert(resampler.get(), &output, capacity, nullptr, 0);
            if (converted <= 0) {
                break;
            }
            pushLimited(scratch.data(), converted);
        }
    }
    if (graph) {
        check(FilterLibrary::get().buffersrcAddFrameFlags(graphSource, nullptr, 0), MediaError::decodeFailed,
              "Cannot stretch audio");
        drainStretcher();
    }
    finished = true;
}

float* AudioSegmentStream::Impl::scratchFor(std::int64_t frames)
{
    const std::size_t needed = static_cast<std::size_t>(std::max<std::int64_t>(frames, 1)) * kChannels;
    if (scratch.size() < needed) {
        scratch.resize(needed);
    }
    return scratch.data();
}

AudioSegmentStream::AudioSegmentStream(const Parameters& parameters, const std::atomic<bool>* cancelled)
    : impl_(std::make_unique<Impl>())
{
    Impl& s = *impl_;
    s.cancelled = cancelled;
    s.fifo.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLT, kChannels, 8192));
    if (!s.fifo) {
        throw std::bad_alloc();
    }
    const double sourceSeconds = parameters.sourceDuration.seconds();
    s.startSeconds = std::max(0.0, parameters.sourceStart.seconds());
    s.sourceFramesLeft = std::isfinite(sourceSeconds) && sourceSeconds > 0
                             ? static_cast<std::int64_t>(std::llround(sourceSeconds * kRate))
                             : 0;
    const double tempo = parameters.tempo;
    if (s.sourceFramesLeft == 0 || !std::isfinite(tempo) || tempo < kMinTempo || tempo > kMaxTempo) {
        s.finished = true;
        return;
    }
    s.open(parameters);
    if (std::fabs(tempo - 1.0) > kUnityTolerance) {
        s.buildStretcher(tempo);
    }
}

AudioSegmentStream::~AudioSegmentStream() = default;

bool AudioSegmentStream::read(float* out, std::int64_t frames)
{
    Impl& s = *impl_;
    std::int64_t written = 0;
    while (written < frames) {
        if (s.isCancelled()) {
            return false;
        }
        const int available = av_audio_fifo_size(s.fifo.get());
        if (available > 0) {
            const int count = static_cast<int>(std::min<std::int64_t>(available, frames - written));
            void* planes[1] = {out + written * kChannels};
            if (av_audio_fifo_read(s.fifo.get(), planes, count) != count) {
                throw MediaError::make(MediaError::decodeFailed, "Cannot read decoded audio.");
            }
            written += count;
            continue;
        }
        if (s.finished) {
            std::fill(out + written * kChannels, out + frames * kChannels, 0.0f);
            break;
        }
        s.produce();
    }
    return true;
}

} // namespace velmora::internal
