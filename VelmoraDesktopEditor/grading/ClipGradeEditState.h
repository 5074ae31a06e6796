#pragma once

#include <optional>
#include <string>

#include "model/EditSession.h"
#include "model/EditorJobV2.h"

namespace velmora {

// The flat, editable form of one clip's grade, as the grade inspector edits it: the mood switch,
// key and seven amounts, the eight basic values in slider units, and the LUT reference.
//
// Units: basic values here are what the sliders show; the clip's grade parameters store
// slider x ClipGradeCatalog::basicShaderScale() of the key. from() divides, makeGradeParams()
// multiplies; the mood amounts have no factor. The record itself clamps nothing.
//
// A plain value: copy it freely. Building it from a clip and writing it back are main-thread
// work only because the EditSession is.
struct ClipGradeEditState {
    bool moodEnabled = false;
    std::string moodKey = "none";
    double moodAmount = 1.0;            // 0 to 1
    double moodContrast = 0;            // -1 to 1
    double moodSaturation = 0;          // -1 to 1
    double moodWarmth = 0;              // -1 to 1
    double moodTealOrange = 0;          // -1 to 1
    double moodShadowLift = 0;          // -1 to 1
    double moodHighlightRolloff = 0;    // 0 to 1
    double exposure = 0;                // slider units, -2 to 2
    double contrast = 0;                // slider units, -1 to 1
    double highlights = 0;
    double shadows = 0;
    double saturation = 0;
    double vibrance = 0;
    double temperature = 0;
    double tint = 0;
    // A .cube file name or path, "(Embedded LUT)" for LUT text carried in the clip's grade, or
    // "None".
    std::string lutReference = "None";

    ClipGradeEditState() = default;
    // Every field in declaration order; omitted trailing ones keep their defaults.
    ClipGradeEditState(bool moodEnabled, std::string moodKey = "none", double moodAmount = 1.0,
                       double moodContrast = 0, double moodSaturation = 0, double moodWarmth = 0,
                       double moodTealOrange = 0, double moodShadowLift = 0,
                       double moodHighlightRolloff = 0, double exposure = 0, double contrast = 0,
                       double highlights = 0, double shadows = 0, double saturation = 0,
                       double vibrance = 0, double temperature = 0, double tint = 0,
                       std::string lutReference = "None");

    // The edit state of the clip's grade; the defaults for no clip or a clip without a grade.
    // Its lutReference names the one LUT that grades the clip, as the grader resolves it: "None"
    // with hasLut false; inline text that is usable .cube text ("(Embedded LUT)") before any file
    // the grade also names; else its lutFile, else its lutName (".cube" added to a name without
    // a dot), else "(Embedded LUT)" for other inline text with hasLut true, else "None".
    static ClipGradeEditState from(const std::optional<EditSession::Clip>& clip);
    // The same of a grade alone (a clip's grade is all that the state reads of it).
    static ClipGradeEditState fromGrade(const std::optional<EditorJobV2::ClipGrade>& grade);

    // The grade parameters this state stores: basic values off rest (magnitude above 0.001)
    // in stored units, and the mood only when it is on with a recognised key. Nothing when
    // nothing is to be stored, or when a value cannot be written as JSON (not finite).
    std::optional<EditorJobV2::ClipGrade::GradeParams> makeGradeParams() const;

    // A LUT is chosen: the trimmed reference is neither empty nor "None".
    bool hasAnyLut() const;
    // Grading the clip would change it: a LUT, a recognised mood that is on, or a basic value
    // off rest. Mood amounts alone never count.
    bool hasAnyGrade() const;

    // Every field back to its default.
    void reset();

    bool operator==(const ClipGradeEditState&) const = default;
};

} // namespace velmora
