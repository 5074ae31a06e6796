#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/EditorJobV2.h"
#include "platform/media/AudioMix.h"
#include "platform/media/Composition.h"

namespace velmora::Exporter {

// The sound of a timeline export: one audio composition track per lane (more where clips of
// one lane overlap) holding the lane's audio clips at their timeline positions, in points and
// speeds, and the fades of each clip as volume ramps of its track. AudioMixRenderer turns it
// into 48 kHz stereo samples for the writer.
struct TimelineAudioMix {
    Composition composition;
    AudioMix audioMix;
};

// A clip the mix places: of type "audio" (exactly) with a source id.
bool isMixedAudioClip(const EditorJobV2::Clip& clip);

// Finds the file of a source id, or nullptr when the source has none.
using SourceFileLookup = std::function<const std::filesystem::path*(const std::string& sourceId)>;

// Builds the mix of the timeline's audio clips (isMixedAudioClip), in start order. Times are
// quantised to `videoTimescale` (the export's video time base; values below 1 count as 1). A
// clip is left out silently when its source has no file (the timeline export has refused such
// a timeline before: requireSourceFiles), the file holds no audio track, its duration is not
// above 0, or nothing of its source is left after its out point. Speeds follow the export's
// reading (above 10 is percent); a clip with speed keyframes plays its source at normal speed,
// cut at its end.
//
// Returns none when no clip could be placed: the export then has no audio track.
// Throws Error("export", 242, "Failed to create audio track") when a composition track cannot
// be made; the media layer's error (naming the file) when a clip's file cannot be opened;
// errors of the composition's insertTimeRange pass through unchanged.
std::optional<TimelineAudioMix> makeTimelineAudioMix(const std::vector<EditorJobV2::Clip>& clips,
                                                     const SourceFileLookup& sourceFile,
                                                     std::int32_t videoTimescale);

std::optional<TimelineAudioMix> makeTimelineAudioMix(const std::vector<EditorJobV2::Clip>& clips,
                                                     const std::map<std::string, std::filesystem::path>& sourceFiles,
                                                     std::int32_t videoTimescale);

std::optional<TimelineAudioMix> makeTimelineAudioMix(
    const std::vector<EditorJobV2::Clip>& clips,
    const std::unordered_map<std::string, std::filesystem::path>& sourceFiles, std::int32_t videoTimescale);

} // namespace velmora::Exporter
