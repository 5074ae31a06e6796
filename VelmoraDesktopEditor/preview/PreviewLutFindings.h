#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "model/EditorJobV2.h"
#include "model/LutResolution.h"

namespace velmora {

// What the engine found of the LUTs its session names, and what its status line is to speak of.
// Main thread only (the look-up runs off it and its answer is kept here on it).
struct PreviewLutFindings {
    struct MissingClipLut {
        std::string name;
        std::string reference;
        bool unusable = false; // found, but not usable .cube text
    };
    // A LUT chosen for a clip: which clip, the reference chosen, and the status line's news
    // number when it was chosen.
    struct LutWarning {
        std::string clipId;
        std::string reference;
        std::uint64_t newsNumber = 0;
    };

    // Clips whose LUT grades nothing, by clip id: the LUT's name and the clip's LUT reference
    // (ClipGradeEditState) when it was looked up; the number of the newest look-up.
    std::map<std::string, MissingClipLut> missingClipLuts;
    std::uint64_t missingClipLutsNumber = 0;
    // The listed LUTs that grade nothing, as the same look-up found them.
    ListedLutMarks listedLuts;
    // The project LUT's answer, with its text, for the engine's project LUT reference (see
    // projectLutAnswer).
    LutResolution projectLut;
    // The LUT last chosen for a clip, whose answer the status line speaks of while no other news
    // is written (TimelinePreviewEngine::shownLutWarning).
    std::optional<LutWarning> lutWarning;
    // Where the user last put the monitor's paused picture (a seek or scrub while paused), seconds,
    // and the status line's news number then: the clip there is the one whose LUT the status line
    // names in words of its own while no other news is written.
    std::optional<double> pausedAt;
    std::uint64_t pausedNews = 0;

    // What `answers` holds for a grade; none while a file it names is not looked up.
    static std::optional<LutResolution> knownLut(const LutResolving::Cache& answers,
                                                 const std::optional<EditorJobV2::ClipGrade>& grade);
};

} // namespace velmora
