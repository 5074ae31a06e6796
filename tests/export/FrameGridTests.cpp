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
        EXPECT_EQ(PreviewFrameTiming::pictureGrid(fps, 25.0f).frame, exportFrame(job)) << fps;
    }
    EXPECT_EQ(FrameGrid::ofRate(std::numeric_limits<double>::quiet_NaN()).frame, (FrameDuration{1, 30}));

    // A project that states no rate: the monitor counts on what its render job gives the export,
    // whatever its footage's rate.
    test::TempDir folder;
    EditSession session = EditSession::blankProject();
    session.project->fps.reset();
    session.writeRenderJob(folder.path() / "job.json");
    const EditorJobV2 job = EditorJobV2::fromJSON(test::readTextFile(folder.path() / "job.json"));
    EXPECT_EQ(exportFrame(job), (FrameDuration{1001, 60000}));
    for (const float footage : {25.0f, 29.97f, 23.976f}) {
        EXPECT_EQ(PreviewFrameTiming::pictureGrid(std::nullopt, footage).frame, exportFrame(job)) << footage;
    }
    // A stated rate that is no rate leaves the export to the footage: the monitor keeps its table.
    EXPECT_EQ(PreviewFrameTiming::pictureGrid(0.0, 30.0f).frame, (FrameDuration{1, 30}));
}

} // namespace
} // namespace velmora::Exporter
