#include "platform/media/AudioMixRenderer.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/media/MediaError.h"
#include "platform/media/internal/AudioSegmentStream.h"

namespace velmora {

namespace {

constexpr int kRate = AudioMixRenderer::sampleRate;
constexpr int kChannels = AudioMixRenderer::channelCount;

// The output frame at which composition time `time` falls, frame 0 being `origin`.
std::int64_t frameAt(const MediaTime& time, const MediaTime& origin)
{
    const MediaTime offset = (time - origin).convertScale(kRate);
    if (offset.isPositiveInfinity()) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (!offset.isNumeric()) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return offset.value();
}

} // namespace

struct AudioMixRenderer::Impl {
    struct TrackState {
        const CompositionTrack* track = nullptr;
        std::vector<AudioVolumePiece> envelope;
        std::size_t piece = 0;
        // Output frame at which each edit starts, and one more for the end of the last.
        std::vector<std::int64_t> boundaries;
        std::size_t segment = 0;
        std::unique_ptr<internal::AudioSegmentStream> stream;
        std::size_t streamSegment = std::numeric_limits<std::size_t>::max();
        std::int64_t streamPosition = 0;
    };

    Composition composition;
    AudioMix audioMix;
    MediaTime origin;
    std::int64_t totalFrames = 0;
    std::int64_t position = 0;
    std::vector<TrackState> tracks;
    std::vector<float> mixBuffer;
    std::vector<float> trackBuffer;

    std::atomic<bool> cancelled{false};
    std::atomic<Status> status{Status::reading};
    mutable std::mutex errorLock;
    std::optional<Error> error;

    // Adds `count` frames of `state`'s track, starting at output frame `first`, into the mix
    // buffer. False when cancelled.
    bool renderTrack(TrackState& state, std::int64_t first, std::int64_t count);
    void ensureStream(TrackState& state, std::int64_t position);
    void addWithEnvelope(TrackState& state, const float* samples, std::int64_t first, std::int64_t count,
                         float* destination);
    void fail(Error failure);

