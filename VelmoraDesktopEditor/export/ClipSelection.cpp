#include "export/ClipSelection.h"

#include <algorithm>
#include <cmath>

#include "editing/TimelineFrameMap.h"
#include "model/ClipSpeed.h"
#include "platform/foundation/StringText.h"

namespace velmora::Exporter {

namespace {

constexpr double kStreamSpeedTolerance = 0.01;

bool isVideoType(const std::optional<std::string>& type)
{
    return type && StringText::lowercased(StringText::trimmed(*type)) == "video";
}

} // namespace

std::string keyNumber(double value)
{
    return clipKeyNumber(value);
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
