#include <cmath>

#include <gtest/gtest.h>

#include "WorkspaceTestSupport.h"

namespace velmora::test {
namespace {

using OutputSettings::Compensation;

JobPreviewStill still(const std::string& label, double minimum, double maximum, double display = 0,
                      double picked = 0)
{
    return {QImage(8, 4, QImage::Format_RGBA8888), display, picked, minimum, maximum, label, "grade"};
}

class Preview : public WorkspaceTest {
protected:
    Preview()
    {
        loadJob(writeTimelineJob());
        chooseMediaFolder(dir.path());
    }
    // Renders may reach the exporter in either order: find one by the time it asks for.
    std::size_t indexOfPreviewAt(double seconds)
    {
        for (std::size_t i = 0;; ++i)
            if (exporter->previewCall(i).request.timeSeconds == seconds)
                return i;
    }
    void finishPreviewAt(double seconds, JobPreviewStill result)
    {
        exporter->finishPreview(indexOfPreviewAt(seconds), std::move(result));
    }
    // Starts render number `i` (0 first) and answers it with `result`.
    void render(std::size_t i, JobPreviewStill result)
    {
        controller->refreshPreview();
        exporter->finishPreview(i, std::move(result));
        runUntil([&] { return !controller->isPreviewing(); });
    }
};

TEST_F(Preview, NeedsTheJobAndTheInputOfItsKind)
{
    loadJob(writeSingleVideoJob());
    EXPECT_FALSE(controller->canRefreshPreview());
    controller->refreshPreview();
    EXPECT_FALSE(controller->isPreviewing());
    chooseInput(dir / "A001.MOV");
    EXPECT_TRUE(controller->canRefreshPreview());
    controller->refreshPreview();
    EXPECT_FALSE(controller->canRefreshPreview());
    EXPECT_EQ(exporter->previewCall(0).request.files.inputURL, dir / "A001.MOV");
    EXPECT_EQ(exporter->previewCount(), 1u);
}

TEST_F(Preview, AStillBringsItsRangeCaptionAndStatus)
{
    EXPECT_FALSE(controller->hasPreviewTimeRange());
    recordStatuses();
    controller->setCompensation(Compensation::brightness, 0.1);
    EXPECT_EQ(queue->pendingCount(), 0); // nothing renders by itself before the first still
    controller->refreshPreview();
    EXPECT_TRUE(controller->isPreviewing());
    EXPECT_EQ(exporter->previewCall(0).request,
              (JobPreviewRequest{{dir / "trip_desktop_v2_job.json", std::nullopt, std::nullopt, dir.path(), std::nullopt},
                                 0,
                                 {"rec709", 1, 1, 0.1, 0}}));
    exporter->finishPreview(0, still("L", 0, 12.25, 0, 3.5));
    runUntil([&] { return !controller->isPreviewing(); });
    EXPECT_FALSE(controller->previewImage().isNull());
    EXPECT_EQ(controller->previewLabel(), "L  pts=3.500  [0.00s\u201312.25s]\ngrade");
    EXPECT_TRUE(controller->hasPreviewTimeRange());
    EXPECT_EQ(controller->previewMaxSeconds(), 12.25);
    EXPECT_EQ(statuses, std::vector<std::string>{"Preview updated"});
}

TEST_F(Preview, TheSliderKeepsATimeInsideTheNewRange)
{
    render(0, still("L", 2, 8, 2.5));
    EXPECT_EQ(controller->previewTimeSeconds(), 2.5); // 0 was outside
    controller->setPreviewTimeSeconds(5);
    render(1, still("L", 2, 8, 4));
    EXPECT_EQ(controller->previewTimeSeconds(), 5);
    controller->setPreviewTimeSeconds(9);
    render(2, still("L", 2, 8, 7.99));
    EXPECT_EQ(exporter->previewCall(2).request.timeSeconds, 9);
    EXPECT_EQ(controller->previewTimeSeconds(), 7.99);

    render(3, still("L", 1, 1.0001, 1));
    EXPECT_FALSE(controller->hasPreviewTimeRange());
    render(4, still("L", 1, 1.0002, 1));
    EXPECT_TRUE(controller->hasPreviewTimeRange());
    render(5, still("L", std::nan(""), 3));
    EXPECT_FALSE(controller->hasPreviewTimeRange());
    EXPECT_EQ(controller->previewTimeText(), "1.00s");
}

TEST_F(Preview, ABurstOfChangesRendersOnceAQuarterSecondAfterTheLast)
{
    render(0, still("L", 0, 4));
    controller->setCompensation(Compensation::contrast, 1.1);
    queue->advance(0.2);
    controller->setCompensation(Compensation::contrast, 1.2);
    controller->setGammaMode("g24");
    queue->advance(0.2);
    EXPECT_EQ(exporter->previewCount(), 1u);
    queue->advance(0.05);
    EXPECT_EQ(exporter->previewCall(1).request.look, (JobLook{"g24", 1.2, 1, 0, 0}));
    EXPECT_EQ(queue->pendingCount(), 0);

    // While that render runs, a change schedules nothing.
    controller->setCompensation(Compensation::tint, 0.5);
    EXPECT_EQ(queue->pendingCount(), 0);
    exporter->finishPreview(1, still("L", 0, 4));
    runUntil([&] { return !controller->isPreviewing(); });

    // "Refresh Preview" within the quarter second does not cancel the pending refresh.
    controller->setCompensation(Compensation::tint, 0.25);
    controller->refreshPreview();
    queue->advance(0.25);
    EXPECT_EQ(exporter->previewCall(3).request.look.tint, 0.25);
}

TEST_F(Preview, AFailureRemovesTheStillKeepsTheRangeAndStopsAutomaticRenders)
{
    render(0, still("L", 0, 6));
    controller->refreshPreview();
    exporter->failPreview(1, std::make_exception_ptr(Error("preview", 405, "Missing source file: a.mp4")));
    runUntil([&] { return !controller->isPreviewing(); });
    EXPECT_TRUE(controller->previewImage().isNull());
    EXPECT_EQ(controller->previewLabel(), "Preview failed");
    EXPECT_EQ(controller->statusText(), "Preview failed: Error Domain=preview Code=405 \"Missing source file: a.mp4\"");
    EXPECT_TRUE(controller->hasPreviewTimeRange());
    controller->setGammaMode("g20");
    EXPECT_EQ(queue->pendingCount(), 0);
}

TEST_F(Preview, AnOlderRenderNeverReplacesANewerStill)
{
    // Two renders run at once; the one asked for later (at 3 s) ends first.
    controller->refreshPreview();
    controller->setPreviewTimeSeconds(3);
    controller->refreshPreview();
    finishPreviewAt(3, still("newer", 0, 10, 3));
    runUntil([&] { return controller->previewLabel().starts_with("newer"); });
    exporter->failPreview(indexOfPreviewAt(0), std::make_exception_ptr(Error("preview", 411, "Failed to decode.")));
    // The older outcome arrives and is dropped: still, caption and status stay the newer render's.
    waitForPosted(1);
    queue->runUntilIdle();
    EXPECT_FALSE(controller->previewImage().isNull());
    EXPECT_TRUE(controller->previewLabel().starts_with("newer"));
    EXPECT_EQ(controller->statusText(), "Preview updated");

    // Ending in the order they were asked for, each outcome is shown and the later one stays.
    controller->setPreviewTimeSeconds(4);
    controller->refreshPreview();
    controller->setPreviewTimeSeconds(5);
    controller->refreshPreview();
    finishPreviewAt(4, still("first", 0, 10, 3));
    runUntil([&] { return controller->previewLabel().starts_with("first"); });
    finishPreviewAt(5, still("second", 0, 10, 3));
    runUntil([&] { return controller->previewLabel().starts_with("second"); });
}

TEST_F(Preview, ARenderEndingAfterTheWorkspaceIsDropped)
{
    controller->refreshPreview();
    controller->setCompensation(Compensation::tint, 0.5);
    exporter->previewCall(0);
    controller.reset();
    // The workspace made afresh, as switching the Mode does, is not the one the render was for.
    makeController();
    exporter->finishPreview(0, still("L", 0, 1));
    waitForPosted(1); // the render's end, which joins its thread
    EXPECT_EQ(queue->runUntilIdle(), 1);
    EXPECT_EQ(queue->pendingCount(), 0); // the dropped outcome schedules no further render
    EXPECT_EQ(exporter->previewCount(), 1u);
    EXPECT_TRUE(controller->previewImage().isNull());
    EXPECT_EQ(controller->previewLabel(), "");
    EXPECT_FALSE(controller->isPreviewing());
    EXPECT_FALSE(controller->hasPreviewTimeRange());
    EXPECT_EQ(controller->statusText(), "Ready");
}

TEST_F(Preview, AnotherJobShowsNothingOfTheOneBefore)
{
    render(0, still("L", 0, 6, 0, 1));
    controller->setGammaMode("g20"); // a refresh pending
    controller->setPreviewTimeSeconds(4);
    controller->refreshPreview(); // still running when the other job comes
    loadJob(writeTimelineJob("other_job.json"));
    EXPECT_TRUE(controller->previewImage().isNull());
    EXPECT_EQ(controller->previewLabel(), "");
    EXPECT_FALSE(controller->hasPreviewTimeRange());
    EXPECT_EQ(controller->previewTimeSeconds(), 0);
    EXPECT_EQ(controller->statusText(), "Ready"); // not the other job's "Preview updated"

    // The render for the job before ends: dropped. Nothing else renders until asked.
    exporter->finishPreview(1, still("before", 0, 6, 4));
    waitForPosted(1);
    queue->advance(1);
    EXPECT_TRUE(controller->previewImage().isNull());
    EXPECT_EQ(controller->statusText(), "Ready");
    EXPECT_EQ(exporter->previewCount(), 2u);
    render(2, still("other", 0, 3));
    EXPECT_EQ(exporter->previewCall(2).request.timeSeconds, 0);
}

} // namespace
} // namespace velmora::test
