#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "export/TimelineExportState.h"

namespace velmora::Exporter {
namespace {

std::string messageOf(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Error& e) {
        return e.domain() + " " + std::to_string(e.code()) + " " + e.message();
    } catch (const std::exception& e) {
        return e.what();
    }
}

struct Recorder {
    std::vector<TimelineExportProgress> reports;
    TimelineProgressCallback callback()
    {
        return [this](const TimelineExportProgress& p) { reports.push_back(p); };
    }
};

TEST(TimelineExportState, TheFirstErrorWinsAndTeardownRunsEveryTime)
{
    TimelineExportState state(10, false, {});
    int teardowns = 0;
    state.setStopReading([&] { ++teardowns; });
    state.failExport(exportError(221, "Failed to append frame"));
    state.failExport(exportError(242, "Audio reader failed"));
    EXPECT_EQ(teardowns, 2);
    EXPECT_TRUE(state.isStopped());
    EXPECT_EQ(messageOf(state.firstError()), "export 221 Failed to append frame");
    EXPECT_TRUE(state.waitForDone(0));
    EXPECT_FALSE(state.waitForDone(0)); // signalled once only
}

TEST(TimelineExportState, OnlyTheFailureThatStopsTheExportDiscardsItsOutput)
{
    TimelineExportState state(10, false, {});
    int discards = 0;
    state.setDiscardOutput([&] { ++discards; });
    state.failExport(exportError(248, "Export cancelled."));
    state.failExport(exportError(221, "Failed to append frame"));
    EXPECT_EQ(discards, 1);

    // Once finishing has begun the writer's own outcome decides: its movie stays.
    TimelineExportState finishing(10, false, {});
    int lateDiscards = 0;
    finishing.setDiscardOutput([&] { ++lateDiscards; });
    finishing.claimVideoDone();
    ASSERT_TRUE(finishing.finalizeIfReady());
    finishing.failExport(exportError(248, "Export cancelled."));
    EXPECT_EQ(lateDiscards, 0);
}

TEST(TimelineExportState, FinalizesOnceWhenBothSidesAreDone)
{
    TimelineExportState state(10, true, {});
    EXPECT_FALSE(state.finalizeIfReady());
    EXPECT_TRUE(state.claimVideoDone());
    EXPECT_FALSE(state.claimVideoDone());
    EXPECT_FALSE(state.finalizeIfReady());
    state.markAudioDone();
    EXPECT_TRUE(state.finalizeIfReady());
    EXPECT_FALSE(state.finalizeIfReady());
    EXPECT_TRUE(state.isStopped());
}

TEST(TimelineExportState, TheFinalizingReportFallsToTheVideoSideWhenTheSoundEndsFirst)
{
    TimelineExportState early(10, true, {});
    EXPECT_FALSE(early.markAudioDone());
    bool reportFinalizing = false;
    EXPECT_TRUE(early.claimVideoDone(&reportFinalizing));
    EXPECT_TRUE(reportFinalizing);

    TimelineExportState late(10, true, {});
    EXPECT_TRUE(late.claimVideoDone(&reportFinalizing));
    EXPECT_FALSE(reportFinalizing);
    EXPECT_TRUE(late.markAudioDone());
}

TEST(TimelineExportState, WithoutAudioTheVideoSideFinishesAlone)
{
    TimelineExportState state(10, false, {});
    EXPECT_TRUE(state.audioStopTest());
    EXPECT_FALSE(state.videoStopTest());
    state.claimVideoDone();
    EXPECT_TRUE(state.finalizeIfReady());
}

TEST(TimelineExportState, AFailureAfterFinishingBeganIsNotRecorded)
{
    TimelineExportState state(10, false, {});
    state.claimVideoDone();
    ASSERT_TRUE(state.finalizeIfReady());
    state.failExport(exportError(248, "Export cancelled."));
    EXPECT_FALSE(state.firstError());
}

TEST(TimelineExportState, NothingIsClaimedOnceStopped)
{
    TimelineExportState state(10, true, {});
    state.failExport(exportError(248, "Export cancelled."));
    EXPECT_FALSE(state.claimVideoDone());
    EXPECT_FALSE(state.finalizeIfReady());
}

TEST(TimelineExportState, CountsFramesAndCapsTheCompletedCount)
{
    TimelineExportState state(2, false, {});
    EXPECT_EQ(state.addWrittenFrame(), 1);
    EXPECT_EQ(state.addWrittenFrame(), 2);
    EXPECT_EQ(state.addWrittenFrame(), 3);
    EXPECT_EQ(state.framesWritten(), 3);
    EXPECT_EQ(state.framesCompleted(), 2);
}

TEST(TimelineExportState, RegularReportsComeEveryTwelveFramesAtMostFiveTimesASecond)
{
    auto clock = std::make_shared<ManualClock>(100);
    Recorder recorder;
    TimelineExportState state(30, false, recorder.callback(), clock);
    for (int frame = 1; frame <= 30; ++frame) {
        const std::int64_t count = state.addWrittenFrame();
        // Frames 13 to 24 come fast: frame 24 is less than 0.2 s after frame 12's report.
        clock->advance(frame > 12 && frame <= 24 ? 0.01 : 0.02);
        state.reportFrameProgress(count);
    }
    std::vector<std::int64_t> counts;
    for (const auto& report : recorder.reports) {
        counts.push_back(report.framesCompleted);
        EXPECT_EQ(report.framesTotal, 30);
        EXPECT_EQ(report.phase, "Rendering video");
    }
    EXPECT_EQ(counts, (std::vector<std::int64_t>{12, 30}));
}

TEST(TimelineExportState, ForcedReportsIgnoreTheThrottle)
{
    auto clock = std::make_shared<ManualClock>(5);
    Recorder recorder;
    TimelineExportState state(4, true, recorder.callback(), clock);
    state.reportProgress("Encoding audio\u2026", true);
    state.reportProgress("Rendering video", false);
    state.reportProgress("Finalizing\u2026", true);
    ASSERT_EQ(recorder.reports.size(), 2u);
    EXPECT_EQ(recorder.reports[0].phase, "Encoding audio\u2026");
    EXPECT_EQ(recorder.reports[1].phase, "Finalizing\u2026");
}

TEST(TimelineExportState, AThrowingProgressCallbackFailsTheExport)
{
    TimelineExportState state(4, true, [](const TimelineExportProgress&) { throw std::runtime_error("ui gone"); });
    state.reportProgress("Finalizing\u2026", true);
    EXPECT_EQ(messageOf(state.firstError()), "ui gone");
}

} // namespace
} // namespace velmora::Exporter
