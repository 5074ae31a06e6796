#include "workspace/timeline/TimelineClipIndex.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/FiniteNumbers.h"

namespace velmora {

void TimelineClipIndex::rebuild(const std::vector<EditSession::Clip>& clips)
{
    visualLanes_.clear();
    audioLanes_.clear();
    kinds_.assign(clips.size(), Kind::other);
    timing_.assign(clips.size(), Entry{});
    byId_.clear();
    byId_.reserve(clips.size());
    bool anyVisual = false;
    bool anyAudio = false;
    int highestVisual = 1;
    int highestAudio = 1;
    hasAudioOnLaneOne_ = false;
    visualMediaEnd_ = 0;

    for (std::size_t i = 0; i < clips.size(); ++i) {
        const EditSession::Clip& clip = clips[i];
        byId_.try_emplace(clip.id, i);
        const Entry entry{i, finiteOr(clip.startTime, 0.0), std::max(finiteOr(clip.duration, 0.0), 0.0)};
        timing_[i] = entry;
        const std::string kind = EditSession::normalizedClipType(clip.type, clip.name);
        const int lane = clip.track.value_or(1);
        std::vector<Lane>* lanes = nullptr;
        // A lane beyond the last shown one makes no rows: its clips are not drawn.
        const bool shown = lane <= maximumLaneNumber;
        if (kind == "audio") {
            kinds_[i] = Kind::audio;
            if (shown) {
                highestAudio = anyAudio ? std::max(highestAudio, lane) : lane;
                anyAudio = true;
            }
            hasAudioOnLaneOne_ = hasAudioOnLaneOne_ || lane == 1;
            lanes = &audioLanes_;
        } else if (kind == "video" || kind == "image" || kind == "text") {
            kinds_[i] = Kind::visual;
            if (shown) {
                highestVisual = anyVisual ? std::max(highestVisual, lane) : lane;
                anyVisual = true;
            }
            lanes = &visualLanes_;
            if (kind != "text") {
                visualMediaEnd_ = std::max(visualMediaEnd_, entry.end());
            }
        }
        if (lanes && lane >= 1 && shown) {
            if (lanes->size() < std::size_t(lane)) {
                lanes->resize(std::size_t(lane));
            }
            (*lanes)[std::size_t(lane) - 1].entries.push_back(entry);
        }
    }
    highestVisualLane_ = highestVisual;
    highestAudioLane_ = highestAudio;

    for (std::vector<Lane>* lanes : {&visualLanes_, &audioLanes_}) {
        for (Lane& lane : *lanes) {
            std::stable_sort(lane.entries.begin(), lane.entries.end(),
                             [](const Entry& a, const Entry& b) { return a.start < b.start; });
            lane.maxEndUpTo.resize(lane.entries.size());
            double maxEnd = -INFINITY;
            for (std::size_t i = 0; i < lane.entries.size(); ++i) {
                maxEnd = std::max(maxEnd, lane.entries[i].end());
                lane.maxEndUpTo[i] = maxEnd;
            }
        }
    }
}

const TimelineClipIndex::Lane* TimelineClipIndex::lane(TimelineLane::Kind kind, int number) const
{
    const std::vector<Lane>& lanes = kind == TimelineLane::Kind::video ? visualLanes_ : audioLanes_;
    if (number < 1 || std::size_t(number) > lanes.size()) {
        return nullptr;
    }
    return &lanes[std::size_t(number) - 1];
}

std::span<const TimelineClipIndex::Entry> TimelineClipIndex::overlapping(TimelineLane::Kind kind, int number,
                                                                         double from, double until) const
{
    const Lane* found = lane(kind, number);
    if (!found) {
        return {};
    }
    const auto& entries = found->entries;
    const auto last = std::lower_bound(entries.begin(), entries.end(), until,
                                       [](const Entry& entry, double t) { return entry.start < t; });
    const auto first = std::upper_bound(found->maxEndUpTo.begin(), found->maxEndUpTo.end(), from);
    const auto firstIndex = std::size_t(first - found->maxEndUpTo.begin());
    const auto lastIndex = std::size_t(last - entries.begin());
    return std::span<const Entry>(entries).subspan(firstIndex, std::max(firstIndex, lastIndex) - firstIndex);
}

std::optional<std::size_t> TimelineClipIndex::clipIndexOf(const std::string& id) const
{
    const auto found = byId_.find(id);
    if (found == byId_.end()) {
        return std::nullopt;
    }
    return found->second;
}

} // namespace velmora
