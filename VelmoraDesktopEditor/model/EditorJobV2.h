#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/FlexibleBool.h"

namespace velmora {

// The desktop job JSON shared with the browser editor. Decode-only: writers build their
// JSON by hand. Every field is optional unless stated; no defaults are applied while decoding.
struct EditorJobV2 {
    // The per-clip grade of the whole system: a record of the job JSON, the in-memory grade of
    // a timeline clip, and what the grading pipeline consumes.
    struct ClipGrade {
        // Grade parameters. Basic values are in the units the grade kernels take.
        struct GradeParams {
            std::optional<double> exposure;
            std::optional<double> contrast;
            std::optional<double> highlights;
            std::optional<double> shadows;
            std::optional<double> saturation;
            std::optional<double> vibrance;
            std::optional<double> temperature;
            std::optional<double> tint;
            std::optional<double> sharpness;
            std::optional<double> sharpen;
            std::optional<double> vignetteStrength;
            std::optional<double> vignette;
            std::optional<double> debanding;
            std::optional<std::string> moodKey;
            std::optional<FlexibleBool> isMoodEnabled;
            std::optional<FlexibleBool> moodEnabled;
            std::optional<double> moodIntensity;
            std::optional<double> moodAmount;
            std::optional<double> moodContrast;
            std::optional<double> moodSaturation;
            std::optional<double> moodWarmth;
            std::optional<double> moodTealOrange;
            std::optional<double> moodShadowLift;
            std::optional<double> moodHighlightRolloff;

            bool operator==(const GradeParams&) const = default;
        };

        std::optional<bool> hasLut;
        std::optional<std::string> lutData;
        std::optional<std::string> lutFile;
        std::optional<std::string> lutName;
        std::optional<double> lutStrength;
        std::optional<GradeParams> gradeParams;

        // `gradeParams` exactly as held.
        std::optional<GradeParams> mergedGradeParams() const { return gradeParams; }

        bool operator==(const ClipGrade&) const = default;
    };

    // The remaining records of the job (project, grade, output, render, sources, timelines)
    // are declared in EditorJobV2Records.h by the job reader.
};

} // namespace velmora
