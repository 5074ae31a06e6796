#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>

#include "TimelineExportTestSupport.h"
#include "support/AudioFixtures.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

namespace velmora::test {
namespace {

// Every progress report of one export, from whichever thread it came.
struct ProgressLog {
    std::mutex mutex;
    std::vector<TimelineExportProgress> reports;

    Exporter::TimelineProgressCallback callback()
    {
        return [this](const TimelineExportProgress& progress) {
            std::lock_guard lock(mutex);
            reports.push_back(progress);
        };
    }
    std::vector<std::string> phases()
    {
        std::vector<std::string> out;
        for (const auto& report : reports) {
            if (out.empty() || out.back() != report.phase) {
                out.push_back(report.phase);
            }
        }
        return out;
    }
};

// A clock that moves one second every time it is read, so no report is held back.
class FastClock final : public Clock {
public:
    double now() const override { return ticks_.fetch_add(1) + 1.0; }

private:
    mutable std::atomic<long> ticks_{0};
};

class TimelineExportProgressTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        media_ = std::make_unique<TempDir>();
        makeStampClip(*media_ / "a.mp4", 30);
        makeToneFile(*media_ / "tone.wav", {{440, 2}});
    }
    static void TearDownTestSuite() { media_.reset(); }

    static std::unique_ptr<TempDir> media_;
    TempDir out_;
};

std::unique_ptr<TempDir> TimelineExportProgressTest::media_;

TEST_F(TimelineExportProgressTest, WithoutSoundThePhasesAreRenderingEncodingDone)
{
    ProgressLog log;
    ExportOptions options;
    options.progress = log.callback();
    exportJob(makeJob({source("A", "a.mp4")}, {videoClip("a", "A", 1, 0, 1.2)}), media_->path(), out_ / "m.mp4",
              options);
    EXPECT_EQ(log.phases(), (std::vector<std::string>{"Rendering video", "Encoding audio\u2026", "Done"}));
    ASSERT_GE(log.reports.size(), 3u);
    EXPECT_EQ(log.reports.front().framesCompleted, 0);
    std::int64_t previous = 0;
    for (const auto& report : log.reports) {
        EXPECT_EQ(report.framesTotal, 30);
        EXPECT_GE(report.framesCompleted, previous);
        EXPECT_LE(report.framesCompleted, 30);
        previous = report.framesCompleted;
    }
    EXPECT_EQ(log.reports.back().framesCompleted, 30);
    EXPECT_EQ(log.reports[log.reports.size() - 2].framesCompleted, 30); // "Encoding audio…" after the last frame
}

TEST_F(TimelineExportProgressTest, WithSoundEncodingAudioComesBeforeFinalizing)
{
    ProgressLog log;
    ExportOptions options;
    options.progress = log.callback();
    exportJob(makeJob({source("A", "a.mp4"), source("T", "tone.wav")},
                      {videoClip("a", "A", 1, 0, 1.2), audioClip("t", "T", 1, 0, 1.2)}),
              media_->path(), out_ / "m.mp4", options);
    EXPECT_EQ(log.phases(),
              (std::vector<std::string>{"Rendering video", "Encoding audio\u2026", "Finalizing\u2026", "Done"}));
}

TEST_F(TimelineExportProgressTest, RegularReportsComeEveryTwelveFrames)
{
    ProgressLog log;
    ExportOptions options;
    options.progress = log.callback();
    options.faults.clock = std::make_shared<FastClock>();
    exportJob(makeJob({source("A", "a.mp4")}, {videoClip("a", "A", 1, 0, 1.2)}), media_->path(), out_ / "m.mp4",
              options);
    std::vector<std::int64_t> rendering;
    for (const auto& report : log.reports) {
        if (report.phase == "Rendering video") {
            rendering.push_back(report.framesCompleted);
        }
    }
    EXPECT_EQ(rendering, (std::vector<std::int64_t>{0, 12, 24, 30}));
}

} // namespace
} // namespace velmora::test
