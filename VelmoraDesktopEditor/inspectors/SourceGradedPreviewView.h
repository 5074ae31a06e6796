#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QImage>
#include <QTimer>
#include <QWidget>

#include "grading/PreviewFrameGrader.h"
#include "model/EditorJobV2.h"

namespace velmora {

class MainQueue;

// What the source viewer hands its picture on every change.
struct SourceGradedPreviewInputs {
    // The viewer plays the file with a player (none for a still image, or when the file
    // cannot be played).
    bool hasPlayer = false;
    std::optional<std::filesystem::path> fileURL;
    bool isPlaying = false;
    // The viewer's Grade toggle.
    bool gradeEnabled = false;
    // The LUT picker value: a .cube file name or path, or "None".
    std::string lutReference = "None";
    // The LUT that grades the still when the picker shows a timeline clip's own LUT (inline text
    // included); without one, the file lutReference names grades it.
    std::optional<EditorJobV2::ClipGrade> clipLut;
    // Where the LUT file is looked up.
    std::optional<std::filesystem::path> mediaFolder;
    std::optional<std::filesystem::path> sessionFile;
    // Seconds into the source of the frame on screen.
    double currentTime = 0;
    // The project canvas, pixels.
    int outW = 1920;
    int outH = 1080;
};

// The picture of the source viewer for video and still sources. Two layers share one frame,
// the canvas's aspect fitted into the view: the player's live picture (fitted inside the frame,
// bars where the aspects differ) and, over it, a still of the current frame cropped to the
// canvas and graded off the main thread.
//
// A still is wanted (1) while paused with Grade on and a LUT chosen: the frame with the clip
// LUT; or (2) always for a source without a player, which has no live picture: the frame with
// the LUT when (1)'s condition holds, else the plain framed frame. Neither adds a display
// gamma: a still has the levels an export of the frame has. Stills are graded at the canvas
// size capped at 4096 on the longer side, on the grader's "velmora.grade.preview.serial"
// queue, one request at a time; each carries a request number and is shown only if it is
// still the newest when it comes back through the main queue (an outdated request is not even
// started). A key of file, time (milliseconds) and LUT suppresses repeated requests for the
// same frame. While a still is graded the picture on screen stays; a still that cannot be made
// shows the live picture.
//
// Main thread only.
class SourceGradedPreviewView final : public QWidget {
    Q_OBJECT
public:
    // Time between polls of the live picture while it is shown, milliseconds.
    static constexpr int livePicturePollMs = 16;

    explicit SourceGradedPreviewView(std::shared_ptr<MainQueue> mainQueue, QWidget* parent = nullptr);
    ~SourceGradedPreviewView() override;

    // The player's current picture (a null image while it has none); empty without a player.
    // Polled while the live picture is shown and the view is visible.
    void setLivePicture(std::function<QImage()> currentPicture);
    void sync(const SourceGradedPreviewInputs& inputs);

    // The clip grade carrying the chosen LUT: the trimmed reference as its file, the last path
    // component as its name, full strength. None for a blank reference or "None".
    static std::optional<EditorJobV2::ClipGrade> syntheticClipGrade(const std::string& lutReference);
    // The grade a still is graded through when it is graded: the timeline clip's own LUT while
    // the picker shows it, else the file the picker names (syntheticClipGrade); none for "None".
    static std::optional<EditorJobV2::ClipGrade> stillGrade(const SourceGradedPreviewInputs& inputs);
    // The size a still is graded at for a canvas: scaled down (never up) to at most 4096 on
    // the longer side, each side at least 1.
    static PreviewFrameGrader::PixelSize stillSize(int outW, int outH);
    // "<path>|<seconds, %.3f>|<lutPart>".
    static std::string stillKey(const std::filesystem::path& file, double seconds, const std::string& lutPart);
    // The canvas's aspect fitted into the bounds and centred (the bounds themselves when a side
    // is 1 or less, or the aspects are equal). A canvas side below 1 counts as 1.
    static QRectF frameRect(const QRectF& bounds, int canvasW, int canvasH);

    // One still as the grade queue makes it: the frame of `file` at `seconds`, cropped to fill
    // width × height, through the grade's LUT (none: no LUT). Nothing when the frame cannot be
    // decoded or rendered. Any thread.
    struct StillJob {
        std::filesystem::path file;
        double seconds = 0;
        int width = 1;
        int height = 1;
        std::optional<EditorJobV2::ClipGrade> grade;
        std::optional<std::filesystem::path> mediaFolder;
        std::optional<std::filesystem::path> sessionFile;
    };
    static std::optional<QImage> renderStill(const StillJob& job);

    // State, for tests and the viewer.
    const std::optional<std::string>& lastGradeKey() const { return lastGradeKey_; }
    std::uint64_t gradeRequestId() const { return gradeRequestId_; }
    // The newest request whose answer (a still or none) came back and was taken; 0 before any.
    std::uint64_t answeredRequestId() const { return answeredRequestId_; }
    bool isShowingStill() const { return showingStill_; }
    const QImage& still() const { return still_; }
    QRectF pictureFrame() const { return frameRect(rect(), canvasW_, canvasH_); }
    bool isPollingLivePicture() const { return liveTimer_.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void request(StillJob job);
    void takeStill(std::uint64_t requestId, std::optional<QImage> still);
    void setShowingStill(bool showing);
    void updateLivePolling();
    void pollLivePicture();

    std::shared_ptr<MainQueue> mainQueue_;
    // The newest request number, read by queued work to skip outdated requests.
    std::shared_ptr<std::atomic<std::uint64_t>> newestRequest_;
    std::function<QImage()> livePicture_;
    QImage liveFrame_;
    QTimer liveTimer_;

    std::uint64_t gradeRequestId_ = 0;
    std::uint64_t answeredRequestId_ = 0;
    std::optional<std::string> lastGradeKey_;
    QImage still_;
    bool showingStill_ = false;
    int canvasW_ = 1920;
    int canvasH_ = 1080;
};

} // namespace velmora
