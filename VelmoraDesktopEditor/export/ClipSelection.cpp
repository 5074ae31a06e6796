#include "export/ClipSelection.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <unordered_map>

#include "export/SourceTiming.h"
#include "platform/foundation/NumberText.h"
#include "platform/foundation/StringText.h"

namespace velmora::Exporter {

namespace {

// Successive pieces of one source closer than this are read as one stream.
constexpr double kContinuationGap = 0.08;
// A predecessor's end this far past a clip's own in point moves the in point to that end.
constexpr double kContinuationOverlap = 0.05;
constexpr double kStreamSpeedTolerance = 0.01;

bool isVideoType(const std::optional<std::string>& type)
{
    return type && StringText::lowercased(StringText::trimmed(*type)) == "video";
}

// The key that finds a clip again in the sorted list: its id, else its source, start, lane and
// in point.
std::string continuationKey(const EditorJobV2::Clip& clip)
{
    if (clip.id && !clip.id->empty()) {
        return *clip.id;
    }
    return clip.sourceId.value_or("") + "|" + keyNumber(clip.startTime.value_or(0)) + "|" +
           NumberText::integer(clip.track.value_or(0)) + "|" + keyNumber(clip.inPoint.value_or(0));
}

double baseInPoint(const EditorJobV2::Clip& clip)
{
    return clip.inPoint && *clip.inPoint >= 0 ? *clip.inPoint : 0.0;
}

std::optional<double> assetDuration(const AssetDurationMap& durations, const std::optional<std::string>& sourceId)
{
    if (!sourceId) {
        return std::nullopt;
    }
    const auto it = durations.find(*sourceId);
    return it == durations.end() ? std::nullopt : std::optional<double>(it->second);
}

// The in point of `clip` given the sorted order of `clips` and each sorted clip's key.
double inPointGivenOrder(const EditorJobV2::Clip& clip, const std::vector<EditorJobV2::Clip>& clips,
                         const std::vector<std::size_t>& order,
                         const std::unordered_map<std::string, std::size_t>& firstPositionByKey,
                         const AssetDurationMap& durations)
{
    const double base = baseInPoint(clip);
    if (!clip.sourceId) {
        return base;
    }
    const auto found = firstPositionByKey.find(continuationKey(clip));
    if (found == firstPositionByKey.end() || found->second == 0) {
        return base;
    }
    const EditorJobV2::Clip& previous = clips[order[found->second - 1]];
    if (previous.sourceId != clip.sourceId) {
        return base;
    }
    const double previousEnd = previous.startTime.value_or(0) + previous.duration.value_or(0);
    if (clip.startTime.value_or(0) - previousEnd > kContinuationGap) {
        return base;
    }
    const double previousSourceEnd =
        effectiveSourceOutPoint(previous.inPoint.value_or(0), previous.outPoint, previous.duration.value_or(0),
                                previous.speed.value_or(1), assetDuration(durations, previous.sourceId));
    return base < previousSourceEnd - kContinuationOverlap ? previousSourceEnd : base;
}

std::unordered_map<std::string, std::size_t> firstPositions(const std::vector<EditorJobV2::Clip>& clips,
                                                            const std::vector<std::size_t>& order)
{
    std::unordered_map<std::string, std::size_t> positions;
    for (std::size_t position = 0; position < order.size(); ++position) {
        positions.emplace(continuationKey(clips[order[position]]), position);
    }
    return positions;
}

} // namespace

std::string keyNumber(double value)
{
    std::string text = NumberText::shortest(value);
    if (std::isfinite(value) && text.find_first_of(".e") == std::string::npos) {
        text += ".0";
    }
    return text;
}

std::vector<std::size_t> timelineVideoClipOrder(const std::vector<EditorJobV2::Clip>& clips)
{
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < clips.size(); ++i) {
        if (isVideoType(clips[i].type)) {
            order.push_back(i);
        }
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return clips[a].startTime.value_or(0) < clips[b].startTime.value_or(0);
    });
    return order;
}

std::vector<EditorJobV2::Clip> timelineVideoClipsSorted(const std::vector<EditorJobV2::Clip>& clips)
{
    std::vector<EditorJobV2::Clip> sorted;
    for (std::size_t index : timelineVideoClipOrder(clips)) {
        sorted.push_back(clips[index]);
    }
    return sorted;
}

bool canUseFastStreamExport(const EditorJobV2::Clip& clip)
{
    if (!clip.type || (*clip.type != "video" && StringText::lowercased(*clip.type) != "video")) {
        return false;
    }
    if (clip.speedKeyframes && clip.speedKeyframes->size() >= 2) {
        for (const auto& keyframe : *clip.speedKeyframes) {
            if (std::isfinite(keyframe.speed) &&
                std::fabs(effectiveClipSpeed(keyframe.speed) - 1.0) > kStreamSpeedTolerance) {
                return false;
            }
        }
    }
    if (!clip.speed || !std::isfinite(*clip.speed)) {
        return true;
    }
    return std::fabs(effectiveClipSpeed(clip.speed) - 1.0) < kStreamSpeedTolerance;
}

double effectiveExportInPoint(const EditorJobV2::Clip& clip, const std::vector<EditorJobV2::Clip>& allClips,
                              const AssetDurationMap& assetDurationBySourceId)
{
    if (!clip.sourceId) {
        return baseInPoint(clip);
    }
    const std::vector<std::size_t> order = timelineVideoClipOrder(allClips);
    return inPointGivenOrder(clip, allClips, order, firstPositions(allClips, order), assetDurationBySourceId);
}

std::vector<double> effectiveExportInPoints(const std::vector<EditorJobV2::Clip>& clips,
                                            const AssetDurationMap& assetDurationBySourceId)
{
    const std::vector<std::size_t> order = timelineVideoClipOrder(clips);
    const auto positions = firstPositions(clips, order);
    std::vector<double> inPoints(clips.size());
    for (std::size_t i = 0; i < clips.size(); ++i) {
        inPoints[i] = inPointGivenOrder(clips[i], clips, order, positions, assetDurationBySourceId);
    }
    return inPoints;
}

std::vector<EditorJobV2::Source> missingSources(const std::vector<EditorJobV2::Source>& sources,
                                                const std::set<std::string>& usedSourceIds,
                                                const std::map<std::string, std::filesystem::path>& sourceFiles)
{
    std::vector<EditorJobV2::Source> missing;
    for (const auto& source : sources) {
        if (usedSourceIds.count(source.id) != 0 && sourceFiles.count(source.id) == 0) {
            missing.push_back(source);
        }
    }
    return missing;
}

} // namespace velmora::Exporter
