// The monitor's frame grid counts on the time base the export stamps its frames with.

#include <gtest/gtest.h>

#include <limits>

#include "editing/PreviewFrameTiming.h"
#include "export/TimelineExportSetup.h"
#include "model/EditSession.h"
#include "support/TestSupport.h"

namespace velmora::Exporter {
namespace {

FrameDuration exportFrame(const EditorJobV2& job)
{
    const FrameTiming timing = timelineFrameTiming(job, nullptr);
    return {timing.step, timing.timescale};
}

TEST(FrameGrid, AProjectRateCountsOnTheExportsTimeBase)
{
    for (const double fps : {29.97, 23.976, 59.94, 25.0, 24.0, 50.0, 12.5, 120.0}) {
        EditorJobV2 job;
        job.project = EditorJobV2::Project();
        job.project->fps = fps;
        EXPECT_EQ(FrameGrid::ofRate(fps).frame, exportFrame(job)) << fps;
        EXPECT_EQ(PreviewFrameTiming::pictureGrid(fps).frame, exportFrame(job)) << fps;
    }
    // A rate with no time base of its own counts as 30 on both.
    for (const double none : {0.0, -5.0, std::numeric_limits<double>::quiet_NaN(), 3e9}) {
        EXPECT_EQ(FrameGrid::ofRate(none).frame, (FrameDuration{1, 30})) << none;
        EXPECT_EQ(fpsToTimebase(none), (FrameTiming{30, 30, 1})) << none;
    }

    // A project that states no rate: the monitor counts on what its render job gives the export.
    test::TempDir folder;
    EditSession session = EditSession::blankProject();
    session.project->fps.reset();
    session.writeRenderJob(folder.path() / "job.json");
    const EditorJobV2 job = EditorJobV2::fromJSON(test::readTextFile(folder.path() / "job.json"));
    EXPECT_EQ(exportFrame(job), (FrameDuration{1001, 60000}));
    EXPECT_EQ(PreviewFrameTiming::pictureGrid(std::nullopt).frame, exportFrame(job));
}

} // namespace
} // namespace velmora::Exporter
