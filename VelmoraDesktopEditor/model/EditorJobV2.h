#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/FlexibleBool.h"
#include "platform/foundation/SharedText.h"

namespace velmora {

class KeyedContainer;

// The desktop job JSON shared with the browser editor: the browser's desktop export, the
// desktop's render job, project document and edit-return file all have this shape.
// Decode-only: writers build their JSON by hand. Every field is optional unless stated; no
// defaults are applied while decoding. Each record's `decode` reads it from a JSON object and
// throws DecodingError (model/JsonDecoding.h) with the coding path of the first bad value.
// Pixel sizes and lane numbers are held as `int`, like the session's: a value beyond its range
// fails the document as a number that does not fit, rather than wrapping.
struct EditorJobV2 {
    // The per-clip grade of the whole system: a record of the job JSON, the in-memory grade of
    // a timeline clip, and what the grading pipeline consumes.
    struct ClipGrade {
        // Grade parameters. Basic values are in the units the grade kernels take.
        // Read from 32 keys: the eight basic values also under their "…Adj" alias ("tempAdj"
        // for temperature); sharpness/sharpen and vignetteStrength/vignette each fall back to
        // the other; the mood switches and amounts are kept apart, with no fallback.
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

            static GradeParams decode(const KeyedContainer& container);

            bool operator==(const GradeParams&) const = default;
        };

        std::optional<bool> hasLut; // strict boolean
        // Inline .cube text; shared between copies of the clip (every undo step holds one).
        std::optional<SharedText> lutData;
        std::optional<std::string> lutFile;
        std::optional<std::string> lutName;
        std::optional<double> lutStrength;
        std::optional<GradeParams> gradeParams;

        // `gradeParams` exactly as held.
        std::optional<GradeParams> mergedGradeParams() const { return gradeParams; }

        static ClipGrade decode(const KeyedContainer& container);

        bool operator==(const ClipGrade&) const = default;
    };

    struct Project {
        std::optional<std::string> name;
        std::optional<int> width;
        std::optional<int> height;
        std::optional<double> fps;
        std::optional<std::string> activeTimelineId;

        static Project decode(const KeyedContainer& container);
        bool operator==(const Project&) const = default;
    };

    struct Grade {
        // Required (may be empty): inline .cube text, a LUT file reference, "None" or "".
        std::string lutCube;

        static Grade decode(const KeyedContainer& container);
        bool operator==(const Grade&) const = default;
    };

    struct Output {
        std::optional<double> fps;
        std::optional<std::int64_t> fpsNum;
        std::optional<std::int64_t> fpsDen;
        std::optional<int> width;
        std::optional<int> height;
        std::optional<std::int64_t> targetBitrate; // bits per second
        std::optional<std::string> container;

        static Output decode(const KeyedContainer& container);
        bool operator==(const Output&) const = default;
    };

    struct Render {
        std::optional<bool> includeFilmFX;
        std::optional<bool> includeMasks;
        std::optional<bool> includeText;
        std::optional<bool> includeLowerThirds;
        std::optional<bool> includeImages;
        std::optional<bool> includeSpeedRamps;

        static Render decode(const KeyedContainer& container);
        bool operator==(const Render&) const = default;
    };

    struct Source {
        std::string id;       // required
        std::string fileName; // required
        std::optional<std::string> type;

        static Source decode(const KeyedContainer& container);
        bool operator==(const Source&) const = default;
    };

    struct SpeedKeyframe {
        double time = 0;  // required
        double speed = 0; // required
        std::optional<std::string> interpolation;

        static SpeedKeyframe decode(const KeyedContainer& container);
        bool operator==(const SpeedKeyframe&) const = default;
    };

    // Each field has a long key and a one-letter alias (time/t, posX/x, posY/y, scale/s,
    // rotation/r, opacity/o, interpolation/curve). The five picture fields may instead sit in a
    // nested "value" object, read only when none of them stands at the top level.
    struct TransformKeyframe {
        std::optional<double> time;
        std::optional<double> posX;
        std::optional<double> posY;
        std::optional<double> scale;
        std::optional<double> rotation;
        std::optional<double> opacity;
        std::optional<std::string> interpolation;

        static TransformKeyframe decode(const KeyedContainer& container);
        bool operator==(const TransformKeyframe&) const = default;
    };

    struct TextData {
        std::optional<std::string> textContent;
        std::optional<std::string> fontFamily;
        std::optional<double> fontSize;
        std::optional<double> letterSpacing;
        std::optional<std::string> color;
        std::optional<std::string> outlineColor;
        std::optional<double> outlineWidth;
        std::optional<double> lineHeight;
        std::optional<std::vector<TransformKeyframe>> transformKeyframes;

