#include "platform/media/RecordingAudioSink.h"

#include <algorithm>

namespace velmora {

std::int64_t RecordingAudioSink::write(std::span<const float> samples, const MediaTime& presentationTime)
{
    std::lock_guard lock(blocksMutex_);
    const std::int64_t first = writtenFrames();
    const std::int64_t taken = NullAudioSink::write(samples, presentationTime);
    if (taken > 0) {
        blocks_.push_back({first, presentationTime,
                           std::vector<float>(samples.begin(), samples.begin() + taken * channelCount)});
    }
    return taken;
}

void RecordingAudioSink::flush()
{
    std::lock_guard lock(blocksMutex_);
    NullAudioSink::flush();
    // The queue now ends where the consumer stands; later writes number on from there.
    const std::int64_t end = writtenFrames();
    while (!blocks_.empty() && blocks_.back().firstFrame >= end) {
        blocks_.pop_back();
    }
    if (!blocks_.empty()) {
        Block& last = blocks_.back();
        const std::int64_t keep = std::min<std::int64_t>(end - last.firstFrame, static_cast<std::int64_t>(last.samples.size()) / channelCount);
        last.samples.resize(static_cast<std::size_t>(keep) * channelCount);
    }
}

std::vector<RecordingAudioSink::Run> RecordingAudioSink::recording() const
{
    std::lock_guard lock(blocksMutex_);
    const std::int64_t consumed = consumedFrames();
    std::vector<Run> runs;
    for (const Block& block : blocks_) {
        const std::int64_t frames =
            std::min<std::int64_t>(static_cast<std::int64_t>(block.samples.size()) / channelCount,
                                   consumed - block.firstFrame);
        if (frames <= 0) {
            break;
        }
        const auto end = block.samples.begin() + frames * channelCount;
        if (!runs.empty() && runs.back().start + MediaTime(runs.back().frameCount(), sampleRate) == block.time) {
            runs.back().samples.insert(runs.back().samples.end(), block.samples.begin(), end);
        } else {
            runs.push_back({block.time, std::vector<float>(block.samples.begin(), end)});
        }
    }
    return runs;
}

} // namespace velmora
