#include "platform/media/internal/AudioPump.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace velmora::internal {

namespace {

constexpr int kRate = AudioSink::sampleRate;
constexpr int kChannels = AudioSink::channelCount;
// The clock starts once this much sound is queued (or the sound has ended).
constexpr std::int64_t kPrimeFrames = 2 * AudioPump::blockFrames;
// Sinks without a device make room as their clock moves, without telling anyone: look again
// this often.
constexpr auto kPoll = std::chrono::milliseconds(5);

} // namespace

AudioPump::AudioPump(PlayerCore& core) : core_(core) {}

AudioPump::~AudioPump() = default;

bool AudioPump::renderBlock(MediaTime& presentationTime)
{
    const std::int64_t frames = std::min<std::int64_t>(blockFrames, total_ - position_);
    if (frames <= 0) {
        return false;
    }
    presentationTime = start_.convertScale(kRate) + MediaTime(position_, kRate);
    block_.assign(static_cast<std::size_t>(frames) * kChannels, 0.0f);
    if (!silent_ && renderer_) {
        if (item_->audioMixGeneration() != mixGeneration_) {
            mixGeneration_ = item_->audioMixGeneration();
            renderer_->setAudioMix(*item_->audioMix());
        }
        if (const std::optional<AudioMixRenderer::Chunk> chunk = renderer_->nextChunk(static_cast<int>(frames))) {
            std::copy(chunk->samples.begin(), chunk->samples.end(), block_.begin());
        } else if (renderer_->status() == AudioMixRenderer::Status::failed) {
            if (const std::optional<Error> failure = renderer_->error()) {
                item_->recordError(*failure);
            }
            silent_ = true; // the rest of the item plays silent, so the clock keeps going
        }
    }
    position_ += frames;
    return true;
}

void AudioPump::run()
{
    std::uint64_t generation = 0;
    bool started = false;
    std::int64_t queued = 0;
    std::unique_lock lock(core_.mutex);
    for (;;) {
        const bool playing = started && core_.item && !core_.audioEnded;
        const bool consuming = core_.clockRunning;
        const auto ready = [&] {
            return core_.stopping || (core_.item && (!started || core_.audioGeneration != generation)) ||
                   (playing && core_.sink->writableFrames() >= blockFrames) || core_.clockRunning != consuming;
        };
        if (playing && consuming) {
            core_.changed.wait_for(lock, kPoll, ready); // the sink makes room without telling
        } else {
            core_.changed.wait(lock, ready);
        }
        if (core_.stopping) {
            break;
        }
        if (!core_.item) {
            continue;
        }
        if (!started || core_.audioGeneration != generation) {
            started = true;
            generation = core_.audioGeneration;
            std::shared_ptr<PlayerItem> item = core_.item;
            const MediaTime start = core_.audioStart;
            const bool forRate = core_.audioRate != 1.0;
            lock.unlock();
            // The old renderer's files close without the lock.
            renderer_.reset();
            item_ = std::move(item);
            start_ = start;
            position_ = 0;
            queued = 0;
            silent_ = forRate;
            const MediaTime remaining = item_->duration() - start;
            total_ = forRate ? std::numeric_limits<std::int64_t>::max()
                             : std::max<std::int64_t>(0, remaining.convertScale(kRate).value());
            if (!silent_) {
                mixGeneration_ = item_->audioMixGeneration();
                renderer_ = std::make_unique<AudioMixRenderer>(item_->composition(), *item_->audioMix(),
                                                               MediaTimeRange(start, remaining));
            }
            lock.lock();
            continue;
        }
        if (core_.audioEnded || core_.sink->writableFrames() < blockFrames) {
            continue;
        }
        const float volume = core_.volume;
        lock.unlock();
        MediaTime presentationTime;
        const bool more = renderBlock(presentationTime);
        if (more && volume != 1.0f) {
            for (float& sample : block_) {
                sample *= volume;
            }
        }
        lock.lock();
        if (core_.stopping || core_.audioGeneration != generation) {
            continue; // rendered for a position the player has left
        }
        if (more) {
            queued += core_.sink->write(block_, presentationTime);
        } else {
            core_.audioEnded = true;
        }
        if (!core_.audioPrimed && (queued >= kPrimeFrames || core_.audioEnded)) {
            core_.audioPrimed = true;
        }
        core_.changed.notify_all();
    }
    lock.unlock();
    renderer_.reset();
}

} // namespace velmora::internal
