#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <QImage>

#include "model/EditorJobV2.h"
#include "platform/image/Image.h"
#include "platform/media/MediaTime.h"
#include "preview/TimelinePreviewEngine.h"

namespace velmora {

class VideoOutput;

// One graded still of the paused program picture, as the program view asks for it: everything
// the grading queue needs, taken on the main thread when the request is made. The job reads
// nothing else: not the engine, not the player (whose calls belong to the main thread).
struct GradedStillJob {
    // The still's number and the key of the picture it was made for (the program view's
    // request state).
    std::uint64_t requestNumber = 0;
    std::string syncKey;
    // The engine's timeline revision when the request was made.
    int timelineRevision = 0;

    // The player's picture and the item time the player stood at: the paused frame is cut from
    // the output when its latest frame is the one displayed at that time.
    std::shared_ptr<VideoOutput> videoOutput;
    MediaTime itemTime = MediaTime::invalid();
    // Otherwise the frame is decoded from the clip's source file at this time.
    std::optional<TimelinePreviewEngine::VisualGradeSource> source;

    // The grade size (the canvas within the budget) and the key of the frame and its clip's LUT
    // reference (PreviewFrameGrader::lutBaseCacheKey); its base is cached under that key and what
    // the LUT's answer grades with (PreviewFrameGrader::lutBaseKey).
    int width = 1;
    int height = 1;
    std::string lutBaseKey;

    // The still's grade (the clip's, else the visual source's) and where its LUT file is found.
    std::optional<EditorJobV2::ClipGrade> grade;
    std::optional<std::filesystem::path> mediaFolder;
    std::optional<std::filesystem::path> sessionFile;
    // The engine's grade preview switch: on, mood and basic grade apply; off, only the LUT.
    bool gradePreviewEnabled = false;
    // A slider is being dragged: the interactive renderer.
    bool interactive = false;

    enum class Outcome {
        // The frame could be taken neither from the output nor from the source file.
        noBase,
        // The graded still could not be rendered.
        noImage,
        still,
    };
    struct Result {
        Outcome outcome = Outcome::noBase;
        QImage still; // the graded still at width × height, for Outcome::still
        // For Outcome::noBase: the source file the frame was to be decoded from, if any.
        std::optional<std::filesystem::path> sourceFile;
        // The key the still's LUT base is cached under (empty for Outcome::noBase).
        std::string lutBaseKey;
    };

    // Takes the LUT base (cached, or decoded and put through the clip's LUT, the LUT decided
    // once: PreviewFrameGrader::fetchLutBase), grades it and converts it for painting. Runs on a
    // grading queue; never throws.
    Result run() const;

    // The steps after the LUT on a LUT base, as the grading queue and the main thread's slider
    // path share them: with the preview switch on and any grade, mood and basic grade, with no
    // display gamma of their own (the still has the export's levels); else the base as it is.
    // Rendered at width × height and converted for painting; null when the render fails.
    static QImage gradeBase(const Image& base, const std::optional<EditorJobV2::ClipGrade>& grade,
                            bool gradePreviewEnabled, int width, int height, bool interactive);

private:
    // The paused frame before any grading, letterboxed to width × height; none when it cannot
    // be had.
    std::optional<Image> decodedBase() const;
    std::optional<Image> frameFromOutput() const;
};

} // namespace velmora
