#pragma once

// Private to the media layer: the player's video thread.

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/media/internal/FrameCompositor.h"
#include "platform/media/internal/PlayerCore.h"
#include "platform/media/internal/VideoFrameSource.h"

namespace velmora::internal {

// Makes the current item's frames on its video composition's frame grid, one after another from
// the position of the newest restart, and queues them on the core for the presentation thread,
// as far ahead as the core's bounds allow.
//
// A frame shows, for each layer of the instruction in force at its time, the source frame
// displayed at the source time its edit maps the frame's time to, placed by the layer's
// transform; frames whose layers show the same pictures share one buffer. Sources are read by
// one VideoFrameSource per file and track, kept while the item plays (the least recently used
// are closed beyond a few); the one the next edit needs is positioned ahead of the cut. A
// source that cannot be read shows black and is recorded on the item.
//
// Runs on its own thread (run()), which the Player joins; it touches the core only under its
// lock and its own members otherwise.
class VideoProducer {
public:
    explicit VideoProducer(PlayerCore& core);
    ~VideoProducer();

    void run();

private:
    struct SourceKey {
        std::string path;
        int trackID = -1;
        auto operator<=>(const SourceKey&) const = default;
    };
    struct OpenSource {
        std::unique_ptr<VideoFrameSource> source;
        std::uint64_t lastUse = 0;
    };
    // What a frame showed: the same layers with the same pictures give the same frame.
    struct Look {
        const VideoComposition::Instruction* instruction = nullptr;
        std::vector<std::pair<const SourceFrame*, MediaTime>> pictures; // frame and its time
        bool operator==(const Look&) const = default;
    };

    // Switches to a new item: closes the old one's sources.
    void adopt(std::shared_ptr<PlayerItem> item);
    // The frame at grid index `index`; none when a restart or the stop interrupted it.
    std::optional<QueuedFrame> produce(std::int64_t index, std::uint64_t generation);
    VideoFrameSource* sourceFor(const CompositionSourceTrack& track);
    // Positions the source of the next edit of `track` after `index`'s time when it begins
    // soon and reads another file than the current edit.
    void prepareNextEdit(const CompositionTrack& track, std::size_t segment, const MediaTime& time);
    // A layer's transform for a frame of `source`, which may have been decoded at a reduced size.
    static AffineTransform storedPixels(const VideoFrameSource& source, const AVFrame& frame,
                                        const AffineTransform& transform);
    bool aborted(std::uint64_t generation) const;

    PlayerCore& core_;
    std::shared_ptr<PlayerItem> item_;
    const VideoComposition* video_ = nullptr;
    std::int64_t lastIndex_ = -1; // the item's last frame
    std::size_t frameBytes_ = 0;  // of one composed frame at the render size
    std::unique_ptr<PixelBufferPool> pool_;
    PixelBuffer black_; // made at the item's first frame without pictures
    FrameCompositor compositor_;
    std::map<SourceKey, OpenSource> sources_;
    std::set<SourceKey> failed_;
    std::uint64_t uses_ = 0;          // counts sourceFor() calls: the sources' last use
    std::uint64_t frameStartUse_ = 0; // uses_ when the frame being made began
    Look look_; // what the frame being made shows; its storage is reused frame after frame
    Look lastLook_;
    PixelBuffer lastBuffer_;
    std::vector<CompositorLayer> layers_;
};

} // namespace velmora::internal
