#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/EditSession.h"
#include "workspace/timeline/TimelineLane.h"

namespace velmora {

// The clips of one timeline grouped by lane and ordered by start, so that the lanes view finds
// the clips of a stretch of time in O(log n + found) instead of walking the whole timeline.
// Rebuilt whenever the timeline changes; holds indexes into the clip list it was built from.
class TimelineClipIndex {
public:
    // Lanes above this number are not shown and make no rows: a clip on an absurd lane would
    // otherwise ask for that many.
    static constexpr int maximumLaneNumber = 999;

    struct Entry {
        std::size_t clipIndex = 0; // position in the indexed clip list
        double start = 0;          // seconds; missing or not finite counts as 0
        double duration = 0;       // seconds; missing, negative or not finite counts as 0

        double end() const { return start + duration; }
    };

    void rebuild(const std::vector<EditSession::Clip>& clips);

    // The run of the lane's clips (by start, equal starts in timeline order) that holds every
    // clip with start < until and end > from; it may hold others too, which the caller skips.
    // Empty for a lane without clips. Valid until the next rebuild.
    std::span<const Entry> overlapping(TimelineLane::Kind kind, int number, double from, double until) const;

    // The highest shown lane of the visual (video, image, text) and of the audio clips, a missing
    // lane counting as 1; 1 without such clips.
    int highestVisualLane() const { return highestVisualLane_; }
    int highestAudioLane() const { return highestAudioLane_; }
    bool hasAudioOnLaneOne() const { return hasAudioOnLaneOne_; }
    // The end of the last video or image clip (text and audio do not count); 0 without one.
    double visualMediaEnd() const { return visualMediaEnd_; }

    // Position of the first clip with this id.
    std::optional<std::size_t> clipIndexOf(const std::string& id) const;
    bool isVisual(std::size_t clipIndex) const { return kinds_[clipIndex] == Kind::visual; }
    bool isAudio(std::size_t clipIndex) const { return kinds_[clipIndex] == Kind::audio; }
    // Start and length as the index reads them (see Entry).
    const Entry& timing(std::size_t clipIndex) const { return timing_[clipIndex]; }

private:
    enum class Kind : unsigned char { visual, audio, other };

    struct Lane {
        std::vector<Entry> entries;
        // maxEndUpTo[i] = the largest end among entries[0...i]; never decreases.
        std::vector<double> maxEndUpTo;
    };

    const Lane* lane(TimelineLane::Kind kind, int number) const;

    std::vector<Lane> visualLanes_; // index: lane number − 1
    std::vector<Lane> audioLanes_;
    std::vector<Kind> kinds_;       // per clip
    std::vector<Entry> timing_;     // per clip
    std::unordered_map<std::string, std::size_t> byId_;
    int highestVisualLane_ = 1;
    int highestAudioLane_ = 1;
    bool hasAudioOnLaneOne_ = false;
    double visualMediaEnd_ = 0;
};

} // namespace velmora
