#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "model/EditorJobV2.h"

// Which clips of a timeline job the export reads as video, in what order, and from which span
// of their source files. Pure functions of their arguments; any thread.
namespace velmora::Exporter {

// The clips whose type, trimmed and lower-cased, is "video", by start time (missing 0); equal
// starts keep the job's order.
std::vector<EditorJobV2::Clip> timelineVideoClipsSorted(const std::vector<EditorJobV2::Clip>& clips);
// The same order as indexes into `clips`.
std::vector<std::size_t> timelineVideoClipOrder(const std::vector<EditorJobV2::Clip>& clips);

// True when the clip plays its source straight through at normal speed: its type is "video"
// (also in other letter case, without blanks), no speed ramp leaves 1 by more than 0.01, and its
// speed lies strictly within 0.01 of 1 (a speed above 10 read as percent).
bool canUseFastStreamExport(const EditorJobV2::Clip& clip);

// The job's sources, in job order, that `usedSourceIds` names and that have no file in
// `sourceFiles`.
std::vector<EditorJobV2::Source> missingSources(const std::vector<EditorJobV2::Source>& sources,
                                                const std::set<std::string>& usedSourceIds,
                                                const std::map<std::string, std::filesystem::path>& sourceFiles);

// A 64-bit float as the export writes it into keys: the shortest text that reads back to the
// value, with ".0" on integral values ("12.5", "0.0", "3.0").
std::string keyNumber(double value);

} // namespace velmora::Exporter
