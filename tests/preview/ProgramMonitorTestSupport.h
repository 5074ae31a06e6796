#pragma once

// The program monitor's tests: one-colour frames for the fake player's picture, cubes that
// paint a still in a known colour, and an engine with a shown program view over a timeline.

#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QColor>
#include <QSize>

#include "EngineTestSupport.h"
#include "platform/media/PixelBuffer.h"
#include "preview/GradedPreviewController.h"
#include "preview/GradedPreviewView.h"

namespace velmora::test {

// A BGRA frame of one opaque colour.
PixelBuffer solidFrame(const QColor& color, int width = 64, int height = 36);
// Publishes `frame` as the output's picture over [start, start + duration) seconds.
void showFrame(VideoOutput& output, const PixelBuffer& frame, double start, double duration = 1.0);

// A 3-point cube (the smallest a LUT is taken from) sending every colour to (r, g, b), components 0 to 1. Black and white keep
// their values under the display gamma, so a still made with it has exactly that colour.
std::string constantCube(double r, double g, double b);
std::string identityCube();
// A clip grade whose LUT is the given cube text, carried inline.
EditorJobV2::ClipGrade inlineLut(const std::string& cube);
// A video clip on V1.
EditSession::Clip gradedClip(std::string id, double start, double duration,
                             std::optional<EditorJobV2::ClipGrade> grade);

// Runs the grading queue and the main queue until neither has work left.
void finishGrading(ManualMainQueue& queue);

// Holds the grading queue from construction until release(): stills asked for meanwhile wait
// behind it, so a test can change the engine between a request and its grading.
class GradingQueueHold {
public:
    GradingQueueHold();
    ~GradingQueueHold();
    GradingQueueHold(const GradingQueueHold&) = delete;
    GradingQueueHold& operator=(const GradingQueueHold&) = delete;
    void release();

private:
    std::promise<void> released_;
    bool isReleased_ = false;
};

QColor pixel(QWidget& view, int x, int y);
::testing::AssertionResult colourNear(const QColor& actual, const QColor& expected, int tolerance = 2);

struct ProgramOptions {
    QSize canvas{320, 180};
    QSize viewSize{320, 180};
    bool cleanFeed = false;
    // The player's picture over the whole timeline (none: the player shows nothing).
    std::optional<QColor> frame = QColor(255, 0, 0);
};

// An engine over the clips (a timeline as long as its last clip) with its fake player showing
// the options' frame, and a shown program view of it, bound and settled (a still it asks for
// at once is on the grading queue).
struct ProgramHarness {
    explicit ProgramHarness(std::vector<EditSession::Clip> clips, ProgramOptions options = {});

    TimelinePreviewEngine& engine() { return h.engine; }
    GradedPreviewController& controller() const { return view->controller(); }
    ManualMainQueue& queue() const { return *h.queue; }

    void play();
    void pause();
    // A tolerant seek of the engine, landed.
    void seek(double seconds);
    // The picture painted at the centre of the view.
    QColor centre() const;

    EngineHarness h;
    std::shared_ptr<FakePreviewPlayer> player;
    std::unique_ptr<GradedPreviewView> view;

private:
    void togglePlay();
};

} // namespace velmora::test
