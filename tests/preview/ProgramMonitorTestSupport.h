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
#include "support/CubeTexts.h"

namespace velmora::test {

// A BGRA frame of one opaque colour.
PixelBuffer solidFrame(const QColor& color, int width = 64, int height = 36);
// Publishes `frame` as the output's picture over [start, start + duration) seconds.
void showFrame(VideoOutput& output, const PixelBuffer& frame, double start, double duration);

// A clip grade carrying the cube text inline. With a constant cube, a still has exactly that
// colour.
EditorJobV2::ClipGrade inlineLut(const std::string& cube);
EditSession::Clip gradedClip(std::string id, double start, double duration,
                             std::optional<EditorJobV2::ClipGrade> grade);

// Runs the grading queue and the main queue until neither has work left.
void finishGrading(ManualMainQueue& queue);

// Holds the grading queue until release() (or destruction): stills asked for meanwhile wait,
// so a test can change the engine between a request and its grading.
class GradingQueueHold {
public:
    GradingQueueHold();
    ~GradingQueueHold() { release(); }
    void release();

private:
    std::promise<void> released_;
    bool isReleased_ = false;
};

::testing::AssertionResult colourNear(const QColor& actual, const QColor& expected, int tolerance = 2);

struct ProgramOptions {
    QSize canvas{320, 180};
    QSize viewSize{320, 180};
    bool cleanFeed = false;
    // The player's picture over the whole timeline (none: the player shows nothing).
    std::optional<QColor> frame = QColor(255, 0, 0);
};

// An engine over the clips with its fake player showing the options' frame, and a shown program
// view of it, bound: a still it asks for at once is on the grading queue.
struct ProgramHarness {
    explicit ProgramHarness(std::vector<EditSession::Clip> clips, ProgramOptions options = {});

    TimelinePreviewEngine& engine() { return h.engine; }
    GradedPreviewController& controller() const { return view->controller(); }
    ManualMainQueue& queue() const { return *h.queue; }
    void togglePlay();
    // A tolerant seek of the engine, landed.
    void seek(double seconds);
    // The colour painted at the centre of the view.
    QColor centre() const;

    EngineHarness h;
    std::shared_ptr<FakePreviewPlayer> player;
    std::unique_ptr<GradedPreviewView> view;
};

} // namespace velmora::test
