#include "ProgramMonitorTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "grading/PreviewFrameGrader.h"
#include "platform/media/VideoOutput.h"

namespace velmora::test {

PixelBuffer solidFrame(const QColor& color, int width, int height)
{
    PixelBuffer buffer = PixelBuffer::create(PixelFormat::bgra, width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = buffer.baseAddress(0) + y * buffer.bytesPerRow(0);
        for (int x = 0; x < width; ++x) {
            row[4 * x + 0] = static_cast<std::uint8_t>(color.blue());
            row[4 * x + 1] = static_cast<std::uint8_t>(color.green());
            row[4 * x + 2] = static_cast<std::uint8_t>(color.red());
            row[4 * x + 3] = 255;
        }
    }
    return buffer;
}

void showFrame(VideoOutput& output, const PixelBuffer& frame, double start, double duration)
{
    output.publish({frame, MediaTime::fromSeconds(start, 600), MediaTime::fromSeconds(duration, 600), 0});
    output.notify();
}

std::string constantCube(double r, double g, double b)
{
    char line[64];
    std::snprintf(line, sizeof line, "%.6f %.6f %.6f\n", r, g, b);
    std::string text = "LUT_3D_SIZE 3\n";
    for (int i = 0; i < 27; ++i) {
        text += line;
    }
    return text;
}

std::string identityCube()
{
    std::string text = "LUT_3D_SIZE 3\n";
    const char* steps[] = {"0", "0.5", "1"};
    for (int b = 0; b < 3; ++b) {
        for (int g = 0; g < 3; ++g) {
            for (int r = 0; r < 3; ++r) {
                text += std::string(steps[r]) + " " + steps[g] + " " + steps[b] + "\n";
            }
        }
    }
    return text;
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

GradingQueueHold::~GradingQueueHold()
{
    release();
}

void GradingQueueHold::release()
{
    if (!isReleased_) {
        isReleased_ = true;
        released_.set_value();
    }
}

QColor pixel(QWidget& view, int x, int y)
{
    return view.grab().toImage().pixelColor(x, y);
}

::testing::AssertionResult colourNear(const QColor& actual, const QColor& expected, int tolerance)
{
    if (std::abs(actual.red() - expected.red()) <= tolerance && std::abs(actual.green() - expected.green()) <= tolerance &&
        std::abs(actual.blue() - expected.blue()) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "colour is (" << actual.red() << ", " << actual.green() << ", "
                                         << actual.blue() << "), expected (" << expected.red() << ", "
                                         << expected.green() << ", " << expected.blue() << ")";
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

void ProgramHarness::play()
{
    ASSERT_FALSE(h.engine.isPlaying());
    togglePlay();
    ASSERT_TRUE(h.engine.isPlaying());
}

void ProgramHarness::pause()
{
    ASSERT_TRUE(h.engine.isPlaying());
    togglePlay();
    ASSERT_FALSE(h.engine.isPlaying());
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
    return pixel(*view, view->width() / 2, view->height() / 2);
}

} // namespace velmora::test
