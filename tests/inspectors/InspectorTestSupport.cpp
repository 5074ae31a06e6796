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
    std::shared_ptr<EditSession> session = sessionWith(std::move(clips));
    session->project->fps = 25;
    session->sources = std::move(sources);
    engine.adoptSession(std::move(session), media.path(), std::nullopt, true);
    queue->runUntilIdle();
}

bool InspectorHarness::waitFor(const std::function<bool()>& done)
{
    return queue->runUntil(done, 30.0);
}

EditSession::Clip videoClip(std::string id, std::string sourceId, double start, double duration, double inPoint)
{
    EditSession::Clip video = clip(std::move(id), "video", start, duration, 1, sourceId + ".mp4", inPoint);
    video.sourceId = std::move(sourceId);
    return video;
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
