#include "platform/media/internal/VideoProducer.h"

#include <algorithm>

#include "platform/image/Composite.h"
#include "platform/media/PixelBufferImage.h"
#include "platform/media/internal/TimeMath.h"

extern "C" {
#include <libavutil/cpu.h>
}

namespace velmora::internal {

namespace {

// Sources kept open at once: each holds a decoder with its threads and a few frames.
constexpr std::size_t kMaximumOpenSources = 6;
// The source of the next edit is positioned this long before the cut.
const MediaTime kPrepareLead(1, 2);

bool sameSource(const CompositionTrackSegment& a, const CompositionTrackSegment& b)
{
    return !a.isEmpty() && !b.isEmpty() && *a.source == *b.source;
}

} // namespace

VideoProducer::VideoProducer(PlayerCore& core)
    : core_(core),
      // As many scaling threads as cores this process may run on (FFmpeg counts its affinity).
      compositor_(std::max(1, av_cpu_count()))
{
}

VideoProducer::~VideoProducer() = default;

void VideoProducer::adopt(std::shared_ptr<PlayerItem> item)
{
    lastLook_ = {};
    lastBuffer_ = PixelBuffer();
    sources_.clear();
    failed_.clear();
    item_ = std::move(item);
    video_ = item_ && item_->videoComposition() ? &*item_->videoComposition() : nullptr;
    lastIndex_ = -1;
    frameBytes_ = 0;
    pool_.reset();
    black_ = PixelBuffer();
    if (!video_) {
        return;
    }
    const MediaTime duration = item_->duration();
    if (duration > MediaTime::zero()) {
        lastIndex_ = video_->frameIndex(duration);
        if (video_->frameTime(lastIndex_) >= duration) {
            --lastIndex_;
        }
    }
    frameBytes_ = static_cast<std::size_t>(video_->renderWidth) * video_->renderHeight * 4;
    pool_ = std::make_unique<PixelBufferPool>(PixelFormat::bgra, video_->renderWidth, video_->renderHeight);
}

bool VideoProducer::aborted(std::uint64_t generation) const
{
    return core_.stopRequested.load() || core_.generationMirror.load() != generation;
}

VideoFrameSource* VideoProducer::sourceFor(const CompositionSourceTrack& track)
{
    const SourceKey key{track.url->string(), track.trackID};
    if (failed_.count(key)) {
        return nullptr;
    }
    auto found = sources_.find(key);
    if (found == sources_.end()) {
        if (sources_.size() >= kMaximumOpenSources) {
            const auto oldest = std::min_element(sources_.begin(), sources_.end(), [](const auto& a, const auto& b) {
                return a.second.lastUse < b.second.lastUse;
            });
            // One that the frame being made uses stays: its picture is among the layers.
            if (oldest->second.lastUse <= frameStartUse_) {
                sources_.erase(oldest);
                lastLook_ = {}; // its frames' addresses may come back with another source
            }
        }
        try {
            // The preview's layers fill the render area at most, so a picture is never shown with
            // its shorter side larger than the render area's longer one. The source needs no more
            // of the file than its header says (probing would decode a frame of it).
            auto source = std::make_unique<VideoFrameSource>(Asset::openFromHeader(track.url.get()), track.trackID,
                                                             std::max(video_->renderWidth, video_->renderHeight));
            found = sources_.emplace(key, OpenSource{std::move(source), 0}).first;
        } catch (const Error& failure) {
            item_->recordError(failure, track.url.get());
            failed_.insert(key);
            return nullptr;
        }
    }
    found->second.lastUse = ++uses_;
    return found->second.source.get();
}

AffineTransform VideoProducer::storedPixels(const VideoFrameSource& source, const AVFrame& frame,
                                            const AffineTransform& transform)
{
    // The layer's transform places the stream's pixels; a frame decoded smaller is stretched
    // back to them first.
    if (frame.width <= 0 || frame.height <= 0 || source.storedWidth() <= 0 || source.storedHeight() <= 0 ||
        (frame.width == source.storedWidth() && frame.height == source.storedHeight())) {
        return transform;
    }
    return AffineTransform::scale(static_cast<double>(source.storedWidth()) / frame.width,
                                  static_cast<double>(source.storedHeight()) / frame.height)
        .concatenating(transform);
}

void VideoProducer::prepareNextEdit(const CompositionTrack& track, std::size_t segment, const MediaTime& time)
{
    const std::vector<CompositionTrackSegment>& edits = track.segments();
    if (segment + 1 >= edits.size()) {
        return;
    }
    const CompositionTrackSegment& next = edits[segment + 1];
    if (next.isEmpty() || next.targetRange.start - time > kPrepareLead || sameSource(edits[segment], next)) {
        return;
    }
    if (VideoFrameSource* source = sourceFor(*next.source)) {
        source->prepare(next.sourceRange.start);
    }
}

std::optional<QueuedFrame> VideoProducer::produce(std::int64_t index, std::uint64_t generation)
{
    const MediaTime time = video_->frameTime(index);
    QueuedFrame frame;
    frame.time = time;
    frame.duration = std::min(video_->frameDuration, item_->duration() - time);
    frame.bytes = frameBytes_;

    Look& look = look_;
    look.instruction = video_->instruction(time);
    look.pictures.clear();
    layers_.clear();
    frameStartUse_ = uses_;
    const auto abort = [this, generation] { return aborted(generation); };
    if (look.instruction) {
        for (const VideoComposition::LayerInstruction& layer : look.instruction->layerInstructions) {
            const CompositionTrack* track = item_->composition().track(layer.trackID);
            const std::optional<std::size_t> segment = track ? track->segmentIndex(time) : std::nullopt;
            if (!segment || track->mediaType() != MediaType::video) {
                continue;
            }
            prepareNextEdit(*track, *segment, time);
            const CompositionTrackSegment& edit = track->segments()[*segment];
            VideoFrameSource* source = edit.isEmpty() ? nullptr : sourceFor(*edit.source);
            if (!source) {
                continue;
            }
            const SourceFrame* picture = nullptr;
            try {
                picture = source->frameAt(edit.sourceTime(time), abort);
            } catch (const Error& failure) {
                // Shown black from now on; the source stays open until it is the oldest, since
                // another layer of this frame may still show one of its pictures.
                item_->recordError(failure, edit.source->url.get());
                failed_.insert({edit.source->url->string(), edit.source->trackID});
                continue;
            }
            if (aborted(generation)) {
                return std::nullopt;
            }
            if (picture) {
                layers_.push_back({picture->frame.get(), storedPixels(*source, *picture->frame, layer.transform)});
                look.pictures.emplace_back(picture, picture->time);
            }
        }
    }

    if (lastBuffer_ && look == lastLook_) {
        frame.buffer = lastBuffer_; // the same pictures: the same frame
    } else if (layers_.empty() && !video_->handler) {
        if (!black_) {
            // Made at the first frame without pictures: many items never show one.
            black_ = pool_->createPixelBuffer();
            FrameCompositor::fillBlack(black_);
        }
        frame.buffer = black_;
    } else {
        frame.buffer = pool_->createPixelBuffer();
        try {
            if (video_->handler) {
                const Image placed = compositor_.placedImage(layers_, video_->renderHeight);
                Image processed;
                try {
                    processed = video_->handler(placed, time);
                } catch (...) {
                    processed = placed; // shown as it is
                }
                const IntRect area{0, 0, video_->renderWidth, video_->renderHeight};
                renderImageToPixelBuffer(sourceOver(processed, Image::constant(Color{0, 0, 0, 1}), area),
                                         frame.buffer);
            } else {
                compositor_.compose(layers_, frame.buffer);
            }
        } catch (const Error& failure) {
            item_->recordError(failure);
            FrameCompositor::fillBlack(frame.buffer);
        }
    }
    std::swap(lastLook_, look_);
    lastBuffer_ = frame.buffer;
    return frame;
}

void VideoProducer::run()
{
    std::uint64_t generation = 0;
    std::int64_t index = 0;
    std::unique_lock lock(core_.mutex);
    for (;;) {
        core_.changed.wait(lock, [&] {
            if (core_.stopping || core_.item != item_ || core_.generation != generation) {
                return true;
            }
            return video_ && !core_.videoEnded && core_.roomForFrameLocked(frameBytes_);
        });
        if (core_.stopping) {
            break;
        }
        if (core_.item != item_) {
            // Sources close (and join their threads) without the lock.
            std::shared_ptr<PlayerItem> next = core_.item;
            lock.unlock();
            adopt(std::move(next));
            lock.lock();
            continue;
        }
        if (core_.generation != generation) {
            generation = core_.generation;
            index = std::clamp<std::int64_t>(video_ ? video_->frameIndex(core_.restartTime) : 0, 0,
                                             std::max<std::int64_t>(lastIndex_, 0));
        }
        if (!video_ || index > lastIndex_) {
            core_.videoEnded = true;
            core_.changed.notify_all();
            continue;
        }
        // A frame that would be late is skipped (the decoder still goes through it); the first
        // one of a restart is always made, since the seek lands on it.
        if (!core_.landing && core_.clockRunning && index < lastIndex_ &&
            video_->frameTime(index + 1) <= core_.currentTimeLocked()) {
            ++index;
            ++core_.statistics.framesDropped;
            continue;
        }
        lock.unlock();
        std::optional<QueuedFrame> frame = produce(index, generation);
        lock.lock();
        if (frame && generation == core_.generation && item_ == core_.item) {
            core_.queuedBytes += frame->bytes;
            core_.frames.push_back(std::move(*frame));
            ++index;
            core_.changed.notify_all();
        }
    }
    lock.unlock();
    adopt(nullptr);
}

} // namespace velmora::internal