    // Every track's volume envelope under the current mix, in output frames, from its start.
    // The mix's parameters are indexed once: a timeline makes a track per sounding clip, and
    // a search of the mix per track would grow with the square of the clips.
    void refreshEnvelopes()
    {
        static const AudioMixInputParameters unity;
        std::unordered_map<int, const AudioMixInputParameters*> byTrack;
        byTrack.reserve(audioMix.inputParameters.size());
        for (const AudioMixInputParameters& parameters : audioMix.inputParameters) {
            byTrack.emplace(parameters.trackID(), &parameters); // the first set for a track wins
        }
        for (TrackState& state : tracks) {
            const auto found = byTrack.find(state.track->trackID());
            state.envelope = (found == byTrack.end() ? unity : *found->second).volumePieces(kRate, origin);
            state.piece = 0;
        }
    }
};

bool AudioMixRenderer::Impl::renderTrack(TrackState& state, std::int64_t first, std::int64_t count)
{
    const std::vector<CompositionTrackSegment>& segments = state.track->segments();
    const std::int64_t end = first + count;
    std::int64_t at = first;
    while (at < end) {
        while (state.segment < segments.size() && state.boundaries[state.segment + 1] <= at) {
            ++state.segment;
        }
        if (state.segment >= segments.size()) {
            state.stream.reset();
            return true;
        }
        const std::int64_t segmentStart = state.boundaries[state.segment];
        if (at < segmentStart) {
            at = std::min(segmentStart, end);
            continue;
        }
        const std::int64_t stop = std::min(end, state.boundaries[state.segment + 1]);
        if (segments[state.segment].isEmpty()) {
            state.stream.reset();
        } else {
            ensureStream(state, at);
            const std::size_t needed = static_cast<std::size_t>(stop - at) * kChannels;
            if (trackBuffer.size() < needed) {
                trackBuffer.resize(needed);
            }
            if (!state.stream->read(trackBuffer.data(), stop - at)) {
                return false;
            }
            state.streamPosition = stop;
            addWithEnvelope(state, trackBuffer.data(), at, stop - at,
                            mixBuffer.data() + static_cast<std::size_t>(at - first) * kChannels);
        }
        at = stop;
    }
    return true;
}

void AudioMixRenderer::Impl::ensureStream(TrackState& state, std::int64_t at)
{
    if (state.stream && state.streamSegment == state.segment && state.streamPosition == at) {
        return;
    }
    state.stream.reset();
    const CompositionTrackSegment& segment = state.track->segments()[state.segment];
    const double sourceSeconds = segment.sourceRange.duration.seconds();
    const double targetSeconds = segment.targetRange.duration.seconds();
    const double tempo = targetSeconds > 0 ? sourceSeconds / targetSeconds : 1.0;

    internal::AudioSegmentStream::Parameters parameters;
    parameters.url = segment.source->url.copy();
    parameters.trackID = segment.source->trackID;
    parameters.tempo = tempo;
    parameters.sourceStart = segment.sourceRange.start;
    parameters.sourceDuration = segment.sourceRange.duration;
    const std::int64_t skipped = at - state.boundaries[state.segment];
    if (skipped > 0) {
        // Starting inside the edit (a range that does not begin at an edit boundary).
        const MediaTime offset = MediaTime::fromSeconds(double(skipped) / kRate * tempo, kRate);
        parameters.sourceStart = segment.sourceRange.start + offset;
        parameters.sourceDuration = segment.sourceRange.duration - offset;
    }
    state.stream = std::make_unique<internal::AudioSegmentStream>(parameters, &cancelled);
    state.streamSegment = state.segment;
    state.streamPosition = at;
}

void AudioMixRenderer::Impl::addWithEnvelope(TrackState& state, const float* samples, std::int64_t first,
                                             std::int64_t count, float* destination)
{
    const std::vector<AudioVolumePiece>& envelope = state.envelope;
    if (state.piece >= envelope.size() || envelope[state.piece].firstFrame > first) {
        state.piece = 0;
    }
    std::int64_t frame = first;
    const std::int64_t end = first + count;
    while (frame < end) {
        while (envelope[state.piece].endFrame <= frame) {
            ++state.piece;
        }
        const AudioVolumePiece& piece = envelope[state.piece];
        const std::int64_t runEnd = std::min(end, piece.endFrame);
        const float* in = samples + (frame - first) * kChannels;
        float* out = destination + (frame - first) * kChannels;
        const std::int64_t run = runEnd - frame;
        if (piece.slope == 0.0) {
            const float gain = static_cast<float>(piece.startGain);
            for (std::int64_t i = 0; i < run * kChannels; ++i) {
                out[i] += in[i] * gain;
            }
        } else {
            const double base = piece.startGain + piece.slope * double(frame - piece.firstFrame);
            for (std::int64_t i = 0; i < run; ++i) {
                const float gain = static_cast<float>(base + piece.slope * double(i));
                out[2 * i] += in[2 * i] * gain;
                out[2 * i + 1] += in[2 * i + 1] * gain;
            }
        }
        frame = runEnd;
    }
}

void AudioMixRenderer::Impl::fail(Error failure)
{
    {
        std::lock_guard<std::mutex> lock(errorLock);
        error = std::move(failure);
    }
    tracks.clear();
    status = Status::failed;
}

AudioMixRenderer::AudioMixRenderer(Composition composition, AudioMix audioMix,
                                   std::optional<MediaTimeRange> timeRange)
    : impl_(std::make_unique<Impl>())
{
    Impl& s = *impl_;
    s.composition = std::move(composition);
    s.audioMix = std::move(audioMix);
    MediaTimeRange range(MediaTime::zero(), s.composition.duration());
    if (timeRange && timeRange->start.isNumeric() && timeRange->duration.isNumeric()) {
        range = *timeRange;
        if (range.start < MediaTime::zero()) {
            range = MediaTimeRange::fromStartEnd(MediaTime::zero(), range.end());
        }
        range = MediaTimeRange::fromStartEnd(range.start, std::min(range.end(), s.composition.duration()));
    }
    s.origin = range.start;
    s.totalFrames = std::max<std::int64_t>(0, frameAt(range.end(), s.origin));

    for (const CompositionTrack* track : s.composition.tracks(MediaType::audio)) {
        Impl::TrackState state;
        state.track = track;
        state.boundaries.reserve(track->segments().size() + 1);
        for (const CompositionTrackSegment& segment : track->segments()) {
            state.boundaries.push_back(frameAt(segment.targetRange.start, s.origin));
        }
        state.boundaries.push_back(frameAt(track->timeRange().end(), s.origin));
        s.tracks.push_back(std::move(state));
    }
    s.refreshEnvelopes();
}

AudioMixRenderer::~AudioMixRenderer() = default;

std::optional<AudioMixRenderer::Chunk> AudioMixRenderer::nextChunk(int maxFrames)
{
    Impl& s = *impl_;
    if (s.status != Status::reading) {
        return std::nullopt;
    }
    if (s.cancelled) {
        s.tracks.clear();
        s.status = Status::cancelled;
        return std::nullopt;
    }
    if (s.position >= s.totalFrames) {
        s.tracks.clear();
        s.status = Status::completed;
        return std::nullopt;
    }
    const std::int64_t first = s.position;
    const std::int64_t count = std::min<std::int64_t>(std::max(maxFrames, 1), s.totalFrames - first);
    const std::size_t samples = static_cast<std::size_t>(count) * kChannels;
    if (s.mixBuffer.size() < samples) {
        s.mixBuffer.resize(samples);
    }
    std::fill(s.mixBuffer.begin(), s.mixBuffer.begin() + static_cast<std::ptrdiff_t>(samples), 0.0f);
    try {
        for (Impl::TrackState& track : s.tracks) {
            if (!s.renderTrack(track, first, count)) {
                s.tracks.clear();
                s.status = Status::cancelled;
                return std::nullopt;
            }
        }
    } catch (const Error& failure) {
        s.fail(failure);
        return std::nullopt;
    } catch (const std::exception& failure) {
        s.fail(MediaError::make(MediaError::decodeFailed, failure.what()));
        return std::nullopt;
    }
    s.position += count;
    Chunk chunk;
    chunk.samples = std::span<const float>(s.mixBuffer.data(), samples);
    chunk.firstFrame = first;
    chunk.presentationTime = s.origin.convertScale(kRate) + MediaTime(first, kRate);
    return chunk;
}

std::optional<SampleBuffer> AudioMixRenderer::copyNextSampleBuffer(int maxFrames)
{
    const std::optional<Chunk> chunk = nextChunk(maxFrames);
    if (!chunk) {
        return std::nullopt;
    }
    SampleBuffer buffer;
    buffer.presentationTime = chunk->presentationTime;
    buffer.duration = MediaTime(chunk->frameCount(), kRate);
    buffer.audioSamples.assign(chunk->samples.begin(), chunk->samples.end());
    buffer.audioFrameCount = static_cast<int>(chunk->frameCount());
    buffer.audioChannels = kChannels;
    buffer.audioSampleRate = kRate;
    return buffer;
}

void AudioMixRenderer::setAudioMix(const AudioMix& audioMix)
{
    Impl& s = *impl_;
    s.audioMix = audioMix;
    s.refreshEnvelopes();
}

void AudioMixRenderer::cancelReading()
{
    impl_->cancelled = true;
}

AudioMixRenderer::Status AudioMixRenderer::status() const
{
    return impl_->status;
}

std::optional<Error> AudioMixRenderer::error() const
{
    std::lock_guard<std::mutex> lock(impl_->errorLock);
    return impl_->error;
}

std::int64_t AudioMixRenderer::totalFrames() const
{
    return impl_->totalFrames;
}

std::int64_t AudioMixRenderer::framesRendered() const
{
    return impl_->position;
}

} // namespace velmora
