#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "model/EditorJobV2.h"
#include "model/LutResolution.h"

namespace velmora {

// What the engine found of the LUTs its session names, and what its status line has said of them.
// Main thread only (the look-up runs off it and its answer is kept here on it).
struct PreviewLutFindings {
    struct MissingClipLut {
        std::string name;
        std::string reference;
        bool unusable = false; // found, but not usable .cube text
    };
    struct LutWarning {
        std::string clipId;
        std::string reference;
        std::string text;
    };
    struct ClipLutWords {
        std::string clipId;
        std::string text;
        std::string replaced;
    };

    // Clips whose LUT grades nothing, by clip id: the LUT's name and the clip's LUT reference
    // (ClipGradeEditState) when it was looked up; the number of the newest look-up.
    std::map<std::string, MissingClipLut> missingClipLuts;
    std::uint64_t missingClipLutsNumber = 0;
    // The project LUT's answer, with its text, for the engine's project LUT reference (see
    // projectLutAnswer).
    LutResolution projectLut;
    // The status line's word that a chosen LUT cannot be used: for which clip and reference, and
    // the text.
    std::optional<LutWarning> lutWarning;
    // The LUT words followLutAnswer last put in front of the status line (empty: none), and the
    // line nameMissingLutAt wrote for a clip with the line it replaced.
    std::string lutWordsShown;
    std::optional<ClipLutWords> clipLutWords;

    // What `answers` holds for a grade; none while a file it names is not looked up.
    static std::optional<LutResolution> knownLut(const LutResolving::Cache& answers,
                                                 const std::optional<EditorJobV2::ClipGrade>& grade);
};

} // namespace velmora
