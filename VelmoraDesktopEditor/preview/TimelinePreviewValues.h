#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "model/EditorJobV2.h"

namespace velmora {

// Where the timeline lanes place the playhead when they scroll to it.
enum class TimelineScrollAnchor { leading, center, trailing };

// The values the preview engine takes from and answers its views with (TimelinePreviewEngine names
// each): which edge a trim moves, where a dragged clip snaps, what a trim would leave, the gain
// the gain control edits, and the file and grade of the picture shown at a time.
struct TimelinePreviewValues {
    // The clip edge a trim moves.
    enum class TrimEdge { head, tail };

    struct SnappedClipStart {
        double time = 0;
        // Where to draw the snap guide: the candidate the clip was pulled onto.
        std::optional<double> guideTime;
    };

    struct TrimSpan {
        double start = 0;
        double duration = 0;
    };

    // The clip whose gain the gain control edits, and that gain (not clamped; 1 when unset).
    struct ClipAudioLevel {
        std::string clipId;
        double level = 1.0;
    };

    // The source file of the visible clip at a time, for the source viewer.
    struct LinkedSource {
        std::string fileName;
        std::filesystem::path url;
        int track = 1;
    };

    // The source frame and grade the graded paused frame is cut from.
    struct VisualGradeSource {
        std::filesystem::path url;
        double sourceSeconds = 0;
        std::optional<EditorJobV2::ClipGrade> clipGrade;
    };
};

} // namespace velmora
