#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "grading/PreviewFrameGrader.h"
#include "model/EditorJobV2.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/image/Image.h"

namespace velmora {

// One graded still of a clip's frame, as a view asks for it. A copy taken on the main thread:
// the work reads nothing else.
struct GradedStillRequest {
    std::filesystem::path assetURL;
    double sourceTime = 0;       // seconds into the media file
    std::int64_t frameIndex = 0; // the source frame shown; part of the LUT-base key
    std::string clipId;
    std::optional<EditorJobV2::ClipGrade> clipGrade;
    int outW = 1920; // the project's canvas
    int outH = 1080;
    std::optional<std::filesystem::path> mediaFolder;
    std::optional<std::filesystem::path> sessionFile;
    std::string gammaMode = PreviewFrameGrader::editorDisplayGammaMode;
    double compContrast = 1.0;
    double compSaturation = 1.0;
    double compBrightness = 0.0;
    double compTint = 0.0;
};

// Who asks, which decides the queue and the size budget.
enum class GradedStillKind {
    // The program view's paused frame: pauseGradeQueue, the canvas's longer side capped at 4096.
    paused,
    // A re-grade while a grade slider is dragged: interactiveQueue, 854 on the longer side.
    interactive,
    // The source viewer's still: gradeQueue, 4096 on the longer side.
    source,
};

// The size a still of `kind` is graded at for an outW x outH canvas.
PreviewFrameGrader::PixelSize gradedStillSize(GradedStillKind kind, int outW, int outH);

// The part of a still's frame key that names the clip's LUT as the grade writes it: its switch,
// references, strength and a digest of its inline text ("none" when the grade can carry no LUT).
// The base itself is cached under what the LUT's answer grades with (PreviewFrameGrader::
// lutBaseKey).
std::string lutKeyForGrade(const std::optional<EditorJobV2::ClipGrade>& grade);

// Grades one view's stills off the main thread and hands them back on it, newest wins.
//
// Each request decodes the frame (or takes its LUT base from the cache), grades it at the
// budget size on its kind's queue and posts the result to the main queue. The completion runs
// there only if no later request (of any kind) was made through this requester and cancel()
// was not called since; a stale request is also skipped before its work starts when the queue
// reaches it late. The completion gets the bitmap (extent (0, 0, w, h) at the budget size) or
// nothing when the frame cannot be decoded.
//
// Main thread only (request, cancel, destruction). Work already queued may finish after the
// requester is gone; its result is then dropped.
class GradedStillRequester {
public:
    using Completion = std::function<void(std::optional<Image> still)>;

    explicit GradedStillRequester(std::shared_ptr<MainQueue> mainQueue);
    ~GradedStillRequester();
    GradedStillRequester(const GradedStillRequester&) = delete;
    GradedStillRequester& operator=(const GradedStillRequester&) = delete;

    // Returns the request's number (1, 2, …).
    std::uint64_t request(GradedStillKind kind, GradedStillRequest request, Completion completion);
    // Makes every outstanding request stale.
    void cancel();
    // The number of the newest request; stale requests have smaller numbers.
    std::uint64_t currentRequest() const;

    // The grading work of a request, on the calling thread: the graded bitmap, or nothing.
    static std::optional<Image> gradeStill(GradedStillKind kind, const GradedStillRequest& request);

private:
    struct State {
        std::atomic<std::uint64_t> current{0};
    };

    std::shared_ptr<MainQueue> mainQueue_;
    std::shared_ptr<State> state_;
    std::uint64_t issued_ = 0; // main thread
};

} // namespace velmora