        static TextData decode(const KeyedContainer& container);
        bool operator==(const TextData&) const = default;
    };

    struct LowerThird {
        std::optional<std::string> ltStyle;
        std::optional<std::string> ltBarColor;
        std::optional<double> ltBarOpacity;
        std::optional<double> ltBarHeight;
        std::optional<std::string> ltBarPos;
        std::optional<double> ltBarYOffset;
        std::optional<std::string> ltAccentColor;
        std::optional<double> ltAccentWidth;
        std::optional<std::string> ltSubText;
        std::optional<double> ltSubOffsetX;
        std::optional<double> ltSubSize;
        std::optional<std::string> ltSubColor;
        std::optional<std::string> ltSubFont;
        std::optional<bool> ltTextShadow;
        std::optional<double> ltOverallOpacity;
        std::optional<std::string> ltCreditsMode;
        std::optional<std::vector<std::string>> ltRollLines;
        std::optional<std::string> ltRollFont;
        std::optional<double> ltRollFontSize;
        std::optional<std::string> ltRollColor;
        std::optional<double> ltCrawlYOffset;
        std::optional<std::string> ltCrawlBarColor;
        std::optional<double> ltCrawlBarOpacity;
        std::optional<std::string> ltCrawlFont;
        std::optional<double> ltCrawlFontSize;
        std::optional<std::string> ltCrawlColor;
        std::optional<std::string> ltCrawlText;

        static LowerThird decode(const KeyedContainer& container);
        bool operator==(const LowerThird&) const = default;
    };

    struct Clip {
        std::optional<std::string> id; // strict string
        std::optional<std::string> type;
        std::optional<std::string> name;
        std::optional<std::string> groupId;  // lenient: numbers become their text
        std::optional<std::string> sourceId; // lenient: numbers become their text
        std::optional<int> track; // lane number from 1
        std::optional<double> startTime;
        std::optional<double> duration;
        std::optional<double> inPoint;
        std::optional<double> outPoint;
        std::optional<double> speed;
        std::optional<std::vector<SpeedKeyframe>> speedKeyframes;
        std::optional<double> opacity;
        std::optional<double> scale;
        std::optional<double> posX;
        std::optional<double> posY;
        std::optional<double> rotation;
        std::optional<double> fadeIn;
        std::optional<double> fadeOut;
        std::optional<std::string> blendMode;
        std::optional<bool> isLowerThird;
        std::optional<TextData> text;
        std::optional<LowerThird> lowerThird;
        std::optional<ClipGrade::GradeParams> gradeParams;
        std::optional<ClipGrade> grade;

        // The mood and basic grade the clip is shown and exported with: its grade's
        // `gradeParams`, else the clip's own `gradeParams`. The job preview and the export both
        // ask this, so that the movie shows what the preview did.
        const std::optional<ClipGrade::GradeParams>& effectiveGradeParams() const
        {
            return grade && grade->gradeParams ? grade->gradeParams : gradeParams;
        }

        static Clip decode(const KeyedContainer& container);
        bool operator==(const Clip&) const = default;
    };

    struct Timeline {
        std::string id; // required
        std::optional<std::string> name;
        std::optional<double> duration;
        std::optional<double> pixelsPerSecond;
        std::optional<std::vector<std::string>> lockedTracks;
        std::optional<std::vector<std::string>> mutedTracks;
        std::vector<Clip> clips; // required, may be empty

        static Timeline decode(const KeyedContainer& container);
        bool operator==(const Timeline&) const = default;
    };

    std::string tool;      // required; any text
    std::int64_t version = 0; // required
    std::optional<std::string> createdAt;
    std::optional<Project> project;
    Grade grade; // required
    std::optional<Output> output;
    std::optional<Render> render;
    std::vector<Source> sources;     // required, may be empty
    std::vector<Timeline> timelines; // required, may be empty

    static EditorJobV2 decode(const KeyedContainer& container);

    // Decodes a whole file's text; throws DecodingError (invalid JSON is dataCorrupted).
    static EditorJobV2 fromJSON(std::string_view bytes);

    // Gives every clip without an id, or with an empty one, an id made from its place:
    // "clip_<timeline>_<clip>" (indices from 0), with "_2", "_3"… added while another clip of the
    // job holds that id. Opening a job for editing and reading it for the export both give ids
    // by this, so that two clips without ids are two clips on every route (the export keys a
    // clip's LUT by its id) and every read of one job gives the same ids.
    void giveClipIds();

    bool operator==(const EditorJobV2&) const = default;
};

} // namespace velmora
