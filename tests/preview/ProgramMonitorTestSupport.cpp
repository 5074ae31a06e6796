#include "ProgramMonitorTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "grading/PreviewFrameGrader.h"
#include "platform/media/VideoOutput.h"

namespace velmora::test {

PixelBuffer solidFrame(const QColor& color, int width, int height)
{
    PixelBuffer buffer = PixelBuffer::create(PixelFormat::bgra, width, height);
    for (int y = 0; y < height; ++y) {
        // 0xAARRGGBB in memory on a little-endian machine: B, G, R, A.
        std::fill_n(reinterpret_cast<QRgb*>(buffer.baseAddress(0) + y * buffer.bytesPerRow(0)), width, color.rgb());
    }
    return buffer;
}

void showFrame(VideoOutput& output, const PixelBuffer& frame, double start, double duration)
{
    output.publish({frame, MediaTime::fromSeconds(start, 600), MediaTime::fromSeconds(duration, 600), 0});
}

EditorJobV2::ClipGrade inlineLut(const std::string& cube)
{
    EditorJobV2::ClipGrade grade;
    grade.hasLut = true;
    grade.lutData = cube;
    return grade;
}

EditSession::Clip gradedClip(std::string id, double start, double duration,
                             std::optional<EditorJobV2::ClipGrade> grade)
{
    EditSession::Clip made = clip(std::move(id), "video", start, duration);
    made.grade = std::move(grade);
    return made;
}

void finishGrading(ManualMainQueue& queue)
{
    for (int round = 0; round < 100; ++round) {
        PreviewFrameGrader::pauseGradeQueue().sync([] {});
        if (queue.runUntilIdle() == 0) {
            return;
        }
    }
    ADD_FAILURE() << "grading never settled";
}

GradingQueueHold::GradingQueueHold()
{
    PreviewFrameGrader::pauseGradeQueue().async([released = released_.get_future().share()] { released.wait(); });
}

void GradingQueueHold::release()
{
    if (!std::exchange(isReleased_, true)) {
        released_.set_value();
    }
}

::testing::AssertionResult colourNear(const QColor& actual, const QColor& expected, int tolerance)
{
    const int off = std::max({std::abs(actual.red() - expected.red()), std::abs(actual.green() - expected.green()),
                              std::abs(actual.blue() - expected.blue())});
    return off <= tolerance ? ::testing::AssertionSuccess()
                            : ::testing::AssertionFailure() << "colour is " << actual.name().toStdString()
                                                            << ", expected " << expected.name().toStdString();
}

ProgramHarness::ProgramHarness(std::vector<EditSession::Clip> clips, ProgramOptions options)
{
    // Every test grades its stills afresh.
    PreviewFrameGrader::invalidateLutBaseCache();
    double end = 0;
    for (const EditSession::Clip& each : clips) {
        end = std::max(end, each.startTime.value_or(0) + each.duration.value_or(0));
    }
    std::shared_ptr<EditSession> session = sessionWith(std::move(clips));
    session->project->width = options.canvas.width();
    session->project->height = options.canvas.height();
    session->timelines.front().duration = end;
    player = h.adopt(session);
    if (options.frame) {
        showFrame(*player->output, solidFrame(*options.frame), 0, end);
    }
    view = std::make_unique<GradedPreviewView>(h.engine, h.queue, options.cleanFeed, options.cleanFeed);
    view->resize(options.viewSize);
    view->show();
    h.queue->runUntilIdle();
}

void ProgramHarness::togglePlay()
{
    // Past the engine's guard against double toggles.
    h.clock->advance(1);
    h.engine.togglePlay();
    h.queue->runUntilIdle();
}

void ProgramHarness::seek(double seconds)
{
    h.engine.seek(seconds, false, nullptr);
    h.queue->runUntilIdle();
}

QColor ProgramHarness::centre() const
{
    return view->grab().toImage().pixelColor(view->width() / 2, view->height() / 2);
}

} // namespace velmora::test
