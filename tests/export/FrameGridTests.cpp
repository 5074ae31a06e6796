// The monitor's frame grid counts on the time base the export stamps its frames with.

#include <gtest/gtest.h>

#include <limits>

#include "editing/PreviewFrameTiming.h"
#include "JobExportFixtures.h"
#include "TimelineExportTestSupport.h"
#include "export/JobRouting.h"
#include "export/TimelineExportSetup.h"
#include "model/EditSession.h"
#include "support/MediaFixtures.h"
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

// A project stating 0 or a negative rate states none: the monitor counts on 59.94 and the movie
// its render job exports, by way of the job routing (0) or straight (-25), runs at 59.94 too. A
// browser editor's job of that rate with no output rate takes the footage's.
TEST(FrameGrid, AProjectRateThatIsNoRateRunsAtTheDefaultRate)
{
    test::TempDir folder;
    const std::filesystem::path media = folder.path() / "media";
    std::filesystem::create_directories(media);
    test::makeStampClip(media / "a.mp4", 50); // 2 s of 160 x 96 at 25 fps
    const std::filesystem::path jobFile = folder.path() / "job.json";
    for (const double stated : {0.0, -25.0}) {
        const EditorJobV2 browserJob =
            test::makeJob({test::source("s1", "a.mp4")}, {test::videoClip("v1", "s1", 0, 0, 2)}, stated);
        EditSession::fromEditorJobV2(browserJob).writeRenderJob(jobFile);
        const std::filesystem::path movie = folder.path() / ("out" + std::to_string(stated) + ".mp4");
        const ExportResult result =
            stated == 0 ? exportJob(jobFile, std::nullopt, std::nullopt, media, movie, 2000000, "rec709", 1, 1, 0, 0)
                        : test::exportJob(EditorJobV2::fromJSON(test::readTextFile(jobFile)), media, movie);
        EXPECT_NEAR(result.fps, 59.94, 1e-3) << stated;
        const nlohmann::json video = test::ffprobeStream(movie, "v:0", true);
        EXPECT_EQ(video.value("r_frame_rate", ""), "60000/1001") << stated;
        EXPECT_EQ(video.value("nb_read_frames", ""), "120") << stated;
        EXPECT_EQ(PreviewFrameTiming::pictureGrid(stated).frame, (FrameDuration{1001, 60000})) << stated;

        EXPECT_EQ(timelineFrameTiming(browserJob, Asset::open(media / "a.mp4").get()), (FrameTiming{25, 25, 1}));

        // The project this editor saved of it runs at 59.94 in the 10-bit Export workspace too.
        EditSession saved = EditSession::fromEditorJobV2(browserJob);
        saved.saveProject(jobFile, std::nullopt);
        const std::filesystem::path savedMovie = folder.path() / "saved.mp4";
        exportJob(jobFile, std::nullopt, std::nullopt, media, savedMovie, 2000000, "rec709", 1, 1, 0, 0);
        EXPECT_EQ(test::ffprobeStream(savedMovie, "v:0", true).value("nb_read_frames", ""), "120") << stated;
    }
}

} // namespace
} // namespace velmora::Exporter
