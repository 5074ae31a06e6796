#include "InspectorTestSupport.h"

#include <QThreadPool>
#include <QWidget>
#include <gtest/gtest.h>

#include "grading/PreviewFrameGrader.h"

namespace velmora::test {

void finishBackgroundWork()
{
    // Stills queue behind each other; a waveform read may start a still-free probe and back.
    for (int round = 0; round < 2; ++round) {
        PreviewFrameGrader::gradeQueue().sync([] {});
        QThreadPool::globalInstance()->waitForDone();
    }
}

namespace {

class FinishBackgroundWork final : public ::testing::Environment {
public:
    void TearDown() override { finishBackgroundWork(); }
};

[[maybe_unused]] ::testing::Environment* const finishAtExit =
    ::testing::AddGlobalTestEnvironment(new FinishBackgroundWork);

} // namespace

InspectorHarness::InspectorHarness() = default;

InspectorHarness::~InspectorHarness()
{
    finishBackgroundWork();
}

void InspectorHarness::adopt(std::vector<EditSession::Source> sources, std::vector<EditSession::Clip> clips)
{
    auto session = std::make_shared<EditSession>();
    EditSession::Project project;
    project.name = "Inspectors";
    project.width = 1920;
    project.height = 1080;
    project.fps = 25;
    project.activeTimelineId = "tl";
    session->project = project;
    session->sources = std::move(sources);
    EditSession::Timeline timeline;
    timeline.id = "tl";
    timeline.name = "Timeline 1";
    timeline.clips = std::move(clips);
    session->timelines.push_back(std::move(timeline));
    session->normalizeAllClipTiming();
    engine.adoptSession(std::move(session), media.path(), std::nullopt, true);
    queue->runUntilIdle();
}

bool InspectorHarness::waitFor(const std::function<bool()>& done)
{
    return queue->runUntil(done, 30.0);
}

EditSession::Clip videoClip(std::string id, std::string sourceId, double start, double duration, double inPoint)
{
    EditSession::Clip clip(std::move(id));
    clip.type = "video";
    clip.name = sourceId + ".mp4";
    clip.sourceId = std::move(sourceId);
    clip.track = 1;
    clip.startTime = start;
    clip.duration = duration;
    clip.inPoint = inPoint;
    return clip;
}

double meanLevel(const QImage& picture)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    double sum = 0;
    long count = 0;
    for (int y = rgb.height() / 4; y < rgb.height() * 3 / 4; ++y) {
        const uchar* line = rgb.constScanLine(y);
        for (int x = rgb.width() / 4; x < rgb.width() * 3 / 4; ++x) {
            sum += (line[3 * x] + line[3 * x + 1] + line[3 * x + 2]) / 3.0;
            ++count;
        }
    }
    return count ? sum / count : 0;
}

std::filesystem::path saveScreenshot(QWidget& widget, const std::string& name)
{
    const std::filesystem::path folder = std::filesystem::path(VELMORA_BUILD_DIR) / "screenshots";
    std::filesystem::create_directories(folder);
    const std::filesystem::path file = folder / (name + ".png");
    widget.grab().save(QString::fromStdString(file.string()));
    return file;
}

} // namespace velmora::test
